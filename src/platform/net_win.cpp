#include <windows.h>
#include <winsock2.h>
#include <ws2tcpip.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <string>

#include "platform/net.h"
#include "platform/net_resolve.h"

namespace tovren::platform {

// A manual-reset event that every socket wait watches beside the socket's own event.
struct NetCancel::Impl {
    HANDLE event = nullptr;
    std::atomic<bool> cancelled{false};
};

// Sockets are non-blocking through WSAEventSelect: an operation is tried, and on WSAEWOULDBLOCK
// the socket's event and the cancel event are waited for together.
struct TcpConnection::Socket {
    SOCKET handle = INVALID_SOCKET;
    WSAEVENT event = WSA_INVALID_EVENT;
    std::shared_ptr<const NetCancel> cancel;
    ~Socket() {
        if (handle != INVALID_SOCKET) closesocket(handle);
        if (event != WSA_INVALID_EVENT) WSACloseEvent(event);
    }
};

namespace {

using Clock = std::chrono::steady_clock;
constexpr long kSocketEvents = FD_READ | FD_WRITE | FD_CONNECT | FD_CLOSE | FD_ACCEPT;

bool startWinsock() {
    static const bool started = [] {
        WSADATA data;
        return WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    return started;
}

int32_t msLeft(Clock::time_point deadline) {
    // Rounded up, so a wait never ends before its deadline.
    auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left <= 0 ? 0 : static_cast<int32_t>(left);
}

// Waits until one of `wanted` (FD_ bits) has happened on the socket, the cancel comes, or the
// time is up. FD_CLOSE always ends the wait, so the next operation can see the close.
// Wine can lose a re-enabled network event under load, so the wait also ends (Ok, nothing in
// `happened`) every kRetrySliceMs and the caller simply tries its operation again.
constexpr int32_t kRetrySliceMs = 50;
NetResult waitFor(TcpConnection::Socket& socket, long wanted, int32_t timeoutMs,
                  WSANETWORKEVENTS* happened = nullptr) {
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    if (happened) *happened = WSANETWORKEVENTS{};
    for (;;) {
        if (socket.cancel->isCancelled()) return NetResult::Cancelled;
        HANDLE handles[2] = {socket.cancel->impl().event, socket.event};
        const int32_t left = msLeft(deadline);
        DWORD r = WaitForMultipleObjects(2, handles, FALSE, static_cast<DWORD>(std::min(left, kRetrySliceMs)));
        if (r == WAIT_OBJECT_0) return NetResult::Cancelled;
        if (r == WAIT_TIMEOUT) return msLeft(deadline) == 0 ? NetResult::TimedOut : NetResult::Ok;
        if (r != WAIT_OBJECT_0 + 1) return NetResult::Failed;
        WSANETWORKEVENTS events{};
        if (WSAEnumNetworkEvents(socket.handle, socket.event, &events) != 0) return NetResult::Failed;
        if (events.lNetworkEvents & (wanted | FD_CLOSE)) {
            if (happened) *happened = events;
            return NetResult::Ok;
        }
        if (msLeft(deadline) == 0) return NetResult::TimedOut;
    }
}

// The end of a non-blocking connect: from FD_CONNECT, or, when that event is late, from the
// socket's state as select() sees it.
NetResult waitForConnect(TcpConnection::Socket& socket, Clock::time_point deadline) {
    for (;;) {
        WSANETWORKEVENTS events{};
        NetResult result = waitFor(socket, FD_CONNECT, msLeft(deadline), &events);
        if (result != NetResult::Ok) return result;
        if (events.lNetworkEvents & FD_CONNECT)
            return events.iErrorCode[FD_CONNECT_BIT] == 0 ? NetResult::Ok : NetResult::Failed;
        fd_set writable, failed;
        FD_ZERO(&writable);
        FD_ZERO(&failed);
        FD_SET(socket.handle, &writable);
        FD_SET(socket.handle, &failed);
        timeval now{0, 0};
        if (::select(0, nullptr, &writable, &failed, &now) == SOCKET_ERROR) return NetResult::Failed;
        if (FD_ISSET(socket.handle, &failed)) return NetResult::Failed;
        if (FD_ISSET(socket.handle, &writable)) return NetResult::Ok;
    }
}

std::unique_ptr<TcpConnection::Socket> openSocket(int family,
                                                  std::shared_ptr<const NetCancel> cancel) {
    auto socket = std::make_unique<TcpConnection::Socket>();
    socket->cancel = std::move(cancel);
    socket->handle = ::socket(family, SOCK_STREAM, IPPROTO_TCP);
    if (socket->handle == INVALID_SOCKET) return nullptr;
    socket->event = WSACreateEvent();
    if (socket->event == WSA_INVALID_EVENT) return nullptr;
    if (WSAEventSelect(socket->handle, socket->event, kSocketEvents) != 0) return nullptr;
    return socket;
}

}  // namespace

NetCancel::NetCancel() : impl_(std::make_unique<Impl>()) {
    impl_->event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    // Without the event no wait could be ended early, so that is a fatal lack of resources.
    if (!impl_->event) std::abort();
}

NetCancel::~NetCancel() { CloseHandle(impl_->event); }

void NetCancel::cancel() {
    if (impl_->cancelled.exchange(true)) return;
    SetEvent(impl_->event);
}

bool NetCancel::isCancelled() const { return impl_->cancelled.load(); }

bool NetCancel::sleep(int32_t ms) const {
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(ms);
    for (;;) {
        if (isCancelled()) return false;
        int32_t left = msLeft(deadline);
        if (left == 0) return true;
        WaitForSingleObject(impl_->event, static_cast<DWORD>(left));
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
    if (!startWinsock()) return std::nullopt;
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
        std::unique_ptr<Socket> socket = openSocket(a->ai_family, cancel);
        if (!socket) continue;
        if (::connect(socket->handle, a->ai_addr, static_cast<int>(a->ai_addrlen)) != 0) {
            if (WSAGetLastError() != WSAEWOULDBLOCK) continue;
            result = waitForConnect(*socket, deadline);
            if (result == NetResult::Failed) continue;
            if (result != NetResult::Ok) break;
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
        int chunk = bytes.size() > 1 << 20 ? 1 << 20 : static_cast<int>(bytes.size());
        int n = ::send(socket_->handle, bytes.data(), chunk, 0);
        if (n > 0) {
            bytes.remove_prefix(static_cast<size_t>(n));
            continue;
        }
        if (n == SOCKET_ERROR && WSAGetLastError() != WSAEWOULDBLOCK) return NetResult::Failed;
        NetResult waited = waitFor(*socket_, FD_WRITE, msLeft(deadline));
        if (waited != NetResult::Ok) return waited;
    }
    return NetResult::Ok;
}

NetResult TcpConnection::receive(void* buffer, size_t size, int32_t timeoutMs, size_t* received) {
    *received = 0;
    if (!socket_) return NetResult::Failed;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    int chunk = size > 1 << 20 ? 1 << 20 : static_cast<int>(size);
    for (;;) {
        if (socket_->cancel->isCancelled()) return NetResult::Cancelled;
        int n = ::recv(socket_->handle, static_cast<char*>(buffer), chunk, 0);
        if (n > 0) {
            *received = static_cast<size_t>(n);
            return NetResult::Ok;
        }
        if (n == 0) return NetResult::Closed;
        if (WSAGetLastError() != WSAEWOULDBLOCK) return NetResult::Failed;
        NetResult waited = waitFor(*socket_, FD_READ, msLeft(deadline));
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
    if (!startWinsock()) return std::nullopt;
    std::unique_ptr<TcpConnection::Socket> socket = openSocket(AF_INET, std::move(cancel));
    if (!socket) return std::nullopt;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(socket->handle, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(socket->handle, SOMAXCONN) != 0)
        return std::nullopt;
    int size = sizeof address;
    if (::getsockname(socket->handle, reinterpret_cast<sockaddr*>(&address), &size) != 0)
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
        SOCKET handle = ::accept(listening->handle, nullptr, nullptr);
        if (handle != INVALID_SOCKET) {
            // The accepted socket inherits the listener's event selection; it gets its own.
            TcpConnection connection;
            connection.socket_ = std::make_unique<TcpConnection::Socket>();
            connection.socket_->handle = handle;
            connection.socket_->cancel = listening->cancel;
            connection.socket_->event = WSACreateEvent();
            if (connection.socket_->event == WSA_INVALID_EVENT ||
                WSAEventSelect(handle, connection.socket_->event, kSocketEvents) != 0)
                continue;
            result = NetResult::Ok;
            return connection;
        }
        int error = WSAGetLastError();
        if (error == WSAECONNRESET) continue;
        if (error != WSAEWOULDBLOCK) {
            result = NetResult::Failed;
            return std::nullopt;
        }
        // A day is "until cancelled" for every purpose here.
        result = waitFor(*listening, FD_ACCEPT, 24 * 3600 * 1000);
        if (result != NetResult::Ok) return std::nullopt;
    }
}

void TcpListener::close() { listening_.close(); }

}  // namespace tovren::platform
