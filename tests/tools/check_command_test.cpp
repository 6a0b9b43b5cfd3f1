// The check command in process, against a question server on 127.0.0.1: a good bank and the
// ways a bank goes wrong, each with its exit code and the line that says what is wrong.
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <map>
#include <set>

#include "bank_runner.h"
#include "captured_streams.h"
#include "check_runner.h"
#include "platform/files.h"
#include "platform/text.h"
#include "support/http_server.h"
#include "support/scratch.h"
#include "zip/zip_writer.h"

namespace tovren::tool {
namespace {

using testing::HttpReply;
using testing::HttpRequest;
using testing::HttpServer;

std::string gbk(std::string_view utf8) {
    return platform::utf8ToGbk(utf8).value();
}

// What Notepad saves as "Unicode": UTF-16LE after its byte-order mark.
std::string utf16le(std::string_view utf8) {
    std::string bytes = "\xFF\xFE";
    for (char16_t unit : platform::utf8ToUtf16(utf8)) {
        bytes += static_cast<char>(unit & 0xFF);
        bytes += static_cast<char>(unit >> 8);
    }
    return bytes;
}

std::string package(std::string_view fileName) {
    return zip::zipArchive(
        {{.name = "sub/", .method = zip::kStored, .externalAttributes = zip::kDosFolder},
         {.name = gbk("sub/") + gbk(fileName), .data = "exercise"}});
}

const std::string kCountSection = "[题目数量]\r\nWord题数量=2\r\nExcel题数量=1\r\n";
const std::string kRequirements =
    "[操作要求]\r\nWord第1题=打开文档~保存\r\nWord第2题=第一步~第二步~第三步\r\n"
    "Excel第1题=求和\r\n";

// What the server holds, path by path, and how it answers.
struct Bank {
    std::string catalogue = kCountSection + kRequirements;  // UTF-8, served in GBK
    std::optional<std::string> catalogueBytes;              // served as they are instead, when set
    std::map<std::string, std::string> files = {
        {"/Kavrel/Word-1.zip", package("春.docx")},
        {"/Kavrel/Word-2.zip", package("荷塘月色.docx")},
        {"/Kavrel/Excel-1.zip", package("成绩表.xlsx")},
        {"/Kavrel/ITHelp.chm", "ITSF\x03\x00\x00\x00 a compiled help file"},
    };
    std::set<std::string> withoutLength;           // sent chunked, as some servers do
    std::map<std::string, std::string> renamedAs;  // a Content-Disposition file name
    bool catalogueMissing = false;
};

HttpReply answer(const Bank& bank, const HttpRequest& request) {
    if (request.path == "/Kavrel/config.txt")
        return bank.catalogueMissing
                   ? testing::statusReply(404)
                   : testing::fileReply(bank.catalogueBytes.value_or(gbk(bank.catalogue)), request);
    auto found = bank.files.find(request.path);
    if (found == bank.files.end()) return testing::statusReply(404, {"Content-Length: 0"});
    if (bank.withoutLength.contains(request.path)) {
        HttpReply reply;
        reply.head = testing::head(200, {"Transfer-Encoding: chunked"});
        reply.body = "5\r\nhello\r\n0\r\n\r\n";
        return reply;
    }
    auto renamed = bank.renamedAs.find(request.path);
    if (renamed != bank.renamedAs.end())
        return testing::fileReply(
            found->second, request,
            {"Content-Disposition: attachment; filename=\"" + renamed->second + "\""});
    return testing::fileReply(found->second, request);
}

class CheckCommandTest : public ::testing::Test {
  protected:
    int check(const Bank& bank) {
        HttpServer server([bank](const HttpRequest& r) { return answer(bank, r); });
        int code = run({server.base()});
        requests_ = server.requests();
        return code;
    }
    int run(const Arguments& args) {
        usage_.clear();
        return checkServer(args, streams_.out(), streams_.err(), usage_);
    }
    bool printed(const std::string& text) const {
        return streams_.outText().find(text) != std::string::npos;
    }

