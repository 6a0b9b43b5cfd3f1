#include <cmath>
#include <cstdlib>
#include <utility>

#include "grading/check.h"

namespace tovren::grading {
namespace {

struct Token {
    std::string text;
    bool quoted = false;
};

// Curly quotes and the full-width semicolon are what a Chinese input method types.
constexpr std::string_view kOpenCurly = "\xE2\x80\x9C", kCloseCurly = "\xE2\x80\x9D";
constexpr std::string_view kFullSemicolon = "\xEF\xBC\x9B", kIdeographicSpace = "\xE3\x80\x80";

bool startsWith(std::string_view s, size_t at, std::string_view prefix) {
    return s.substr(at, prefix.size()) == prefix;
}

// Splits into words: blanks separate, "..." (or curly quotes) hold blanks, `""` inside quotes
// is one quote; "=", "<", ">", "<=", ">=" and ";" are words of their own.
std::optional<std::vector<Token>> tokenize(std::string_view s, std::string& error) {
    std::vector<Token> tokens;
    size_t i = 0;
    while (i < s.size()) {
        char c = s[i];
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
            ++i;
            continue;
        }
        if (startsWith(s, i, kIdeographicSpace)) {
            i += kIdeographicSpace.size();
            continue;
        }
        if (c == ';' || startsWith(s, i, kFullSemicolon)) {
            tokens.push_back({";", false});
            i += c == ';' ? 1 : kFullSemicolon.size();
            continue;
        }
        if (c == '=' || c == '<' || c == '>') {
            std::string op(1, c);
            if (c != '=' && i + 1 < s.size() && s[i + 1] == '=') op += '=';
            tokens.push_back({op, false});
            i += op.size();
            continue;
        }
        if (c == '"' || startsWith(s, i, kOpenCurly)) {
            bool curly = c != '"';
            i += curly ? kOpenCurly.size() : 1;
            Token t{"", true};
            bool closed = false;
            while (i < s.size()) {
                if (!curly && s[i] == '"') {
                    if (i + 1 < s.size() && s[i + 1] == '"') {
                        t.text += '"';
                        i += 2;
                        continue;
                    }
                    ++i;
                    closed = true;
                    break;
                }
                if (curly && startsWith(s, i, kCloseCurly)) {
                    i += kCloseCurly.size();
                    closed = true;
                    break;
                }
                t.text += s[i++];
            }
            if (!closed) {
                error = "a quoted text has no closing quote";
                return std::nullopt;
            }
            tokens.push_back(std::move(t));
            continue;
        }
        Token t;
        while (i < s.size() && s[i] != ' ' && s[i] != '\t' && s[i] != '\r' && s[i] != '\n' &&
               s[i] != ';' && s[i] != '=' && s[i] != '<' && s[i] != '>' && s[i] != '"' &&
               !startsWith(s, i, kIdeographicSpace) && !startsWith(s, i, kFullSemicolon) &&
               !startsWith(s, i, kOpenCurly))
            t.text += s[i++];
        tokens.push_back(std::move(t));
    }
    return tokens;
}

std::optional<double> parseNumber(std::string_view text) {
    if (text.empty() || text.size() > 40) return std::nullopt;
    std::string s(text);
    char* end = nullptr;
    double v = std::strtod(s.c_str(), &end);
    if (end != s.c_str() + s.size() || !std::isfinite(v)) return std::nullopt;
    // strtod also reads "inf", "nan" and hexadecimal forms; a teacher writes plain decimals.
    for (char c : s)
        if (!(c >= '0' && c <= '9') && c != '.' && c != '-' && c != '+' && c != 'e' && c != 'E')
            return std::nullopt;
    return v;
}

// A path inside the question's folder: relative, no "..", no drive, no wildcard.
std::optional<std::string> relativePath(std::string_view text, std::string& error) {
    std::string path;
    for (char c : text) path += c == '/' ? '\\' : c;
    while (path.size() > 1 && path.back() == '\\') path.pop_back();
    if (path.empty()) {
        error = "a path is empty";
        return std::nullopt;
    }
    if (path[0] == '\\' || path.find(':') != std::string::npos) {
        error = "the path \"" + std::string(text) + "\" is not inside the question's folder (write it relative, without a drive)";
        return std::nullopt;
    }
    if (path.find_first_of("*?<>|\"") != std::string::npos) {
        error = "the path \"" + std::string(text) + "\" holds a character no file name has";
        return std::nullopt;
    }
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = path.find('\\', start);
        if (end == std::string::npos) end = path.size();
        std::string_view segment(path.data() + start, end - start);
        if (segment == "..") {
            error = "the path \"" + std::string(text) + "\" leaves the question's folder (\"..\")";
            return std::nullopt;
        }
        if (segment.empty()) {
            error = "the path \"" + std::string(text) + "\" has an empty part";
            return std::nullopt;
        }
        start = end + 1;
    }
    return path;
}

