#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <string>

#include "platform/net.h"
#include "platform/net_resolve.h"

namespace tovren::platform {

// A pipe whose read end turns readable, for good, at the cancel: every poll watches it.
struct NetCancel::Impl {
    int pipe[2] = {-1, -1};
    std::atomic<bool> cancelled{false};
};

struct TcpConnection::Socket {
    int fd = -1;
    std::shared_ptr<const NetCancel> cancel;
    ~Socket() {
        if (fd >= 0) ::close(fd);
    }
};

namespace {

using Clock = std::chrono::steady_clock;

int32_t msLeft(Clock::time_point deadline) {
    // Rounded up, so a wait never ends before its deadline.
    auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left <= 0 ? 0 : static_cast<int32_t>(left);
}

// Waits until `fd` shows one of `events`, the cancel comes, or the time is up.
NetResult waitFor(int fd, short events, int32_t timeoutMs, const NetCancel& cancel) {
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        if (cancel.isCancelled()) return NetResult::Cancelled;
        pollfd fds[2] = {{fd, events, 0}, {cancel.impl().pipe[0], POLLIN, 0}};
        int n = ::poll(fds, 2, msLeft(deadline));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return NetResult::Failed;
        if (fds[1].revents) return NetResult::Cancelled;
        if (fds[0].revents) return NetResult::Ok;
        if (msLeft(deadline) == 0) return NetResult::TimedOut;
    }
}

bool setNonBlocking(int fd) {
    int flags = ::fcntl(fd, F_GETFL);
    return flags >= 0 && ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) == 0;
}

int openSocket(int family) {
    int fd = ::socket(family, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
    if (fd >= 0 && !setNonBlocking(fd)) {
        ::close(fd);
        return -1;
    }
    return fd;
}

}  // namespace

NetCancel::NetCancel() : impl_(std::make_unique<Impl>()) {
    // Without a pipe no wait could be ended early, so that is a fatal lack of resources.
    if (::pipe2(impl_->pipe, O_CLOEXEC | O_NONBLOCK) != 0) std::abort();
}

NetCancel::~NetCancel() {
    ::close(impl_->pipe[0]);
    ::close(impl_->pipe[1]);
}

void NetCancel::cancel() {
    if (impl_->cancelled.exchange(true)) return;
    char byte = 1;
    while (::write(impl_->pipe[1], &byte, 1) < 0 && errno == EINTR) {
    }
}

bool NetCancel::isCancelled() const { return impl_->cancelled.load(); }

bool NetCancel::sleep(int32_t ms) const {
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(ms);
    for (;;) {
        if (isCancelled()) return false;
        int32_t left = msLeft(deadline);
        if (left == 0) return true;
        pollfd fd = {impl_->pipe[0], POLLIN, 0};
        ::poll(&fd, 1, left);
    }
}

TcpConnection::TcpConnection() = default;
TcpConnection::TcpConnection(TcpConnection&& other) noexcept = default;
TcpConnection& TcpConnection::operator=(TcpConnection&& other) noexcept = default;
TcpConnection::~TcpConnection() = default;

std::optional<TcpConnection> TcpConnection::connect(std::string_view host, uint16_t port,
                                                    int32_t timeoutMs,
                                                    std::shared_ptr<const NetCancel> cancel,
                                                    NetResult* why) {
    NetResult ignored;
    NetResult& result = why ? *why : ignored;
    result = NetResult::Failed;
    if (cancel->isCancelled()) {
        result = NetResult::Cancelled;
        return std::nullopt;
    }
    addrinfo* found = detail::resolveUnlessCancelled<addrinfo*>(
        [hostText = std::string(host), portText = std::to_string(port)] {
            addrinfo hints{};
            hints.ai_family = AF_UNSPEC;
            hints.ai_socktype = SOCK_STREAM;
            hints.ai_protocol = IPPROTO_TCP;
            addrinfo* list = nullptr;
            return ::getaddrinfo(hostText.c_str(), portText.c_str(), &hints, &list) == 0 ? list : nullptr;
        },
        [](addrinfo* list) { ::freeaddrinfo(list); }, *cancel, result);
    if (!found) return std::nullopt;

    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    std::optional<TcpConnection> connection;
    for (addrinfo* a = found; a && !connection; a = a->ai_next) {
        auto socket = std::make_unique<Socket>();
        socket->cancel = cancel;
        socket->fd = openSocket(a->ai_family);
        if (socket->fd < 0) continue;
        if (::connect(socket->fd, a->ai_addr, a->ai_addrlen) != 0) {
            if (errno != EINPROGRESS) continue;
            result = waitFor(socket->fd, POLLOUT, msLeft(deadline), *cancel);
            if (result != NetResult::Ok) break;
            int error = 0;
            socklen_t size = sizeof error;
            if (::getsockopt(socket->fd, SOL_SOCKET, SO_ERROR, &error, &size) != 0 || error != 0) {
                result = NetResult::Failed;
                continue;
            }
        }
        result = NetResult::Ok;
        connection.emplace();
        connection->socket_ = std::move(socket);
    }
    ::freeaddrinfo(found);
    return connection;
}

