// The install chain's decisions as tables: what phase 1 to 5 skip or choose,
// where the lock check leads, what an unpacking result leads to, the unpack
// percentage, and the check that a folder copy landed.
#include "install/install_decisions.h"

#include <gtest/gtest.h>

#include <string>

#include "test_support.h"

namespace {

TEST(InstallDecisionsTest, SameFolderIgnoresCaseAndOneTrailingBackslash) {
  struct Row {
    const char* a;
    const char* b;
    bool same;
  } rows[] = {
      {"C:\\ZAN\\DesktopApp\\BIN\\", "C:\\ZAN\\DESKTOPAPP\\BIN\\", true},
      {"c:\\zan\\desktopapp\\bin", "C:\\ZAN\\DESKTOPAPP\\BIN\\", true},
      {"D:\\ZAN\\DesktopApp\\bin\\", "C:\\ZAN\\DESKTOPAPP\\BIN\\", false},
      {"C:\\DesktopApp\\bin\\", "C:\\ZAN\\DESKTOPAPP\\BIN\\", false},
      {"C:\\ZAN\\DesktopApp\\BIN\\1.2.3.4", "C:\\ZAN\\DESKTOPAPP\\BIN\\", false},
      {"C:\\ZAN\\DesktopApp\\BIN\\\\", "C:\\ZAN\\DESKTOPAPP\\BIN\\", false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(row.a) + " | " + row.b);
    EXPECT_EQ(SameFolder(row.a, row.b), row.same);
  }
}

TEST(InstallDecisionsTest, PhaseOneSkipsThisYearThenPrefersTheLocalPackage) {
  struct Row {
    const char* platformName;
    const char* anno;
    bool localOpens;
    KorvalSource expected;
  } rows[] = {
      {"ZAN2025", "2025", false, KorvalSource::AlreadyInstalled},
      {"ZAN2025", "2024", true, KorvalSource::LocalPackage},
      {"ZAN2025", "2024", false, KorvalSource::Download},
      {"ZAN", "", false, KorvalSource::Download},  // no year to compare
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(row.platformName) + " " + row.anno + " " +
                 (row.localOpens ? "local" : "-"));
    EXPECT_EQ(DecideKorvalSource(row.platformName, row.anno, row.localOpens), row.expected);
  }
}

TEST(InstallDecisionsTest, PhasesTwoAndThreeSkipForALocalArchiveOrAnIntactInstallation) {
  EXPECT_EQ(DecideDescriptorStep(true), DescriptorStep::UseLocalArchive);
  EXPECT_EQ(DecideDescriptorStep(false), DescriptorStep::Download);
  EXPECT_EQ(DecideArchiveStep("C:\\ZAN\\DesktopApp\\BIN\\", true),
            DesktopAppArchiveStep::KeepInstalled);
  EXPECT_EQ(DecideArchiveStep("C:\\ZAN\\DesktopApp\\BIN\\", false),
            DesktopAppArchiveStep::Download);
  EXPECT_EQ(DecideArchiveStep("", true), DesktopAppArchiveStep::Download);
}

TEST(InstallDecisionsTest, PackageChoiceOfThePhasesAndOfTheThreads) {
  const std::string temp = "C:\\temp\\korval2025.7z", local = ".\\korval2025.7z";
  // Phases 4 and 5: the download first, then the local package, else none.
  EXPECT_EQ(PackageForPhase(temp, true, local, true), temp);
  EXPECT_EQ(PackageForPhase(temp, false, local, true), local);
  EXPECT_EQ(PackageForPhase(temp, false, local, false), "");
  // The threads: the local package when it opens, else the download.
  EXPECT_EQ(PackageForThread(local, true, temp), local);
  EXPECT_EQ(PackageForThread(local, false, temp), temp);
}

TEST(InstallDecisionsTest, PhaseFiveUnpacksSkipsOrCopies) {
  const std::string destination = "C:\\ZAN\\DESKTOPAPP\\BIN\\";
  struct Row {
    bool archiveOpens;
    const char* installed;
    DesktopAppPlacement expected;
  } rows[] = {
      {true, "D:\\ZAN\\DesktopApp\\bin\\", DesktopAppPlacement::Unpack},
      {false, "", DesktopAppPlacement::AlreadyInPlace},
      {false, "c:\\zan\\desktopapp\\BIN", DesktopAppPlacement::AlreadyInPlace},
      {false, "D:\\ZAN\\DesktopApp\\bin\\", DesktopAppPlacement::CopyFromElsewhere},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(row.installed) + (row.archiveOpens ? " archive" : ""));
    EXPECT_EQ(DecideDesktopAppPlacement(row.archiveOpens, row.installed, destination),
              row.expected);
  }
}

