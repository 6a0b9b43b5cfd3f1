#pragma once
// Small Office documents made by the tests: the parts a real document has, with the XML each
// case needs.
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "support/zip_writer.h"

namespace tovren::testing {

inline constexpr std::string_view kW =
    R"(xmlns:w="http://schemas.openxmlformats.org/wordprocessingml/2006/main" )"
    R"(xmlns:r="http://schemas.openxmlformats.org/officeDocument/2006/relationships")";

inline std::string relationshipsXml(const std::vector<std::pair<std::string, std::string>>& typeAndTarget) {
    std::string xml = R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?>)"
                      R"(<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">)";
    int n = 1;
    for (const auto& [type, target] : typeAndTarget)
        xml += R"(<Relationship Id="rId)" + std::to_string(n++) +
               R"(" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/)" + type +
               R"(" Target=")" + target + R"("/>)";
    return xml + "</Relationships>";
}

inline std::string rootRelationships(std::string_view mainPart) {
    return relationshipsXml({{"officeDocument", std::string(mainPart)}});
}

// A Word document: the body's inner XML, and optionally styles and theme parts.
inline std::string docxBytes(std::string_view bodyXml, std::string_view stylesXml = {},
                             std::string_view themeXml = {}) {
    std::vector<ZipEntry> entries;
    entries.push_back({.name = "[Content_Types].xml", .data = "<Types/>"});
    entries.push_back({.name = "_rels/.rels", .data = rootRelationships("word/document.xml")});
    std::vector<std::pair<std::string, std::string>> rels;
    if (!stylesXml.empty()) rels.emplace_back("styles", "styles.xml");
    if (!themeXml.empty()) rels.emplace_back("theme", "theme/theme1.xml");
    entries.push_back({.name = "word/_rels/document.xml.rels", .data = relationshipsXml(rels)});
    entries.push_back({.name = "word/document.xml",
                       .data = "<w:document " + std::string(kW) + "><w:body>" + std::string(bodyXml) +
                               "</w:body></w:document>"});
    if (!stylesXml.empty())
        entries.push_back({.name = "word/styles.xml",
                           .data = "<w:styles " + std::string(kW) + ">" + std::string(stylesXml) + "</w:styles>"});
    if (!themeXml.empty()) entries.push_back({.name = "word/theme/theme1.xml", .data = std::string(themeXml)});
    return zipArchive(entries);
}

inline std::string themeXml(std::string_view minorLatin, std::string_view minorEa, std::string_view hansFont) {
    return R"(<a:theme xmlns:a="http://schemas.openxmlformats.org/drawingml/2006/main"><a:themeElements>)"
           R"(<a:fontScheme name="x"><a:majorFont><a:latin typeface="Major Latin"/><a:ea typeface=""/>)"
           R"(<a:font script="Hans" typeface="MajorHans"/></a:majorFont><a:minorFont><a:latin typeface=")" +
           std::string(minorLatin) + R"("/><a:ea typeface=")" + std::string(minorEa) +
           R"("/><a:font script="Hans" typeface=")" + std::string(hansFont) +
           R"("/><a:font script="Hant" typeface="HantFont"/></a:minorFont></a:fontScheme></a:themeElements></a:theme>)";
}

