#include "catalogue/ini.h"

#include <gtest/gtest.h>

namespace tovren::catalogue {
namespace {

std::optional<std::string> lookUp(std::string_view file, std::string_view section,
                                  std::string_view key) {
    return findIniValue(classifyIniText(file), section, key);
}

TEST(IniReader, FindsValuesAsTheWindowsProfileReaderDoes) {
    struct {
        std::string file;
        std::string section, key;
        std::optional<std::string> expected;
        const char* why;
    } cases[] = {
        {"[s]\nk=v\n", "s", "k", "v", "plain"},
        {"[S]\nKEY=v\n", "s", "key", "v", "ASCII letters match without regard to case"},
        {"[s]\r\nk=v\r\n", "s", "k", "v", "CRLF lines"},
        {"[s]\nk=v", "s", "k", "v", "no line break at the end"},
        {"[s]\n \tk \t= \tv w \t\n", "s", "k", "v w", "blanks and tabs around key, = and value"},
        {"  [ s ]  \nk=v\n", "s", "k", "v", "blanks around and inside the brackets"},
        {"[s]\nk=\"quoted value \"\n", "s", "k", "quoted value ",
         "double quotes go, inner blanks stay"},
        {"[s]\nk='x'\n", "s", "k", "x", "single quotes go"},
        {"[s]\nk=\"x'\n", "s", "k", "\"x'", "quotes that do not match stay"},
        {"[s]\nk=\"\"x\"\"\n", "s", "k", "\"x\"", "only one pair goes"},
        {"[s]\nk=\"\n", "s", "k", "\"", "a lone quote stays"},
        {"[s]\nk=a;b\n", "s", "k", "a;b", "a semicolon inside a value is kept"},
        {"[s]\n;k=v\n", "s", "k", std::nullopt, "a semicolon line is a comment"},
        {"[s]\n  ;k=v\nk=w\n", "s", "k", "w", "also after blanks"},
        {"[s]\n#k=v\n", "s", "#k", "v", "a # line is an ordinary key"},
        {"[s]\nk\nk=v\n", "s", "k", "v", "a line without = holds no key"},
        {"[s]\nk=1\nk=2\n", "s", "k", "1", "the first of duplicate keys wins"},
        {"[s]\nk=1\n[t]\n[s]\nk=2\nj=3\n", "s", "k", "1", "the first of duplicate sections wins"},
        {"[s]\n[t]\nj=1\n[s]\nj=2\n", "s", "j", std::nullopt,
         "a later duplicate section is not searched"},
        {"k=v\n[s]\n", "s", "k", std::nullopt, "keys before any section belong to none"},
        {"[s]\nk=v\n", "t", "k", std::nullopt, "missing section"},
        {"[s]\nk=v\n", "s", "j", std::nullopt, "missing key"},
        {"[s]\nk=\n", "s", "k", "", "an empty value is found, and empty"},
        {"[s\nk=v\n[s]\nk=w\n", "s", "k", "w", "a section line without ] is skipped"},
        {"[s]\nk=v=w\n", "s", "k", "v=w", "the first = divides"},
        {"[s]x\nk=v\n", "s", "k", "v", "text after ] is ignored"},
        {"", "s", "k", std::nullopt, "an empty file"},
        {"\n\n[s]\n\n\nk=v\n", "s", "k", "v", "empty lines"},
        {std::string("[s]\nk=a\0b\n", 10), "s", "k", std::string("a\0b", 3),
         "NUL bytes do not end a line"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.why);
        EXPECT_EQ(lookUp(c.file, c.section, c.key), c.expected);
    }
}

TEST(IniReader, GbkNamesCompareWholeCharacters) {
    // 0x81 0x41 and 0x81 0x61 are different characters: their trail bytes are no letters.
    EXPECT_EQ(lookUp("[s]\n\x81\x41=1\n\x81\x61=2\n", "s", "\x81\x61"), "2");
    // A section name whose trail byte is "]" (0x81 0x5D) is read whole.
    EXPECT_EQ(lookUp("[\x81\x5D]\nk=v\n", "\x81\x5D", "k"), "v");
}

TEST(IniReader, Utf8IsRecognised) {
    EXPECT_EQ(classifyIniText("\xEF\xBB\xBF[s]").encoding, TextEncoding::Utf8);
    EXPECT_EQ(classifyIniText("\xEF\xBB\xBF[s]").body, "[s]");
    EXPECT_EQ(classifyIniText("[题目数量]\n").encoding, TextEncoding::Utf8);
    EXPECT_EQ(classifyIniText("[\xCC\xE2\xC4\xBF]\n").encoding, TextEncoding::Gbk);
    EXPECT_EQ(classifyIniText("[s]\nk=v\n").encoding, TextEncoding::Gbk)
        << "ASCII alone is read as GBK";
    EXPECT_EQ(classifyIniText("[题目]\n\xFF").encoding, TextEncoding::Gbk) << "one invalid byte";
    EXPECT_EQ(lookUp("\xEF\xBB\xBF[S]\nK=v\n", "s", "k"), "v") << "a BOM before the first section";
}

TEST(IniReader, ListsTheKeysOfASectionAsTheLookupsSeeThem) {
    using Keys = std::vector<std::string>;
    struct {
        std::string file;
        std::string section;
        Keys expected;
        const char* why;
    } cases[] = {
        {"[s]\na=1\nb=2\n", "s", {"a", "b"}, "in file order"},
        {"[S]\r\n  a \t= 1\r\nB=\r\n", "s", {"a", "B"}, "blanks dropped, case kept, CRLF"},
        {"[s]\n;a=1\nno equals\n=x\nb=2\n", "s", {"b"}, "comments, lines without = or key"},
        {"[s]\na=1\na=2\n", "s", {"a", "a"}, "duplicates stay"},
        {"[s]\na=1\n[t]\nb=2\n[s]\nc=3\n", "s", {"a"}, "only the first section of the name"},
        {"x=1\n[t]\ny=2\n", "s", {}, "a missing section"},
        {"[s\na=1\n[s]\nb=2\n", "s", {"b"}, "a section line without ] is skipped"},
        {"[\xB2\xD9\xD7\xF7]\n\x57\xB5\xDA" "1=v\n", "\xB2\xD9\xD7\xF7", {"\x57\xB5\xDA" "1"},
         "GBK names"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.why);
        EXPECT_EQ(findIniKeys(classifyIniText(c.file), c.section), c.expected);
    }
    // Every listed key is found by a lookup (its first occurrence).
    const std::string file = "[s]\n k1 = a \nK2=b\nk1=c\n";
    for (const std::string& key : findIniKeys(classifyIniText(file), "s"))
        EXPECT_TRUE(lookUp(file, "s", key).has_value()) << key;
}

}  // namespace
}  // namespace tovren::catalogue
