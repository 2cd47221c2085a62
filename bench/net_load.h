// Idle network work for the pump benchmarks: connections of the library to
// a plain loopback listener, accepted on the plain side and left alone.
#ifndef TESSEL_BENCH_NET_LOAD_H
#define TESSEL_BENCH_NET_LOAD_H

#include "tessel.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <vector>

// A plain listening socket on a loopback port of the system's choosing.
inline int PlainListener(int* port) {
    int s = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof a;
    if (bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || listen(s, 512) != 0) std::abort();
    getsockname(s, reinterpret_cast<sockaddr*>(&a), &length);
    *port = ntohs(a.sin_port);
    return s;
}

// Open network work for the pump to look at: `connections` library
// connections to a plain listener, accepted and left idle on its side.
struct IdleLoad {
    int listener = -1;
    std::vector<int> handles, peers;
    bool up = false;  // every connection reached TcpConnected
};

inline IdleLoad OpenIdleConnections(int connections) {
    IdleLoad load;
    int port = 0;
    load.listener = PlainListener(&port);
    for (int i = 0; i < connections; ++i) load.handles.push_back(ConnectTcp("127.0.0.1", port));
    // The pump makes the connections; the plain side takes them as they come.
    auto until = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!load.up && std::chrono::steady_clock::now() < until) {
        PumpMessages();
        int fd;
        while ((fd = accept4(load.listener, nullptr, nullptr, SOCK_NONBLOCK)) >= 0)
            load.peers.push_back(fd);
        int up = 0;
        for (int h : load.handles) up += GetTcpState(h) == TcpConnected;
        load.up = up == connections && int(load.peers.size()) == connections;
    }
    return load;
}

inline void CloseIdleConnections(IdleLoad* load) {
    for (int h : load->handles) CloseTcp(h);
    PumpMessages();
    for (int fd : load->peers) close(fd);
    close(load->listener);
}

#endif
