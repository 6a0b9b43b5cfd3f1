// Word documents (.docx): the paragraph that contains a text, and its formatting as Word shows
// it. Each run property is resolved through the levels of ECMA-376 Part 1, 17.7.2 (style
// hierarchy): document defaults, then the paragraph style, then the run's character style (each
// style with its basedOn chain, nearest style last), then the run's own properties.
#include <cmath>
#include <cstdlib>
#include <map>
#include <set>

#include "grading/evaluate.h"
#include "grading/ooxml.h"
#include "grading/fonts.h"

namespace tovren::grading {
namespace {

// A font pair of w:rFonts: a theme reference beats the plain name on the same element
// (17.3.2.26); a level that sets either replaces both of the level below.
struct FontChoice {
    std::string name;
    std::string theme;  // "minorEastAsia", ...
};

struct RunProperties {
    std::optional<FontChoice> eastAsia, ascii;
    std::optional<double> size;  // points
    std::optional<bool> bold, italic, underline;
    std::optional<std::string> eastAsiaLanguage;
};

struct ParagraphProperties {
    std::optional<std::string> align;
    // First-line indent: in hundredths of a character, or in twentieths of a point; a hanging
    // indent is negative. The character form wins when both are given (17.3.1.12).
    std::optional<double> firstLineChars, firstLineTwips;
};

std::optional<bool> onOff(const pugi::xml_node& node) {
    if (!node) return std::nullopt;
    std::string_view v = attributeNamed(node, "val").value();
    return !(v == "0" || v == "false" || v == "off");
}

void applyRun(RunProperties& into, const pugi::xml_node& rPr) {
    if (!rPr) return;
    if (pugi::xml_node fonts = childNamed(rPr, "rFonts")) {
        auto pair = [&](std::optional<FontChoice>& slot, std::string_view plain, std::string_view theme) {
            pugi::xml_attribute p = attributeNamed(fonts, plain), t = attributeNamed(fonts, theme);
            if (p || t) slot = FontChoice{p.value(), t.value()};
        };
        pair(into.eastAsia, "eastAsia", "eastAsiaTheme");
        pair(into.ascii, "ascii", "asciiTheme");
    }
    if (pugi::xml_node sz = childNamed(rPr, "sz")) {
        double halfPoints = std::atof(attributeNamed(sz, "val").value());
        if (halfPoints > 0) into.size = halfPoints / 2;
    }
    if (auto b = onOff(childNamed(rPr, "b"))) into.bold = b;
    if (auto i = onOff(childNamed(rPr, "i"))) into.italic = i;
    if (pugi::xml_node u = childNamed(rPr, "u")) {
        std::string_view v = attributeNamed(u, "val").value();
        into.underline = v != "none";
    }
    if (pugi::xml_node lang = childNamed(rPr, "lang"))
        if (pugi::xml_attribute ea = attributeNamed(lang, "eastAsia")) into.eastAsiaLanguage = ea.value();
}

void applyParagraph(ParagraphProperties& into, const pugi::xml_node& pPr) {
    if (!pPr) return;
    if (pugi::xml_node jc = childNamed(pPr, "jc")) into.align = attributeNamed(jc, "val").value();
    if (pugi::xml_node ind = childNamed(pPr, "ind")) {
        pugi::xml_attribute fc = attributeNamed(ind, "firstLineChars"), ft = attributeNamed(ind, "firstLine"),
                            hc = attributeNamed(ind, "hangingChars"), ht = attributeNamed(ind, "hanging");
        if (fc || ft || hc || ht) {
            into.firstLineChars.reset();
            into.firstLineTwips.reset();
            if (ft) into.firstLineTwips = std::atof(ft.value());
            if (ht) into.firstLineTwips = -std::atof(ht.value());
            if (fc) into.firstLineChars = std::atof(fc.value());
            if (hc) into.firstLineChars = -std::atof(hc.value());
        }
    }
}

struct Style {
    std::string type;
    std::string basedOn;
    pugi::xml_node pPr, rPr;
};

class Styles {
  public:
    void read(const pugi::xml_document& xml) {
        pugi::xml_node root = childNamed(xml, "styles");
        pugi::xml_node defaults = childNamed(root, "docDefaults");
        defaultRun_ = childNamed(childNamed(defaults, "rPrDefault"), "rPr");
        defaultParagraph_ = childNamed(childNamed(defaults, "pPrDefault"), "pPr");
        for (pugi::xml_node s : root.children()) {
            if (!isNamed(s, "style")) continue;
            std::string id = attributeNamed(s, "styleId").value();
            Style style{attributeNamed(s, "type").value(), attributeNamed(childNamed(s, "basedOn"), "val").value(),
                        childNamed(s, "pPr"), childNamed(s, "rPr")};
            std::string_view isDefault = attributeNamed(s, "default").value();
            if (isDefault == "1" || isDefault == "true" || isDefault == "on") {
                if (style.type == "paragraph" && defaultParagraphStyle_.empty()) defaultParagraphStyle_ = id;
                if (style.type == "character" && defaultCharacterStyle_.empty()) defaultCharacterStyle_ = id;
            }
            styles_.emplace(id, style);
        }
    }

