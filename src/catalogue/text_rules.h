#pragma once
// The rules the catalogue's values are read by. They work on GBK bytes, before any decoding, so
// a double-byte character is never split and never taken for an ASCII character.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tovren::catalogue {

// Full-width digits, signs, points and letters (GBK row 0xA3) become ASCII, and the ideographic
// space (0xA1A1) a blank; every other byte is kept.
std::string foldFullWidth(std::string_view gbk);

// Reads the text as a decimal floating-point number after folding full-width forms: leading
// blanks, an optional sign, digits, an optional fraction and exponent; reading stops at the
// first other character, and text with no number gives 0. The number is truncated toward zero;
// one outside the 32-bit range gives the nearest end of that range.
int32_t textToInt32(std::string_view gbk);

// Splits at every `separator` byte that is a character of its own. An empty piece between two
// separators counts; the rest after the last separator counts only when it is not empty.
std::vector<std::string_view> splitGbk(std::string_view gbk, char separator);

// The decimal text of a number: "1", "-2".
std::string decimalText(int32_t n);

}  // namespace tovren::catalogue
