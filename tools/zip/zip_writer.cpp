#include "zip/zip_writer.h"

#include <zlib.h>

namespace tovren::zip {
namespace {

constexpr uint32_t kMarker32 = 0xFFFFFFFF;
constexpr uint16_t kZip64ExtraId = 0x0001;

void put16(std::string& out, uint32_t v) {
    out += static_cast<char>(v & 0xFF);
    out += static_cast<char>((v >> 8) & 0xFF);
}

void put32(std::string& out, uint32_t v) {
    put16(out, v & 0xFFFF);
    put16(out, v >> 16);
}

void put64(std::string& out, uint64_t v) {
    put32(out, static_cast<uint32_t>(v));
    put32(out, static_cast<uint32_t>(v >> 32));
}

// A classic field: the value, or the marker that sends the reader to the ZIP64 record.
uint32_t field32(uint64_t value, bool inZip64) {
    return inZip64 || value >= kMarker32 ? kMarker32 : static_cast<uint32_t>(value);
}

std::string zip64Extra(const std::vector<uint64_t>& values) {
    std::string extra;
    put16(extra, kZip64ExtraId);
    put16(extra, static_cast<uint32_t>(values.size() * 8));
    for (uint64_t v : values) put64(extra, v);
    return extra;
}

}  // namespace

std::string deflateRaw(std::string_view data) {
    z_stream z = {};
    deflateInit2(&z, Z_DEFAULT_COMPRESSION, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
    std::string out(deflateBound(&z, static_cast<uLong>(data.size())), '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    z.avail_in = static_cast<uInt>(data.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

uint32_t crcOf(std::string_view data) {
    return static_cast<uint32_t>(
        crc32(0, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size())));
}

std::vector<ZipPiece> zipArchivePieces(const std::vector<ZipEntry>& entries,
                                       const ZipLayout& layout) {
    std::vector<ZipPiece> pieces(1);
    auto end = [&] { return pieces.back().at + pieces.back().bytes.size(); };
    std::string directory;
    for (const ZipEntry& e : entries) {
        if (e.gapBefore > 0) pieces.push_back({end() + e.gapBefore, {}});
        std::string& body = pieces.back().bytes;
        const std::string stored = e.compressed            ? *e.compressed
                                   : e.method == kDeflated ? deflateRaw(e.data)
                                                           : e.data;
        const uint32_t crc = e.crc.value_or(crcOf(e.data));
        const uint64_t size = e.uncompressedSize.value_or(e.data.size());
        const uint64_t offset = end();
        const bool zip64 = e.zip64 != Zip64::Off;
        const bool localZip64 = e.zip64 == Zip64::Everywhere || (zip64 && e.streamed);
        const uint16_t flags = e.flags | (e.streamed ? kDataDescriptorFlag : 0);
        const uint16_t versionNeeded = zip64 ? 45 : 20;

        std::string localExtra;
        if (localZip64)
            localExtra = e.streamed ? zip64Extra({0, 0})
                                    : zip64Extra({e.localZip64Size.value_or(size), stored.size()});
        put32(body, 0x04034B50);
        put16(body, versionNeeded);
        put16(body, flags);
        put16(body, e.method);
        put32(body, 0x5A210000);  // a fixed date and time
        put32(body, e.streamed ? 0 : crc);
        put32(body, localZip64 ? kMarker32 : e.streamed ? 0 : field32(stored.size(), false));
        put32(body, localZip64 ? kMarker32 : e.streamed ? 0 : field32(size, false));
        put16(body, static_cast<uint32_t>(e.name.size()));
        put16(body, static_cast<uint32_t>(localExtra.size()));
        body += e.name;
        body += localExtra;
        body += stored;
        if (e.streamed) {
            put32(body, 0x08074B50);
            put32(body, crc);
            if (zip64) {
                put64(body, stored.size());
                put64(body, size);
            } else {
                put32(body, static_cast<uint32_t>(stored.size()));
                put32(body, static_cast<uint32_t>(size));
            }
        }

        const std::string centralExtra = zip64 ? zip64Extra({size, stored.size(), offset}) : "";
        put32(directory, 0x02014B50);
        put16(directory, e.versionMadeBy);
        put16(directory, versionNeeded);
        put16(directory, flags);
        put16(directory, e.method);
        put32(directory, 0x5A210000);
        put32(directory, crc);
        put32(directory, field32(stored.size(), zip64));
        put32(directory, field32(size, zip64));
        put16(directory, static_cast<uint32_t>(e.name.size()));
        put16(directory, static_cast<uint32_t>(centralExtra.size()));
        put16(directory, 0);  // comment
        put16(directory, 0);  // disk
        put16(directory, 0);  // internal attributes
        put32(directory, e.externalAttributes);
        put32(directory, field32(offset, zip64));
        directory += e.name;
        directory += centralExtra;
    }

    const uint64_t directoryOffset = end();
    const uint64_t count = entries.size();
    std::string& tail = pieces.back().bytes;
    tail += directory;
    if (layout.zip64End) {
        const uint64_t recordOffset = end();
        put32(tail, 0x06064B50);
        put64(tail, 44);  // the size of the rest of this record
        put16(tail, 45);  // made by
        put16(tail, 45);  // needed
        put32(tail, 0);   // this disk
        put32(tail, 0);   // the disk of the directory
        put64(tail, layout.zip64EndEntries.value_or(count));
        put64(tail, layout.zip64EndEntries.value_or(count));
        put64(tail, directory.size());
        put64(tail, layout.zip64EndDirectoryOffset.value_or(directoryOffset));
        put32(tail, 0x07064B50);
        put32(tail, 0);  // the disk of the ZIP64 end record
        put64(tail, layout.locatorTarget.value_or(recordOffset));
        put32(tail, 1);  // disks in all
    }
    const bool filled = layout.classicEndFilled;
    const uint32_t count16 = filled || count >= 0xFFFF ? 0xFFFF : static_cast<uint32_t>(count);
    put32(tail, 0x06054B50);
    put16(tail, 0);
    put16(tail, 0);
    put16(tail, count16);
    put16(tail, count16);
    put32(tail, field32(directory.size(), filled));
    put32(tail, field32(directoryOffset, filled));
    put16(tail, 0);  // comment
    return pieces;
}

std::string zipArchive(const std::vector<ZipEntry>& entries, const ZipLayout& layout) {
    std::string archive;
    for (const ZipPiece& piece : zipArchivePieces(entries, layout)) {
        archive.resize(static_cast<size_t>(piece.at), '\0');
        archive += piece.bytes;
    }
    return archive;
}

}  // namespace tovren::zip