    // The style and its basedOn ancestors, farthest first. A chain that loops is taken up to the
    // first style met twice; a missing style ends it.
    std::vector<const Style*> chain(const std::string& id, std::string_view type) const {
        std::vector<const Style*> out;
        std::set<std::string> seen;
        std::string at = id;
        while (!at.empty() && seen.insert(at).second && out.size() < 256) {
            auto it = styles_.find(at);
            if (it == styles_.end() || it->second.type != type) break;
            out.insert(out.begin(), &it->second);
            at = it->second.basedOn;
        }
        return out;
    }

    const pugi::xml_node& defaultRun() const { return defaultRun_; }
    const pugi::xml_node& defaultParagraph() const { return defaultParagraph_; }
    std::string paragraphStyleOf(const pugi::xml_node& pPr) const {
        pugi::xml_attribute a = attributeNamed(childNamed(pPr, "pStyle"), "val");
        return a ? a.value() : defaultParagraphStyle_;
    }
    std::string characterStyleOf(const pugi::xml_node& rPr) const {
        pugi::xml_attribute a = attributeNamed(childNamed(rPr, "rStyle"), "val");
        return a ? a.value() : defaultCharacterStyle_;
    }

  private:
    std::map<std::string, Style> styles_;
    pugi::xml_node defaultRun_, defaultParagraph_;
    std::string defaultParagraphStyle_, defaultCharacterStyle_;
};

// The theme's fonts: major and minor, Latin and East Asian, and the East Asian font per script.
struct ThemeFonts {
    bool present = false;
    std::string majorLatin, minorLatin, majorEastAsia, minorEastAsia;
    std::map<std::string, std::string> majorScripts, minorScripts;

