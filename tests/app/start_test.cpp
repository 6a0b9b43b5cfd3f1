// The client at start, on Windows: the embedded browser's rendering mode is chosen before any
// browser control is made.
#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>

#include "platform/browser_emulation.h"
#include "platform/wide.h"
#include "support/scratch.h"

namespace tovren::platform {
namespace {

constexpr wchar_t kEmulationKey[] =
    L"Software\\Microsoft\\Internet Explorer\\Main\\FeatureControl\\FEATURE_BROWSER_EMULATION";

// A DWORD value of the current user's emulation key, or nothing when there is none.
std::optional<DWORD> emulationValue(const std::wstring& name) {
    DWORD value = 0, size = sizeof value, type = 0;
    LSTATUS status = RegGetValueW(HKEY_CURRENT_USER, kEmulationKey, name.c_str(), RRF_RT_ANY, &type,
                                  &value, &size);
    if (status != ERROR_SUCCESS || type != REG_DWORD) return std::nullopt;
    return value;
}

void setEmulationValue(const std::wstring& name, DWORD value) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, kEmulationKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                              &key, nullptr),
              ERROR_SUCCESS);
    RegSetValueExW(key, name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
    RegCloseKey(key);
}

void deleteEmulationValue(const std::wstring& name) {
    RegDeleteKeyValueW(HKEY_CURRENT_USER, kEmulationKey, name.c_str());
}

DWORD valueCount() {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kEmulationKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return 0;
    DWORD count = 0;
    RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &count, nullptr, nullptr,
                     nullptr, nullptr);
    RegCloseKey(key);
    return count;
}

TEST(BrowserEmulation, WritesOnlyTheProgramsOwnValueForTheCurrentUser) {
    const std::wstring own = widen(browserEmulationName());
    EXPECT_EQ(own, L"start_test.exe") << "the executable's file name, without its folder";
    setEmulationValue(L"other-program.exe", 7000);
    setEmulationValue(own, 7000);  // an older program of the same name left IE 7 here
    DWORD before = valueCount();

    EXPECT_TRUE(chooseBrowserEmulation());
    EXPECT_EQ(emulationValue(own), std::optional<DWORD>(11001));
    EXPECT_EQ(emulationValue(L"other-program.exe"), std::optional<DWORD>(7000)) << "another program's value stays";
    EXPECT_EQ(valueCount(), before) << "nothing but the program's own value";
    HKEY machine = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Internet Explorer\\Main\\FeatureControl\\"
                      L"FEATURE_BROWSER_EMULATION", 0, KEY_READ, &machine) == ERROR_SUCCESS) {
        DWORD value = 0, size = sizeof value;
        EXPECT_NE(RegQueryValueExW(machine, own.c_str(), nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size),
                  ERROR_SUCCESS)
            << "the machine-wide key is not touched";
        RegCloseKey(machine);
    }
    deleteEmulationValue(L"other-program.exe");
    deleteEmulationValue(own);
}

// The client, started as a user starts it, under a name of its own so that its value is new.
TEST(ClientStart, TheBrowserEmulationValueIsThereAfterStart) {
    testing::ScratchFolder dir;
    const std::string exe = dir / "tovren-emulation-check.exe";
    std::filesystem::copy_file(testing::fsPath(TOVREN_CLIENT_EXE), testing::fsPath(exe));
    const std::wstring name = L"tovren-emulation-check.exe";
    deleteEmulationValue(name);
    ASSERT_FALSE(emulationValue(name));

    std::wstring commandLine = L"\"" + widen(exe) + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    ASSERT_TRUE(CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                               &startup, &process));
    // The value is written first thing; the client is ended as soon as it is seen, before it
    // reaches for any server.
    std::optional<DWORD> seen;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!(seen = emulationValue(name)) && std::chrono::steady_clock::now() < deadline &&
           WaitForSingleObject(process.hProcess, 0) == WAIT_TIMEOUT)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    TerminateProcess(process.hProcess, 0);
    WaitForSingleObject(process.hProcess, 10000);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    if (!seen) seen = emulationValue(name);
    EXPECT_EQ(seen, std::optional<DWORD>(11001));
    deleteEmulationValue(name);
}

}  // namespace
}  // namespace tovren::platform
