// tovren-tool bank SOURCE OUT: reading and checking the source, then writing the server folder.
#include "bank_runner.h"

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <random>
#include <set>
#include <span>
#include <sstream>

#include "catalogue/catalogue.h"
#include "catalogue/ini.h"
#include "check_review.h"
#include "fetch/entry_name.h"
#include "fetch/extract.h"
#include "grading/grader.h"
#include "platform/text.h"
#include "tool_common.h"
#include "zip/zip_writer.h"

namespace tovren::tool {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view kRequirementsFile = "requirements.txt";
// A question's automatic checks, one per requirement line, and its solved copy: neither is
// packaged.
constexpr std::string_view kChecksFile = "checks.txt";
constexpr std::string_view kAnswerFolder = "answer";
constexpr std::string_view kHelpFile = "ITHelp.chm";
constexpr std::string_view kServerFolder = "Kavrel";
constexpr std::string_view kPartSuffix = ".part";
constexpr size_t kMostEntries = 65535;         // the ZIP end record counts entries in 16 bits
constexpr size_t kLargestPackage = INT32_MAX;  // the client refuses a longer Content-Length
constexpr size_t kLongestPath = 259;           // what Windows unpacks without long-path support

fs::path pathOf(std::string_view utf8) {
    return fs::path(std::u8string(utf8.begin(), utf8.end()));
}

std::string lowerAscii(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c | 0x20);
    return text;
}

// The GBK form of a text, when every character has one that reads back the same.
std::optional<std::string> exactGbk(std::string_view utf8) {
    std::optional<std::string> gbk = platform::utf8ToGbk(utf8);
    if (!gbk || platform::gbkToUtf8(*gbk) != utf8) return std::nullopt;
    return gbk;
}

// The first character of a UTF-8 text that has no GBK form (the text must be valid UTF-8).
std::string firstCharacterWithoutGbk(std::string_view utf8) {
    for (size_t i = 0; i < utf8.size();) {
        size_t length = 1;
        unsigned char lead = static_cast<unsigned char>(utf8[i]);
        if (lead >= 0xF0)
            length = 4;
        else if (lead >= 0xE0)
            length = 3;
        else if (lead >= 0xC0)
            length = 2;
        std::string_view character = utf8.substr(i, length);
        if (!exactGbk(character)) return std::string(character);
        i += length;
    }
    return {};
}

bool hasControlCharacter(std::string_view text) {
    return std::any_of(text.begin(), text.end(), [](char c) {
        unsigned char u = static_cast<unsigned char>(c);
        return (u < 0x20 && u != '\t') || u == 0x7F;
    });
}

// "Word-3" -> Word, 3: a type of the list, a dash, a plain decimal number from 1.
std::optional<std::pair<std::string, int>> questionFolderName(std::string_view name) {
    size_t dash = name.rfind('-');
    if (dash == std::string_view::npos) return std::nullopt;
    std::string_view type = name.substr(0, dash), digits = name.substr(dash + 1);
    auto types = questionTypes();
    if (std::find(types.begin(), types.end(), type) == types.end()) return std::nullopt;
    if (digits.empty() || digits.size() > 4 || digits[0] == '0') return std::nullopt;
    int number = 0;
    for (char c : digits) {
        if (c < '0' || c > '9') return std::nullopt;
        number = number * 10 + (c - '0');
    }
    return std::make_pair(std::string(type), number);
}

struct PackageEntry {
    std::string relative;  // UTF-8, "/"-separated
    std::string storedName;
    uint16_t flags = 0;
    bool folder = false;
    fs::path path;
};

struct Question {
    std::string type;
    int number = 0;
    fs::path folder;
    std::vector<std::string> requirements;  // UTF-8
    std::vector<PackageEntry> entries;
    std::vector<std::string> checks;  // UTF-8, one per requirement line; empty: no check
    std::optional<fs::path> answer;

    std::string name() const { return type + "-" + std::to_string(number); }
};

struct PendingFile {
    fs::path temporary, target;
    std::string line;  // what is printed once the file stands under its final name
};

class BankBuilder {
  public:
    BankBuilder(std::FILE* out, std::FILE* err) : out_(out), err_(err) {}

