// HTTP downloads from a loopback server: a 256 MiB file saved through the
// library, with a loop that only pumps, against the curl command line in the
// same run; and what the download service adds to a pump while 50
// downloads wait on a server that does not answer.
#include "core/core.h"
#include "net_load.h"
#include "tessel.h"

#include <benchmark/benchmark.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

constexpr int64_t kFileSize = 256ll << 20;

struct Setup {
    std::string dir;
    pid_t server = -1;
    int input = -1;
    int port = 0;
    bool ready = false;

    Setup() {
        dir = (std::filesystem::temp_directory_path() / ("http_bench_" + std::to_string(getpid()))).string();
        std::filesystem::create_directories(dir);
        std::vector<char> block(1 << 20);
        for (size_t i = 0; i < block.size(); ++i) block[i] = static_cast<char>((i * 7 + i / 251) & 255);
        std::ofstream file(dir + "/big.bin", std::ios::binary);
        for (int64_t i = 0; i < kFileSize / static_cast<int64_t>(block.size()); ++i)
            file.write(block.data(), static_cast<std::streamsize>(block.size()));
        file.close();
        if (!StartServer()) return;
        setenv("TESSEL_PLATFORM", "headless", 1);
        setenv("TESSEL_HEADLESS_IDLE_MS", "0", 1);
        std::filesystem::current_path(dir);
        ready = InitLibrary() == 0;
    }
    ~Setup() {
        EndLibrary();
        if (server > 0) {
            close(input);
            kill(server, SIGTERM);
            waitpid(server, nullptr, 0);
        }
        std::filesystem::remove_all(dir);
    }
    bool StartServer() {
        int in[2], out[2];
        if (pipe(in) != 0 || pipe(out) != 0) return false;
        server = fork();
        if (server == 0) {
            dup2(in[0], 0);
            dup2(out[1], 1);
            execlp("python3", "python3", TESSEL_SOURCE_DIR "/tests/support/http_server.py", "--root",
                   dir.c_str(), "--life", "900", static_cast<char*>(nullptr));
            _exit(127);
        }
        close(in[0]);
        close(out[1]);
        input = in[1];
        FILE* lines = fdopen(out[0], "r");
        char line[32] = {};
        bool got = std::fgets(line, sizeof line, lines) != nullptr;
        std::fclose(lines);
        port = std::atoi(line);
        return got && port > 0;
    }
    std::string Url(const std::string& path) const {
        return "http://127.0.0.1:" + std::to_string(port) + path;
    }
};

Setup& TheSetup() {
    static Setup setup;
    return setup;
}

void BM_HttpFileLibrary(benchmark::State& state) {
    Setup& s = TheSetup();
    if (!s.ready) return state.SkipWithError("no server or no library");
    std::string url = s.Url("/file/big.bin");
    for (auto _ : state) {
        int h = HttpGet(url.c_str(), "library.bin");
        while (GetHttpState(h) == HttpRunning) PumpMessages();
        if (GetHttpState(h) != HttpDone || std::filesystem::file_size("library.bin") != kFileSize)
            return state.SkipWithError("download failed");
        CloseHttp(h);
    }
    state.SetBytesProcessed(state.iterations() * kFileSize);
}

void BM_HttpFileCurlCommand(benchmark::State& state) {
    Setup& s = TheSetup();
    if (!s.ready) return state.SkipWithError("no server or no library");
    std::string command = "curl -s -o command.bin " + s.Url("/file/big.bin");
    for (auto _ : state) {
        if (std::system(command.c_str()) != 0 || std::filesystem::file_size("command.bin") != kFileSize)
            return state.SkipWithError("curl failed");
    }
    state.SetBytesProcessed(state.iterations() * kFileSize);
}

// Fifty downloads held open by a silent server: the whole pump, and the
// download service alone.
std::vector<int> WaitingDownloads() {
    Setup& s = TheSetup();
    SetHttpTimeouts(10000, 600000);
    std::vector<int> handles;
    for (int i = 0; i < 50; ++i) handles.push_back(HttpGet(s.Url("/silent").c_str(), nullptr));
    // Let every connection open and its request go out.
    for (int i = 0; i < 200; ++i) PumpMessages();
    return handles;
}

void BM_PumpWith50WaitingDownloads(benchmark::State& state) {
    if (!TheSetup().ready) return state.SkipWithError("no server or no library");
    std::vector<int> handles = WaitingDownloads();
    for (auto _ : state) PumpMessages();
    for (int h : handles) {
        if (GetHttpState(h) != HttpRunning) state.SkipWithError("a download stopped");
        CloseHttp(h);
    }
}

void BM_DownloadServiceWith50WaitingDownloads(benchmark::State& state) {
    if (!TheSetup().ready) return state.SkipWithError("no server or no library");
    std::vector<int> handles = WaitingDownloads();
    for (auto _ : state) gCore.hooks.slots[HookDownloads].pump();
    for (int h : handles) {
        if (GetHttpState(h) != HttpRunning) state.SkipWithError("a download stopped");
        CloseHttp(h);
    }
}

// The whole network load of a busy program: 200 idle connections and 50
// waiting downloads in one pump.
void BM_PumpWith200IdleConnectionsAnd50WaitingDownloads(benchmark::State& state) {
    if (!TheSetup().ready) return state.SkipWithError("no server or no library");
    IdleLoad load = OpenIdleConnections(200);
    if (!load.up) state.SkipWithError("the connections did not come up");
    std::vector<int> handles = WaitingDownloads();
    for (auto _ : state) PumpMessages();
    for (int h : handles) {
        if (GetHttpState(h) != HttpRunning) state.SkipWithError("a download stopped");
        CloseHttp(h);
    }
    CloseIdleConnections(&load);
}

}  // namespace

BENCHMARK(BM_HttpFileLibrary)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3)->Repetitions(2);
BENCHMARK(BM_HttpFileCurlCommand)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3)->Repetitions(2);
BENCHMARK(BM_PumpWith50WaitingDownloads)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_DownloadServiceWith50WaitingDownloads)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PumpWith200IdleConnectionsAnd50WaitingDownloads)->Unit(benchmark::kMicrosecond);
