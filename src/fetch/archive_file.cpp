#include "fetch/archive_file.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <optional>
#include <string>

#include "platform/files.h"

namespace tovren::fetch {
namespace {

// A stretch of the file held in memory.
struct Window {
    std::unique_ptr<unsigned char[]> bytes;
    int64_t start = 0;
    int64_t length = 0;
    uint64_t lastUse = 0;

    bool holds(int64_t position) const { return position >= start && position < start + length; }
};

struct ArchiveStream {
    platform::File file;
    int64_t size = 0;
    int64_t position = 0;
    Window windows[2];
    uint64_t uses = 0;
    bool failed = false;
    ArchiveFileStats* stats = nullptr;

    // Reads from the file at `at` until `size` bytes or the end; -1 on an error.
    int64_t readFile(int64_t at, unsigned char* into, int64_t count) {
        if (!file.seek(at)) return -1;
        int64_t got = 0;
        while (got < count) {
            int64_t n = file.read(into + got, count - got);
            if (n < 0) return -1;
            if (n == 0) break;
            got += n;
        }
        if (stats) {
            ++stats->fileReads;
            stats->bytesRead += got;
        }
        return got;
    }

    // Loads the least recently used window with the stretch around `position`; false on an error.
    Window* load(int64_t position, int64_t wanted) {
        Window& w = windows[0].lastUse <= windows[1].lastUse ? windows[0] : windows[1];
        if (!w.bytes) {
            w.bytes.reset(new (std::nothrow) unsigned char[kReadAheadBytes]);
            if (!w.bytes) return nullptr;
        }
        // Reading backwards (minizip looks for the end records from the back) keeps what follows
        // in the window; reading forwards takes in what follows.
        int64_t start = position;
        const Window& other = &w == &windows[0] ? windows[1] : windows[0];
        if (other.length > 0 && position < other.start && other.start - position < kReadAheadBytes)
            start = std::max<int64_t>(0, std::min(position, position + wanted - kReadAheadBytes));
        w.length = 0;
        int64_t got = readFile(start, w.bytes.get(), kReadAheadBytes);
        if (got < 0) return nullptr;
        w.start = start;
        w.length = got;
        return &w;
    }

    unsigned long read(unsigned char* into, unsigned long count) {
        unsigned long done = 0;
        while (done < count && position < size) {
            Window* w = windows[0].holds(position)   ? &windows[0]
                        : windows[1].holds(position) ? &windows[1]
                                                     : nullptr;
            int64_t remaining = static_cast<int64_t>(count - done);
            if (!w && remaining >= kReadAheadBytes) {
                // A read as large as a window goes to the file directly.
                int64_t n = readFile(position, into + done, remaining);
                if (n <= 0) {
                    failed = n < 0;
                    break;
                }
                position += n;
                done += static_cast<unsigned long>(n);
                continue;
            }
            if (!w) w = load(position, remaining);
            if (!w || !w->holds(position)) {
                failed = !w;
                break;
            }
            w->lastUse = ++uses;
            int64_t n = std::min(remaining, w->start + w->length - position);
            std::memcpy(into + done, w->bytes.get() + (position - w->start),
                        static_cast<size_t>(n));
            position += n;
            done += static_cast<unsigned long>(n);
        }
        return done;
    }
};

voidpf ZCALLBACK openArchive(voidpf opaque, const void* filename, int mode) {
    if (!filename || (mode & ZLIB_FILEFUNC_MODE_READWRITEFILTER) != ZLIB_FILEFUNC_MODE_READ)
        return nullptr;
    std::optional<platform::File> file =
        platform::File::open(static_cast<const char*>(filename), platform::File::Mode::Read);
    if (!file) return nullptr;
    std::optional<int64_t> size = file->size();
    if (!size) return nullptr;
    auto* stream = new (std::nothrow) ArchiveStream;
    if (!stream) return nullptr;
    stream->file = std::move(*file);
    stream->size = *size;
    stream->stats = static_cast<ArchiveFileStats*>(opaque);
    return stream;
}

uLong ZCALLBACK readArchive(voidpf, voidpf stream, void* buffer, uLong size) {
    return static_cast<ArchiveStream*>(stream)->read(static_cast<unsigned char*>(buffer), size);
}

uLong ZCALLBACK refuseWrite(voidpf, voidpf, const void*, uLong) {
    return 0;
}

ZPOS64_T ZCALLBACK tellArchive(voidpf, voidpf stream) {
    return static_cast<ZPOS64_T>(static_cast<ArchiveStream*>(stream)->position);
}

long ZCALLBACK seekArchive(voidpf, voidpf stream, ZPOS64_T offset, int origin) {
    auto* s = static_cast<ArchiveStream*>(stream);
    int64_t base = 0;
    switch (origin) {
        case ZLIB_FILEFUNC_SEEK_SET:
            base = 0;
            break;
        case ZLIB_FILEFUNC_SEEK_CUR:
            base = s->position;
            break;
        case ZLIB_FILEFUNC_SEEK_END:
            base = s->size;
            break;
        default:
            return -1;
    }
    // Offsets are unsigned; one that would go past 2^63 is no position in any file.
    if (offset > static_cast<ZPOS64_T>(INT64_MAX - base)) return -1;
    s->position = base + static_cast<int64_t>(offset);
    return 0;
}

int ZCALLBACK closeArchive(voidpf, voidpf stream) {
    auto* s = static_cast<ArchiveStream*>(stream);
    bool ok = s->file.close();
    delete s;
    return ok ? 0 : -1;
}

int ZCALLBACK archiveError(voidpf, voidpf stream) {
    return static_cast<ArchiveStream*>(stream)->failed ? -1 : 0;
}

}  // namespace

void fillArchiveFileFunctions(zlib_filefunc64_def* functions, ArchiveFileStats* stats) {
    functions->zopen64_file = openArchive;
    functions->zread_file = readArchive;
    functions->zwrite_file = refuseWrite;
    functions->ztell64_file = tellArchive;
    functions->zseek64_file = seekArchive;
    functions->zclose_file = closeArchive;
    functions->zerror_file = archiveError;
    functions->opaque = stats;
}

}  // namespace tovren::fetch
