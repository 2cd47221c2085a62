// TCP over non-blocking POSIX sockets, IPv4 and IPv6, and their readiness
// through one epoll set.
#include "platform/device/record.h"
#include "platform/net/tcp.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// The readiness watch of every network socket; -1 while networking is down.
int gWatch = -1;

int FailureOf(int error) {
    switch (error) {
    case EAGAIN:
#if EAGAIN != EWOULDBLOCK
    case EWOULDBLOCK:
#endif
    case EINTR:
        return PlatNetWouldBlock;
    case ECONNREFUSED: return PlatNetRefused;
    case ECONNRESET:
    case EPIPE: return PlatNetReset;
    default: return PlatNetFailed;
    }
}

int NewSocket(int family) {
    int s = socket(family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_TCP);
    if (s < 0) return -1;
    // Small messages of a game go out at once instead of waiting to be merged.
    int one = 1;
    setsockopt(s, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    return s;
}

// A v4-mapped v6 address reads better, and compares with what the program
// asked for, in its IPv4 form.
void AddressText(const sockaddr* address, char* text, int size, int* port) {
    char buffer[INET6_ADDRSTRLEN] = "";
    int number = 0;
    if (address->sa_family == AF_INET) {
        auto* v4 = reinterpret_cast<const sockaddr_in*>(address);
        inet_ntop(AF_INET, &v4->sin_addr, buffer, sizeof buffer);
        number = ntohs(v4->sin_port);
    } else if (address->sa_family == AF_INET6) {
        auto* v6 = reinterpret_cast<const sockaddr_in6*>(address);
        if (IN6_IS_ADDR_V4MAPPED(&v6->sin6_addr))
            inet_ntop(AF_INET, &v6->sin6_addr.s6_addr[12], buffer, sizeof buffer);
        else
            inet_ntop(AF_INET6, &v6->sin6_addr, buffer, sizeof buffer);
        number = ntohs(v6->sin6_port);
    }
    std::snprintf(text, size_t(size), "%s", buffer);
    if (port) *port = number;
}

int BindAndListen(int family, const sockaddr* address, socklen_t length, bool dualStack) {
    int s = NewSocket(family);
    if (s < 0) return -1;
    int one = 1, zero = 0;
    setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    if (family == AF_INET6) setsockopt(s, IPPROTO_IPV6, IPV6_V6ONLY, dualStack ? &zero : &one, sizeof one);
    if (bind(s, address, length) != 0 || listen(s, SOMAXCONN) != 0) {
        close(s);
        return -1;
    }
    return s;
}

}  // namespace

int PlatTcpConnect(const PlatSocketAddress* address) {
    RecordUse(RecordUsesNetwork);
    auto* sa = reinterpret_cast<const sockaddr*>(address->bytes);
    int s = NewSocket(sa->sa_family);
    if (s < 0) return PlatNetFailed;
    if (connect(s, sa, address->length) == 0 || errno == EINPROGRESS) return s;
    int failure = FailureOf(errno);
    close(s);
    return failure == PlatNetWouldBlock ? PlatNetFailed : failure;
}

int PlatTcpConnectResult(int socket) {
    pollfd entry{socket, POLLOUT, 0};
    if (poll(&entry, 1, 0) < 0) return PlatNetFailed;
    if (!(entry.revents & (POLLOUT | POLLERR | POLLHUP))) return 1;
    int error = 0;
    socklen_t length = sizeof error;
    if (getsockopt(socket, SOL_SOCKET, SO_ERROR, &error, &length) != 0) return PlatNetFailed;
    if (error == 0) return 0;
    int failure = FailureOf(error);
    return failure == PlatNetWouldBlock ? 1 : failure;
}

int PlatTcpListen(const char* address, int port) {
    RecordUse(RecordUsesNetwork);
    if (!address) {
        sockaddr_in6 any6{};
        any6.sin6_family = AF_INET6;
        any6.sin6_addr = in6addr_any;
        any6.sin6_port = htons(uint16_t(port));
        int s = BindAndListen(AF_INET6, reinterpret_cast<sockaddr*>(&any6), sizeof any6, true);
        if (s >= 0) return s;
        sockaddr_in any4{};
        any4.sin_family = AF_INET;
        any4.sin_addr.s_addr = htonl(INADDR_ANY);
        any4.sin_port = htons(uint16_t(port));
        s = BindAndListen(AF_INET, reinterpret_cast<sockaddr*>(&any4), sizeof any4, false);
        return s >= 0 ? s : PlatNetFailed;
    }
    sockaddr_in v4{};
    if (inet_pton(AF_INET, address, &v4.sin_addr) == 1) {
        v4.sin_family = AF_INET;
        v4.sin_port = htons(uint16_t(port));
        int s = BindAndListen(AF_INET, reinterpret_cast<sockaddr*>(&v4), sizeof v4, false);
        return s >= 0 ? s : PlatNetFailed;
    }
    sockaddr_in6 v6{};
    if (inet_pton(AF_INET6, address, &v6.sin6_addr) == 1) {
        v6.sin6_family = AF_INET6;
        v6.sin6_port = htons(uint16_t(port));
        int s = BindAndListen(AF_INET6, reinterpret_cast<sockaddr*>(&v6), sizeof v6, false);
        return s >= 0 ? s : PlatNetFailed;
    }
    return PlatNetFailed;
}

