// Helpers shared by the in-process test programs: scratch folders that clean
// up after themselves, the fixture folder, access lists as text and the setup
// log captured (file helpers in files.h).
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "files.h"

namespace testing_support {

// A new empty folder under the Wine prefix's temporary folder, removed with its
// content when the object goes. path() ends with "\".
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + name; }

 private:
  std::string path_;
};

// A file made by a test fixture, as a Windows path.
std::string TestData(const std::string& name);

// A security descriptor's access list in SDDL text; "?" when it cannot be had.
std::string DaclText(PSECURITY_DESCRIPTOR sd);

// Points the setup log at a scratch folder of its own for the life of the
// object (test programs run in parallel), and reads it back.
class LogCapture {
 public:
  LogCapture();
  ~LogCapture();
  LogCapture(const LogCapture&) = delete;
  LogCapture& operator=(const LogCapture&) = delete;
  // The log folder (no trailing "\").
  const std::string& folder() const { return folder_; }
  std::string Text() const;
  // Whether the log holds the text; an empty text is a mistake of the test.
  bool Has(const std::string& text) const;
  // Its lines without their timestamps.
  std::vector<std::string> Lines() const;
  // Later reads see only the lines written after this call. The file stays:
  // deleting it races with a writer that has it open (its lines would go
  // with the deleted file).
  void Clear();

 private:
  TempDir dir_;
  std::string folder_;
  std::string cleared_;  // the log as it stood at Clear()
};

}  // namespace testing_support
