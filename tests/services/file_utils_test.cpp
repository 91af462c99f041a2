// File, folder and system utilities on real temporary trees and resources
// compiled into this program.
// fixtures: scratch_drive
#include <gtest/gtest.h>

#include <windows.h>
#include <aclapi.h>

#include <map>
#include <string>
#include <vector>

#include "file_utils.h"
#include "permissions.h"
#include "system_utils.h"
#include "test_support.h"

using testing_support::Exists;
using testing_support::LogCapture;
using testing_support::MakeFolderLink;
using testing_support::Names;
using testing_support::ReadBytes;
using testing_support::TempDir;
using testing_support::WriteBytes;

TEST(FileUtils, CreateDirectoryTree) {
  TempDir dir;
  ASSERT_TRUE(WriteBytes(dir / "file.txt", "x"));
  const std::string tooLong = dir / std::string(MAX_PATH, 'L') + "\\x";
  // The longest path taken (259 characters) and the shortest refused (260).
  const std::string longest = dir / "C\\" + std::string(MAX_PATH - 3 - dir.path().size(), 'c');
  const std::string refused = dir / "B\\" + std::string(MAX_PATH - 2 - dir.path().size(), 'b');
  struct Row {
    std::string path, folder;  // folder: the one that must exist afterwards ("": none)
    bool result;
  } rows[] = {
      {dir / "A\\B\\C", dir / "A\\B\\C", true},
      {dir / "A\\B\\C", dir / "A\\B\\C", true},  // already there
      {dir / "file.txt", "", false},
      {dir / "file.txt\\below", "", false},
      {dir / "T\\U\\", dir / "T\\U", false},  // trailing separator: made, yet false
      {dir / "M/N\\O/P", dir / "M\\N\\O\\P", true},
      {tooLong, "", false},  // refused at once, however deep: nothing made
      {longest, longest, true},
      {refused, "", false},  // not even its parent
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.path);
    EXPECT_EQ(CreateDirectoryTree(r.path), r.result);
    if (!r.folder.empty()) {
      EXPECT_TRUE(IsDirectory(r.folder));
    }
  }
  EXPECT_FALSE(Exists(dir / "file.txt\\below"));
  EXPECT_EQ(Names(dir.path()), (std::vector<std::string>{"A", "C", "M", "T", "file.txt"}));
}

// A writable folder leaves no probe, also on the roads end to end; here an
// earlier run's probe, a missing folder, and a probe that cannot be replaced.
TEST(FileUtils, CanWriteToFolder) {
  TempDir dir;
  const std::string probe = dir / "test_privileges.txt";
  ASSERT_TRUE(WriteBytes(probe, "left over"));
  EXPECT_TRUE(CanWriteToFolder(dir.path().substr(0, dir.path().size() - 1)));
  EXPECT_FALSE(Exists(probe));
  EXPECT_FALSE(CanWriteToFolder(dir / "missing"));
  EXPECT_FALSE(Exists(dir / "missing"));
  ASSERT_TRUE(CreateDirectoryA(probe.c_str(), nullptr));
  EXPECT_FALSE(CanWriteToFolder(dir.path()));
}

