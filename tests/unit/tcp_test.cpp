// TCP connections over loopback through the pump: streams of exact bytes both
// ways, the end of a stream, failures reported without the pump waiting on
// the network, the loopback-only listener, bad input, and no socket left
// after EndLibrary; real peers (Python, socat, ncat) on both ends, peers that
// never read, and a name server that never answers.
#include "net/tcp.h"
#include "support/harness.h"
#include "tessel.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <dirent.h>
#include <malloc.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

int FdCount() {
    int n = 0;
    DIR* dir = opendir("/proc/self/fd");
    while (readdir(dir)) ++n;
    closedir(dir);
    return n;
}

// Open IPv4 and IPv6 sockets of the process.
int NetworkSockets() {
    int n = 0;
    for (int fd = 0; fd < 1024; ++fd) {
        sockaddr_storage own{};
        socklen_t length = sizeof own;
        if (getsockname(fd, reinterpret_cast<sockaddr*>(&own), &length) != 0) continue;
        n += own.ss_family == AF_INET || own.ss_family == AF_INET6;
    }
    return n;
}

// A port nobody listens on right now.
int FreePort() {
    int s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof a;
    bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
    getsockname(s, reinterpret_cast<sockaddr*>(&a), &length);
    close(s);
    return ntohs(a.sin_port);
}

// A loopback socket of the given type on a free port, and that port.
int LoopbackSocket(int type, int* port) {
    int s = socket(AF_INET, type, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof a;
    bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
    getsockname(s, reinterpret_cast<sockaddr*>(&a), &length);
    *port = ntohs(a.sin_port);
    return s;
}

bool Listening(int port) {
    std::ifstream table("/proc/net/tcp");
    for (std::string line; std::getline(table, line);) {
        unsigned local = 0, state = 0;
        if (std::sscanf(line.c_str(), "%*d: %*x:%x %*x:%*x %x", &local, &state) == 2 &&
            int(local) == port && state == 0x0A)
            return true;
    }
    return false;
}

// A shell command run beside the pump, its standard output kept.
struct Child {
    std::atomic<bool> done{false};
    std::string out;
    std::thread thread;
    explicit Child(const std::string& command)
        : thread([this, command] {
              FILE* pipe = popen(command.c_str(), "r");
              char buffer[65536];
              for (size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) out.append(buffer, n);
              pclose(pipe);
              done = true;
          }) {}
    ~Child() { thread.join(); }
};

// Python peers: a listener that prints what it receives, and a client that
// sends its input, ends its side, and prints what comes back.
const char* const PythonPeers = R"(import socket, sys, threading
port = int(sys.argv[2])
if sys.argv[1] == "listen":
    s, _ = socket.create_server(("127.0.0.1", port)).accept()
else:
    s = socket.create_connection(("127.0.0.1", port))
    def send():
        s.sendall(sys.stdin.buffer.read())
        s.shutdown(socket.SHUT_WR)
    threading.Thread(target=send).start()
while chunk := s.recv(65536):
    sys.stdout.buffer.write(chunk)
)";

uint8_t PatternByte(uint64_t i, uint64_t seed) {
    return uint8_t(((i ^ (i >> 13) ^ seed) * 0x9E3779B1u) >> 24);
}

// Pumps until `done` holds or the time runs out. Each pump is timed: one
// that spends over 10 ms off the processor without having been preempted
// (an involuntary switch) has waited on something, which the pump must
// never do. Time spent computing, as under a sanitizer, is not waiting.
struct Pumper {
    int slowPumps = 0;
    static std::chrono::microseconds CpuTime(const rusage& usage) {
        auto us = [](const timeval& t) { return std::chrono::microseconds(t.tv_sec * 1000000 + t.tv_usec); };
        return us(usage.ru_utime) + us(usage.ru_stime);
    }
    bool Until(const std::function<bool()>& done, int limitMs = 20000) {
        auto end = Clock::now() + std::chrono::milliseconds(limitMs);
        while (!done()) {
            if (Clock::now() > end) return false;
            rusage before{}, after{};
            getrusage(RUSAGE_THREAD, &before);
            auto start = Clock::now();
            PumpMessages();
            auto took = Clock::now() - start;
            getrusage(RUSAGE_THREAD, &after);
            bool preempted = after.ru_nivcsw > before.ru_nivcsw;
            auto waited = took - (CpuTime(after) - CpuTime(before));
            if (waited > std::chrono::milliseconds(10) && !preempted) ++slowPumps;
        }
        return true;
    }
};

