#include "pe_image.h"

#include <algorithm>

namespace tovren::tool {
namespace {

// Offsets and values from the PE Format page.
constexpr std::size_t kPeOffsetField = 0x3C;      // e_lfanew in the MS-DOS header
constexpr std::size_t kCoffHeaderBytes = 20;
constexpr uint16_t kMachineAmd64 = 0x8664;
constexpr uint16_t kExecutableImage = 0x0002;     // IMAGE_FILE_EXECUTABLE_IMAGE
constexpr uint16_t kDll = 0x2000;                 // IMAGE_FILE_DLL
constexpr uint16_t kPe32PlusMagic = 0x20B;
constexpr std::size_t kChecksumField = 64;        // within the optional header
constexpr std::size_t kSubsystemField = 68;
constexpr std::size_t kDirectoryCountField = 108;  // PE32+
constexpr std::size_t kDirectories = 112;          // PE32+
constexpr std::size_t kCertificateDirectory = 4;
constexpr std::size_t kSectionHeaderBytes = 40;

uint16_t u16(std::string_view b, std::size_t at) {
    return static_cast<uint16_t>(static_cast<unsigned char>(b[at]) |
                                 static_cast<unsigned char>(b[at + 1]) << 8);
}
uint32_t u32(std::string_view b, std::size_t at) {
    return static_cast<uint32_t>(u16(b, at)) | static_cast<uint32_t>(u16(b, at + 2)) << 16;
}

struct Headers {
    std::size_t optional = 0;  // offset of the optional header
    std::size_t optionalBytes = 0;
    std::size_t sections = 0;  // offset of the section table
    uint16_t sectionCount = 0;
};

// Every offset is checked against the file's size before it is read.
std::optional<Headers> headersOf(std::string_view b, std::string& problem) {
    if (b.size() < kPeOffsetField + 4 || b.substr(0, 2) != "MZ") {
        problem = "not a Windows program (no MZ header)";
        return std::nullopt;
    }
    std::size_t pe = u32(b, kPeOffsetField);
    if (pe > b.size() || b.size() - pe < 4 + kCoffHeaderBytes || b.substr(pe, 4) != std::string_view("PE\0\0", 4)) {
        problem = "not a Windows program (no PE header)";
        return std::nullopt;
    }
    std::size_t coff = pe + 4;
    Headers h;
    h.sectionCount = u16(b, coff + 2);
    h.optionalBytes = u16(b, coff + 16);
    uint16_t characteristics = u16(b, coff + 18);
    h.optional = coff + kCoffHeaderBytes;
    h.sections = h.optional + h.optionalBytes;
    if (u16(b, coff) != kMachineAmd64 || !(characteristics & kExecutableImage) || (characteristics & kDll)) {
        problem = "not a 64-bit Windows executable";
        return std::nullopt;
    }
    if (h.optionalBytes < kDirectories || b.size() < h.sections ||
        (b.size() - h.sections) / kSectionHeaderBytes < h.sectionCount || u16(b, h.optional) != kPe32PlusMagic) {
        problem = "not a 64-bit Windows executable (damaged headers)";
        return std::nullopt;
    }
    return h;
}

}  // namespace

std::optional<std::string> peProblem(std::string_view bytes) {
    std::string problem;
    if (headersOf(bytes, problem)) return std::nullopt;
    return problem;
}

PeImage readPeImage(std::string_view b) {
    std::string ignored;
    Headers h = *headersOf(b, ignored);
    PeImage image;
    image.subsystem = u16(b, h.optional + kSubsystemField);
    image.checksumOffset = h.optional + kChecksumField;
    uint32_t directories = u32(b, h.optional + kDirectoryCountField);
    std::size_t certificate = h.optional + kDirectories + kCertificateDirectory * 8;
    if (directories > kCertificateDirectory && certificate + 8 <= h.optional + h.optionalBytes)
        image.signedImage = u32(b, certificate + 4) != 0;
    return image;
}

std::optional<PeSection> findSection(std::string_view b, std::string_view name) {
    std::string ignored;
    std::optional<Headers> h = headersOf(b, ignored);
    if (!h || name.size() > 8) return std::nullopt;
    for (uint16_t i = 0; i < h->sectionCount; ++i) {
        std::size_t header = h->sections + i * kSectionHeaderBytes;
        std::string_view raw = b.substr(header, 8);
        if (raw.substr(0, name.size()) != name || raw.find_first_not_of('\0', name.size()) != raw.npos)
            continue;
        std::size_t virtualSize = u32(b, header + 8);
        std::size_t rawSize = u32(b, header + 16);
        std::size_t offset = u32(b, header + 20);
        if (offset > b.size()) return std::nullopt;
        std::size_t size = std::min({virtualSize, rawSize, b.size() - offset});
        return PeSection{offset, size};
    }
    return std::nullopt;
}

uint32_t peChecksum(std::string_view b, std::size_t checksumOffset) {
    auto byteAt = [&](std::size_t i) -> uint32_t {
        if (i >= b.size() || (i >= checksumOffset && i < checksumOffset + 4)) return 0;
        return static_cast<unsigned char>(b[i]);
    };
    uint64_t sum = 0;
    for (std::size_t i = 0; i < b.size(); i += 2) {
        sum += byteAt(i) | byteAt(i + 1) << 8;
        sum = (sum & 0xFFFF) + (sum >> 16);
    }
    sum = (sum & 0xFFFF) + (sum >> 16);
    return static_cast<uint32_t>(sum + b.size());
}

}  // namespace tovren::tool
