#pragma once
// What must hold for any bytes a server sends as an answer: the head's end is found at the
// first blank line and nowhere else, every length read is bounded, a redirect target is a
// rooted path with no dot segments, a server-given name is a safe file name. Shared by the
// libFuzzer target and the corpus test, so both check the same.
#include <string>
#include <string_view>

#include "fetch/address.h"
#include "fetch/http_answer.h"
#include "fetch/target_name.h"

namespace tovren::fetch::fuzzing {

// A dot segment left in a path (before its query), which a resolved path never has.
inline bool hasDotSegment(std::string_view path) {
    path = path.substr(0, path.find_first_of("?#"));
    for (size_t at = 0; at < path.size();) {
        size_t end = path.find('/', at + 1);
        std::string_view segment = path.substr(at + 1, end == path.npos ? path.npos : end - at - 1);
        if (segment == "." || segment == "..") return true;
        if (end == path.npos) break;
        at = end;
    }
    return false;
}

// Empty when every property holds, else the first that does not.
inline std::string answerProblem(std::string_view bytes) {
    std::optional<size_t> end = headEnd(bytes);
    std::string_view head = bytes;
    if (end) {
        if (*end > bytes.size() || *end < 2 || bytes[*end - 1] != '\n')
            return "the head ends off a line end";
        head = bytes.substr(0, *end);
        if (headEnd(head) != end) return "the head's end moves when the body is cut off";
        if (headEnd(bytes.substr(0, *end - 1))) return "a head ends before its blank line";
    }
    std::optional<AnswerHead> answer = parseAnswerHead(head);
    if (!answer) return {};
    if (answer->status < 0 || answer->status > 999) return "a status of more than three digits";
    if (answer->contentLength &&
        (*answer->contentLength < 0 || *answer->contentLength > kMaxContentLength))
        return "an unbounded Content-Length";
    if (answer->contentLength && answer->badLength) return "a length both read and refused";
    if (const auto& range = answer->contentRange) {
        if (range->first < 0 || range->last < range->first || range->last > kMaxContentLength)
            return "a bad range";
        if (range->total < -1 || range->total > kMaxContentLength) return "a bad range total";
    }
    if (answer->location) {
        const Address current = *parseAddress("http://127.0.0.1:8731/Kavrel/sub/Word-1.zip");
        if (std::optional<Address> next = followLocation(current, *answer->location)) {
            if (next->path.empty() || next->path.front() != '/')
                return "a redirect to a path that is not rooted";
            if (hasDotSegment(next->path))
                return "a redirect with a dot segment left: " + next->path;
            if (removeDotSegments(next->path) != next->path)
                return "dot segments resolved twice differ";
            if (next->hostName.empty()) return "a redirect without a host";
            if (std::optional<std::string> name = fileNameFromPath(next->path);
                name && !isSafeFileName(*name))
                return "an unsafe name from a redirect's path";
        }
    }
    if (answer->dispositionName) {
        std::optional<std::string> name = serverFileName(*answer->dispositionName);
        if (name && (!isSafeFileName(*name) || name->find_first_of("/\\") != name->npos))
            return "an unsafe Content-Disposition name: " + *name;
    }
    return {};
}

}  // namespace tovren::fetch::fuzzing