class TcpTest : public ::testing::Test {
protected:
    ScratchDir dir;
    Pumper pump;
    void SetUp() override {
        UseHeadless();
        ASSERT_EQ(InitLibrary(), 0);
    }
    void TearDown() override { EndLibrary(); }
};

TEST_F(TcpTest, TenMebibytesEachWayArriveExactlyAndTheCloseIsReported) {
    struct Row {
        const char* listenAddress;
        const char* host;  // what the client connects to
        const char* peer;  // the address the server sees
    };
    const Row rows[] = {
        {"127.0.0.1", "127.0.0.1", "127.0.0.1"},
        {nullptr, "::1", "::1"},              // every interface takes IPv6
        {nullptr, "localhost", "127.0.0.1"},  // a name, and IPv4 on the dual listener
    };
    constexpr int64_t Total = 10 << 20;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.host);
        int port = FreePort();
        ASSERT_EQ(ListenTcp(row.listenAddress, port), 0);
        int client = ConnectTcp(row.host, port);
        ASSERT_NE(client, -1);
        EXPECT_EQ(GetTcpState(client), TcpConnecting);
        int server = -1;
        ASSERT_TRUE(pump.Until([&] {
            if (server == -1) server = AcceptTcp();
            return server != -1 && GetTcpState(client) == TcpConnected;
        }));
        EXPECT_EQ(AcceptTcp(), -1);
        ASSERT_EQ(StopListenTcp(), 0);

        char address[64];
        int peerPort = 0;
        ASSERT_EQ(GetTcpPeer(server, address, sizeof address, &peerPort), 0);
        EXPECT_STREQ(address, row.peer);
        ASSERT_EQ(GetTcpPeer(client, address, sizeof address, &peerPort), 0);
        EXPECT_EQ(peerPort, port);

        // Both ends send and read at once, in pieces of odd sizes, taking
        // what the queue refuses again after a pump.
        struct End {
            int handle;
            uint64_t seed;
            int64_t sent = 0, received = 0, wrong = 0;
        } ends[2] = {{client, 1}, {server, 2}};
        std::vector<uint8_t> piece(300001);
        ASSERT_TRUE(pump.Until([&] {
            for (int e = 0; e < 2; ++e) {
                End& me = ends[e];
                const End& other = ends[1 - e];
                while (me.sent < Total) {
                    int n = int(std::min<int64_t>(Total - me.sent, 70001));
                    for (int i = 0; i < n; ++i) piece[i] = PatternByte(me.sent + i, me.seed);
                    if (SendTcp(me.handle, piece.data(), n) != 0) break;
                    me.sent += n;
                }
                int peeked = PeekTcp(me.handle, piece.data(), 16);
                int n = ReceiveTcp(me.handle, piece.data(), int(piece.size()));
                EXPECT_GE(n, peeked);
                for (int i = 0; i < n; ++i)
                    me.wrong += piece[i] != PatternByte(me.received + i, other.seed);
                me.received += n;
            }
            return ends[0].received == Total && ends[1].received == Total;
        }));
        EXPECT_EQ(ends[0].wrong + ends[1].wrong, 0);

        // The client's last bytes and its end reach the server after the
        // client's handle is gone.
        const char tail[] = "last words";
        ASSERT_EQ(SendTcp(client, tail, sizeof tail), 0);
        ASSERT_EQ(CloseTcp(client), 0);
        EXPECT_EQ(GetTcpState(client), -1);
        int lost = -1;
        ASSERT_TRUE(pump.Until([&] { return (lost = GetLostTcp()) != -1; }));
        EXPECT_EQ(lost, server);
        EXPECT_EQ(GetTcpState(server), TcpClosedByPeer);
        EXPECT_EQ(GetTcpReceivedSize(server), int(sizeof tail));
        char got[sizeof tail] = {};
        EXPECT_EQ(ReceiveTcp(server, got, sizeof got), int(sizeof tail));
        EXPECT_STREQ(got, tail);
        EXPECT_EQ(SendTcp(server, tail, 1), 0);  // the client only ended its side
        EXPECT_EQ(CloseTcp(server), 0);
        EXPECT_EQ(GetLostTcp(), -1);
    }
}

