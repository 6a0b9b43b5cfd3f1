#include "catalogue/catalogue.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <limits>

#include "fuzz/catalogue_agreement.h"
#include "platform/text.h"
#include "support/scratch.h"

namespace tovren::catalogue {
namespace {

using testing::ScratchFolder;

std::string fixture(std::string_view name) {
    return std::string(TOVREN_FIXTURES) + "/catalogue/" + std::string(name);
}

// The same catalogue saved five ways reads the same: GBK with CR LF and with a lone CR after
// every line (old Mac editors), UTF-8 with and without its byte-order mark, and UTF-16LE with
// its byte-order mark (Notepad's "Unicode" on Windows 7).
class BasicCatalogue : public ::testing::TestWithParam<const char*> {
  protected:
    Catalogue book{fixture(GetParam())};
};

INSTANTIATE_TEST_SUITE_P(Encodings, BasicCatalogue,
                         ::testing::Values("basic-gbk.ini", "basic-gbk-cr.ini",
                                           "basic-utf8-bom.ini", "basic-utf8.ini",
                                           "basic-utf16le.ini"));

TEST_P(BasicCatalogue, QuestionCounts) {
    struct {
        const char* type;
        int32_t expected;
        const char* why;
    } cases[] = {
        {"Word", 3, "plain"},
        {"word", 3, "the type matches without regard to case"},
        {"Excel", 5, "a full-width digit with blanks around ="},
        {"PowerPoint", 2, "plain"},
        {"FrontPage", 0, "zero"},
        {"Flash", -1, "negative"},
        {"PhotoShop", 0, "letters only"},
        {"Windows", 12, "a number followed by a Chinese character"},
        {"选择题型", 0, "the placeholder type has no count"},
        {"", 0, "no type chosen"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.why);
        EXPECT_EQ(book.questionCount(c.type), c.expected) << c.type;
    }
}

TEST_P(BasicCatalogue, RequirementTexts) {
    struct {
        const char* key;
        std::string expected;
        const char* why;
    } cases[] = {
        {"Word第1题", "将标题设置为黑体、二号、居中\r\n正文首行缩进2字符\r\n保存文档\r\n",
         "three lines"},
        {"Word第3题", "设置页边距：上下2.5厘米\r\n", "quotes around the value go"},
        {"Excel第1题", "计算\"总分\"列\r\n按总分降序排序\r\n",
         "quotes inside stay; the blank rest after the last tilde is no line"},
        {"Excel第3题", "在A1单元格输入“成绩表”\r\n\r\n合并A1:F1\r\n",
         "an empty piece is an empty line"},
        {"Excel第2题", "", "a missing key"},
        {"选择题目", "", "the placeholder question"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.why);
        EXPECT_EQ(book.requirementText(c.key), c.expected);
    }
}

TEST(Catalogue, MissingFileReadsAsEmpty) {
    ScratchFolder dir;
    Catalogue book(dir / "config.ini");
    EXPECT_EQ(book.questionCount("Word"), 0);
    EXPECT_EQ(book.requirementText("Word第1题"), "");
    EXPECT_TRUE(book.requirements("Word第1题").empty());
}

TEST(Catalogue, IsReadAnewAtEveryLookup) {
    ScratchFolder dir;
    Catalogue book(dir / "config.ini");
    EXPECT_EQ(book.questionCount("Word"), 0);
    dir.writeFile("config.ini",
                  "[\xCC\xE2\xC4\xBF\xCA\xFD\xC1\xBF]\r\nWord\xCC\xE2\xCA\xFD\xC1\xBF=4\r\n");
    EXPECT_EQ(book.questionCount("Word"), 4);
    dir.writeFile("config.ini",
                  "[\xCC\xE2\xC4\xBF\xCA\xFD\xC1\xBF]\r\nWord\xCC\xE2\xCA\xFD\xC1\xBF=7\r\n");
    EXPECT_EQ(book.questionCount("Word"), 7);
}

TEST(Catalogue, ValuesAreCutAtTheLimitOfTheirGbkBytes) {
    ScratchFolder dir;
    const std::string section = "[\xB2\xD9\xD7\xF7\xD2\xAA\xC7\xF3]\r\n";  // [操作要求]
    std::string ascii(kValueLimit + 100, 'a');
    std::string wide = "ab";  // then double-byte characters: the limit falls inside one
    while (wide.size() < kValueLimit + 100) wide += "\xD6\xD0";
    dir.writeFile("config.ini", section + "A=" + ascii + "\r\nB=" + wide + "\r\n");
    Catalogue book(dir / "config.ini");
    EXPECT_EQ(book.valueGbk(kRequirementSection, "A").size(), kValueLimit);
    std::string cut = book.valueGbk(kRequirementSection, "B");
    EXPECT_EQ(cut.size(), kValueLimit - 1) << "half a character is never kept";
    EXPECT_EQ(cut.substr(cut.size() - 2), "\xD6\xD0");

    // A UTF-8 catalogue is limited by the GBK form of its value: 3 UTF-8 bytes make 2 GBK ones.
    std::string utf8Value;
    for (size_t i = 0; i < kValueLimit; ++i) utf8Value += "中";
    dir.writeFile("utf8.ini", "[操作要求]\nB=" + utf8Value + "\n");
    std::string fromUtf8 = Catalogue(dir / "utf8.ini").valueGbk(kRequirementSection, "B");
    EXPECT_EQ(fromUtf8.size(), kValueLimit - 1);
}

TEST(Catalogue, Utf8ValuesWithoutGbkFormKeepTheirPlace) {
    ScratchFolder dir;
    dir.writeFile("config.ini", "[操作要求]\nWord第1题=插入😀表情~完成\n");
    EXPECT_EQ(Catalogue(dir / "config.ini").requirementText("Word第1题"), "插入?表情\r\n完成\r\n");
}

TEST(Catalogue, LargeFilesAreReadInPiecesWithoutLosingLines) {
    ScratchFolder dir;
    const std::string section = "[\xB2\xD9\xD7\xF7\xD2\xAA\xC7\xF3]\r\n";  // [操作要求]
    // A line far longer than one read, then many short ones, then the key on the very last line
    // without a line break.
    std::string file = section + "Long=" + std::string(300000, 'x') + "\r\n";
    for (int i = 0; i < 20000; ++i) {
        const std::string n = std::to_string(i);
        file.append("K").append(n).append("=v").append(n).append("\r\n");
    }
    file += "Last=a~b";
    dir.writeFile("config.ini", file);
    Catalogue book(dir / "config.ini");
    EXPECT_EQ(book.requirementText("Last"), "a\r\nb\r\n");
    EXPECT_EQ(book.requirementText("K19999"), "v19999\r\n");
    EXPECT_EQ(book.valueGbk(kRequirementSection, "Long").size(), kValueLimit);
}

TEST(Catalogue, TheEncodingIsSettledByTheWholeFile) {
    ScratchFolder dir;
    // Valid UTF-8 up to the last line, which holds a GBK byte pair: the file is GBK, so the
    // UTF-8 spelling of the section is not found and the GBK one is.
    std::string utf8Part = "[操作要求]\nA=1\n";
    std::string gbkPart = "[\xB2\xD9\xD7\xF7\xD2\xAA\xC7\xF3]\nA=2\n";
    dir.writeFile("mixed.ini", utf8Part + std::string(100000, ';') + "\n" + gbkPart);
    EXPECT_EQ(Catalogue(dir / "mixed.ini").requirementText("A"), "2\r\n");
    // The same file without the GBK part is UTF-8.
    dir.writeFile("utf8.ini", utf8Part + std::string(100000, ';') + "\n");
    EXPECT_EQ(Catalogue(dir / "utf8.ini").requirementText("A"), "1\r\n");
    // ASCII alone: read as GBK, which reads ASCII the same.
    dir.writeFile("ascii.ini", "[s]\nk=v\n");
    EXPECT_EQ(Catalogue(dir / "ascii.ini").valueGbk("s", "k"), "v");
}

TEST(Catalogue, AStrayCarriageReturnEndsALine) {
    ScratchFolder dir;
    struct {
        std::string file;
        std::string key, expected;
        const char* why;
    } cases[] = {
        {"[操作要求]\rname1=val1\r", "name1", "val1\r\n", "only lone CRs, as old Mac editors"},
        {"[操作要求]\nname1=val1\rname2=val2\r\n", "name1", "val1\r\n",
         "a stray CR does not leak into the value"},
        {"[操作要求]\nname1=val1\rname2=val2\r\n", "name2", "val2\r\n",
         "and does not hide the key after it"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.why);
        dir.writeFile("config.ini", platform::utf8ToGbk(c.file).value());
        EXPECT_EQ(Catalogue(dir / "config.ini").requirementText(c.key), c.expected);
        dir.writeFile("config.ini", c.file);
        EXPECT_EQ(Catalogue(dir / "config.ini").requirementText(c.key), c.expected) << "UTF-8";
    }
}

TEST(Catalogue, AUtf16LeValueIsReadInItsGbkForm) {
    ScratchFolder dir;
    // UTF-16LE of "[操作要求]\r\nA=中😀~b\r\nB=" + 6,000 "中": a character without a GBK form
    // becomes "?", and the limit falls on the GBK bytes.
    std::u16string text = u"[操作要求]\r\nA=中😀~b\r\nB=" + std::u16string(6000, u'中');
    std::string bytes = "\xFF\xFE";
    for (char16_t unit : text) {
        bytes += static_cast<char>(unit & 0xFF);
        bytes += static_cast<char>(unit >> 8);
    }
    dir.writeFile("config.ini", bytes);
    Catalogue book(dir / "config.ini");
    EXPECT_EQ(book.valueGbk(kRequirementSection, "A"), "\xD6\xD0?~b");
    EXPECT_EQ(book.requirementText("A"), "中?\r\nb\r\n");
    EXPECT_EQ(book.valueGbk(kRequirementSection, "B").size(), kValueLimit - 1);
}

std::string fileBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Reads `bytes` in pieces of `pieceSize`, as a file that gives no more at a time would.
std::string valueInPieces(std::string_view bytes, size_t pieceSize, std::string_view section,
                          std::string_view key) {
    size_t at = 0;
    return valueGbkOfStream(
        [&](char* into, int64_t count) {
            size_t n = std::min({static_cast<size_t>(count), pieceSize, bytes.size() - at});
            std::memcpy(into, bytes.data() + at, n);
            at += n;
            return static_cast<int64_t>(n);
        },
        section, key, pieceSize);
}

// The reader that takes a file in pieces and the one that takes it whole agree on the fixtures,
// at piece sizes that split lines, line ends, byte-order marks and UTF-16 code units everywhere.
TEST(Catalogue, TheWholeTextAndPiecesGiveTheSameValues) {
    const std::pair<std::string, std::string> lookups[] = {
        {"题目数量", "Word题数量"}, {"题目数量", "Windows题数量"}, {"操作要求", "Word第1题"},
        {"操作要求", "Excel第3题"}, {"操作要求", "Excel第2题"},
    };
    for (const char* name : {"basic-gbk.ini", "basic-gbk-cr.ini", "basic-utf8-bom.ini",
                             "basic-utf8.ini", "basic-utf16le.ini"}) {
        SCOPED_TRACE(name);
        const std::string bytes = fileBytes(testing::fsPath(fixture(name)));
        for (const auto& [section, key] : lookups) {
            const std::string whole = valueGbkOfText(bytes, section, key);
            EXPECT_EQ(whole, Catalogue(fixture(name)).valueGbk(section, key));
            for (size_t pieceSize : {1, 2, 3, 5, 16, 4096}) {
                SCOPED_TRACE(key + " in pieces of " + std::to_string(pieceSize));
                EXPECT_EQ(valueInPieces(bytes, pieceSize, section, key), whole);
            }
        }
    }
}

// The catalogue fuzzer's corpus, checked as the fuzzer checks every input.
TEST(Catalogue, FuzzCorpusReadersAgree) {
    int files = 0;
    for (const auto& e : std::filesystem::directory_iterator(
             testing::fsPath(std::string(TOVREN_FIXTURES) + "/../fuzz/catalogue_corpus"))) {
        SCOPED_TRACE(e.path().filename().string());
        EXPECT_EQ(fuzz::catalogueDisagreement(fileBytes(e.path())), "");
        ++files;
    }
    EXPECT_GE(files, 8);
}

TEST(QuestionList, LabelsAndValues) {
    std::vector<QuestionItem> three = questionList(3);
    ASSERT_EQ(three.size(), 3u);
    EXPECT_EQ(three[0].label, "第1题");
    EXPECT_EQ(three[0].value, 1);
    EXPECT_EQ(three[2].label, "第3题");
    EXPECT_EQ(three[2].value, 3);
    EXPECT_EQ(questionList(12)[11].label, "第12题");
    EXPECT_TRUE(questionList(0).empty());
    EXPECT_TRUE(questionList(-2).empty());
    EXPECT_TRUE(questionList(std::numeric_limits<int32_t>::min()).empty());
    // A count far beyond any bank gives the longest list, not an endless one.
    std::vector<QuestionItem> most = questionList(std::numeric_limits<int32_t>::max());
    ASSERT_EQ(most.size(), static_cast<size_t>(kMostQuestions));
    EXPECT_EQ(most.back().label, "第9999题");
    EXPECT_EQ(most.back().value, 9999);
}

}  // namespace
}  // namespace tovren::catalogue
