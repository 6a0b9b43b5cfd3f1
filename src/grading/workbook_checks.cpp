// Excel workbooks (.xlsx): sheets in the workbook's order, cells by reference, shared strings
// and shared formulas (a formula filled down is stored once, in its first cell).
#include <cmath>
#include <cstdlib>

#include "grading/evaluate.h"
#include "grading/ooxml.h"

namespace tovren::grading {
namespace {

struct CellAddress {
    int column = 0;  // from 1
    int row = 0;     // from 1
};

std::optional<CellAddress> parseAddress(std::string_view ref) {
    CellAddress a;
    size_t i = 0;
    while (i < ref.size() && i < 3 && ((ref[i] >= 'A' && ref[i] <= 'Z') || (ref[i] >= 'a' && ref[i] <= 'z'))) {
        a.column = a.column * 26 + ((ref[i] | 0x20) - 'a' + 1);
        ++i;
    }
    size_t digits = 0;
    while (i < ref.size() && ref[i] >= '0' && ref[i] <= '9' && digits < 7) {
        a.row = a.row * 10 + (ref[i] - '0');
        ++i, ++digits;
    }
    if (i != ref.size() || a.column == 0 || a.row == 0) return std::nullopt;
    return a;
}

std::string columnName(int column) {
    std::string name;
    while (column > 0) {
        name.insert(name.begin(), static_cast<char>('A' + (column - 1) % 26));
        column = (column - 1) / 26;
    }
    return name;
}

// Moves the relative references of a shared formula from its first cell to another; "$" parts
// stay, text in quotes and function names ("LOG10(") are left alone.
std::string shiftFormula(std::string_view formula, int columns, int rows) {
    std::string out;
    size_t i = 0;
    auto isLetter = [](char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); };
    auto isWordChar = [&](char c) { return isLetter(c) || (c >= '0' && c <= '9') || c == '_' || c == '.'; };
    while (i < formula.size()) {
        char c = formula[i];
        if (c == '"') {
            size_t end = formula.find('"', i + 1);
            while (end != formula.npos && end + 1 < formula.size() && formula[end + 1] == '"')
                end = formula.find('"', end + 2);
            end = end == formula.npos ? formula.size() : end + 1;
            out.append(formula.substr(i, end - i));
            i = end;
            continue;
        }
        if (c == '\'') {
            size_t end = formula.find('\'', i + 1);
            end = end == formula.npos ? formula.size() : end + 1;
            out.append(formula.substr(i, end - i));
            i = end;
            continue;
        }
        if (isLetter(c) || c == '$') {
            if (i > 0 && isWordChar(formula[i - 1])) {
                out += c;
                ++i;
                continue;
            }
            size_t j = i;
            bool colAbs = formula[j] == '$';
            if (colAbs) ++j;
            size_t letters = j;
            while (j < formula.size() && isLetter(formula[j])) ++j;
            size_t lettersEnd = j;
            bool rowAbs = j < formula.size() && formula[j] == '$';
            if (rowAbs) ++j;
            size_t digits = j;
            while (j < formula.size() && formula[j] >= '0' && formula[j] <= '9') ++j;
            bool isRef = lettersEnd > letters && lettersEnd - letters <= 3 && j > digits &&
                         (j >= formula.size() || (!isWordChar(formula[j]) && formula[j] != '(' && formula[j] != '!'));
            if (!isRef) {
                size_t end = i + 1;
                while (end < formula.size() && isWordChar(formula[end])) ++end;
                out.append(formula.substr(i, end - i));
                i = end;
                continue;
            }
            auto address = parseAddress(std::string(formula.substr(letters, lettersEnd - letters)) +
                                        std::string(formula.substr(digits, j - digits)));
            if (!address) {
                out.append(formula.substr(i, j - i));
                i = j;
                continue;
            }
            int column = colAbs ? address->column : address->column + columns;
            int row = rowAbs ? address->row : address->row + rows;
            if (column < 1 || row < 1) {
                out += "#REF!";
            } else {
                if (colAbs) out += '$';
                out += columnName(column);
                if (rowAbs) out += '$';
                out += std::to_string(row);
            }
            i = j;
            continue;
        }
        out += c;
        ++i;
    }
    return out;
}

// The form formulas are compared in: no leading "=", no blanks and upper case outside quotes.
std::string formulaKey(std::string_view formula) {
    std::string out;
    bool quoted = false;
    size_t i = 0;
    while (i < formula.size() && (formula[i] == ' ' || formula[i] == '=')) ++i;
    for (; i < formula.size(); ++i) {
        char c = formula[i];
        if (c == '"') quoted = !quoted;
        if (!quoted && (c == ' ' || c == '\t' || c == '\r' || c == '\n')) continue;
        out += !quoted && c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
    }
    return out;
}

// The text of a shared string or inline string: its own text, or its runs' texts joined.
std::string stringItemText(const pugi::xml_node& item) {
    std::string text;
    for (pugi::xml_node child : item.children()) {
        if (isNamed(child, "t")) text += child.text().get();
        if (isNamed(child, "r")) text += childNamed(child, "t").text().get();
    }
    return text;
}

struct Workbook {
    OfficeDocument document;
    std::vector<std::pair<std::string, std::string>> sheets;  // name, part
};

std::optional<Workbook> openWorkbook(const std::string& path, std::string& why) {
    auto document = OfficeDocument::open(path, why);
    if (!document) return std::nullopt;
    pugi::xml_document xml;
    if (!document->load(document->mainPart(), xml, why)) return std::nullopt;
    pugi::xml_node workbook = childNamed(xml, "workbook");
    if (!workbook) {
        why = "it is no Excel workbook";
        return std::nullopt;
    }
    Workbook book{std::move(*document), {}};
    for (pugi::xml_node sheet : childNamed(workbook, "sheets").children()) {
        if (!isNamed(sheet, "sheet")) continue;
        auto part = book.document.relatedById(book.document.mainPart(), attributeNamed(sheet, "id", true).value());
        book.sheets.emplace_back(attributeNamed(sheet, "name").value(), part.value_or(""));
    }
    return book;
}

bool sameSheetName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if ((a[i] >= 'A' && a[i] <= 'Z' ? a[i] | 0x20 : a[i]) != (b[i] >= 'A' && b[i] <= 'Z' ? b[i] | 0x20 : b[i]))
            return false;
    return true;
}

