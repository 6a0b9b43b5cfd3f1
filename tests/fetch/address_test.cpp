#include "fetch/address.h"

#include <gtest/gtest.h>

namespace tovren::fetch {
namespace {

struct AddressCase {
    const char* text;
    bool accepted;
    Scheme scheme;
    const char* host;
    const char* hostName;
    uint16_t port;
    const char* path;
    const char* why;
};

TEST(AddressTest, AcceptsAndRefusesAddresses) {
    const AddressCase cases[] = {
        {"http://example.test/Kavrel/config.txt", true, Scheme::Http, "example.test", "example.test", 80,
         "/Kavrel/config.txt", "plain http, port 80"},
        {"HTTP://Example.test:8731/a", true, Scheme::Http, "Example.test:8731", "Example.test", 8731, "/a",
         "the scheme in any case; the host keeps its port for the Host line"},
        {"hTtP://h/", true, Scheme::Http, "h", "h", 80, "/", "mixed case scheme, root path"},
        {"ftp://h/x.zip", true, Scheme::Ftp, "h", "h", 21, "/x.zip", "ftp is accepted"},
        {"mms://h/x", true, Scheme::Mms, "h", "h", 1755, "/x", "mms is accepted"},
        {"MMST://h/x", true, Scheme::Mmst, "h", "h", 1755, "/x", "mmst is accepted"},
        {"rtsp://h:9/x", true, Scheme::Rtsp, "h:9", "h", 9, "/x", "rtsp is accepted"},
        {"http://h/a b/c d.zip", true, Scheme::Http, "h", "h", 80, "/a b/c d.zip", "spaces stay in the path"},
        {"https://h/x", false, Scheme::Http, "", "", 0, "", "https is refused"},
        {"gopher://h/x", false, Scheme::Http, "", "", 0, "", "other schemes are refused"},
        {"http://h", false, Scheme::Http, "", "", 0, "", "no slash after the host"},
        {"http://h:80", false, Scheme::Http, "", "", 0, "", "no slash after host and port"},
        {"http:///x", false, Scheme::Http, "", "", 0, "", "empty host"},
        {"http://:80/x", false, Scheme::Http, "", "", 0, "", "empty host name before the port"},
        {"http://h:/x", false, Scheme::Http, "", "", 0, "", "empty port"},
        {"http://h:0/x", false, Scheme::Http, "", "", 0, "", "port 0"},
        {"http://h:65536/x", false, Scheme::Http, "", "", 0, "", "port out of range"},
        {"http://h:8a/x", false, Scheme::Http, "", "", 0, "", "port not a number"},
        {"h/x", false, Scheme::Http, "", "", 0, "", "no scheme"},
        {"", false, Scheme::Http, "", "", 0, "", "empty"},
    };
    for (const AddressCase& c : cases) {
        SCOPED_TRACE(c.why);
        std::optional<Address> address = parseAddress(c.text);
        ASSERT_EQ(address.has_value(), c.accepted) << c.text;
        if (!address) continue;
        EXPECT_EQ(address->scheme, c.scheme);
        EXPECT_EQ(address->host, c.host);
        EXPECT_EQ(address->hostName, c.hostName);
        EXPECT_EQ(address->port, c.port);
        EXPECT_EQ(address->path, c.path);
    }
}

struct LocationCase {
    const char* location;
    const char* host;  // nullptr: not followed
    const char* path;
    const char* why;
};

TEST(AddressTest, FollowsLocations) {
    const Address current = *parseAddress("http://h:81/Kavrel/sub/Word-1.zip");
    const LocationCase cases[] = {
        {"http://other/x/y.zip", "other", "/x/y.zip", "an absolute http address replaces the address"},
        {"HTTP://other:99/y", "other:99", "/y", "the scheme in any case"},
        {"y.zip", "h:81", "/Kavrel/sub/y.zip", "relative to the folder of the current path"},
        {"deeper/y.zip", "h:81", "/Kavrel/sub/deeper/y.zip", "relative with a folder"},
        {"../y.zip", "h:81", "/Kavrel/y.zip", "a '..' takes the folder above"},
        {"./y.zip", "h:81", "/Kavrel/sub/y.zip", "a '.' stays in the folder"},
        {"../../../../y.zip", "h:81", "/y.zip", "climbing above the root stays at the root"},
        {"/a/./b/../../c/y.zip", "h:81", "/c/y.zip", "dot segments in a path from the root"},
        {"http://other/a/../b/./y.zip", "other", "/b/y.zip", "and in an absolute address"},
        {"..", "h:81", "/Kavrel/", "a last '..' leaves the folder above"},
        {"y.zip?from=../x", "h:81", "/Kavrel/sub/y.zip?from=../x", "the query keeps its dots"},
        {"...zip", "h:81", "/Kavrel/sub/...zip", "a name of dots is no dot segment"},
        {"/root/y.zip", "h:81", "/root/y.zip", "a path from the root replaces the path"},
        {"ftp://h/y.zip", nullptr, nullptr, "ftp is not followed"},
        {"FTP://h/y.zip", nullptr, nullptr, "ftp in any case"},
        {"https://h/y.zip", nullptr, nullptr, "https cannot be followed"},
        {"http://other", nullptr, nullptr, "an absolute address without a path"},
        {"", nullptr, nullptr, "an empty Location"},
    };
    for (const LocationCase& c : cases) {
        SCOPED_TRACE(c.why);
        std::optional<Address> next = followLocation(current, c.location);
        ASSERT_EQ(next.has_value(), c.host != nullptr) << c.location;
        if (!next) continue;
        EXPECT_EQ(next->host, c.host);
        EXPECT_EQ(next->path, c.path);
    }
}

TEST(AddressTest, RelativeLocationsUseThePathsFolderNotTheQuerys) {
    const Address current = *parseAddress("http://h/a/1/get?file=/x/y");
    EXPECT_EQ(followLocation(current, "../2/x.zip")->path, "/a/2/x.zip");
}

struct DotCase {
    const char* path;
    const char* resolved;
    const char* why;
};

TEST(AddressTest, RemovesDotSegments) {
    // The examples of RFC 3986, 5.2.4 and 5.4, and the edges around them.
    const DotCase cases[] = {
        {"/a/b/c/./../../g", "/a/g", "the RFC's first example"},
        {"/a/1/../2/x.zip", "/a/2/x.zip", "one folder up"},
        {"/..", "/", "above the root is the root"},
        {"/../../x", "/x", "however far it climbs"},
        {"/a/..", "/", "a last '..' leaves a '/'"},
        {"/a/.", "/a/", "a last '.' leaves a '/'"},
        {"/a//../b", "/a/b", "an empty segment is a segment"},
        {"/.hidden/..x/x..", "/.hidden/..x/x..", "names that only start or end with dots"},
        {"/", "/", "the root"},
        {"/a/b?q=/../..#/..", "/a/b?q=/../..#/..", "nothing after '?' or '#' is touched"},
    };
    for (const DotCase& c : cases) {
        SCOPED_TRACE(c.why);
        EXPECT_EQ(removeDotSegments(c.path), c.resolved) << c.path;
    }
}

}  // namespace
}  // namespace tovren::fetch
