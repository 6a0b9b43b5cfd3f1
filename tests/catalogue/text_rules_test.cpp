#include "catalogue/text_rules.h"

#include <gtest/gtest.h>

#include <limits>

namespace tovren::catalogue {
namespace {

constexpr int32_t kMax = std::numeric_limits<int32_t>::max();
constexpr int32_t kMin = std::numeric_limits<int32_t>::min();

TEST(TextToInt32, ReadsLikeADecimalNumberReader) {
    struct {
        std::string gbk;
        int32_t expected;
        const char* why;
    } cases[] = {
        {"12", 12, "plain"},
        {"12abc", 12, "reading stops at the first letter"},
        {"abc", 0, "no number at all"},
        {"", 0, "empty text"},
        {"3.9", 3, "truncated, not rounded"},
        {"-3.9", -3, "truncated toward zero"},
        {"-2", -2, "negative"},
        {"+5", 5, "explicit plus"},
        {"1e3", 1000, "exponent"},
        {"1.5E+2x", 150, "exponent with a sign, then rubbish"},
        {"2e", 2, "an exponent mark with no digits is not part of the number"},
        {"2e-", 2, "nor with only a sign"},
        {"0x10", 0, "hexadecimal is not read: the x ends the number"},
        {".5", 0, "a fraction alone"},
        {"7.", 7, "a point with no fraction"},
        {"-", 0, "a sign alone"},
        {"+-1", 0, "two signs"},
        {"   42", 42, "leading blanks"},
        {"\t\r\n 8", 8, "tabs and line breaks count as blanks"},
        {"\xA1\xA1"
         "9",
         9, "an ideographic space counts as a blank"},
        {"\xA3\xB1\xA3\xB2", 12, "full-width digits"},
        {"\xA3\xAD\xA3\xB3", -3, "full-width minus"},
        {"\xA3\xAB\xA3\xB4\xA3\xAE\xA3\xB9", 4, "full-width plus and point"},
        {"1\xA3\xC5"
         "2",
         100, "a full-width E"},
        {"1e30", kMax, "above the 32-bit range saturates"},
        {"-1e30", kMin, "below it too"},
        {"1e400", kMax, "beyond a double"},
        {"1e-400", 0, "too small for a double"},
        {"2147483647", kMax, "the largest value"},
        {"2147483648", kMax, "one above"},
        {"-2147483648", kMin, "the smallest value"},
        {"inf", 0, "words are no numbers"},
        {"nan", 0, "nor this"},
        {"\xD6\xD0"
         "5",
         0, "a Chinese character first"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.why);
        EXPECT_EQ(textToInt32(c.gbk), c.expected) << c.gbk;
    }
}

TEST(FoldFullWidth, KeepsOtherCharactersWhole) {
    EXPECT_EQ(foldFullWidth("\xA3\xC1\xA3\xE1"), "Aa");
    // 0xA3 as a trail byte is not the start of a full-width form.
    EXPECT_EQ(foldFullWidth("\xB0\xA3\xB1"), "\xB0\xA3\xB1");
    EXPECT_EQ(foldFullWidth("x\xA3"), "x\xA3");  // a lone lead byte at the end
}

std::vector<std::string> split(std::string_view text) {
    std::vector<std::string> out;
    for (std::string_view piece : splitGbk(text, '~')) out.emplace_back(piece);
    return out;
}

TEST(SplitGbk, PiecesAtEveryTilde) {
    using Pieces = std::vector<std::string>;
    struct {
        std::string gbk;
        Pieces expected;
        const char* why;
    } cases[] = {
        {"a~~b~", {"a", "", "b"}, "an empty piece counts, the empty rest does not"},
        {"", {}, "empty text gives no pieces"},
        {"~", {""}, "a lone separator ends one empty piece"},
        {"a", {"a"}, "no separator"},
        {"a~b", {"a", "b"}, "the rest counts when it is not empty"},
        {"\x81\x7E~b", {"\x81\x7E", "b"}, "a tilde that is a trail byte never splits"},
        {"\x81\x7E\x81\x7E", {"\x81\x7E\x81\x7E"}, "two such characters"},
        {"a~\xD6", {"a", "\xD6"}, "a lone lead byte at the end stays in its piece"},
        {"\xD6~x", {"\xD6~x"}, "a lead byte takes the next byte, even a tilde"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.why);
        EXPECT_EQ(split(c.gbk), c.expected);
    }
}

}  // namespace
}  // namespace tovren::catalogue
