#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <mutex>

#include "platform/files.h"

namespace tovren::platform {
namespace {

std::mutex driveRootLock;
std::string& driveRootStorage() {
    static std::string root = [] {
        const char* env = std::getenv("TOVREN_DRIVE_ROOT");
        return std::string(env && *env ? env : "/tmp/tovren-drives");
    }();
    return root;
}

bool endsWithSeparator(std::string_view path) {
    return !path.empty() && (path.back() == '\\' || path.back() == '/');
}

bool hasWildcard(std::string_view path) {
    return path.find_first_of("*?") != path.npos;
}

}  // namespace

void setDriveRoot(std::string nativeFolder) {
    std::lock_guard lock(driveRootLock);
    driveRootStorage() = std::move(nativeFolder);
}

std::string nativePath(std::string_view path) {
    std::string out;
    bool drive = path.size() >= 2 && path[1] == ':' &&
                 ((path[0] >= 'a' && path[0] <= 'z') || (path[0] >= 'A' && path[0] <= 'Z'));
    if (drive) {
        std::lock_guard lock(driveRootLock);
        out = driveRootStorage();
        out += '/';
        out += static_cast<char>(path[0] | 0x20);
        path.remove_prefix(2);
        if (!path.empty() && path[0] != '\\' && path[0] != '/') out += '/';
    }
    for (char c : path) out += c == '\\' ? '/' : c;
    return out;
}

bool pathExists(std::string_view path) {
    if (path.empty() || endsWithSeparator(path) || hasWildcard(path)) return false;
    struct stat st;
    return ::stat(nativePath(path).c_str(), &st) == 0;
}

bool isDirectory(std::string_view path) {
    if (path.empty()) return false;
    struct stat st;
    return ::stat(nativePath(path).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool deleteFile(std::string_view path) {
    std::string native = nativePath(path);
    struct stat st;
    if (::lstat(native.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) return false;
    return ::unlink(native.c_str()) == 0;
}

bool createFolder(std::string_view path) {
    if (path.empty()) return false;
    return ::mkdir(nativePath(path).c_str(), 0777) == 0;
}

bool setNormalAttributes(std::string_view path) {
    std::string native = nativePath(path);
    struct stat st;
    if (::stat(native.c_str(), &st) != 0) return false;
    return ::chmod(native.c_str(), (st.st_mode & 07777) | S_IRUSR | S_IWUSR) == 0;
}

bool deleteFileNotHeldOpen(std::string_view path) {
    // A temporary file's writer holds an flock on it (File::Mode::CreateNewTemporary); the file
    // goes only while this open has the lock, so no writer holds it then.
    std::string native = nativePath(path);
    int fd = ::open(native.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) return false;
    struct stat st;
    bool removed = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && ::flock(fd, LOCK_EX | LOCK_NB) == 0 &&
                   ::unlink(native.c_str()) == 0;
    ::close(fd);
    return removed;
}

std::vector<std::string> fileNamesIn(std::string_view folder) {
    std::vector<std::string> names;
    if (folder.empty()) return names;
    std::string native = nativePath(folder);
    DIR* dir = ::opendir(native.c_str());
    if (!dir) return names;
    while (const dirent* entry = ::readdir(dir)) {
        struct stat st;
        if (::fstatat(::dirfd(dir), entry->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode))
            names.emplace_back(entry->d_name);
    }
    ::closedir(dir);
    return names;
}

bool setHidden(std::string_view path) {
    struct stat st;
    return ::stat(nativePath(path).c_str(), &st) == 0;
}

namespace {
bool hasDotName(std::string_view path) {
    size_t slash = path.find_last_of("\\/");
    std::string_view name = slash == path.npos ? path : path.substr(slash + 1);
    return !name.empty() && name[0] == '.' && name != "." && name != "..";
}
}  // namespace

std::optional<FileFacts> fileFacts(std::string_view path) {
    if (path.empty() || endsWithSeparator(path) || hasWildcard(path)) return std::nullopt;
    struct stat st;
    if (::stat(nativePath(path).c_str(), &st) != 0) return std::nullopt;
    FileFacts facts;
    facts.folder = S_ISDIR(st.st_mode);
    facts.hidden = hasDotName(path);
    facts.readOnly = (st.st_mode & S_IWUSR) == 0;
    if (!facts.folder) facts.size = static_cast<int64_t>(st.st_size);
    return facts;
}

bool setHiddenReadOnly(std::string_view path, bool hidden, bool readOnly) {
    if (hidden && !hasDotName(path)) return false;
    std::string native = nativePath(path);
    struct stat st;
    if (::stat(native.c_str(), &st) != 0) return false;
    mode_t mode = st.st_mode & 07777;
    mode = readOnly ? (mode & ~static_cast<mode_t>(S_IWUSR | S_IWGRP | S_IWOTH)) : (mode | S_IWUSR);
    return ::chmod(native.c_str(), mode) == 0;
}

bool renameNoReplace(std::string_view from, std::string_view to) {
    // link() fails when the target exists, so no existing file is ever replaced.
    std::string nativeFrom = nativePath(from), nativeTo = nativePath(to);
    if (::link(nativeFrom.c_str(), nativeTo.c_str()) != 0) return false;
    ::unlink(nativeFrom.c_str());
    return true;
}

File::File(File&& other) noexcept : fd_(other.fd_), position_(other.position_) {
    other.fd_ = -1;
}

File& File::operator=(File&& other) noexcept {
    if (this != &other) {
        close();
        fd_ = other.fd_;
        position_ = other.position_;
        other.fd_ = -1;
    }
    return *this;
}

File::~File() {
    close();
}

std::optional<File> File::open(std::string_view path, Mode mode) {
    if (path.empty() || endsWithSeparator(path)) return std::nullopt;
    int flags = O_CLOEXEC;
    switch (mode) {
        case Mode::Read:
            flags |= O_RDONLY;
            break;
        case Mode::CreateNew:
            flags |= O_RDWR | O_CREAT | O_EXCL;
            break;
        case Mode::CreateAlways:
            flags |= O_RDWR | O_CREAT | O_TRUNC;
            break;
        case Mode::CreateNewTemporary:
            flags |= O_RDWR | O_CREAT | O_EXCL;
            break;
    }
    std::string native = nativePath(path);
    int fd = ::open(native.c_str(), flags, 0666);
    if (fd < 0) return std::nullopt;
    struct stat st;
    if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
        ::close(fd);
        return std::nullopt;
    }
    // What stands for Windows' sharing: deleteFileNotHeldOpen leaves a locked file alone.
    if (mode == Mode::CreateNewTemporary && ::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        ::unlink(native.c_str());
        return std::nullopt;
    }
    File file;
    file.fd_ = fd;
    return file;
}

int64_t File::read(void* buffer, int64_t size) {
    if (fd_ < 0 || size < 0) return -1;
    ssize_t n;
    do n = ::pread(fd_, buffer, static_cast<size_t>(size), position_);
    while (n < 0 && errno == EINTR);
    if (n > 0) position_ += n;
    return n;
}

bool File::writeAt(int64_t offset, const void* data, int64_t size) {
    if (fd_ < 0 || size < 0 || offset < 0) return false;
    auto p = static_cast<const char*>(data);
    while (size > 0) {
        ssize_t n = ::pwrite(fd_, p, static_cast<size_t>(size), offset);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        p += n, offset += n, size -= n;
    }
    return true;
}

bool File::write(const void* data, int64_t size) {
    if (!writeAt(position_, data, size)) return false;
    position_ += size;
    return true;
}

bool File::seek(int64_t offset) {
    if (fd_ < 0 || offset < 0) return false;
    position_ = offset;
    return true;
}

int64_t File::tell() const {
    return position_;
}

std::optional<int64_t> File::size() const {
    struct stat st;
    if (fd_ < 0 || ::fstat(fd_, &st) != 0) return std::nullopt;
    return st.st_size;
}

bool File::resize(int64_t size) {
    return fd_ >= 0 && size >= 0 && ::ftruncate(fd_, size) == 0;
}

bool File::close() {
    if (fd_ < 0) return false;
    bool ok = ::close(fd_) == 0;
    fd_ = -1;
    return ok;
}

bool File::isOpen() const {
    return fd_ >= 0;
}

}  // namespace tovren::platform
