// TCP over loopback: 256 MiB through the library, with a loop that only
// queues, pumps and takes, against a plain pair of blocking sockets, one
// thread sending and one receiving, in the same run; and what one pump costs
// with many idle connections open.
#include "net/tcp.h"
#include "net_load.h"
#include "tessel.h"

#include <benchmark/benchmark.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <thread>
#include <vector>

namespace {

constexpr int64_t StreamBytes = int64_t(256) << 20;
constexpr int PieceBytes = 256 * 1024;

void StartLibrary() {
    static const bool started = [] {
        setenv("TESSEL_PLATFORM", "headless", 1);
        unsetenv("TESSEL_AUDIO_OUT");
        setenv("TESSEL_HEADLESS_IDLE_MS", "0", 1);
        SetLogEnabled(0);
        return InitLibrary() == 0;
    }();
    if (!started) std::abort();
}

void BM_TcpStreamThroughLibrary(benchmark::State& state) {
    StartLibrary();
    int port = 0;
    close(PlainListener(&port));  // a free port for the library's listener
    if (ListenTcp("127.0.0.1", port) != 0) std::abort();
    int client = ConnectTcp("127.0.0.1", port);
    int server = -1;
    while (server == -1 || GetTcpState(client) != TcpConnected) {
        PumpMessages();
        if (server == -1) server = AcceptTcp();
    }
    StopListenTcp();
    std::vector<uint8_t> piece(PieceBytes, 0x5A), sink(TcpReceiveLimit);
    for (auto _ : state) {
        int64_t sent = 0, received = 0;
        while (received < StreamBytes) {
            while (sent < StreamBytes && SendTcp(client, piece.data(), PieceBytes) == 0)
                sent += PieceBytes;
            PumpMessages();
            int n;
            while ((n = ReceiveTcp(server, sink.data(), int(sink.size()))) > 0) received += n;
        }
    }
    state.SetBytesProcessed(state.iterations() * StreamBytes);
    CloseTcp(client);
    CloseTcp(server);
}
BENCHMARK(BM_TcpStreamThroughLibrary)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_TcpStreamPlainBlockingPair(benchmark::State& state) {
    int port = 0;
    int listener = PlainListener(&port);
    int sender = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(uint16_t(port));
    if (connect(sender, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) std::abort();
    int receiver = accept(listener, nullptr, nullptr);
    close(listener);
    std::vector<uint8_t> piece(PieceBytes, 0x5A), sink(PieceBytes);
    for (auto _ : state) {
        std::thread writer([&] {
            for (int64_t sent = 0; sent < StreamBytes;) {
                ssize_t n = send(sender, piece.data(), piece.size(), 0);
                if (n <= 0) std::abort();
                sent += n;
            }
        });
        for (int64_t received = 0; received < StreamBytes;) {
            ssize_t n = recv(receiver, sink.data(), sink.size(), 0);
            if (n <= 0) std::abort();
            received += n;
        }
        writer.join();
    }
    state.SetBytesProcessed(state.iterations() * StreamBytes);
    close(sender);
    close(receiver);
}
BENCHMARK(BM_TcpStreamPlainBlockingPair)->Unit(benchmark::kMillisecond)->UseRealTime();

// One whole PumpMessages with the load open; Arg(0) is the pump's own cost
// for comparison.
void BM_PumpWithIdleConnections(benchmark::State& state) {
    StartLibrary();
    IdleLoad load = OpenIdleConnections(int(state.range(0)));
    if (!load.up) state.SkipWithError("the connections did not come up");
    for (auto _ : state) PumpMessages();
    CloseIdleConnections(&load);
}
BENCHMARK(BM_PumpWithIdleConnections)->Arg(0)->Arg(200)->Unit(benchmark::kMicrosecond);

}  // namespace