    testing::ScratchFolder streamsFolder_;
    testing::CapturedStreams streams_{streamsFolder_};
    std::string usage_;
    std::vector<HttpRequest> requests_;
};

TEST_F(CheckCommandTest, AGoodBankIsAllOk) {
    const Bank bank;
    EXPECT_EQ(check(bank), 0) << streams_.outText();
    const std::string size = std::to_string(bank.files.at("/Kavrel/Word-2.zip").size());
    EXPECT_TRUE(printed("type        no.      bytes  entries  requirements  result\n"))
        << streams_.outText();
    EXPECT_TRUE(printed("Word          2 " + std::string(10 - size.size(), ' ') + size +
                        "        2             3  OK\n"))
        << streams_.outText();
    EXPECT_TRUE(printed("Excel         1 ")) << streams_.outText();
    EXPECT_TRUE(
        printed("OK: catalogue OK, 3 questions (3 OK, 0 failed), help document OK, 0 warnings\n"))
        << streams_.outText();
    EXPECT_NE(streams_.errText().find("check: Excel-1 (3 of 3)"), std::string::npos)
        << streams_.errText();

    // The client's own request, and every type's package beyond its count is probed.
    ASSERT_FALSE(requests_.empty());
    EXPECT_NE(
        requests_[0].bytes.find("User-Agent: Mozilla/4.0 (compatible; MSIE 5.00; Windows 98)\r\n"),
        std::string::npos);
    std::set<std::string> paths;
    for (const HttpRequest& r : requests_) paths.insert(r.path);
    for (const char* path :
         {"/Kavrel/Word-3.zip", "/Kavrel/Excel-2.zip", "/Kavrel/PowerPoint-1.zip",
          "/Kavrel/Windows-1.zip", "/Kavrel/ITHelp.chm"})
        EXPECT_TRUE(paths.contains(path)) << path;
}

TEST_F(CheckCommandTest, BrokenBanks) {
    struct Case {
        std::function<void(Bank&)> breakIt;
        int exit;
        std::vector<std::string> lines;
        const char* why;
    } const cases[] = {
        {[](Bank& b) { b.files.erase("/Kavrel/Word-2.zip"); },
         1,
         {"Word          2          -        -             3  package: status 404\n",
          "FAILED: catalogue OK, 3 questions (2 OK, 1 failed)"},
         "a missing package"},
        {[](Bank& b) {
             b.files["/Kavrel/Excel-1.zip"] = "this is no ZIP archive at all, only text";
         },
         1,
         {"the package does not unpack (result 0)"},
         "a package that is not a ZIP"},
        {[](Bank& b) {
             b.catalogue =
                 kCountSection + "[操作要求]\r\nWord第1题=打开文档\r\nExcel第1题=求和\r\n";
         },
         1,
         {"Word          2 ", "             0  no requirements under Word第2题\n"},
         "a question with no requirements"},
        {[](Bank& b) { b.files.erase("/Kavrel/ITHelp.chm"); },
         1,
         {"help       http://127.0.0.1:", "/Kavrel/ITHelp.chm  status 404\n",
          "help document failed"},
         "a missing help document"},
        {[](Bank& b) { b.catalogue += "Word第3题=多余的题\r\n"; },
         0,
         {"warning: 操作要求 has Word第3题: beyond Word题数量 = 2; the client never shows it\n",
          "OK: catalogue OK, 3 questions (3 OK, 0 failed), help document OK, 1 warnings\n"},
         "a key beyond the count is a warning only"},
        {[](Bank& b) { b.files["/Kavrel/Excel-2.zip"] = package("x.xlsx"); },
         0,
         {"warning: the server has Excel-2.zip, but the catalogue counts 1 Excel questions\n"},
         "a package beyond the count is a warning only"},
        {[](Bank& b) { b.files["/Kavrel/PowerPoint-1.zip"] = package("x.pptx"); },
         0,
         {"warning: the server has PowerPoint-1.zip, but the catalogue counts 0 PowerPoint "
          "questions\n"},
         "a package of a type with no questions"},
        {[](Bank& b) { b.withoutLength.insert("/Kavrel/Word-1.zip"); },
         1,
         {"Word          1          -        -             2  package: no Content-Length\n"},
         "chunked encoding without a length"},
        {[](Bank& b) { b.renamedAs["/Kavrel/Word-1.zip"] = "word1.zip"; },
         1,
         {"the server names the package word1.zip, but the client unpacks Word-1.zip"},
         "a server that names the file otherwise"},
        {[](Bank& b) { b.catalogueMissing = true; },
         1,
         {"/Kavrel/config.txt  status 404\n", "FAILED: no catalogue, 0 questions"},
         "no catalogue"},
        {[](Bank& b) {
             b.catalogue = "[题目数量]\r\nWord题数量=2题\r\nExcel题数量=1\r\n" + kRequirements;
         },
         0,
         {"warning: Word题数量 is \"2题\", which the client reads as 2\n"},
         "a count that is not plain decimal"},
        {[](Bank& b) { b.catalogue += "[自动检查]\r\nWord第1题=exist sub\r\n"; },
         1,
         {"check 1: unknown check \"exist\""},
         "a malformed automatic check"},
        {[](Bank& b) { b.catalogue += "[自动检查]\r\nWord第2题=~same b.docx sub/没有.docx\r\n"; },
         1,
         {"check 2: the package has no file sub/没有.docx"},
         "a check naming a file the package does not have"},
        {[](Bank& b) { b.catalogue += "[自动检查]\r\nWord第1题=folder sub~absent sub\\旧.docx\r\n"; },
         0,
         {"warning: Word第1题 check 1: already met by the unsolved package, so it proves nothing\n",
          "warning: Word第1题 check 2: already met by the unsolved package"},
         "checks that cannot fail are warnings"},
        {[](Bank& b) { b.files["/Kavrel/ITHelp.chm"] = "<html>not compiled</html>"; },
         0,
         {"warning: ITHelp.chm is no compiled help file"},
         "a help document that is no CHM"},
        {[](Bank&) {}, 0, {"bytes, GBK, 3 questions\n"}, "a GBK catalogue is reported as such"},
        {[](Bank& b) { b.catalogueBytes = b.catalogue; },
         0,
         {"bytes, UTF-8, 3 questions\n",
          "warning: config.txt is UTF-8; this client reads it, but the catalogue's format is GBK"},
         "a UTF-8 catalogue"},
        {[](Bank& b) { b.catalogueBytes = utf16le(b.catalogue); },
         0,
         {"bytes, UTF-16LE, 3 questions\n", "Word          2 ",
          "warning: config.txt is UTF-16LE; this client reads it, but the catalogue's format is "
          "GBK"},
         "a UTF-16LE catalogue, as Notepad saves \"Unicode\""},
        {[](Bank& b) {
             b.catalogue = "[题目数量]\r\nWord题数量=0\r\n[操作要求]\r\nWord第1题=打开\r\n";
             b.files.clear();
             b.files["/Kavrel/ITHelp.chm"] = "ITSF help";
         },
         0,
         {"0 questions\n",
          "warning: the catalogue lists no question at all: every type's count is 0 or missing, "
          "so the students see nothing to choose\n"},
         "a catalogue that lists no question"},
        {[](Bank& b) {
             b.files["/Kavrel/Word-1.zip"] = zip::zipArchive(
                 {{.name = "世界.txt", .data = "x"}, {.name = "说明.txt", .data = "y"}});
         },
         0,
         {"warning: Word-1.zip names 2 entries in UTF-8 without the UTF-8 flag (世界.txt, "
          "说明.txt): the client reads such names as GBK, so the students see 涓栫晫.txt; "
          "rebuild the package with tovren-tool bank\n",
          "3 questions (3 OK, 0 failed), help document OK, 1 warnings\n"},
         "UTF-8 names without the UTF-8 flag, as macOS and Info-ZIP write them"},
        {[](Bank& b) {
             b.files["/Kavrel/Word-1.zip"] =
                 zip::zipArchive({{.name = "世界.txt", .data = "x", .flags = zip::kUtf8Flag}});
         },
         0,
         {"3 questions (3 OK, 0 failed), help document OK, 0 warnings\n"},
         "UTF-8 names with the flag are read as UTF-8: no warning"},
        {[](Bank& b) {
             b.files["/Kavrel/Word-1.zip"] =
                 zip::zipArchive({{.name = gbk("通知.docx"), .data = "x"}});
         },
         0,
         {"3 questions (3 OK, 0 failed), help document OK, 0 warnings\n"},
         "a GBK name that happens to be valid UTF-8 (CD A8 D6 AA) is no UTF-8 name"},
        {[](Bank& b) {
             b.files["/Kavrel/Word-1.zip"] =
                 zip::zipArchive({{.name = "sub/",
                                   .method = zip::kStored,
                                   .externalAttributes = zip::kDosFolder,
                                   .zip64 = zip::Zip64::Everywhere},
                                  {.name = gbk("sub/春.docx"),
                                   .data = "exercise",
                                   .zip64 = zip::Zip64::Everywhere,
                                   .streamed = true}},
                                 {.zip64End = true, .classicEndFilled = true});
         },
         0,
         {"Word          1 ", "        2             2  OK\n",
          "3 questions (3 OK, 0 failed), help document OK, 0 warnings\n"},
         "a ZIP64 package unpacks on this build as in the client"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        testing::ScratchFolder folder;
        testing::CapturedStreams streams(folder);
        Bank bank;
        c.breakIt(bank);
        HttpServer server([bank](const HttpRequest& r) { return answer(bank, r); });
        EXPECT_EQ(checkServer({server.base()}, streams.out(), streams.err(), usage_), c.exit);
        for (const std::string& line : c.lines)
            EXPECT_NE(streams.outText().find(line), std::string::npos) << line << "\nin:\n"
                                                                       << streams.outText();
    }
}

TEST_F(CheckCommandTest, AnUnreachableServerFailsAfterTheRetries) {
    const std::string base = "http://127.0.0.1:" + std::to_string(testing::unusedPort());
    EXPECT_EQ(run({"--retries", "1", "--retry-wait-ms", "10", base + "/"}), 1);
    EXPECT_TRUE(printed("catalogue  " + base + "/Kavrel/config.txt  network failure"))
        << streams_.outText();
    EXPECT_TRUE(printed("retries used up")) << streams_.outText();
    EXPECT_TRUE(printed("FAILED: no catalogue")) << streams_.outText();
}

// The scratch folder lives in the system's temporary folder; nothing of it stays.
TEST_F(CheckCommandTest, TheScratchFolderIsRemoved) {
    testing::ScratchFolder temporary;
    const std::string folder = platform::nativePath(temporary.path());
#ifdef _WIN32
    const char* variable = "TMP";
#else
    const char* variable = "TMPDIR";
#endif
    const char* before = std::getenv(variable);
    const std::string saved = before ? before : "";
#ifdef _WIN32
    _putenv_s(variable, folder.c_str());
#else
    setenv(variable, folder.c_str(), 1);
#endif
    Bank bank;
    bank.files.erase("/Kavrel/Word-1.zip");  // the failing path too
    EXPECT_EQ(check(bank), 1);
#ifdef _WIN32
    _putenv_s(variable, saved.c_str());
#else
    if (before)
        setenv(variable, saved.c_str(), 1);
    else
        unsetenv(variable);
#endif
    EXPECT_TRUE(std::filesystem::is_empty(testing::fsPath(temporary.path())));
    EXPECT_NE(streams_.errText().find("check: Word-2"), std::string::npos) << "the check ran";
}

// The demo bank, built from its source by the bank command, passes the check with no warning.
TEST_F(CheckCommandTest, TheDemoBankIsAllOk) {
    testing::ScratchFolder out;
    std::string usage;
    ASSERT_EQ(buildBank({TOVREN_DEMO_SOURCE, platform::nativePath(out.path())}, streams_.out(),
                        streams_.err(), usage),
              0)
        << streams_.errText();
    HttpServer server([&out](const HttpRequest& r) {
        const std::string_view prefix = "/Kavrel/";
        const std::string name = r.path.starts_with(prefix) ? r.path.substr(prefix.size()) : "/";
        std::optional<std::string> file;
        if (name.find_first_of("/\\") == std::string::npos)
            file = platform::readWholeFile(out / ("Kavrel\\" + name));
        return file ? testing::fileReply(*file, r) : testing::statusReply(404);
    });
    testing::ScratchFolder folder;
    testing::CapturedStreams streams(folder);
    EXPECT_EQ(checkServer({server.base()}, streams.out(), streams.err(), usage), 0)
        << streams.outText();
    for (const char* type :
         {"Word ", "Excel ", "PowerPoint ", "FrontPage ", "Flash ", "PhotoShop ", "Windows "})
        EXPECT_NE(streams.outText().find(std::string("\n") + type), std::string::npos) << type;
    EXPECT_NE(streams.outText().find(", help document OK, 0 warnings\n"), std::string::npos)
        << streams.outText();
}

TEST_F(CheckCommandTest, UsageErrors) {
    struct Case {
        Arguments args;
        const char* message;
        const char* why;
    } const cases[] = {
        {{}, "check takes one SERVERBASE", "nothing given"},
        {{"http://a", "http://b"}, "check takes one SERVERBASE", "two servers"},
        {{"https://127.0.0.1"}, "plain http address", "https"},
        {{"127.0.0.1"}, "plain http address", "no scheme"},
        {{"http://"}, "plain http address", "no host"},
        {{"--retries", "x", "http://a"},
         "--retries takes a whole number",
         "a count that is no number"},
        {{"--fast", "http://a"}, "unknown check option '--fast'", "an unknown option"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        EXPECT_EQ(run(c.args), kUsageError);
        EXPECT_NE(usage_.find(c.message), std::string::npos) << usage_;
    }
    EXPECT_EQ(streams_.outText(), "");
}

}  // namespace
}  // namespace tovren::tool
