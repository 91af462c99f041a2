// Where every download of the setup continues: the install downloads move the
// install chain on, the update downloads move the setup's own update on; a
// failure asks for proxy credentials, offers Retry, or ends the run.
#include "download_complete.h"

#include <commctrl.h>

#include <algorithm>

#include "app.h"
#include "file_utils.h"
#include "log.h"
#include "proxy_credentials.h"
#include "resource.h"
#include "server_answers.h"
#include "sheet.h"
#include "text_utils.h"
#include "update.h"

namespace {

const char kDownloadProblemText[] =
    "Si sono verificati dei problemi di connessione durante il download di alcuni componenti. "
    "Verificare la propria connessione a Internet e riprovare.";
const char kUpdateProblemText[] =
    "Si sono verificati dei problemi di connessione durante la ricerca di aggiornamenti. "
    "Verificare la propria connessione a Internet e riprovare.";
const char kUpdateFoundText[] =
    "E' stata trovata una versione aggiornata del setup. Procedere con il download.";

// The phase that repeats a failed install download of this step.
void RepeatInstallPhase(CApp& app, int step) {
  if (step == StepKorvalPackage) app.InstallPhase1();
  else if (step == StepDesktopAppXml) app.InstallPhase2();
  else app.InstallPhase3();
}

// A saved package's body is not needed any more, while the request itself
// lives until the process ends: the memory goes back before the unpacking,
// which needs a block of its own as large as the archive's solid block.
void ReleaseBody(WininetWrapper& request) { std::string().swap(request.response); }

// Install steps 1, 2 and 3.
void CompleteInstallDownload(CApp& app, WininetWrapper& request) {
  const int step = app.m_step;
  if (step == StepDesktopAppXml) app.m_desktopAppUrl.clear();
  const size_t length = request.response.size();
  static const char* const kFinished[] = {"", "[  INFO] Korval download finished -> ",
                                          "[  INFO] DesktopApp xml download finished -> ",
                                          "[  INFO] DesktopApp archive download finished -> "};
  Log(kFinished[step] + Decimal(length));

  bool good = IsGoodDownload(request.status, length, request.contentLength);
  if (good && (step == StepKorvalPackage || step == StepDesktopAppArchive)) {
    const std::string& package =
        step == StepKorvalPackage ? app.m_tempKorvalPackage : app.m_tempDesktopAppPackage;
    const bool saved = SavePackage(package, request.response);
    ReleaseBody(request);
    if (saved) {
      if (step == StepKorvalPackage)
        app.InstallPhase2();
      else
        app.InstallPhase4();
      return;
    }
    // A package that could not be stored counts as a failed download: the
    // unpacking phases would find no package and take the component for
    // installed, and the run would end "successfully" without it.
    DeleteFileA(package.c_str());
    if (ShowBox(app.m_hwndPage, kDownloadProblemText, "Attenzione",
                MB_RETRYCANCEL | MB_ICONQUESTION) != IDRETRY)
      EndRun(0);
    RepeatInstallPhase(app, step);
    return;
  }
  if (good && step == StepDesktopAppXml) {
    DesktopAppDescriptor descriptor{app.m_desktopAppUrl, app.m_desktopAppVersion,
                                    app.m_desktopAppChecksum};
    ParseDesktopAppDescriptor(request.response, &descriptor);
    app.m_desktopAppUrl = descriptor.downloadUrl;
    app.m_desktopAppVersion = descriptor.number;
    app.m_desktopAppChecksum = descriptor.checksum;
    // A descriptor that names no archive fails the step although it came whole.
    good = !app.m_desktopAppUrl.empty();
  }

  const InstallDownloadNext next = DecideInstallDownload(good, request.status);
  if (next == InstallDownloadNext::NextPhase) {  // only the descriptor step gets here
    app.InstallPhase3();
    return;
  }
  Log(InstallDownloadFailureLine(step, request.status, length, request.contentLength));
  if (next == InstallDownloadNext::AskCredentials) {
    if (!AskForProxyCredentials(&app.m_proxyUser, &app.m_proxyPassword)) {
      Log("[* WARN] User cancelled proxy settings UI");
      EndRun(0);
    }
  } else if (ShowBox(app.m_hwndPage, kDownloadProblemText, "Attenzione",
                     MB_RETRYCANCEL | MB_ICONQUESTION) != IDRETRY) {
    EndRun(0);
  }
  RepeatInstallPhase(app, step);
}

// Ends the update check without an update, or starts the package download.
void CompareWithServer(CApp& app, const SetupInfo& info) {
  if (app.m_hwndWaitDlg)
    SendDlgItemMessageA(app.m_hwndWaitDlg, IDC_WAIT_PROGRESS, PBM_SETPOS, 100, 0);
  std::vector<std::string> own;
  const bool newer = info.usable && GetFileVersion("", &own) && IsNewerVersion(info.pieces, own);
  if (!newer) {
    Log("[  INFO] No update available");
    EndWaitDialog(app);
    return;
  }
  ShowBox(nullptr, kUpdateFoundText, "Aggiornamento setup", MB_OK | MB_ICONINFORMATION);
  ShowWaitDialog(app);
  app.DownloadSetupUpdate();
  Log("[  INFO] An update is available");
}

// The setup information as its log lines quote it: the line break it usually
// ends with is no part of it; any other control character stays escaped.
std::string SetupInfoForLog(const std::string& body) {
  size_t end = body.size();
  if (end > 0 && body[end - 1] == '\n') --end;
  if (end > 0 && body[end - 1] == '\r') --end;
  return QuoteForLog(body.substr(0, end));
}

// The setup information asked for again (a Retry or new credentials).
void RecheckForUpdate(CApp& app) {
  app.m_updateChecked = false;
  app.CheckForUpdate();
}

// Step 10: the setup information.
void CompleteUpdateInfo(CApp& app, WininetWrapper& request) {
  HideWaitDialog(app);
  const size_t length = request.response.size();
  const SetupInfoNext next =
      DecideSetupInfo(request.status, length, request.contentLength, request.bodyTooLong);
  // A whole answer is read: its announced length, or none announced (a proxy
  // sends it chunked); one longer than the setup reads is no information.
  SetupInfo info;
  if (next == SetupInfoNext::Compare && !request.bodyTooLong)
    info = ParseSetupInfo(request.response);

  if (info.usable) {
    Log("[  INFO] Release update available on server -> " + SetupInfoForLog(request.response));
  } else if (request.status != 200) {
    Log("[* WARN] Connection error check update -> " + Decimal(request.status));
  } else {
    // Too few pieces, or a piece that is no 32-bit number: unusable alike.
    Log("[* WARN] Download new version information not completed -> " + Decimal(length) +
        " -> " + Decimal(request.contentLength));
    Log("[* WARN] Error on information parsing. Size is " + Decimal(info.pieces.size()) +
        " expected 4 -> " + SetupInfoForLog(request.response));
  }

  switch (next) {
    case SetupInfoNext::AskCredentials:
      if (AskForProxyCredentials(&app.m_proxyUser, &app.m_proxyPassword))
        RecheckForUpdate(app);
      else
        CompareWithServer(app, SetupInfo());
      return;
    case SetupInfoNext::Compare:
      CompareWithServer(app, info);
      return;
    case SetupInfoNext::AskRetry:
      break;
  }
  if (ShowBox(app.m_hwndPage, kUpdateProblemText,
              app.EnvironmentPrefix() + "Servizi ZAN - Installazione - Attenzione",
              MB_RETRYCANCEL | MB_ICONQUESTION) == IDRETRY)
    RecheckForUpdate(app);
  else
    EndWaitDialog(app);
}

// Step 20: the setup package.
void CompleteSetupPackage(CApp& app, WininetWrapper& request) {
  HideWaitDialog(app);
  const size_t length = request.response.size();
  Log("[  INFO] Setup download finished -> " + Decimal(length));
  if (IsGoodDownload(request.status, length, request.contentLength)) {
    SavePackage(app.m_tempSetupPackage, request.response);
    ReleaseBody(request);
    ShowWaitDialog(app);
    app.ApplySetupUpdate();
    return;
  }
  if (request.status == 200)
    Log("[* WARN] Download setup update package not completed -> " + Decimal(length) + " -> " +
        Decimal(request.contentLength));
  else
    Log("[* WARN] Connection error check update -> " + Decimal(request.status));

  bool again;
  if (request.status == 407) {
    again = AskForProxyCredentials(&app.m_proxyUser, &app.m_proxyPassword);
    if (!again) Log("[* WARN] User cancelled proxy settings UI");
  } else {
    again = ShowBox(app.m_hwndPage, kUpdateProblemText,
                    app.EnvironmentPrefix() + "Servizi ZAN - Installazione - Attenzione",
                    MB_RETRYCANCEL | MB_ICONQUESTION) == IDRETRY;
  }
  if (!again) {
    EndWaitDialog(app);
    return;
  }
  ShowWaitDialog(app);
  app.DownloadSetupUpdate();
}

}  // namespace

