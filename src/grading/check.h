#pragma once
// One requirement line's automatic check, as a teacher writes it in the catalogue, and its
// parsed form. A check is one or more clauses separated by ";", every one of which must hold.
// Paths are relative to the question's folder.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tovren::grading {

enum class Kind {
    Exists,     // exists PATH
    Absent,     // absent PATH
    Folder,     // folder PATH
    Hidden,     // hidden PATH
    ReadOnly,   // readonly PATH
    Same,       // same PATH ENTRY          the file holds exactly the package entry's bytes
    Size,       // size PATH OP BYTES
    Cell,       // cell PATH [SHEET!]REF = VALUE
    Formula,    // formula PATH [SHEET!]REF [= "FORMULA"]
    Sheet,      // sheet PATH N = "NAME"
    Slides,     // slides PATH OP N
    Title,      // title PATH N = "TEXT"
    Paragraph,  // para PATH "TEXT" PROPERTY = VALUE
};

enum class Compare { Equal, Less, Greater, LessEqual, GreaterEqual };

enum class Property { ChineseFont, LatinFont, Size, Bold, Italic, Underline, Align, Indent };

struct Value {
    bool isNumber = false;
    double number = 0;
    std::string text;  // the text as written (for numbers too)
};

struct Clause {
    Kind kind = Kind::Exists;
    std::string path;   // relative, "\" separators
    std::string entry;  // Same: the package entry, "/" separators
    std::string sheet;  // Cell, Formula: empty for the first sheet
    std::string cell;   // Cell, Formula: "B3", upper case
    int index = 0;      // Sheet, Title: counted from 1
    std::string text;   // Paragraph: the text the paragraph contains
    Property property = Property::Bold;
    Compare compare = Compare::Equal;
    bool hasValue = false;  // Formula: whether the formula's text is given
    Value value;
};

struct Check {
    std::vector<Clause> clauses;
};

struct ParsedCheck {
    std::optional<Check> check;  // nothing when the text is malformed
    std::string error;           // why, in a sentence, when it is
};

// Parses one check (UTF-8). Empty or blank text is no check: neither a check nor an error.
ParsedCheck parseCheck(std::string_view text);

// Points for a Chinese size name ("二号" 22, "小四" 12); nothing for any other text.
std::optional<double> chineseSizePoints(std::string_view name);

}  // namespace tovren::grading