    void read(const pugi::xml_document& xml) {
        pugi::xml_node scheme = childNamed(childNamed(childNamed(xml, "theme"), "themeElements"), "fontScheme");
        if (!scheme) return;
        present = true;
        auto take = [](const pugi::xml_node& f, std::string& latin, std::string& ea, std::map<std::string, std::string>& scripts) {
            latin = attributeNamed(childNamed(f, "latin"), "typeface").value();
            ea = attributeNamed(childNamed(f, "ea"), "typeface").value();
            for (pugi::xml_node s : f.children())
                if (isNamed(s, "font")) scripts[attributeNamed(s, "script").value()] = attributeNamed(s, "typeface").value();
        };
        take(childNamed(scheme, "majorFont"), majorLatin, majorEastAsia, majorScripts);
        take(childNamed(scheme, "minorFont"), minorLatin, minorEastAsia, minorScripts);
    }
};

// The script whose theme font an East Asian language takes (Chinese, simplified, when unset).
std::string scriptOf(const std::optional<std::string>& language) {
    std::string lang = language.value_or("zh-CN");
    for (char& c : lang) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c | 0x20 : c);
    if (lang == "zh-tw" || lang == "zh-hk" || lang == "zh-mo") return "Hant";
    if (lang.rfind("ja", 0) == 0) return "Jpan";
    if (lang.rfind("ko", 0) == 0) return "Hang";
    return "Hans";
}

// A font choice as a name: the theme's font when the choice names one and the document has a
// theme; otherwise the plain name beside the reference (empty when there is none).
std::string fontName(const std::optional<FontChoice>& choice, const ThemeFonts& theme,
                     const std::optional<std::string>& language) {
    if (!choice) return {};
    if (choice->theme.empty() || !theme.present) return choice->name;
    const std::string& t = choice->theme;
    bool major = t.rfind("major", 0) == 0;
    if (t.find("EastAsia") != std::string::npos) {
        const std::string& ea = major ? theme.majorEastAsia : theme.minorEastAsia;
        if (!ea.empty()) return ea;
        const auto& scripts = major ? theme.majorScripts : theme.minorScripts;
        auto it = scripts.find(scriptOf(language));
        return it != scripts.end() ? it->second : choice->name;
    }
    return major ? theme.majorLatin : theme.minorLatin;
}

// Documents nest tables in tables and text boxes in paragraphs, but never this deep; a part
// that does is walked no further, so no crafted document exhausts the stack.
constexpr int kDeepest = 200;

// Text and runs of a paragraph; nested paragraphs (text boxes), deleted text and the fallback
// copy of alternate content are not its own.
void collectRuns(const pugi::xml_node& node, std::vector<pugi::xml_node>& runs, int depth = 0) {
    if (depth > kDeepest) return;
    for (pugi::xml_node child : node.children()) {
        if (child.type() != pugi::node_element) continue;
        std::string_view name = localName(child.name());
        if (name == "r") {
            runs.push_back(child);
            continue;
        }
        if (name == "p" || name == "txbxContent" || name == "Fallback" || name == "del" || name == "pPr") continue;
        collectRuns(child, runs, depth + 1);
    }
}

std::string runText(const pugi::xml_node& run) {
    std::string text;
    for (pugi::xml_node child : run.children()) {
        if (isNamed(child, "t")) text += child.text().get();
        else if (isNamed(child, "tab")) text += '\t';
    }
    return text;
}

bool isBlank(std::string_view text) {
    for (char c : text)
        if (c != ' ' && c != '\t') return false;
    return true;
}

void findParagraph(const pugi::xml_node& node, std::string_view needle, pugi::xml_node& found,
                   std::vector<pugi::xml_node>& foundRuns, int depth = 0) {
    if (depth > kDeepest) return;
    for (pugi::xml_node child : node.children()) {
        if (found) return;
        if (child.type() != pugi::node_element) continue;
        if (isNamed(child, "p")) {
            std::vector<pugi::xml_node> runs;
            collectRuns(child, runs);
            std::string text;
            for (auto& r : runs) text += runText(r);
            if (text.find(needle) != std::string::npos) {
                found = child;
                foundRuns = std::move(runs);
                return;
            }
        }
        if (!isNamed(child, "Fallback")) findParagraph(child, needle, found, foundRuns, depth + 1);
    }
}

// One run as Word shows it.
struct ResolvedRun {
    std::string chineseFont, latinFont;
    double size = 10;  // Word's own size where nothing sets one
    bool bold = false, italic = false, underline = false;
};

ResolvedRun resolveRun(const Styles& styles, const ThemeFonts& theme, const pugi::xml_node& pPr,
                       const pugi::xml_node& run) {
    RunProperties base;
    applyRun(base, styles.defaultRun());
    // Paragraph style and character style, each flattened along its basedOn chain.
    RunProperties paragraphStyle, characterStyle;
    for (const Style* s : styles.chain(styles.paragraphStyleOf(pPr), "paragraph")) applyRun(paragraphStyle, s->rPr);
    pugi::xml_node rPr = childNamed(run, "rPr");
    for (const Style* s : styles.chain(styles.characterStyleOf(rPr), "character")) applyRun(characterStyle, s->rPr);
    RunProperties merged = base;
    for (const RunProperties* level : {&paragraphStyle, &characterStyle}) {
        if (level->eastAsia) merged.eastAsia = level->eastAsia;
        if (level->ascii) merged.ascii = level->ascii;
        if (level->size) merged.size = level->size;
        if (level->underline) merged.underline = level->underline;
        if (level->eastAsiaLanguage) merged.eastAsiaLanguage = level->eastAsiaLanguage;
    }
    // Bold and italic are toggles (17.7.3): set in both styles they cancel out.
    auto toggle = [](std::optional<bool> defaults, std::optional<bool> p, std::optional<bool> c) {
        if (!p && !c) return defaults;
        return std::optional<bool>(p.value_or(false) != c.value_or(false));
    };
    merged.bold = toggle(merged.bold, paragraphStyle.bold, characterStyle.bold);
    merged.italic = toggle(merged.italic, paragraphStyle.italic, characterStyle.italic);
    // Direct formatting is absolute.
    applyRun(merged, rPr);
    ResolvedRun out;
    out.chineseFont = fontName(merged.eastAsia, theme, merged.eastAsiaLanguage);
    out.latinFont = fontName(merged.ascii, theme, merged.eastAsiaLanguage);
    out.size = merged.size.value_or(10);
    out.bold = merged.bold.value_or(false);
    out.italic = merged.italic.value_or(false);
    out.underline = merged.underline.value_or(false);
    return out;
}

ParagraphProperties resolveParagraph(const Styles& styles, const pugi::xml_node& pPr) {
    ParagraphProperties out;
    applyParagraph(out, styles.defaultParagraph());
    for (const Style* s : styles.chain(styles.paragraphStyleOf(pPr), "paragraph")) applyParagraph(out, s->pPr);
    applyParagraph(out, pPr);
    return out;
}

std::string alignmentName(std::string_view jc) {
    if (jc.empty() || jc == "left" || jc == "start") return "left";
    if (jc == "right" || jc == "end") return "right";
    if (jc == "both" || jc == "lowKashida" || jc == "mediumKashida" || jc == "highKashida") return "justify";
    if (jc == "distribute" || jc == "thaiDistribute") return "distribute";
    return std::string(jc);
}

const char* yesNoText(bool v) {
    return v ? "yes" : "no";
}

}  // namespace

