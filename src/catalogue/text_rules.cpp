#include "catalogue/text_rules.h"

#include <charconv>
#include <cmath>
#include <limits>

#include "platform/text.h"

namespace tovren::catalogue {
namespace {

bool isLead(char c) {
    return platform::isGbkLeadByte(static_cast<unsigned char>(c));
}
bool isDigit(char c) {
    return c >= '0' && c <= '9';
}
// The blanks that a C number reader skips.
bool isSpace(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

}  // namespace

std::string foldFullWidth(std::string_view gbk) {
    std::string out;
    out.reserve(gbk.size());
    for (size_t i = 0; i < gbk.size(); ++i) {
        if (!isLead(gbk[i]) || i + 1 >= gbk.size()) {
            out += gbk[i];
            continue;
        }
        auto lead = static_cast<unsigned char>(gbk[i]);
        auto trail = static_cast<unsigned char>(gbk[i + 1]);
        if (lead == 0xA3 && trail >= 0xA1 && trail <= 0xFE) {
            out += static_cast<char>(trail - 0x80);  // 0xA3B1 "１" -> "1"
        } else if (lead == 0xA1 && trail == 0xA1) {
            out += ' ';  // ideographic space
        } else {
            out += gbk[i];
            out += gbk[i + 1];
        }
        ++i;
    }
    return out;
}

int32_t textToInt32(std::string_view gbk) {
    const std::string folded = foldFullWidth(gbk);
    std::string_view s = folded;
    size_t i = 0;
    while (i < s.size() && isSpace(s[i])) ++i;
    bool negative = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';

    // Find the longest decimal number here; from_chars then reads exactly that part.
    const size_t start = i;
    size_t digits = 0;
    while (i < s.size() && isDigit(s[i])) ++i, ++digits;
    if (i < s.size() && s[i] == '.') {
        ++i;
        while (i < s.size() && isDigit(s[i])) ++i, ++digits;
    }
    if (digits == 0) return 0;
    bool negativeExponent = false;
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        size_t e = i + 1;
        if (e < s.size() && (s[e] == '+' || s[e] == '-')) negativeExponent = s[e++] == '-';
        if (e < s.size() && isDigit(s[e])) {
            while (e < s.size() && isDigit(s[e])) ++e;
            i = e;
        } else {
            negativeExponent = false;
        }
    }

    double value = 0;
    auto [end, error] =
        std::from_chars(s.data() + start, s.data() + i, value, std::chars_format::general);
    (void)end;
    if (error == std::errc::result_out_of_range) {
        // Too small to matter, or too large for any integer.
        value = negativeExponent ? 0.0 : std::numeric_limits<double>::infinity();
    } else if (error != std::errc()) {
        return 0;
    }
    if (negative) value = -value;
    constexpr double kMax = std::numeric_limits<int32_t>::max();
    constexpr double kMin = std::numeric_limits<int32_t>::min();
    if (value >= kMax) return std::numeric_limits<int32_t>::max();
    if (value <= kMin) return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(std::trunc(value));
}

std::vector<std::string_view> splitGbk(std::string_view gbk, char separator) {
    std::vector<std::string_view> pieces;
    size_t pieceStart = 0;
    for (size_t i = 0; i < gbk.size(); ++i) {
        if (isLead(gbk[i])) {
            ++i;  // the trail byte belongs to this character, whatever it is
        } else if (gbk[i] == separator) {
            pieces.push_back(gbk.substr(pieceStart, i - pieceStart));
            pieceStart = i + 1;
        }
    }
    if (pieceStart < gbk.size()) pieces.push_back(gbk.substr(pieceStart));
    return pieces;
}

std::string decimalText(int32_t n) {
    return std::to_string(n);
}

}  // namespace tovren::catalogue
