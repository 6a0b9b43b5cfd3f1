#include "fetch/archive_file.h"

#include <gtest/gtest.h>

#include <random>

#include "support/scratch.h"

namespace tovren::fetch {
namespace {

using testing::ScratchFolder;

// An open archive file through the hooks, closed at the end.
struct Hooked {
    zlib_filefunc64_def io;
    ArchiveFileStats stats;
    voidpf stream = nullptr;

    explicit Hooked(const std::string& path,
                    int mode = ZLIB_FILEFUNC_MODE_READ | ZLIB_FILEFUNC_MODE_EXISTING) {
        fillArchiveFileFunctions(&io, &stats);
        stream = io.zopen64_file(io.opaque, path.c_str(), mode);
    }
    ~Hooked() {
        if (stream) io.zclose_file(io.opaque, stream);
    }
    std::string read(uLong size) {
        std::string out(size, '\0');
        out.resize(io.zread_file(io.opaque, stream, out.data(), size));
        return out;
    }
    long seek(ZPOS64_T offset, int origin) {
        return io.zseek64_file(io.opaque, stream, offset, origin);
    }
    ZPOS64_T tell() { return io.ztell64_file(io.opaque, stream); }
};

std::string randomBytes(size_t size) {
    std::mt19937 random(7);
    std::string bytes(size, '\0');
    for (char& c : bytes) c = static_cast<char>(random());
    return bytes;
}

TEST(ArchiveFile, ReadsWhatTheFileHoldsWhereverMinizipGoes) {
    ScratchFolder dir;
    const std::string bytes = randomBytes(3 * 1024 * 1024 + 123);
    const ZPOS64_T size = bytes.size();
    dir.writeFile("a.zip", bytes);
    Hooked file(dir / "a.zip");
    ASSERT_NE(file.stream, nullptr);
    struct {
        int origin;
        ZPOS64_T offset;
        uLong read;
        const char* why;
    } steps[] = {
        {ZLIB_FILEFUNC_SEEK_SET, 0, 4, "the signature at the start"},
        {ZLIB_FILEFUNC_SEEK_END, 0, 0, "the end, for the size"},
        {ZLIB_FILEFUNC_SEEK_SET, size - 1028, 1028, "the end records"},
        {ZLIB_FILEFUNC_SEEK_SET, size - 2052, 1028, "searching backwards"},
        {ZLIB_FILEFUNC_SEEK_SET, size - 3076, 1030, "further back, overlapping"},
        {ZLIB_FILEFUNC_SEEK_SET, 1000, 46, "a central directory header"},
        {ZLIB_FILEFUNC_SEEK_CUR, 20, 2, "skipping an extra field"},
        {ZLIB_FILEFUNC_SEEK_SET, 2000000, 16384, "entry data elsewhere"},
        {ZLIB_FILEFUNC_SEEK_SET, 1068, 46, "the next header"},
        {ZLIB_FILEFUNC_SEEK_SET, 2016384, 16384, "the data goes on"},
        {ZLIB_FILEFUNC_SEEK_SET, 524000, 2000, "across the end of a window"},
        {ZLIB_FILEFUNC_SEEK_SET, 100, 1500000, "more than a window at once"},
        {ZLIB_FILEFUNC_SEEK_SET, size - 10, 100, "past the end: what is there"},
        {ZLIB_FILEFUNC_SEEK_SET, size + 5, 10, "beyond the end: nothing"},
    };
    for (const auto& s : steps) {
        SCOPED_TRACE(s.why);
        ZPOS64_T before = file.tell();
        ASSERT_EQ(file.seek(s.offset, s.origin), 0);
        ZPOS64_T at = s.origin == ZLIB_FILEFUNC_SEEK_SET   ? s.offset
                      : s.origin == ZLIB_FILEFUNC_SEEK_CUR ? before + s.offset
                                                           : size + s.offset;
        EXPECT_EQ(file.tell(), at);
        std::string expected = at < size ? bytes.substr(at, s.read) : "";
        EXPECT_EQ(file.read(s.read), expected);
        EXPECT_EQ(file.tell(), at + expected.size());
    }
    EXPECT_EQ(file.io.zerror_file(file.io.opaque, file.stream), 0);
}

TEST(ArchiveFile, SmallReadsReachTheFileInLargePieces) {
    ScratchFolder dir;
    const std::string bytes = randomBytes(4 * 1024 * 1024);
    dir.writeFile("a.zip", bytes);
    {
        Hooked file(dir / "a.zip");
        std::string all;
        for (std::string piece; !(piece = file.read(16384)).empty();) all += piece;
        EXPECT_EQ(all, bytes);
        EXPECT_LE(file.stats.fileReads, 4 * 1024 * 1024 / kReadAheadBytes + 1);
    }
    {
        // Headers of the central directory and entry data in turn, as an extraction reads them:
        // each keeps a window of its own.
        Hooked file(dir / "a.zip");
        const ZPOS64_T directory = 3 * 1024 * 1024;
        for (ZPOS64_T i = 0; i < 60; ++i) {
            ASSERT_EQ(file.seek(directory + i * 46, ZLIB_FILEFUNC_SEEK_SET), 0);
            EXPECT_EQ(file.read(46), bytes.substr(directory + i * 46, 46));
            ASSERT_EQ(file.seek(i * 16384, ZLIB_FILEFUNC_SEEK_SET), 0);
            EXPECT_EQ(file.read(16384), bytes.substr(i * 16384, 16384));
        }
        EXPECT_LE(file.stats.fileReads, 3);
    }
}

TEST(ArchiveFile, OpensExistingFilesForReadingOnly) {
    ScratchFolder dir;
    dir.writeFile("a.zip", "PK");
    EXPECT_EQ(Hooked(dir / "missing.zip").stream, nullptr);
    EXPECT_EQ(Hooked(dir.path()).stream, nullptr);
    EXPECT_EQ(Hooked(dir / "a.zip", ZLIB_FILEFUNC_MODE_WRITE | ZLIB_FILEFUNC_MODE_CREATE).stream,
              nullptr);
    Hooked file(dir / "a.zip");
    ASSERT_NE(file.stream, nullptr);
    EXPECT_EQ(file.io.zwrite_file(file.io.opaque, file.stream, "x", 1), 0u);
    EXPECT_EQ(file.read(10), "PK");
    EXPECT_EQ(dir.readFile("a.zip"), "PK");
}

}  // namespace
}  // namespace tovren::fetch
