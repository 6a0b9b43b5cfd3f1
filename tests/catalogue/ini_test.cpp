#include "catalogue/ini.h"

#include <gtest/gtest.h>

namespace tovren::catalogue {
namespace {

using namespace std::literals;

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
        {"[s]\rk=v\r", "s", "k", "v", "a lone CR ends a line, as old Mac editors save"},
        {"[s]\nk=v\rj=w\r\n", "s", "k", "v", "a stray CR ends the value before it"},
        {"[s]\nk=v\rj=w\r\n", "s", "j", "w", "and the key after a stray CR is found"},
        {"[s]\rk=1\r[t]\rk=2\r", "t", "k", "2", "a section after a lone CR"},
        {"[s]\rk=1\r[t]\rj=2\r", "s", "j", std::nullopt, "the section ends at a lone CR"},
        {"[s]\r\n\r\nk=v\r\r", "s", "k", "v", "CR LF and CR CR: empty lines between"},
        {"[s]\nk=\r", "s", "k", "", "a value that is only a CR is empty"},
        {"  \t[s]\n\t k=v\n", "s", "k", "v", "blanks before the section and the key"},
        {"[s]\nx=[t]\nk=v\n", "s", "k", "v", "a bracket inside a value opens no section"},
        {"[s]\nkk=1\nk=2\n", "s", "k", "2", "a longer key that starts with the key"},
        {"[s]\nk", "s", "k", std::nullopt, "the key alone at the very end, no ="},
        {"[s]\nk=", "s", "k", "", "a key and = at the very end"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.why);
        EXPECT_EQ(lookUp(c.file, c.section, c.key), c.expected);
    }
}

// The lookup passes over most lines without feeding them; line by line it must find the same.
TEST(IniReader, PassingOverLinesFindsWhatTheLineByLineLookupFinds) {
    std::string longValue(5000, 'x');
    struct {
        std::string file, section, key;
        const char* why;
    } cases[] = {
        {"[a]\nWord\xB5\xDA"
         "12\xCC\xE2=x\nword\xB5\xDA"
         "12\xCC\xE2=y\n",
         "a",
         "WORD\xB5\xDA"
         "12\xCC\xE2",
         "GBK keys that differ in the case of their letters"},
        {"[a]\n\x81[=1\n[a]\n\x81[=2\n", "a", "\x81[", "a trail byte that is a bracket"},
        {"[a]\r k = 1 \r\t[b]\rk=2", "b", "k", "blanks, lone CRs, no end"},
        {"[a]\n" + longValue + "\nlast=1\n[b]\nlast=2", "b", "last", "a long line first"},
        {"[a]\nab=1\nAB=2\naB=3", "a", "Ab", "a two-letter key, any case"},
        {"\x01[a]\nk=0\n[a]\n\x01k=1", "a", "\x01k", "control bytes before names"},
        {"[a]\n;k=1\n k =2\n", "a", "k", "a comment line that holds the key"},
    };
    const LineScan best = lineScan();
    for (LineScan scan : {LineScan::Bytes, LineScan::Sse2, LineScan::Avx2}) {
        setLineScan(scan);
        for (const auto& c : cases) {
            SCOPED_TRACE(c.why);
            SCOPED_TRACE(static_cast<int>(lineScan()));
            const IniText text = classifyIniText(c.file);
            EXPECT_EQ(findIniValue(text, c.section, c.key),
                      findIniValueLineByLine(text, c.section, c.key));
            EXPECT_TRUE(findIniValue(text, c.section, c.key).has_value());
        }
    }
    setLineScan(best);
}

TEST(IniReader, GbkNamesCompareWholeCharacters) {
    // 0x81 0x41 and 0x81 0x61 are different characters: their trail bytes are no letters.
    EXPECT_EQ(lookUp("[s]\n\x81\x41=1\n\x81\x61=2\n", "s", "\x81\x61"), "2");
    // A section name whose trail byte is "]" (0x81 0x5D) is read whole.
    EXPECT_EQ(lookUp("[\x81\x5D]\nk=v\n", "\x81\x5D", "k"), "v");
}

