#include "support/http_server.h"

#include <algorithm>
#include <atomic>
#include <list>
#include <mutex>
#include <thread>

#include "platform/net.h"

namespace tovren::testing {

using platform::NetCancel;
using platform::NetResult;
using platform::TcpConnection;
using platform::TcpListener;

namespace {

constexpr size_t kMaxRequestBytes = 64 * 1024;
constexpr int32_t kIoTimeoutMs = 10000;

const char* reasonOf(int status) {
    switch (status) {
        case 200: return "OK";
        case 206: return "Partial Content";
        case 301: return "Moved Permanently";
        case 302: return "Found";
        case 404: return "Not Found";
        case 416: return "Range Not Satisfiable";
        case 500: return "Internal Server Error";
        default: return "Whatever";
    }
}

std::optional<int64_t> rangeFromOf(std::string_view request) {
    size_t at = request.find("\r\nRange: bytes=");
    if (at == request.npos) return std::nullopt;
    int64_t value = 0;
    size_t i = at + 15;
    if (i >= request.size() || request[i] < '0' || request[i] > '9') return std::nullopt;
    for (; i < request.size() && request[i] >= '0' && request[i] <= '9'; ++i) value = value * 10 + (request[i] - '0');
    return value;
}

}  // namespace

struct HttpServer::State {
    Handler handler;
    std::shared_ptr<NetCancel> stop = std::make_shared<NetCancel>();
    TcpListener listener;
    std::thread acceptor;

    mutable std::mutex lock;
    std::vector<HttpRequest> requests;
    struct Worker {
        std::thread thread;
        std::shared_ptr<std::atomic<bool>> done = std::make_shared<std::atomic<bool>>(false);
    };
    std::list<Worker> workers;

