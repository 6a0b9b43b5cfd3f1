#include "grading/ooxml.h"

#include <memory>

namespace tovren::grading {

std::string_view localName(const char* qualifiedName) {
    std::string_view name(qualifiedName);
    size_t colon = name.find(':');
    return colon == name.npos ? name : name.substr(colon + 1);
}

bool isNamed(const pugi::xml_node& node, std::string_view local) {
    return node.type() == pugi::node_element && localName(node.name()) == local;
}

pugi::xml_node childNamed(const pugi::xml_node& node, std::string_view local) {
    for (pugi::xml_node child : node.children())
        if (isNamed(child, local)) return child;
    return {};
}

pugi::xml_attribute attributeNamed(const pugi::xml_node& node, std::string_view local, bool prefixed) {
    for (pugi::xml_attribute a : node.attributes()) {
        std::string_view name(a.name());
        bool hasPrefix = name.find(':') != name.npos;
        if (hasPrefix && name.substr(0, 6) == "xmlns:") continue;
        if (localName(a.name()) == local && (!prefixed || hasPrefix)) return a;
    }
    return {};
}

std::string resolvePartName(std::string_view sourcePart, std::string_view target) {
    std::string path;
    if (!target.empty() && target[0] == '/') {
        path = std::string(target.substr(1));
    } else {
        size_t slash = sourcePart.rfind('/');
        path = slash == sourcePart.npos ? std::string(target)
                                        : std::string(sourcePart.substr(0, slash + 1)) + std::string(target);
    }
    // "." and ".." segments resolved; ".." above the root stays at the root.
    std::vector<std::string> segments;
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = path.find('/', start);
        if (end == path.npos) end = path.size();
        std::string segment = path.substr(start, end - start);
        if (segment == "..") {
            if (!segments.empty()) segments.pop_back();
        } else if (!segment.empty() && segment != ".") {
            segments.push_back(segment);
        }
        start = end + 1;
    }
    std::string out;
    for (const auto& s : segments) out += (out.empty() ? "" : "/") + s;
    return out;
}

namespace {
std::string relationshipsPartOf(const std::string& part) {
    size_t slash = part.rfind('/');
    if (slash == part.npos) return "_rels/" + part + ".rels";
    return part.substr(0, slash + 1) + "_rels/" + part.substr(slash + 1) + ".rels";
}
}  // namespace

std::optional<OfficeDocument> OfficeDocument::open(std::string_view path, std::string& why) {
    auto package = Package::open(path);
    if (!package) {
        why = "it is no Office document (no ZIP archive)";
        return std::nullopt;
    }
    OfficeDocument doc;
    doc.package_ = std::move(package);
    auto main = doc.relatedByType("", "officeDocument");
    if (!main) {
        why = "it is no Office document (no main part)";
        return std::nullopt;
    }
    doc.mainPart_ = *main;
    return doc;
}

bool OfficeDocument::load(const std::string& part, pugi::xml_document& doc, std::string& why) {
    std::string bytes;
    switch (package_->read(part, bytes)) {
        case ReadResult::Ok:
            break;
        case ReadResult::Missing:
            why = "the document has no part " + part;
            return false;
        case ReadResult::TooLarge:
            why = "the document's part " + part + " is too large";
            return false;
        case ReadResult::Damaged:
            why = "the document is damaged (" + part + ")";
            return false;
    }
    // Text that is only blanks is text too (a run holding one space).
    pugi::xml_parse_result parsed = doc.load_buffer(bytes.data(), bytes.size(), pugi::parse_default | pugi::parse_ws_pcdata);
    if (!parsed) {
        why = "the document's part " + part + " is no XML";
        return false;
    }
    return true;
}

std::vector<Relationship> OfficeDocument::relationships(const std::string& part) {
    std::vector<Relationship> out;
    pugi::xml_document doc;
    std::string why;
    if (!load(relationshipsPartOf(part), doc, why)) return out;
    pugi::xml_node root = childNamed(doc, "Relationships");
    for (pugi::xml_node r : root.children()) {
        if (!isNamed(r, "Relationship")) continue;
        if (std::string_view(attributeNamed(r, "TargetMode").value()) == "External") continue;
        std::string_view type = attributeNamed(r, "Type").value();
        size_t slash = type.rfind('/');
        out.push_back({attributeNamed(r, "Id").value(),
                       std::string(slash == type.npos ? type : type.substr(slash + 1)),
                       resolvePartName(part, attributeNamed(r, "Target").value())});
    }
    return out;
}

std::optional<std::string> OfficeDocument::relatedByType(const std::string& part, std::string_view type) {
    for (auto& r : relationships(part))
        if (r.type == type) return r.target;
    return std::nullopt;
}

std::optional<std::string> OfficeDocument::relatedById(const std::string& part, std::string_view id) {
    for (auto& r : relationships(part))
        if (r.id == id) return r.target;
    return std::nullopt;
}

}  // namespace tovren::grading