NetResult TcpConnection::sendAll(std::string_view bytes, int32_t timeoutMs) {
    if (!socket_) return NetResult::Failed;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!bytes.empty()) {
        if (socket_->cancel->isCancelled()) return NetResult::Cancelled;
        ssize_t n = ::send(socket_->fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (n > 0) {
            bytes.remove_prefix(static_cast<size_t>(n));
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) return NetResult::Failed;
        NetResult waited = waitFor(socket_->fd, POLLOUT, msLeft(deadline), *socket_->cancel);
        if (waited != NetResult::Ok) return waited;
    }
    return NetResult::Ok;
}

NetResult TcpConnection::receive(void* buffer, size_t size, int32_t timeoutMs, size_t* received) {
    *received = 0;
    if (!socket_) return NetResult::Failed;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        if (socket_->cancel->isCancelled()) return NetResult::Cancelled;
        ssize_t n = ::recv(socket_->fd, buffer, size, 0);
        if (n > 0) {
            *received = static_cast<size_t>(n);
            return NetResult::Ok;
        }
        if (n == 0) return NetResult::Closed;
        if (errno == EINTR) continue;
        if (errno != EAGAIN && errno != EWOULDBLOCK) return NetResult::Failed;
        NetResult waited = waitFor(socket_->fd, POLLIN, msLeft(deadline), *socket_->cancel);
        if (waited != NetResult::Ok) return waited;
    }
}

bool TcpConnection::isOpen() const { return socket_ != nullptr; }

void TcpConnection::close() { socket_.reset(); }

TcpListener::TcpListener() = default;
TcpListener::TcpListener(TcpListener&& other) noexcept = default;
TcpListener& TcpListener::operator=(TcpListener&& other) noexcept = default;
TcpListener::~TcpListener() = default;

std::optional<TcpListener> TcpListener::listenLoopback(uint16_t port,
                                                       std::shared_ptr<const NetCancel> cancel) {
    auto socket = std::make_unique<TcpConnection::Socket>();
    socket->cancel = std::move(cancel);
    socket->fd = openSocket(AF_INET);
    if (socket->fd < 0) return std::nullopt;
    int on = 1;
    ::setsockopt(socket->fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(socket->fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(socket->fd, SOMAXCONN) != 0)
        return std::nullopt;
    socklen_t size = sizeof address;
    if (::getsockname(socket->fd, reinterpret_cast<sockaddr*>(&address), &size) != 0)
        return std::nullopt;
    TcpListener listener;
    listener.port_ = ntohs(address.sin_port);
    listener.listening_.socket_ = std::move(socket);
    return listener;
}

uint16_t TcpListener::port() const { return port_; }

std::optional<TcpConnection> TcpListener::accept(NetResult* why) {
    NetResult ignored;
    NetResult& result = why ? *why : ignored;
    TcpConnection::Socket* listening = listening_.socket_.get();
    if (!listening) {
        result = NetResult::Failed;
        return std::nullopt;
    }
    for (;;) {
        int fd = ::accept4(listening->fd, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (fd >= 0) {
            TcpConnection connection;
            connection.socket_ = std::make_unique<TcpConnection::Socket>();
            connection.socket_->fd = fd;
            connection.socket_->cancel = listening->cancel;
            result = NetResult::Ok;
            return connection;
        }
        if (errno == EINTR || errno == ECONNABORTED) continue;
        if (errno != EAGAIN && errno != EWOULDBLOCK) {
            result = NetResult::Failed;
            return std::nullopt;
        }
        // A day is "until cancelled" for every purpose here.
        result = waitFor(listening->fd, POLLIN, 24 * 3600 * 1000, *listening->cancel);
        if (result != NetResult::Ok) return std::nullopt;
    }
}

void TcpListener::close() { listening_.close(); }

}  // namespace tovren::platform
