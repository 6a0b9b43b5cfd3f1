#include "catalogue/catalogue.h"

#include <algorithm>
#include <cstring>

#include "catalogue/ini.h"
#include "catalogue/text_rules.h"
#include "exam/set_aside.h"
#include "platform/files.h"
#include "platform/text.h"

namespace tovren::catalogue {
namespace {

// Cuts at the limit without leaving half a double-byte character behind.
std::string cutToLimit(std::string_view gbk) {
    if (gbk.size() <= kValueLimit) return std::string(gbk);
    size_t end = 0;
    while (end < kValueLimit) {
        size_t step = platform::isGbkLeadByte(static_cast<unsigned char>(gbk[end])) ? 2 : 1;
        if (end + step > kValueLimit) break;
        end += step;
    }
    return std::string(gbk.substr(0, end));
}

}  // namespace

std::vector<QuestionItem> questionList(int32_t count) {
    std::vector<QuestionItem> items;
    count = std::min(count, kMostQuestions);
    items.reserve(static_cast<size_t>(std::max(count, 0)));
    for (int32_t n = 1; n <= count; ++n) items.push_back({"第" + decimalText(n) + "题", n});
    return items;
}

Catalogue::Catalogue(std::string path) : path_(std::move(path)) {}

Catalogue latestCatalogue() {
    return Catalogue(exam::latestCopy(exam::cataloguePath()));
}

std::string valueGbkOfText(std::string_view fileBytes, std::string_view section,
                           std::string_view key) {
    const IniText text = classifyIniText(fileBytes);
    if (!text.doubleByte()) {
        // The byte rules of the catalogue are stated on GBK, so a UTF-8 or UTF-16LE value is
        // read in its GBK form.
        std::optional<std::string> value = findIniValue(text, section, key);
        return value ? cutToLimit(platform::utf8ToGbkLossy(*value)) : std::string();
    }
    std::optional<std::string> gbkSection = platform::utf8ToGbk(section);
    std::optional<std::string> gbkKey = platform::utf8ToGbk(key);
    if (!gbkSection || !gbkKey) return {};  // no GBK file can hold the names
    std::optional<std::string> value = findIniValue(text, *gbkSection, *gbkKey);
    return value ? cutToLimit(*value) : std::string();
}

std::string valueGbkOfStream(const ReadPiece& read, std::string_view section, std::string_view key,
                             size_t pieceSize) {
    // The file is read in pieces and looked up in both of its possible encodings at once; the
    // encoding is known for certain only at the end (a UTF-8 file is valid UTF-8 throughout),
    // unless a byte-order mark or an invalid byte settles it earlier.
    std::optional<std::string> gbkSection = platform::utf8ToGbk(section);
    std::optional<std::string> gbkKey = platform::utf8ToGbk(key);
    const bool gbkPossible = gbkSection && gbkKey;  // else no GBK file can hold the names
    IniLookup asGbk(gbkSection.value_or(""), gbkKey.value_or(""), true);
    IniLookup asUtf8(section, key, false);
    enum class Guess { Undecided, Utf8ByMark, Utf16Le, Gbk } guess = Guess::Undecided;
    bool marksLookedFor = false;
    bool anyHighByte = false;
    Utf16LeDecoder utf16;
    std::string utf16Lines;  // the UTF-8 form of a UTF-16LE file's unfinished line

    const auto feed = [&](std::string_view line) {
        if (guess == Guess::Undecided) {
            anyHighByte = anyHighByte || hasHighByte(line);
            if (!platform::isValidUtf8(line)) guess = Guess::Gbk;
        }
        if (guess != Guess::Utf8ByMark && gbkPossible) asGbk.feed(line);
        if (guess != Guess::Gbk) asUtf8.feed(line);
    };
    const auto settled = [&] {
        return (guess == Guess::Gbk && (asGbk.finished() || !gbkPossible)) ||
               (guess != Guess::Undecided && guess != Guess::Gbk && asUtf8.finished());
    };

    std::string buffer(std::max<size_t>(pieceSize, 1), '\0');
    size_t filled = 0;
    for (;;) {
        if (filled == buffer.size()) buffer.resize(buffer.size() * 2);  // a very long line
        int64_t n = read(buffer.data() + filled, static_cast<int64_t>(buffer.size() - filled));
        if (n < 0) return {};
        const bool end = n == 0;
        filled += static_cast<size_t>(n);
        std::string_view rest(buffer.data(), filled);
        if (!marksLookedFor) {
            if (filled < kUtf8ByteOrderMark.size() && !end) continue;
            marksLookedFor = true;
            if (rest.starts_with(kUtf16LeByteOrderMark)) {
                guess = Guess::Utf16Le;
                rest.remove_prefix(kUtf16LeByteOrderMark.size());
            } else if (rest.starts_with(kUtf8ByteOrderMark)) {
                guess = Guess::Utf8ByMark;
                rest.remove_prefix(kUtf8ByteOrderMark.size());
            }
        }
        if (guess == Guess::Utf16Le) {
            utf16Lines += utf16.decode(rest, end);
            rest = {};
            std::string_view lines = utf16Lines;
            asUtf8.feedLines(lines, end);
            utf16Lines.erase(0, utf16Lines.size() - lines.size());
        }
        // A GBK file, the usual case, is known as one from its first Chinese line on.
        if (guess == Guess::Gbk && gbkPossible) asGbk.feedLines(rest, end);
        while (!settled() && guess != Guess::Utf16Le) {
            const char* lineEnd = findLineEnd(rest.data(), rest.data() + rest.size());
            if (lineEnd == rest.data() + rest.size()) {
                if (end && !rest.empty()) feed(rest);
                if (end) rest = {};
                break;
            }
            const size_t length = static_cast<size_t>(lineEnd - rest.data());
            feed(rest.substr(0, length));
            rest.remove_prefix(length + 1);
        }
        if (end || settled()) break;
        if (!rest.empty()) std::memmove(buffer.data(), rest.data(), rest.size());
        filled = rest.size();
    }

    const bool utf8 = guess == Guess::Utf8ByMark || guess == Guess::Utf16Le ||
                      (guess == Guess::Undecided && anyHighByte);
    if (utf8) {
        return asUtf8.value() ? cutToLimit(platform::utf8ToGbkLossy(*asUtf8.value()))
                              : std::string();
    }
    return asGbk.value() ? cutToLimit(*asGbk.value()) : std::string();
}

std::string Catalogue::valueGbk(std::string_view section, std::string_view key) const {
    std::optional<platform::File> file = platform::File::open(path_, platform::File::Mode::Read);
    if (!file) return {};
    return valueGbkOfStream([&file](char* into, int64_t count) { return file->read(into, count); },
                            section, key);
}

int32_t Catalogue::questionCount(std::string_view typeText) const {
    return textToInt32(valueGbk(kCountSection, std::string(typeText) + "题数量"));
}

std::vector<std::string> Catalogue::requirements(std::string_view requirementKey) const {
    std::string value = valueGbk(kRequirementSection, requirementKey);
    std::vector<std::string> pieces;
    for (std::string_view piece : splitGbk(value, '~'))
        pieces.push_back(platform::gbkToUtf8(piece));
    return pieces;
}

std::string Catalogue::requirementText(std::string_view requirementKey) const {
    std::string text;
    for (const std::string& piece : requirements(requirementKey)) text += piece + "\r\n";
    return text;
}

}  // namespace tovren::catalogue