// Refusals, logged, with nothing copied or deleted: an empty or relative
// folder names the current folder's content, a drive root (however written)
// all it holds, and a pattern that leaves no room for the shell list's two
// closing zeros is cut.
TEST(FileUtils, FolderContentsRefusals) {
  // Drive Q: is a scratch folder of the test prefix: a failed guard empties only that.
  TempDir dir;
  const std::string canaries[] = {dir / "canary.txt", dir / "rel\\canary.txt", "Q:\\canary.txt",
                                  "Q:\\rel\\canary.txt"};
  for (const std::string& canary : canaries) ASSERT_TRUE(WriteBytes(canary, "keep")) << canary;
  char previous[MAX_PATH] = {};
  GetCurrentDirectoryA(MAX_PATH, previous);
  ASSERT_TRUE(SetCurrentDirectoryA(dir.path().c_str()));
  const std::string out = dir / "out";
  struct Row {
    bool copy;
    std::string folder, target, warning;
  } rows[] = {
      {true, "", out, "CopyFolderContents: empty source folder"},
      {true, dir / std::string(300, 'x'), out, "CopyFolderContents: path too long, nothing copied"},
      {true, dir / "rel", dir / std::string(259 - dir.path().size(), 'y'),
       "CopyFolderContents: path too long"},
      {false, "", "", "DeleteFolderContents: empty folder, nothing deleted"},
      {false, "rel", "", "DeleteFolderContents: relative folder, nothing deleted -> rel"},
      {false, "\\", "", "DeleteFolderContents: relative folder, nothing deleted -> \\"},
      {false, "Q:", "", "DeleteFolderContents: relative folder, nothing deleted -> Q:"},
      {false, "Q:/", "", "DeleteFolderContents: drive root, nothing deleted -> Q:/"},
      {false, "Q:\\rel\\..", "", "DeleteFolderContents: drive root, nothing deleted -> Q:\\rel\\.."},
      // A pattern of 259 characters.
      {false, "Q:\\rel\\" + std::string(250, 'z'), "",
       "DeleteFolderContents: path too long, nothing deleted -> Q:\\rel\\zzz"},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.folder + " -> " + r.target);
    LogCapture log;
    if (r.copy) CopyFolderContents(r.folder, r.target);
    else DeleteFolderContents(r.folder);
    EXPECT_TRUE(log.Has("[* WARN] " + r.warning)) << log.Text();
    EXPECT_FALSE(!r.target.empty() && Exists(r.target));
    for (const std::string& canary : canaries) EXPECT_EQ(ReadBytes(canary), "keep") << canary;
  }
  SetCurrentDirectoryA(previous);

  // The longest pattern that fits (258 characters with "*" and two zeros), and
  // a folder below a drive root, are still emptied.
  {
    LogCapture log;
    DeleteFolderContents("Q:\\rel\\" + std::string(249, 'z'));
    EXPECT_EQ(log.Text(), "");
  }
  DeleteFolderContents("Q:\\rel");
  EXPECT_TRUE(Names("Q:\\rel").empty());
  EXPECT_EQ(ReadBytes("Q:\\canary.txt"), "keep");
  RemoveDirectoryA("Q:\\rel");
  DeleteFileA("Q:\\canary.txt");
}

// Read-only and hidden marks go below the folder, but for names that begin
// with a dot.
TEST(FileUtils, SetAttributesRecursive) {
  TempDir dir;
  const DWORD ro = FILE_ATTRIBUTE_READONLY, hidden = FILE_ATTRIBUTE_HIDDEN;
  const struct {
    const char* name;
    DWORD set;
    bool cleared;
  } entries[] = {{"sub\\deep.txt", ro | hidden, true}, {"sub", hidden, true},
                 {"readonly.txt", ro, true}, {".dotfile", ro, false}, {".git", hidden, false}};
  ASSERT_TRUE(CreateDirectoryA((dir / ".git").c_str(), nullptr));
  for (const auto& e : entries) {
    ASSERT_TRUE(Exists(dir / e.name) || WriteBytes(dir / e.name, "x"));
    ASSERT_TRUE(SetFileAttributesA((dir / e.name).c_str(), e.set));
  }
  SetAttributesRecursive(dir.path().substr(0, dir.path().size() - 1));
  for (const auto& e : entries)
    EXPECT_EQ((GetFileAttributesA((dir / e.name).c_str()) & (ro | hidden)) == 0, e.cleared) << e.name;
}

namespace {

// Everything below a folder: relative path -> its read-only and hidden marks
// and, for a file, its bytes; the folder's own marks and access list at "".
std::map<std::string, std::string> Snapshot(const std::string& folder) {
  std::map<std::string, std::string> all;
  const DWORD marks = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN;
  PSECURITY_DESCRIPTOR sd = nullptr;
  PACL dacl = nullptr;
  GetNamedSecurityInfoA(folder.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                        nullptr, &dacl, nullptr, &sd);
  all[""] = std::to_string(GetFileAttributesA(folder.c_str()) & marks) +
            testing_support::DaclText(sd);
  LocalFree(sd);
  for (const std::string& name : Names(folder)) {
    const std::string path = folder + "\\" + name;
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
      for (const auto& below : Snapshot(path)) all[name + "\\" + below.first] = below.second;
    } else {
      all[name] = std::to_string(attributes & marks) + ReadBytes(path);
    }
  }
  return all;
}