int PlatTcpAccept(int listener) {
    int s = accept4(listener, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (s < 0) {
        // A connection that died in the backlog is not the listener's fault.
        if (errno == ECONNABORTED) return PlatNetWouldBlock;
        int failure = FailureOf(errno);
        return failure == PlatNetWouldBlock ? failure : PlatNetFailed;
    }
    int one = 1;
    setsockopt(s, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    return s;
}

int PlatTcpSend(int socket, const void* data, int size) {
    ssize_t sent = send(socket, data, size_t(size), MSG_NOSIGNAL | MSG_DONTWAIT);
    if (sent >= 0) return int(sent);
    return FailureOf(errno);
}

int PlatTcpReceive(int socket, void* buffer, int size) {
    ssize_t got = recv(socket, buffer, size_t(size), MSG_DONTWAIT);
    if (got > 0) return int(got);
    if (got == 0) return PlatNetClosed;
    return FailureOf(errno);
}

void PlatTcpShutdownSend(int socket) { shutdown(socket, SHUT_WR); }

void PlatTcpClose(int socket) {
    if (socket >= 0) close(socket);
}

void PlatTcpReset(int socket) {
    if (socket < 0) return;
    linger now{1, 0};
    setsockopt(socket, SOL_SOCKET, SO_LINGER, &now, sizeof now);
    close(socket);
}

int PlatTcpPeer(int socket, char* address, int size, int* port) {
    sockaddr_storage peer{};
    socklen_t length = sizeof peer;
    if (getpeername(socket, reinterpret_cast<sockaddr*>(&peer), &length) != 0) return -1;
    AddressText(reinterpret_cast<sockaddr*>(&peer), address, size, port);
    return 0;
}

void PlatSocketAddressText(const PlatSocketAddress* address, char* text, int size) {
    AddressText(reinterpret_cast<const sockaddr*>(address->bytes), text, size, nullptr);
}

int PlatNetStart() {
    if (gWatch < 0) gWatch = epoll_create1(EPOLL_CLOEXEC);
    if (gWatch < 0) return -1;
    if (PlatResolverStart() == 0) return 0;
    PlatNetStop();
    return -1;
}

void PlatNetStop() {
    PlatResolverStop();
    if (gWatch >= 0) close(gWatch);
    gWatch = -1;
}

int PlatNetWatch(int socket, int was, int want, int tag) {
    if (gWatch < 0 || was == want) return gWatch < 0 ? -1 : 0;
    epoll_event event{};
    if (want & PlatPollRead) event.events |= EPOLLIN;
    if (want & PlatPollWrite) event.events |= EPOLLOUT;
    event.data.u64 = uint64_t(uint32_t(tag));
    int op = want == 0 ? EPOLL_CTL_DEL : was == 0 ? EPOLL_CTL_ADD : EPOLL_CTL_MOD;
    return epoll_ctl(gWatch, op, socket, &event) == 0 ? 0 : -1;
}

int PlatNetCheck(PlatReady* ready, int max) {
    if (gWatch < 0 || max <= 0) return -1;
    constexpr int Most = 512;
    epoll_event events[Most];
    int n = epoll_wait(gWatch, events, max < Most ? max : Most, 0);
    if (n < 0) return errno == EINTR ? 0 : -1;
    for (int i = 0; i < n; ++i) {
        uint32_t got = events[i].events;
        int flags = 0;
        if (got & EPOLLIN) flags |= PlatPollRead;
        if (got & EPOLLOUT) flags |= PlatPollWrite;
        if (got & (EPOLLERR | EPOLLHUP)) flags = PlatPollRead | PlatPollWrite;
        ready[i] = PlatReady{int(uint32_t(events[i].data.u64)), flags};
    }
    return n;
}