    int run(const fs::path& source, const fs::path& outFolder);

  private:
    bool refuse(std::string message) {
        problem_ = std::move(message);
        return false;
    }
    bool listFolder(const fs::path& folder, std::vector<fs::directory_entry>& children);
    bool readSource(const fs::path& source);
    bool readRequirements(Question& question);
    bool readChecks(Question& question);
    bool tryChecks(const Question& question, const fs::path& package);
    bool readEntries(Question& question, const fs::path& folder, const std::string& prefix);
    bool checkEntryName(const Question& question, const std::string& relative,
                        const std::string& name);
    std::optional<std::string> catalogueBytes();
    bool readBytes(const fs::path& file, std::string& bytes);
    // A UTF-8 text file (a byte-order mark allowed) as lines without their ends, trailing
    // empty lines dropped.
    bool readTextLines(const fs::path& file, const std::string& where,
                       std::vector<std::string>& lines);
    bool writeTemporary(const fs::path& target, std::string_view bytes, std::string line);
    bool writePackage(const Question& question, const fs::path& folder);
    bool writeAll(const fs::path& folder, const std::string& catalogue);
    void removeTemporaries();
    void noteStrayPackages(const fs::path& folder) const;

    std::FILE* out_;
    std::FILE* err_;
    std::string problem_;
    std::vector<Question> questions_;
    std::optional<fs::path> help_;
    std::vector<PendingFile> pending_;
};

bool BankBuilder::listFolder(const fs::path& folder, std::vector<fs::directory_entry>& children) {
    std::error_code error;
    fs::directory_iterator it(folder, error);
    for (; !error && it != fs::directory_iterator(); it.increment(error)) children.push_back(*it);
    if (error) return refuse("cannot read the folder " + utf8Of(folder) + ": " + error.message());
    // Sorted by name: the same source makes the same archive.
    std::sort(children.begin(), children.end(), [](const auto& a, const auto& b) {
        return a.path().filename() < b.path().filename();
    });
    return true;
}

bool BankBuilder::readSource(const fs::path& source) {
    std::vector<fs::directory_entry> children;
    if (!listFolder(source, children)) return false;
    std::map<std::string, std::map<int, Question>> byType;
    for (const fs::directory_entry& child : children) {
        const std::string name = utf8Of(child.path().filename());
        std::error_code error;
        if (!child.is_directory(error)) {
            if (name == kHelpFile && child.is_regular_file(error))
                help_ = child.path();
            else
                std::fprintf(
                    err_,
                    "tovren-tool bank: %s is left out: only question folders and %s are used\n",
                    name.c_str(), std::string(kHelpFile).c_str());
            continue;
        }
        auto parsed = questionFolderName(name);
        if (!parsed)
            return refuse(
                "\"" + name +
                "\" is not a question folder: name it Type-N, with Type one of Word, "
                "Excel, PowerPoint, FrontPage, Flash, PhotoShop, Windows and N a number from 1");
        Question question{parsed->first, parsed->second, child.path(), {}, {}, {}, {}};
        if (!readRequirements(question) || !readChecks(question) ||
            !readEntries(question, question.folder, ""))
            return false;
        if (question.entries.empty())
            return refuse(name +
                          " holds no exercise file: the client cannot unpack an empty package");
        if (question.entries.size() > kMostEntries)
            return refuse(name + " holds more than " + std::to_string(kMostEntries) +
                          " files and folders");
        byType[question.type].emplace(question.number, std::move(question));
    }
    for (std::string_view type : questionTypes()) {
        auto found = byType.find(std::string(type));
        if (found == byType.end()) continue;
        int expected = 1;
        for (auto& [number, question] : found->second) {
            if (number != expected)
                return refuse(
                    std::string(type) + "-" + std::to_string(expected) +
                    " is missing: the questions of a type are numbered 1, 2, 3, ... without gaps");
            if (number > catalogue::kMostQuestions)
                return refuse(std::string(type) + " has more than " +
                              std::to_string(catalogue::kMostQuestions) + " questions");
            ++expected;
            questions_.push_back(std::move(question));
        }
    }
    if (questions_.empty()) return refuse("no question folder in " + utf8Of(source));
    return true;
}

