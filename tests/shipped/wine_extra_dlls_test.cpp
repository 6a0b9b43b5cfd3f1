// Under Wine the test programs run with Wine's extra DLLs switched off (scripts/wine-run): each
// DLL of scripts/wine-extra-dlls must fail to load here, as on a Windows 7 PC without it, and
// each DLL our exes may import must load.
#include <windows.h>

#include <fstream>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

// The first word of each line that is not a comment.
std::vector<std::string> dllNames(const char* listFile) {
    std::ifstream in(listFile);
    std::vector<std::string> names;
    for (std::string line; std::getline(in, line);) {
        std::size_t end = line.find_first_of(" \t#\r");
        std::string name = line.substr(0, end);
        if (!name.empty()) names.push_back(name);
    }
    return names;
}

std::wstring wide(const std::string& ascii) {
    return std::wstring(ascii.begin(), ascii.end());
}

TEST(WineExtraDlls, AreSwitchedOff) {
    const std::vector<std::string> extra = dllNames(TOVREN_WINE_EXTRA_DLLS);
    ASSERT_GE(extra.size(), 10u) << "the list was read";
    for (const std::string& name : extra) {
        SCOPED_TRACE(name);
        HMODULE module = LoadLibraryW(wide(name).c_str());
        EXPECT_EQ(module, nullptr) << name << " is served by Wine; run the tests through scripts/wine-run";
        if (module) FreeLibrary(module);
    }
}

TEST(WineExtraDlls, TheSystemDllsStayOn) {
    const std::vector<std::string> system = dllNames(TOVREN_SYSTEM_DLLS);
    ASSERT_GE(system.size(), 5u) << "the list was read";
    for (const std::string& name : system) {
        SCOPED_TRACE(name);
        HMODULE module = LoadLibraryW(wide(name).c_str());
        EXPECT_NE(module, nullptr) << GetLastError();
        if (module) FreeLibrary(module);
    }
}

}  // namespace