Outcome evaluateDocumentClause(const Clause& clause, const std::string& path) {
    std::string why;
    auto document = OfficeDocument::open(path, why);
    if (!document) return {false, clause.path + ": " + why};
    pugi::xml_document body;
    if (!document->load(document->mainPart(), body, why)) return {false, clause.path + ": " + why};
    if (!childNamed(body, "document")) return {false, clause.path + ": it is no Word document"};
    Styles styles;
    pugi::xml_document stylesXml, themeXml;
    if (auto part = document->relatedByType(document->mainPart(), "styles"))
        if (document->load(*part, stylesXml, why)) styles.read(stylesXml);
    ThemeFonts theme;
    if (auto part = document->relatedByType(document->mainPart(), "theme"))
        if (document->load(*part, themeXml, why)) theme.read(themeXml);

    pugi::xml_node paragraph;
    std::vector<pugi::xml_node> runs;
    findParagraph(childNamed(childNamed(body, "document"), "body"), clause.text, paragraph, runs);
    if (!paragraph) return {false, "no paragraph contains \"" + clause.text + "\""};
    pugi::xml_node pPr = childNamed(paragraph, "pPr");

    // Character formatting is judged on the runs that hold the text itself (the first time it
    // occurs), blank runs aside: "东风来了" may be bold while the rest of its paragraph is not.
    std::string text;
    for (const auto& run : runs) text += runText(run);
    const size_t from = text.find(clause.text), to = from + clause.text.size();
    std::vector<ResolvedRun> resolved;
    size_t at = 0;
    for (const auto& run : runs) {
        std::string piece = runText(run);
        size_t start = at;
        at += piece.size();
        if (at <= from || start >= to || isBlank(piece)) continue;
        resolved.push_back(resolveRun(styles, theme, pPr, run));
    }
    if (resolved.empty()) return {false, "the text is blank"};

    if (clause.property == Property::Align || clause.property == Property::Indent) {
        ParagraphProperties p = resolveParagraph(styles, pPr);
        if (clause.property == Property::Align) {
            std::string align = alignmentName(p.align.value_or(""));
            if (align != clause.value.text) return {false, "the paragraph is aligned " + align};
            return {true, {}};
        }
        double chars = p.firstLineChars ? *p.firstLineChars / 100
                       : p.firstLineTwips ? *p.firstLineTwips / (resolved.front().size * 20)
                                          : 0;
        if (std::fabs(chars - clause.value.number) > 0.1)
            return {false, "the first line is indented " + numberText(std::round(chars * 100) / 100) + " characters"};
        return {true, {}};
    }
    // A character property holds when it holds for every run of the text.
    for (const ResolvedRun& r : resolved) {
        switch (clause.property) {
            case Property::ChineseFont:
                if (!sameFont(r.chineseFont, clause.value.text)) return {false, "the Chinese font is \"" + r.chineseFont + "\""};
                break;
            case Property::LatinFont:
                if (!sameFont(r.latinFont, clause.value.text)) return {false, "the Latin font is \"" + r.latinFont + "\""};
                break;
            case Property::Size:
                if (std::fabs(r.size - clause.value.number) > 0.01) return {false, "the size is " + numberText(r.size) + " points"};
                break;
            case Property::Bold:
                if (r.bold != (clause.value.number != 0)) return {false, std::string("bold is ") + yesNoText(r.bold)};
                break;
            case Property::Italic:
                if (r.italic != (clause.value.number != 0)) return {false, std::string("italic is ") + yesNoText(r.italic)};
                break;
            case Property::Underline:
                if (r.underline != (clause.value.number != 0)) return {false, std::string("underline is ") + yesNoText(r.underline)};
                break;
            default:
                break;
        }
    }
    return {true, {}};
}

}  // namespace tovren::grading