bool BankBuilder::readTextLines(const fs::path& file, const std::string& where,
                                std::vector<std::string>& lines) {
    std::string text;
    if (!readBytes(file, text)) return false;
    if (text.starts_with(catalogue::kUtf8ByteOrderMark))
        text.erase(0, catalogue::kUtf8ByteOrderMark.size());
    if (!platform::isValidUtf8(text)) return refuse(where + " is not UTF-8 text");
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
    while (!lines.empty() && lines.back().empty()) lines.pop_back();
    return true;
}

bool BankBuilder::readRequirements(Question& question) {
    const std::string where = question.name() + "/" + std::string(kRequirementsFile);
    const fs::path file = question.folder / pathOf(kRequirementsFile);
    std::error_code error;
    if (!fs::is_regular_file(file, error))
        return refuse(where + " is missing: one requirement per line");
    std::vector<std::string> lines;
    if (!readTextLines(file, where, lines)) return false;
    if (lines.empty()) return refuse(where + " holds no requirement");
    for (size_t i = 0; i < lines.size(); ++i) {
        const std::string at = where + " line " + std::to_string(i + 1) + ": ";
        if (lines[i].find('~') != std::string::npos)
            return refuse(
                at + "\"~\" separates the requirements in the catalogue and cannot be part of one");
        if (hasControlCharacter(lines[i])) return refuse(at + "a control character");
        if (!exactGbk(lines[i]))
            return refuse(at + "\"" + firstCharacterWithoutGbk(lines[i]) +
                          "\" has no GBK form, so the client cannot show it");
    }
    question.requirements = std::move(lines);
    return true;
}

bool BankBuilder::readChecks(Question& question) {
    const std::string where = question.name() + "/" + std::string(kChecksFile);
    std::error_code error;
    const fs::path answer = question.folder / pathOf(kAnswerFolder);
    if (fs::is_directory(answer, error)) question.answer = answer;
    const fs::path file = question.folder / pathOf(kChecksFile);
    if (!fs::is_regular_file(file, error)) {
        if (question.answer)
            std::fprintf(err_, "tovren-tool bank: %s has an answer/ folder but no %s\n",
                         question.name().c_str(), std::string(kChecksFile).c_str());
        return true;
    }
    std::vector<std::string> lines;
    if (!readTextLines(file, where, lines)) return false;
    if (lines.size() > question.requirements.size())
        return refuse(where + " has " + std::to_string(lines.size()) + " lines for " +
                      std::to_string(question.requirements.size()) +
                      " requirements: the n-th line checks the n-th requirement");
    for (size_t i = 0; i < lines.size(); ++i) {
        const std::string at = where + " line " + std::to_string(i + 1) + ": ";
        if (lines[i].find('~') != std::string::npos)
            return refuse(at +
                          "\"~\" separates the checks in the catalogue and cannot be part of one");
        if (hasControlCharacter(lines[i])) return refuse(at + "a control character");
        if (!exactGbk(lines[i]))
            return refuse(at + "\"" + firstCharacterWithoutGbk(lines[i]) + "\" has no GBK form");
        grading::ParsedCheck parsed = grading::parseCheck(lines[i]);
        if (!parsed.check && !parsed.error.empty()) return refuse(at + parsed.error);
        if (!parsed.check) lines[i].clear();  // a blank line: no check
    }
    question.checks = std::move(lines);
    return true;
}

