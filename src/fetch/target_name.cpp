#include "fetch/target_name.h"

#include <array>

#include "platform/text.h"

namespace tovren::fetch {
namespace {

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

char upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; }

bool isDeviceName(std::string_view name) {
    // Windows opens the device for "con", "con.txt" and "con .txt" alike.
    std::string base;
    for (char c : name.substr(0, name.find('.'))) base += upper(c);
    while (!base.empty() && base.back() == ' ') base.pop_back();
    static constexpr std::array<std::string_view, 6> kPlain = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
    for (std::string_view device : kPlain)
        if (base == device) return true;
    return base.size() == 4 && (base.starts_with("COM") || base.starts_with("LPT")) &&
           base[3] >= '1' && base[3] <= '9';
}

std::string_view lastSegment(std::string_view path) {
    size_t at = path.find_last_of("/\\");
    return at == path.npos ? path : path.substr(at + 1);
}

std::optional<std::string> safeLastSegment(const std::string& utf8) {
    std::string name(lastSegment(utf8));
    if (!isSafeFileName(name)) return std::nullopt;
    return name;
}

}  // namespace

std::string percentDecode(std::string_view text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '+') {
            out += ' ';
        } else if (text[i] == '%' && i + 2 < text.size() && hexValue(text[i + 1]) >= 0 &&
                   hexValue(text[i + 2]) >= 0) {
            out += static_cast<char>(hexValue(text[i + 1]) * 16 + hexValue(text[i + 2]));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

std::optional<std::string> serverFileName(std::string_view gbkName) {
    // Decoded first: a GBK double-byte character may carry a "\" as its second byte.
    return safeLastSegment(platform::gbkToUtf8(gbkName));
}

std::optional<std::string> fileNameFromPath(std::string_view requestPath) {
    std::string_view segment = requestPath.substr(requestPath.rfind('/') + 1);
    return safeLastSegment(platform::gbkToUtf8(percentDecode(segment)));
}

bool isSafeFileName(std::string_view name) {
    if (name.empty() || name == "." || name == "..") return false;
    for (char c : name) {
        auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F) return false;
        if (std::string_view(":*?\"<>|/\\").find(c) != std::string_view::npos) return false;
    }
    if (name.back() == '.' || name.back() == ' ') return false;
    return !isDeviceName(name);
}

std::optional<std::string> nextFreeNameCandidate(std::string_view fileName) {
    size_t dot = fileName.find('.');
    std::string_view stem = fileName.substr(0, dot);
    std::string_view rest = dot == fileName.npos ? std::string_view() : fileName.substr(dot);
    // "(k)" at the end of the stem, k one or two digits.
    size_t open = stem.rfind('(');
    if (!stem.empty() && stem.back() == ')' && open != stem.npos) {
        std::string_view digits = stem.substr(open + 1, stem.size() - open - 2);
        bool isCounter = !digits.empty() && digits.size() <= 2;
        int k = 0;
        for (char c : digits) {
            if (c < '0' || c > '9') isCounter = false;
            k = k * 10 + (c - '0');
        }
        if (isCounter) {
            if (k + 1 >= 100) return std::nullopt;
            return std::string(stem.substr(0, open)) + "(" + std::to_string(k + 1) + ")" + std::string(rest);
        }
    }
    return std::string(stem) + "(1)" + std::string(rest);
}

std::optional<std::string> chooseFreePath(
    std::string_view path, const std::function<bool(std::string_view)>& isTaken) {
    const std::string folder(folderOf(path));
    std::string name(path.substr(folder.size()));
    for (int taken = 0; taken < 99; ++taken) {
        std::string candidate = folder + name;
        if (!isTaken(candidate)) return candidate;
        std::optional<std::string> next = nextFreeNameCandidate(name);
        if (!next) return std::nullopt;
        name = *next;
    }
    return std::nullopt;
}

std::string_view folderOf(std::string_view path) {
    size_t at = path.find_last_of("/\\");
    return at == path.npos ? std::string_view() : path.substr(0, at + 1);
}

size_t pathLength(std::string_view path) { return platform::utf8ToUtf16(path).size(); }

}  // namespace tovren::fetch
