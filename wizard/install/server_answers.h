// What the update server's answers mean, apart from the callbacks that act on
// them: the good-download rule, the setup information and its comparison with
// the running setup, the DesktopApp descriptor, the progress percentage, and
// what follows a finished download or the credential box.
#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// A download is good when the server answered 200 and the body is exactly as
// long as announced (a response without Content-Length is never good).
bool IsGoodDownload(int status, size_t length, DWORD contentLength);

// One component of a dotted version: blanks, an optional sign, then decimal
// digits up to the first other byte ("79\r\n" reads 79). Nothing when no digit
// comes first or the value leaves the signed 32-bit range.
std::optional<int32_t> ReadVersionComponent(const std::string& piece);

// The setup information: the body split at every "." (empty pieces kept).
// Usable when it has at least four pieces and every one reads as a component.
struct SetupInfo {
  std::vector<std::string> pieces;
  bool usable = false;
};
SetupInfo ParseSetupInfo(const std::string& body);

// What follows the answer to the setup information: the comparison (a 200,
// whatever its body: one without announced length, or longer than the setup
// reads, simply holds no usable information), the credential box (407), or
// the update-problem box with Retry (any other status, or a body that ended
// before its announced length: a broken connection, not the server's answer).
enum class SetupInfoNext { Compare, AskCredentials, AskRetry };
SetupInfoNext DecideSetupInfo(int status, size_t length, DWORD contentLength, bool tooLong);

// True when `server` names a newer version than `own`: both of the same
// non-zero length, every component readable, and the first pair that differs
// has the larger number on the server's side.
bool IsNewerVersion(const std::vector<std::string>& server, const std::vector<std::string>& own);

// The three values of the DesktopApp descriptor. Parsing sets only the fields
// whose elements are present under the root "rel" (first element of each
// name; an element without text reads as empty); a malformed document yields
// what was built before the error.
struct DesktopAppDescriptor {
  std::string downloadUrl;
  std::string number;
  std::string checksum;
};
void ParseDesktopAppDescriptor(const std::string& xml, DesktopAppDescriptor* descriptor);

// The percentage shown for `received` of `contentLength` bytes (both read as
// signed 32-bit), or nothing when the length is under 100 bytes or unknown.
// Not clamped: a body longer than announced shows more than 100.
std::optional<int> DownloadPercent(DWORD contentLength, DWORD received);

// What follows a finished install download (steps 1 to 3): the next phase, a
// credential prompt (the proxy answered 407) or the Retry/Cancel box.
enum class InstallDownloadNext { NextPhase, AskCredentials, AskRetry };
// `good` is the good-download rule; for the descriptor step it also needs the
// descriptor to have named an archive.
InstallDownloadNext DecideInstallDownload(bool good, int status);

// The warning logged for a failed install download of that step: "not
// completed" with both lengths for a 200, else the connection error and status.
std::string InstallDownloadFailureLine(int step, int status, size_t length, DWORD contentLength);

// How the proxy credential box was answered: only 0 confirms; 1223 is the
// user's cancel; any other result is a failure of the box itself.
enum class CredentialAnswer { Confirmed, Cancelled, Failed };
CredentialAnswer ClassifyCredentialResult(DWORD result);
