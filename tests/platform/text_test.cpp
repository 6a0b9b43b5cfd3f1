#include "platform/text.h"

#include <gtest/gtest.h>

namespace tovren::platform {
namespace {

struct DecodeCase {
    std::string gbk;
    std::string utf8;
    const char* why;
};

TEST(GbkToUtf8, DecodesAndReplacesBytesThatAreNotGbk) {
    const DecodeCase cases[] = {
        {"", "", "empty text"},
        {"Word-1.zip", "Word-1.zip", "ASCII stays as it is"},
        {"\xD6\xD0\xCE\xC4", "中文", "ordinary double-byte characters"},
        {"\xA3\xB1\xA3\xB2\xA3\xAD", "１２－",
         "full-width digits and minus keep their full-width form"},
        {"\xA1\xA1", "\u3000", "ideographic space"},
        {"\x80", "€", "0x80 is the euro sign, as in code page 936"},
        {"\x81\x5C", "乗", "a character whose trail byte is a backslash"},
        {"\x81\x7E", "亊", "a character whose trail byte is a tilde"},
        {"a\xD6", "a\uFFFD", "a lone lead byte at the end becomes one replacement character"},
        {"\xD6"
         "0",
         "\uFFFD"
         "0",
         "a lead byte before a byte that cannot trail; that byte is kept"},
        {"\xFF", "\uFFFD", "0xFF is no GBK byte"},
        {"\xAA\xA1", "\uFFFD", "user-defined row: unmapped on every build"},
        {"\xFE\x50", "\uFFFD", "another user-defined cell"},
        {std::string("a\0b", 3), std::string("a\0b", 3), "NUL bytes pass through"},
    };
    for (const DecodeCase& c : cases) {
        SCOPED_TRACE(c.why);
        EXPECT_EQ(gbkToUtf8(c.gbk), c.utf8);
    }
}

TEST(Utf8ToGbk, EncodesWhatGbkHas) {
    const DecodeCase cases[] = {
        {"", "", "empty text"},
        {"\xD6\xD0\xCE\xC4", "中文", "ordinary characters"},
        {"\xA3\xB1", "１", "a full-width digit"},
        {"\x80", "€", "the euro sign"},
        {"\xCC\xE2\xC4\xBF\xCA\xFD\xC1\xBF", "题目数量", "the count section's name"},
        {"\x81\x5C", "乗", "a character whose trail byte is a backslash"},
    };
    for (const DecodeCase& c : cases) {
        SCOPED_TRACE(c.why);
        EXPECT_EQ(utf8ToGbk(c.utf8), c.gbk);
    }
}

TEST(Utf8ToGbk, RefusesWhatGbkLacksAndInvalidUtf8) {
    EXPECT_EQ(utf8ToGbk("a😀b"), std::nullopt);
    EXPECT_EQ(utf8ToGbk("\xE4\xB8"), std::nullopt);  // cut UTF-8 sequence
    EXPECT_EQ(utf8ToGbk("\xC0\xAF"), std::nullopt);  // overlong "/"
    EXPECT_EQ(utf8ToGbkLossy("a😀b"), "a?b");
    EXPECT_EQ(utf8ToGbkLossy("x\xFFy"), "x?y");
}

TEST(Utf8ToGbk, RoundTripsEveryMappedCharacter) {
    // Every valid pair decodes to one character that encodes back to the same pair, unless it
    // was replaced; nothing decodes to two different pairs.
    int mapped = 0;
    for (int lead = 0x81; lead <= 0xFE; ++lead) {
        for (int trail = 0x40; trail <= 0xFE; ++trail) {
            if (trail == 0x7F) continue;
            std::string pair{static_cast<char>(lead), static_cast<char>(trail)};
            std::string utf8 = gbkToUtf8(pair);
            if (utf8 == "\uFFFD") continue;
            ++mapped;
            std::optional<std::string> back = utf8ToGbk(utf8);
            ASSERT_TRUE(back) << std::hex << lead << " " << trail;
            EXPECT_EQ(*back, pair) << std::hex << lead << " " << trail;
        }
    }
    EXPECT_GT(mapped, 21000);  // GBK has 21,886 characters
}

TEST(Utf8, Validation) {
    EXPECT_TRUE(isValidUtf8(""));
    EXPECT_TRUE(isValidUtf8("plain ASCII text that is longer than eight bytes"));
    EXPECT_TRUE(isValidUtf8("题目数量 and 😀"));
    EXPECT_FALSE(isValidUtf8("\xD6\xD0\xCE\xC4"));  // GBK bytes
    EXPECT_FALSE(isValidUtf8("\xED\xA0\x80"));      // a surrogate
    EXPECT_FALSE(isValidUtf8("\xF4\x90\x80\x80"));  // above U+10FFFF
    EXPECT_FALSE(isValidUtf8("abcdefgh\xE4\xB8"));  // cut after an ASCII run
}

TEST(Utf16, RoundTripAndReplacement) {
    EXPECT_EQ(utf8ToUtf16("a中😀"), u"a中😀");
    EXPECT_EQ(utf16ToUtf8(u"a中😀"), "a中😀");
    EXPECT_EQ(utf8ToUtf16("a\xFF"
                          "b"),
              u"a\uFFFDb");
    EXPECT_EQ(utf16ToUtf8(std::u16string(1, char16_t(0xD800)) + u"x"), "\uFFFDx");
    EXPECT_EQ(utf16ToUtf8(u""), "");
}

}  // namespace
}  // namespace tovren::platform
