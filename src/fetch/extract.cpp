#include "fetch/extract.h"

#include <unzip.h>
#include <zlib.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "fetch/archive_file.h"
#include "fetch/entry_name.h"
#include "fetch/zip64_records.h"
#include "platform/files.h"

namespace tovren::fetch {
namespace {

constexpr uLong kEncryptedFlag = 1u << 0;
constexpr uLong kUtf8NameFlag = 1u << 11;
constexpr uLong kDosFolderAttribute = 0x10;
constexpr uLong kUnixFolderMode = 1ul << 30;  // S_IFDIR in the upper 16 bits
constexpr uLong kStored = 0;
constexpr uLong kDeflated = Z_DEFLATED;
constexpr unsigned kChunk = 256 * 1024;

bool isSeparator(char c) {
    return c == '\\' || c == '/';
}

bool isDriveOnly(std::string_view path) {
    return path.size() == 2 && path[1] == ':';
}

// Makes every missing folder along the path, from the left. Program paths are UTF-8, where a
// "\" byte is always a separator; in GBK it can be the second byte of a character ("乗" is
// 81 5C), so walking the UTF-8 form splits exactly where a GBK walk that never splits a
// double-byte character would.
bool makeFolderPath(std::string_view path) {
    for (size_t i = 1; i <= path.size(); ++i) {
        if (i < path.size() && !isSeparator(path[i])) continue;
        std::string_view prefix = path.substr(0, i);
        if (isSeparator(prefix.back()) || isDriveOnly(prefix) || platform::pathExists(prefix))
            continue;
        if (!platform::createFolder(prefix) && !platform::isDirectory(prefix)) return false;
    }
    return true;
}

// Makes the folders below `folder` named by the first `count` segments.
bool makeFoldersBelow(std::string folder, const std::vector<std::string>& segments, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        folder += '\\';
        folder += segments[i];
        if (platform::pathExists(folder)) continue;
        if (!platform::createFolder(folder) && !platform::isDirectory(folder)) return false;
    }
    return true;
}

std::string joinBelow(std::string_view folder, const std::vector<std::string>& segments) {
    std::string path(folder);
    for (const std::string& segment : segments) {
        if (!path.empty() && !isSeparator(path.back())) path += '\\';
        path += segment;
    }
    return path;
}

// A ZIP archive begins with a local file header; anything shorter than 32 bytes is no archive.
bool startsWithLocalHeader(std::string_view archivePath) {
    std::optional<platform::File> file =
        platform::File::open(archivePath, platform::File::Mode::Read);
    if (!file) return false;
    unsigned char head[32];
    int64_t got = 0;
    while (got < 32) {
        int64_t n = file->read(head + got, 32 - got);
        if (n <= 0) return false;
        got += n;
    }
    return head[0] == 0x50 && head[1] == 0x4B && head[2] == 0x03 && head[3] == 0x04;
}

struct Archive {
    unzFile handle;
    explicit Archive(unzFile h) : handle(h) {}
    ~Archive() {
        if (handle) unzClose(handle);
    }
    Archive(const Archive&) = delete;
    Archive& operator=(const Archive&) = delete;
};

struct OpenEntry {
    unzFile handle;
    ~OpenEntry() { unzCloseCurrentFile(handle); }
};

struct Inflater {
    z_stream stream = {};
    bool ready = false;
    Inflater() { ready = inflateInit2(&stream, -MAX_WBITS) == Z_OK; }
    ~Inflater() {
        if (ready) inflateEnd(&stream);
    }
    Inflater(const Inflater&) = delete;
    Inflater& operator=(const Inflater&) = delete;
};

struct Buffers {
    std::unique_ptr<unsigned char[]> in{new (std::nothrow) unsigned char[kChunk]};
    std::unique_ptr<unsigned char[]> out{new (std::nothrow) unsigned char[kChunk]};
};

// Writes what the entry holds, as declared, and checks it: never more bytes than declared, and
// at the end exactly as many with the declared CRC. minizip, asked for raw data, leaves all of
// that to us; it would check the CRC only when every declared byte had come, and would stop
// quietly at the declared size however much the stream still held.
class EntryWriter {
  public:
    EntryWriter(const unz_file_info64& info, platform::File& file) : info_(info), file_(file) {}

    // Writes at most up to the declared size; false when there was more, or the write failed.
    bool put(const unsigned char* bytes, unsigned count) {
        ZPOS64_T room = info_.uncompressed_size - written_;
        unsigned take = count > room ? static_cast<unsigned>(room) : count;
        crc_ = crc32(crc_, bytes, take);
        written_ += take;
        return file_.write(bytes, take) && take == count;
    }
    bool complete() const { return written_ == info_.uncompressed_size && crc_ == info_.crc; }

