#pragma once
// A small ZIP writer: every header field, flag, attribute and name byte can be set, so tests can
// make archives as broken or as odd as they need, and tovren-tool bank writes question packages.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tovren::zip {

inline constexpr uint16_t kStored = 0;
inline constexpr uint16_t kDeflated = 8;
inline constexpr uint16_t kUtf8Flag = 1u << 11;
inline constexpr uint16_t kEncryptedFlag = 1u << 0;
inline constexpr uint32_t kDosFolder = 0x10;
inline constexpr uint32_t kDosReadOnly = 0x01;

// A Unix mode (e.g. 0100644, 040755, 0120777) as external attributes: the upper 16 bits.
constexpr uint32_t unixMode(uint32_t mode) {
    return mode << 16;
}

struct ZipEntry {
    std::string name{};  // raw name bytes, as stored
    std::string data{};  // the file's content
    uint16_t method = kDeflated;
    uint16_t flags = 0;
    uint32_t externalAttributes = 0;
    uint16_t versionMadeBy = 20;                 // upper byte: 0 MS-DOS, 3 Unix
    std::optional<uint32_t> crc{};               // declared CRC; the data's when unset
    std::optional<uint32_t> uncompressedSize{};  // declared size; the data's when unset
    std::optional<std::string>
        compressed{};  // the bytes stored; stored or deflated data when unset
};

// The whole archive: local headers with their data, the central directory, the end record.
std::string zipArchive(const std::vector<ZipEntry>& entries);

// Raw deflate (no zlib header), as ZIP stores it.
std::string deflateRaw(std::string_view data);
uint32_t crcOf(std::string_view data);

}  // namespace tovren::zip