// Unpacks the package as the client does and runs the checks on it and on the answer.
bool BankBuilder::tryChecks(const Question& question, const fs::path& package) {
    bool any = false;
    for (const std::string& c : question.checks) any = any || !c.empty();
    if (!any) return true;
    std::error_code error;
    // In the system's temporary folder, never beside what the server serves.
    const fs::path scratch =
        fs::temp_directory_path(error) /
        pathOf("tovren-bank-" + std::to_string(std::random_device{}()) + "-" + question.name());
    fs::remove_all(scratch, error);
    fs::create_directories(scratch, error);
    const fs::path unpacked = scratch / pathOf(question.name());
    int32_t result = fetch::extractAll(utf8Of(package), utf8Of(unpacked));
    std::optional<std::string> answer;
    if (question.answer) answer = utf8Of(*question.answer);
    CheckReview review = result == fetch::kExtractDone
                             ? reviewChecks(question.requirements, question.checks,
                                            utf8Of(unpacked), utf8Of(package), answer, true)
                             : CheckReview{{"the package does not unpack"}, {}};
    fs::remove_all(scratch, error);
    for (const std::string& w : review.warnings)
        std::fprintf(err_, "tovren-tool bank: %s %s\n", question.name().c_str(), w.c_str());
    if (!review.problems.empty()) return refuse(question.name() + " " + review.problems.front());
    return true;
}

bool BankBuilder::checkEntryName(const Question& question, const std::string& relative,
                                 const std::string& name) {
    const std::string where = question.name() + "/" + relative;
    if (!platform::isValidUtf8(name))
        return refuse(where + ": the name is not UTF-8, so it cannot be encoded");
    if (name.back() == '.' || name.back() == ' ')
        return refuse(where + ": Windows drops a name's trailing dot or blank");
    std::optional<std::vector<std::string>> segments = fetch::safeSegments(relative);
    if (!segments || segments->size() !=
                         static_cast<size_t>(std::count(relative.begin(), relative.end(), '/') + 1))
        return refuse(where +
                      ": not a name the client unpacks (a reserved name such as CON or NUL, or one "
                      "of \\ : * ? \" < > | or a control character)");
    const std::string unpacked = "c:\\Kavrel\\" + question.name() + "\\" + relative;
    if (platform::utf8ToUtf16(unpacked).size() > kLongestPath)
        return refuse(where + ": unpacked as " + unpacked + " the path is longer than " +
                      std::to_string(kLongestPath) + " characters");
    return true;
}

bool BankBuilder::readEntries(Question& question, const fs::path& folder,
                              const std::string& prefix) {
    std::vector<fs::directory_entry> children;
    if (!listFolder(folder, children)) return false;
    std::set<std::string> seen;  // names as Windows compares them
    for (const fs::directory_entry& child : children) {
        const std::string name = utf8Of(child.path().filename());
        const std::string relative = prefix.empty() ? name : prefix + "/" + name;
        std::error_code error;
        const fs::file_status status = child.symlink_status(error);
        if (prefix.empty() && name == kRequirementsFile && fs::is_regular_file(status)) continue;
        if (prefix.empty() && name == kChecksFile && fs::is_regular_file(status)) continue;
        if (prefix.empty() && name == kAnswerFolder && fs::is_directory(status)) continue;
        if (!checkEntryName(question, relative, name)) return false;
        if (!seen.insert(lowerAscii(name)).second)
            return refuse(
                question.name() + "/" + relative +
                ": another name in its folder differs only in case; Windows keeps one of them");
        PackageEntry entry{relative, {}, 0, false, child.path()};
        if (std::optional<std::string> gbk = exactGbk(relative)) {
            entry.storedName = *gbk;
        } else {
            entry.storedName = relative;  // the client reads a name flagged UTF-8 as UTF-8
            entry.flags = zip::kUtf8Flag;
        }
        if (fs::is_symlink(status))
            return refuse(question.name() + "/" + relative +
                          " is a symbolic link: copy the file itself");
        if (fs::is_directory(status)) {
            entry.folder = true;
            entry.storedName += '/';
            question.entries.push_back(std::move(entry));
            if (!readEntries(question, child.path(), relative)) return false;
        } else if (fs::is_regular_file(status)) {
            question.entries.push_back(std::move(entry));
        } else {
            return refuse(question.name() + "/" + relative + " is not a plain file or folder");
        }
    }
    return true;
}

// A value loses its surrounding blanks and one pair of surrounding quotes when it is read, so a
// value that has either is written inside one more pair of quotes.
std::string iniValue(const std::string& value) {
    if (value.empty()) return value;
    auto blank = [](char c) { return c == ' ' || c == '\t'; };
    bool quoted = value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
                  value.back() == value.front();
    if (quoted || blank(value.front()) || blank(value.back())) return "\"" + value + "\"";
    return value;
}

