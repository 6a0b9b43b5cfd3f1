#pragma once
// The bytes of a download request and the reading of an answer's head. Both work on the bytes
// as they go over the wire (GBK texts); every length read from the server is bounded.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "fetch/address.h"

namespace tovren::fetch {

// The longest answer head accepted, its closing blank line included.
inline constexpr size_t kMaxHeadBytes = 4097;
// The longest length an answer may announce.
inline constexpr int64_t kMaxContentLength = 2147483647;

// "GET <path> HTTP/1.1" and the fixed header lines; "Range: bytes=<from>-" when resuming.
std::string buildRequest(const Address& address, std::string_view referer,
                         std::optional<int64_t> rangeFrom = std::nullopt);

// The end of the head in the bytes received so far: the offset just after its blank line, or
// nothing while the blank line has not arrived.
std::optional<size_t> headEnd(std::string_view received);

struct ContentRange {
    int64_t first = 0;
    int64_t last = 0;
    int64_t total = -1;  // -1 when the server wrote "*"
};

struct AnswerHead {
    int status = 0;
    // Set only for a well-formed "Content-Length: " (or "Content-length: ") from 0 to 2^31-1.
    std::optional<int64_t> contentLength;
    // A length line was there but negative, too large, not a number, or two that disagree.
    bool badLength = false;
    std::optional<std::string> location;
    // The Content-Disposition "filename=" value as sent (quoted or to the end of the line).
    std::optional<std::string> dispositionName;
    std::optional<ContentRange> contentRange;
};

// Reads a head (status line to blank line). Nothing when the status line is not
// "HTTP/<version> <three digits>".
std::optional<AnswerHead> parseAnswerHead(std::string_view head);

}  // namespace tovren::fetch
