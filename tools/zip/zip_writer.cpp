#include "zip/zip_writer.h"

#include <zlib.h>

namespace tovren::zip {
namespace {

void put16(std::string& out, uint32_t v) {
    out += static_cast<char>(v & 0xFF);
    out += static_cast<char>((v >> 8) & 0xFF);
}

void put32(std::string& out, uint32_t v) {
    put16(out, v & 0xFFFF);
    put16(out, v >> 16);
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

std::string zipArchive(const std::vector<ZipEntry>& entries) {
    std::string body, directory;
    for (const ZipEntry& e : entries) {
        std::string stored = e.compressed            ? *e.compressed
                             : e.method == kDeflated ? deflateRaw(e.data)
                                                     : e.data;
        uint32_t crc = e.crc.value_or(crcOf(e.data));
        uint32_t size = e.uncompressedSize.value_or(static_cast<uint32_t>(e.data.size()));
        uint32_t offset = static_cast<uint32_t>(body.size());

        put32(body, 0x04034B50);
        put16(body, 20);  // version needed
        put16(body, e.flags);
        put16(body, e.method);
        put32(body, 0x5A210000);  // a fixed date and time
        put32(body, crc);
        put32(body, static_cast<uint32_t>(stored.size()));
        put32(body, size);
        put16(body, static_cast<uint32_t>(e.name.size()));
        put16(body, 0);  // extra field length
        body += e.name;
        body += stored;

        put32(directory, 0x02014B50);
        put16(directory, e.versionMadeBy);
        put16(directory, 20);
        put16(directory, e.flags);
        put16(directory, e.method);
        put32(directory, 0x5A210000);
        put32(directory, crc);
        put32(directory, static_cast<uint32_t>(stored.size()));
        put32(directory, size);
        put16(directory, static_cast<uint32_t>(e.name.size()));
        put16(directory, 0);  // extra
        put16(directory, 0);  // comment
        put16(directory, 0);  // disk
        put16(directory, 0);  // internal attributes
        put32(directory, e.externalAttributes);
        put32(directory, offset);
        directory += e.name;
    }
    std::string archive = body + directory;
    put32(archive, 0x06054B50);
    put16(archive, 0);
    put16(archive, 0);
    put16(archive, static_cast<uint32_t>(entries.size()));
    put16(archive, static_cast<uint32_t>(entries.size()));
    put32(archive, static_cast<uint32_t>(directory.size()));
    put32(archive, static_cast<uint32_t>(body.size()));
    put16(archive, 0);  // comment
    return archive;
}

}  // namespace tovren::zip