bool AskForProxyCredentials(std::string* user, std::string* password) {
  char userBuffer[256] = {};
  char passwordBuffer[256] = {};
  const DWORD result = PromptProxyCredentials(userBuffer, passwordBuffer);
  switch (ClassifyCredentialResult(result)) {
    case CredentialAnswer::Confirmed:
      Log("[  INFO] Proxy credential set");
      *user = userBuffer;
      *password = passwordBuffer;
      SecureZeroMemory(passwordBuffer, sizeof passwordBuffer);
      return true;
    case CredentialAnswer::Failed:
      // A box that cannot be shown must not count as an answer, or a 407 would
      // repeat the request for ever with nobody in the loop.
      Log("[* WARN] Proxy credential box failed -> " + Decimal(result));
      return false;
    case CredentialAnswer::Cancelled:
      break;
  }
  return false;
}

bool SavePackage(const std::string& path, const std::string& body) {
  // Shared for reading and writing while it is written, as packages always were.
  const std::string failure = WriteWholeFile(path, body, FILE_SHARE_READ | FILE_SHARE_WRITE);
  if (failure.empty()) return true;
  Log("[**  ERR] Cannot store package " + path + " -> " + failure);
  return false;
}

void CApp::OnDownloadStarted(WininetWrapper*, DWORD) {}