TEST(InstallDecisionsTest, UnpackResultsAndLockResultsLeadOn) {
  EXPECT_EQ(DesktopAppUnpackOutcome(0), UnpackOutcome::Next);
  EXPECT_EQ(DesktopAppUnpackOutcome(32), UnpackOutcome::WarnThenNext);
  for (DWORD code : {5ul, 33ul}) {
    SCOPED_TRACE(code);
    EXPECT_EQ(DesktopAppUnpackOutcome(code), UnpackOutcome::EndRun);
  }
  EXPECT_EQ(DecideLockStep(-1), LockStep::GoBack);
  EXPECT_EQ(DecideLockStep(0), LockStep::WriteLock);
  EXPECT_EQ(DecideLockStep(1), LockStep::KeepExisting);
}

TEST(InstallDecisionsTest, UnpackPercentageTruncatesAndNeverReachesAHundred) {
  struct Row {
    uint32_t index, total;
    int percentage;
  } rows[] = {
      {0, 1, 0}, {2, 3, 66}, {69999, 70000, 99},
      {50000000, 100000000, 50},  // index * 100 beyond 32 bits
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(std::to_string(row.index) + "/" + std::to_string(row.total));
    EXPECT_EQ(UnpackPercentage(row.index, row.total), row.percentage);
  }
}

// A copied DesktopApp folder and its source, with a complete copy elsewhere.
struct CopyTrees {
  std::string source, target, elsewhere;
};

// The copy check: one row per way a copy can fall short, and the link a copy
// leaves out.
TEST(InstallDecisionsTest, CheckFolderCopy) {
  using testing_support::MakeFolderLink;
  using testing_support::RemoveTree;
  using testing_support::WriteBytes;
  static const char* const files[] = {"DesktopApp.exe", "1.2.3.4\\locales\\it.pak", "empty.bin"};
  struct Row {
    const char* what;
    bool (*spoil)(const CopyTrees&);  // applied to a complete copy
    DWORD error;
    bool inSource;       // the failed path is below the source, else the target
    const char* failed;  // nullptr: none
  } rows[] = {
      {"a file missing",
       [](const CopyTrees& t) { return DeleteFileA((t.target + files[1]).c_str()) != FALSE; },
       ERROR_FILE_NOT_FOUND, false, "1.2.3.4\\locales\\it.pak"},
      {"a file cut short", [](const CopyTrees& t) { return WriteBytes(t.target + files[0], "MZ"); },
       ERROR_WRITE_FAULT, false, "DesktopApp.exe"},
      {"a source that cannot be listed", [](const CopyTrees& t) { return RemoveTree(t.source); },
       ERROR_PATH_NOT_FOUND, true, ""},
      {"a link in the target",
       [](const CopyTrees& t) {
         return RemoveTree(t.target + "1.2.3.4") &&
                MakeFolderLink(t.target + "1.2.3.4", t.elsewhere + "1.2.3.4");
       },
       4395, false, "1.2.3.4\\"},
      {"a link in the source, left out",
       [](const CopyTrees& t) { return MakeFolderLink(t.source + "linked", t.elsewhere); }, 0,
       false, nullptr},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.what);
    testing_support::TempDir temp;
    const CopyTrees t = {temp / "source\\", temp / "target\\", temp / "elsewhere\\"};
    for (const std::string& folder : {t.source, t.target, t.elsewhere})
      for (const char* file : files) ASSERT_TRUE(WriteBytes(folder + file, file));
    ASSERT_TRUE(r.spoil(t));
    std::string failed;
    EXPECT_EQ(CheckFolderCopy(t.source, t.target, &failed), r.error);
    EXPECT_EQ(failed, r.failed ? (r.inSource ? t.source : t.target) + r.failed : "");
  }
}

}  // namespace
