#pragma once
// A small ZIP writer: every header field, flag, attribute and name byte can be set, so tests can
// make archives as broken or as odd as they need, and tovren-tool bank writes question packages.
// It writes ZIP64 the ways archivers do: sizes and offsets only in the ZIP64 extra field, the
// ZIP64 end records, a classic end record filled with 0xFF, streams of unknown size.
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
inline constexpr uint16_t kDataDescriptorFlag = 1u << 3;
inline constexpr uint32_t kDosFolder = 0x10;
inline constexpr uint32_t kDosReadOnly = 0x01;

// A Unix mode (e.g. 0100644, 040755, 0120777) as external attributes: the upper 16 bits.
constexpr uint32_t unixMode(uint32_t mode) {
    return mode << 16;
}

// Where an entry's sizes and offset are written in 64 bits.
enum class Zip64 : uint8_t {
    Off,         // the classic 32-bit fields only
    Central,     // the central header's fields hold 0xFFFFFFFF, the values its ZIP64 extra field
    Everywhere,  // the local header's sizes as well ("ZIP64 always")
};

struct ZipEntry {
    std::string name{};  // raw name bytes, as stored
    std::string data{};  // the file's content
    uint16_t method = kDeflated;
    uint16_t flags = 0;
    uint32_t externalAttributes = 0;
    uint16_t versionMadeBy = 20;                 // upper byte: 0 MS-DOS, 3 Unix
    std::optional<uint32_t> crc{};               // declared CRC; the data's when unset
    std::optional<uint64_t> uncompressedSize{};  // declared size; the data's when unset
    std::optional<std::string>
        compressed{};  // the bytes stored; stored or deflated data when unset
    Zip64 zip64 = Zip64::Off;
    // Written as a stream of unknown size: flag bit 3, no CRC or sizes in the local header (with
    // ZIP64, 0xFFFFFFFF and a ZIP64 extra field of zeros), the real ones in a data descriptor
    // after the data (64-bit sizes with ZIP64).
    bool streamed = false;
    // The uncompressed size the local ZIP64 extra field declares, when it must differ from the
    // central one (damage).
    std::optional<uint64_t> localZip64Size{};
    // Unused bytes before the local header. Written as a gap of a sparse file, they put entries
    // beyond 4 GB without the disk space.
    uint64_t gapBefore = 0;
};

struct ZipLayout {
    bool zip64End = false;          // a ZIP64 end record and its locator before the classic one
    bool classicEndFilled = false;  // the classic end record's counts, size and offset all 0xFF
    // Values of the ZIP64 end record that contradict the rest (damage), when set.
    std::optional<uint64_t> zip64EndEntries{};
    std::optional<uint64_t> zip64EndDirectoryOffset{};
    // Where the locator says the ZIP64 end record is, when it must say otherwise.
    std::optional<uint64_t> locatorTarget{};
};

// A stretch of an archive at its offset; between two pieces the archive holds zeros.
struct ZipPiece {
    uint64_t at = 0;
    std::string bytes;
};

// The archive as pieces: local headers with their data, the central directory, the end
// records. The archive's size is the end of the last piece.
std::vector<ZipPiece> zipArchivePieces(const std::vector<ZipEntry>& entries,
                                       const ZipLayout& layout = {});
// The whole archive in one string, gaps filled with zeros.
std::string zipArchive(const std::vector<ZipEntry>& entries, const ZipLayout& layout = {});

// Raw deflate (no zlib header), as ZIP stores it.
std::string deflateRaw(std::string_view data);
uint32_t crcOf(std::string_view data);

}  // namespace tovren::zip
