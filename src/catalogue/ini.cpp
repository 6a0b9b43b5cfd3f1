#include "catalogue/ini.h"

#include <cstring>

#include "platform/text.h"

namespace tovren::catalogue {
namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r';
}

std::string_view trim(std::string_view s) {
    while (!s.empty() && isBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && isBlank(s.back())) s.remove_suffix(1);
    return s;
}

char foldAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c | 0x20) : c;
}

bool namesMatch(std::string_view a, std::string_view b, bool doubleByte) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (doubleByte && platform::isGbkLeadByte(static_cast<unsigned char>(a[i])) &&
            i + 1 < a.size()) {
            if (a[i] != b[i] || a[i + 1] != b[i + 1]) return false;
            ++i;
        } else if (foldAscii(a[i]) != foldAscii(b[i])) {
            return false;
        }
    }
    return true;
}

bool isAsciiLetter(char c) {
    return (c | 0x20) >= 'a' && (c | 0x20) <= 'z';
}

// True when the name's last byte compares exactly in namesMatch: the trail byte of a
// double-byte character, or a single-byte character that is no ASCII letter.
bool endsInNonLetter(std::string_view name, bool doubleByte) {
    size_t i = 0, lastStart = 0;
    while (i < name.size()) {
        lastStart = i;
        bool pair = doubleByte && platform::isGbkLeadByte(static_cast<unsigned char>(name[i])) &&
                    i + 1 < name.size();
        i += pair ? 2 : 1;
    }
    return name.size() - lastStart == 2 || !isAsciiLetter(name.back());
}

// The position of the first "]" that is a character of its own, or npos.
size_t findClosingBracket(std::string_view s, bool doubleByte) {
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == ']') return i;
        if (doubleByte && platform::isGbkLeadByte(static_cast<unsigned char>(s[i]))) ++i;
    }
    return std::string_view::npos;
}

std::string_view unquote(std::string_view v) {
    if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
        return v.substr(1, v.size() - 2);
    return v;
}

// Calls `line` for each line of the text, without its "\n", until it returns true.
template <typename LineFunction>
void forEachLine(std::string_view text, LineFunction line) {
    while (!text.empty()) {
        const void* newline = std::memchr(text.data(), '\n', text.size());
        size_t length = newline ? static_cast<const char*>(newline) - text.data() : text.size();
        if (line(text.substr(0, length))) break;
        text.remove_prefix(newline ? length + 1 : length);
    }
}

}  // namespace

IniText classifyIniText(std::string_view bytes) {
    if (bytes.starts_with(kUtf8ByteOrderMark))
        return {bytes.substr(kUtf8ByteOrderMark.size()), TextEncoding::Utf8};
    // A GBK catalogue fails the check at its first Chinese character, so this is cheap there.
    if (hasHighByte(bytes) && platform::isValidUtf8(bytes)) return {bytes, TextEncoding::Utf8};
    return {bytes, TextEncoding::Gbk};
}

IniLookup::IniLookup(std::string_view section, std::string_view key, bool doubleByte)
    : section_(section),
      key_(key),
      doubleByte_(doubleByte),
      lastByteExact_(!key.empty() && endsInNonLetter(key, doubleByte)) {}

bool IniLookup::feed(std::string_view line) {
    if (finished_) return true;
    while (!line.empty() && isBlank(line.front())) line.remove_prefix(1);
    if (line.empty() || line.front() == ';') return false;
    if (line.front() == '[') {
        size_t close = findClosingBracket(line.substr(1), doubleByte_);
        if (close == std::string_view::npos) return false;
        if (inSection_) return finished_ = true;  // only the first matching section counts
        inSection_ = namesMatch(trim(line.substr(1, close)), section_, doubleByte_);
        return false;
    }
    const std::string_view key = key_;
    if (!inSection_ || key.empty() || line.size() <= key.size()) return false;
    // Cheap rejection first: the keys of a section mostly differ in their last character.
    if (lastByteExact_ ? line[key.size() - 1] != key.back()
                       : foldAscii(line[key.size() - 1]) != foldAscii(key.back()))
        return false;
    // The key must start the line, then blanks, then "=".
    if (!namesMatch(line.substr(0, key.size()), key, doubleByte_)) return false;
    std::string_view afterKey = line.substr(key.size());
    while (!afterKey.empty() && isBlank(afterKey.front())) afterKey.remove_prefix(1);
    if (afterKey.empty() || afterKey.front() != '=') return false;
    value_ = std::string(unquote(trim(afterKey.substr(1))));
    return finished_ = true;
}

bool IniLookup::feedLines(std::string_view& text) {
    const char* p = text.data();
    const char* end = p + text.size();
    while (!finished_) {
        const void* newline = std::memchr(p, '\n', static_cast<size_t>(end - p));
        if (!newline) break;
        const char* lineEnd = static_cast<const char*>(newline);
        feed(std::string_view(p, static_cast<size_t>(lineEnd - p)));
        p = lineEnd + 1;
    }
    text.remove_prefix(static_cast<size_t>(p - text.data()));
    return finished_;
}

std::optional<std::string> findIniValue(const IniText& text, std::string_view section,
                                        std::string_view key) {
    IniLookup lookup(section, key, text.encoding == TextEncoding::Gbk);
    forEachLine(text.body, [&](std::string_view line) { return lookup.feed(line); });
    return lookup.value();
}

std::vector<std::string> findIniKeys(const IniText& text, std::string_view section) {
    const bool doubleByte = text.encoding == TextEncoding::Gbk;
    std::vector<std::string> keys;
    bool inSection = false;
    forEachLine(text.body, [&](std::string_view line) {
        line = trim(line);
        if (line.empty() || line.front() == ';') return false;
        if (line.front() == '[') {
            size_t close = findClosingBracket(line.substr(1), doubleByte);
            if (close == std::string_view::npos) return false;
            if (inSection) return true;  // only the first matching section counts
            inSection = namesMatch(trim(line.substr(1, close)), section, doubleByte);
            return false;
        }
        // "=" is never the trail byte of a GBK character, so the first one divides.
        size_t equals = line.find('=');
        if (!inSection || equals == std::string_view::npos) return false;
        std::string_view key = trim(line.substr(0, equals));
        if (!key.empty()) keys.emplace_back(key);
        return false;
    });
    return keys;
}

}  // namespace tovren::catalogue
