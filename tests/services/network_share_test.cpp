// The office share and the lookups of folders already shared, through fake
// share calls. (The real calls, as Wine answers them, run on the final page's
// roads end to end.)
#include <gtest/gtest.h>

#include <windows.h>
#include <lm.h>

#include <string>
#include <vector>

#include "network_share.h"
#include "test_support.h"

using testing_support::LogCapture;
using testing_support::TempDir;

namespace {

using testing_support::FakeShares;

class NetworkShare : public ::testing::Test {
 protected:
  void SetUp() override { testing_support::UseFakeShares(&fake_); }
  void TearDown() override {
    testing_support::UseFakeShares(nullptr);
    EXPECT_TRUE(fake_.outstanding.empty()) << fake_.outstanding.size() << " buffers not released";
  }
  // The local machine's shares, a page each.
  void Pages(std::vector<std::vector<testing_support::FakeShare>> pages) {
    fake_.servers[L""] = pages;
  }
  FakeShares fake_;
  LogCapture log_;
};

TEST_F(NetworkShare, CreateHandsTheFullRecordAndSwitchesCachingOff) {
  const struct {
    NET_API_STATUS add, set;
    bool result;
    const char* folder;
    const wchar_t* added;
    int setCalls;
  } rows[] = {
      {NERR_Success, NERR_Success, true, "C:\\ZAN\\PM01234\\", L"ZAN 01234|C:\\ZAN\\PM01234|", 1},
      {NERR_DuplicateShare, NERR_Success, true, "D:\\Uffici\\PM1", L"ZAN 01234|D:\\Uffici\\PM1|", 1},
      {NERR_Success, NERR_NetNameNotFound, false, "C:\\Z\\", L"ZAN 01234|C:\\Z|", 1},
      // No share, nothing to set: the caching step is skipped.
      {ERROR_ACCESS_DENIED, NERR_Success, false, "C:\\Z\\", L"ZAN 01234|C:\\Z|", 0},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.add);
    fake_ = FakeShares();
    fake_.addStatus = r.add;
    fake_.setStatus = r.set;
    int error = -1;
    EXPECT_EQ(CreateNetShare("01234", "", r.folder, &error), r.result);
    EXPECT_EQ(error, static_cast<int>(r.add));
    EXPECT_EQ(fake_.added, r.added);
    EXPECT_EQ(fake_.setCalls, r.setCalls);
    EXPECT_EQ(fake_.setName, r.setCalls ? L"ZAN 01234" : L"");
  }
}

TEST_F(NetworkShare, CreateConvertsWithTheAnsiCodePage) {
  if (GetACP() != 1252) GTEST_SKIP() << "code page " << GetACP();
  // "Universit\xE0" in code page 1252: a lone 0xE0 byte is not UTF-8.
  EXPECT_TRUE(CreateNetShare("01234", "", "C:\\Universit\xE0\\", nullptr));
  EXPECT_EQ(fake_.added, L"ZAN 01234|C:\\Universit\u00e0|");
}

TEST_F(NetworkShare, NoShareWithoutTheEveryoneSid) {
  fake_.sidError = ERROR_NOT_ENOUGH_MEMORY;
  int error = 0;
  EXPECT_FALSE(CreateNetShare("01234", "", "C:\\ZAN\\PM01234\\", &error));
  EXPECT_EQ(error, ERROR_NOT_ENOUGH_MEMORY);
  EXPECT_EQ(fake_.setCalls, 0);
  EXPECT_TRUE(log_.Has("[* WARN] AllocateAndInitializeSid (Everyone) error 8")) << log_.Text();
}

TEST_F(NetworkShare, FindShareForPathWalksEveryPage) {
  // {folder, share found ("": none)}: the second page; "\" added before comparing; byte
  // comparison; a share path stored without "\"; entries without a path never match.
  const std::pair<const char*, const char*> rows[] = {
      {"C:\\ZAN\\PM01234\\", "ZAN 01234"}, {"C:\\ZAN\\PM01234", "ZAN 01234"},
      {"C:\\zan\\pm01234\\", ""}, {"D:\\Dati\\", "Dati"}, {"E:\\Nowhere\\", ""}};
  Pages({{{L"IPC$", nullptr, 0}, {L"Empty", L"", 0}, {L"C$", L"C:\\", 0}},
         {{L"Dati", L"D:\\Dati", 0}, {L"ZAN 01234", L"C:\\ZAN\\PM01234", 0}},
         {{L"Late", L"C:\\ZAN\\PM01234\\", 0}}});
  for (const auto& r : rows) {
    fake_.enumCalls = 0;
    std::string name = "untouched";
    EXPECT_EQ(FindShareForPath(r.first, &name), *r.second != 0) << r.first;
    EXPECT_EQ(name, *r.second ? r.second : "untouched") << r.first;
    if (!*r.second) {
      EXPECT_EQ(fake_.enumCalls, 3) << r.first;
    }
  }
  fake_.enumFailure = ERROR_ACCESS_DENIED;  // a failed enumeration: not shared
  EXPECT_FALSE(FindShareForPath("D:\\Dati", nullptr));
  EXPECT_FALSE(DetectDestinationShare("D:\\Dati\\Uff"));
}

TEST_F(NetworkShare, DetectDestinationShare) {
  const std::string deep = "C:\\" + std::string(150, 'a') + "\\" + std::string(150, 'b');
  const std::wstring deepParent = L"C:\\" + std::wstring(150, L'a');  // beyond MAX_PATH
  const std::string kOffice = "C:\\ZAN\\PM01234\\";
  const struct {
    const wchar_t* name;
    const wchar_t* path;
    std::string folder;
    bool result;
    const char* line;
  } rows[] = {
      {L"Hidden$", L"C:\\ZAN\\PM01234", kOffice, true, "folder already shared as Hidden$"},
      {L"C$", L"C:\\", "C:\\ZAN\\", false, "parent folder already shared with predefined"},
      {L"ZAN", L"C:\\ZAN", kOffice, true, "parent folder already shared as ZAN"},
      {L"Other", L"D:\\Other", kOffice, false, "parent folder C:\\ZAN not shared"},
      {L"Deep", deepParent.c_str(), deep, true, "parent folder already shared as Deep"},
  };
  for (const auto& r : rows) {
    Pages({{{r.name, r.path, 0}}});
    log_.Clear();
    EXPECT_EQ(DetectDestinationShare(r.folder), r.result) << r.line;
    EXPECT_TRUE(log_.Has(std::string("[  INFO] Destination ") + r.line)) << log_.Text();
  }
}

}  // namespace
