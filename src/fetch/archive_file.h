#pragma once
// minizip's file layer, ours: archives are opened on program paths through platform::File, and
// minizip's many small reads (single header fields, 16 KB pieces of entry data) are served from
// large read-ahead windows instead of reaching the file one by one.
#include <ioapi.h>

#include <cstdint>

namespace tovren::fetch {

// How the layer used the file, for tests and benchmarks.
struct ArchiveFileStats {
    int64_t fileReads = 0;  // reads that reached the file
    int64_t bytesRead = 0;  // bytes those reads returned
};

// Bytes one read-ahead window holds; the layer keeps two, so that the central directory and the
// entry data being extracted do not keep evicting each other.
inline constexpr int64_t kReadAheadBytes = 512 * 1024;

// Fills minizip's hooks; the file name given to unzOpen2_64 is then a program path (UTF-8).
// `stats` may be null; when given it must outlive every archive opened with these hooks.
void fillArchiveFileFunctions(zlib_filefunc64_def* functions, ArchiveFileStats* stats = nullptr);

}  // namespace tovren::fetch