struct FoundCell {
    pugi::xml_node cell;      // empty when the cell holds nothing
    pugi::xml_node sheetData;
};

// The cell element at the address; rows and cells without their own reference follow the one before.
pugi::xml_node findCell(const pugi::xml_node& sheetData, const CellAddress& wanted) {
    int row = 0;
    for (pugi::xml_node r : sheetData.children()) {
        if (!isNamed(r, "row")) continue;
        int given = std::atoi(attributeNamed(r, "r").value());
        row = given > 0 ? given : row + 1;
        if (row != wanted.row) continue;
        int column = 0;
        for (pugi::xml_node c : r.children()) {
            if (!isNamed(c, "c")) continue;
            auto at = parseAddress(attributeNamed(c, "r").value());
            column = at ? at->column : column + 1;
            if (column == wanted.column) return c;
        }
        return {};
    }
    return {};
}

// The formula of a cell, shared formulas resolved; nothing when the cell has none.
std::optional<std::string> cellFormula(const pugi::xml_node& cell, const pugi::xml_node& sheetData,
                                       const CellAddress& at) {
    pugi::xml_node f = childNamed(cell, "f");
    if (!f) return std::nullopt;
    std::string text = f.text().get();
    if (std::string_view(attributeNamed(f, "t").value()) != "shared" || !text.empty()) return text;
    std::string_view si = attributeNamed(f, "si").value();
    for (pugi::xml_node r : sheetData.children())
        for (pugi::xml_node c : r.children()) {
            pugi::xml_node mf = childNamed(c, "f");
            if (!mf || std::string_view(attributeNamed(mf, "si").value()) != si || !*mf.text().get()) continue;
            auto master = parseAddress(attributeNamed(c, "r").value());
            if (!master) return text;
            return shiftFormula(mf.text().get(), at.column - master->column, at.row - master->row);
        }
    return text;
}

}  // namespace