// Paths of one run: a tree holding a file and a link to a folder elsewhere,
// a source to copy from, an empty place to copy to.
struct Paths {
  std::string tree, linked, source, out;
};

}  // namespace

// A walk that writes never goes through a link, met inside the tree or named
// itself: the folder elsewhere keeps its files, their marks and its access
// list. (Emptying a folder is followed end to end, on the install roads.)
TEST(FileUtils, WritingWalksLeaveWhatALinkLeadsTo) {
  struct Row {
    const char* what;
    void (*walk)(const Paths&);
    std::string line;    // the walk's own word on the link
    const char* absent;  // made by the walk only through the link ("": none)
  } rows[] = {
      {"attributes below", [](const Paths& p) { SetAttributesRecursive(p.tree); },
       "[  INFO] Set attributes on 1 files/folder in ", ""},
      {"attributes of a link", [](const Paths& p) { SetAttributesRecursive(p.linked); },
       "[* WARN] SetAttributesRecursive: folder is a link, attributes left alone -> ", ""},
      {"permissions of a link", [](const Paths& p) { SetFolderPermissions(p.linked); },
       "[* WARN] Permission setting skipped on a link -> ", ""},
      {"copy from a tree with a link", [](const Paths& p) { CopyFolderContents(p.tree, p.out); },
       "[* WARN] CopyFolderContents: link not copied -> ", "out\\linked"},
      {"copy into a tree with a link", [](const Paths& p) { CopyFolderContents(p.source, p.tree); },
       "[* WARN] CopyFolderContents: link in the target, nothing copied into it -> ", ""},
      {"copy into a link", [](const Paths& p) { CopyFolderContents(p.source, p.linked); },
       "[* WARN] CopyFolderContents: target folder is a link, nothing copied -> ", ""},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.what);
    TempDir dir;
    const Paths p = {dir / "tree\\", dir / "tree\\linked", dir / "source\\", dir / "out\\"};
    const std::string elsewhere = dir / "elsewhere";
    ASSERT_TRUE(WriteBytes(elsewhere + "\\keep.txt", "keep"));
    ASSERT_TRUE(WriteBytes(elsewhere + "\\sub\\inner.txt", "inner"));
    ASSERT_TRUE(WriteBytes(p.tree + "own.txt", "own"));
    ASSERT_TRUE(WriteBytes(p.source + "own.txt", "copied"));
    ASSERT_TRUE(WriteBytes(p.source + "linked\\keep.txt", "copied"));
    ASSERT_TRUE(SetFileAttributesA((elsewhere + "\\keep.txt").c_str(),
                                   FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN));
    for (const std::string& folder : {elsewhere, elsewhere + "\\sub"})
      ASSERT_TRUE(SetFileAttributesA(folder.c_str(), FILE_ATTRIBUTE_HIDDEN));
    ASSERT_TRUE(SetFileAttributesA((p.tree + "own.txt").c_str(), FILE_ATTRIBUTE_READONLY));
    ASSERT_TRUE(MakeFolderLink(p.linked, elsewhere));
    const auto before = Snapshot(elsewhere);
    LogCapture log;
    r.walk(p);
    EXPECT_EQ(Snapshot(elsewhere), before);
    EXPECT_TRUE(log.Has(r.line)) << log.Text();
    if (*r.absent) {
      EXPECT_FALSE(Exists(dir / r.absent));
    }
  }
}

namespace {

// True for the item named "entry".
bool NamesEntry(const std::string& path) {
  const std::string name = "\\entry";
  return path.size() >= name.size() &&
         path.compare(path.size() - name.size(), name.size(), name) == 0;
}

// The tag the listing is taken to give the entry named "entry" (Wine gives
// none, and makes no reparse point but its links).
DWORD g_entryTag = 0;
DWORD EntryTag(const std::string& path, DWORD listed) {
  return NamesEntry(path) ? g_entryTag : listed;
}

}  // namespace