std::optional<std::string> BankBuilder::catalogueBytes() {
    std::map<std::string, int> counts;
    for (const Question& q : questions_) counts[q.type] = std::max(counts[q.type], q.number);
    std::string text = "[" + std::string(catalogue::kCountSection) + "]\r\n";
    for (std::string_view type : questionTypes())
        text += std::string(type) + "题数量=" + std::to_string(counts[std::string(type)]) + "\r\n";
    text += "\r\n[" + std::string(catalogue::kRequirementSection) + "]\r\n";
    for (const Question& q : questions_) {
        std::string value;
        for (size_t i = 0; i < q.requirements.size(); ++i)
            value += (i ? "~" : "") + q.requirements[i];
        const size_t bytes = exactGbk(value).value_or("").size();
        if (bytes > catalogue::kValueLimit) {
            refuse(q.name() + ": the requirements take " + std::to_string(bytes) +
                   " bytes in GBK, more than the " + std::to_string(catalogue::kValueLimit) +
                   " the client reads");
            return std::nullopt;
        }
        text += q.type + "第" + std::to_string(q.number) + "题=" + iniValue(value) + "\r\n";
    }
    // The checks, only where a question has any; clients that know no checks skip the section.
    std::string checks;
    for (const Question& q : questions_) {
        std::string value;
        bool any = false;
        for (size_t i = 0; i < q.checks.size(); ++i) {
            value += (i ? "~" : "") + q.checks[i];
            any = any || !q.checks[i].empty();
        }
        if (!any) continue;
        const size_t bytes = exactGbk(value).value_or("").size();
        if (bytes > catalogue::kValueLimit) {
            refuse(q.name() + ": the checks take " + std::to_string(bytes) +
                   " bytes in GBK, more than the " + std::to_string(catalogue::kValueLimit) +
                   " the client reads");
            return std::nullopt;
        }
        checks += q.type + "第" + std::to_string(q.number) + "题=" + iniValue(value) + "\r\n";
    }
    if (!checks.empty()) text += "\r\n[" + std::string(grading::kCheckSection) + "]\r\n" + checks;
    std::optional<std::string> gbk = exactGbk(text);
    if (!gbk) refuse("the catalogue has no GBK form");
    return gbk;
}

bool BankBuilder::readBytes(const fs::path& file, std::string& bytes) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream content;
    if (in) content << in.rdbuf();
    if (!in || in.bad()) return refuse("cannot read " + utf8Of(file));
    bytes = std::move(content).str();
    return true;
}

bool BankBuilder::writeTemporary(const fs::path& target, std::string_view bytes, std::string line) {
    fs::path temporary = target;
    temporary += std::string(kPartSuffix);
    pending_.push_back({temporary, target, std::move(line)});
    std::ofstream file(temporary, std::ios::binary | std::ios::trunc);
    file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    file.close();
    if (!file) return refuse("cannot write " + utf8Of(temporary));
    return true;
}

bool BankBuilder::writePackage(const Question& question, const fs::path& folder) {
    std::vector<zip::ZipEntry> entries;
    for (const PackageEntry& source : question.entries) {
        zip::ZipEntry entry;
        entry.name = source.storedName;
        entry.flags = source.flags;
        if (source.folder) {
            entry.method = zip::kStored;
            entry.externalAttributes = zip::kDosFolder;
        } else {
            if (!readBytes(source.path, entry.data)) return false;
            // Pictures and Office files are compressed already: those are stored as they are.
            std::string deflated = zip::deflateRaw(entry.data);
            if (deflated.size() < entry.data.size())
                entry.compressed = std::move(deflated);
            else
                entry.method = zip::kStored;
        }
        entries.push_back(std::move(entry));
    }
    const std::string archive = zip::zipArchive(entries);
    const std::string name = question.name() + ".zip";
    if (archive.size() > kLargestPackage)
        return refuse(name + " would take " + std::to_string(archive.size()) +
                      " bytes, more than a package may (2 GiB)");
    return writeTemporary(folder / pathOf(name), archive,
                          name + "\t" + std::to_string(archive.size()) + " bytes\t" +
                              std::to_string(entries.size()) + " entries\t" +
                              std::to_string(question.requirements.size()) + " requirements");
}

