#include "test_support.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <sddl.h>

#include <algorithm>
#include <atomic>
#include <cstdio>

#include "constants.h"
#include "log.h"

namespace testing_support {

TempDir::TempDir() {
  static std::atomic<unsigned> counter{0};
  char tmp[MAX_PATH];
  GetTempPathA(MAX_PATH, tmp);
  for (;;) {
    char name[64];
    std::snprintf(name, sizeof name, "zantest_%lu_%u_%lu\\", GetCurrentProcessId(), counter++,
                  GetTickCount());
    path_ = std::string(tmp) + name;
    if (CreateDirectoryA(path_.c_str(), nullptr)) break;
  }
}

TempDir::~TempDir() { RemoveTree(path_); }

std::string TestData(const std::string& name) { return std::string(TEST_DATA_DIR_WIN) + "\\" + name; }

LogCapture::LogCapture() : folder_(dir_.path().substr(0, dir_.path().size() - 1)) {
  SetLogFolderForTesting(folder_);
}

LogCapture::~LogCapture() { SetLogFolderForTesting(""); }

std::string LogCapture::Text() const {
  const std::string text = ReadBytes(folder_ + g_logFileName);
  // A log the code under test began anew holds new lines only.
  return text.compare(0, cleared_.size(), cleared_) == 0 ? text.substr(cleared_.size()) : text;
}

bool LogCapture::Has(const std::string& text) const {
  if (text.empty()) ADD_FAILURE() << "a log check for an empty text always holds";
  return !text.empty() && Text().find(text) != std::string::npos;
}

std::vector<std::string> LogCapture::Lines() const {
  std::vector<std::string> lines;
  const std::string text = Text();
  for (size_t start = 0, end; start < text.size(); start = end + 2) {
    end = std::min(text.find("\r\n", start), text.size());
    size_t from = text.find("] ", start);
    from = from < end ? from + 2 : start;
    lines.push_back(text.substr(from, end - from));
  }
  return lines;
}

void LogCapture::Clear() { cleared_ = ReadBytes(folder_ + g_logFileName); }

std::string DaclText(PSECURITY_DESCRIPTOR sd) {
  char* text = nullptr;
  if (!sd || !ConvertSecurityDescriptorToStringSecurityDescriptorA(
                 sd, SDDL_REVISION_1, DACL_SECURITY_INFORMATION, &text, nullptr))
    return "?";
  std::string out = text;
  LocalFree(text);
  return out;
}

}  // namespace testing_support
