#include "proxy_credentials.h"

#include <cstring>
#include <string>

#include "constants.h"
#include "text_utils.h"

namespace {

CredentialPromptFunction g_prompt = CredUIPromptForCredentialsW;

// Copies `text` into `out`, cut to `size` - 1 bytes and NUL-ended, as the
// ANSI box would have filled it; the text is wiped after.
void CopyCut(std::string text, char* out, size_t size) {
  const size_t copy = text.size() < size - 1 ? text.size() : size - 1;
  std::memcpy(out, text.data(), copy);
  out[copy] = '\0';
  if (!text.empty()) SecureZeroMemory(&text[0], text.size());
}

}  // namespace

std::string ProxyUserName(const std::string& returned, const std::string& target) {
  const size_t length = target.size();
  if (length == 0 || returned.size() <= length || returned[length] != '\\' ||
      ToLower(returned.substr(0, length)) != ToLower(target))
    return returned;
  return returned.substr(length + 1);
}

void SetCredentialPromptForTesting(CredentialPromptFunction prompt) {
  g_prompt = prompt ? prompt : CredUIPromptForCredentialsW;
}

DWORD PromptProxyCredentials(char* user, char* password) {
  // The wide box with ANSI conversion: on Windows the same dialog, buffers,
  // flags and results as the ANSI call, which Wine only stubs (and the stub
  // ends the process).
  CREDUI_INFOW info = {};
  info.cbSize = sizeof info;
  info.hwndParent = nullptr;
  info.pszMessageText = L"Inserisci le credenziali proxy";
  info.pszCaptionText = L"Accesso alla rete";
  info.hbmBanner = nullptr;

  wchar_t localUser[CREDUI_MAX_USERNAME_LENGTH + 1] = {};      // 514
  wchar_t localPassword[CREDUI_MAX_PASSWORD_LENGTH + 1] = {};  // 257
  BOOL save = FALSE;
  const std::wstring target = AnsiToWide(g_updateHost);
  const DWORD flags = CREDUI_FLAGS_GENERIC_CREDENTIALS | CREDUI_FLAGS_ALWAYS_SHOW_UI |
                      CREDUI_FLAGS_EXCLUDE_CERTIFICATES | CREDUI_FLAGS_DO_NOT_PERSIST;
  static_assert(CREDUI_FLAGS_GENERIC_CREDENTIALS + CREDUI_FLAGS_ALWAYS_SHOW_UI +
                        CREDUI_FLAGS_EXCLUDE_CERTIFICATES + CREDUI_FLAGS_DO_NOT_PERSIST ==
                    0x4008A,
                "credential box flags");

  DWORD result = g_prompt(&info, target.c_str(), nullptr, 0, localUser,
                          CREDUI_MAX_USERNAME_LENGTH + 1, localPassword,
                          CREDUI_MAX_PASSWORD_LENGTH + 1, &save, flags);
  if (result == NO_ERROR) {
    localUser[CREDUI_MAX_USERNAME_LENGTH] = L'\0';
    localPassword[CREDUI_MAX_PASSWORD_LENGTH] = L'\0';
    CopyCut(ProxyUserName(WideToAnsi(localUser), g_updateHost), user, 256);
    CopyCut(WideToAnsi(localPassword), password, 256);
  }
  SecureZeroMemory(localUser, sizeof localUser);
  SecureZeroMemory(localPassword, sizeof localPassword);
  return result;
}