// Only a reparse point that stands for another name is a link, left alone by
// the walks; one of another kind (deduplicated, a cloud placeholder) is an
// ordinary folder, copied. Made as a link under Wine, its tag set by the row.
TEST(FileUtils, OnlyNameSurrogatesAreLinks) {
  struct Row {
    const char* what;
    bool reparsePoint;  // false: a plain folder
    DWORD tag;
    bool link;
  } rows[] = {
      {"symbolic link", true, IO_REPARSE_TAG_SYMLINK, true},
      {"junction or mount point", true, IO_REPARSE_TAG_MOUNT_POINT, true},
      {"deduplicated", true, IO_REPARSE_TAG_DEDUP, false},
      {"cloud placeholder", true, IO_REPARSE_TAG_CLOUD, false},
      {"tag not given", true, 0, true},
      {"no reparse point", false, IO_REPARSE_TAG_SYMLINK, false},
  };
  SetReparseTagForTesting(&EntryTag);
  for (const Row& r : rows) {
    SCOPED_TRACE(r.what);
    g_entryTag = r.tag;
    TempDir dir;
    const std::string entry = dir / "source\\entry";
    ASSERT_TRUE(WriteBytes(dir / "elsewhere\\inner.txt", "inner"));
    if (r.reparsePoint)
      ASSERT_TRUE(MakeFolderLink(entry, dir / "elsewhere"));
    else
      ASSERT_TRUE(WriteBytes(entry + "\\inner.txt", "inner"));
    EXPECT_EQ(IsLink(entry), r.link);
    CopyFolderContents(dir / "source", dir / "out");
    EXPECT_EQ(ReadBytes(dir / "out\\entry\\inner.txt"), r.link ? "" : "inner");
  }
  SetReparseTagForTesting(nullptr);
}

namespace {

// A listing that fails for the item named "entry", as for a parent folder
// the user may not list (Wine lists whatever exists).
HANDLE WINAPI ListingRefusedForEntry(LPCSTR pattern, LPWIN32_FIND_DATAA entry) {
  if (NamesEntry(pattern)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return INVALID_HANDLE_VALUE;
  }
  return FindFirstFileA(pattern, entry);
}

// The attributes of the item named "entry" cannot be read, for the row's
// reason (Wine enforces no access list); 0 reads them.
DWORD g_attributesError = 0;
DWORD WINAPI AttributesRefusedForEntry(LPCSTR path) {
  if (g_attributesError != 0 && NamesEntry(path)) {
    SetLastError(g_attributesError);
    return INVALID_FILE_ATTRIBUTES;
  }
  return GetFileAttributesA(path);
}

}  // namespace

