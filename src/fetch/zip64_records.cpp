#include "fetch/zip64_records.h"

#include <algorithm>
#include <optional>
#include <string>

#include "platform/files.h"

namespace tovren::fetch {
namespace {

constexpr uint32_t kEndSignature = 0x06054B50;
constexpr uint32_t kLocatorSignature = 0x07064B50;
constexpr uint32_t kZip64EndSignature = 0x06064B50;
constexpr uint16_t kZip64ExtraId = 0x0001;
constexpr int64_t kLongestComment = 0xFFFF;  // how far back minizip looks for the end records
constexpr size_t kEndSize = 22;
constexpr size_t kLocatorSize = 20;
constexpr size_t kZip64EndSize = 56;

uint64_t little(std::string_view bytes, size_t at, size_t width) {
    uint64_t value = 0;
    for (size_t i = width; i-- > 0;) value = value << 8 | static_cast<unsigned char>(bytes[at + i]);
    return value;
}

// Reads `count` bytes at `offset`; nothing when the file holds fewer.
std::optional<std::string> readAt(platform::File& file, int64_t offset, int64_t count) {
    std::string bytes(static_cast<size_t>(count), '\0');
    if (!file.seek(offset)) return std::nullopt;
    int64_t got = 0;
    while (got < count) {
        int64_t n = file.read(bytes.data() + got, count - got);
        if (n <= 0) return std::nullopt;
        got += n;
    }
    return bytes;
}

// Where minizip finds a record: the signature nearest to the end, in the file's last 64 KB,
// never at the file's first byte. npos when there is none.
size_t findFromEnd(std::string_view tail, int64_t tailStart, uint32_t signature) {
    if (tail.size() < 4) return std::string_view::npos;
    for (size_t i = tail.size() - 3; i-- > 0;) {
        if (tailStart == 0 && i == 0) break;
        if (little(tail, i, 4) == signature) return i;
    }
    return std::string_view::npos;
}

}  // namespace

bool zip64EndAgrees(std::string_view archivePath) {
    std::optional<platform::File> file =
        platform::File::open(archivePath, platform::File::Mode::Read);
    if (!file) return true;
    const std::optional<int64_t> size = file->size();
    if (!size) return true;
    const int64_t tailStart = std::max<int64_t>(0, *size - kLongestComment);
    const std::optional<std::string> tail = readAt(*file, tailStart, *size - tailStart);
    if (!tail) return true;

    const size_t end = findFromEnd(*tail, tailStart, kEndSignature);
    if (end == std::string_view::npos || end + kEndSize > tail->size()) return true;
    const size_t locator = findFromEnd(*tail, tailStart, kLocatorSignature);
    const bool locatorInPlace = end >= kLocatorSize && locator == end - kLocatorSize;

    // The ZIP64 end record that minizip would take instead of the classic one.
    std::optional<std::string> zip64End;
    if (locator != std::string_view::npos && locator + kLocatorSize <= tail->size() &&
        little(*tail, locator + 4, 4) == 0 && little(*tail, locator + 16, 4) == 1) {
        const uint64_t at = little(*tail, locator + 8, 8);
        if (at <= static_cast<uint64_t>(*size))
            zip64End = readAt(*file, static_cast<int64_t>(at), kZip64EndSize);
        if (zip64End && little(*zip64End, 0, 4) != kZip64EndSignature) zip64End.reset();
    }
    if (!zip64End) return !locatorInPlace;

    const std::string_view classic = std::string_view(*tail).substr(end, kEndSize);
    const auto agrees = [](uint64_t classicValue, uint64_t marker, uint64_t zip64Value) {
        return classicValue == marker || classicValue == zip64Value;
    };
    return agrees(little(classic, 8, 2), 0xFFFF, little(*zip64End, 24, 8)) &&
           agrees(little(classic, 10, 2), 0xFFFF, little(*zip64End, 32, 8)) &&
           agrees(little(classic, 12, 4), 0xFFFFFFFF, little(*zip64End, 40, 8)) &&
           agrees(little(classic, 16, 4), 0xFFFFFFFF, little(*zip64End, 48, 8));
}

bool localZip64Agrees(std::string_view extra, uint64_t compressedSize, uint64_t uncompressedSize) {
    while (extra.size() >= 4) {
        const uint64_t id = little(extra, 0, 2);
        const size_t length = std::min<size_t>(little(extra, 2, 2), extra.size() - 4);
        const std::string_view data = extra.substr(4, length);
        extra.remove_prefix(4 + length);
        if (id != kZip64ExtraId) continue;
        // The local ZIP64 field holds the uncompressed size, then the compressed one.
        if (data.size() >= 8) {
            const uint64_t declared = little(data, 0, 8);
            if (declared != 0 && declared != uncompressedSize) return false;
        }
        if (data.size() >= 16) {
            const uint64_t declared = little(data, 8, 8);
            if (declared != 0 && declared != compressedSize) return false;
        }
    }
    return true;
}

}  // namespace tovren::fetch
