#include "exam/set_aside.h"

#include "platform/files.h"

namespace tovren::exam {

std::string setAsidePath(std::string_view path) {
    size_t cut = path.find_last_of("\\/");
    size_t nameAt = cut == path.npos ? 0 : cut + 1;
    std::string out(path.substr(0, nameAt));
    out += '.';
    out += path.substr(nameAt);
    out += ".last";
    return out;
}

bool setAside(std::string_view path) {
    if (!platform::pathExists(path)) return true;
    if (platform::isDirectory(path)) return false;  // only files are ever set aside
    const std::string aside = setAsidePath(path);
    // One copy per file: the older one goes first. A folder standing there stays, and so does
    // the file at `path` then (the move below fails).
    if (platform::pathExists(aside)) platform::deleteFile(aside);
    if (!platform::renameNoReplace(path, aside)) return false;
    platform::setHidden(aside);  // a copy that cannot be hidden is still a copy
    return true;
}

void dropStaleCopy(std::string_view path) {
    if (!platform::pathExists(path)) return;
    const std::string aside = setAsidePath(path);
    if (platform::pathExists(aside)) platform::deleteFile(aside);
}

std::string latestCopy(std::string_view path) {
    if (platform::pathExists(path)) {
        dropStaleCopy(path);
        return std::string(path);
    }
    const std::string aside = setAsidePath(path);
    if (platform::pathExists(aside) && !platform::isDirectory(aside)) return aside;
    return std::string(path);
}

}  // namespace tovren::exam
