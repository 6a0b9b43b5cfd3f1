#pragma once
// Just enough of the PE format (Microsoft's "PE Format" page,
// https://learn.microsoft.com/en-us/windows/win32/debug/pe-format) to find a named section of a
// 64-bit Windows executable and to keep the header's checksum right after a change. Reads bytes
// only, so it works on every build.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tovren::tool {

struct PeImage {
    uint16_t subsystem = 0;          // 2: windowed (GUI), 3: console
    bool signedImage = false;        // carries an Authenticode certificate table
    std::size_t checksumOffset = 0;  // of the optional header's CheckSum field
};
inline constexpr uint16_t kSubsystemWindowsGui = 2;

struct PeSection {
    std::size_t fileOffset = 0;  // of the section's raw data
    std::size_t size = 0;        // bytes present both in the file and in memory
};

// Why `bytes` is no 64-bit Windows executable, or nothing when it is one.
std::optional<std::string> peProblem(std::string_view bytes);
// The headers of an image that peProblem accepted.
PeImage readPeImage(std::string_view bytes);
// The section of that name (at most 8 characters), when the image has one within the file.
std::optional<PeSection> findSection(std::string_view bytes, std::string_view name);
// The checksum the loader's CheckSumMappedFile computes: 16-bit one's-complement sum of the
// file with the CheckSum field taken as 0, plus the file's length.
uint32_t peChecksum(std::string_view bytes, std::size_t checksumOffset);

}  // namespace tovren::tool
