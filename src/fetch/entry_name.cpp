#include "fetch/entry_name.h"

#include "platform/text.h"

namespace tovren::fetch {
namespace {

bool isSeparator(char c) {
    return c == '/' || c == '\\';
}

char upper(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (upper(a[i]) != upper(b[i])) return false;
    return true;
}

// Windows opens a device for these names whatever extension follows, and ignores blanks before
// the extension ("CON .txt").
bool isDeviceName(std::string_view segment) {
    std::string_view base = segment.substr(0, segment.find('.'));
    while (!base.empty() && base.back() == ' ') base.remove_suffix(1);
    for (std::string_view device : {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"})
        if (equalsIgnoringCase(base, device)) return true;
    for (std::string_view port : {"COM", "LPT"}) {
        if (base.size() < 4 || !equalsIgnoringCase(base.substr(0, 3), port)) continue;
        std::string_view number = base.substr(3);
        if (number.size() == 1 && number[0] >= '0' && number[0] <= '9') return true;
        // Superscript one, two and three count as digits here too.
        if (number == "\xC2\xB9" || number == "\xC2\xB2" || number == "\xC2\xB3") return true;
    }
    return false;
}

bool isOnlyDotsAndBlanks(std::string_view segment) {
    return segment.find_first_not_of(". ") == segment.npos;
}

}  // namespace

std::string entryNameText(std::string_view rawName, bool utf8Flag) {
    if (!utf8Flag) return platform::gbkToUtf8(rawName);
    if (platform::isValidUtf8(rawName)) return std::string(rawName);
    return platform::utf16ToUtf8(platform::utf8ToUtf16(rawName));
}

std::optional<std::vector<std::string>> safeSegments(std::string_view name) {
    if (name.empty()) return std::vector<std::string>{};
    if (isSeparator(name[0])) return std::nullopt;
    for (unsigned char c : name) {
        if (c < 0x20 || c == 0x7F || c == ':' || c == '*' || c == '?' || c == '"' || c == '<' ||
            c == '>' || c == '|')
            return std::nullopt;
    }
    std::vector<std::string> segments;
    size_t start = 0;
    while (start <= name.size()) {
        size_t end = start;
        while (end < name.size() && !isSeparator(name[end])) ++end;
        std::string_view segment = name.substr(start, end - start);
        start = end + 1;
        if (segment.empty() || segment == ".") continue;
        if (isOnlyDotsAndBlanks(segment) || isDeviceName(segment)) return std::nullopt;
        // Windows drops them when it makes a file or folder, and then no longer finds the
        // folder under the name as written: every system takes the name as Windows keeps it.
        segment.remove_suffix(segment.size() - 1 - segment.find_last_not_of(". "));
        segments.emplace_back(segment);
    }
    return segments;
}

}  // namespace tovren::fetch
