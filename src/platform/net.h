#pragma once
// TCP over the system's sockets (Winsock on Windows, POSIX sockets elsewhere). Every wait has a
// time-out and ends early when the connection's NetCancel is cancelled from another thread, so
// a stop never waits for the network.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>

namespace tovren::platform {

enum class NetResult {
    Ok,
    Closed,     // the peer closed the connection (receive only)
    TimedOut,
    Cancelled,  // the NetCancel was cancelled
    Failed,     // name resolution, connect, send or receive failed
};

const char* toString(NetResult result);

// Ends every present and future wait of the connections that share it. Thread-safe.
class NetCancel {
public:
    NetCancel();
    ~NetCancel();
    NetCancel(const NetCancel&) = delete;
    NetCancel& operator=(const NetCancel&) = delete;

    void cancel();
    bool isCancelled() const;
    // Waits up to `ms` milliseconds; returns false at once when cancelled meanwhile.
    bool sleep(int32_t ms) const;

    struct Impl;
    Impl& impl() const { return *impl_; }

private:
    std::unique_ptr<Impl> impl_;
};

class TcpConnection {
public:
    TcpConnection();
    TcpConnection(TcpConnection&& other) noexcept;
    TcpConnection& operator=(TcpConnection&& other) noexcept;
    TcpConnection(const TcpConnection&) = delete;
    TcpConnection& operator=(const TcpConnection&) = delete;
    ~TcpConnection();

    // Resolves `host` (a name or a numeric address) and connects within `timeoutMs`.
    static std::optional<TcpConnection> connect(std::string_view host, uint16_t port,
                                                int32_t timeoutMs,
                                                std::shared_ptr<const NetCancel> cancel,
                                                NetResult* why = nullptr);

    // Sends every byte within `timeoutMs` in all.
    NetResult sendAll(std::string_view bytes, int32_t timeoutMs);
    // Receives at most `size` bytes, waiting at most `timeoutMs` for the first of them.
    NetResult receive(void* buffer, size_t size, int32_t timeoutMs, size_t* received);
    bool isOpen() const;
    void close();

    struct Socket;  // the system's socket, defined by each platform's file

private:
    friend class TcpListener;
    std::unique_ptr<Socket> socket_;
};

// A listening socket on 127.0.0.1 (for the project's own local servers).
class TcpListener {
public:
    TcpListener();
    TcpListener(TcpListener&& other) noexcept;
    TcpListener& operator=(TcpListener&& other) noexcept;
    ~TcpListener();

    // Port 0 takes a free port of the system's choice.
    static std::optional<TcpListener> listenLoopback(uint16_t port,
                                                     std::shared_ptr<const NetCancel> cancel);
    uint16_t port() const;
    // Waits for the next client until cancelled; connections share the listener's NetCancel.
    std::optional<TcpConnection> accept(NetResult* why = nullptr);
    void close();

private:
    TcpConnection listening_;
    uint16_t port_ = 0;
};

}  // namespace tovren::platform
