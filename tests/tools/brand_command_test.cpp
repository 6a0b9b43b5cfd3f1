// The brand command in process: the addresses it accepts, the copy it writes (only the two
// fields and the checksum change; the input never does) and every refusal, which writes nothing.
#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

#include "brand_runner.h"
#include "captured_streams.h"
#include "exam/brand_place.h"
#include "exam/build_config.h"
#include "pe_image.h"
#include "platform/files.h"
#include "support/scratch.h"
#include "tool_common.h"

namespace tovren::tool {
namespace {

namespace fs = std::filesystem;

void put16(std::string& b, std::size_t at, uint16_t v) {
    b[at] = static_cast<char>(v);
    b[at + 1] = static_cast<char>(v >> 8);
}
void put32(std::string& b, std::size_t at, uint32_t v) {
    put16(b, at, static_cast<uint16_t>(v));
    put16(b, at + 2, static_cast<uint16_t>(v >> 16));
}

struct FakeExe {
    uint16_t subsystem = kSubsystemWindowsGui;
    std::string section = ".tovbrd";
    std::string marker = std::string(exam::kBrandMarker);
    uint32_t certificateBytes = 0;
};

// A 64-bit executable as the linker lays one out (PE Format page): MS-DOS header, PE header,
// a PE32+ optional header with 16 data directories, a .text section and the brand section.
constexpr std::size_t kPlaceOffset = 0x400;
constexpr std::size_t kChecksumOffset = 0x40 + 4 + 20 + 64;
std::string fakeExe(const FakeExe& f) {
    std::string b(0x800, '\0');
    b.replace(0, 2, "MZ");
    put32(b, 0x3C, 0x40);
    b.replace(0x40, 4, std::string("PE\0\0", 4));
    const std::size_t coff = 0x44, opt = coff + 20, sections = opt + 240;
    put16(b, coff, 0x8664);
    put16(b, coff + 2, 2);
    put16(b, coff + 16, 240);
    put16(b, coff + 18, 0x0022);  // executable, large-address aware
    put16(b, opt, 0x20B);
    put16(b, opt + 68, f.subsystem);
    put32(b, opt + 108, 16);
    put32(b, opt + 112 + 4 * 8 + 4, f.certificateBytes);
    const std::pair<std::string, std::size_t> table[] = {{".text", 0x200}, {f.section, kPlaceOffset}};
    for (std::size_t i = 0; i < 2; ++i) {
        std::size_t header = sections + 40 * i;
        b.replace(header, table[i].first.size(), table[i].first);
        put32(b, header + 8, 0x400);               // virtual size
        put32(b, header + 12, 0x1000 * (i + 1));  // virtual address
        put32(b, header + 16, 0x400);             // raw size
        put32(b, header + 20, static_cast<uint32_t>(table[i].second));
    }
    b.replace(0x200, 4, "\x48\x31\xC0\xC3");
    b.replace(kPlaceOffset, f.marker.size(), f.marker);
    const std::string server = "http://127.0.0.1:8731", site = "http://127.0.0.1:8732";
    b.replace(kPlaceOffset + exam::kServerBaseOffset, server.size(), server);
    b.replace(kPlaceOffset + exam::kTestingSiteBaseOffset, site.size(), site);
    b.resize(0x400 + 0x400 + 0x40, '\xCC');  // the section's end, then bytes after it
    put32(b, kChecksumOffset, peChecksum(b, kChecksumOffset));
    return b;
}

std::string fieldAt(const std::string& exe, std::size_t offset) {
    std::string f = exe.substr(kPlaceOffset + offset, exam::kBrandAddressBytes);
    return f.substr(0, f.find('\0'));
}

class BrandCommandTest : public ::testing::Test {
  protected:
    int run(const Arguments& args) {
        usage_.clear();
        return brandExecutable(args, streams_.out(), streams_.err(), usage_);
    }
    std::string path(std::string_view name) const { return platform::nativePath(folder_ / name); }
    std::string writeExe(std::string_view name, const std::string& bytes) {
        folder_.writeFile(name, bytes);
        return path(name);
    }
    std::string read(std::string_view name) const { return folder_.readFile(name); }
    bool exists(std::string_view name) const { return fs::exists(testing::fsPath(folder_ / name)); }

