#pragma once
// Text conversion at the program's edges. Inside the program every text is UTF-8; GBK (code
// page 936) is what the catalogue, ZIP names and server-given names arrive in; UTF-16 is what
// the Windows API takes.
//
// GBK decoding is the same on every build: the double-byte table is read once from the
// platform's own converter (Windows code page 936, iconv's CP936 elsewhere), and bytes that
// are not GBK are handled here, not by the converter:
//   - 0x00-0x7F are ASCII; 0x80 is the euro sign (as code page 936 has it);
//   - a lead byte (0x81-0xFE) with a trail byte (0x40-0x7E, 0x80-0xFE) is one character; a pair
//     the converter does not map, or maps into the Private Use Area (Windows' user-defined
//     rows), becomes one U+FFFD;
//   - a lead byte without a trail byte after it (at the end, or before a byte that cannot
//     trail) becomes one U+FFFD and the byte after it is read on its own; 0xFF is one U+FFFD.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tovren::platform {

inline bool isGbkLeadByte(unsigned char c) {
    return c >= 0x81 && c <= 0xFE;
}
inline bool isGbkTrailByte(unsigned char c) {
    return (c >= 0x40 && c <= 0x7E) || (c >= 0x80 && c <= 0xFE);
}

// Never fails: bytes that are not GBK become U+FFFD as described above.
std::string gbkToUtf8(std::string_view gbk);

// Empty when a character has no GBK form or the input is not valid UTF-8.
std::optional<std::string> utf8ToGbk(std::string_view utf8);
// The same, with '?' for each character that has no GBK form (and each invalid UTF-8 sequence).
std::string utf8ToGbkLossy(std::string_view utf8);

// Strict UTF-8 check (no overlong forms, no surrogates, nothing above U+10FFFF).
bool isValidUtf8(std::string_view bytes);

// Invalid UTF-8 sequences and lone surrogates become U+FFFD.
std::u16string utf8ToUtf16(std::string_view utf8);
std::string utf16ToUtf8(std::u16string_view utf16);

}  // namespace tovren::platform
