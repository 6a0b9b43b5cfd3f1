#include <windows.h>

#include "platform/files.h"
#include "platform/wide.h"

namespace tovren::platform {
namespace {

bool endsWithSeparator(std::string_view path) {
    return !path.empty() && (path.back() == '\\' || path.back() == '/');
}

bool hasWildcard(std::string_view path) {
    return path.find_first_of("*?") != path.npos;
}

DWORD attributesOf(std::string_view path) {
    return GetFileAttributesW(widen(path).c_str());
}

}  // namespace

void setDriveRoot(std::string) {}

std::string nativePath(std::string_view path) {
    return std::string(path);
}

bool pathExists(std::string_view path) {
    if (path.empty() || endsWithSeparator(path) || hasWildcard(path)) return false;
    return attributesOf(path) != INVALID_FILE_ATTRIBUTES;
}

bool isDirectory(std::string_view path) {
    if (path.empty()) return false;
    DWORD a = attributesOf(path);
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

bool deleteFile(std::string_view path) {
    const std::wstring wide = widen(path);
    if (DeleteFileW(wide.c_str())) return true;
    // A read-only file goes too: callers delete a file to fetch it anew, and a read-only copy
    // left behind would be read in place of the fresh one.
    DWORD a = GetFileAttributesW(wide.c_str());
    if (a == INVALID_FILE_ATTRIBUTES || (a & FILE_ATTRIBUTE_DIRECTORY) ||
        !(a & FILE_ATTRIBUTE_READONLY))
        return false;
    if (!SetFileAttributesW(wide.c_str(), a & ~FILE_ATTRIBUTE_READONLY)) return false;
    if (DeleteFileW(wide.c_str())) return true;
    SetFileAttributesW(wide.c_str(), a);
    return false;
}

bool createFolder(std::string_view path) {
    if (path.empty()) return false;
    return CreateDirectoryW(widen(path).c_str(), nullptr) != 0;
}

bool setNormalAttributes(std::string_view path) {
    return SetFileAttributesW(widen(path).c_str(), FILE_ATTRIBUTE_NORMAL) != 0;
}

std::optional<FileFacts> fileFacts(std::string_view path) {
    if (path.empty() || endsWithSeparator(path) || hasWildcard(path)) return std::nullopt;
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(widen(path).c_str(), GetFileExInfoStandard, &data)) return std::nullopt;
    FileFacts facts;
    facts.folder = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    facts.hidden = (data.dwFileAttributes & FILE_ATTRIBUTE_HIDDEN) != 0;
    facts.readOnly = (data.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0;
    if (!facts.folder)
        facts.size = static_cast<int64_t>((static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow);
    return facts;
}

bool setHiddenReadOnly(std::string_view path, bool hidden, bool readOnly) {
    const std::wstring wide = widen(path);
    DWORD a = GetFileAttributesW(wide.c_str());
    if (a == INVALID_FILE_ATTRIBUTES) return false;
    a &= ~(FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_NORMAL);
    if (hidden) a |= FILE_ATTRIBUTE_HIDDEN;
    if (readOnly) a |= FILE_ATTRIBUTE_READONLY;
    return SetFileAttributesW(wide.c_str(), a ? a : FILE_ATTRIBUTE_NORMAL) != 0;
}

bool renameNoReplace(std::string_view from, std::string_view to) {
    // Without MOVEFILE_REPLACE_EXISTING the move fails when the target exists.
    return MoveFileExW(widen(from).c_str(), widen(to).c_str(), 0) != 0;
}

File::File(File&& other) noexcept : handle_(other.handle_), position_(other.position_) {
    other.handle_ = nullptr;
}

File& File::operator=(File&& other) noexcept {
    if (this != &other) {
        close();
        handle_ = other.handle_;
        position_ = other.position_;
        other.handle_ = nullptr;
    }
    return *this;
}

File::~File() {
    close();
}

std::optional<File> File::open(std::string_view path, Mode mode) {
    if (path.empty() || endsWithSeparator(path)) return std::nullopt;
    DWORD access = GENERIC_READ, share = FILE_SHARE_READ | FILE_SHARE_DELETE,
          disposition = OPEN_EXISTING;
    switch (mode) {
        case Mode::Read:
            share |= FILE_SHARE_WRITE;
            break;
        case Mode::CreateNew:
            access |= GENERIC_WRITE, disposition = CREATE_NEW;
            break;
        case Mode::CreateAlways:
            access |= GENERIC_WRITE, disposition = CREATE_ALWAYS;
            break;
    }
    HANDLE h = CreateFileW(widen(path).c_str(), access, share, nullptr, disposition,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return std::nullopt;
    File file;
    file.handle_ = h;
    return file;
}

namespace {
OVERLAPPED at(int64_t offset) {
    OVERLAPPED o = {};
    o.Offset = static_cast<DWORD>(offset & 0xFFFFFFFF);
    o.OffsetHigh = static_cast<DWORD>(static_cast<uint64_t>(offset) >> 32);
    return o;
}
}  // namespace

int64_t File::read(void* buffer, int64_t size) {
    if (!handle_ || size < 0) return -1;
    DWORD want = size > 0x40000000 ? 0x40000000 : static_cast<DWORD>(size), got = 0;
    OVERLAPPED o = at(position_);
    if (!ReadFile(handle_, buffer, want, &got, &o))
        return GetLastError() == ERROR_HANDLE_EOF ? 0 : -1;
    position_ += got;
    return got;
}

bool File::writeAt(int64_t offset, const void* data, int64_t size) {
    if (!handle_ || size < 0 || offset < 0) return false;
    auto p = static_cast<const char*>(data);
    while (size > 0) {
        DWORD want = size > 0x40000000 ? 0x40000000 : static_cast<DWORD>(size), put = 0;
        OVERLAPPED o = at(offset);
        if (!WriteFile(handle_, p, want, &put, &o) || put == 0) return false;
        p += put, offset += put, size -= put;
    }
    return true;
}

bool File::write(const void* data, int64_t size) {
    if (!writeAt(position_, data, size)) return false;
    position_ += size;
    return true;
}

bool File::seek(int64_t offset) {
    if (!handle_ || offset < 0) return false;
    position_ = offset;
    return true;
}

int64_t File::tell() const {
    return position_;
}

std::optional<int64_t> File::size() const {
    LARGE_INTEGER s;
    if (!handle_ || !GetFileSizeEx(handle_, &s)) return std::nullopt;
    return s.QuadPart;
}

bool File::resize(int64_t size) {
    if (!handle_ || size < 0) return false;
    LARGE_INTEGER to;
    to.QuadPart = size;
    return SetFilePointerEx(handle_, to, nullptr, FILE_BEGIN) && SetEndOfFile(handle_);
}

bool File::close() {
    if (!handle_) return false;
    bool ok = CloseHandle(handle_) != 0;
    handle_ = nullptr;
    return ok;
}

bool File::isOpen() const {
    return handle_ != nullptr;
}

}  // namespace tovren::platform
