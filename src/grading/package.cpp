#include "grading/package.h"

#include <unzip.h>

#include <cstring>
#include <new>

#include "fetch/archive_file.h"
#include "fetch/entry_name.h"
#include "platform/files.h"

namespace tovren::grading {
namespace {

constexpr uLong kUtf8NameFlag = 1u << 11;
constexpr uLong kEncryptedFlag = 1u << 0;
constexpr size_t kPiece = 64 * 1024;

// The current entry's name as UTF-8 with "/" separators; nothing when it cannot be read.
std::optional<std::string> currentName(unzFile zip, unz_file_info64& info) {
    if (unzGetCurrentFileInfo64(zip, &info, nullptr, 0, nullptr, 0, nullptr, 0) != UNZ_OK)
        return std::nullopt;
    std::string raw(info.size_filename, '\0');
    if (unzGetCurrentFileInfo64(zip, &info, raw.data(), static_cast<uLong>(raw.size()), nullptr, 0,
                                nullptr, 0) != UNZ_OK)
        return std::nullopt;
    std::string name = fetch::entryNameText(raw, (info.flag & kUtf8NameFlag) != 0);
    for (char& c : name)
        if (c == '\\') c = '/';
    return name;
}

char lowerAscii(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

}  // namespace

bool sameEntryName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i] == '\\' ? '/' : lowerAscii(a[i]), y = b[i] == '\\' ? '/' : lowerAscii(b[i]);
        if (x != y) return false;
    }
    return true;
}

std::unique_ptr<Package> Package::open(std::string_view path) {
    // The same file layer as unpacking: program paths, read-ahead, shared reading.
    zlib_filefunc64_def functions{};
    fetch::fillArchiveFileFunctions(&functions);
    std::string name(path);
    unzFile zip = unzOpen2_64(name.c_str(), &functions);
    if (!zip) return nullptr;
    std::unique_ptr<Package> package(new (std::nothrow) Package(zip));
    if (!package) unzClose(zip);
    return package;
}

Package::~Package() {
    unzClose(archive_);
}

std::optional<std::vector<std::string>> Package::entryNames() {
    std::vector<std::string> names;
    unzFile zip = archive_;
    int status = unzGoToFirstFile(zip);
    for (int n = 0; status == UNZ_OK; ++n) {
        if (n >= kMostEntries) return std::nullopt;
        unz_file_info64 info;
        auto name = currentName(zip, info);
        if (!name) return std::nullopt;
        names.push_back(std::move(*name));
        status = unzGoToNextFile(zip);
    }
    if (status != UNZ_END_OF_LIST_OF_FILE) return std::nullopt;
    return names;
}

bool Package::locate(std::string_view wanted) {
    unzFile zip = archive_;
    int status = unzGoToFirstFile(zip);
    for (int n = 0; status == UNZ_OK && n < kMostEntries; ++n) {
        unz_file_info64 info;
        auto name = currentName(zip, info);
        if (!name) return false;
        if (sameEntryName(*name, wanted)) return (info.flag & kEncryptedFlag) == 0;
        status = unzGoToNextFile(zip);
    }
    return false;
}

ReadResult Package::read(std::string_view name, std::string& bytes, size_t limit) {
    bytes.clear();
    if (!locate(name)) return ReadResult::Missing;
    unzFile zip = archive_;
    if (unzOpenCurrentFile(zip) != UNZ_OK) return ReadResult::Damaged;
    // The declared size may lie; the count of bytes that actually come out is what is bounded.
    auto piece = std::unique_ptr<char[]>(new (std::nothrow) char[kPiece]);
    ReadResult result = piece ? ReadResult::Ok : ReadResult::TooLarge;
    while (result == ReadResult::Ok) {
        int n = unzReadCurrentFile(zip, piece.get(), kPiece);
        if (n < 0) result = ReadResult::Damaged;
        if (n <= 0) break;
        if (bytes.size() + static_cast<size_t>(n) > limit) {
            result = ReadResult::TooLarge;
            break;
        }
        bytes.append(piece.get(), static_cast<size_t>(n));
    }
    // The CRC is checked only when the whole entry was read.
    int closed = unzCloseCurrentFile(zip);
    if (result == ReadResult::Ok && closed != UNZ_OK) result = ReadResult::Damaged;
    if (result != ReadResult::Ok) bytes.clear();
    return result;
}

std::optional<bool> Package::sameBytes(std::string_view name, std::string_view path) {
    auto file = platform::File::open(path, platform::File::Mode::Read);
    if (!file) return std::nullopt;
    if (!locate(name)) return std::nullopt;
    unzFile zip = archive_;
    unz_file_info64 info;
    if (unzGetCurrentFileInfo64(zip, &info, nullptr, 0, nullptr, 0, nullptr, 0) != UNZ_OK)
        return std::nullopt;
    auto size = file->size();
    if (!size) return std::nullopt;
    if (static_cast<uint64_t>(*size) != info.uncompressed_size) return false;
    if (unzOpenCurrentFile(zip) != UNZ_OK) return std::nullopt;
    auto entryPiece = std::unique_ptr<char[]>(new (std::nothrow) char[kPiece]);
    auto filePiece = std::unique_ptr<char[]>(new (std::nothrow) char[kPiece]);
    std::optional<bool> same = entryPiece && filePiece ? std::optional<bool>(true) : std::nullopt;
    int64_t compared = 0;
    while (same == true) {
        int n = unzReadCurrentFile(zip, entryPiece.get(), kPiece);
        if (n < 0) same = std::nullopt;
        if (n <= 0) break;
        // An entry that inflates beyond its declared size is damaged, not compared for ever.
        if (compared + n > *size) {
            same = std::nullopt;
            break;
        }
        int64_t got = 0;
        while (got < n) {
            int64_t r = file->read(filePiece.get() + got, n - got);
            if (r <= 0) break;
            got += r;
        }
        if (got != n) same = std::nullopt;
        else if (std::memcmp(entryPiece.get(), filePiece.get(), static_cast<size_t>(n)) != 0)
            same = false;
        compared += n;
    }
    int closed = unzCloseCurrentFile(zip);
    if (same == true && (closed != UNZ_OK || compared != *size)) same = std::nullopt;
    return same;
}

}  // namespace tovren::grading
