#include "version.h"

#include "text_utils.h"

bool ParseVersionString(const std::string& text, std::vector<int32_t>* out) {
  std::vector<std::string> pieces;
  SplitStringInto(text, ".", pieces);
  for (const std::string& piece : pieces) out->push_back(StringToInt(piece));
  return !pieces.empty();
}

Version::Version() = default;

Version::Version(const std::string& text) {
  std::vector<int32_t> numbers;
  ParseVersionString(text, &numbers);
  // Kept as the two's-complement pattern: comparisons are unsigned.
  components_.assign(numbers.begin(), numbers.end());
}

int Version::Compare(const Version& other) const {
  const std::vector<uint32_t>& a = components_;
  const std::vector<uint32_t>& b = other.components_;
  const size_t n = a.size() < b.size() ? a.size() : b.size();
  for (size_t i = 0; i < n; ++i) {
    if (a[i] > b[i]) return 1;
    if (a[i] < b[i]) return -1;
  }
  for (size_t i = n; i < a.size(); ++i)
    if (a[i] != 0) return 1;
  for (size_t i = n; i < b.size(); ++i)
    if (b[i] != 0) return -1;
  return 0;
}

std::string Version::ToString() const {
  std::string text;
  for (size_t i = 0; i < components_.size(); ++i) {
    if (i > 0) text += '.';
    text += IntToString(static_cast<int32_t>(components_[i]));
  }
  return text;
}
