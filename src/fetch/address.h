#pragma once
// Source addresses of download tasks. Addresses are handled as the bytes that go on the wire:
// GBK, as the request line carries them.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tovren::fetch {

enum class Scheme { Http, Ftp, Mms, Mmst, Rtsp };

struct Address {
    Scheme scheme = Scheme::Http;
    std::string host;      // as written in the address, with ":port" when one was given
    std::string hostName;  // without the port
    uint16_t port = 80;
    std::string path;      // from the first "/" after the host on
};

// The scheme is recognised without regard to case; only http, ftp, mms, mmst and rtsp are
// accepted. An address without a "/" after the host, with an empty host or a port that is not
// a number from 1 to 65535 is refused.
std::optional<Address> parseAddress(std::string_view address);

// The address a redirect's Location value leads to: an "http://" address replaces the current
// one, a path beginning with "/" replaces the current path, any other value is taken relative to
// the folder of the current path; then the path's "." and ".." segments are resolved. Nothing
// for an address of another scheme (ftp included) or one that parseAddress refuses.
// A path with its "." and ".." segments resolved, as every HTTP client does before it asks
// ("/a/1/../2/x.zip" is "/a/2/x.zip"); ".." at the root stays at the root. The query is kept.
std::string removeDotSegments(std::string_view path);

std::optional<Address> followLocation(const Address& current, std::string_view location);

}  // namespace tovren::fetch