TEST_F(TcpTest, FailuresReachGetLostTcpWithTheirLogLineAndNoPumpWaits) {
    struct Row {
        const char* host;
        int port;
        const char* logLine;
    };
    const Row rows[] = {
        {"127.0.0.1", FreePort(), "への接続を拒否されました"},
        {"nonexistent.invalid", 80, "nonexistent.invalid の名前解決に失敗しました"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.host);
        int handle = ConnectTcp(row.host, row.port);
        ASSERT_NE(handle, -1);
        int lost = -1;
        ASSERT_TRUE(pump.Until([&] { return (lost = GetLostTcp()) != -1; }, 30000));
        EXPECT_EQ(lost, handle);
        EXPECT_EQ(GetTcpState(handle), TcpFailed);
        EXPECT_EQ(SendTcp(handle, "x", 1), -1);
        char address[64];
        EXPECT_EQ(GetTcpPeer(handle, address, sizeof address, nullptr), -1);
        EXPECT_EQ(CloseTcp(handle), 0);
        EXPECT_NE(ReadLogUtf8().find(row.logLine), std::string::npos);
    }
    EXPECT_EQ(pump.slowPumps, 0);
}

TEST(TcpLifetimeTest, LoopbackListenerBadInputAndNoSocketAfterEnd) {
    ScratchDir dir;
    EXPECT_EQ(ConnectTcp("127.0.0.1", 80), -1);  // before the library is up
    UseHeadless();
    int fdsAtStart = FdCount();
    ASSERT_EQ(InitLibrary(), 0);

    int port = FreePort();
    ASSERT_EQ(ListenTcp("127.0.0.1", port), 0);
    EXPECT_EQ(ListenTcp(nullptr, FreePort()), -1);  // one listener at a time
    // The listening socket's own address is the loopback one, not the wildcard.
    int listeners = 0;
    for (int fd = 0; fd < 1024; ++fd) {
        int accepting = 0;
        socklen_t length = sizeof accepting;
        if (getsockopt(fd, SOL_SOCKET, SO_ACCEPTCONN, &accepting, &length) != 0 || !accepting)
            continue;
        ++listeners;
        sockaddr_storage own{};
        length = sizeof own;
        ASSERT_EQ(getsockname(fd, reinterpret_cast<sockaddr*>(&own), &length), 0);
        ASSERT_EQ(own.ss_family, AF_INET);
        auto* v4 = reinterpret_cast<sockaddr_in*>(&own);
        EXPECT_EQ(ntohl(v4->sin_addr.s_addr), INADDR_LOOPBACK);
        EXPECT_EQ(ntohs(v4->sin_port), port);
    }
    EXPECT_EQ(listeners, 1);

    // Sockets in every stage are open when the library ends: connected pairs
    // with data queued both ways, one closed with its queue still full, one
    // still connecting.
    Pumper pump;
    int a = ConnectTcp("127.0.0.1", port), b = ConnectTcp("127.0.0.1", port);
    int accepted = 0;
    ASSERT_TRUE(pump.Until([&] { return (accepted += AcceptTcp() != -1) == 2; }));
    std::vector<uint8_t> big(TcpSendQueueBytes);
    EXPECT_EQ(SendTcp(a, big.data(), int(big.size())), 0);
    EXPECT_EQ(SendTcp(b, big.data(), int(big.size())), 0);
    EXPECT_EQ(CloseTcp(b), 0);
    int connecting = ConnectTcp("127.0.0.1", FreePort());
    // A full queue refuses more, even one byte.
    ASSERT_TRUE(pump.Until([&] { return SendTcp(a, big.data(), int(big.size())) == -1; }));

    // Bad input: -1 and nothing else.
    char text[64];
    int graphLike = (a & 0x07FFFFFF) | 1 << 27;
    struct Call {
        const char* what;
        std::function<int()> call;
    } bad[] = {
        {"null host", [] { return ConnectTcp(nullptr, 80); }},
        {"empty host", [] { return ConnectTcp("", 80); }},
        {"port 0", [] { return ConnectTcp("127.0.0.1", 0); }},
        {"port 65536", [] { return ConnectTcp("127.0.0.1", 65536); }},
        {"listen port -1", [] { return ListenTcp(nullptr, -1); }},
        {"handle -1", [] { return SendTcp(-1, "x", 1); }},
        {"other type", [&] { return GetTcpState(graphLike); }},
        {"null data", [&] { return SendTcp(a, nullptr, 1); }},
        {"negative size", [&] { return SendTcp(a, "x", -1); }},
        {"null buffer", [&] { return ReceiveTcp(a, nullptr, 4); }},
        {"negative receive", [&] { return PeekTcp(a, text, -4); }},
        {"peer buffer too small", [&] { return GetTcpPeer(a, text, 4, nullptr); }},
        {"peer null buffer", [&] { return GetTcpPeer(a, nullptr, 64, nullptr); }},
        {"peer while connecting", [&] { return GetTcpPeer(connecting, text, 64, nullptr); }},
        {"closed handle", [&] { return CloseTcp(b); }},
    };
    for (const Call& c : bad) EXPECT_EQ(c.call(), -1) << c.what;
    EXPECT_EQ(GetTcpState(a), TcpConnected);

    EndLibrary();
    EXPECT_EQ(FdCount(), fdsAtStart);
    EXPECT_EQ(NetworkSockets(), 0);
    EXPECT_EQ(GetTcpState(a), -1);
    EXPECT_EQ(AcceptTcp(), -1);
}

