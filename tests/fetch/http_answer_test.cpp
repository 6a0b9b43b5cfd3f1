#include "fetch/http_answer.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "fuzz/http_answer_properties.h"
#include "support/scratch.h"

namespace tovren::fetch {
namespace {

TEST(HttpRequestTest, FirstRequestBytes) {
    Address address = *parseAddress("http://127.0.0.1:8731/Kavrel/Excel-3.zip");
    EXPECT_EQ(buildRequest(address, "http://127.0.0.1:8731/Kavrel"),
              "GET /Kavrel/Excel-3.zip HTTP/1.1\r\n"
              "Host: 127.0.0.1:8731\r\n"
              "Accept: */*\r\n"
              "Referer: http://127.0.0.1:8731/Kavrel\r\n"
              "User-Agent: Mozilla/4.0 (compatible; MSIE 5.00; Windows 98)\r\n"
              "Pragma: no-cache\r\n"
              "Cache-Control: no-cache\r\n"
              "Connection: close\r\n"
              "\r\n");
}

TEST(HttpRequestTest, ResumeAsksForTheRestAndSpacesAreEncoded) {
    Address address = *parseAddress("http://h/a b/c  d.zip");
    EXPECT_EQ(buildRequest(address, "r", 12345),
              "GET /a%20b/c%20%20d.zip HTTP/1.1\r\n"
              "Host: h\r\n"
              "Accept: */*\r\n"
              "Referer: r\r\n"
              "User-Agent: Mozilla/4.0 (compatible; MSIE 5.00; Windows 98)\r\n"
              "Pragma: no-cache\r\n"
              "Cache-Control: no-cache\r\n"
              "Range: bytes=12345-\r\n"
              "Connection: close\r\n"
              "\r\n");
}

TEST(HttpAnswerTest, HeadEnd) {
    struct {
        const char* received;
        size_t end;  // 0: the head has not ended yet
        const char* why;
    } cases[] = {
        {"HTTP/1.1 200 OK\r\n\r\nbody", 19, "CR LF line ends"},
        {"HTTP/1.1 200 OK\r\nA: b\r\n", 0, "no blank line yet"},
        {"HTTP/1.1 200 OK\n\nbody", 17, "bare LF line ends"},
        {"HTTP/1.1 200 OK\nA: b\r\n\nbody", 23, "both kinds mixed"},
        {"HTTP/1.1 200 OK\r\nA: b\n\r\nbody", 24, "a CR LF blank line after a bare LF"},
        {"HTTP/1.1 200 OK\r\r\r\rbody", 0, "a lone CR ends no line"},
        {"HTTP/1.1 200 OK\nA: b\n", 0, "bare LF, no blank line yet"},
        {"HTTP/1.1 200 OK\r\n\r", 0, "the blank line's LF has not arrived"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.why);
        EXPECT_EQ(headEnd(c.received).value_or(0), c.end);
    }
}

struct HeadCase {
    const char* head;
    int status;           // -1: not an answer at all
    int64_t length;       // -1: none
    bool badLength;
    const char* location;     // nullptr: none
    const char* fileName;     // nullptr: none
    const char* why;
};

TEST(HttpAnswerTest, ReadsTheHead) {
    const HeadCase cases[] = {
        {"HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\n", 200, 10, false, nullptr, nullptr, "the usual answer"},
        {"HTTP/1.0 200\r\nContent-length: 7\r\n\r\n", 200, 7, false, nullptr, nullptr,
         "the lower-case spelling; no reason text"},
        {"HTTP/1.1 200 OK\r\nCONTENT-LENGTH: 10\r\n\r\n", 200, -1, false, nullptr, nullptr,
         "no other spelling is read"},
        {"HTTP/1.1 200 OK\r\nContent-Length:10\r\n\r\n", 200, -1, false, nullptr, nullptr,
         "without the space it is not read"},
        {"HTTP/1.1 200 OK\r\nX-Content-Length: 10\r\n\r\n", 200, -1, false, nullptr, nullptr,
         "only at the start of a line"},
        {"HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n", 200, 0, false, nullptr, nullptr, "an empty file"},
        {"HTTP/1.1 200 OK\r\nContent-Length: 2147483647 \r\n\r\n", 200, 2147483647, false, nullptr, nullptr,
         "the largest length, trailing blank ignored"},
        {"HTTP/1.1 200 OK\r\nContent-Length: 2147483648\r\n\r\n", 200, -1, true, nullptr, nullptr,
         "above 2^31-1 is refused"},
        {"HTTP/1.1 200 OK\r\nContent-Length: 99999999999999999999999\r\n\r\n", 200, -1, true, nullptr, nullptr,
         "a length that would overflow"},
        {"HTTP/1.1 200 OK\r\nContent-Length: -5\r\n\r\n", 200, -1, true, nullptr, nullptr, "negative is refused"},
        {"HTTP/1.1 200 OK\r\nContent-Length: 12abc\r\n\r\n", 200, -1, true, nullptr, nullptr, "not a number"},
        {"HTTP/1.1 200 OK\r\nContent-Length: 5\r\nContent-Length: 6\r\n\r\n", 200, -1, true, nullptr, nullptr,
         "two lengths that disagree"},
        {"HTTP/1.1 200 OK\r\nContent-Length: 5\r\nContent-length: 5\r\n\r\n", 200, 5, false, nullptr, nullptr,
         "two lengths that agree"},
        {"HTTP/1.1 302 Found\r\nLocation: /x/y.zip\r\n\r\n", 302, -1, false, "/x/y.zip", nullptr, "a redirect"},
        {"HTTP/1.1 301 Moved\r\nlocation:   http://h/z  \r\n\r\n", 301, -1, false, "http://h/z", nullptr,
         "Location in any case, blanks trimmed"},
        {"HTTP/1.1 200 OK\r\nContent-Length: 1\r\nContent-Disposition: attachment; filename=\"a b.zip\"; x=y\r\n\r\n",
         200, 1, false, nullptr, "a b.zip", "a quoted file name"},
        {"HTTP/1.1 200 OK\r\nContent-Length: 1\r\nContent-Disposition: attachment; filename=plain.zip\r\n\r\n",
         200, 1, false, nullptr, "plain.zip", "an unquoted file name runs to the end of the line"},
        {"HTTP/1.1 200 OK\r\nContent-Length: 1\r\nContent-Disposition: attachment; filename=\"..\\..\\x\"\r\n\r\n",
         200, 1, false, nullptr, "..\\..\\x", "the name is read as sent; it is made safe later"},
        {"HTTP/1.1 200 OK\r\nContent-Length: 1\r\nContent-Disposition: inline\r\n\r\n", 200, 1, false, nullptr,
         nullptr, "no file name"},
        {"HTTP/1.1 404 Not Found\r\n\r\n", 404, -1, false, nullptr, nullptr, "a failure status"},
        {"HTTP/1.1 20 OK\r\n\r\n", -1, -1, false, nullptr, nullptr, "two digits"},
        {"HTTP/1.1 2000 OK\r\n\r\n", -1, -1, false, nullptr, nullptr, "four digits"},
        {"ICY 200 OK\r\n\r\n", -1, -1, false, nullptr, nullptr, "not HTTP"},
        {"HTTP/1.1\r\n\r\n", -1, -1, false, nullptr, nullptr, "no status"},
        {"HTTP/1.1 200 OK\nContent-Length: 10\nContent-Disposition: attachment; filename=lf.zip\n\n", 200, 10,
         false, nullptr, "lf.zip", "bare LF line ends; no CR is left in a value"},
        {"HTTP/1.0 302 Found\nLocation: ../2/x.zip\r\n\n", 302, -1, false, "../2/x.zip", nullptr,
         "line ends of both kinds"},
        {"HTTP/1.1 200 OK\nContent-Length: 10\r\r\n\n", 200, -1, true, nullptr, nullptr,
         "only one CR goes with the LF: a stray CR spoils the number"},
        {"HTTP/1.1 200 OK\nX: a\rContent-Length: 10\n\n", 200, -1, false, nullptr, nullptr,
         "a lone CR ends no line: the length is inside another header"},
    };
    for (const HeadCase& c : cases) {
        SCOPED_TRACE(c.why);
        std::optional<AnswerHead> answer = parseAnswerHead(c.head);
        ASSERT_EQ(answer.has_value(), c.status >= 0);
        if (!answer) continue;
        EXPECT_EQ(answer->status, c.status);
        EXPECT_EQ(answer->contentLength.value_or(-1), c.length);
        EXPECT_EQ(answer->badLength, c.badLength);
        EXPECT_EQ(answer->location.has_value(), c.location != nullptr);
        if (c.location && answer->location) {
            EXPECT_EQ(*answer->location, c.location);
        }
        EXPECT_EQ(answer->dispositionName.has_value(), c.fileName != nullptr);
        if (c.fileName && answer->dispositionName) {
            EXPECT_EQ(*answer->dispositionName, c.fileName);
        }
    }
}

struct RangeCase {
    const char* value;
    bool valid;
    int64_t first, last, total;
    const char* why;
};

TEST(HttpAnswerTest, ReadsContentRange) {
    const RangeCase cases[] = {
        {"bytes 100-199/200", true, 100, 199, 200, "the usual form"},
        {"bytes 0-0/1", true, 0, 0, 1, "one byte"},
        {"bytes 5-9/*", true, 5, 9, -1, "unknown total"},
        {"bytes 9-5/10", false, 0, 0, 0, "last before first"},
        {"bytes -5/10", false, 0, 0, 0, "no first byte"},
        {"items 0-1/2", false, 0, 0, 0, "another unit"},
        {"bytes 0-1", false, 0, 0, 0, "no total"},
        {"bytes 0-99999999999/99999999999", false, 0, 0, 0, "beyond 2^31-1"},
    };
    for (const RangeCase& c : cases) {
        SCOPED_TRACE(c.why);
        std::string text = std::string("HTTP/1.1 206 Partial\r\nContent-Range: ") + c.value + "\r\n\r\n";
        std::optional<AnswerHead> answer = parseAnswerHead(text);
        ASSERT_TRUE(answer);
        ASSERT_EQ(answer->contentRange.has_value(), c.valid);
        if (!c.valid) continue;
        EXPECT_EQ(answer->contentRange->first, c.first);
        EXPECT_EQ(answer->contentRange->last, c.last);
        EXPECT_EQ(answer->contentRange->total, c.total);
    }
}

// The fuzzer's seeds, each with every cut of its bytes, hold the fuzzer's properties.
TEST(HttpAnswerTest, FuzzCorpusHoldsTheProperties) {
    std::filesystem::path corpus = testing::fsPath(TOVREN_FIXTURES) / ".." / "fuzz" / "http_answer_corpus";
    int seeds = 0;
    for (const std::filesystem::directory_entry& e : std::filesystem::directory_iterator(corpus)) {
        SCOPED_TRACE(e.path().filename().string());
        std::ifstream in(e.path(), std::ios::binary);
        const std::string bytes(std::istreambuf_iterator<char>(in), {});
        for (size_t cut = 0; cut <= bytes.size(); ++cut)
            EXPECT_EQ(fuzzing::answerProblem(std::string_view(bytes).substr(0, cut)), "") << "cut at " << cut;
        ++seeds;
    }
    EXPECT_GE(seeds, 10);
}

// The properties themselves catch what they are there for.
TEST(HttpAnswerTest, FuzzPropertiesSeeADotSegment) {
    EXPECT_TRUE(fuzzing::hasDotSegment("/a/../b"));
    EXPECT_TRUE(fuzzing::hasDotSegment("/a/."));
    EXPECT_TRUE(fuzzing::hasDotSegment("/.."));
    EXPECT_FALSE(fuzzing::hasDotSegment("/a/..b/.c/x?y=/../"));
    EXPECT_FALSE(fuzzing::hasDotSegment("/"));
}

}  // namespace
}  // namespace tovren::fetch
