#pragma once
// Office Open XML documents: parts (ZIP entries holding XML) and the relationships between
// them. Elements and attributes are matched by their local names, so a document written with
// other namespace prefixes reads the same.
#include <pugixml.hpp>

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "grading/package.h"

namespace tovren::grading {

std::string_view localName(const char* qualifiedName);
bool isNamed(const pugi::xml_node& node, std::string_view local);
// The first child element with that local name (an empty node when there is none).
pugi::xml_node childNamed(const pugi::xml_node& node, std::string_view local);
// The attribute with that local name; `prefixed` picks "r:id" over a plain "id".
pugi::xml_attribute attributeNamed(const pugi::xml_node& node, std::string_view local, bool prefixed = false);

struct Relationship {
    std::string id;
    std::string type;    // the last segment of the type address: "officeDocument", "styles", ...
    std::string target;  // the part's name, resolved: "word/styles.xml"
};

// Why a document could not be read, for the teacher's tool.
struct DocumentError {
    std::string why;
};

class OfficeDocument {
  public:
    // Opens the file and finds its main part; nothing, with the reason, when it is no Office
    // document (no ZIP, no relationships, no main part).
    static std::optional<OfficeDocument> open(std::string_view path, std::string& why);

    const std::string& mainPart() const { return mainPart_; }
    // Parses a part; false, with the reason, when it is missing, too large or no XML.
    bool load(const std::string& part, pugi::xml_document& doc, std::string& why);
    // The relationships of a part (empty when it has none).
    std::vector<Relationship> relationships(const std::string& part);
    // The target of the first relationship of that type, or of that id.
    std::optional<std::string> relatedByType(const std::string& part, std::string_view type);
    std::optional<std::string> relatedById(const std::string& part, std::string_view id);

  private:
    std::shared_ptr<Package> package_;
    std::string mainPart_;
};

// The target of a relationship, made a part name relative to the package's root.
std::string resolvePartName(std::string_view sourcePart, std::string_view target);

}  // namespace tovren::grading
