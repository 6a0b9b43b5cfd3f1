#pragma once
// An INI reader that finds values the way the Windows profile reader does:
//   - the first section with a matching name is the only one searched, and in it the first
//     matching key wins;
//   - names match without regard to case for ASCII letters only;
//   - a line whose first non-blank character is ";" is a comment; a line without "=" holds no
//     key; a "[" line without "]" is skipped;
//   - a value loses its surrounding blanks, then one pair of matching surrounding quotes.
// In double-byte mode (GBK) a double-byte character is compared and stepped over whole, so its
// trail byte is never folded as a letter nor taken for "]".
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tovren::catalogue {

// The three encodings a catalogue is read in: the ANSI code page (GBK), and the two that
// Notepad offers beside it, UTF-8 and "Unicode" (UTF-16LE with its byte-order mark).
enum class TextEncoding { Gbk, Utf8, Utf16Le };

// "GBK", "UTF-8", "UTF-16LE".
std::string_view encodingName(TextEncoding encoding);

// What Notepad puts before a UTF-8 file, and before a UTF-16LE one.
inline constexpr std::string_view kUtf8ByteOrderMark = "\xEF\xBB\xBF";
inline constexpr std::string_view kUtf16LeByteOrderMark = "\xFF\xFE";

// True when a byte is not ASCII: pure ASCII reads the same as GBK and as UTF-8.
inline bool hasHighByte(std::string_view bytes) {
    for (char c : bytes)
        if (static_cast<unsigned char>(c) >= 0x80) return true;
    return false;
}

// The bytes of a UTF-16LE text turned into UTF-8 piece by piece: a code unit or a surrogate
// pair split between two pieces is held back until the next. Unpaired surrogates become U+FFFD;
// an odd last byte is no character and is dropped.
class Utf16LeDecoder {
  public:
    std::string decode(std::string_view bytes, bool last);

  private:
    std::string held_;  // at most one byte, or a high surrogate (with an odd byte after it)
};

struct IniText {
    std::string body;       // the text without a byte-order mark; a UTF-16LE one as UTF-8
    TextEncoding encoding;  // the file's
    // GBK names are compared as double-byte text; the other two are looked up as UTF-8.
    bool doubleByte() const { return encoding == TextEncoding::Gbk; }
};

// UTF-16LE when the bytes start with its byte-order mark; UTF-8 when they start with the UTF-8
// byte-order mark, or are all valid UTF-8 with at least one non-ASCII byte (what today's
// Notepad writes); GBK otherwise.
IniText classifyIniText(std::string_view fileBytes);

// The position of the first line end (CR or LF) in [from, end), or end. A lone CR ends a line
// as the system's profile reader takes it; CR LF is one end followed by an empty line, which
// no lookup notices.
const char* findLineEnd(const char* from, const char* end);

// How a lookup passes over lines: byte by byte, or 16 or 32 bytes at a time with the SSE2 or AVX2
// instructions. The best the processor has is used; tests try the others too.
enum class LineScan { Bytes, Sse2, Avx2 };
LineScan lineScan();
// Takes the best the processor has when it lacks the one asked for.
void setLineScan(LineScan scan);

// One lookup, fed the file's lines in order (without their line ends), so a file can be read
// in pieces. Section and key are given in the text's own encoding.
class IniLookup {
  public:
    IniLookup(std::string_view section, std::string_view key, bool doubleByte);
    // True once the answer is known: the key was found, or the first matching section ended.
    bool feed(std::string_view line);
    // Feeds every complete line (ended by CR or LF) at the start of `text` and takes them off
    // it, and with `last` the unended rest too; stops early once finished. The same as feeding
    // the lines one by one, only faster: the lines that cannot hold the key are passed over.
    bool feedLines(std::string_view& text, bool last = false);
    bool finished() const { return finished_; }
    // The value, or nothing when the section or key is missing.
    const std::optional<std::string>& value() const { return value_; }

  private:
    std::string section_, key_;
    bool doubleByte_;
    bool lastByteExact_;
    bool inSection_ = false;
    bool finished_ = false;
    std::optional<std::string> value_;
};

// The value of `key` in `section` of a whole text; nothing when the section or key is missing.
std::optional<std::string> findIniValue(const IniText& text, std::string_view section,
                                        std::string_view key);

// The same lookup with every line fed in turn, none passed over: slower, and the reference that
// findIniValue is checked against.
std::optional<std::string> findIniValueLineByLine(const IniText& text, std::string_view section,
                                                  std::string_view key);

// The keys of `section` in file order, as the lookups see them: only the first section of that
// name, blanks around a key dropped, comment lines and lines without "=" or without a key left
// out. Duplicates are kept (a lookup finds the first). Empty when the section is missing.
std::vector<std::string> findIniKeys(const IniText& text, std::string_view section);

}  // namespace tovren::catalogue