bool isCellReference(std::string_view ref) {
    size_t i = 0, letters = 0, digits = 0;
    while (i < ref.size() && ((ref[i] >= 'A' && ref[i] <= 'Z') || (ref[i] >= 'a' && ref[i] <= 'z'))) ++i, ++letters;
    while (i < ref.size() && ref[i] >= '0' && ref[i] <= '9') ++i, ++digits;
    return i == ref.size() && letters >= 1 && letters <= 3 && digits >= 1 && digits <= 7 && ref[letters] != '0';
}

std::string upper(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return out;
}

struct PropertyName {
    std::string_view english, chinese;
    Property property;
};
constexpr PropertyName kProperties[] = {
    {"font-cn", "中文字体", Property::ChineseFont}, {"font-latin", "西文字体", Property::LatinFont},
    {"size", "字号", Property::Size},                {"bold", "加粗", Property::Bold},
    {"italic", "倾斜", Property::Italic},            {"underline", "下划线", Property::Underline},
    {"align", "对齐", Property::Align},              {"indent", "首行缩进", Property::Indent},
};

struct AlignName {
    std::string_view name, value;
};
constexpr AlignName kAlignments[] = {
    {"left", "left"},       {"左对齐", "left"},         {"center", "center"},
    {"居中", "center"},     {"right", "right"},         {"右对齐", "right"},
    {"justify", "justify"}, {"两端对齐", "justify"},    {"distribute", "distribute"},
    {"分散对齐", "distribute"},
};

struct SizeName {
    std::string_view name;
    double points;
};
constexpr SizeName kChineseSizes[] = {
    {"初号", 42}, {"小初", 36}, {"一号", 26}, {"小一", 24},  {"二号", 22}, {"小二", 18},
    {"三号", 16}, {"小三", 15}, {"四号", 14}, {"小四", 12},  {"五号", 10.5}, {"小五", 9},
    {"六号", 7.5}, {"小六", 6.5}, {"七号", 5.5}, {"八号", 5},
};

std::optional<bool> yesNo(std::string_view text) {
    std::string t = upper(text);
    if (t == "YES" || t == "TRUE" || text == "是") return true;
    if (t == "NO" || t == "FALSE" || text == "否") return false;
    return std::nullopt;
}

class ClauseParser {
  public:
    explicit ClauseParser(std::vector<Token> tokens) : tokens_(std::move(tokens)) {}