  private:
    const unz_file_info64& info_;
    platform::File& file_;
    ZPOS64_T written_ = 0;
    uLong crc_ = crc32(0, nullptr, 0);
};

bool copyStored(unzFile archive, EntryWriter& writer, Buffers& buffers) {
    for (;;) {
        int n = unzReadCurrentFile(archive, buffers.in.get(), kChunk);
        if (n < 0) return false;
        if (n == 0) return writer.complete();
        if (!writer.put(buffers.in.get(), static_cast<unsigned>(n))) return false;
    }
}

bool inflateDeflated(unzFile archive, EntryWriter& writer, Buffers& buffers) {
    Inflater inflater;
    if (!inflater.ready) return false;
    z_stream& z = inflater.stream;
    for (;;) {
        int n = unzReadCurrentFile(archive, buffers.in.get(), kChunk);
        if (n <= 0) return false;  // a read error, or the data ended before the stream did
        z.next_in = buffers.in.get();
        z.avail_in = static_cast<uInt>(n);
        for (;;) {
            z.next_out = buffers.out.get();
            z.avail_out = kChunk;
            int result = inflate(&z, Z_NO_FLUSH);
            if (result != Z_OK && result != Z_STREAM_END && result != Z_BUF_ERROR) return false;
            unsigned produced = kChunk - z.avail_out;
            if (produced > 0 && !writer.put(buffers.out.get(), produced)) return false;
            // Bytes after the end of the stream are no part of the file.
            if (result == Z_STREAM_END) return writer.complete();
            if (z.avail_out == 0) continue;     // more output is waiting
            if (z.avail_in != 0) return false;  // no progress with input left: damaged
            break;                              // everything read was used; read more
        }
    }
}

// An entry's file while it is being written: a temporary name in the entry's own folder, which
// becomes the final name only once the data is complete and checked. Until then the file is
// removed on every way out, so a failed entry leaves nothing, least of all a cut-short file
// under a name that a later unpacking would keep as the student's.
class PartFile {
  public:
    // Makes a new file beside `finalPath`; nothing when none can be made.
    static std::optional<PartFile> create(const std::string& finalPath) {
        const std::string folder = finalPath.substr(0, finalPath.find_last_of("\\/") + 1);
        for (int tries = 0; tries < 8; ++tries) {
            std::string path = folder + temporaryName();
            // Hidden while it is written: a killed run leaves nothing in the student's view.
            std::optional<platform::File> file =
                platform::File::open(path, platform::File::Mode::CreateNewTemporary);
            if (file) return PartFile(std::move(path), std::move(*file));
            if (!platform::pathExists(path)) return std::nullopt;  // not a name clash
        }
        return std::nullopt;
    }
    PartFile(PartFile&& other) noexcept
        : path_(std::move(other.path_)), file_(std::move(other.file_)) {
        other.path_.clear();
    }
    PartFile& operator=(PartFile&&) = delete;
    ~PartFile() { remove(); }

    platform::File& file() { return file_; }

    // Closes the file and gives it the final name; false (the file removed) when the close
    // fails or something else took the name meanwhile.
    bool commit(const std::string& finalPath) {
        if (!file_.close()) return false;
        if (!platform::renameNoReplace(path_, finalPath)) return false;
        path_.clear();
        return true;
    }

  private:
    PartFile(std::string path, platform::File file)
        : path_(std::move(path)), file_(std::move(file)) {}

    // A name of the program's own kind that no archive is likely to hold.
    static std::string temporaryName() {
        static std::atomic<uint32_t> counter{0};
        auto now =
            static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
        auto mixed = static_cast<uint32_t>(now ^ (now >> 32)) * 2654435761u + counter++;
        char name[32];
        std::snprintf(name, sizeof name, "~tvr%08x.tmp", static_cast<unsigned>(mixed));
        return name;
    }