// An item that cannot be listed is a link when its attributes show a reparse
// point, and, when those cannot be read either, unless it is not there (a
// junction whose own access list denies reading it): no full control, no
// emptying through it, no copy into it.
TEST(FileUtils, AnItemThatCannotBeListedIsALinkUnlessShownOtherwise) {
  enum Item { kJunction, kFolder, kMissing };
  const struct {
    const char* what;
    DWORD attributesError;  // 0: the attributes are read
    Item item;
    bool link;
  } rows[] = {
      {"junction", 0, kJunction, true},
      {"plain folder", 0, kFolder, false},
      {"missing", 0, kMissing, false},
      {"unreadable: access denied", ERROR_ACCESS_DENIED, kJunction, true},
      {"unreadable: another error", ERROR_SHARING_VIOLATION, kJunction, true},
      {"unreadable: file not found", ERROR_FILE_NOT_FOUND, kMissing, false},
      {"unreadable: path not found", ERROR_PATH_NOT_FOUND, kMissing, false},
  };
  SetListingForTesting(&ListingRefusedForEntry);
  SetAttributesForTesting(&AttributesRefusedForEntry);
  for (const auto& r : rows) {
    SCOPED_TRACE(r.what);
    g_attributesError = r.attributesError;
    TempDir dir;
    LogCapture log;
    const std::string entry = dir / "target\\entry";
    ASSERT_TRUE(WriteBytes(dir / "elsewhere\\inner.txt", "inner"));
    ASSERT_TRUE(WriteBytes(dir / "source\\entry\\new.txt", "new"));
    ASSERT_TRUE(CreateDirectoryTree(dir / "target"));
    if (r.item == kJunction) {
      ASSERT_TRUE(MakeFolderLink(entry, dir / "elsewhere"));
    } else if (r.item == kFolder) {
      ASSERT_TRUE(WriteBytes(entry + "\\inner.txt", "inner"));
    }
    EXPECT_EQ(IsLink(entry), r.link);
    EXPECT_EQ(IsLink(entry + "\\"), r.link);
    SetFolderPermissions(entry);
    EXPECT_EQ(log.Has("[* WARN] Permission setting skipped on a link -> " + entry), r.link)
        << log.Text();
    DeleteFolderContents(entry);
    EXPECT_EQ(ReadBytes(dir / "elsewhere\\inner.txt"), "inner");
    CopyFolderContents(dir / "source", dir / "target");
    EXPECT_EQ(ReadBytes(entry + "\\new.txt"), r.link ? "" : "new");
    EXPECT_EQ(log.Has("[* WARN] CopyFolderContents: link in the target, nothing copied into it -> " +
                      entry),
              r.link)
        << log.Text();
  }
  SetAttributesForTesting(nullptr);
  SetListingForTesting(nullptr);
  EXPECT_FALSE(IsLink("C:\\"));
}

namespace {

const std::string kPayload("PK\003\004binary payload\000\377\376 after the zero\x0a\x0d\x00\x1a",
                           40);

BOOL WINAPI ShortWrite(HANDLE file, LPCVOID data, DWORD size, LPDWORD written, LPOVERLAPPED) {
  return WriteFile(file, data, size / 2, written, nullptr);
}

BOOL WINAPI FailedWrite(HANDLE file, LPCVOID data, DWORD, LPDWORD written, LPOVERLAPPED) {
  WriteFile(file, data, 3, written, nullptr);
  SetLastError(ERROR_DISK_FULL);
  return FALSE;
}

}  // namespace

// Written to TMP, pointed at a scratch folder here: nothing is left there
// but a whole copy.
TEST(SystemUtils, ExtractBinaryResource) {
  TempDir temp;
  char oldTmp[32768] = {};
  const bool hadTmp = GetEnvironmentVariableA("TMP", oldTmp, sizeof oldTmp) > 0;
  SetEnvironmentVariableA("TMP", temp.path().c_str());
  struct Row {
    const char* what;
    WORD id;
    std::string name;
    WriteFunction write;
  } rows[] = {{"missing resource", 179, "payload.bin", nullptr},
              {"short write", 178, "payload.bin", &ShortWrite},
              {"failed write", 178, "payload.bin", &FailedWrite}, {"empty name", 178, "", nullptr},
              {"name with a folder", 178, "..\\payload.bin", nullptr}};
  for (const Row& r : rows) {
    SCOPED_TRACE(r.what);
    SetWholeFileWriteForTesting(r.write);
    std::string path = "unchanged";
    EXPECT_FALSE(ExtractBinaryResource(r.id, r.name, &path));
    EXPECT_EQ(path, "unchanged");
    EXPECT_TRUE(Names(temp.path()).empty());
  }
  SetWholeFileWriteForTesting(nullptr);
  const std::string expected = temp / "payload.bin";
  EXPECT_TRUE(WriteBytes(expected, std::string(1000, 'o')));  // replaced, not appended to
  std::string path;
  EXPECT_TRUE(ExtractBinaryResource(178, "payload.bin", &path));
  // Deny none while it is written, deletion included.
  EXPECT_EQ(testing_support::OpensWhileWritten(
                expected, [] { ExtractBinaryResource(178, "payload.bin", nullptr); }),
            "read write delete");
  SetEnvironmentVariableA("TMP", hadTmp ? oldTmp : nullptr);
  EXPECT_EQ(path, expected);
  EXPECT_EQ(ReadBytes(expected), kPayload);
}
