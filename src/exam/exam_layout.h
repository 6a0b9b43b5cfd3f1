#pragma once
// Where everything lives: the one local folder and the question server's paths. Addresses are
// plain concatenations; nothing is percent-encoded, and an empty text adds nothing.
#include <string>
#include <string_view>

#include "exam/brand_place.h"

namespace tovren::exam {

// The exam folder in its two written forms: the folder itself, and the prefix of its files.
inline constexpr std::string_view kExamFolder = "c:\\Kavrel";
inline constexpr std::string_view kExamFolderPrefix = "c:\\Kavrel\\";

// A compiled-in address. It is read from the executable's brand place at each use (a branded
// copy holds a school's own), so it is a constant of the executable, not of the compiler.
struct CompiledAddress {
    std::string_view (*read)();
    operator std::string_view() const { return read(); }
};
inline constexpr CompiledAddress kServerBase{brandedServerBase};
inline constexpr CompiledAddress kTestingSiteBase{brandedTestingSiteBase};

// Addresses take the question server's base, the compiled-in one unless a test points the
// program elsewhere.
std::string catalogueAddress(std::string_view serverBase = kServerBase);  // ServerBase/Kavrel/config.txt
std::string cataloguePath();     // c:\Kavrel\config.ini
// ServerBase/Kavrel/<type>-<number>.zip
std::string packageAddress(std::string_view typeText, std::string_view numberText,
                           std::string_view serverBase = kServerBase);
// The download target of a package: the folder prefix, so the server's name is kept.
std::string packageDownloadTarget();
// c:\Kavrel\<type>-<number>.zip, the copy that is unpacked
std::string packagePath(std::string_view typeText, std::string_view numberText);
// c:\Kavrel\<type>-<number>, no trailing backslash
std::string unpackFolder(std::string_view typeText, std::string_view numberText);
std::string helpAddress(std::string_view serverBase = kServerBase);  // ServerBase/Kavrel/ITHelp.chm
std::string helpPath();      // c:\Kavrel\ITHelp.chm
std::string loginAddress(std::string_view testingSiteBase = kTestingSiteBase);  // TestingSiteBase/passport/login

// Makes c:\Kavrel when it is not an existing folder. A failure shows later, as downloads into
// the folder that end without a file.
void ensureExamFolder();

}  // namespace tovren::exam
