#pragma once
// A fault-injecting HTTP server for tests, in the test's own process, on 127.0.0.1 and a port of
// the system's choice. Each connection carries one request; a handler decides what goes back:
// any head at all, a body, and the faults (a drop after N body bytes, a stall, a trickle).
// Every request is recorded byte for byte.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tovren::testing {

struct HttpRequest {
    std::string bytes;                   // the request exactly as it arrived
    std::string path;                    // from the request line, as sent
    std::optional<int64_t> rangeFrom;    // from "Range: bytes=N-"
    int index = 0;                       // 0 for the server's first request, then 1, 2, ...
};

inline constexpr size_t kNever = static_cast<size_t>(-1);

// Opened by a test when it is ready for what a reply holds back; the server waits at it
// (until the server stops) instead of for a time that a loaded machine may overrun.
class Gate {
public:
    void open() { open_.store(true); }
    bool isOpen() const { return open_.load(); }

private:
    std::atomic<bool> open_{false};
};

struct HttpReply {
    std::string head;                // status line, header lines and blank line, as sent
    std::string body;
    bool stallBeforeHead = false;    // wait stallMs before anything is sent
    size_t stallAfter = kNever;      // or after this many body bytes
    int stallMs = 0;                 // cut short when the server stops
    size_t dropAfter = kNever;       // close the connection after this many body bytes
    size_t trickleBytes = 0;         // send the body in pieces of this size...
    int trickleDelayMs = 0;          // ...with this pause before each
    std::shared_ptr<Gate> holdHead = {};  // nothing is sent before this gate opens,
    size_t holdAfter = kNever;            // nor more than this many body bytes...
    std::shared_ptr<Gate> holdRest = {};  // ...before this one opens
};

// "HTTP/1.1 <status> <reason>\r\n" + each line + "\r\n" + "\r\n".
std::string head(int status, const std::vector<std::string>& lines = {});
// 200 with Content-Length; for a request with Range, 206 with Content-Range from that offset.
HttpReply fileReply(std::string body, const HttpRequest& request);
// The same, with the lines added to the head.
HttpReply fileReply(std::string body, const HttpRequest& request, const std::vector<std::string>& lines);
// A head alone.
HttpReply statusReply(int status, const std::vector<std::string>& lines = {});

class HttpServer {
public:
    using Handler = std::function<HttpReply(const HttpRequest&)>;

    explicit HttpServer(Handler handler);
    ~HttpServer();  // ends every stall and connection, then returns
    HttpServer(const HttpServer&) = delete;
    HttpServer& operator=(const HttpServer&) = delete;

    uint16_t port() const;
    std::string base() const;  // "http://127.0.0.1:<port>"
    std::vector<HttpRequest> requests() const;
    size_t requestCount() const;

    struct State;

private:
    std::shared_ptr<State> state_;
};

// A port on 127.0.0.1 where nothing listens (it was free a moment ago).
uint16_t unusedPort();

// Bytes 0, 1, 2, ... 255, 0, 1, ... with a twist, so that a shifted part never matches.
std::string patternBytes(size_t size);

}  // namespace tovren::testing