// An Excel workbook: sheets by name with their sheetData inner XML, and the shared strings.
inline std::string xlsxBytes(const std::vector<std::pair<std::string, std::string>>& sheets,
                             const std::vector<std::string>& sharedStrings = {}) {
    constexpr std::string_view ns = R"(xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main" )"
                                    R"(xmlns:r="http://schemas.openxmlformats.org/officeDocument/2006/relationships")";
    std::vector<ZipEntry> entries;
    entries.push_back({.name = "[Content_Types].xml", .data = "<Types/>"});
    entries.push_back({.name = "_rels/.rels", .data = rootRelationships("xl/workbook.xml")});
    std::vector<std::pair<std::string, std::string>> rels;
    std::string workbook = "<workbook " + std::string(ns) + "><sheets>";
    for (size_t i = 0; i < sheets.size(); ++i) {
        std::string n = std::to_string(i + 1);
        rels.emplace_back("worksheet", "worksheets/sheet" + n + ".xml");
        workbook += R"(<sheet name=")" + sheets[i].first + R"(" sheetId=")" + n + R"(" r:id="rId)" + n + R"("/>)";
        entries.push_back({.name = "xl/worksheets/sheet" + n + ".xml",
                           .data = "<worksheet " + std::string(ns) + "><sheetData>" + sheets[i].second +
                                   "</sheetData></worksheet>"});
    }
    workbook += "</sheets></workbook>";
    if (!sharedStrings.empty()) {
        rels.emplace_back("sharedStrings", "sharedStrings.xml");
        std::string sst = "<sst " + std::string(ns) + ">";
        for (const auto& s : sharedStrings) sst += "<si><t>" + s + "</t></si>";
        entries.push_back({.name = "xl/sharedStrings.xml", .data = sst + "</sst>"});
    }
    entries.push_back({.name = "xl/workbook.xml", .data = workbook});
    entries.push_back({.name = "xl/_rels/workbook.xml.rels", .data = relationshipsXml(rels)});
    return zipArchive(entries);
}

// A presentation: one slide per entry, its title (none when the text is "-").
inline std::string pptxBytes(const std::vector<std::string>& titles) {
    constexpr std::string_view ns = R"(xmlns:a="http://schemas.openxmlformats.org/drawingml/2006/main" )"
                                    R"(xmlns:p="http://schemas.openxmlformats.org/presentationml/2006/main" )"
                                    R"(xmlns:r="http://schemas.openxmlformats.org/officeDocument/2006/relationships")";
    std::vector<ZipEntry> entries;
    entries.push_back({.name = "[Content_Types].xml", .data = "<Types/>"});
    entries.push_back({.name = "_rels/.rels", .data = rootRelationships("ppt/presentation.xml")});
    std::vector<std::pair<std::string, std::string>> rels;
    std::string presentation = "<p:presentation " + std::string(ns) + "><p:sldIdLst>";
    for (size_t i = 0; i < titles.size(); ++i) {
        std::string n = std::to_string(i + 1);
        rels.emplace_back("slide", "slides/slide" + n + ".xml");
        presentation += R"(<p:sldId id=")" + std::to_string(256 + i) + R"(" r:id="rId)" + n + R"("/>)";
        std::string shapes = R"(<p:sp><p:nvSpPr><p:cNvPr id="3" name="body"/><p:cNvSpPr/><p:nvPr><p:ph type="body" idx="1"/></p:nvPr></p:nvSpPr>)"
                             R"(<p:txBody><a:p><a:r><a:t>Body text</a:t></a:r></a:p></p:txBody></p:sp>)";
        if (titles[i] != "-")
            shapes += R"(<p:sp><p:nvSpPr><p:cNvPr id="2" name="Title"/><p:cNvSpPr/><p:nvPr><p:ph type="title"/></p:nvPr></p:nvSpPr>)"
                      R"(<p:txBody><a:bodyPr/><a:p><a:r><a:t>)" + titles[i] + R"(</a:t></a:r></a:p></p:txBody></p:sp>)";
        entries.push_back({.name = "ppt/slides/slide" + n + ".xml",
                           .data = "<p:sld " + std::string(ns) + "><p:cSld><p:spTree>" + shapes +
                                   "</p:spTree></p:cSld></p:sld>"});
    }
    presentation += "</p:sldIdLst></p:presentation>";
    entries.push_back({.name = "ppt/presentation.xml", .data = presentation});
    entries.push_back({.name = "ppt/_rels/presentation.xml.rels", .data = relationshipsXml(rels)});
    return zipArchive(entries);
}

}  // namespace tovren::testing
