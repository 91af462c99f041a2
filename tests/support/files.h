// File helpers shared by every test program, in-process and end to end (the
// wizard driver links them too): byte-exact reads and writes, folder trees,
// files held open, shell links, and folder links as Wine has them. They link
// no product code, so what they read back is read independently of it.
#pragma once

#include <windows.h>

#include <map>
#include <string>
#include <vector>

namespace testing_support {

// Writes exactly these bytes, creating the parent folders; false on failure.
bool WriteBytes(const std::string& path, const std::string& bytes);
// The whole content of a file; empty when it cannot be read.
std::string ReadBytes(const std::string& path);
bool Exists(const std::string& path);
// Creates the folder and its parents.
void MakeFolders(const std::string& folder);
// Removes a file or a folder tree (attributes reset first); a link is removed
// itself, never entered. True when nothing is left.
bool RemoveTree(const std::string& path);
// Every file below a folder, by its path relative to the folder ("a\b.txt"),
// with its bytes. Links are not entered.
std::map<std::string, std::string> Tree(const std::string& folder);
// Every entry below a folder, links not entered: "<folder>" for a folder,
// for a file its bytes (none when `bytes` is false), "@" and its last write
// time in 100 ns units.
std::map<std::string, std::string> Entries(const std::string& folder, bool bytes = true);
// The names of a folder's own entries (files and folders), sorted.
std::vector<std::string> Names(const std::string& folder);

// Marker files of an installed platform, byte by byte. FILES\uffaut: filler
// with the office code at offsets 521 (high byte) and 522 (low byte).
std::string UffautBytes(unsigned char high, unsigned char low);
// HOME\BIN\ZANOLINF.TXT holding "PROT" as the platform scrambles it: byte i
// (from 1) less i.
std::string ZanolinfBytes(std::string prot);

// A file held open by the test, by default without sharing: no other open
// succeeds until Release or the end of the holder. With FILE_SHARE_READ as
// `share` others may still read (and run) it, but not move or write it.
class HeldFile {
 public:
  explicit HeldFile(const std::string& path, DWORD share = 0);
  ~HeldFile() { Release(); }
  HeldFile(const HeldFile&) = delete;
  HeldFile& operator=(const HeldFile&) = delete;
  bool held() const { return handle_ != INVALID_HANDLE_VALUE; }
  void Release();

 private:
  HANDLE handle_;
};

// A shell link read back through the shell's own link object.
struct Link {
  bool read = false;  // false: no link could be loaded from the path
  std::string target, folder, description;
};
Link ReadLink(const std::string& path);
// Writes a shell link to `target` at `path`; false when it cannot.
bool WriteLink(const std::string& path, const std::string& target);

// Folder links. A link is what Windows calls one, a reparse point. Wine 8
// makes none through CreateSymbolicLinkA (it reports success and makes
// nothing) or a junction (error 50), and cannot remove one (RemoveDirectoryA
// and DeleteFileA act on the target); there a link is a Unix symbolic link,
// which Wine lists with FILE_ATTRIBUTE_REPARSE_POINT, made and removed from
// the Linux side.
// The Unix path of a Windows path under Wine; "" elsewhere.
std::string UnixPath(const std::string& windowsPath);
// Makes `link` (its parent folders made first) a link to the folder `target`.
// True when the link is there, reported as a reparse point. (RemoveTree
// removes a link itself, never its target.)
bool MakeFolderLink(const std::string& link, const std::string& target);

}  // namespace testing_support
