// fixtures: extract_archives
// Unpacking real archives made by 7zz (every coder the packages use) and by our
// own writer (hostile names), compared with what 7zz itself unpacks.
#include "extract_7z.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "file_utils.h"
#include "test_support.h"

using testing_support::Entries;
using testing_support::ReadBytes;
using testing_support::TestData;

namespace {

std::string Archive(const std::string& name) { return TestData("extract\\" + name + ".7z"); }

std::vector<std::pair<uint32_t, uint32_t>> g_progress;
void RecordProgress(uint32_t index, uint32_t count) { g_progress.emplace_back(index, count); }

class Extract7zTest : public testing::Test {
 protected:
  void SetUp() override { g_progress.clear(); }
  void TearDown() override {
    SetExtractWriteFileForTesting(nullptr);
    SetExtractAllocForTesting(nullptr);
  }
  int CountInLog(const std::string& text) {
    const std::string log = log_.Text();
    int n = 0;
    for (size_t at = log.find(text); at != std::string::npos; at = log.find(text, at + 1)) ++n;
    return n;
  }

  testing_support::TempDir temp_;
  testing_support::LogCapture log_;
  const std::string dest_ = temp_ / "out\\";
};

TEST_F(Extract7zTest, EveryCoderGivesTheTree7zipGives) {
  for (const std::string name : {"copy", "lzma", "lzma2", "nosolid", "bcj", "arm", "bcj2"}) {
    SCOPED_TRACE(name);
    const std::string dest = temp_ / (name + "\\");
    std::string current;
    ASSERT_EQ(Extract7z(Archive(name), dest, &current, RecordProgress), 0u);
    EXPECT_EQ(current.compare(0, dest.size(), dest), 0) << current;
    auto ours = Entries(dest), reference = Entries(TestData("extract\\ref_" + name + "\\"));
    ASSERT_FALSE(reference.empty());
    EXPECT_EQ(ours.size(), reference.size());
    for (const auto& item : reference) EXPECT_TRUE(ours[item.first] == item.second) << item.first;
  }
  // Stored attributes are not applied.
  const DWORD attributes = GetFileAttributesA((temp_ / "copy\\readonly.txt").c_str());
  EXPECT_EQ(attributes & FILE_ATTRIBUTE_READONLY, 0u);
}

TEST_F(Extract7zTest, ProgressBeforeEachEntryAndOldFilesOverwritten) {
  ASSERT_EQ(Extract7z(Archive("empty"), dest_, nullptr, RecordProgress), 0u);
  EXPECT_TRUE(g_progress.empty());
  EXPECT_FALSE(testing_support::Exists(dest_));
  ASSERT_TRUE(testing_support::WriteBytes(dest_ + "b.txt", "a much longer old content"));
  ASSERT_EQ(Extract7z(Archive("three"), dest_, nullptr, RecordProgress), 0u);
  EXPECT_EQ((std::vector<std::pair<uint32_t, uint32_t>>{{0, 3}, {1, 3}, {2, 3}}), g_progress);
  EXPECT_EQ(ReadBytes(dest_ + "b.txt") + ReadBytes(dest_ + "c.txt"), "bc");
}

TEST_F(Extract7zTest, BadArchivesGiveTheirResultCodes) {
  const struct { const char* archive; DWORD result; } cases[] = {
      {"missing", ERROR_FILE_NOT_FOUND}, {"text", 6}, {"truncated", 6}, {"h_nonames", 6}};
  for (const auto& c : cases) {
    EXPECT_EQ(Extract7z(Archive(c.archive), dest_, nullptr, nullptr), c.result) << c.archive;
    EXPECT_TRUE(Entries(dest_).empty()) << c.archive;
  }
  // A damaged second block: the first block's file stays, the second is not made.
  EXPECT_EQ(Extract7z(Archive("twoblocks"), dest_, nullptr, RecordProgress), 6u);
  EXPECT_EQ(g_progress.size(), 2u);
  auto tree = Entries(dest_);
  EXPECT_EQ(tree.size(), 1u);
  const std::string first = ReadBytes(TestData("extract\\src\\two\\1_first.txt"));
  EXPECT_EQ(tree["1_first.txt"].find(first + "@"), 0u);
}

TEST_F(Extract7zTest, NarrowedNames) {
  ASSERT_EQ(Extract7z(Archive("wide"), dest_, nullptr, nullptr), 0u);
  // U+015C narrows to "\": a folder inside the destination.
  ASSERT_EQ(Extract7z(Archive("narrowing"), dest_, nullptr, nullptr), 0u);
  auto tree = Entries(dest_);
  EXPECT_EQ(tree["\xA9\xAC.txt"].substr(0, 6), "omega@");
  EXPECT_EQ(tree["a\\b.txt"].substr(0, 7), "dentro@");
}

TEST_F(Extract7zTest, EachFolderIsPreparedOncePerCall) {
  const std::string line = "[  INFO] Setting privileges and attributes on -> " + dest_ + "docs\r\n";
  ASSERT_EQ(Extract7z(Archive("lzma2"), dest_, nullptr, nullptr), 0u);
  EXPECT_EQ(CountInLog(line), 1);
  ASSERT_EQ(Extract7z(Archive("lzma2"), dest_, nullptr, nullptr), 0u);
  EXPECT_EQ(CountInLog(line), 2);
}

// Stores one byte less and reports success, as a full network disk may.
BOOL WINAPI ShortWrite(HANDLE file, LPCVOID data, DWORD size, LPDWORD written, LPOVERLAPPED) {
  SetLastError(0);
  return WriteFile(file, data, size > 0 ? size - 1 : 0, written, nullptr);
}

TEST_F(Extract7zTest, ShortWriteFaultsAndFolderWithoutSeparatorStaysInside) {
  SetExtractWriteFileForTesting(ShortWrite);
  std::string current;
  EXPECT_EQ(Extract7z(Archive("three"), dest_, &current, RecordProgress), DWORD(ERROR_WRITE_FAULT));
  EXPECT_EQ(current, dest_ + "a.txt");
  EXPECT_EQ(g_progress.size(), 1u);  // stopped at the first entry
  SetExtractWriteFileForTesting(nullptr);

  const std::string dest = temp_ / "dest";  // no final backslash
  ASSERT_EQ(Extract7z(Archive("three"), dest, &current, nullptr), 0u);
  EXPECT_EQ(ReadBytes(dest + "\\a.txt"), "a");
  EXPECT_EQ(current, dest + "\\c.txt");
  for (const char* beside : {"desta.txt", "destb.txt", "destc.txt"})
    EXPECT_FALSE(testing_support::Exists(temp_ / beside)) << beside;
}

// An output file that cannot be created stops the unpacking with its Windows
// error (a file in use, 32, is the DesktopApp unpacking's story end to end). A
// read-only file would give 5 on Windows; Wine run as root writes it anyway,
// so a folder in the file's way stands for it.
TEST_F(Extract7zTest, OutputFileThatCannotBeCreatedGivesItsError) {
  ASSERT_TRUE(CreateDirectoryTree(dest_ + "b.txt"));
  std::string current;
  EXPECT_EQ(Extract7z(Archive("three"), dest_, &current, nullptr), DWORD(ERROR_ACCESS_DENIED));
  EXPECT_EQ(current, dest_ + "b.txt");
}

// 30,000 nested folders: refused as an over-long name, not a stack overflow.
TEST_F(Extract7zTest, DeeplyNestedEntryFailsWithAWindowsError) {
  const DWORD result = Extract7z(Archive("deep"), dest_, nullptr, nullptr);
  EXPECT_NE(result, 0u);
  EXPECT_NE(result, 6u);
  EXPECT_FALSE(testing_support::Exists(dest_ + "d"));
}

// Fails every allocation of a megabyte or more, as a 32-bit process without
// room for a large solid block does.
void* SmallAllocationsOnly(size_t size) { return size < (1u << 20) ? malloc(size) : nullptr; }

TEST_F(Extract7zTest, BlockTooLargeForMemoryIsLoggedWithItsSize) {
  SetExtractAllocForTesting(SmallAllocationsOnly);
  EXPECT_EQ(Extract7z(Archive("bigblock"), dest_, nullptr, nullptr), 6u);
  EXPECT_TRUE(log_.Has("[**  ERR] Not enough memory to unpack a block of 3000000 bytes\r\n"))
      << log_.Text();
  EXPECT_FALSE(testing_support::Exists(dest_ + "zeros.bin"));
  SetExtractAllocForTesting(nullptr);
  EXPECT_EQ(Extract7z(Archive("bigblock"), dest_, nullptr, nullptr), 0u);
}

TEST_F(Extract7zTest, HostileNamesAreRefusedBeforeAnythingIsWritten) {
  const std::string sandbox = temp_ / "s1\\s2\\s3\\";
  // The names themselves are the table below; here, what an archive adds:
  // UTF-16 names that narrow to a separator, a dot or a zero, a folder entry,
  // and a bad entry after a good one.
  for (const char* archive : {"h_dotdot", "h_wide_backslash", "h_wide_dotdot", "h_wide_drive",
                              "h_wide_nul", "h_wide_dot_dir", "h_dir_dotdot", "h_after_good"})
    EXPECT_EQ(Extract7z(Archive(archive), sandbox + "dest\\", nullptr, nullptr), 6u) << archive;
  // The only file written is the good entry that came before a bad one.
  std::vector<std::string> files;
  for (const auto& item : Entries(sandbox))
    if (item.second != "<folder>") files.push_back(item.first);
  EXPECT_EQ(files, std::vector<std::string>{"dest\\good.txt"});
  EXPECT_EQ(CountInLog("[**  ERR] Refused archive entry outside the destination folder -> "), 8);
  const auto drive = Entries("C:\\", false);  // nothing escaped anywhere on the drive
  ASSERT_GT(drive.size(), 100u);
  for (const auto& entry : drive)
    EXPECT_EQ(entry.first.find("zanpwn"), std::string::npos) << entry.first;
}

TEST(SafeEntryName, Table) {
  for (const char* name : {"a.txt", "dir\\sub/file.bin", "a..b", "..a", "cons.d\\x", "LPT10.txt"})
    EXPECT_TRUE(IsSafeArchiveEntryName(name)) << name;
  for (const char* name : {"", "...", ". .", "a/../b", "a\\.\\b", "a\\.. \\b", "/a", "\\\\h\\s\\a",
                           "C:a", "a:b", "a\tb", "con.d\\x", "COM0", "sub\\nul.txt", "Aux",
                           "prn .txt", "CONOUT$", "COM\xB9"})
    EXPECT_FALSE(IsSafeArchiveEntryName(name)) << name;
  EXPECT_FALSE(IsSafeArchiveEntryName(std::string("a\0b", 3)));
}

}  // namespace
