#include "text_utils.h"

#include <windows.h>

#include <climits>
#include <cstdint>

std::string IntToString(int value) { return std::to_string(value); }
std::string Decimal(int64_t value) { return std::to_string(value); }

std::string LastErrorText() { return std::to_string(GetLastError()); }

std::string TrimBlanks(const std::string& text) {
  const size_t first = text.find_first_not_of(' ');
  if (first == std::string::npos) return std::string();
  return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

int StringToInt(const std::string& text) {
  size_t i = 0;
  const size_t n = text.size();
  // White space of the classic locale.
  while (i < n && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) ++i;
  bool negative = false;
  if (i < n && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  // Accumulated as a magnitude with room above the 32-bit range, capped so it
  // cannot overflow however many digits follow.
  const int64_t cap = static_cast<int64_t>(INT_MAX) + 1;
  int64_t magnitude = 0;
  for (; i < n && text[i] >= '0' && text[i] <= '9'; ++i) {
    magnitude = magnitude * 10 + (text[i] - '0');
    if (magnitude > cap) magnitude = cap;
  }
  if (negative) return static_cast<int>(-magnitude);  // -cap is INT_MIN
  return magnitude > INT_MAX ? INT_MAX : static_cast<int>(magnitude);
}

void SplitStringInto(const std::string& text, const std::string& delimiters,
                     std::vector<std::string>& out) {
  out.clear();
  bool isDelimiter[256] = {};
  for (char d : delimiters) isDelimiter[static_cast<unsigned char>(d)] = true;
  size_t start = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if (isDelimiter[static_cast<unsigned char>(text[i])]) {
      out.push_back(text.substr(start, i - start));
      start = i + 1;
    }
  }
  out.push_back(text.substr(start));
}

std::vector<std::string> SplitString(const std::string& text, const std::string& delimiters) {
  std::vector<std::string> pieces;
  SplitStringInto(text, delimiters, pieces);
  return pieces;
}

std::string ToLower(std::string text) {
  for (char& c : text)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return text;
}

std::string ToUpper(std::string text) {
  for (char& c : text)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return text;
}

bool ReplaceString(const std::string& text, const std::string& from, const std::string& to,
                   std::string* out) {
  const size_t at = text.find(from);
  if (at == std::string::npos) {
    if (out != &text) *out = text;
    return false;
  }
  std::string result = text;
  result.replace(at, from.size(), to);
  *out = std::move(result);
  return true;
}

bool IsValidOfficeNumber(const std::string& text) {
  if (text.empty() || text.size() > 5) return false;
  bool nonZero = false;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    nonZero = nonZero || c != '0';
  }
  return nonZero;
}

std::wstring AnsiToWide(const std::string& text) {
  if (text.empty()) return std::wstring();
  int n = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  if (n <= 0) return std::wstring();
  std::wstring wide(n, L'\0');
  MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), &wide[0], n);
  return wide;
}

std::string WideToAnsi(const wchar_t* text) {
  if (!text || !*text) return std::string();
  int n = WideCharToMultiByte(CP_ACP, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (n <= 1) return std::string();
  std::string narrow(n, '\0');
  WideCharToMultiByte(CP_ACP, 0, text, -1, &narrow[0], n, nullptr, nullptr);
  narrow.resize(n - 1);
  return narrow;
}
