#include "fetch/extract.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <map>

#include "platform/files.h"
#include "platform/text.h"
#include "support/scratch.h"
#include "support/zip_writer.h"

namespace tovren::fetch {
namespace {

using namespace tovren::testing;
namespace fs = std::filesystem;

const std::string kFolderMark = "<folder>";

// Everything below `root`: "/"-separated UTF-8 paths to file contents, or kFolderMark.
using Tree = std::map<std::string, std::string>;

Tree treeOf(const std::string& root) {
    Tree tree;
    fs::path base = fsPath(root);
    for (const fs::directory_entry& e : fs::recursive_directory_iterator(base)) {
        std::u8string relative = e.path().lexically_relative(base).generic_u8string();
        std::string key(relative.begin(), relative.end());
        if (e.is_directory()) {
            tree[key] = kFolderMark;
        } else {
            std::ifstream in(e.path(), std::ios::binary);
            tree[key] = std::string(std::istreambuf_iterator<char>(in), {});
        }
    }
    return tree;
}

std::string gbk(std::string_view utf8) {
    return platform::utf8ToGbk(utf8).value();
}

// One package beside its unpack folder in a scratch folder of its own.
struct Package {
    ScratchFolder dir;
    std::string archive = dir / "Word-1.zip";
    std::string target = dir / "Word-1";

