#include "fetch/entry_name.h"

#include <gtest/gtest.h>

namespace tovren::fetch {
namespace {

using Segments = std::optional<std::vector<std::string>>;

TEST(SafeSegments, KeepsNamesBelowTheFolderAndRefusesTheRest) {
    struct {
        std::string name;
        Segments expected;
        const char* why;
    } cases[] = {
        {"a.txt", {{"a.txt"}}, "a plain name"},
        {"doc/img/a.bmp", {{"doc", "img", "a.bmp"}}, "folders"},
        {"doc\\img\\a.bmp", {{"doc", "img", "a.bmp"}}, "backslashes separate too"},
        {"doc/", {{"doc"}}, "a folder entry's trailing slash"},
        {"./a//b/./c", {{"a", "b", "c"}}, "empty and \".\" segments are dropped"},
        {"", {{}}, "an empty name names the folder itself"},
        {"a..b/..c/d", {{"a..b", "..c", "d"}}, "dots inside a segment are harmless"},
        {"d../e .txt/f. . ",
         {{"d", "e .txt", "f"}},
         "trailing dots and blanks go, as Windows drops them"},
        {"CONSOLE.txt", {{"CONSOLE.txt"}}, "longer than a device name"},
        {"com10", {{"com10"}}, "ports go to 9"},
        {"乗/表.txt", {{"乗", "表.txt"}}, "UTF-8 text"},
        {"..", std::nullopt, "the parent"},
        {"a/../b", std::nullopt, "a parent inside, even one that stays below"},
        {"...", std::nullopt, "dots only"},
        {". .", std::nullopt, "dots and blanks only"},
        {"/etc/passwd", std::nullopt, "absolute"},
        {"\\Windows", std::nullopt, "absolute with a backslash"},
        {"c:\\x", std::nullopt, "a drive"},
        {"C:x", std::nullopt, "a drive-relative name"},
        {"file.txt:stream", std::nullopt, "a data stream"},
        {"nul", std::nullopt, "a device"},
        {"Aux.tar.gz", std::nullopt, "a device with extensions"},
        {"a/LPT3.doc", std::nullopt, "a device deeper down"},
        {"conin$", std::nullopt, "the console input"},
        {"COM\xC2\xB9", std::nullopt, "a superscript port number"},
        {"tab\there", std::nullopt, "a control character"},
        {"a<b", std::nullopt, "a character Windows refuses"},
        {"a|b", std::nullopt, "another"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.why);
        EXPECT_EQ(safeSegments(c.name), c.expected) << c.name;
    }
}

TEST(EntryNameText, ReadsTheNameInItsFlaggedEncoding) {
    struct {
        std::string raw;
        bool utf8Flag;
        std::string expected;
        const char* why;
    } cases[] = {
        {"plain/a.txt", false, "plain/a.txt", "ASCII is the same either way"},
        {"\x81\x5C/\xB1\xED.xls", false, "乗/表.xls", "GBK, a backslash as a second byte included"},
        {"\xE4\xB9\x97/\xC3\xBF.txt", true, "乗/ÿ.txt", "flagged UTF-8"},
        {"\xE4\xB9\x97", false, "涔\xEF\xBF\xBD", "unflagged UTF-8 bytes are read as GBK"},
        {"a\xFF"
         "b",
         true,
         "a\xEF\xBF\xBD"
         "b",
         "invalid UTF-8 becomes U+FFFD"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.why);
        EXPECT_EQ(entryNameText(c.raw, c.utf8Flag), c.expected);
    }
}

}  // namespace
}  // namespace tovren::fetch
