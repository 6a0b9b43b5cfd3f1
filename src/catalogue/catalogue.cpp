#include "catalogue/catalogue.h"

#include "catalogue/ini.h"
#include "catalogue/text_rules.h"
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
    for (int32_t n = 1; n > 0 && n <= count; ++n)
        items.push_back({"第" + decimalText(n) + "题", n});
    return items;
}

Catalogue::Catalogue(std::string path) : path_(std::move(path)) {}

std::string Catalogue::valueGbk(std::string_view section, std::string_view key) const {
    std::optional<std::string> bytes = platform::readWholeFile(path_);
    if (!bytes) return {};
    IniText text = classifyIniText(*bytes);
    if (text.encoding == TextEncoding::Utf8) {
        std::optional<std::string_view> value = findIniValue(text, section, key);
        // The byte rules below are stated on GBK, so a UTF-8 value is read in its GBK form.
        return value ? cutToLimit(platform::utf8ToGbkLossy(*value)) : std::string();
    }
    std::optional<std::string> gbkSection = platform::utf8ToGbk(section);
    std::optional<std::string> gbkKey = platform::utf8ToGbk(key);
    if (!gbkSection || !gbkKey) return {};  // no GBK file can hold such a name
    std::optional<std::string_view> value = findIniValue(text, *gbkSection, *gbkKey);
    return value ? cutToLimit(*value) : std::string();
}

int32_t Catalogue::questionCount(std::string_view typeText) const {
    return textToInt32(valueGbk(kCountSection, std::string(typeText) + "题数量"));
}

std::vector<std::string> Catalogue::requirements(std::string_view requirementKey) const {
    std::string value = valueGbk(kRequirementSection, requirementKey);
    std::vector<std::string> pieces;
    for (std::string_view piece : splitGbk(value, '~')) pieces.push_back(platform::gbkToUtf8(piece));
    return pieces;
}

std::string Catalogue::requirementText(std::string_view requirementKey) const {
    std::string text;
    for (const std::string& piece : requirements(requirementKey)) text += piece + "\r\n";
    return text;
}

}  // namespace tovren::catalogue
