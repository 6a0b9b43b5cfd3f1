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

// A scanner or the indexer that has a fresh file open without delete or write sharing makes a
// rename or create fail with ERROR_SHARING_VIOLATION ("Creating and Opening Files": a sharing
// mode the open handles do not allow); a name whose file was deleted while still open is
// pending deletion until the last handle goes, and CreateFileW then fails with
// ERROR_ACCESS_DENIED ("CreateFileW function", Remarks). Both pass; anything else is final.
Attempt outcomeOf(bool ok) {
    if (ok) return Attempt::Done;
    DWORD error = GetLastError();
    return error == ERROR_SHARING_VIOLATION || error == ERROR_ACCESS_DENIED ? Attempt::Busy
                                                                           : Attempt::Failed;
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

bool deleteFileNotHeldOpen(std::string_view path) {
    // With no sharing at all the open fails with ERROR_SHARING_VIOLATION while any other handle
    // is open ("CreateFileW function", dwShareMode, learn.microsoft.com); delete-on-close then
    // removes the file when this handle closes, so no writer can slip in between.
    // A link is removed itself, never what it points to.
    HANDLE h = CreateFileW(widen(path).c_str(), DELETE, 0, nullptr, OPEN_EXISTING,
                           FILE_FLAG_DELETE_ON_CLOSE | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    return CloseHandle(h) != 0;
}

std::vector<std::string> fileNamesIn(std::string_view folder) {
    std::vector<std::string> names;
    if (folder.empty()) return names;
    std::wstring pattern = widen(folder);
    if (pattern.back() != L'\\' && pattern.back() != L'/') pattern += L'\\';
    pattern += L'*';
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &found, FindExSearchNameMatch,
                                     nullptr, 0);
    if (search == INVALID_HANDLE_VALUE) return names;
    do {
        // Plain files only: no folders, no links.
        if (!(found.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)))
            names.push_back(narrow(found.cFileName));
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return names;
}

bool setHidden(std::string_view path) {
    const std::wstring wide = widen(path);
    DWORD a = GetFileAttributesW(wide.c_str());
    if (a == INVALID_FILE_ATTRIBUTES) return false;
    // FILE_ATTRIBUTE_NORMAL is valid only alone, so it is dropped when another bit joins it.
    return SetFileAttributesW(wide.c_str(), (a & ~FILE_ATTRIBUTE_NORMAL) | FILE_ATTRIBUTE_HIDDEN) != 0;
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
    // Without MOVEFILE_REPLACE_EXISTING the move fails when the target exists
    // (ERROR_ALREADY_EXISTS), which is final.
    const std::wstring wideFrom = widen(from), wideTo = widen(to);
    return retryWhileBusy([&] { return outcomeOf(MoveFileExW(wideFrom.c_str(), wideTo.c_str(), 0) != 0); });
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
          disposition = OPEN_EXISTING, attributes = FILE_ATTRIBUTE_NORMAL;
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
        case Mode::CreateNewTemporary:
            access |= GENERIC_WRITE, disposition = CREATE_NEW, attributes = FILE_ATTRIBUTE_HIDDEN;
            break;
    }
    const std::wstring wide = widen(path);
    HANDLE h = INVALID_HANDLE_VALUE;
    auto attempt = [&] {
        h = CreateFileW(wide.c_str(), access, share, nullptr, disposition, attributes, nullptr);
        return outcomeOf(h != INVALID_HANDLE_VALUE);
    };
    // Only a file being made under its own name waits: a reader keeps the plain answer, and a
    // temporary file whose name is refused simply takes the next name.
    const bool waits = mode == Mode::CreateNew || mode == Mode::CreateAlways;
    bool opened = waits ? retryWhileBusy(attempt) : attempt() == Attempt::Done;
    if (!opened) return std::nullopt;
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
