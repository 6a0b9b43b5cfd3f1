#include "fetch/temporary_files.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>

#include "platform/files.h"

namespace tovren::fetch {
namespace {

constexpr std::string_view kPrefix = "~tvr";
constexpr std::string_view kSuffix = ".tmp";
constexpr size_t kDigits = 8;

bool isLowerHexDigit(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
}

}  // namespace

std::string temporaryDownloadName() {
    static std::atomic<uint32_t> counter{0};
    auto now = static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
    auto mixed = static_cast<uint32_t>(now ^ (now >> 32)) * 2654435761u + counter++;
    char name[32];
    std::snprintf(name, sizeof name, "~tvr%08x.tmp", static_cast<unsigned>(mixed));
    return name;
}

bool isTemporaryDownloadName(std::string_view name) {
    if (name.size() != kPrefix.size() + kDigits + kSuffix.size()) return false;
    if (!name.starts_with(kPrefix) || !name.ends_with(kSuffix)) return false;
    for (char c : name.substr(kPrefix.size(), kDigits))
        if (!isLowerHexDigit(c)) return false;
    return true;
}

int removeLeftoverDownloads(std::string_view folder) {
    std::string prefix(folder);
    if (!prefix.empty() && prefix.back() != '\\' && prefix.back() != '/') prefix += '\\';
    int removed = 0;
    for (const std::string& name : platform::fileNamesIn(folder))
        if (isTemporaryDownloadName(name) && platform::deleteFileNotHeldOpen(prefix + name))
            ++removed;
    return removed;
}

}  // namespace tovren::fetch
