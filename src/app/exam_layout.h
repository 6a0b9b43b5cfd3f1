#pragma once
// Where everything lives: the one local folder and the question server's paths. Addresses are
// plain concatenations; nothing is percent-encoded, and an empty text adds nothing.
#include <string>
#include <string_view>

#include "app/build_config.h"

namespace tovren::app {

// The exam folder in its two written forms: the folder itself, and the prefix of its files.
inline constexpr std::string_view kExamFolder = "c:\\Kavrel";
inline constexpr std::string_view kExamFolderPrefix = "c:\\Kavrel\\";

inline constexpr std::string_view kServerBase = TOVREN_SERVER_BASE;
inline constexpr std::string_view kTestingSiteBase = TOVREN_TESTING_SITE_BASE;

std::string catalogueAddress();  // ServerBase/Kavrel/config.txt
std::string cataloguePath();     // c:\Kavrel\config.ini
// ServerBase/Kavrel/<type>-<number>.zip
std::string packageAddress(std::string_view typeText, std::string_view numberText);
// The download target of a package: the folder prefix, so the server's name is kept.
std::string packageDownloadTarget();
// c:\Kavrel\<type>-<number>.zip, the copy that is unpacked
std::string packagePath(std::string_view typeText, std::string_view numberText);
// c:\Kavrel\<type>-<number>, no trailing backslash
std::string unpackFolder(std::string_view typeText, std::string_view numberText);
std::string helpAddress();   // ServerBase/Kavrel/ITHelp.chm
std::string helpPath();      // c:\Kavrel\ITHelp.chm
std::string loginAddress();  // TestingSiteBase/passport/login

// The same server addresses under another base, for tools that check a server.
std::string catalogueAddress(std::string_view serverBase);
std::string packageAddress(std::string_view serverBase, std::string_view typeText,
                           std::string_view numberText);
std::string helpAddress(std::string_view serverBase);

// Makes c:\Kavrel when it is not an existing folder. A failure shows later, as downloads into
// the folder that end without a file.
void ensureExamFolder();

}  // namespace tovren::app