TEST(IniReader, TheThreeEncodingsAreRecognised) {
    // "[s]\r\nk=v" and "[题目]\r\n" as Notepad's "Unicode" saves them: UTF-16LE after FF FE.
    const std::string utf16 = std::string("\xFF\xFE[\0s\0]\0\r\0\n\0k\0=\0v\0"sv);
    const std::string utf16Chinese = std::string("\xFF\xFE[\0\x98\x98\xEE\x76]\0\r\0\n\0"sv);
    struct {
        std::string file;
        TextEncoding encoding;
        std::string body;
        const char* why;
    } cases[] = {
        {"\xEF\xBB\xBF[s]", TextEncoding::Utf8, "[s]", "UTF-8 with its byte-order mark"},
        {"[题目数量]\n", TextEncoding::Utf8, "[题目数量]\n", "UTF-8 without one"},
        {"[\xCC\xE2\xC4\xBF]\n", TextEncoding::Gbk, "[\xCC\xE2\xC4\xBF]\n", "GBK"},
        {"[s]\nk=v\n", TextEncoding::Gbk, "[s]\nk=v\n", "ASCII alone is read as GBK"},
        {"[题目]\n\xFF", TextEncoding::Gbk, "[题目]\n\xFF", "one invalid byte makes it GBK"},
        {utf16, TextEncoding::Utf16Le, "[s]\r\nk=v", "UTF-16LE with its byte-order mark"},
        {utf16Chinese, TextEncoding::Utf16Le, "[题目]\r\n", "UTF-16LE Chinese"},
        {utf16 + "\x41", TextEncoding::Utf16Le, "[s]\r\nk=v", "an odd last byte is dropped"},
        {std::string("\xFF\xFE\x3D\xD8x\0"sv), TextEncoding::Utf16Le, "\xEF\xBF\xBDx",
         "an unpaired surrogate becomes U+FFFD"},
        {std::string("[\0s\0]\0"sv), TextEncoding::Gbk, std::string("[\0s\0]\0"sv),
         "UTF-16LE without its byte-order mark is not recognised"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.why);
        const IniText text = classifyIniText(c.file);
        EXPECT_EQ(text.encoding, c.encoding) << encodingName(text.encoding);
        EXPECT_EQ(text.body, c.body);
    }
    EXPECT_EQ(lookUp("\xEF\xBB\xBF[S]\nK=v\n", "s", "k"), "v") << "a BOM before the first section";
    EXPECT_EQ(lookUp(utf16, "S", "K"), "v") << "UTF-16LE is looked up as UTF-8";
}

TEST(IniReader, Utf16LeIsDecodedInAnyPieces) {
    // "a😀b" with a lone CR: the surrogate pair and every code unit may be split between pieces.
    const std::string bytes("a\0\x3D\xD8\x00\xDE\r\0b\0"sv);
    for (size_t cut1 = 0; cut1 <= bytes.size(); ++cut1) {
        for (size_t cut2 = cut1; cut2 <= bytes.size(); ++cut2) {
            SCOPED_TRACE(std::to_string(cut1) + " " + std::to_string(cut2));
            Utf16LeDecoder decoder;
            std::string text = decoder.decode(bytes.substr(0, cut1), false);
            text += decoder.decode(bytes.substr(cut1, cut2 - cut1), false);
            text += decoder.decode(bytes.substr(cut2), true);
            EXPECT_EQ(text, "a😀\rb");
        }
    }
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
        {"[\xB2\xD9\xD7\xF7]\n\x57\xB5\xDA"
         "1=v\n",
         "\xB2\xD9\xD7\xF7",
         {"\x57\xB5\xDA"
          "1"},
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
