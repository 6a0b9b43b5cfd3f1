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

enum class TextEncoding { Gbk, Utf8 };

// What Notepad puts before a UTF-8 file.
inline constexpr std::string_view kUtf8ByteOrderMark = "\xEF\xBB\xBF";

// True when a byte is not ASCII: pure ASCII reads the same as GBK and as UTF-8.
inline bool hasHighByte(std::string_view bytes) {
    for (char c : bytes)
        if (static_cast<unsigned char>(c) >= 0x80) return true;
    return false;
}

struct IniText {
    std::string_view body;  // the file without any byte-order mark
    TextEncoding encoding;
};

// UTF-8 when the bytes start with a UTF-8 byte-order mark, or are all valid UTF-8 with at least
// one non-ASCII byte (what today's Notepad writes); GBK otherwise.
IniText classifyIniText(std::string_view fileBytes);

// One lookup, fed the file's lines in order (without their "\n"), so a file can be read in
// pieces. Section and key are given in the text's own encoding.
class IniLookup {
  public:
    IniLookup(std::string_view section, std::string_view key, bool doubleByte);
    // True once the answer is known: the key was found, or the first matching section ended.
    bool feed(std::string_view line);
    // Feeds every complete line ("\n"-ended) at the start of `text` and takes them off it; stops
    // early once finished. The same as feeding the lines one by one, only faster.
    bool feedLines(std::string_view& text);
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

// The keys of `section` in file order, as the lookups see them: only the first section of that
// name, blanks around a key dropped, comment lines and lines without "=" or without a key left
// out. Duplicates are kept (a lookup finds the first). Empty when the section is missing.
std::vector<std::string> findIniKeys(const IniText& text, std::string_view section);

}  // namespace tovren::catalogue
