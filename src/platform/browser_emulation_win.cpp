#include <windows.h>

#include <string>

#include "platform/browser_emulation.h"
#include "platform/wide.h"

namespace tovren::platform {
namespace {

// "Internet Feature Controls (B..C)", Browser Emulation (Microsoft Docs, ee330730): the control
// reads FEATURE_BROWSER_EMULATION under HKEY_CURRENT_USER (and HKEY_LOCAL_MACHINE), one DWORD
// per executable file name; 11001 is "IE11 edge mode, whatever the !DOCTYPE". The current user's
// key needs no administrator and changes nothing for other programs.
constexpr wchar_t kEmulationKey[] =
    L"Software\\Microsoft\\Internet Explorer\\Main\\FeatureControl\\FEATURE_BROWSER_EMULATION";

std::wstring executableFileName() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (n == 0) return {};
        if (n < path.size()) {
            path.resize(n);
            break;
        }
        if (path.size() >= 32768) return {};  // longer than any Windows path
        path.resize(path.size() * 2);
    }
    size_t slash = path.find_last_of(L"\\/");
    return slash == path.npos ? path : path.substr(slash + 1);
}

}  // namespace

std::string browserEmulationName() {
    return narrow(executableFileName());
}

bool chooseBrowserEmulation() {
    const std::wstring name = executableFileName();
    if (name.empty()) return false;
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, kEmulationKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_SET_VALUE, nullptr, &key, nullptr) != ERROR_SUCCESS)
        return false;
    const DWORD value = kBrowserEmulationIe11;
    bool written = RegSetValueExW(key, name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                                  sizeof value) == ERROR_SUCCESS;
    RegCloseKey(key);
    return written;
}

}  // namespace tovren::platform
