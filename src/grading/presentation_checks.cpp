// PowerPoint presentations (.pptx): the slides in the order of the presentation's slide list,
// and a slide's title: the shape holding the title placeholder.
#include "grading/evaluate.h"
#include "grading/ooxml.h"

namespace tovren::grading {
namespace {

// Blanks, tabs and line breaks in a row count as one blank; none at the ends.
std::string collapseBlanks(std::string_view text) {
    std::string out;
    bool blank = false;
    for (char c : text) {
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
            blank = !out.empty();
            continue;
        }
        if (blank) out += ' ';
        blank = false;
        out += c;
    }
    return out;
}

std::string shapeText(const pugi::xml_node& txBody) {
    std::string text;
    for (pugi::xml_node p : txBody.children()) {
        if (!isNamed(p, "p")) continue;
        if (!text.empty()) text += '\n';
        for (pugi::xml_node r : p.children()) {
            if (isNamed(r, "r") || isNamed(r, "fld")) text += childNamed(r, "t").text().get();
            else if (isNamed(r, "br")) text += '\n';
        }
    }
    return text;
}

// The text of the first title placeholder among the shapes, groups included.
std::optional<std::string> titleOf(const pugi::xml_node& tree, int depth = 0) {
    // Groups in groups, but not without end: no crafted slide exhausts the stack.
    if (depth > 200) return std::nullopt;
    for (pugi::xml_node shape : tree.children()) {
        if (isNamed(shape, "grpSp")) {
            if (auto t = titleOf(shape, depth + 1)) return t;
            continue;
        }
        if (!isNamed(shape, "sp")) continue;
        pugi::xml_node ph = childNamed(childNamed(childNamed(shape, "nvSpPr"), "nvPr"), "ph");
        std::string_view type = attributeNamed(ph, "type").value();
        if (ph && (type == "title" || type == "ctrTitle")) return shapeText(childNamed(shape, "txBody"));
    }
    return std::nullopt;
}

}  // namespace

Outcome evaluatePresentationClause(const Clause& clause, const std::string& path) {
    std::string why;
    auto document = OfficeDocument::open(path, why);
    if (!document) return {false, clause.path + ": " + why};
    pugi::xml_document xml;
    if (!document->load(document->mainPart(), xml, why)) return {false, clause.path + ": " + why};
    pugi::xml_node presentation = childNamed(xml, "presentation");
    if (!presentation) return {false, clause.path + ": it is no PowerPoint presentation"};
    std::vector<std::string> slideIds;
    for (pugi::xml_node id : childNamed(presentation, "sldIdLst").children())
        if (isNamed(id, "sldId")) slideIds.push_back(attributeNamed(id, "id", true).value());
    if (clause.kind == Kind::Slides) {
        if (!compareNumbers(static_cast<double>(slideIds.size()), clause.compare, clause.value.number))
            return {false, clause.path + " has " + std::to_string(slideIds.size()) + " slides"};
        return {true, {}};
    }
    if (clause.index > static_cast<int>(slideIds.size()))
        return {false, clause.path + " has " + std::to_string(slideIds.size()) + " slides"};
    auto part = document->relatedById(document->mainPart(), slideIds[clause.index - 1]);
    pugi::xml_document slide;
    if (!part || !document->load(*part, slide, why)) return {false, clause.path + ": slide " + std::to_string(clause.index) + " cannot be read"};
    auto title = titleOf(childNamed(childNamed(childNamed(slide, "sld"), "cSld"), "spTree"));
    if (!title) return {false, "slide " + std::to_string(clause.index) + " has no title"};
    if (collapseBlanks(*title) != collapseBlanks(clause.value.text))
        return {false, "slide " + std::to_string(clause.index) + "'s title is \"" + collapseBlanks(*title) + "\""};
    return {true, {}};
}

}  // namespace tovren::grading