    testing::ScratchFolder folder_, streamsFolder_;
    testing::CapturedStreams streams_{streamsFolder_};
    std::string usage_;
};

TEST(BrandAddress, OnlyWhatTheClientCanUse) {
    struct {
        std::string address;
        bool usable;
        const char* why;
    } cases[] = {
        {"http://127.0.0.1:8731", true, "the demo server"},
        {"http://exam.school.example", true, "a host name, port 80"},
        {"http://考试.学校.cn:8080", true, "a name with a GBK form"},
        {"http://a:1", true, "the lowest port"},
        {"http://a:65535", true, "the highest port"},
        {"http://" + std::string(exam::kMaxBrandAddressLength - 7, 'h'), true, "exactly as long as the field holds"},
        {"http://" + std::string(exam::kMaxBrandAddressLength - 6, 'h'), false, "one byte too long"},
        {"https://exam.school.example", false, "the client fetches plain http only"},
        {"ftp://exam.school.example", false, "another scheme"},
        {"HTTP://exam.school.example", true, "the scheme in any case, as the client reads it"},
        {"exam.school.example", false, "no scheme"},
        {"http://", false, "no host"},
        {"http://:8080", false, "a port without a host"},
        {"http://exam.school.example/", false, "a trailing slash would double the path's"},
        {"http://exam.school.example/tovren", false, "a path"},
        {"http://exam.school.example:80/", false, "a slash after the port"},
        {"http://exam.school.example:", false, "an empty port"},
        {"http://exam.school.example:0", false, "port 0"},
        {"http://exam.school.example:65536", false, "a port beyond 65535"},
        {"http://exam.school.example:80x", false, "a port that is no number"},
        {"http://exam.school.example:-1", false, "a signed port"},
        {"http://teacher@exam.school.example", false, "user information"},
        {"http://exam.school.example?x=1", false, "a query"},
        {"http://exam.school.example#top", false, "a fragment"},
        {"http://exam school", false, "a space"},
        {"http://exam\\school", false, "a backslash"},
        {"http://exam\tschool", false, "a control character"},
        {"http://😀.example", false, "a character without a GBK form"},
        {"http://\xE8\x80", false, "not UTF-8"},
        {"", false, "empty"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.why);
        std::optional<std::string> problem = baseAddressProblem(c.address);
        EXPECT_EQ(!problem.has_value(), c.usable) << c.address << ": " << problem.value_or("usable");
        if (problem) {
            EXPECT_EQ(problem->find('\n'), std::string::npos) << "one line";
        }
    }
}

TEST_F(BrandCommandTest, WritesACopyWithTheNewAddresses) {
    const std::string original = fakeExe({});
    const std::string exe = writeExe("tovren.exe", original);
    ASSERT_EQ(run({exe, "--server-base", "http://192.168.1.10", "--testing-site-base", "http://考试.学校:8080",
                   path("branded.exe")}),
              0)
        << streams_.errText() << usage_;
    EXPECT_EQ(read("tovren.exe"), original) << "the input is never changed";
    const std::string branded = read("branded.exe");
    ASSERT_EQ(branded.size(), original.size());
    EXPECT_EQ(fieldAt(branded, exam::kServerBaseOffset), "http://192.168.1.10");
    EXPECT_EQ(fieldAt(branded, exam::kTestingSiteBaseOffset), "http://考试.学校:8080");
    EXPECT_EQ(branded.substr(kPlaceOffset, exam::kBrandMarkerBytes), original.substr(kPlaceOffset, exam::kBrandMarkerBytes));
    // Only the two fields and the checksum differ; each field is NUL-padded to its end.
    for (std::size_t i = 0; i < branded.size(); ++i) {
        bool inField = i >= kPlaceOffset + exam::kServerBaseOffset && i < kPlaceOffset + sizeof(exam::BrandPlace);
        bool inChecksum = i >= kChecksumOffset && i < kChecksumOffset + 4;
        if (!inField && !inChecksum) {
            ASSERT_EQ(branded[i], original[i]) << "byte " << i;
        }
    }
    EXPECT_EQ(branded[kPlaceOffset + exam::kServerBaseOffset + exam::kMaxBrandAddressLength], '\0');
    uint32_t checksum = 0;
    std::memcpy(&checksum, branded.data() + kChecksumOffset, 4);  // little-endian on both builds
    EXPECT_EQ(checksum, peChecksum(branded, kChecksumOffset));
    EXPECT_NE(checksum, peChecksum(original, kChecksumOffset));
    EXPECT_EQ(streams_.outText(),
              path("branded.exe") + "\tserver http://192.168.1.10\ttesting site http://考试.学校:8080\n");
}

TEST_F(BrandCommandTest, KeepsTheTestingSiteWhenNoneIsGiven) {
    const std::string exe = writeExe("tovren.exe", fakeExe({}));
    ASSERT_EQ(run({"--server-base", "http://10.0.0.2:81", exe, path("a.exe")}), 0) << streams_.errText();
    const std::string branded = read("a.exe");
    EXPECT_EQ(fieldAt(branded, exam::kServerBaseOffset), "http://10.0.0.2:81");
    EXPECT_EQ(fieldAt(branded, exam::kTestingSiteBaseOffset), "http://127.0.0.1:8732");

    // Branding a branded copy again: a shorter address leaves no tail of the longer one.
    ASSERT_EQ(run({path("a.exe"), "--server-base", "http://b", path("b.exe")}), 0) << streams_.errText();
    EXPECT_EQ(fieldAt(read("b.exe"), exam::kServerBaseOffset), "http://b");
    EXPECT_EQ(read("b.exe").substr(kPlaceOffset + exam::kServerBaseOffset, exam::kBrandAddressBytes),
              "http://b" + std::string(exam::kBrandAddressBytes - 8, '\0'));
}

TEST_F(BrandCommandTest, ReplacesAnEarlierCopy) {
    const std::string exe = writeExe("tovren.exe", fakeExe({}));
    folder_.writeFile("out.exe", "an older copy");
    ASSERT_EQ(run({exe, "--server-base", "http://c", path("out.exe")}), 0) << streams_.errText();
    EXPECT_EQ(fieldAt(read("out.exe"), exam::kServerBaseOffset), "http://c");
    EXPECT_FALSE(exists("out.exe.brand-part"));
}

TEST_F(BrandCommandTest, RefusesAndWritesNothing) {
    struct Case {
        std::string input;  // the bytes of in.exe; empty: no in.exe at all
        std::string out;    // the output path below the scratch folder
        std::string message;
        const char* why;
    };
    FakeExe console, noSection, otherVersion, signedExe;
    console.subsystem = 3;
    noSection.section = ".rdata";
    otherVersion.marker = "TOVREN BRAND PLACE 2";
    signedExe.certificateBytes = 0x200;
    std::string truncated = fakeExe({}).substr(0, 0x100);
    std::string dll = fakeExe({});
    put16(dll, 0x44 + 18, 0x2022);
    const Case cases[] = {
        {"just text, no program", "out.exe", "is no tovren.exe: not a Windows program", "a text file"},
        {"MZ" + std::string(0x80, '\0'), "out.exe", "is no tovren.exe: not a Windows program", "an MS-DOS header alone"},
        {truncated, "out.exe", "is no tovren.exe: not a 64-bit Windows executable", "headers cut short"},
        {dll, "out.exe", "is no tovren.exe: not a 64-bit Windows executable", "a DLL"},
        {fakeExe(console), "out.exe", "is no tovren.exe: a console program", "tovren-tool.exe itself"},
        {fakeExe(noSection), "out.exe", "has no brand place of this version", "an exe of an older version"},
        {fakeExe(otherVersion), "out.exe", "has no brand place of this version", "another layout's marker"},
        {fakeExe(signedExe), "out.exe", "is signed", "a signed exe"},
        {"", "out.exe", "cannot read", "no input"},
        {fakeExe({}), "missing/out.exe", "cannot write", "no such output folder"},
        {fakeExe({}), "file.txt/out.exe", "cannot write", "the output folder is a file"},
        {fakeExe({}), "folder", "cannot write", "the output is a folder"},
        {fakeExe({}), "in.exe", "is the exe itself", "the input as output"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        testing::ScratchFolder folder;
        folder.writeFile("file.txt", "x");
        fs::create_directories(testing::fsPath(folder / "folder"));
        if (!c.input.empty()) folder.writeFile("in.exe", c.input);
        testing::CapturedStreams streams(streamsFolder_);
        std::string usage;
        int code = brandExecutable({platform::nativePath(folder / "in.exe"), "--server-base", "http://x",
                                    platform::nativePath(folder / c.out)},
                                   streams.out(), streams.err(), usage);
        EXPECT_EQ(code, 1);
        const std::string err = streams.errText();
        EXPECT_TRUE(err.starts_with("tovren-tool brand: ")) << err;
        EXPECT_NE(err.find(c.message), std::string::npos) << err;
        EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << "one line: " << err;
        EXPECT_EQ(streams.outText(), "");
        if (!c.input.empty()) {
            EXPECT_EQ(folder.readFile("in.exe"), c.input) << "the input is untouched";
        }
        std::vector<std::string> left;
        for (const fs::directory_entry& e : fs::recursive_directory_iterator(testing::fsPath(folder.path())))
            left.push_back(e.path().filename().string());
        std::sort(left.begin(), left.end());
        std::vector<std::string> before = {"file.txt", "folder"};
        if (!c.input.empty()) before.push_back("in.exe");
        EXPECT_EQ(left, before) << "nothing written";
    }
}

// A folder this user may not write into: a read-only one, or where that does not stop the user
// (root), the process file system, which takes no new files from anyone.
std::optional<fs::path> unwritableFolder(const fs::path& candidate) {
    fs::permissions(candidate, fs::perms::owner_read | fs::perms::owner_exec);
    std::ofstream probe(candidate / "probe");
    if (!probe) return candidate;
    probe.close();
    fs::remove(candidate / "probe");
    fs::permissions(candidate, fs::perms::owner_all);
#ifndef _WIN32
    if (!std::ofstream("/proc/probe")) return fs::path("/proc");
#endif
    return std::nullopt;
}

TEST_F(BrandCommandTest, RefusesAReadOnlyFolder) {
    const std::string exe = writeExe("tovren.exe", fakeExe({}));
    testing::ScratchFolder locked;
    std::optional<fs::path> folder = unwritableFolder(testing::fsPath(locked.path()));
    if (!folder) GTEST_SKIP() << "no folder here refuses this user's files";
    const std::string out = utf8Of(*folder / "tovren-branded.exe");
    int code = run({exe, "--server-base", "http://x", out});
    fs::permissions(testing::fsPath(locked.path()), fs::perms::owner_all);
    EXPECT_EQ(code, 1);
    EXPECT_NE(streams_.errText().find("cannot write " + out + ": cannot create a file in"), std::string::npos)
        << streams_.errText();
    EXPECT_FALSE(fs::exists(*folder / "tovren-branded.exe"));
    EXPECT_FALSE(fs::exists(*folder / "tovren-branded.exe.brand-part"));
    EXPECT_EQ(streams_.outText(), "");
}

TEST_F(BrandCommandTest, UsageErrorsWriteNothing) {
    const std::string exe = writeExe("tovren.exe", fakeExe({}));
    struct {
        Arguments args;
        const char* message;
        const char* why;
    } cases[] = {
        {{exe, "--server-base", "https://x", path("o.exe")}, "--server-base 'https://x': not a plain http://", "https"},
        {{exe, "--server-base", "http://x/", path("o.exe")}, "trailing \"/\"", "a trailing slash"},
        {{exe, "--server-base", "http://x", "--testing-site-base", "http://😀", path("o.exe")}, "GBK", "no GBK form"},
        {{exe, "--server-base", "http://x\r\ny", path("o.exe")}, "'http://x??y': the host holds", "a pasted line break"},
        {{exe, "--server-base", path("o.exe")}, "brand takes EXE, --server-base URL and OUT", "no output"},
        {{exe, path("o.exe")}, "brand takes EXE, --server-base URL and OUT", "no server base"},
        {{exe, "--server-base", "http://x", path("o.exe"), "--testing-site-base"}, "needs an address", "a value missing"},
        {{exe, "--server", "http://x", path("o.exe")}, "unknown brand option '--server'", "a misspelt option"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.why);
        EXPECT_EQ(run(c.args), kUsageError);
        EXPECT_NE(usage_.find(c.message), std::string::npos) << usage_;
        EXPECT_EQ(usage_.find('\n'), std::string::npos) << "one line";
        EXPECT_FALSE(exists("o.exe"));
    }
}

#ifdef TOVREN_CLIENT_EXE
// The real client: its brand place is where the tool looks, laid out as the tool writes it, and
// holds the compiled-in defaults.
TEST_F(BrandCommandTest, TheClientCarriesItsBrandPlace) {
    const std::string client = platform::readWholeFile(TOVREN_CLIENT_EXE).value();
    std::optional<PeSection> section = findSection(client, exam::kBrandSectionName);
    ASSERT_TRUE(section);
    ASSERT_GE(section->size, sizeof(exam::BrandPlace));
    const std::string_view place = std::string_view(client).substr(section->fileOffset, sizeof(exam::BrandPlace));
    EXPECT_TRUE(place.starts_with(std::string(exam::kBrandMarker) + '\0'));
    EXPECT_EQ(place.substr(exam::kServerBaseOffset, std::strlen(TOVREN_SERVER_BASE) + 1),
              std::string_view(TOVREN_SERVER_BASE, std::strlen(TOVREN_SERVER_BASE) + 1));
    EXPECT_EQ(place.substr(exam::kTestingSiteBaseOffset, std::strlen(TOVREN_TESTING_SITE_BASE) + 1),
              std::string_view(TOVREN_TESTING_SITE_BASE, std::strlen(TOVREN_TESTING_SITE_BASE) + 1));

    // No copy of either address outside the place: the compiler folded none into the code, so a
    // branded copy uses its new addresses everywhere (the browser's first page included).
    for (std::string_view address : {std::string_view(TOVREN_SERVER_BASE), std::string_view(TOVREN_TESTING_SITE_BASE)}) {
        for (std::size_t at = client.find(address); at != std::string::npos; at = client.find(address, at + 1)) {
            EXPECT_GE(at, section->fileOffset) << address << " at " << at;
            EXPECT_LT(at, section->fileOffset + sizeof(exam::BrandPlace)) << address << " at " << at;
        }
    }

    ASSERT_EQ(run({platform::nativePath(TOVREN_CLIENT_EXE), "--server-base", "http://10.1.2.3:8080",
                   path("tovren.exe")}),
              0)
        << streams_.errText();
    const std::string branded = read("tovren.exe");
    EXPECT_EQ(branded.substr(section->fileOffset + exam::kServerBaseOffset, 21), std::string("http://10.1.2.3:8080\0", 21));
    const PeImage image = readPeImage(branded);
    uint32_t checksum = 0;
    std::memcpy(&checksum, branded.data() + image.checksumOffset, 4);
    EXPECT_EQ(checksum, peChecksum(branded, image.checksumOffset)) << "as the linker wrote it for the original";
    std::memcpy(&checksum, client.data() + image.checksumOffset, 4);
    EXPECT_EQ(checksum, peChecksum(client, image.checksumOffset)) << "the checksum is computed as the linker does";
}
#endif

}  // namespace
}  // namespace tovren::tool
