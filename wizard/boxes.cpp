// The wizard's message boxes, string resources and fonts.
#include "boxes.h"

#include "app.h"
#include "log.h"
#include "process_checks.h"

namespace {

// The boxes' function (a test may answer them itself).
MessageBoxFunction g_messageBox = &MessageBoxA;

}  // namespace

const char kPlatformRunningText[] =
    "ATTENZIONE!!\n\nE' stata rilevata una versione della Piattaforma in esecuzione. Chiudere il "
    "programma e cliccare su OK per proseguire con l'installazione.";

int ShowBox(HWND owner, const std::string& text, const std::string& caption, UINT style) {
  return g_messageBox(owner, text.c_str(), caption.c_str(), style);
}

void SetMessageBoxForTesting(MessageBoxFunction function) {
  g_messageBox = function ? function : &MessageBoxA;
}

void AskToClosePlatform(HWND owner) {
  Log("[* WARN] At least one Korval running, request to close it");
  ShowBox(owner, kPlatformRunningText, kWarningCaption, MB_OK | MB_ICONWARNING);
}

void WaitForPlatformClosed(HWND owner, void (*afterEachBox)()) {
  while (IsKorvalRunning()) {
    AskToClosePlatform(owner);
    if (afterEachBox) afterEachBox();
  }
}

void EndRunWithBox(const std::string& logLine, const std::string& text,
                   const std::string& caption, UINT extraStyle) {
  Log(logLine);
  ShowBox(nullptr, text, caption, MB_OK | MB_ICONERROR | extraStyle);
  EndRun(kRunFailed);
}

HFONT SetTahomaFont(HWND dialog, int controlId, int height, int weight) {
  HFONT font = CreateFontA(height, 0, 0, 0, weight, 0, 0, 0, 0, 0, 0, 0, 0, "Tahoma");
  SendDlgItemMessageA(dialog, controlId, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
  return font;
}

std::string LoadStr(UINT id) {
  char text[1000];
  const int length = LoadStringA(GetModuleHandleA(nullptr), id, text, sizeof text);
  return std::string(text, length > 0 ? length : 0);
}