    void remove() {
        file_.close();
        if (path_.empty()) return;
        // On Windows a reader that has the file open (a virus scanner) makes the delete fail
        // for a moment; a few tries keep the student's folder clean.
        for (int tries = 0; tries < 10 && !platform::deleteFile(path_); ++tries) {
            if (!platform::pathExists(path_)) break;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        path_.clear();
    }

    std::string path_;
    platform::File file_;
};

// minizip reads the sizes from the central directory alone; a local ZIP64 field that says
// otherwise is damage.
bool localHeaderAgrees(unzFile archive, const unz_file_info64& info) {
    const int length = unzGetLocalExtrafield(archive, nullptr, 0);
    if (length <= 0) return length == 0;
    std::string extra(static_cast<size_t>(length), '\0');
    if (unzGetLocalExtrafield(archive, extra.data(), static_cast<unsigned>(length)) != length)
        return false;
    return localZip64Agrees(extra, info.compressed_size, info.uncompressed_size);
}

bool writeEntry(unzFile archive, const unz_file_info64& info, const std::string& outputPath,
                Buffers& buffers) {
    int method = 0, level = 0;
    if (unzOpenCurrentFile2(archive, &method, &level, 1) != UNZ_OK) return false;
    OpenEntry entry{archive};
    if (!localHeaderAgrees(archive, info)) return false;
    std::optional<PartFile> part = PartFile::create(outputPath);
    if (!part) return false;
    EntryWriter writer(info, part->file());
    bool ok = info.compression_method == kStored ? copyStored(archive, writer, buffers)
                                                 : inflateDeflated(archive, writer, buffers);
    if (!ok) return false;
    if (!part->commit(outputPath)) {
        // A file that appeared under the name meanwhile is kept, as any file that is there.
        return platform::pathExists(outputPath) && !platform::isDirectory(outputPath);
    }
    platform::setNormalAttributes(outputPath);
    return true;
}

bool extractCurrent(unzFile archive, std::string_view targetFolder, Buffers& buffers) {
    unz_file_info64 info;
    if (unzGetCurrentFileInfo64(archive, &info, nullptr, 0, nullptr, 0, nullptr, 0) != UNZ_OK)
        return false;
    // minizip leaves the name unterminated when the buffer is too small: size it from the entry.
    std::string rawName(info.size_filename, '\0');
    if (!rawName.empty() &&
        unzGetCurrentFileInfo64(archive, &info, rawName.data(), static_cast<uLong>(rawName.size()),
                                nullptr, 0, nullptr, 0) != UNZ_OK)
        return false;

    std::string name = entryNameText(rawName, (info.flag & kUtf8NameFlag) != 0);
    std::optional<std::vector<std::string>> segments = safeSegments(name);
    if (!segments) return false;

    // Some archivers mark folders only by the trailing "/" of their names.
    bool folder = (info.external_fa & (kDosFolderAttribute | kUnixFolderMode)) != 0 ||
                  (!name.empty() && isSeparator(name.back()));
    if (folder) return makeFoldersBelow(std::string(targetFolder), *segments, segments->size());

    if (segments->empty()) return false;
    if (info.flag & kEncryptedFlag) return false;
    if (info.compression_method != kStored && info.compression_method != kDeflated) return false;
    if (!makeFoldersBelow(std::string(targetFolder), *segments, segments->size() - 1)) return false;
    std::string outputPath = joinBelow(targetFolder, *segments);
    // What is already there is the student's: it is kept, never replaced.
    if (platform::pathExists(outputPath)) return !platform::isDirectory(outputPath);
    return writeEntry(archive, info, outputPath, buffers);
}

}  // namespace

int32_t extractAll(std::string_view archivePath, std::string_view targetFolder) {
    if (archivePath.empty() || targetFolder.empty()) return kExtractNothingDone;
    if (!platform::pathExists(archivePath)) return kExtractNothingDone;
    if (!platform::pathExists(targetFolder) && !makeFolderPath(targetFolder)) return kExtractFailed;
    if (!startsWithLocalHeader(archivePath)) return kExtractFailed;
    if (!zip64EndAgrees(archivePath)) return kExtractFailed;

    zlib_filefunc64_def io;
    fillArchiveFileFunctions(&io);
    const std::string path(archivePath);
    Archive archive(unzOpen2_64(path.c_str(), &io));
    if (!archive.handle) return kExtractFailed;
    unz_global_info64 global;
    if (unzGetGlobalInfo64(archive.handle, &global) != UNZ_OK) return kExtractFailed;
    if (global.number_entry == 0) return kExtractDone;

    Buffers buffers;
    if (!buffers.in || !buffers.out) return kExtractFailed;
    int status = unzGoToFirstFile(archive.handle);
    while (status == UNZ_OK) {
        if (!extractCurrent(archive.handle, targetFolder, buffers)) return kExtractFailed;
        status = unzGoToNextFile(archive.handle);
    }
    // A central directory that breaks off before its last entry is damage, not the end.
    return status == UNZ_END_OF_LIST_OF_FILE ? kExtractDone : kExtractFailed;
}

}  // namespace tovren::fetch