    std::optional<Clause> parse(std::string& error) {
        if (at_ >= tokens_.size()) return fail(error, "a check is empty");
        const std::string keyword = tokens_[at_++].text;
        Clause c;
        static constexpr std::pair<std::string_view, Kind> kinds[] = {
            {"exists", Kind::Exists}, {"absent", Kind::Absent},     {"folder", Kind::Folder},
            {"hidden", Kind::Hidden}, {"readonly", Kind::ReadOnly}, {"same", Kind::Same},
            {"size", Kind::Size},     {"cell", Kind::Cell},         {"formula", Kind::Formula},
            {"sheet", Kind::Sheet},   {"slides", Kind::Slides},     {"title", Kind::Title},
            {"para", Kind::Paragraph},
        };
        bool known = false;
        for (const auto& [name, kind] : kinds)
            if (keyword == name) c.kind = kind, known = true;
        if (!known)
            return fail(error, "unknown check \"" + keyword +
                                   "\" (one of exists, absent, folder, hidden, readonly, same, size, "
                                   "cell, formula, sheet, slides, title, para)");
        auto path = word("a path after \"" + keyword + "\"", error);
        if (!path) return std::nullopt;
        auto relative = relativePath(*path, error);
        if (!relative) return std::nullopt;
        c.path = *relative;
        switch (c.kind) {
            case Kind::Exists:
            case Kind::Absent:
            case Kind::Folder:
            case Kind::Hidden:
            case Kind::ReadOnly:
                break;
            case Kind::Same: {
                auto entry = word("the package file after \"same " + *path + "\"", error);
                if (!entry) return std::nullopt;
                auto entryPath = relativePath(*entry, error);
                if (!entryPath) return std::nullopt;
                for (char ch : *entryPath) c.entry += ch == '\\' ? '/' : ch;
                break;
            }
            case Kind::Size:
            case Kind::Slides: {
                if (!comparison(c.compare, error)) return std::nullopt;
                auto n = word("a number", error);
                if (!n) return std::nullopt;
                auto v = parseNumber(*n);
                if (!v || *v < 0 || *v != std::floor(*v))
                    return fail(error, "\"" + *n + "\" is no whole number");
                c.value = {true, *v, *n};
                c.hasValue = true;
                break;
            }
            case Kind::Cell:
            case Kind::Formula: {
                auto ref = word("a cell such as A1 or Sheet1!A1", error);
                if (!ref) return std::nullopt;
                size_t bang = ref->rfind('!');
                std::string cell = bang == std::string::npos ? *ref : ref->substr(bang + 1);
                if (bang != std::string::npos) {
                    c.sheet = ref->substr(0, bang);
                    if (c.sheet.size() >= 2 && c.sheet.front() == '\'' && c.sheet.back() == '\'')
                        c.sheet = c.sheet.substr(1, c.sheet.size() - 2);
                    if (c.sheet.empty()) return fail(error, "the sheet before \"!\" is empty");
                }
                if (!isCellReference(cell))
                    return fail(error, "\"" + cell + "\" is no cell such as A1");
                c.cell = upper(cell);
                if (c.kind == Kind::Formula && (at_ >= tokens_.size() || tokens_[at_].text == ";"))
                    break;
                if (!equals(error)) return std::nullopt;
                auto value = valueToken(error);
                if (!value) return std::nullopt;
                c.value.text = value->text;
                if (c.kind == Kind::Cell && !value->quoted) {
                    auto v = parseNumber(value->text);
                    if (v) c.value.isNumber = true, c.value.number = *v;
                }
                c.hasValue = true;
                break;
            }
            case Kind::Sheet:
            case Kind::Title: {
                auto n = word("a number (1 for the first)", error);
                if (!n) return std::nullopt;
                auto v = parseNumber(*n);
                if (!v || *v < 1 || *v > 100000 || *v != std::floor(*v))
                    return fail(error, "\"" + *n + "\" is no number counted from 1");
                c.index = static_cast<int>(*v);
                if (!equals(error)) return std::nullopt;
                auto value = valueToken(error);
                if (!value) return std::nullopt;
                c.value.text = value->text;
                c.hasValue = true;
                break;
            }
            case Kind::Paragraph: {
                auto text = word("the text the paragraph contains", error);
                if (!text) return std::nullopt;
                if (text->empty()) return fail(error, "the paragraph's text is empty");
                c.text = *text;
                auto name = word("a property (font-cn, font-latin, size, bold, italic, underline, align, indent)", error);
                if (!name) return std::nullopt;
                bool found = false;
                for (const auto& p : kProperties)
                    if (*name == p.english || *name == p.chinese) c.property = p.property, found = true;
                if (!found)
                    return fail(error, "unknown property \"" + *name +
                                           "\" (font-cn, font-latin, size, bold, italic, underline, align, indent)");
                if (!equals(error)) return std::nullopt;
                auto value = valueToken(error);
                if (!value) return std::nullopt;
                if (!paragraphValue(c, value->text, error)) return std::nullopt;
                c.hasValue = true;
                break;
            }
        }
        if (at_ < tokens_.size() && tokens_[at_].text != ";")
            return fail(error, "unexpected \"" + tokens_[at_].text + "\" after the check \"" + keyword + "\"");
        return c;
    }

