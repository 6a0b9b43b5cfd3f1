// libFuzzer target: any bytes as a question package. extractAll must return 0 or 1 for an
// existing archive, never crash or leak, and never write anywhere but the target folder.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "fetch/extract.h"

namespace {
namespace fs = std::filesystem;

// A scratch folder with the package four levels down, so that a name climbing out of the
// target folder lands somewhere the check below looks.
struct Scratch {
    fs::path root, deep, archive, target;

    Scratch() {
        std::string pattern = (fs::temp_directory_path() / "tovren-fuzz-XXXXXX").string();
        if (!mkdtemp(pattern.data())) std::abort();
        root = pattern;
        deep = root / "a" / "b" / "c" / "d";
        fs::create_directories(deep);
        archive = deep / "package.zip";
        target = deep / "package";
    }
    ~Scratch() { clear(root); }

    static void clear(const fs::path& p) {
        std::error_code error;
        for (auto it = fs::recursive_directory_iterator(p, error);
             !error && it != fs::recursive_directory_iterator(); it.increment(error))
            fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, error);
        fs::remove_all(p, error);
    }

    // True when nothing but the folders down to the package, the package and its target
    // folder's contents stands in the scratch folder.
    bool onlyTargetWritten() const {
        for (const fs::directory_entry& e : fs::recursive_directory_iterator(root)) {
            const fs::path& p = e.path();
            bool onTheWay = p == root / "a" || p == root / "a" / "b" ||
                            p == root / "a" / "b" / "c" || p == deep;
            fs::path relative = p.lexically_relative(target);
            bool inTarget = !relative.empty() && *relative.begin() != "..";
            if (!onTheWay && p != archive && !inTarget) {
                std::fprintf(stderr, "written outside the target folder: %s\n", p.c_str());
                return false;
            }
        }
        return true;
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static Scratch scratch;
    {
        std::ofstream out(scratch.archive, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    int32_t result = tovren::fetch::extractAll(scratch.archive.string(), scratch.target.string());
    if (result != tovren::fetch::kExtractDone && result != tovren::fetch::kExtractFailed)
        std::abort();
    if (!scratch.onlyTargetWritten()) std::abort();
    Scratch::clear(scratch.target);
    return 0;
}
