#include <gtest/gtest.h>

#include "grading/check.h"

namespace tovren::grading {
namespace {

struct GoodRow {
    const char* text;
    Kind kind;
    const char* path;
    const char* detail;  // entry, cell, paragraph text or value text, by kind
    const char* why;
};

TEST(CheckParser, ReadsEveryKind) {
    const GoodRow rows[] = {
        {"exists 作业.txt", Kind::Exists, "作业.txt", "", "a plain file name"},
        {"absent 临时/旧文件.tmp", Kind::Absent, "临时\\旧文件.tmp", "", "\"/\" becomes \"\\\""},
        {"folder \"我的 资料\"", Kind::Folder, "我的 资料", "", "a quoted name holds blanks"},
        {"folder \xE2\x80\x9C我的 资料\xE2\x80\x9D", Kind::Folder, "我的 资料", "", "curly quotes as a Chinese input method types them"},
        {"hidden 秘密\\", Kind::Hidden, "秘密", "", "a trailing separator is dropped"},
        {"readonly a.txt", Kind::ReadOnly, "a.txt", "", "read-only"},
        {"same 备份\\a.txt a.txt", Kind::Same, "备份\\a.txt", "a.txt", "the package entry"},
        {"same b.txt 原稿\\b.txt", Kind::Same, "b.txt", "原稿/b.txt", "an entry in a folder of the package"},
        {"size a.txt >= 100", Kind::Size, "a.txt", "100", "a comparison"},
        {"cell 成绩.xlsx B3 = 90", Kind::Cell, "成绩.xlsx", "B3", "a number on the first sheet"},
        {"cell 成绩.xlsx 成绩表!b3 = \"优秀\"", Kind::Cell, "成绩.xlsx", "B3", "a text on a named sheet; the cell in upper case"},
        {"formula 成绩.xlsx D2", Kind::Formula, "成绩.xlsx", "D2", "any formula"},
        {"formula 成绩.xlsx D2 = \"SUM(A2:C2)\"", Kind::Formula, "成绩.xlsx", "D2", "a given formula"},
        {"sheet 成绩.xlsx 1 = \"成绩表\"", Kind::Sheet, "成绩.xlsx", "成绩表", "a sheet's name"},
        {"slides 演示.pptx = 3", Kind::Slides, "演示.pptx", "3", "the slide count"},
        {"title 演示.pptx 2 = \"我的家乡\"", Kind::Title, "演示.pptx", "我的家乡", "a slide's title"},
        {"para 作文.docx \"春天\" font-cn = 黑体", Kind::Paragraph, "作文.docx", "黑体", "a font"},
        {"para 作文.docx 春天 字号 = 二号", Kind::Paragraph, "作文.docx", "二号", "a Chinese size name; Chinese property name"},
        {"para 作文.docx 春天 align = 居中", Kind::Paragraph, "作文.docx", "center", "a Chinese alignment becomes its English name"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.why);
        ParsedCheck parsed = parseCheck(row.text);
        ASSERT_TRUE(parsed.check) << parsed.error;
        ASSERT_EQ(parsed.check->clauses.size(), 1u);
        const Clause& c = parsed.check->clauses[0];
        EXPECT_EQ(c.kind, row.kind);
        EXPECT_EQ(c.path, row.path);
        std::string detail = c.kind == Kind::Same                                  ? c.entry
                             : c.kind == Kind::Cell || c.kind == Kind::Formula      ? c.cell
                                                                                     : c.value.text;
        if (c.kind == Kind::Exists || c.kind == Kind::Absent || c.kind == Kind::Folder ||
            c.kind == Kind::Hidden || c.kind == Kind::ReadOnly)
            detail = "";
        EXPECT_EQ(detail, row.detail);
    }
}

TEST(CheckParser, ReadsValuesAndClauses) {
    ParsedCheck p = parseCheck("cell a.xlsx Sheet2!C1 = 3.5 ; formula a.xlsx C1 = \"A1*2\"；exists b");
    ASSERT_TRUE(p.check) << p.error;
    ASSERT_EQ(p.check->clauses.size(), 3u);
    EXPECT_EQ(p.check->clauses[0].sheet, "Sheet2");
    EXPECT_TRUE(p.check->clauses[0].value.isNumber);
    EXPECT_DOUBLE_EQ(p.check->clauses[0].value.number, 3.5);
    EXPECT_EQ(p.check->clauses[1].value.text, "A1*2");
    EXPECT_EQ(p.check->clauses[2].kind, Kind::Exists);

    ParsedCheck q = parseCheck("cell a.xlsx A1 = \"90\"");
    ASSERT_TRUE(q.check);
    EXPECT_FALSE(q.check->clauses[0].value.isNumber) << "a quoted number is a text";

    ParsedCheck s = parseCheck("para a.docx x size = 小四");
    ASSERT_TRUE(s.check);
    EXPECT_DOUBLE_EQ(s.check->clauses[0].value.number, 12);
    ParsedCheck t = parseCheck("para a.docx \"say \"\"hi\"\"\" bold = 是");
    ASSERT_TRUE(t.check) << t.error;
    EXPECT_EQ(t.check->clauses[0].text, "say \"hi\"");
    EXPECT_EQ(t.check->clauses[0].value.number, 1);
    ParsedCheck u = parseCheck("size a.txt<10;");
    ASSERT_TRUE(u.check) << "operators need no blanks, a trailing \";\" is fine: " << u.error;
    EXPECT_EQ(u.check->clauses[0].compare, Compare::Less);
}

TEST(CheckParser, BlankTextIsNoCheck) {
    for (const char* text : {"", "   ", "\t", "\xE3\x80\x80"}) {
        ParsedCheck p = parseCheck(text);
        EXPECT_FALSE(p.check);
        EXPECT_TRUE(p.error.empty());
    }
}

struct BadRow {
    const char* text;
    const char* errorPart;
    const char* why;
};

TEST(CheckParser, RefusesMalformedChecksWithAReason) {
    const BadRow rows[] = {
        {"exist a.txt", "unknown check \"exist\"", "a misspelt keyword"},
        {"exists", "missing a path", "no path"},
        {"exists a.txt b.txt", "unexpected \"b.txt\"", "a word too many"},
        {"exists ..\\config.ini", "leaves the question's folder", "no way out of the folder"},
        {"exists a\\..\\..\\b", "leaves the question's folder", "not even in the middle"},
        {"exists c:\\Windows\\win.ini", "not inside the question's folder", "no drive"},
        {"exists \\Windows", "not inside the question's folder", "no rooted path"},
        {"exists *.txt", "no file name has", "no wildcard"},
        {"exists a\\\\b", "empty part", "an empty segment"},
        {"exists \"a.txt", "no closing quote", "an open quote"},
        {"same a.txt", "missing the package file", "same needs an entry"},
        {"size a.txt 100", "missing a comparison", "size needs an operator"},
        {"size a.txt = 1.5", "no whole number", "sizes are whole bytes"},
        {"size a.txt = -1", "no whole number", "no negative size"},
        {"cell a.xlsx 1A = 3", "no cell such as A1", "not a cell reference"},
        {"cell a.xlsx A0 = 3", "no cell such as A1", "rows count from 1"},
        {"cell a.xlsx ABCD1 = 3", "no cell such as A1", "at most three letters"},
        {"cell a.xlsx !A1 = 3", "sheet before \"!\" is empty", "an empty sheet name"},
        {"cell a.xlsx A1 3", "missing \"=\"", "no equals sign"},
        {"cell a.xlsx A1 =", "missing a value", "no value"},
        {"sheet a.xlsx 0 = \"x\"", "counted from 1", "sheets count from 1"},
        {"slides a.pptx >= many", "no whole number", "not a number"},
        {"title a.pptx x = \"t\"", "counted from 1", "not a slide number"},
        {"para a.docx 标题 colour = red", "unknown property", "a property we do not have"},
        {"para a.docx 标题 size = 大号", "no font size", "an unknown size name"},
        {"para a.docx 标题 size = 0", "no font size", "a zero size"},
        {"para a.docx 标题 bold = maybe", "neither yes nor no", "not a yes or no"},
        {"para a.docx 标题 align = middle", "no alignment", "an unknown alignment"},
        {"para a.docx 标题 indent = two", "no indent", "not a number"},
        {"para a.docx \"\" bold = yes", "text is empty", "an empty paragraph text"},
        {"exists a.txt ;; exists b", "unknown check \";\"", "an empty clause"},
        {"cell a.xlsx A1 = inf", "", "an unquoted word that is no number is a text, not an error"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.why);
        ParsedCheck p = parseCheck(row.text);
        if (*row.errorPart == '\0') {
            EXPECT_TRUE(p.check) << p.error;
            EXPECT_FALSE(p.check->clauses[0].value.isNumber);
            continue;
        }
        EXPECT_FALSE(p.check);
        EXPECT_NE(p.error.find(row.errorPart), std::string::npos) << p.error;
    }
}

TEST(CheckParser, ChineseSizeNames) {
    EXPECT_EQ(chineseSizePoints("初号"), 42);
    EXPECT_EQ(chineseSizePoints("二号"), 22);
    EXPECT_EQ(chineseSizePoints("小四"), 12);
    EXPECT_EQ(chineseSizePoints("五号"), 10.5);
    EXPECT_EQ(chineseSizePoints("八号"), 5);
    EXPECT_FALSE(chineseSizePoints("九号"));
}

}  // namespace
}  // namespace tovren::grading