std::string shiftSharedFormula(std::string_view formula, int columns, int rows) {
    return shiftFormula(formula, columns, rows);
}

Outcome evaluateWorkbookClause(const Clause& clause, const std::string& path) {
    std::string why;
    auto book = openWorkbook(path, why);
    if (!book) return {false, clause.path + ": " + why};
    if (clause.kind == Kind::Sheet) {
        if (clause.index > static_cast<int>(book->sheets.size()))
            return {false, clause.path + " has " + std::to_string(book->sheets.size()) + " sheets"};
        const std::string& name = book->sheets[clause.index - 1].first;
        if (name != clause.value.text) return {false, "sheet " + std::to_string(clause.index) + " is named \"" + name + "\""};
        return {true, {}};
    }
    std::string part;
    if (clause.sheet.empty()) {
        if (book->sheets.empty()) return {false, clause.path + " has no sheet"};
        part = book->sheets.front().second;
    } else {
        for (const auto& [name, p] : book->sheets)
            if (part.empty() && sameSheetName(name, clause.sheet)) part = p;
        if (part.empty()) return {false, clause.path + " has no sheet \"" + clause.sheet + "\""};
    }
    pugi::xml_document sheetXml;
    if (!book->document.load(part, sheetXml, why)) return {false, clause.path + ": " + why};
    pugi::xml_node sheetData = childNamed(childNamed(sheetXml, "worksheet"), "sheetData");
    auto at = parseAddress(clause.cell);
    pugi::xml_node cell = at ? findCell(sheetData, *at) : pugi::xml_node();
    if (clause.kind == Kind::Formula) {
        auto formula = cell ? cellFormula(cell, sheetData, *at) : std::nullopt;
        if (!formula) return {false, clause.cell + " holds no formula"};
        if (clause.hasValue && formulaKey(*formula) != formulaKey(clause.value.text))
            return {false, clause.cell + " holds the formula =" + *formula};
        return {true, {}};
    }
    // The value: a number, or a text (shared, inline or a formula's text result).
    std::string_view type = attributeNamed(cell, "t").value();
    std::string raw = childNamed(cell, "v").text().get();
    std::optional<double> number;
    std::string text;
    if (!cell) {
        // An empty cell.
    } else if (type == "s") {
        pugi::xml_document strings;
        auto sharedPart = book->document.relatedByType(book->document.mainPart(), "sharedStrings");
        if (!sharedPart || !book->document.load(*sharedPart, strings, why))
            return {false, clause.path + ": the shared strings cannot be read"};
        long index = std::strtol(raw.c_str(), nullptr, 10);
        long n = 0;
        for (pugi::xml_node si : childNamed(strings, "sst").children()) {
            if (!isNamed(si, "si")) continue;
            if (n++ == index) {
                text = stringItemText(si);
                break;
            }
        }
    } else if (type == "inlineStr") {
        text = stringItemText(childNamed(cell, "is"));
    } else if (type == "str" || type == "e" || type == "d") {
        text = raw;
    } else if (!raw.empty()) {
        char* end = nullptr;
        double v = std::strtod(raw.c_str(), &end);
        if (end && *end == '\0') number = v;
        else text = raw;
    }
    if (clause.value.isNumber) {
        if (!number) return {false, clause.cell + " holds no number" + (text.empty() ? std::string() : " but \"" + text + "\"")};
        if (!compareNumbers(*number, Compare::Equal, clause.value.number))
            return {false, clause.cell + " holds " + numberText(*number)};
        return {true, {}};
    }
    if (number) text = numberText(*number);
    if (text != clause.value.text) return {false, clause.cell + " holds \"" + text + "\""};
    return {true, {}};
}

}  // namespace tovren::grading
