// Small text and number helpers used across the setup on narrow ANSI text:
// number <-> text, splitting at delimiter bytes, ASCII case mapping, replacing
// the first occurrence of a substring, checking an office code, and the
// conversion to and from UTF-16 where a Windows interface wants wide text.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Decimal text of the value ("-" for negatives, no padding or grouping).
std::string IntToString(int value);
std::string Decimal(int64_t value);

// Reads an optional sign and decimal digits after leading white space and stops
// at the first other byte; 0 when the text does not begin with a number.
// Values beyond the signed 32-bit range saturate at INT_MIN / INT_MAX.
int StringToInt(const std::string& text);

// The pieces of the text between delimiter bytes (each byte of `delimiters` is
// one delimiter). Empty pieces are kept, so n delimiters give n + 1 pieces; an
// empty delimiter set gives the whole text as one piece.
std::vector<std::string> SplitString(const std::string& text, const std::string& delimiters);
// The same pieces as SplitString, replacing whatever `out` held.
void SplitStringInto(const std::string& text, const std::string& delimiters,
                     std::vector<std::string>& out);

// The calling thread's last Windows error in decimal, for log lines.
std::string LastErrorText();

// The text without its leading and trailing blanks (spaces only).
std::string TrimBlanks(const std::string& text);

// Only A-Z / a-z change; every other byte (accented letters included) is kept.
std::string ToLower(std::string text);
std::string ToUpper(std::string text);

// `out` receives the text with the first occurrence of `from` replaced by `to`
// (an empty `from` matches at position 0). False, with `out` holding the
// unchanged text, when `from` does not occur. `out` may be the text itself.
bool ReplaceString(const std::string& text, const std::string& from, const std::string& to,
                   std::string* out);

// True for one to five decimal digits that are not all zeros (leading zeros
// allowed): the office codes a user may type.
bool IsValidOfficeNumber(const std::string& text);

// ANSI-code-page text to UTF-16 and back, for the calls that take wide text.
std::wstring AnsiToWide(const std::string& text);
std::string WideToAnsi(const wchar_t* text);
