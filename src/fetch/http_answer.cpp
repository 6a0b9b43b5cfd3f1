#include "fetch/http_answer.h"

namespace tovren::fetch {
namespace {

char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; }

bool equalNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (lower(a[i]) != lower(b[i])) return false;
    return true;
}

size_t findNoCase(std::string_view text, std::string_view what) {
    for (size_t i = 0; i + what.size() <= text.size(); ++i)
        if (equalNoCase(text.substr(i, what.size()), what)) return i;
    return text.npos;
}

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    return text;
}

// A decimal number of at most 2^31-1; nothing for anything else (a sign included).
std::optional<int64_t> boundedNumber(std::string_view digits) {
    if (digits.empty()) return std::nullopt;
    int64_t value = 0;
    for (char c : digits) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + (c - '0');
        if (value > kMaxContentLength) return std::nullopt;
    }
    return value;
}

// "bytes <first>-<last>/<total or *>"
std::optional<ContentRange> parseContentRange(std::string_view value) {
    if (!value.starts_with("bytes ")) return std::nullopt;
    value.remove_prefix(6);
    size_t dash = value.find('-'), slash = value.find('/');
    if (dash == value.npos || slash == value.npos || slash < dash) return std::nullopt;
    std::optional<int64_t> first = boundedNumber(value.substr(0, dash));
    std::optional<int64_t> last = boundedNumber(value.substr(dash + 1, slash - dash - 1));
    std::string_view totalText = value.substr(slash + 1);
    std::optional<int64_t> total = totalText == "*" ? std::optional<int64_t>(-1) : boundedNumber(totalText);
    if (!first || !last || !total || *last < *first) return std::nullopt;
    return ContentRange{*first, *last, *total};
}

// The "filename=" value: quoted, or to the end of the line.
std::optional<std::string> dispositionFileName(std::string_view value) {
    size_t at = findNoCase(value, "filename=");
    if (at == value.npos) return std::nullopt;
    value.remove_prefix(at + 9);
    if (!value.empty() && value.front() == '"') {
        value.remove_prefix(1);
        return std::string(value.substr(0, value.find('"')));
    }
    return std::string(value);
}

}  // namespace

std::string buildRequest(const Address& address, std::string_view referer,
                         std::optional<int64_t> rangeFrom) {
    std::string path;
    for (char c : address.path) {
        if (c == ' ')
            path += "%20";
        else
            path += c;
    }
    std::string request = "GET " + path + " HTTP/1.1\r\n";
    request += "Host: " + address.host + "\r\n";
    request += "Accept: */*\r\n";
    request += "Referer: " + std::string(referer) + "\r\n";
    request += "User-Agent: Mozilla/4.0 (compatible; MSIE 5.00; Windows 98)\r\n";
    request += "Pragma: no-cache\r\n";
    request += "Cache-Control: no-cache\r\n";
    if (rangeFrom) request += "Range: bytes=" + std::to_string(*rangeFrom) + "-\r\n";
    request += "Connection: close\r\n";
    request += "\r\n";
    return request;
}

// A line ends at LF, with or without a CR before it: some embedded and hand-written servers send
// bare LF, and HTTP lets a recipient take it as a line end (RFC 9112, 2.2).
std::optional<size_t> headEnd(std::string_view received) {
    for (size_t at = received.find('\n'); at != received.npos; at = received.find('\n', at + 1)) {
        std::string_view next = received.substr(at + 1);
        if (next.starts_with("\n")) return at + 2;
        if (next.starts_with("\r\n")) return at + 3;
    }
    return std::nullopt;
}

namespace {

// The next line of `rest` without its LF or CR LF; `rest` moves past it.
std::string_view takeLine(std::string_view& rest) {
    size_t end = rest.find('\n');
    std::string_view line = rest.substr(0, end);
    rest = end == rest.npos ? std::string_view() : rest.substr(end + 1);
    if (line.ends_with('\r')) line.remove_suffix(1);
    return line;
}

}  // namespace

std::optional<AnswerHead> parseAnswerHead(std::string_view head) {
    std::string_view rest = head;
    std::string_view statusLine = takeLine(rest);
    // "HTTP/1.1 200 OK": the version, one space, three digits, then a space or the end.
    if (!statusLine.starts_with("HTTP/")) return std::nullopt;
    size_t space = statusLine.find(' ');
    if (space == statusLine.npos || statusLine.size() < space + 4) return std::nullopt;
    std::string_view code = statusLine.substr(space + 1, 3);
    if (statusLine.size() > space + 4 && statusLine[space + 4] != ' ') return std::nullopt;
    AnswerHead answer;
    for (char c : code) {
        if (c < '0' || c > '9') return std::nullopt;
        answer.status = answer.status * 10 + (c - '0');
    }

    while (!rest.empty()) {
        std::string_view line = takeLine(rest);
        if (line.empty()) break;

        // The length is read in exactly these two spellings.
        if (line.starts_with("Content-Length: ") || line.starts_with("Content-length: ")) {
            std::optional<int64_t> length = boundedNumber(trimmed(line.substr(16)));
            if (!length || (answer.contentLength && *answer.contentLength != *length)) {
                answer.badLength = true;
            } else {
                answer.contentLength = length;
            }
            continue;
        }
        size_t colon = line.find(':');
        if (colon == line.npos) continue;
        std::string_view name = line.substr(0, colon);
        std::string_view value = trimmed(line.substr(colon + 1));
        if (equalNoCase(name, "Location")) {
            answer.location = std::string(value);
        } else if (equalNoCase(name, "Content-Disposition")) {
            answer.dispositionName = dispositionFileName(value);
        } else if (equalNoCase(name, "Content-Range")) {
            answer.contentRange = parseContentRange(value);
        }
    }
    if (answer.badLength) answer.contentLength.reset();
    return answer;
}

}  // namespace tovren::fetch