    void acceptLoop();
    void serve(TcpConnection connection);
    void reapFinishedWorkers();
    // Sends the bytes; false once the client is gone.
    bool send(TcpConnection& connection, std::string_view bytes) {
        return connection.sendAll(bytes, kIoTimeoutMs) == NetResult::Ok;
    }
};

std::string head(int status, const std::vector<std::string>& lines) {
    std::string text = "HTTP/1.1 " + std::to_string(status) + " " + reasonOf(status) + "\r\n";
    for (const std::string& line : lines) text += line + "\r\n";
    return text + "\r\n";
}

HttpReply fileReply(std::string body, const HttpRequest& request) { return fileReply(std::move(body), request, {}); }

HttpReply fileReply(std::string body, const HttpRequest& request, const std::vector<std::string>& lines) {
    HttpReply reply;
    std::vector<std::string> all = lines;
    const auto size = static_cast<int64_t>(body.size());
    if (request.rangeFrom && *request.rangeFrom < size) {
        int64_t from = *request.rangeFrom;
        all.push_back("Content-Range: bytes " + std::to_string(from) + "-" + std::to_string(size - 1) + "/" +
                      std::to_string(size));
        all.push_back("Content-Length: " + std::to_string(size - from));
        reply.head = head(206, all);
        reply.body = body.substr(static_cast<size_t>(from));
    } else {
        all.push_back("Content-Length: " + std::to_string(size));
        reply.head = head(200, all);
        reply.body = std::move(body);
    }
    return reply;
}

HttpReply statusReply(int status, const std::vector<std::string>& lines) {
    HttpReply reply;
    reply.head = head(status, lines);
    return reply;
}

HttpServer::HttpServer(Handler handler) : state_(std::make_shared<State>()) {
    state_->handler = std::move(handler);
    std::optional<TcpListener> listener = TcpListener::listenLoopback(0, state_->stop);
    if (!listener) std::abort();  // no test can run without it
    state_->listener = std::move(*listener);
    state_->acceptor = std::thread([state = state_.get()] { state->acceptLoop(); });
}

HttpServer::~HttpServer() {
    state_->stop->cancel();
    state_->acceptor.join();
    std::lock_guard lock(state_->lock);
    for (State::Worker& worker : state_->workers) worker.thread.join();
}

uint16_t HttpServer::port() const { return state_->listener.port(); }

std::string HttpServer::base() const { return "http://127.0.0.1:" + std::to_string(port()); }

std::vector<HttpRequest> HttpServer::requests() const {
    std::lock_guard lock(state_->lock);
    return state_->requests;
}

size_t HttpServer::requestCount() const {
    std::lock_guard lock(state_->lock);
    return state_->requests.size();
}

void HttpServer::State::acceptLoop() {
    for (;;) {
        std::optional<TcpConnection> connection = listener.accept();
        if (!connection) return;  // stopped
        std::lock_guard guard(lock);
        reapFinishedWorkers();
        Worker& worker = workers.emplace_back();
        worker.thread = std::thread([this, done = worker.done, c = std::move(*connection)]() mutable {
            serve(std::move(c));
            done->store(true);
        });
    }
}

void HttpServer::State::reapFinishedWorkers() {
    for (auto it = workers.begin(); it != workers.end();) {
        if (it->done->load()) {
            it->thread.join();
            it = workers.erase(it);
        } else {
            ++it;
        }
    }
}

void HttpServer::State::serve(TcpConnection connection) {
    HttpRequest request;
    char buffer[4096];
    while (request.bytes.find("\r\n\r\n") == std::string::npos) {
        size_t got = 0;
        if (connection.receive(buffer, sizeof buffer, kIoTimeoutMs, &got) != NetResult::Ok) return;
        request.bytes.append(buffer, got);
        if (request.bytes.size() > kMaxRequestBytes) return;
    }
    size_t pathStart = request.bytes.find(' ');
    size_t pathEnd = request.bytes.find(" HTTP/");
    if (pathStart != std::string::npos && pathEnd != std::string::npos && pathEnd > pathStart)
        request.path = request.bytes.substr(pathStart + 1, pathEnd - pathStart - 1);
    request.rangeFrom = rangeFromOf(request.bytes);
    {
        std::lock_guard guard(lock);
        request.index = static_cast<int>(requests.size());
        requests.push_back(request);
    }

    const HttpReply reply = handler(request);
    auto passes = [this](const std::shared_ptr<Gate>& gate) {
        while (gate && !gate->isOpen())
            if (!stop->sleep(5)) return false;
        return true;
    };
    if (!passes(reply.holdHead)) return;
    if (reply.stallBeforeHead && !stop->sleep(reply.stallMs)) return;
    if (!send(connection, reply.head)) return;

    size_t sent = 0;
    const size_t end = std::min(reply.body.size(), reply.dropAfter);
    while (sent < end) {
        size_t piece = end - sent;
        if (reply.trickleBytes > 0) {
            piece = std::min(piece, reply.trickleBytes);
            if (!stop->sleep(reply.trickleDelayMs)) return;
        }
        if (reply.stallAfter != kNever && sent < reply.stallAfter) piece = std::min(piece, reply.stallAfter - sent);
        if (reply.holdAfter != kNever && sent < reply.holdAfter) piece = std::min(piece, reply.holdAfter - sent);
        if (reply.holdAfter == sent && !passes(reply.holdRest)) return;
        if (reply.stallAfter == sent && !stop->sleep(reply.stallMs)) return;
        if (!send(connection, std::string_view(reply.body).substr(sent, piece))) return;
        sent += piece;
    }
    if (reply.stallAfter == sent && sent < reply.body.size()) stop->sleep(reply.stallMs);
}

uint16_t unusedPort() {
    auto stop = std::make_shared<NetCancel>();
    std::optional<TcpListener> listener = TcpListener::listenLoopback(0, stop);
    return listener ? listener->port() : 9;
}

std::string patternBytes(size_t size) {
    std::string bytes(size, '\0');
    uint32_t x = 2463534242u;
    for (char& c : bytes) {
        x ^= x << 13, x ^= x >> 17, x ^= x << 5;
        c = static_cast<char>(x >> 24);
    }
    return bytes;
}

}  // namespace tovren::testing
