#include "fetch/address.h"

#include <array>

namespace tovren::fetch {
namespace {

struct SchemeName {
    std::string_view prefix;
    Scheme scheme;
    uint16_t defaultPort;
};
constexpr std::array<SchemeName, 5> kSchemes = {{
    {"http://", Scheme::Http, 80},
    {"ftp://", Scheme::Ftp, 21},
    {"mms://", Scheme::Mms, 1755},
    {"mmst://", Scheme::Mmst, 1755},
    {"rtsp://", Scheme::Rtsp, 554},
}};

char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; }

bool startsWithNoCase(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size()) return false;
    for (size_t i = 0; i < prefix.size(); ++i)
        if (lower(text[i]) != prefix[i]) return false;
    return true;
}

// "scheme://" at the start, whatever the scheme.
bool hasScheme(std::string_view text) {
    size_t colon = text.find("://");
    if (colon == text.npos || colon == 0) return false;
    for (char c : text.substr(0, colon)) {
        c = lower(c);
        bool schemeChar = (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.';
        if (!schemeChar) return false;
    }
    return true;
}

std::optional<uint16_t> portNumber(std::string_view digits) {
    if (digits.empty() || digits.size() > 5) return std::nullopt;
    uint32_t value = 0;
    for (char c : digits) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + static_cast<uint32_t>(c - '0');
    }
    if (value == 0 || value > 65535) return std::nullopt;
    return static_cast<uint16_t>(value);
}

}  // namespace

std::string removeDotSegments(std::string_view path) {
    // The query (and a fragment) keep their dots: only the path's segments are resolved.
    size_t pathEnd = path.find_first_of("?#");
    std::string_view input = path.substr(0, pathEnd);
    std::string output;
    // RFC 3986, 5.2.4, segment by segment: "." is dropped, ".." takes the last output segment
    // away (none above the root), a last "." or ".." leaves the folder's "/".
    while (!input.empty()) {
        if (input.starts_with("../")) {
            input.remove_prefix(3);
        } else if (input.starts_with("./")) {
            input.remove_prefix(2);
        } else if (input.starts_with("/./")) {
            input.remove_prefix(2);
        } else if (input == "/.") {
            input = "/";
        } else if (input.starts_with("/../") || input == "/..") {
            input = input.size() == 3 ? std::string_view("/") : input.substr(3);
            size_t last = output.rfind('/');
            output.erase(last == output.npos ? 0 : last);
        } else if (input == "." || input == "..") {
            input = {};
        } else {
            size_t next = input.find('/', input.front() == '/' ? 1 : 0);
            output += input.substr(0, next);
            input = next == input.npos ? std::string_view() : input.substr(next);
        }
    }
    if (pathEnd != path.npos) output += path.substr(pathEnd);
    return output;
}

std::optional<Address> parseAddress(std::string_view text) {
    const SchemeName* scheme = nullptr;
    for (const SchemeName& s : kSchemes)
        if (startsWithNoCase(text, s.prefix)) scheme = &s;
    if (!scheme) return std::nullopt;
    text.remove_prefix(scheme->prefix.size());

    size_t slash = text.find('/');
    if (slash == text.npos || slash == 0) return std::nullopt;
    Address address;
    address.scheme = scheme->scheme;
    address.host = std::string(text.substr(0, slash));
    address.path = std::string(text.substr(slash));
    address.port = scheme->defaultPort;

    std::string_view host = address.host;
    size_t colon = host.find(':');
    if (colon != host.npos) {
        std::optional<uint16_t> port = portNumber(host.substr(colon + 1));
        if (!port) return std::nullopt;
        address.port = *port;
        host = host.substr(0, colon);
    }
    if (host.empty()) return std::nullopt;
    address.hostName = std::string(host);
    return address;
}

std::optional<Address> followLocation(const Address& current, std::string_view location) {
    if (startsWithNoCase(location, "http://")) {
        std::optional<Address> next = parseAddress(location);
        if (next) next->path = removeDotSegments(next->path);
        return next;
    }
    // ftp and every other scheme cannot be followed by a plain HTTP download.
    if (location.empty() || hasScheme(location)) return std::nullopt;
    Address next = current;
    if (location.front() == '/') {
        next.path = removeDotSegments(location);
    } else {
        // The folder of the current path, not of a "/" inside its query.
        std::string_view path = std::string_view(current.path).substr(0, current.path.find('?'));
        next.path = removeDotSegments(std::string(path.substr(0, path.rfind('/') + 1)) + std::string(location));
    }
    return next;
}

}  // namespace tovren::fetch
