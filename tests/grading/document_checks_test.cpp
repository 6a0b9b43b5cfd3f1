#include <gtest/gtest.h>

#include "grading/office_builder.h"
#include "grading/office_check_rows.h"
#include "support/scratch.h"

namespace tovren::grading {
namespace {

using testing::ScratchFolder;

// Styles: document defaults from the theme, a default paragraph style, a chain of paragraph
// styles, a character style, and two styles based on each other.
constexpr const char* kStyles =
    R"(<w:docDefaults><w:rPrDefault><w:rPr><w:rFonts w:asciiTheme="minorHAnsi" w:eastAsiaTheme="minorEastAsia"/>)"
    R"(<w:sz w:val="21"/><w:lang w:val="en-US" w:eastAsia="zh-CN"/></w:rPr></w:rPrDefault>)"
    R"(<w:pPrDefault><w:pPr><w:spacing w:after="0"/></w:pPr></w:pPrDefault></w:docDefaults>)"
    R"(<w:style w:type="paragraph" w:default="1" w:styleId="Normal"><w:name w:val="Normal"/><w:pPr><w:jc w:val="both"/></w:pPr></w:style>)"
    R"(<w:style w:type="paragraph" w:styleId="Base"><w:basedOn w:val="Normal"/><w:rPr><w:rFonts w:eastAsia="楷体" w:ascii="Georgia"/><w:sz w:val="32"/></w:rPr></w:style>)"
    R"(<w:style w:type="paragraph" w:styleId="Heading"><w:basedOn w:val="Base"/><w:pPr><w:jc w:val="center"/></w:pPr><w:rPr><w:b/></w:rPr></w:style>)"
    R"(<w:style w:type="character" w:styleId="Strong"><w:rPr><w:b/><w:i/></w:rPr></w:style>)"
    R"(<w:style w:type="character" w:styleId="Wide"><w:basedOn w:val="Strong"/><w:rPr><w:u w:val="double"/></w:rPr></w:style>)"
    R"(<w:style w:type="paragraph" w:styleId="LoopA"><w:basedOn w:val="LoopB"/><w:rPr><w:sz w:val="28"/></w:rPr></w:style>)"
    R"(<w:style w:type="paragraph" w:styleId="LoopB"><w:basedOn w:val="LoopA"/><w:rPr><w:sz w:val="30"/><w:i/></w:rPr></w:style>)"
    R"(<w:style w:type="paragraph" w:styleId="ThemeStyle"><w:rPr><w:rFonts w:eastAsiaTheme="majorEastAsia" w:eastAsia="仿宋"/></w:rPr></w:style>)";

std::string paragraph(std::string_view pPr, std::string_view runs) {
    return "<w:p><w:pPr>" + std::string(pPr) + "</w:pPr>" + std::string(runs) + "</w:p>";
}
std::string run(std::string_view rPr, std::string_view text) {
    return "<w:r><w:rPr>" + std::string(rPr) + "</w:rPr><w:t xml:space=\"preserve\">" + std::string(text) + "</w:t></w:r>";
}

std::string body() {
    return paragraph(R"(<w:jc w:val="center"/><w:ind w:firstLineChars="200" w:firstLine="880"/><w:rPr><w:i/></w:rPr>)",
                     run(R"(<w:rFonts w:eastAsia="黑体" w:ascii="Arial"/><w:b/><w:sz w:val="44"/><w:u w:val="single"/>)", "直接格式")) +
           paragraph(R"(<w:pStyle w:val="Heading"/>)", run("", "样式链")) +
           paragraph(R"(<w:pStyle w:val="Heading"/>)", run(R"(<w:rStyle w:val="Strong"/>)", "两处加粗")) +
           paragraph(R"(<w:pStyle w:val="Heading"/>)", run(R"(<w:rStyle w:val="Wide"/>)", "字符样式链")) +
           paragraph("", run("", "默认样式")) +
           paragraph(R"(<w:pStyle w:val="LoopA"/>)", run("", "循环样式")) +
           paragraph(R"(<w:pStyle w:val="ThemeStyle"/>)", run("", "主题字体")) +
           paragraph(R"(<w:pStyle w:val="ThemeStyle"/>)", run(R"(<w:rFonts w:eastAsia="隶书"/>)", "直接字体")) +
           paragraph(R"(<w:pStyle w:val="NoSuchStyle"/>)", run(R"(<w:lang w:eastAsia="zh-TW"/>)", "繁体")) +
           paragraph("", run(R"(<w:b/>)", "一半") + run("", " ") + run("", "加粗")) +
           paragraph("", run(R"(<w:b/>)", "全部") + run("", "  ") + run(R"(<w:b w:val="1"/>)", "加粗")) +
           paragraph(R"(<w:ind w:firstLine="420"/>)", run("", "首行缩进")) +
           paragraph(R"(<w:ind w:hangingChars="100" w:left="420"/>)", run("", "悬挂缩进")) +
           paragraph(R"(<w:jc w:val="distribute"/>)", run(R"(<w:rFonts w:eastAsia="SimHei"/><w:b w:val="false"/><w:u w:val="none"/>)", "分散")) +
           "<w:tbl><w:tr><w:tc>" + paragraph(R"(<w:jc w:val="right"/>)", run("", "表格里")) + "</w:tc></w:tr></w:tbl>" +
           paragraph("", R"(<w:ins><w:r><w:t>插入的</w:t></w:r></w:ins><w:del><w:r><w:delText>删掉</w:delText></w:r></w:del>)");
}

TEST(DocumentChecks, FormattingResolvedAsWordShowsIt) {
    ScratchFolder scratch;
    scratch.writeFile("Word-1\\作文.docx",
                      testing::docxBytes(body(), kStyles, testing::themeXml("Calibri", "", "等线")));
    QuestionPlace place{scratch / "Word-1", scratch / "Word-1.zip"};
    const std::string d = "para 作文.docx ";
    expectCheckRows(place, {
        // Direct formatting.
        {d + "直接 font-cn = 黑体", true, "a run's own Chinese font"},
        {d + "直接 font-cn = 宋体", false, "another font"},
        {d + "直接 font-latin = arial", true, "the Latin font, any case"},
        {d + "直接 size = 二号", true, "22 points by its Chinese name"},
        {d + "直接 size = 22", true, "22 points"},
        {d + "直接 size = 小二", false, "18 points"},
        {d + "直接 bold = yes", true, "bold"},
        {d + "直接 italic = no", true, "the paragraph mark's italic is not the text's"},
        {d + "直接 underline = yes", true, "underlined"},
        {d + "直接 align = center", true, "centred"},
        {d + "直接 indent = 2", true, "two characters; the character form beats twips"},
        {d + "直接 indent = 4", false, "not four"},
        // Paragraph style with its basedOn chain, over the default paragraph style.
        {d + "样式链 font-cn = 楷体", true, "from the base of the paragraph style"},
        {d + "样式链 font-latin = Georgia", true, "also from the base"},
        {d + "样式链 size = 三号", true, "16 points from the base"},
        {d + "样式链 bold = yes", true, "from the style itself"},
        {d + "样式链 align = 居中", true, "the style's alignment over the default style's"},
        // Character style: bold is a toggle, set in both styles it cancels.
        {d + "两处加粗 bold = no", true, "bold in the paragraph and the character style"},
        {d + "两处加粗 italic = yes", true, "italic only in the character style"},
        {d + "字符样式链 bold = no", true, "the toggle through a character style's basedOn chain"},
        {d + "字符样式链 underline = yes", true, "a double underline"},
        // Document defaults and theme fonts.
        {d + "默认样式 font-cn = 等线", true, "a font only in the theme: the theme's Chinese (Hans) font"},
        {d + "默认样式 font-latin = Calibri", true, "the theme's minor Latin font"},
        {d + "默认样式 size = 五号", true, "10.5 points from the document defaults"},
        {d + "默认样式 align = justify", true, "the default paragraph style's alignment"},
        {d + "默认样式 bold = no", true, "nothing sets bold"},
        {d + "默认样式 indent = 0", true, "no indent"},
        // A loop in basedOn: the chain is taken up to the first style met twice.
        {d + "循环样式 size = 14", true, "the nearest style of a looping chain wins"},
        {d + "循环样式 italic = yes", true, "its base still applies"},
        // Theme references beside plain names.
        {d + "主题字体 font-cn = MajorHans", true, "a theme reference beats the plain name on the same element"},
        {d + "直接字体 font-cn = 隶书", true, "a run's plain name beats the style's theme reference"},
        {d + "繁体 font-cn = HantFont", true, "a missing style is skipped; the language picks the theme's script"},
        // Several runs: every run with visible text must have it.
        {d + "\"一半 加粗\" bold = yes", false, "only half of the text is bold"},
        {d + "一半 bold = yes", true, "the runs of the text itself are bold"},
        {d + "加粗 bold = no", true, "the text's run is not bold, whatever the rest of its paragraph"},
        {d + "\"全部  加粗\" bold = yes", true, "blank runs do not count"},
        {d + "接 font-cn = 黑体", true, "a text inside one run"},
        // Indents in twips and hanging indents.
        {d + "首行缩进 indent = 2", true, "420 twips at 10.5 points"},
        {d + "悬挂缩进 indent = -1", true, "a hanging indent is negative"},
        {d + "分散 align = 分散对齐", true, "distributed"},
        {d + "分散 font-cn = 黑体", true, "SimHei is 黑体"},
        {d + "分散 bold = no", true, "w:val=false"},
        {d + "分散 underline = no", true, "w:val=none"},
        {d + "表格里 align = right", true, "a paragraph in a table cell"},
        {d + "插入的 bold = no", true, "inserted text is the paragraph's"},
        {d + "删掉 bold = no", false, "deleted text is not"},
        {d + "没有这段 bold = no", false, "no such paragraph"},
    });
}

TEST(DocumentChecks, MissingThemeAndStyles) {
    ScratchFolder scratch;
    // No theme: a theme reference gives the plain name beside it, or no font at all.
    scratch.writeFile("Word-1\\无主题.docx", testing::docxBytes(body(), kStyles));
    // No styles either: Word's own defaults.
    scratch.writeFile("Word-1\\无样式.docx", testing::docxBytes(paragraph("", run("", "正文"))));
    QuestionPlace place{scratch / "Word-1", scratch / "Word-1.zip"};
    expectCheckRows(place, {
        {"para 无主题.docx 主题字体 font-cn = 仿宋", true, "the plain name beside the theme reference"},
        {"para 无主题.docx 默认样式 font-cn = 等线", false, "a font only in a theme that is missing"},
        {"para 无主题.docx 默认样式 size = 五号", true, "the rest still resolves"},
        {"para 无样式.docx 正文 size = 10", true, "10 points where nothing sets a size"},
        {"para 无样式.docx 正文 align = left", true, "left where nothing sets an alignment"},
        {"para 无样式.docx 正文 font-cn = 宋体", false, "no font anywhere: no font check is met"},
    });
}

}  // namespace
}  // namespace tovren::grading
