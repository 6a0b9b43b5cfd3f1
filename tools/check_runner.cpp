// tovren-tool check SERVERBASE: the catalogue, every package and the help document, fetched and
// unpacked as the client does.
#include "check_runner.h"

#include <unzip.h>

#include <charconv>
#include <filesystem>
#include <map>
#include <mutex>
#include <optional>
#include <random>
#include <span>
#include <string_view>

#include "catalogue/catalogue.h"
#include "check_review.h"
#include "grading/grader.h"
#include "catalogue/ini.h"
#include "catalogue/text_rules.h"
#include "exam/exam_layout.h"
#include "fetch/archive_file.h"
#include "fetch/download.h"
#include "fetch/extract.h"
#include "platform/files.h"
#include "platform/text.h"
#include "tool_common.h"

namespace tovren::tool {
namespace {

namespace fs = std::filesystem;

constexpr int32_t kWaitStepMs = 250;

fs::path fsPathOf(std::string_view programPath) {
    std::string native = platform::nativePath(programPath);
    return fs::path(std::u8string(native.begin(), native.end()));
}

std::string lowerAscii(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c | 0x20);
    return text;
}

// The last segment of a program path.
std::string fileNameOf(std::string_view path) {
    size_t slash = path.find_last_of("\\/");
    return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

// A fresh folder in the system's temporary folder, removed with everything in it at the end.
class ScratchFolder {
  public:
    ScratchFolder() {
        std::error_code error;
        fs::path base = fs::temp_directory_path(error);
        if (error) return;
        std::random_device random;
        for (int attempt = 0; attempt < 20 && path_.empty(); ++attempt) {
            fs::path candidate = base / ("tovren-check-" + std::to_string(random() % 1000000000u));
            if (fs::create_directory(candidate, error) && !error) {
                folder_ = candidate;
                path_ = utf8Of(candidate);
            }
        }
    }
    ~ScratchFolder() {
        std::error_code ignored;
        if (!folder_.empty()) fs::remove_all(folder_, ignored);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    // The folder as a program path; empty when none could be made.
    const std::string& path() const { return path_; }

  private:
    fs::path folder_;
    std::string path_;
};

struct Fetched {
    std::optional<std::string> path;  // the complete file
    std::string reason;               // why there is none
};

// One download task as the client runs it, waited for to its end.
class Fetcher {
  public:
    explicit Fetcher(fetch::DownloadSettings settings) : download_(settings) {}

    Fetched fetch(const std::string& url, const std::string& localPath) {
        {
            std::lock_guard lock(mutex_);
            lastLine_.clear();
            lastNetworkFailure_.clear();
        }
        fetch::TaskParam param;  // the client's values
        param.url = url;
        param.localPath = localPath;
        param.messageRoutine = [this](std::string_view line) {
            std::lock_guard lock(mutex_);
            lastLine_ = line;
            if (line.starts_with("network failure")) lastNetworkFailure_ = line;
        };
        if (!download_.addTask(param)) return {std::nullopt, "the address is refused"};
        while (!download_.waitUntilIdle(kWaitStepMs)) {
        }
        std::optional<fetch::TaskOutcome> outcome = download_.lastOutcome();
        if (outcome && outcome->end == fetch::TaskEnd::Completed) return {outcome->path, {}};
        std::lock_guard lock(mutex_);
        if (outcome && outcome->end == fetch::TaskEnd::RetriesUsedUp &&
            !lastNetworkFailure_.empty())
            return {std::nullopt, lastNetworkFailure_ + ", retries used up"};
        if (!lastLine_.empty()) return {std::nullopt, lastLine_};
        return {std::nullopt, fetch::toString(outcome ? outcome->end : fetch::TaskEnd::Failed)};
    }

  private:
    std::mutex mutex_;
    std::string lastLine_, lastNetworkFailure_;
    fetch::Download download_;  // ended first: its task reports into the members above
};

// What check reads in a package besides unpacking it.
struct ArchiveSurvey {
    uint64_t entries = 0;
    // Names written in UTF-8 that carry no UTF-8 flag (as macOS's archiver and Info-ZIP on
    // Linux write them): the client must read them as GBK.
    std::vector<std::string> unflaggedUtf8Names;
};

// Valid UTF-8 with a character of three bytes or more, as every Chinese character is. Some GBK
// names are valid UTF-8 too ("通知" is CD A8 D6 AA, two Greek and Hebrew marks), but only by
// two-byte sequences: a GBK name that reads as three-byte UTF-8 throughout is very rare.
bool looksLikeUtf8(std::string_view name) {
    if (!platform::isValidUtf8(name)) return false;
    for (char c : name)
        if (static_cast<unsigned char>(c) >= 0xE0) return true;
    return false;
}

std::optional<ArchiveSurvey> surveyArchive(const std::string& archivePath) {
    constexpr uLong kUtf8NameFlag = 1u << 11;
    zlib_filefunc64_def io;
    fetch::fillArchiveFileFunctions(&io);
    unzFile archive = unzOpen2_64(archivePath.c_str(), &io);
    if (!archive) return std::nullopt;
    std::optional<ArchiveSurvey> survey;
    unz_global_info64 global;
    if (unzGetGlobalInfo64(archive, &global) == UNZ_OK) {
        survey.emplace();
        survey->entries = global.number_entry;
        for (int status = unzGoToFirstFile(archive); status == UNZ_OK;
             status = unzGoToNextFile(archive)) {
            unz_file_info64 info;
            if (unzGetCurrentFileInfo64(archive, &info, nullptr, 0, nullptr, 0, nullptr, 0) !=
                UNZ_OK)
                break;
            std::string name(info.size_filename, '\0');
            if (!name.empty() && unzGetCurrentFileInfo64(archive, &info, name.data(),
                                                         static_cast<uLong>(name.size()), nullptr,
                                                         0, nullptr, 0) != UNZ_OK)
                break;
            if ((info.flag & kUtf8NameFlag) == 0 && looksLikeUtf8(name))
                survey->unflaggedUtf8Names.push_back(name);
        }
    }
    unzClose(archive);
    return survey;
}

struct CheckOptions {
    fetch::DownloadSettings settings{.retries = 2, .retryWaitMs = 1000};
    std::string serverBase;
};

std::optional<int32_t> wholeNumber(const std::string& text) {
    int32_t value = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value < 0) return std::nullopt;
    return value;
}

std::optional<CheckOptions> readArguments(const Arguments& args, std::string& problem) {
    CheckOptions options;
    std::vector<std::string> positional;
    for (size_t i = 0; i < args.size(); ++i) {
        int32_t* target = args[i] == "--retries"         ? &options.settings.retries
                          : args[i] == "--retry-wait-ms" ? &options.settings.retryWaitMs
                                                         : nullptr;
        if (!target && args[i].starts_with("--")) {
            problem = "unknown check option '" + args[i] + "'";
            return std::nullopt;
        }
        if (!target) {
            positional.push_back(args[i]);
            continue;
        }
        std::optional<int32_t> value =
            i + 1 < args.size() ? wholeNumber(args[i + 1]) : std::nullopt;
        if (!value) {
            problem = args[i] + " takes a whole number of at least 0";
            return std::nullopt;
        }
        *target = *value;
        ++i;
    }
    if (positional.size() != 1) {
        problem = "check takes one SERVERBASE, such as http://192.168.1.10";
        return std::nullopt;
    }
    std::string base = positional[0];
    while (base.ends_with("/")) base.pop_back();
    if (lowerAscii(base.substr(0, 7)) != "http://" || base.size() <= 7) {
        problem = "SERVERBASE must be a plain http address, such as http://192.168.1.10";
        return std::nullopt;
    }
    options.serverBase = base;
    return options;
}

class ServerCheck {
  public:
    ServerCheck(const CheckOptions& options, std::FILE* out, std::FILE* err)
        : options_(options), out_(out), err_(err), fetcher_(options.settings) {}

    int run();

  private:
    void print(const std::string& line) { std::fprintf(out_, "%s\n", line.c_str()); }
    void warn(const std::string& line) { warnings_.push_back(line); }
    // The question's automatic checks against its unpacked package (check_review.h).
    void reviewQuestionChecks(std::string_view type, const std::string& numberText, const std::string& unpacked,
                              const std::string& package, std::vector<std::string>& problems) {
        const std::string key = std::string(type) + "第" + numberText + "题";
        const catalogue::Catalogue book(cataloguePath_);
        CheckReview review = reviewChecks(book.requirements(key), grading::questionChecks(book, key), unpacked,
                                          package, std::nullopt);
        problems.insert(problems.end(), review.problems.begin(), review.problems.end());
        for (const std::string& w : review.warnings) warn(key + " " + w);
    }
    bool makeFolder(const std::string& path) { return platform::createFolder(path); }
    void removeAll(const std::string& path) {
        std::error_code ignored;
        fs::remove_all(fsPathOf(path), ignored);
    }
    bool checkCatalogue();
    bool checkQuestion(std::string_view type, int32_t number, int32_t index, int32_t total);
    void warnOfUnflaggedNames(const std::string& package, const std::vector<std::string>& names);
    void probeBeyondCount(std::string_view type, int32_t count);
    void checkKeys();
    bool checkHelp();

    const CheckOptions& options_;
    std::FILE* out_;
    std::FILE* err_;
    ScratchFolder scratch_;  // removed after the download service has ended
    Fetcher fetcher_;
    std::string cataloguePath_;
    std::map<std::string, int32_t, std::less<>> counts_;
    std::vector<std::string> warnings_;
};

bool ServerCheck::checkCatalogue() {
    const std::string address = exam::catalogueAddress(options_.serverBase);
    std::fprintf(err_, "check: fetching %s\n", address.c_str());
    Fetched fetched = fetcher_.fetch(address, scratch_.path() + "\\config.ini");
    if (!fetched.path) {
        print("catalogue  " + address + "  " + fetched.reason);
        return false;
    }
    cataloguePath_ = *fetched.path;
    const std::string bytes = platform::readWholeFile(cataloguePath_).value_or("");
    const catalogue::IniText text = catalogue::classifyIniText(bytes);
    const bool gbk = text.encoding == catalogue::TextEncoding::Gbk;
    const catalogue::Catalogue book(cataloguePath_);
    int32_t questions = 0;
    for (std::string_view type : questionTypes()) {
        const std::string key = std::string(type) + "题数量";
        int32_t count = book.questionCount(type);
        std::optional<std::string> raw =
            catalogue::findIniValue(text,
                                    gbk ? platform::utf8ToGbkLossy(catalogue::kCountSection)
                                        : std::string(catalogue::kCountSection),
                                    gbk ? platform::utf8ToGbkLossy(key) : key);
        std::string value = raw ? (gbk ? platform::gbkToUtf8(*raw) : *raw) : "";
        if (raw && value != std::to_string(count))
            warn(key + " is \"" + value + "\", which the client reads as " + std::to_string(count));
        if (count > catalogue::kMostQuestions) {
            warn(key + " counts " + std::to_string(count) +
                 " questions; the client lists only the first " +
                 std::to_string(catalogue::kMostQuestions));
            count = catalogue::kMostQuestions;
        }
        counts_[std::string(type)] = count;
        questions += std::max(count, 0);
    }
    const std::string encoding(catalogue::encodingName(text.encoding));
    if (!gbk)
        warn("config.txt is " + encoding +
             "; this client reads it, but the catalogue's format is GBK");
    if (questions == 0)
        warn(
            "the catalogue lists no question at all: every type's count is 0 or missing, so "
            "the students see nothing to choose");
    print("catalogue  " + address + "  " + std::to_string(bytes.size()) + " bytes, " + encoding +
          ", " + std::to_string(questions) + " questions");
    return true;
}

bool ServerCheck::checkQuestion(std::string_view type, int32_t number, int32_t index,
                                int32_t total) {
    const std::string numberText = catalogue::decimalText(number);
    const std::string name = std::string(type) + "-" + numberText;
    std::fprintf(err_, "check: %s (%d of %d)\n", name.c_str(), static_cast<int>(index),
                 static_cast<int>(total));
    std::vector<std::string> problems;
    std::string size = "-", entries = "-";

    const std::string packages = scratch_.path() + "\\packages";
    const std::string unpacked = scratch_.path() + "\\unpacked";
    makeFolder(packages);
    makeFolder(unpacked);
    Fetched fetched = fetcher_.fetch(exam::packageAddress(type, numberText, options_.serverBase),
                                     packages + "\\");
    if (!fetched.path) {
        problems.push_back("package: " + fetched.reason);
    } else {
        if (std::optional<platform::File> file =
                platform::File::open(*fetched.path, platform::File::Mode::Read))
            size = std::to_string(file->size().value_or(0));
        const std::string expectedName = name + ".zip";
        if (fileNameOf(*fetched.path) != expectedName)
            problems.push_back("the server names the package " + fileNameOf(*fetched.path) +
                               ", but the client unpacks " + expectedName);
        int32_t result = fetch::extractAll(*fetched.path, unpacked + "\\" + name);
        if (result != fetch::kExtractDone)
            problems.push_back("the package does not unpack (result " + std::to_string(result) +
                               ")");
        else
            reviewQuestionChecks(type, numberText, unpacked + "\\" + name, *fetched.path, problems);
        if (std::optional<ArchiveSurvey> survey = surveyArchive(*fetched.path)) {
            entries = std::to_string(survey->entries);
            warnOfUnflaggedNames(name + ".zip", survey->unflaggedUtf8Names);
        }
        platform::deleteFile(*fetched.path);
        removeAll(unpacked + "\\" + name);
    }
    const std::string key = std::string(type) + "第" + numberText + "题";
    const size_t lines = catalogue::Catalogue(cataloguePath_).requirements(key).size();
    if (lines == 0) problems.push_back("no requirements under " + key);

    std::string result;
    for (const std::string& problem : problems) result += (result.empty() ? "" : "; ") + problem;
    char line[160];
    std::snprintf(line, sizeof line, "%-10s %4d %10s %8s %13zu  ", std::string(type).c_str(),
                  static_cast<int>(number), size.c_str(), entries.c_str(), lines);
    print(line + (result.empty() ? std::string("OK") : result));
    return problems.empty();
}

void ServerCheck::warnOfUnflaggedNames(const std::string& package,
                                       const std::vector<std::string>& names) {
    if (names.empty()) return;
    std::string shown;
    for (size_t i = 0; i < names.size() && i < 3; ++i) shown += (i ? ", " : "") + names[i];
    if (names.size() > 3) shown += ", ...";
    warn(package + " names " + std::to_string(names.size()) +
         (names.size() == 1 ? " entry" : " entries") + " in UTF-8 without the UTF-8 flag (" +
         shown + "): the client reads such names as GBK, so the students see " +
         platform::gbkToUtf8(names[0]) + "; rebuild the package with tovren-tool bank");
}

// A package the catalogue does not count is one the students never see.
void ServerCheck::probeBeyondCount(std::string_view type, int32_t count) {
    const std::string numberText = catalogue::decimalText(std::max(count, 0) + 1);
    const std::string probe = scratch_.path() + "\\probe";
    makeFolder(probe);
    Fetched fetched =
        fetcher_.fetch(exam::packageAddress(type, numberText, options_.serverBase), probe + "\\");
    if (!fetched.path) return;
    warn("the server has " + std::string(type) + "-" + numberText +
         ".zip, but the catalogue counts " + std::to_string(std::max(count, 0)) + " " +
         std::string(type) + " questions");
    platform::deleteFile(*fetched.path);
}

// Keys of "操作要求" that no question reads: beyond a count, misspelt, or a duplicate.
void ServerCheck::checkKeys() {
    const std::string bytes = platform::readWholeFile(cataloguePath_).value_or("");
    const catalogue::IniText text = catalogue::classifyIniText(bytes);
    const bool gbk = text.encoding == catalogue::TextEncoding::Gbk;
    const std::string section(catalogue::kRequirementSection);
    std::map<std::string, int> read;  // lower-cased key -> times seen
    for (const auto& [type, count] : counts_)
        for (int32_t n = 1; n <= count; ++n)
            read[lowerAscii(type + "第" + std::to_string(n) + "题")] = 0;
    for (const std::string& rawKey :
         catalogue::findIniKeys(text, gbk ? platform::utf8ToGbkLossy(section) : section)) {
        const std::string key = gbk ? platform::gbkToUtf8(rawKey) : rawKey;
        auto found = read.find(lowerAscii(key));
        if (found != read.end()) {
            if (++found->second == 2)
                warn(section + " has " + key + " twice; the client reads the first");
            std::optional<std::string> value = catalogue::findIniValue(
                text, gbk ? platform::utf8ToGbkLossy(section) : section, rawKey);
            size_t length =
                value ? (gbk ? value->size() : platform::utf8ToGbkLossy(*value).size()) : 0;
            if (length > catalogue::kValueLimit)
                warn(key + " takes " + std::to_string(length) +
                     " bytes; the client reads only the first " +
                     std::to_string(catalogue::kValueLimit));
            continue;
        }
        std::string why = "no question reads it";
        for (const auto& [type, count] : counts_) {
            const std::string prefix = lowerAscii(type + "第");
            const std::string lower = lowerAscii(key);
            if (lower.starts_with(prefix) && lower.ends_with("题")) {
                std::string digits = lower.substr(
                    prefix.size(), lower.size() - prefix.size() - std::string("题").size());
                if (!digits.empty() &&
                    digits.find_first_not_of("0123456789") == std::string::npos && digits[0] != '0')
                    why = "beyond " + type + "题数量 = " + std::to_string(count) +
                          "; the client never shows it";
            }
        }
        warn(section + " has " + key + ": " + why);
    }
}

bool ServerCheck::checkHelp() {
    const std::string address = exam::helpAddress(options_.serverBase);
    std::fprintf(err_, "check: fetching %s\n", address.c_str());
    Fetched fetched = fetcher_.fetch(address, scratch_.path() + "\\ITHelp.chm");
    if (!fetched.path) {
        print("help       " + address + "  " + fetched.reason);
        return false;
    }
    const std::string bytes = platform::readWholeFile(*fetched.path).value_or("");
    if (!bytes.starts_with("ITSF"))
        warn("ITHelp.chm is no compiled help file (it does not begin with ITSF)");
    print("help       " + address + "  " + std::to_string(bytes.size()) + " bytes  OK");
    return true;
}

int ServerCheck::run() {
    if (scratch_.path().empty()) {
        std::fprintf(err_, "check: no scratch folder can be made in the temporary folder\n");
        return 1;
    }
    int32_t ok = 0, failed = 0;
    const bool catalogueOk = checkCatalogue();
    if (catalogueOk) {
        int32_t total = 0;
        for (const auto& [type, count] : counts_) total += std::max(count, 0);
        char header[160];
        std::snprintf(header, sizeof header, "%-10s %4s %10s %8s %13s  %s", "type", "no.", "bytes",
                      "entries", "requirements", "result");
        print(header);
        int32_t index = 0;
        for (std::string_view type : questionTypes()) {
            const int32_t count = counts_.find(type)->second;
            for (int32_t n = 1; n <= count; ++n)
                (checkQuestion(type, n, ++index, total) ? ok : failed)++;
            probeBeyondCount(type, count);
        }
        checkKeys();
    }
    const bool helpOk = checkHelp();
    for (const std::string& warning : warnings_) print("warning: " + warning);
    const bool allOk = catalogueOk && failed == 0 && helpOk;
    print(std::string(allOk ? "OK" : "FAILED") + ": " +
          (catalogueOk ? "catalogue OK, " : "no catalogue, ") + std::to_string(ok + failed) +
          " questions (" + std::to_string(ok) + " OK, " + std::to_string(failed) +
          " failed), help document " + (helpOk ? "OK" : "failed") + ", " +
          std::to_string(warnings_.size()) + " warnings");
    if (std::fflush(out_) != 0) return 1;
    return allOk ? 0 : 1;
}

}  // namespace

int checkServer(const Arguments& args, std::FILE* out, std::FILE* err, std::string& usageMessage) {
    std::optional<CheckOptions> options = readArguments(args, usageMessage);
    if (!options) return kUsageError;
    return ServerCheck(*options, out, err).run();
}

}  // namespace tovren::tool