    int32_t unpackBytes(const std::string& bytes) {
        dir.writeFile("Word-1.zip", bytes);
        return extractAll(archive, target);
    }
    int32_t unpack(const std::vector<ZipEntry>& entries) {
        return unpackBytes(zipArchive(entries));
    }
    Tree unpacked() const { return treeOf(target); }
    // True when nothing but the package and its folder stands in the scratch folder.
    bool nothingElseWritten() const {
        for (const auto& [path, content] : treeOf(dir.path()))
            if (path != "Word-1.zip" && path != "Word-1" && path.rfind("Word-1/", 0) != 0)
                return false;
        return true;
    }
};

std::string sampleText(size_t size) {
    std::string text;
    for (size_t i = 0; text.size() < size; ++i)
        text += "line " + std::to_string(i * 7919 % 1000) + "\r\n";
    text.resize(size);
    return text;
}

TEST(ExtractAll, UnpacksEveryLayout) {
    ASSERT_EQ(gbk("乗"), "\x81\x5C") << "the test needs a character whose second GBK byte is \\";
    const std::string big = sampleText(3 * 1024 * 1024 + 17);
    struct {
        std::vector<ZipEntry> entries;
        Tree expected;
        const char* why;
    } cases[] = {
        {{{.name = "a.txt", .data = "stored", .method = kStored},
          {.name = "b.txt", .data = "deflated deflated deflated"},
          {.name = "empty-stored.txt", .data = "", .method = kStored},
          {.name = "empty-deflated.txt", .data = ""}},
         {{"a.txt", "stored"},
          {"b.txt", "deflated deflated deflated"},
          {"empty-stored.txt", ""},
          {"empty-deflated.txt", ""}},
         "stored and deflated entries, empty ones too"},
        {{{.name = "doc/", .externalAttributes = kDosFolder},
          {.name = "doc/img/", .externalAttributes = kDosFolder},
          {.name = "doc/img/a.bmp", .data = "BM"},
          {.name = "doc/readme.txt", .data = "r"}},
         {{"doc", kFolderMark},
          {"doc/img", kFolderMark},
          {"doc/img/a.bmp", "BM"},
          {"doc/readme.txt", "r"}},
         "folder entries ahead of what they hold"},
        {{{.name = "dos", .externalAttributes = kDosFolder},
          {.name = "unix", .externalAttributes = unixMode(040755), .versionMadeBy = 0x0314},
          {.name = "empty/", .externalAttributes = 0}},
         {{"dos", kFolderMark}, {"unix", kFolderMark}, {"empty", kFolderMark}},
         "a folder marked only by the MS-DOS bit, only by the Unix mode, only by its trailing "
         "slash"},
        {{{.name = "x/y/z.txt", .data = "deep"}, {.name = "x/w.txt", .data = "w"}},
         {{"x", kFolderMark}, {"x/y", kFolderMark}, {"x/y/z.txt", "deep"}, {"x/w.txt", "w"}},
         "a file's folders are made when no folder entry made them"},
        {{{.name = gbk("乗车/"), .externalAttributes = kDosFolder},
          {.name = gbk("乗车/表格乗.xls"), .data = "gbk"},
          {.name = gbk("乗"), .data = "trail"}},
         {{"乗车", kFolderMark}, {"乗车/表格乗.xls", "gbk"}, {"乗", "trail"}},
         "GBK names, with a character whose second byte is a backslash"},
        {{{.name = "数据/ÿ€.txt", .data = "u", .flags = kUtf8Flag}},
         {{"数据", kFolderMark}, {"数据/ÿ€.txt", "u"}},
         "a name flagged as UTF-8 is read as UTF-8"},
        {{{.name = "link",
           .data = "../../etc/passwd",
           .externalAttributes = unixMode(0120777),
           .versionMadeBy = 0x0314}},
         {{"link", "../../etc/passwd"}},
         "a symbolic link becomes a plain file holding its target"},
        {{{.name = "b /h.txt", .data = "h"},
          {.name = "c.txt.", .data = "c"},
          {.name = "d./e.txt", .data = "e"}},
         {{"b", kFolderMark},
          {"b/h.txt", "h"},
          {"c.txt", "c"},
          {"d", kFolderMark},
          {"d/e.txt", "e"}},
         "a segment's trailing blanks and dots go, as Windows drops them"},
        {{{.name = "./a/./b.txt", .data = "dots"}},
         {{"a", kFolderMark}, {"a/b.txt", "dots"}},
         "\".\" segments are dropped"},
        {{{.name = "big.bin", .data = big},
          {.name = "big-stored.bin", .data = big, .method = kStored}},
         {{"big.bin", big}, {"big-stored.bin", big}},
         "entries larger than any buffer on the way"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.why);
        Package package;
        EXPECT_EQ(package.unpack(c.entries), kExtractDone);
        EXPECT_EQ(package.unpacked(), c.expected);
        EXPECT_TRUE(package.nothingElseWritten());
    }
}

// An archive whose central directory lists nothing, after a local header that no entry names
// (an empty archive alone is shorter than a local header).
std::string archiveListingNothing() {
    std::string bytes = zipArchive({{.name = "unlisted", .data = "x"}});
    bytes.resize(bytes.find("PK\x01\x02"));
    std::string end = zipArchive({});
    uint32_t directoryOffset = static_cast<uint32_t>(bytes.size());
    for (int i = 0; i < 4; ++i) end[16 + i] = static_cast<char>(directoryOffset >> (8 * i));
    return bytes + end;
}

TEST(ExtractAll, AnArchiveListingNoEntryIsDone) {
    Package package;
    EXPECT_EQ(package.unpackBytes(archiveListingNothing()), kExtractDone);
    EXPECT_EQ(package.unpacked(), Tree{});
}

TEST(ExtractAll, UnpackedFilesAreWritableWhateverTheArchiveSays) {
    Package package;
    ASSERT_EQ(package.unpack(
                  {{.name = "dos-readonly.txt", .data = "r", .externalAttributes = kDosReadOnly},
                   {.name = "unix-readonly.txt",
                    .data = "r",
                    .externalAttributes = unixMode(0100444),
                    .versionMadeBy = 0x0314},
                   {.name = "hidden.txt", .data = "h", .externalAttributes = 0x02 | 0x04}}),
              kExtractDone);
    for (const char* name : {"dos-readonly.txt", "unix-readonly.txt", "hidden.txt"}) {
        SCOPED_TRACE(name);
        fs::perms perms = fs::status(fsPath(package.target) / name).permissions();
        EXPECT_NE(perms & fs::perms::owner_write, fs::perms::none);
        EXPECT_NE(perms & fs::perms::owner_read, fs::perms::none);
    }
}

TEST(ExtractAll, MakesTheTargetFolderWithEveryFolderAboveIt) {
    Package package;
    package.dir.writeFile("Word-1.zip", zipArchive({{.name = "a.txt", .data = "a"}}));
    struct {
        std::string target;
        const char* why;
    } cases[] = {
        {package.dir / "new", "one missing level"},
        {package.dir / "乗\\乗车\\deep", "missing levels whose names hold a byte 5C in GBK"},
        {package.dir / "trailing\\", "a target folder given with a trailing backslash"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.why);
        EXPECT_EQ(extractAll(package.archive, c.target), kExtractDone);
        EXPECT_EQ(treeOf(c.target), (Tree{{"a.txt", "a"}}));
    }
    EXPECT_TRUE(fs::is_directory(fsPath(package.dir / "乗")));
    EXPECT_EQ(treeOf(package.dir / "乗"),
              (Tree{{"乗车", kFolderMark}, {"乗车/deep", kFolderMark}, {"乗车/deep/a.txt", "a"}}));
}

TEST(ExtractAll, NothingIsDoneWithoutPathsOrArchive) {
    Package package;
    package.dir.writeFile("Word-1.zip", zipArchive({{.name = "a.txt", .data = "a"}}));
    struct {
        std::string archive, target;
        const char* why;
    } cases[] = {
        {"", package.target, "no archive path"},
        {package.archive, "", "no target folder"},
        {package.dir / "Word-.zip", package.dir / "Word-",
         "no archive at the path (no question chosen)"},
        {package.dir / "Word-1.zip\\", package.target,
         "an archive path ending in a backslash names nothing"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.why);
        EXPECT_EQ(extractAll(c.archive, c.target), kExtractNothingDone);
        EXPECT_EQ(treeOf(package.dir.path()),
                  (Tree{{"Word-1.zip", zipArchive({{.name = "a.txt", .data = "a"}})}}));
    }
}

TEST(ExtractAll, SomethingThatIsNoArchiveLeavesAnEmptyFolder) {
    std::string valid =
        zipArchive({{.name = "a.txt", .data = sampleText(5000)}, {.name = "b.txt", .data = "b"}});
    struct {
        std::string bytes;
        const char* why;
    } cases[] = {
        {"This is a web page, not a ZIP archive at all.", "no local header at the start"},
        {"", "an empty file"},
        {std::string("PK\x03\x04", 4) + std::string(20, '\0'),
         "a local header shorter than 32 bytes"},
        {zipArchive({}), "an archive with no entries is only an end record, no local header"},
        {valid.substr(0, valid.size() / 2), "a truncated archive has no central directory"},
        {valid.substr(0, valid.size() - 10), "an end record cut short"},
        {std::string("PK\x03\x04", 4) + std::string(60, 'x'), "a local header and nothing else"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.why);
        Package package;
        EXPECT_EQ(package.unpackBytes(c.bytes), kExtractFailed);
        EXPECT_TRUE(fs::is_directory(fsPath(package.target)));
        EXPECT_EQ(package.unpacked(), Tree{});
    }
}

TEST(ExtractAll, UnsafeNamesEndTheExtractionAndNothingLandsOutside) {
    struct {
        std::string name;
        const char* why;
    } cases[] = {
        {"../escaped.txt", "a parent segment"},
        {"a/../../escaped.txt", "a parent segment further in"},
        {"a\\..\\..\\escaped.txt", "backslashes separate as well"},
        {"/escaped.txt", "an absolute name"},
        {"\\escaped.txt", "an absolute name with a backslash"},
        {"c:\\escaped.txt", "a drive letter"},
        {"c:escaped.txt", "a drive-relative name"},
        {"x:ads", "a colon would name a data stream"},
        {"CON.txt", "a device name with an extension"},
        {"sub/nul", "a device name deeper down"},
        {"com1", "a port, any case"},
        {"CON .txt", "blanks before the extension still name the device"},
        {"a/.../b.txt", "a segment of dots only"},
        {"a\x01.txt", "a control character"},
        {std::string("a\0b.txt", 7), "a NUL byte would cut the name"},
        {"what?.txt", "a wildcard"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.why);
        Package package;
        int32_t result = package.unpack({{.name = "first.txt", .data = "1"},
                                         {.name = c.name, .data = "evil"},
                                         {.name = "after.txt", .data = "2"}});
        EXPECT_TRUE(package.nothingElseWritten());
        EXPECT_EQ(result, kExtractFailed);
        EXPECT_EQ(package.unpacked(), (Tree{{"first.txt", "1"}}));
    }
}

TEST(ExtractAll, DamagedOrUnreadableEntriesEndTheExtractionLeavingNothingOfThem) {
    const std::string data = sampleText(200000);
    const std::string deflated = deflateRaw(data);
    struct {
        ZipEntry entry;
        const char* why;
    } cases[] = {
        {{.name = "f.txt", .data = data, .crc = crcOf(data) ^ 1}, "a wrong CRC"},
        {{.name = "f.txt", .data = data, .method = kStored, .crc = crcOf(data) ^ 1},
         "a wrong CRC on a stored entry"},
        {{.name = "f.txt",
          .data = data,
          .uncompressedSize = static_cast<uint32_t>(data.size() + 1)},
         "it inflates to fewer bytes than it declares"},
        {{.name = "f.txt",
          .data = data,
          .crc = crcOf(data.substr(0, 1000)),
          .uncompressedSize = 1000},
         "it inflates to more bytes than it declares, CRC and all"},
        {{.name = "f.txt", .data = data, .method = kStored, .uncompressedSize = 1000},
         "a stored entry holding more than it declares"},
        {{.name = "f.txt", .data = data, .compressed = deflated.substr(0, deflated.size() / 2)},
         "a deflate stream that breaks off"},
        {{.name = "f.txt", .data = data, .compressed = std::string(500, '\xFF')},
         "a data error in the deflate stream"},
        {{.name = "f.txt", .data = data, .flags = kEncryptedFlag}, "an encrypted entry"},
        {{.name = "f.txt", .data = data, .method = 12, .compressed = data},
         "bzip2, which minizip would hand over raw"},
        {{.name = "f.txt", .data = data, .method = 14}, "an unknown method"},
        {{.name = "sub/f.txt", .data = data, .crc = crcOf(data) ^ 1},
         "a wrong CRC in a folder the entry made"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.why);
        Package package;
        EXPECT_EQ(
            package.unpack(
                {{.name = "first.txt", .data = "1"}, c.entry, {.name = "after.txt", .data = "2"}}),
            kExtractFailed);
        // What came before stays; nothing of the failed entry, not even a temporary file.
        Tree tree = package.unpacked();
        tree.erase("sub");
        EXPECT_EQ(tree, (Tree{{"first.txt", "1"}}));
        EXPECT_TRUE(package.nothingElseWritten());
    }
}

// A damaged package, then the good one: the file that failed is written whole the second time,
// because the failure left no cut-short file under its name to be kept as the student's.
TEST(ExtractAll, AGoodPackageAfterADamagedOneIsUnpackedWhole) {
    const std::string second = sampleText(100000);
    const std::string deflated = deflateRaw(second);
    Package package;
    EXPECT_EQ(package.unpack({{.name = "first.txt", .data = "1"},
                              {.name = "second.txt",
                               .data = second,
                               .compressed = deflated.substr(0, deflated.size() - 300)}}),
              kExtractFailed);
    EXPECT_EQ(package.unpacked(), (Tree{{"first.txt", "1"}}));
    package.dir.writeFile("Word-1/first.txt", "my answer");
    EXPECT_EQ(package.unpack(
                  {{.name = "first.txt", .data = "1"}, {.name = "second.txt", .data = second}}),
              kExtractDone);
    EXPECT_EQ(package.unpacked(), (Tree{{"first.txt", "my answer"}, {"second.txt", second}}));
}

TEST(ExtractAll, AnEntryCutOffByTheEndOfTheArchive) {
    // The central directory survives, but the last entry's data runs past the end of the file.
    const std::string data = sampleText(300000);
    std::string bytes =
        zipArchive({{.name = "first.txt", .data = "1"}, {.name = "f.txt", .data = data}});
    size_t directory = bytes.find("PK\x01\x02");
    std::string tail = bytes.substr(directory);
    std::string cut = bytes.substr(0, directory - 1000);
    // Move the directory and end record forward and point the end record at the new offset.
    uint32_t at = static_cast<uint32_t>(cut.size());
    tail.replace(tail.size() - 6, 4,
                 std::string{static_cast<char>(at), static_cast<char>(at >> 8),
                             static_cast<char>(at >> 16), static_cast<char>(at >> 24)});
    Package package;
    EXPECT_EQ(package.unpackBytes(cut + tail), kExtractFailed);
    EXPECT_EQ(package.unpacked()["first.txt"], "1");
}

TEST(ExtractAll, APlainFileWhereTheFolderShouldBe) {
    Package package;
    package.dir.writeFile("Word-1", "not a folder");
    EXPECT_EQ(package.unpack({{.name = "a.txt", .data = "a"}}), kExtractFailed);
    EXPECT_EQ(package.dir.readFile("Word-1"), "not a folder");
    EXPECT_EQ(package.unpack({{.name = "sub/", .externalAttributes = kDosFolder}}), kExtractFailed);
    EXPECT_EQ(package.dir.readFile("Word-1"), "not a folder");
}

TEST(ExtractAll, WhatStandsInTheWayOfAnEntry) {
    struct {
        std::vector<ZipEntry> entries;
        int32_t result;
        Tree expected;
        const char* why;
    } cases[] = {
        {{{.name = "a", .data = "file"}, {.name = "a/b.txt", .data = "b"}},
         kExtractFailed,
         {{"a", "file"}},
         "a file where a file entry's folder must go"},
        {{{.name = "a/", .externalAttributes = kDosFolder}, {.name = "a", .data = "file"}},
         kExtractFailed,
         {{"a", kFolderMark}},
         "a folder where a file must go"},
        {{{.name = "a", .data = "file"}, {.name = "a/", .externalAttributes = kDosFolder}},
         kExtractDone,
         {{"a", "file"}},
         "a folder entry leaves alone whatever exists at its path"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.why);
        Package package;
        EXPECT_EQ(package.unpack(c.entries), c.result);
        EXPECT_EQ(package.unpacked(), c.expected);
    }
}

TEST(ExtractAll, ASecondUnpackingKeepsTheStudentsWork) {
    const std::vector<ZipEntry> entries = {
        {.name = "doc/", .externalAttributes = kDosFolder},
        {.name = "doc/task.doc", .data = "original task"},
        {.name = "doc/data.xls", .data = "original data"},
        {.name = "readonly.txt", .data = "ro", .externalAttributes = kDosReadOnly},
    };
    for (bool targetExists : {false, true}) {
        SCOPED_TRACE(targetExists ? "the folder was there before" : "the folder is new");
        Package package;
        if (targetExists) package.dir.writeFile("Word-1/notes.txt", "mine");
        ASSERT_EQ(package.unpack(entries), kExtractDone);
        // The student works: changes one file, removes another, adds one, and changes the copy
        // that the archive marks read-only.
        package.dir.writeFile("Word-1/doc/task.doc", "my answer");
        fs::remove(fsPath(package.target) / "doc" / "data.xls");
        package.dir.writeFile("Word-1/doc/extra.txt", "extra");
        package.dir.writeFile("Word-1/readonly.txt", "changed");

        EXPECT_EQ(package.unpack(entries), kExtractDone);
        Tree expected = {{"doc", kFolderMark},
                         {"doc/task.doc", "my answer"},
                         {"doc/data.xls", "original data"},
                         {"doc/extra.txt", "extra"},
                         {"readonly.txt", "changed"}};
        if (targetExists) expected["notes.txt"] = "mine";
        EXPECT_EQ(package.unpacked(), expected);
    }
}

TEST(ExtractAll, ManyEntriesReadInCentralDirectoryOrder) {
    std::vector<ZipEntry> entries;
    Tree expected;
    for (int i = 0; i < 400; ++i) {
        std::string name = "f";
        name += std::to_string(i);  // not "f" + ..., which g++ 12 -O3 wrongly warns about
        name += ".txt";
        std::string data = sampleText(static_cast<size_t>(i) * 37 % 5000);
        entries.push_back({.name = name, .data = data, .method = i % 3 ? kDeflated : kStored});
        expected[name] = data;
    }
    // The same name twice: the first one listed is written, the second finds it there.
    entries.push_back({.name = "f1.txt", .data = "second copy"});
    Package package;
    EXPECT_EQ(package.unpack(entries), kExtractDone);
    EXPECT_EQ(package.unpacked(), expected);
}

// ZIP64 as archivers write it (APPNOTE.TXT 4.3.14 to 4.3.16, 4.4.8, 4.5.3); every one unpacks
// to the same files.
TEST(ExtractAll, Zip64ArchivesUnpackLikeAnyOther) {
    const std::string text = sampleText(70000);
    auto entries = [&](Zip64 zip64, bool streamed) {
        return std::vector<ZipEntry>{
            {.name = "doc/", .method = kStored, .externalAttributes = kDosFolder, .zip64 = zip64},
            {.name = "doc/a.txt", .data = text, .zip64 = zip64, .streamed = streamed},
            {.name = "b.bin", .data = "stored", .method = kStored, .zip64 = zip64},
            {.name = "empty.txt", .data = "", .zip64 = zip64, .streamed = streamed}};
    };
    const Tree expected = {
        {"doc", kFolderMark}, {"doc/a.txt", text}, {"b.bin", "stored"}, {"empty.txt", ""}};
    struct {
        std::vector<ZipEntry> entries;
        ZipLayout layout;
        const char* why;
    } cases[] = {
        {entries(Zip64::Central, false),
         {.zip64End = true},
         "sizes and offsets only in the central ZIP64 extra fields, with the ZIP64 end records"},
        {entries(Zip64::Central, false),
         {.zip64End = true, .classicEndFilled = true},
         "the classic end record filled with 0xFF"},
        {entries(Zip64::Everywhere, false),
         {.zip64End = true},
         "ZIP64 always: the local headers' sizes in ZIP64 extra fields too"},
        {entries(Zip64::Central, true),
         {.zip64End = true, .classicEndFilled = true},
         "a stream of unknown size: zero local sizes, ZIP64 data descriptors"},
        {entries(Zip64::Off, true), {}, "a stream of unknown size without ZIP64"},
        {entries(Zip64::Central, false),
         {},
         "ZIP64 extra fields in an archive with classic end records only"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.why);
        Package package;
        EXPECT_EQ(package.unpackBytes(zipArchive(c.entries, c.layout)), kExtractDone);
        EXPECT_EQ(package.unpacked(), expected);
        EXPECT_TRUE(package.nothingElseWritten());
    }
}

// Writes the pieces at their offsets; the gaps between them become holes of a sparse file on
// the file systems the tests run on (under Wine too, which writes through to them), so an
// archive beyond 4 GB takes a few kilobytes of disk.
void writePieces(const std::string& path, const std::vector<ZipPiece>& pieces) {
    std::optional<platform::File> file =
        platform::File::open(path, platform::File::Mode::CreateAlways);
    ASSERT_TRUE(file);
    for (const ZipPiece& piece : pieces)
        ASSERT_TRUE(file->writeAt(static_cast<int64_t>(piece.at), piece.bytes.data(),
                                  static_cast<int64_t>(piece.bytes.size())));
    ASSERT_TRUE(file->close());
}

TEST(ExtractAll, Zip64BeyondTheClassicLimits) {
    // More entries than the classic end record can count: the walk must reach the last one.
    std::vector<ZipEntry> many(65537,
                               {.name = "d/", .method = kStored, .externalAttributes = kDosFolder});
    many.back() = {.name = "d/last.txt", .data = "last"};
    // An entry whose local header lies beyond 4 GB.
    const uint64_t farAway = 4'500'000'000ull;
    const std::vector<ZipEntry> far = {{.name = "near.txt", .data = "near"},
                                       {.name = "far.txt",
                                        .data = sampleText(5000),
                                        .zip64 = Zip64::Central,
                                        .gapBefore = farAway}};
    struct {
        std::vector<ZipPiece> pieces;
        Tree expected;
        const char* why;
    } cases[] = {
        {zipArchivePieces(many, {.zip64End = true}),
         {{"d", kFolderMark}, {"d/last.txt", "last"}},
         "65,537 entries, counted only by the ZIP64 end record"},
        {zipArchivePieces(far, {.zip64End = true}),
         {{"near.txt", "near"}, {"far.txt", sampleText(5000)}},
         "an entry and the central directory beyond 4 GB"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.why);
        Package package;
        writePieces(package.archive, c.pieces);
        EXPECT_EQ(extractAll(package.archive, package.target), kExtractDone);
        EXPECT_EQ(package.unpacked(), c.expected);
    }
}

// A ZIP64 record that contradicts the rest of the archive is damage, as any other: neither
// reading can be trusted.
TEST(ExtractAll, Zip64RecordsThatContradictTheRestAreDamage) {
    const std::string text = sampleText(20000);
    const std::vector<ZipEntry> three = {{.name = "a.txt", .data = "a", .zip64 = Zip64::Central},
                                         {.name = "b.txt", .data = "b", .zip64 = Zip64::Central},
                                         {.name = "c.txt", .data = "c", .zip64 = Zip64::Central}};
    const uint64_t directoryOffset = zipArchive(three).find("PK\x01\x02");
    struct {
        std::vector<ZipEntry> entries;
        ZipLayout layout;
        Tree expected;
        const char* why;
    } cases[] = {
        {three,
         {.zip64End = true, .zip64EndEntries = 2},
         {},
         "the ZIP64 end record counts fewer entries than the classic one"},
        {three,
         {.zip64End = true, .zip64EndEntries = 4},
         {},
         "the ZIP64 end record counts more entries than the classic one"},
        {three,
         {.zip64End = true, .zip64EndDirectoryOffset = directoryOffset - 1},
         {},
         "the ZIP64 end record puts the directory elsewhere"},
        {three,
         {.zip64End = true, .locatorTarget = 0},
         {},
         "a ZIP64 locator that points at no ZIP64 end record"},
        {{{.name = "first.txt", .data = "1"},
          {.name = "f.txt",
           .data = text,
           .zip64 = Zip64::Everywhere,
           .localZip64Size = text.size() + 1}},
         {.zip64End = true},
         {{"first.txt", "1"}},
         "a local ZIP64 size that differs from the central one"},
        {{{.name = "first.txt", .data = "1"},
          {.name = "f.txt",
           .data = text,
           .uncompressedSize = (1ull << 32) + text.size(),
           .zip64 = Zip64::Central}},
         {.zip64End = true},
         {{"first.txt", "1"}},
         "a ZIP64 size beyond 4 GB that the data does not fill (read in 64 bits, not cut)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.why);
        Package package;
        EXPECT_EQ(package.unpackBytes(zipArchive(c.entries, c.layout)), kExtractFailed);
        EXPECT_EQ(package.unpacked(), c.expected);
        EXPECT_TRUE(package.nothingElseWritten());
    }
}

#ifndef _WIN32
// The archive and every file written are closed on every path, the failing ones included.
TEST(ExtractAll, LeavesNoFileOpen) {
    auto openFiles = [] {
        auto fds = fs::directory_iterator("/proc/self/fd");
        return std::distance(fs::begin(fds), fs::end(fds));
    };
    const std::string data = sampleText(100000);
    const std::vector<std::vector<ZipEntry>> archives = {
        {{.name = "a.txt", .data = data}, {.name = "b/", .externalAttributes = kDosFolder}},
        {{.name = "a.txt", .data = data, .crc = 1}},
        {{.name = "a.txt", .data = data, .compressed = std::string(300, '\xFF')}},
        {{.name = "ok.txt", .data = "1"}, {.name = "../x", .data = "x"}},
    };
    for (const std::vector<ZipEntry>& entries : archives) {
        Package package;
        package.dir.writeFile("Word-1.zip", zipArchive(entries));
        auto before = openFiles();
        extractAll(package.archive, package.target);
        EXPECT_EQ(openFiles(), before);
    }
}
#endif

TEST(ExtractAll, FuzzCorpusStaysInsideTheTargetFolder) {
    fs::path corpus = fsPath(TOVREN_FIXTURES) / ".." / "fuzz" / "extract_corpus";
    int archives = 0;
    for (const fs::directory_entry& e : fs::directory_iterator(corpus)) {
        SCOPED_TRACE(e.path().filename().string());
        std::ifstream in(e.path(), std::ios::binary);
        Package package;
        int32_t result = package.unpackBytes(std::string(std::istreambuf_iterator<char>(in), {}));
        EXPECT_TRUE(result == kExtractDone || result == kExtractFailed) << result;
        EXPECT_TRUE(package.nothingElseWritten());
        ++archives;
    }
    EXPECT_GT(archives, 0);
}

}  // namespace
}  // namespace tovren::fetch