// Real peers, each row once as the listener a connection closed at once must
// still reach, and once as the client that ends its side after its input and
// must still get all of it echoed back.
struct RealPeer {
    const char* name;
    const char* listen;  // prints what it receives; %d is the port
    const char* echo;    // sends "in", ends its side, prints the echo
    const char* host;
};
const RealPeer RealPeers[] = {
    {"python", "python3 peers.py listen %d", "python3 peers.py echo %d < in", "localhost"},
    {"socat", "socat -u TCP-LISTEN:%d,bind=127.0.0.1,reuseaddr STDOUT",
     "socat -t 20 STDIO TCP:127.0.0.1:%d < in", "127.0.0.1"},
    {"ncat", "ncat -l 127.0.0.1 %d", "ncat 127.0.0.1 %d < in", "127.0.0.1"},
};

// A peer that misses what it waits for gives up after a while.
std::string Command(const char* format, int port) {
    char command[256];
    std::snprintf(command, sizeof command, format, port);
    return std::string("timeout 30 ") + command;
}

TEST_F(TcpTest, ClosingWhileConnectingStillDeliversWhatWasQueued) {
    std::ofstream("peers.py") << PythonPeers;
    for (const RealPeer& peer : RealPeers) {
        SCOPED_TRACE(peer.name);
        int port = FreePort();
        Child child(Command(peer.listen, port));
        ASSERT_TRUE(pump.Until([&] { return Listening(port); }));
        int handle = ConnectTcp(peer.host, port);
        ASSERT_EQ(SendTcp(handle, "hello", 5), 0);
        ASSERT_EQ(CloseTcp(handle), 0);
        EXPECT_TRUE(pump.Until([&] { return child.done.load(); }, 40000));
        EXPECT_EQ(child.out, "hello");
    }
}

