#include "catalogue/ini.h"

#include <cstring>

#include "platform/text.h"

namespace tovren::catalogue {
namespace {

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

std::string_view trim(std::string_view s) {
    while (!s.empty() && isBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && isBlank(s.back())) s.remove_suffix(1);
    return s;
}

char foldAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c | 0x20) : c; }

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

}  // namespace

IniText classifyIniText(std::string_view bytes) {
    if (bytes.substr(0, 3) == "\xEF\xBB\xBF") return {bytes.substr(3), TextEncoding::Utf8};
    // A GBK catalogue fails the check at its first Chinese character, so this is cheap there.
    bool anyHighByte = false;
    for (char c : bytes) {
        if (static_cast<unsigned char>(c) >= 0x80) {
            anyHighByte = true;
            break;
        }
    }
    if (anyHighByte && platform::isValidUtf8(bytes)) return {bytes, TextEncoding::Utf8};
    return {bytes, TextEncoding::Gbk};
}

std::optional<std::string_view> findIniValue(const IniText& text, std::string_view section,
                                             std::string_view key) {
    const bool doubleByte = text.encoding == TextEncoding::Gbk;
    std::string_view rest = text.body;
    bool inSection = false;
    while (!rest.empty()) {
        const void* newline = std::memchr(rest.data(), '\n', rest.size());
        size_t length = newline ? static_cast<const char*>(newline) - rest.data() : rest.size();
        std::string_view line = rest.substr(0, length);
        rest.remove_prefix(newline ? length + 1 : length);

        while (!line.empty() && isBlank(line.front())) line.remove_prefix(1);
        if (line.empty() || line.front() == ';') continue;
        if (line.front() == '[') {
            size_t close = findClosingBracket(line.substr(1), doubleByte);
            if (close == std::string_view::npos) continue;
            if (inSection) return std::nullopt;  // only the first matching section counts
            inSection = namesMatch(trim(line.substr(1, close)), section, doubleByte);
            continue;
        }
        if (!inSection) continue;
        size_t equals = line.find('=');
        if (equals == std::string_view::npos) continue;
        if (namesMatch(trim(line.substr(0, equals)), key, doubleByte))
            return unquote(trim(line.substr(equals + 1)));
    }
    return std::nullopt;
}

}  // namespace tovren::catalogue