void CApp::OnDownloadProgress(WininetWrapper* request, DWORD received) {
  Guarded([&] {
    const std::optional<int> percent = DownloadPercent(request->contentLength, received);
    if (!percent) return;
    // A progress message comes every few chunks; the page is repainted only
    // when what it shows changes (Wine repaints the bar at once on every
    // position, which slowed the downloads themselves).
    const std::string text = Decimal(*percent) + "% completato";
    char shown[32] = {};
    GetDlgItemTextA(m_hwndPage, IDC_PERCENT_TEXT, shown, sizeof shown);
    if (text == shown) return;
    SendDlgItemMessageA(m_hwndPage, IDC_PROGRESS, PBM_SETPOS, static_cast<WPARAM>(*percent), 0);
    SetDlgItemTextA(m_hwndPage, IDC_PERCENT_TEXT, text.c_str());
  });
}

void CApp::OnDownloadComplete(WininetWrapper* request) {
  Guarded([&] {
    switch (m_step) {
      case StepKorvalPackage:
      case StepDesktopAppXml:
      case StepDesktopAppArchive:
        CompleteInstallDownload(*this, *request);
        break;
      case StepUpdateInfo:
        CompleteUpdateInfo(*this, *request);
        break;
      case StepSetupPackage:
        CompleteSetupPackage(*this, *request);
        break;
      default:
        break;
    }
  });
}
