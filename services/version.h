// Dotted version numbers such as the names of DesktopApp version folders
// ("1.4.12.0"): parsed leniently, compared numerically component by component.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Appends one number per "."-separated piece of the text to `out` (a piece
// without a number gives 0; empty pieces count). True when the text gave at
// least one piece, which is always the case.
bool ParseVersionString(const std::string& text, std::vector<int32_t>* out);

class Version {
 public:
  // No components; equal to "0" and to the version of the empty text.
  Version();
  explicit Version(const std::string& text);

  // 1 when this version is greater than `other`, -1 when smaller, 0 when equal.
  // Components compare as unsigned 32-bit numbers (so -1 is 4294967295); a
  // longer version is greater only when one of its extra components is not 0.
  int Compare(const Version& other) const;

  // The components as signed decimals joined with "."; empty with no components.
  std::string ToString() const;

  const std::vector<uint32_t>& components() const { return components_; }

  friend bool operator<(const Version& a, const Version& b) { return a.Compare(b) < 0; }
  friend bool operator>(const Version& a, const Version& b) { return a.Compare(b) > 0; }

 private:
  std::vector<uint32_t> components_;
};
