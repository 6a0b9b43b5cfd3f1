#include "platform/text.h"

#include <array>
#include <unordered_map>
#include <vector>

#include "platform/gbk_table.h"

namespace tovren::platform {
namespace {

constexpr char32_t kReplacement = 0xFFFD;
constexpr char32_t kEuro = 0x20AC;

// Lead 0x81-0xFE, trail 0x40-0xFE (0x7F included as a hole): 126 x 191 cells.
constexpr int kTrailCount = 0xFE - 0x40 + 1;
inline int cellOf(unsigned char lead, unsigned char trail) {
    return (lead - 0x81) * kTrailCount + (trail - 0x40);
}

struct GbkTables {
    std::vector<char16_t> decode;                   // cell -> UTF-16 unit, 0 when unmapped
    std::unordered_map<char16_t, uint16_t> encode;  // UTF-16 unit -> lead << 8 | trail
};

const GbkTables& tables() {
    static const GbkTables t = [] {
        GbkTables built;
        built.decode.assign(126 * kTrailCount, 0);
        for (int lead = 0x81; lead <= 0xFE; ++lead) {
            for (int trail = 0x40; trail <= 0xFE; ++trail) {
                if (!isGbkTrailByte(static_cast<unsigned char>(trail))) continue;
                char16_t unit = decodeGbkPair(static_cast<unsigned char>(lead),
                                              static_cast<unsigned char>(trail));
                // User-defined rows map into the Private Use Area on Windows only; treat them
                // as unmapped on every build so the two agree.
                if (unit == 0 || (unit >= 0xE000 && unit <= 0xF8FF)) continue;
                built.decode[cellOf(lead, trail)] = unit;
                built.encode.emplace(unit, static_cast<uint16_t>(lead << 8 | trail));
            }
        }
        return built;
    }();
    return t;
}

void appendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

// Reads one code point at `i` and advances it; nullopt (advancing by one byte) when the
// sequence is not valid UTF-8.
std::optional<char32_t> nextUtf8(std::string_view s, size_t& i) {
    const auto byte = [&](size_t k) { return static_cast<unsigned char>(s[k]); };
    unsigned char c = byte(i);
    if (c < 0x80) {
        ++i;
        return c;
    }
    int length;
    char32_t cp;
    char32_t minimum;
    if (c >= 0xC2 && c <= 0xDF) {
        length = 2, cp = c & 0x1F, minimum = 0x80;
    } else if (c >= 0xE0 && c <= 0xEF) {
        length = 3, cp = c & 0x0F, minimum = 0x800;
    } else if (c >= 0xF0 && c <= 0xF4) {
        length = 4, cp = c & 0x07, minimum = 0x10000;
    } else {
        ++i;
        return std::nullopt;
    }
    if (i + length > s.size()) {
        ++i;
        return std::nullopt;
    }
    for (int k = 1; k < length; ++k) {
        unsigned char t = byte(i + k);
        if ((t & 0xC0) != 0x80) {
            ++i;
            return std::nullopt;
        }
        cp = (cp << 6) | (t & 0x3F);
    }
    if (cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
        ++i;
        return std::nullopt;
    }
    i += length;
    return cp;
}

}  // namespace

std::string gbkToUtf8(std::string_view gbk) {
    std::string out;
    out.reserve(gbk.size() * 3 / 2);
    const GbkTables* t = nullptr;
    for (size_t i = 0; i < gbk.size();) {
        auto c = static_cast<unsigned char>(gbk[i]);
        if (c < 0x80) {
            out += static_cast<char>(c);
            ++i;
        } else if (c == 0x80) {
            appendUtf8(out, kEuro);
            ++i;
        } else if (isGbkLeadByte(c) && i + 1 < gbk.size() &&
                   isGbkTrailByte(static_cast<unsigned char>(gbk[i + 1]))) {
            if (!t) t = &tables();
            char16_t unit = t->decode[cellOf(c, static_cast<unsigned char>(gbk[i + 1]))];
            appendUtf8(out, unit ? unit : kReplacement);
            i += 2;
        } else {
            appendUtf8(out, kReplacement);
            ++i;
        }
    }
    return out;
}

namespace {
// Encodes into `out`; false at the first character without a GBK form when `lossy` is off.
bool encodeGbk(std::string_view utf8, std::string& out, bool lossy) {
    out.reserve(utf8.size());
    const GbkTables* t = nullptr;
    for (size_t i = 0; i < utf8.size();) {
        std::optional<char32_t> cp = nextUtf8(utf8, i);
        if (cp && *cp < 0x80) {
            out += static_cast<char>(*cp);
            continue;
        }
        if (cp && *cp == kEuro) {
            out += static_cast<char>(0x80);
            continue;
        }
        if (cp && *cp < 0x10000) {
            if (!t) t = &tables();
            auto found = t->encode.find(static_cast<char16_t>(*cp));
            if (found != t->encode.end()) {
                out += static_cast<char>(found->second >> 8);
                out += static_cast<char>(found->second & 0xFF);
                continue;
            }
        }
        if (!lossy) return false;
        out += '?';
    }
    return true;
}
}  // namespace

std::optional<std::string> utf8ToGbk(std::string_view utf8) {
    std::string out;
    if (!encodeGbk(utf8, out, false)) return std::nullopt;
    return out;
}

std::string utf8ToGbkLossy(std::string_view utf8) {
    std::string out;
    encodeGbk(utf8, out, true);
    return out;
}

bool isValidUtf8(std::string_view bytes) {
    for (size_t i = 0; i < bytes.size();) {
        // Runs of ASCII are the common case; skip them eight bytes at a time.
        while (i + 8 <= bytes.size()) {
            uint64_t word = 0;
            for (int k = 0; k < 8; ++k)
                word |= static_cast<uint64_t>(static_cast<unsigned char>(bytes[i + k])) << (8 * k);
            if (word & 0x8080808080808080ull) break;
            i += 8;
        }
        if (i >= bytes.size()) break;
        if (!nextUtf8(bytes, i)) return false;
    }
    return true;
}

std::u16string utf8ToUtf16(std::string_view utf8) {
    std::u16string out;
    out.reserve(utf8.size());
    for (size_t i = 0; i < utf8.size();) {
        char32_t cp = nextUtf8(utf8, i).value_or(kReplacement);
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out += static_cast<char16_t>(0xD800 + (cp >> 10));
            out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
        } else {
            out += static_cast<char16_t>(cp);
        }
    }
    return out;
}

std::string utf16ToUtf8(std::u16string_view utf16) {
    std::string out;
    out.reserve(utf16.size() * 3);
    for (size_t i = 0; i < utf16.size(); ++i) {
        char32_t unit = utf16[i];
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < utf16.size() && utf16[i + 1] >= 0xDC00 &&
            utf16[i + 1] <= 0xDFFF) {
            appendUtf8(out, 0x10000 + ((unit - 0xD800) << 10) + (utf16[i + 1] - 0xDC00));
            ++i;
        } else if (unit >= 0xD800 && unit <= 0xDFFF) {
            appendUtf8(out, kReplacement);
        } else {
            appendUtf8(out, unit);
        }
    }
    return out;
}

}  // namespace tovren::platform
