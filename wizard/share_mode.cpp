// The elevated share mode. The elevated copy shares a folder with full control
// for everyone, so it refuses anything but an office folder of the platform:
// a valid office code and an absolute folder on a local fixed drive, below its
// root, without "." or ".." steps or links, that holds the office register.
#include "share_mode.h"

#include <vector>

#include "file_utils.h"
#include "log.h"
#include "network_share.h"
#include "text_utils.h"

namespace {

DriveTypeFunction g_driveType = &GetDriveTypeA;

const char kSharePrefix[] = "SHARE=";

bool IsLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

// Why a folder name cannot be an office folder as the final page passes it;
// empty when its form is acceptable. Looks only at the text.
std::string FolderFormProblem(const std::string& folder) {
  if (folder.size() < 3 || !IsLetter(folder[0]) || folder[1] != ':' || folder[2] != '\\')
    return "not an absolute folder on a drive";
  std::string rest = folder.substr(3);
  if (!rest.empty() && rest.back() == '\\') rest.pop_back();
  if (rest.empty()) return "drive root";
  for (const std::string& step : SplitString(rest, "\\")) {
    if (step.empty()) return "empty folder name";
    if (step == "." || step == "..") return "\".\" or \"..\" in the folder";
    for (unsigned char c : step)
      if (c < 32 || std::string(":*?\"<>|").find(static_cast<char>(c)) != std::string::npos)
        return "invalid character in the folder";
    // Windows drops trailing dots and blanks, so "..." or "x." would name
    // another folder than the one checked.
    if (step.back() == '.' || step.back() == ' ') return "folder name ending in a dot or blank";
  }
  return std::string();
}

// Why the folder, which exists, is not a plain folder of the drive: a link
// anywhere on its way could lead the share elsewhere.
std::string LinkProblem(const std::string& folder) {
  std::string path = folder.substr(0, 2);
  for (const std::string& step : SplitString(folder.substr(3), "\\")) {
    if (step.empty()) continue;
    path += "\\" + step;
    if (IsLink(path)) return "linked folder";
  }
  return std::string();
}

// The office code and the folder come from the parent's office register and
// from whoever started this copy: every log line quotes them.
std::string Refused(const std::string& reason, const std::string& subject) {
  return "[* WARN] -------> Share refused (" + reason + ") -> " + QuoteSharedText(subject);
}

// The share part quoted field by field (each cut only past MAX_PATH), so a
// usual part, whose folder alone may be that long, is logged whole.
std::string PartForLog(const std::string& part) {
  const size_t separator = part.find(';');
  if (separator == std::string::npos) return QuoteSharedText(part);
  return QuoteSharedText(part.substr(0, separator)) + ";" +
         QuoteSharedText(part.substr(separator + 1));
}

}  // namespace

bool FindSharePart(const std::string& cmdLine, std::string* part) {
  const std::vector<std::string> pieces = SplitString(cmdLine, "/");
  for (size_t i = 1; i < pieces.size(); ++i) {
    const std::string piece = TrimBlanks(pieces[i]);
    if (piece.size() > 5 && piece.compare(0, 6, kSharePrefix) == 0) {
      *part = piece;
      return true;
    }
  }
  return false;
}

DWORD CheckShareRequest(const std::string& part, ShareRequest* request, std::string* warning) {
  const std::string text = part.compare(0, 6, kSharePrefix) == 0 ? part.substr(6) : part;
  const size_t separator = text.find(';');
  if (separator == std::string::npos) {
    *warning = "[* WARN] -------> Command line not formatted correctly (; not found)";
    return ERROR_INVALID_PARAMETER;
  }
  request->officeCode = text.substr(0, separator);
  request->folder = text.substr(separator + 1);
  const std::string& folder = request->folder;

  if (!IsValidOfficeNumber(request->officeCode)) {
    *warning = Refused("office code not valid", request->officeCode);
    return ERROR_INVALID_PARAMETER;
  }
  std::string problem = FolderFormProblem(folder);
  if (problem.empty() && g_driveType((folder.substr(0, 2) + "\\").c_str()) != DRIVE_FIXED)
    problem = "not a local fixed drive";
  if (!problem.empty()) {
    *warning = Refused(problem, folder);
    return ERROR_INVALID_PARAMETER;
  }
  if (!IsDirectory(folder)) {
    *warning = "[* WARN] -------> Folder " + QuoteSharedText(folder) + " not found";
    return ERROR_PATH_NOT_FOUND;
  }
  problem = LinkProblem(folder);
  if (problem.empty()) {
    const std::string registerPath =
        folder + (folder.back() == '\\' ? "" : "\\") + "ZAN_Shared\\SharedInfo";
    if (!FileExists(registerPath) || IsDirectory(registerPath)) problem = "no office register";
  }
  if (!problem.empty()) {
    *warning = Refused(problem, folder);
    return ERROR_INVALID_PARAMETER;
  }
  return 0;
}

DWORD RunShareMode(const std::string& part) {
  Log("[  INFO] -------> External privileges set begin");
  Log("[  INFO] -------> Command line -> " + PartForLog(part));
  ShareRequest request;
  std::string warning;
  DWORD exitCode = CheckShareRequest(part, &request, &warning);
  // Only a part with ";" names a folder and an office code to log.
  if (part.find(';') != std::string::npos) {
    Log("[  INFO] -------> Share folder -> " + QuoteSharedText(request.folder));
    Log("[  INFO] -------> PM -> " + QuoteSharedText(request.officeCode));
  }
  if (exitCode != 0) {
    Log(warning);
  } else {
    int result = 0;
    CreateNetShare(request.officeCode, "", request.folder, &result);
    exitCode = static_cast<DWORD>(result);
  }
  Log("[  INFO] -------> External privileges set end");
  return exitCode;
}

void SetDriveTypeFunctionForTesting(DriveTypeFunction function) {
  g_driveType = function ? function : &GetDriveTypeA;
}
