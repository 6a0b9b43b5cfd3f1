#include "support/scratch.h"

#include <atomic>
#include <fstream>
#include <random>
#include <sstream>

#include "platform/files.h"
#include "platform/text.h"

namespace tovren::testing {
namespace fs = std::filesystem;

fs::path fsPath(std::string_view programPath) {
#ifdef _WIN32
    std::u16string wide = platform::utf8ToUtf16(programPath);
    return fs::path(std::wstring(wide.begin(), wide.end()));
#else
    return fs::path(platform::nativePath(programPath));
#endif
}

namespace {
std::string programPathOf(const fs::path& p) {
#ifdef _WIN32
    std::wstring w = p.wstring();
    return platform::utf16ToUtf8(std::u16string(w.begin(), w.end()));
#else
    return p.string();
#endif
}
}  // namespace

ScratchFolder::ScratchFolder() {
    static std::atomic<unsigned> counter{0};
    std::random_device random;
    for (;;) {
        std::ostringstream name;
        name << "tovren-test-" << random() << "-" << counter++;
        fs::path p = fs::temp_directory_path() / name.str();
        std::error_code error;
        if (fs::create_directory(p, error)) {
            path_ = programPathOf(p);
            while (!path_.empty() && (path_.back() == '\\' || path_.back() == '/'))
                path_.pop_back();
            return;
        }
    }
}

ScratchFolder::~ScratchFolder() {
    std::error_code error;
    // Read-only files left by a test must not keep the folder alive.
    for (auto it = fs::recursive_directory_iterator(fsPath(path_), error);
         !error && it != fs::recursive_directory_iterator(); it.increment(error))
        fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, error);
    fs::remove_all(fsPath(path_), error);
}

std::string ScratchFolder::operator/(std::string_view relative) const {
#ifdef _WIN32
    return path_ + "\\" + std::string(relative);
#else
    return path_ + "/" + std::string(relative);
#endif
}

void ScratchFolder::writeFile(std::string_view relative, std::string_view bytes) const {
    fs::path p = fsPath(*this / relative);
    fs::create_directories(p.parent_path());
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string ScratchFolder::readFile(std::string_view relative) const {
    std::ifstream in(fsPath(*this / relative), std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

}  // namespace tovren::testing
