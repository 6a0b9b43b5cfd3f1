#include "fetch/target_name.h"

#include <gtest/gtest.h>

#include <set>

namespace tovren::fetch {
namespace {

struct NameCase {
    const char* given;
    const char* expected;  // nullptr: no safe name
    const char* why;
};

TEST(TargetNameTest, ServerGivenNames) {
    const NameCase cases[] = {
        {"Excel-3.zip", "Excel-3.zip", "a plain name"},
        {"a b.zip", "a b.zip", "a blank inside"},
        {"..\\..\\x", "x", "climbing out of the folder keeps only the last segment"},
        {"../../x.zip", "x.zip", "the same with slashes"},
        {"c:\\Windows\\evil.dll", "evil.dll", "an absolute Windows path"},
        {"/etc/passwd", "passwd", "an absolute POSIX path"},
        {"\\\\server\\share\\f.txt", "f.txt", "a UNC path"},
        {"\xCE\xC4\xBC\xFE.zip", "文件.zip", "GBK bytes are decoded"},
        {"\x81\x5C.txt", "乗.txt", "a GBK character whose second byte is a backslash stays whole"},
        {"dir/", nullptr, "nothing after the last slash"},
        {"..", nullptr, "dot-dot"},
        {".", nullptr, "dot"},
        {"", nullptr, "empty"},
        {"CON", nullptr, "a device name"},
        {"con.txt", nullptr, "a device name with an extension, any case"},
        {"Nul .tar.gz", nullptr, "a device name with a blank before the extension"},
        {"COM1", nullptr, "COM1"},
        {"lpt9.log", nullptr, "LPT9"},
        {"COM0", "COM0", "COM0 is no device"},
        {"CONSOLE.txt", "CONSOLE.txt", "a name that only starts like a device"},
        {"x.", nullptr, "a trailing dot"},
        {"x ", nullptr, "a trailing blank"},
        {"a:b", nullptr, "a colon (a drive or a stream)"},
        {"a*b", nullptr, "a wildcard"},
        {"a?b", nullptr, "a question mark"},
        {"a\"b", nullptr, "a quote"},
        {"a<b", nullptr, "less-than"},
        {"a>b", nullptr, "greater-than"},
        {"a|b", nullptr, "a bar"},
        {"a\tb", nullptr, "a control character"},
        {"a\x7F" "b", nullptr, "DEL"},
    };
    for (const NameCase& c : cases) {
        SCOPED_TRACE(c.why);
        std::optional<std::string> name = serverFileName(c.given);
        ASSERT_EQ(name.has_value(), c.expected != nullptr) << c.given;
        if (name) {
            EXPECT_EQ(*name, c.expected);
        }
    }
}

TEST(TargetNameTest, NamesFromTheRequestPath) {
    const NameCase cases[] = {
        {"/Kavrel/Excel-3.zip", "Excel-3.zip", "the last segment"},
        {"/Kavrel/my+file%20x.zip", "my file x.zip", "plus and %20 are blanks"},
        {"/Kavrel/%CE%C4%BC%FE.zip", "文件.zip", "percent-encoded GBK"},
        {"/Kavrel/..%2F..%2Fevil.zip", "evil.zip", "%2F decodes to a separator: only what follows counts"},
        {"/Kavrel/..%5C..%5Cevil.zip", "evil.zip", "%5C likewise"},
        {"/Kavrel/%2e%2e", nullptr, "decodes to dot-dot"},
        {"/Kavrel/100%", "100%", "a percent sign without digits stays"},
        {"/Kavrel/a%zz", "a%zz", "a percent sign without hex digits stays"},
        {"/Kavrel/", nullptr, "no name at all"},
        {"/Kavrel/CON", nullptr, "a device name"},
        {"/Kavrel/x.zip?v=1", nullptr, "a query leaves a question mark in the name"},
        {"/Kavrel/a%00b", nullptr, "an encoded NUL"},
    };
    for (const NameCase& c : cases) {
        SCOPED_TRACE(c.why);
        std::optional<std::string> name = fileNameFromPath(c.given);
        ASSERT_EQ(name.has_value(), c.expected != nullptr) << c.given;
        if (name) {
            EXPECT_EQ(*name, c.expected);
        }
    }
}

TEST(TargetNameTest, NextFreeNameCandidates) {
    const NameCase cases[] = {
        {"config.ini", "config(1).ini", "(1) before the first dot"},
        {"config(1).ini", "config(2).ini", "k+1 in place"},
        {"config(9).ini", "config(10).ini", "to two digits"},
        {"config(98).ini", "config(99).ini", "the last one"},
        {"config(99).ini", nullptr, "k would reach 100"},
        {"a(123).ini", "a(123)(1).ini", "three digits are no counter"},
        {"a().ini", "a()(1).ini", "no digits are no counter"},
        {"a(x).ini", "a(x)(1).ini", "letters are no counter"},
        {"archive.tar.gz", "archive(1).tar.gz", "the rest from the first dot follows unchanged"},
        {"README", "README(1)", "no dot"},
        {".profile", "(1).profile", "a leading dot"},
    };
    for (const NameCase& c : cases) {
        SCOPED_TRACE(c.why);
        std::optional<std::string> next = nextFreeNameCandidate(c.given);
        ASSERT_EQ(next.has_value(), c.expected != nullptr) << c.given;
        if (next) {
            EXPECT_EQ(*next, c.expected);
        }
    }
}

TEST(TargetNameTest, ChoosesTheFirstFreePath) {
    std::set<std::string> taken;
    auto isTaken = [&](std::string_view path) { return taken.count(std::string(path)) > 0; };
    EXPECT_EQ(chooseFreePath("c:\\Kavrel\\config.ini", isTaken), "c:\\Kavrel\\config.ini");
    taken = {"c:\\Kavrel\\config.ini"};
    EXPECT_EQ(chooseFreePath("c:\\Kavrel\\config.ini", isTaken), "c:\\Kavrel\\config(1).ini");
    taken.insert("c:\\Kavrel\\config(1).ini");
    EXPECT_EQ(chooseFreePath("c:\\Kavrel\\config.ini", isTaken), "c:\\Kavrel\\config(2).ini");

    // 98 taken names leave the 99th; 99 taken names end the search.
    taken = {"c:\\Kavrel\\config.ini"};
    for (int k = 1; k <= 97; ++k) taken.insert("c:\\Kavrel\\config(" + std::to_string(k) + ").ini");
    EXPECT_EQ(chooseFreePath("c:\\Kavrel\\config.ini", isTaken), "c:\\Kavrel\\config(98).ini");
    taken.insert("c:\\Kavrel\\config(98).ini");
    EXPECT_EQ(chooseFreePath("c:\\Kavrel\\config.ini", isTaken), std::nullopt);

    // Starting high, k reaches 100 first.
    taken = {"c:\\x\\a(98).zip", "c:\\x\\a(99).zip"};
    EXPECT_EQ(chooseFreePath("c:\\x\\a(98).zip", isTaken), std::nullopt);
    // A folder in the name is not touched by the rule.
    taken = {"c:\\a.b\\name"};
    EXPECT_EQ(chooseFreePath("c:\\a.b\\name", isTaken), "c:\\a.b\\name(1)");
}

TEST(TargetNameTest, PathLengthCountsWindowsUnits) {
    EXPECT_EQ(pathLength("c:\\Kavrel\\x"), 11u);
    EXPECT_EQ(pathLength("文件"), 2u);
    EXPECT_EQ(pathLength("\xF0\x9F\x98\x80"), 2u);  // outside the BMP: a surrogate pair
}

}  // namespace
}  // namespace tovren::fetch