TEST_F(TcpTest, PeersThatEndTheirSideAfterTheirInputGetAllOfItBack) {
    std::ofstream("peers.py") << PythonPeers;
    std::string input(10 << 20, '\0');
    for (size_t i = 0; i < input.size(); ++i) input[i] = char(PatternByte(i, 3));
    std::ofstream("in", std::ios::binary) << input;
    std::vector<uint8_t> piece(1 << 20);
    for (const RealPeer& peer : RealPeers) {
        SCOPED_TRACE(peer.name);
        int port = FreePort();
        ASSERT_EQ(ListenTcp("127.0.0.1", port), 0);
        Child child(Command(peer.echo, port));
        int server = -1;
        // Echoes what it can send; closes once the client's end is read and
        // everything went back.
        pump.Until([&] {
            if (server == -1) server = AcceptTcp();
            int n = PeekTcp(server, piece.data(), int(piece.size()));
            if (n > 0 && SendTcp(server, piece.data(), n) == 0) ReceiveTcp(server, piece.data(), n);
            return GetTcpState(server) == TcpClosedByPeer && GetTcpReceivedSize(server) == 0;
        }, 25000);
        CloseTcp(server);
        StopListenTcp();
        ASSERT_TRUE(pump.Until([&] { return child.done.load(); }, 60000));
        EXPECT_EQ(child.out.size(), input.size());
        EXPECT_TRUE(child.out == input);
    }
}

TEST_F(TcpTest, ClosedConnectionsToPeersThatNeverReadAreResetAndCapped) {
    int port = 0;
    int silent = LoopbackSocket(SOCK_STREAM, &port);
    ASSERT_EQ(listen(silent, 1024), 0);  // never accepts, so never reads
    // Full queues that cannot drain, then more closed connections than the
    // lingering set holds.
    std::vector<uint8_t> big(TcpSendQueueBytes);
    for (int wave : {3, 200, 100}) {
        std::vector<int> handles;
        for (int i = 0; i < wave; ++i) handles.push_back(ConnectTcp("127.0.0.1", port));
        ASSERT_TRUE(pump.Until([&] {
            for (int h : handles)
                if (GetTcpState(h) != TcpConnected) return false;
            return true;
        }));
        for (int h : handles) {
            EXPECT_EQ(SendTcp(h, big.data(), wave == 3 ? int(big.size()) : 1), 0);
            CloseTcp(h);
        }
        PumpMessages();
    }
    EXPECT_LE(NetworkSockets(), TcpDrainingMax + 1);
    WaitMs(TcpLingerMs);
    PumpMessages();
    EXPECT_EQ(NetworkSockets(), 1);
    close(silent);
}

TEST_F(TcpTest, ClosingCancelsLookupsOfASilentNameServer) {
    int dnsPort = 0;
    int dns = LoopbackSocket(SOCK_DGRAM, &dnsPort);  // never answers
    setenv("TESSEL_NAME_SERVERS", ("127.0.0.1:" + std::to_string(dnsPort)).c_str(), 1);
    for (int i = 0; i < 300; ++i) {
        int handle = ConnectTcp("silent.test", 80);
        ASSERT_NE(handle, -1) << i;
        PumpMessages();
        EXPECT_EQ(GetTcpState(handle), TcpConnecting);
        CloseTcp(handle);
    }
    char query[512];
    EXPECT_GT(recv(dns, query, sizeof query, MSG_DONTWAIT), 0);  // the lookups did ask it
    EXPECT_EQ(NetworkSockets(), 1);  // no lookup left running
    int port = FreePort();
    ASSERT_EQ(ListenTcp("127.0.0.1", port), 0);
    int handle = ConnectTcp("127.0.0.1", port);
    EXPECT_TRUE(pump.Until([&] { return GetTcpState(handle) == TcpConnected; }));
    unsetenv("TESSEL_NAME_SERVERS");
    close(dns);
}

TEST_F(TcpTest, FailedConnectionsClosedUnreadLeaveNothingQueued) {
    int port = FreePort();
    size_t before = mallinfo2().uordblks;
    for (int round = 0; round < 100; ++round) {
        std::vector<int> handles;
        for (int i = 0; i < 200; ++i) handles.push_back(ConnectTcp("127.0.0.1", port));
        ASSERT_TRUE(pump.Until([&] { return GetTcpState(handles.back()) == TcpFailed; }));
        for (int h : handles) CloseTcp(h);
    }
    // Before, each failure left 4 bytes behind: 80 000 here.
    EXPECT_LT(mallinfo2().uordblks - before, 20000u);
    EXPECT_EQ(GetLostTcp(), -1);
}

}  // namespace
