#include "exam/exam_layout.h"

#include "platform/files.h"

namespace tovren::exam {
namespace {

std::string join(std::initializer_list<std::string_view> parts) {
    std::string out;
    for (std::string_view p : parts) out += p;
    return out;
}

}  // namespace

std::string catalogueAddress(std::string_view serverBase) {
    return join({serverBase, "/Kavrel/config.txt"});
}
std::string cataloguePath() {
    return join({kExamFolderPrefix, "config.ini"});
}

std::string packageAddress(std::string_view typeText, std::string_view numberText, std::string_view serverBase) {
    return join({serverBase, "/Kavrel/", typeText, "-", numberText, ".zip"});
}

std::string packageDownloadTarget() {
    return std::string(kExamFolderPrefix);
}

std::string packagePath(std::string_view typeText, std::string_view numberText) {
    return join({kExamFolderPrefix, typeText, "-", numberText, ".zip"});
}

std::string unpackFolder(std::string_view typeText, std::string_view numberText) {
    return join({kExamFolderPrefix, typeText, "-", numberText});
}

std::string helpAddress(std::string_view serverBase) {
    return join({serverBase, "/Kavrel/ITHelp.chm"});
}
std::string helpPath() {
    return join({kExamFolderPrefix, "ITHelp.chm"});
}
std::string loginAddress(std::string_view testingSiteBase) {
    return join({testingSiteBase, "/passport/login"});
}

void ensureExamFolder() {
    if (!platform::isDirectory(kExamFolder)) platform::createFolder(kExamFolder);
}

}  // namespace tovren::exam
