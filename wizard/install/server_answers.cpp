#include "server_answers.h"

#include <pugixml.hpp>

#include "app.h"
#include "text_utils.h"

bool IsGoodDownload(int status, size_t length, DWORD contentLength) {
  return status == 200 && length == contentLength;
}

std::optional<int32_t> ReadVersionComponent(const std::string& piece) {
  size_t i = 0;
  while (i < piece.size() && (piece[i] == ' ' || (piece[i] >= '\t' && piece[i] <= '\r'))) ++i;
  bool negative = false;
  if (i < piece.size() && (piece[i] == '+' || piece[i] == '-')) negative = piece[i++] == '-';
  if (i >= piece.size() || piece[i] < '0' || piece[i] > '9') return std::nullopt;
  int64_t magnitude = 0;
  for (; i < piece.size() && piece[i] >= '0' && piece[i] <= '9'; ++i) {
    magnitude = magnitude * 10 + (piece[i] - '0');
    if (magnitude > int64_t{INT32_MAX} + 1) return std::nullopt;
  }
  const int64_t value = negative ? -magnitude : magnitude;
  if (value > INT32_MAX) return std::nullopt;
  return static_cast<int32_t>(value);
}

SetupInfo ParseSetupInfo(const std::string& body) {
  SetupInfo info;
  SplitStringInto(body, ".", info.pieces);
  info.usable = info.pieces.size() >= 4;
  for (const std::string& piece : info.pieces)
    if (!ReadVersionComponent(piece)) info.usable = false;
  return info;
}

SetupInfoNext DecideSetupInfo(int status, size_t length, DWORD contentLength, bool tooLong) {
  if (status == 407) return SetupInfoNext::AskCredentials;
  if (status != 200) return SetupInfoNext::AskRetry;
  if (!tooLong && contentLength != 0 && length < contentLength) return SetupInfoNext::AskRetry;
  return SetupInfoNext::Compare;
}

bool IsNewerVersion(const std::vector<std::string>& server, const std::vector<std::string>& own) {
  if (server.empty() || server.size() != own.size()) return false;
  std::vector<std::pair<int32_t, int32_t>> pairs;
  for (size_t i = 0; i < server.size(); ++i) {
    const std::optional<int32_t> theirs = ReadVersionComponent(server[i]);
    const std::optional<int32_t> ours = ReadVersionComponent(own[i]);
    if (!theirs || !ours) return false;
    pairs.emplace_back(*theirs, *ours);
  }
  for (const auto& [theirs, ours] : pairs)
    if (theirs != ours) return theirs > ours;
  return false;
}

void ParseDesktopAppDescriptor(const std::string& xml, DesktopAppDescriptor* descriptor) {
  pugi::xml_document document;
  document.load_string(xml.c_str());  // a partial tree is used as far as it goes
  const pugi::xml_node root = document.child("rel");
  if (!root) return;
  if (const pugi::xml_node node = root.child("download_url"))
    descriptor->downloadUrl = node.child_value();
  if (const pugi::xml_node node = root.child("number")) descriptor->number = node.child_value();
  if (const pugi::xml_node node = root.child("checksum"))
    descriptor->checksum = node.child_value();
}

std::optional<int> DownloadPercent(DWORD contentLength, DWORD received) {
  const int32_t total = static_cast<int32_t>(contentLength);
  const int32_t got = static_cast<int32_t>(received);
  if (total / 100 == 0) return std::nullopt;
  return (got / 100) * 100 / (total / 100);
}

InstallDownloadNext DecideInstallDownload(bool good, int status) {
  if (good) return InstallDownloadNext::NextPhase;
  if (status == 407) return InstallDownloadNext::AskCredentials;
  return InstallDownloadNext::AskRetry;
}

std::string InstallDownloadFailureLine(int step, int status, size_t length, DWORD contentLength) {
  static const char* const kNotCompleted[] = {"", "[* WARN] Download Korval not completed -> ",
                                              "[* WARN] Download DesktopApp Xml not completed -> ",
                                              "[* WARN] Download DesktopApp not completed -> "};
  if (step < StepKorvalPackage || step > StepDesktopAppArchive) return std::string();
  if (status == 200)
    return kNotCompleted[step] + Decimal(length) + " -> " + Decimal(contentLength);
  return "[* WARN] Connection error phase " + Decimal(step) + " -> " + Decimal(status);
}

CredentialAnswer ClassifyCredentialResult(DWORD result) {
  if (result == NO_ERROR) return CredentialAnswer::Confirmed;
  if (result == ERROR_CANCELLED) return CredentialAnswer::Cancelled;
  return CredentialAnswer::Failed;
}
