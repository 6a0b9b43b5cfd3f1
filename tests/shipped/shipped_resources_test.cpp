// What Explorer shows of each shipped exe (Properties, Details) and how Windows starts it: the
// version information read as Explorer reads it (GetFileVersionInfo, VerQueryValue) and the
// manifest's requested execution level.
#include <windows.h>

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

struct Shipped {
    const wchar_t* path;
    const wchar_t* description;
    const wchar_t* fileName;
};
const Shipped kShipped[] = {
    {TOVREN_CLIENT_EXE, L"Tovren training client", L"tovren.exe"},
    {TOVREN_TOOL_EXE, L"Tovren question server tool", L"tovren-tool.exe"},
};

// A string of the version information's U.S. English, Unicode block.
std::wstring versionString(const std::vector<char>& info, const wchar_t* name) {
    void* value = nullptr;
    UINT length = 0;
    std::wstring key = std::wstring(L"\\StringFileInfo\\040904b0\\") + name;
    if (!VerQueryValueW(info.data(), key.c_str(), &value, &length) || length == 0) return L"<none>";
    return std::wstring(static_cast<const wchar_t*>(value), length - 1);
}

std::string narrow(const std::wstring& w) {
    return std::string(w.begin(), w.end());
}

TEST(ShippedResources, VersionInformation) {
    for (const Shipped& exe : kShipped) {
        SCOPED_TRACE(narrow(exe.fileName));
        DWORD ignored = 0;
        DWORD size = GetFileVersionInfoSizeW(exe.path, &ignored);
        ASSERT_GT(size, 0u) << "no version information";
        std::vector<char> info(size);
        ASSERT_TRUE(GetFileVersionInfoW(exe.path, 0, size, info.data()));
        EXPECT_EQ(versionString(info, L"ProductName"), L"Tovren");
        EXPECT_EQ(versionString(info, L"FileDescription"), exe.description);
        EXPECT_EQ(versionString(info, L"OriginalFilename"), exe.fileName);
        EXPECT_EQ(versionString(info, L"ProductVersion"), TOVREN_VERSION);

        VS_FIXEDFILEINFO* fixed = nullptr;
        UINT length = 0;
        ASSERT_TRUE(VerQueryValueW(info.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
        EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
        EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_APP));
        EXPECT_EQ(HIWORD(fixed->dwProductVersionMS), TOVREN_VERSION_MAJOR);
        EXPECT_EQ(LOWORD(fixed->dwProductVersionMS), TOVREN_VERSION_MINOR);
    }
}

TEST(ShippedResources, ManifestAsksForTheUsersOwnRights) {
    for (const Shipped& exe : kShipped) {
        SCOPED_TRACE(narrow(exe.fileName));
        HMODULE module = LoadLibraryExW(exe.path, nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
        ASSERT_NE(module, nullptr) << GetLastError();
        HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24));  // RT_MANIFEST
        ASSERT_NE(found, nullptr) << "no manifest with the id Windows reads for a process";
        const char* bytes = static_cast<const char*>(LockResource(LoadResource(module, found)));
        std::string manifest(bytes, SizeofResource(module, found));
        EXPECT_NE(manifest.find("<requestedExecutionLevel level=\"asInvoker\" uiAccess=\"false\"/>"), std::string::npos)
            << manifest;
        FreeLibrary(module);
    }
}

}  // namespace