    // Steps over a ";"; false at the end.
    bool next() {
        if (at_ < tokens_.size() && tokens_[at_].text == ";" && !tokens_[at_].quoted) ++at_;
        return at_ < tokens_.size();
    }

  private:
    std::nullopt_t fail(std::string& error, std::string why) {
        error = std::move(why);
        return std::nullopt;
    }

    std::optional<std::string> word(const std::string& what, std::string& error) {
        if (at_ >= tokens_.size() || (!tokens_[at_].quoted && isSymbol(tokens_[at_].text)))
            return fail(error, "missing " + what);
        return tokens_[at_++].text;
    }

    std::optional<Token> valueToken(std::string& error) {
        if (at_ >= tokens_.size() || (!tokens_[at_].quoted && isSymbol(tokens_[at_].text)))
            return fail(error, "missing a value after \"=\"");
        return tokens_[at_++];
    }

    static bool isSymbol(std::string_view t) {
        return t == ";" || t == "=" || t == "<" || t == ">" || t == "<=" || t == ">=";
    }

    bool equals(std::string& error) {
        if (at_ < tokens_.size() && !tokens_[at_].quoted && tokens_[at_].text == "=") {
            ++at_;
            return true;
        }
        error = "missing \"=\"";
        return false;
    }

    bool comparison(Compare& compare, std::string& error) {
        static constexpr std::pair<std::string_view, Compare> ops[] = {
            {"=", Compare::Equal},      {"<", Compare::Less},           {">", Compare::Greater},
            {"<=", Compare::LessEqual}, {">=", Compare::GreaterEqual},
        };
        if (at_ < tokens_.size() && !tokens_[at_].quoted)
            for (const auto& [text, op] : ops)
                if (tokens_[at_].text == text) {
                    compare = op;
                    ++at_;
                    return true;
                }
        error = "missing a comparison (=, <, >, <= or >=)";
        return false;
    }

    bool paragraphValue(Clause& c, const std::string& text, std::string& error) {
        c.value.text = text;
        switch (c.property) {
            case Property::ChineseFont:
            case Property::LatinFont:
                if (text.empty()) return fail(error, "the font name is empty"), false;
                return true;
            case Property::Size: {
                auto points = chineseSizePoints(text);
                if (!points) points = parseNumber(text);
                if (!points || *points <= 0 || *points > 1638)
                    return fail(error, "\"" + text + "\" is no font size (points such as 10.5, or a name such as 二号)"), false;
                c.value.isNumber = true, c.value.number = *points;
                return true;
            }
            case Property::Bold:
            case Property::Italic:
            case Property::Underline: {
                auto yes = yesNo(text);
                if (!yes) return fail(error, "\"" + text + "\" is neither yes nor no"), false;
                c.value.isNumber = true, c.value.number = *yes ? 1 : 0;
                return true;
            }
            case Property::Align:
                for (const auto& a : kAlignments)
                    if (upper(text) == upper(a.name)) {
                        c.value.text = std::string(a.value);
                        return true;
                    }
                return fail(error, "\"" + text + "\" is no alignment (left, center, right, justify, distribute)"), false;
            case Property::Indent: {
                auto chars = parseNumber(text);
                if (!chars || std::fabs(*chars) > 1000)
                    return fail(error, "\"" + text + "\" is no indent in characters"), false;
                c.value.isNumber = true, c.value.number = *chars;
                return true;
            }
        }
        return false;
    }

    std::vector<Token> tokens_;
    size_t at_ = 0;
};

}  // namespace

std::optional<double> chineseSizePoints(std::string_view name) {
    for (const auto& s : kChineseSizes)
        if (name == s.name) return s.points;
    return std::nullopt;
}

ParsedCheck parseCheck(std::string_view text) {
    ParsedCheck result;
    auto tokens = tokenize(text, result.error);
    if (!tokens) return result;
    if (tokens->empty()) return result;
    ClauseParser parser(std::move(*tokens));
    Check check;
    do {
        auto clause = parser.parse(result.error);
        if (!clause) return result;
        check.clauses.push_back(std::move(*clause));
    } while (parser.next());
    result.check = std::move(check);
    return result;
}

}  // namespace tovren::grading