bool BankBuilder::writeAll(const fs::path& folder, const std::string& catalogue) {
    for (const Question& question : questions_)
        if (!writePackage(question, folder) || !tryChecks(question, pending_.back().temporary))
            return false;
    if (help_) {
        std::string help;
        if (!readBytes(*help_, help)) return false;
        if (!help.starts_with("ITSF"))
            std::fprintf(
                err_,
                "tovren-tool bank: %s is no compiled help file (it does not begin with ITSF)\n",
                std::string(kHelpFile).c_str());
        if (!writeTemporary(folder / pathOf(kHelpFile), help,
                            std::string(kHelpFile) + "\t" + std::to_string(help.size()) + " bytes"))
            return false;
    }
    // The catalogue last: a server being rebuilt never lists a question before its package.
    if (!writeTemporary(folder / "config.txt", catalogue,
                        "config.txt\t" + std::to_string(questions_.size()) + " questions"))
        return false;
    for (PendingFile& file : pending_) {
        std::error_code error;
        fs::rename(file.temporary, file.target, error);
        if (error) return refuse("cannot write " + utf8Of(file.target) + ": " + error.message());
        file.temporary.clear();
        std::fprintf(out_, "%s\n", file.line.c_str());
    }
    return true;
}

void BankBuilder::removeTemporaries() {
    for (const PendingFile& file : pending_) {
        std::error_code ignored;
        if (!file.temporary.empty()) fs::remove(file.temporary, ignored);
    }
}

// Packages of an earlier build that this bank does not have stay on the server; say so.
void BankBuilder::noteStrayPackages(const fs::path& folder) const {
    std::set<std::string> written;
    for (const Question& q : questions_) written.insert(q.name() + ".zip");
    std::error_code error;
    for (fs::directory_iterator it(folder, error); !error && it != fs::directory_iterator();
         it.increment(error)) {
        std::string name = utf8Of(it->path().filename());
        if (!name.ends_with(".zip") || written.contains(name)) continue;
        if (questionFolderName(std::string_view(name).substr(0, name.size() - 4)))
            std::fprintf(err_, "tovren-tool bank: %s is left from an earlier bank; remove it\n",
                         name.c_str());
    }
}

int BankBuilder::run(const fs::path& source, const fs::path& outFolder) {
    std::error_code error;
    if (!fs::is_directory(source, error)) {
        std::fprintf(err_, "tovren-tool bank: no folder %s\n", utf8Of(source).c_str());
        return 1;
    }
    // Every check comes before the first write.
    std::optional<std::string> catalogue;
    if (readSource(source)) catalogue = catalogueBytes();
    if (!catalogue) {
        std::fprintf(err_, "tovren-tool bank: %s\n", problem_.c_str());
        return 1;
    }
    const fs::path folder = outFolder / pathOf(kServerFolder);
    const bool outExisted = fs::exists(outFolder, error), folderExisted = fs::exists(folder, error);
    fs::create_directories(folder, error);
    if (error) {
        std::fprintf(err_, "tovren-tool bank: cannot make %s: %s\n", utf8Of(folder).c_str(),
                     error.message().c_str());
        return 1;
    }
    if (!writeAll(folder, *catalogue)) {
        removeTemporaries();
        if (!folderExisted) fs::remove(folder, error);  // only when empty
        if (!outExisted) fs::remove(outFolder, error);
        std::fprintf(err_, "tovren-tool bank: %s\n", problem_.c_str());
        return 1;
    }
    noteStrayPackages(folder);
    return std::fflush(out_) == 0 ? 0 : 1;
}

}  // namespace

int buildBank(const Arguments& args, std::FILE* out, std::FILE* err, std::string& usageMessage) {
    if (args.size() != 2) {
        usageMessage = "bank takes SOURCE and OUT";
        return kUsageError;
    }
    return BankBuilder(out, err).run(pathOf(args[0]), pathOf(args[1]));
}

}  // namespace tovren::tool
