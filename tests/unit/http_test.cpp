// HTTP downloads against a loopback server the test starts itself, and the
// URL and progress-text helpers on their edge cases.
#include "platform/net/http.h"
#include "platform/platform.h"
#include "support/harness.h"
#include "tessel.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <dirent.h>
#include <net/if.h>
#include <sched.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

std::string Pattern(size_t n) {
    std::string s(n, '\0');
    for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>((i * 7 + i / 251) & 255);
    return s;
}

int OpenSockets() {
    int count = 0;
    DIR* dir = opendir("/proc/self/fd");
    while (dirent* entry = readdir(dir)) {
        char target[64] = {};
        std::string link = std::string("/proc/self/fd/") + entry->d_name;
        if (readlink(link.c_str(), target, sizeof target - 1) > 0 && std::strncmp(target, "socket:", 7) == 0)
            ++count;
    }
    closedir(dir);
    return count;
}

// The loopback server of tests/support/http_server.py, ended with the test.
class LoopbackServer {
public:
    explicit LoopbackServer(const std::vector<std::string>& extra = {}) {
        int in[2], out[2];
        if (pipe(in) != 0 || pipe(out) != 0) return;
        pid_ = fork();
        if (pid_ == 0) {
            dup2(in[0], 0);
            dup2(out[1], 1);
            close(in[1]);
            close(out[0]);
            std::vector<std::string> args = {"python3", TESSEL_TEST_DATA "/../support/http_server.py",
                                             "--life", "120"};
            args.insert(args.end(), extra.begin(), extra.end());
            std::vector<char*> argv;
            for (auto& a : args) argv.push_back(a.data());
            argv.push_back(nullptr);
            execvp("python3", argv.data());
            _exit(127);
        }
        close(in[0]);
        close(out[1]);
        input_ = in[1];
        FILE* lines = fdopen(out[0], "r");
        char line[32];
        for (size_t i = 0; i < 1 + (extra.empty() ? 0 : 1) && std::fgets(line, sizeof line, lines); ++i)
            ports_.push_back(std::atoi(line));
        std::fclose(lines);
    }
    ~LoopbackServer() {
        if (pid_ <= 0) return;
        close(input_);
        kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
    }
    std::string Url(const std::string& path, size_t which = 0) const {
        return (which ? "https://127.0.0.1:" : "http://127.0.0.1:") + std::to_string(ports_.at(which)) + path;
    }
    bool up() const { return !ports_.empty(); }

private:
    pid_t pid_ = -1;
    int input_ = -1;
    std::vector<int> ports_;
};

// Pumps until no handle is running, for at most `seconds` of real time.
void PumpUntilSettled(const std::vector<int>& handles, int seconds = 20) {
    auto deadline = Clock::now() + std::chrono::seconds(seconds);
    auto running = [&] {
        for (int h : handles)
            if (GetHttpState(h) == HttpRunning) return true;
        return false;
    };
    while (running() && Clock::now() < deadline) PumpMessages();
}

class Http : public ::testing::Test {
protected:
    ScratchDir dir;
    void SetUp() override {
        UseHeadless();
        ASSERT_EQ(InitLibrary(), 0);
    }
    void TearDown() override {
        EndLibrary();
        SetHttpTimeouts(10000, 30000);
        SetHttpMemoryLimit(64ll << 20);
        SetHttpCaFile(nullptr);
    }
    static std::string Body(int h) {
        std::string body(static_cast<size_t>(GetHttpBodySize(h)), '\0');
        EXPECT_EQ(ReadHttpBody(h, body.data(), static_cast<int>(body.size()), 0), static_cast<int>(body.size()));
        return body;
    }
    static std::string Error(int h) {
        char text[512] = "?";
        EXPECT_GE(GetHttpError(h, text, sizeof text), 0);
        return text;
    }
    static int LogCount(const std::string& needle) {
        std::string log = ReadLogUtf8();
        int count = 0;
        for (size_t at = log.find(needle); at != std::string::npos; at = log.find(needle, at + 1)) ++count;
        return count;
    }
};

TEST_F(Http, RequestsEndAsTheServerAnswers) {
    LoopbackServer server;
    ASSERT_TRUE(server.up());
    SetHttpTimeouts(2000, 700);
    SetHttpMemoryLimit(50000);
    struct Case {
        const char* method;
        const char* path;     // on the server, or a whole URL
        const char* post;     // body for POST
        const char* save;     // null: in memory
        int state;
        int status;
        std::string body;     // expected body (memory or file); unchecked for failures
        const char* failure;  // part of GetHttpError for failures
    };
    const Case cases[] = {
        {"GET", "/bytes/40000", nullptr, nullptr, HttpDone, 200, Pattern(40000), nullptr},
        {"GET", "/bytes/300000", nullptr, "saved.bin", HttpDone, 200, Pattern(300000), nullptr},
        {"GET", "/old/20000", nullptr, nullptr, HttpDone, 200, Pattern(20000), nullptr},
        {"HEAD", "/bytes/40000", nullptr, nullptr, HttpDone, 200, "", nullptr},
        {"POST", "/echo", "name=tessel&n=1", nullptr, HttpDone, 200, "name=tessel&n=1", nullptr},
        {"GET", "/hop/5", nullptr, nullptr, HttpDone, 200, Pattern(1000), nullptr},
        {"GET", "/missing", nullptr, nullptr, HttpDone, 404, "not here", nullptr},
        {"GET", "/missing", nullptr, "missing.bin", HttpDone, 404, "not here", nullptr},
        {"GET", "/drip", nullptr, nullptr, HttpDone, 200, "ok", nullptr},
        {"GET", "/hop/6", nullptr, nullptr, HttpFailed, 302, "", "リダイレクト"},
        {"GET", "/loop", nullptr, nullptr, HttpFailed, 302, "", "リダイレクト"},
        // Each hop is reset on the reused connection: the limit is still the cause.
        {"GET", "/reset", nullptr, nullptr, HttpFailed, 302, "", "(more than 5 redirects)"},
        {"GET", "/cut", nullptr, "cut.bin", HttpFailed, 200, "", "途中で接続が切れました"},
        {"GET", "/garbage", nullptr, nullptr, HttpFailed, 0, "", "応答が不正"},
        {"GET", "/silent", nullptr, "silent.bin", HttpFailed, 0, "", "途絶えました"},
        {"GET", "/bytes/60000", nullptr, nullptr, HttpFailed, 200, "", "メモリ上限"},
        {"GET", "http://127.0.0.1:1/", nullptr, nullptr, HttpFailed, 0, "", "接続を拒否されました"},
        {"GET", "http://nonexistent.invalid/", nullptr, nullptr, HttpFailed, 0, "", "ホスト名の解決に失敗しました"},
    };
    std::vector<int> handles;
    for (const Case& c : cases) {
        int size = c.post ? static_cast<int>(std::strlen(c.post)) : 0;
        std::string url = std::strncmp(c.path, "http", 4) == 0 ? c.path : server.Url(c.path);
        handles.push_back(HttpRequest(c.method, url.c_str(), c.post, size,
                                      "application/x-www-form-urlencoded", c.save));
        ASSERT_NE(handles.back(), -1) << c.path;
    }
    auto started = Clock::now();
    PumpUntilSettled(handles);
    auto took = Clock::now() - started;
    // The silent server is given up on after the stall time, not before.
    EXPECT_GE(took, std::chrono::milliseconds(650));
    EXPECT_LT(took, std::chrono::seconds(6));

    int failures = 0;
    for (size_t i = 0; i < std::size(cases); ++i) {
        const Case& c = cases[i];
        int h = handles[i];
        SCOPED_TRACE(std::string(c.method) + " " + c.path);
        EXPECT_EQ(GetHttpState(h), c.state) << Error(h);
        EXPECT_EQ(GetHttpStatusCode(h), c.status);
        if (c.state == HttpFailed) {
            ++failures;
            std::string error = Error(h);
            EXPECT_NE(PlatCp932ToUtf8(error.data(), error.size()).find(c.failure), std::string::npos) << error;
            EXPECT_EQ(error.find("()"), std::string::npos) << "no detail: " << error;
            if (c.save) {
                EXPECT_FALSE(std::filesystem::exists(c.save));
            }
            continue;
        }
        EXPECT_EQ(Error(h), "");
        if (c.save) {
            // An error page is no download: the file stays as it was.
            if (c.status == 200) EXPECT_EQ(ReadFile(c.save), c.body);
            else EXPECT_FALSE(std::filesystem::exists(c.save));
            char one;
            EXPECT_EQ(ReadHttpBody(h, &one, 1, 0), -1);  // the body went to the file
        } else {
            EXPECT_EQ(Body(h), c.body);
        }
        int64_t received = -2, total = -2;
        ASSERT_EQ(GetHttpProgress(h, &received, &total), 0);
        EXPECT_EQ(received, static_cast<int64_t>(c.body.size()));
        EXPECT_EQ(total, std::string(c.path).rfind("/old", 0) == 0 ? -1
                          : std::strcmp(c.method, "HEAD") == 0  ? 40000
                                                                 : static_cast<int64_t>(c.body.size()));
    }
    char value[64];
    EXPECT_EQ(GetHttpHeader(handles[0], "content-TYPE", value, sizeof value), 24);
    EXPECT_STREQ(value, "application/octet-stream");
    EXPECT_EQ(GetHttpHeader(handles[0], "content-type", value, 10), -1);  // does not fit
    EXPECT_EQ(GetHttpHeader(handles[0], "X-None", value, sizeof value), -1);
    EXPECT_EQ(GetHttpHeader(handles[4], "X-Echo-Type", value, sizeof value), 33);
    EXPECT_EQ(GetHttpHeader(handles[5], "Location", value, sizeof value), -1);  // the last reply's only
    // Partial reads of an in-memory body, and nothing left behind in the folder.
    char part[8];
    EXPECT_EQ(ReadHttpBody(handles[0], part, 8, 39996), 4);
    EXPECT_EQ(std::string(part, 4), Pattern(40000).substr(39996));
    EXPECT_EQ(ReadHttpBody(handles[0], part, 8, 40001), -1);
    for (auto& entry : std::filesystem::directory_iterator("."))
        EXPECT_EQ(entry.path().filename().string().find(".part-"), std::string::npos) << entry.path();
    EXPECT_EQ(LogCount("HTTP リクエストに失敗しました"), failures);
}

TEST_F(Http, HundredDownloadsAtOnce) {
    LoopbackServer server;
    ASSERT_TRUE(server.up());
    std::vector<int> handles;
    for (int i = 0; i < 100; ++i) {
        std::string save = i % 2 ? "file" + std::to_string(i) : "";
        handles.push_back(HttpGet(server.Url("/bytes/" + std::to_string(1000 + i * 997)).c_str(),
                                  save.empty() ? nullptr : save.c_str()));
        ASSERT_NE(handles.back(), -1);
    }
    PumpUntilSettled(handles, 60);
    for (int i = 0; i < 100; ++i) {
        ASSERT_EQ(GetHttpState(handles[i]), HttpDone) << i << " " << Error(handles[i]);
        std::string want = Pattern(1000 + i * 997);
        EXPECT_EQ(i % 2 ? ReadFile("file" + std::to_string(i)) : Body(handles[i]), want) << i;
        EXPECT_EQ(CloseHttp(handles[i]), 0);
        EXPECT_EQ(GetHttpState(handles[i]), -1);
    }
}

TEST_F(Http, HttpsTrustsOnlyKnownCertificates) {
    std::string make = "openssl req -x509 -newkey rsa:2048 -nodes -days 1 -subj /CN=127.0.0.1 "
                       "-addext subjectAltName=IP:127.0.0.1 -keyout key.pem -out cert.pem 2>/dev/null";
    ASSERT_EQ(std::system(make.c_str()), 0);
    LoopbackServer server({"--cert", "cert.pem", "--key", "key.pem"});
    ASSERT_TRUE(server.up());
    std::string url = server.Url("/bytes/5000", 1);

    int refused = HttpGet(url.c_str(), nullptr);
    PumpUntilSettled({refused});
    EXPECT_EQ(GetHttpState(refused), HttpFailed);
    std::string error = Error(refused);
    EXPECT_NE(PlatCp932ToUtf8(error.data(), error.size()).find("証明書"), std::string::npos) << error;

    ASSERT_EQ(SetHttpCaFile("cert.pem"), 0);
    int trusted = HttpGet(url.c_str(), nullptr);
    PumpUntilSettled({trusted});
    EXPECT_EQ(GetHttpState(trusted), HttpDone) << Error(trusted);
    EXPECT_EQ(Body(trusted), Pattern(5000));
}

// A POST names the type it is given and no other; the server reads the
// request's header lines back.
TEST_F(Http, PostSendsOnlyTheGivenContentType) {
    LoopbackServer server;
    ASSERT_TRUE(server.up());
    std::string url = server.Url("/headers");
    const char* types[] = {nullptr, "", "text/plain; charset=utf-8"};
    std::vector<int> handles;
    for (const char* type : types) handles.push_back(HttpPost(url.c_str(), "a=1", 3, type, nullptr));
    PumpUntilSettled(handles);
    for (size_t i = 0; i < handles.size(); ++i) {
        ASSERT_EQ(GetHttpState(handles[i]), HttpDone) << Error(handles[i]);
        std::string headers = Body(handles[i]);
        size_t at = headers.find("Content-Type:");
        if (i < 2) EXPECT_EQ(at, std::string::npos) << headers;
        else EXPECT_EQ(headers.substr(at, headers.find('\n', at) - at), "Content-Type: text/plain; charset=utf-8");
    }
}

// An announced length is no promise: the body grows with the bytes that
// come, and stays within its limit while it grows.
TEST_F(Http, BodiesGrowWithTheBytesThatArrive) {
    LoopbackServer server;
    ASSERT_TRUE(server.up());
    SetHttpMemoryLimit(1ll << 40);
    int huge = HttpGet(server.Url("/huge").c_str(), nullptr);
    PumpUntilSettled({huge});
    EXPECT_EQ(GetHttpState(huge), HttpFailed);
    EXPECT_EQ(GetHttpBodySize(huge), 1000);
    std::string error = Error(huge);
    EXPECT_NE(PlatCp932ToUtf8(error.data(), error.size()).find("途中で接続が切れました"), std::string::npos) << error;

    // No announced length: only the limit bounds the growth.
    constexpr int64_t kLimit = 3000000;
    PlatHttpRequest request = {"GET", nullptr, nullptr, 0, nullptr, nullptr, kLimit, 2000, 5000, nullptr};
    std::string url = server.Url("/old/2900000");
    request.url = url.c_str();
    std::string detail;
    PlatHttp* transfer = PlatHttpOpen(request, &detail);
    ASSERT_NE(transfer, nullptr) << detail;
    auto deadline = Clock::now() + std::chrono::seconds(20);
    while (PlatHttpStateOf(transfer) == PlatHttpRunning && Clock::now() < deadline) PumpMessages();
    EXPECT_EQ(PlatHttpStateOf(transfer), PlatHttpDone) << PlatHttpDetail(transfer);
    EXPECT_TRUE(PlatHttpBody(transfer) == Pattern(2900000));
    EXPECT_LE(static_cast<int64_t>(PlatHttpBody(transfer).capacity()), kLimit);
    PlatHttpClose(transfer);
}

// A write that fails says why, not only that the client could not write.
TEST_F(Http, AFailedSaveKeepsItsCause) {
    LoopbackServer server;
    ASSERT_TRUE(server.up());
    rlimit before{};
    getrlimit(RLIMIT_FSIZE, &before);
    rlimit small = before;
    small.rlim_cur = 100000;
    signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    int h = HttpGet(server.Url("/bytes/300000").c_str(), "big.bin");
    PumpUntilSettled({h});
    setrlimit(RLIMIT_FSIZE, &before);
    EXPECT_EQ(GetHttpState(h), HttpFailed);
    EXPECT_NE(Error(h).find(std::strerror(EFBIG)), std::string::npos) << Error(h);
    EXPECT_FALSE(std::filesystem::exists("big.bin"));
}

// Bad arguments and stale handles give -1 and change nothing; closing a
// running download removes its temporary file; the end frees every socket.
TEST(HttpLifetime, BadInputAndShutdownLeaveNothingBehind) {
    ScratchDir dir;
    UseHeadless();
    int socketsBefore = OpenSockets();
    EXPECT_EQ(HttpGet("http://127.0.0.1:1/", nullptr), -1);  // not running
    LoopbackServer server;
    ASSERT_TRUE(server.up());
    ASSERT_EQ(InitLibrary(), 0);
    std::string log = ReadFile("AppLog.txt");
    std::string good = server.Url("/bytes/10");
    char buffer[16];
    const int bad[] = {
        HttpRequest("PUT", good.c_str(), nullptr, 0, nullptr, nullptr),
        HttpRequest(nullptr, good.c_str(), nullptr, 0, nullptr, nullptr),
        HttpRequest("POST", good.c_str(), nullptr, 5, nullptr, nullptr),
        HttpRequest("POST", good.c_str(), "x", -1, nullptr, nullptr),
        HttpRequest("POST", good.c_str(), "x", 1, "text/plain\r\nX-Injected: yes", nullptr),
        HttpRequest("POST", good.c_str(), "x", 1, "text/plain\n", nullptr),
        HttpGet(nullptr, nullptr),
        HttpGet("", nullptr),
        HttpGet("127.0.0.1/bytes/10", nullptr),
        HttpGet("ftp://127.0.0.1/x", nullptr),
        HttpGet("http://127.0.0.1:70000/", nullptr),
        HttpGet("http://[::1/", nullptr),
        HttpGet(good.c_str(), ""),
    };
    for (int h : bad) EXPECT_EQ(h, -1);
    EXPECT_EQ(ReadFile("AppLog.txt"), log);

    int silent = HttpGet(server.Url("/silent").c_str(), "never.bin");
    int finished = HttpGet(good.c_str(), nullptr);
    PumpUntilSettled({finished});
    EXPECT_EQ(ReadHttpBody(silent, buffer, sizeof buffer, 0), -1);  // goes to a file, none arrived yet
    std::vector<std::string> files;
    for (auto& entry : std::filesystem::directory_iterator(".")) files.push_back(entry.path().filename());
    EXPECT_EQ(std::count_if(files.begin(), files.end(), [](auto& f) { return f.find("never.bin.part-") == 0; }), 1);
    EXPECT_EQ(CloseHttp(silent), 0);
    EXPECT_FALSE(std::filesystem::exists("never.bin"));
    for (auto& entry : std::filesystem::directory_iterator("."))
        EXPECT_EQ(entry.path().filename().string().find("never.bin"), std::string::npos);

    int64_t value = 0;
    int stale[] = {silent, -1, 0, 0x50000000 | 200, finished & ~0x78000000};
    for (int h : stale) {
        EXPECT_EQ(GetHttpState(h), -1);
        EXPECT_EQ(GetHttpStatusCode(h), -1);
        EXPECT_EQ(GetHttpProgress(h, &value, &value), -1);
        EXPECT_EQ(GetHttpHeader(h, "a", buffer, sizeof buffer), -1);
        EXPECT_EQ(GetHttpBodySize(h), -1);
        EXPECT_EQ(ReadHttpBody(h, buffer, sizeof buffer, 0), -1);
        EXPECT_EQ(GetHttpError(h, buffer, sizeof buffer), -1);
        EXPECT_EQ(CloseHttp(h), -1);
    }
    EXPECT_EQ(ReadHttpBody(finished, nullptr, 4, 0), -1);
    EXPECT_EQ(ReadHttpBody(finished, buffer, -1, 0), -1);
    EXPECT_EQ(ReadHttpBody(finished, buffer, 4, -1), -1);
    EXPECT_EQ(GetHttpError(finished, nullptr, 4), -1);
    EXPECT_EQ(SetHttpTimeouts(0, 100), -1);
    EXPECT_EQ(SetHttpMemoryLimit(0), -1);

    // Left open on purpose: the end closes them.
    HttpGet(server.Url("/silent").c_str(), "open.bin");
    HttpGet(server.Url("/bytes/100").c_str(), nullptr);
    for (int i = 0; i < 50; ++i) PumpMessages();
    EndLibrary();
    EXPECT_EQ(OpenSockets(), socketsBefore);
    EXPECT_EQ(GetHttpState(finished), -1);
    for (auto& entry : std::filesystem::directory_iterator("."))
        EXPECT_EQ(entry.path().filename().string().find("open.bin"), std::string::npos);
}

// Runs `body` in a child with a network of its own whose name server never
// answers: loopback up, a resolver configuration naming 127.0.0.1 mounted
// over the system's, and a UDP socket on port 53 that reads nothing. The
// child's exit code is the result; 77 means namespaces are unavailable.
int InSilentNameServerNetwork(int (*body)()) {
    pid_t child = fork();
    if (child != 0) {
        int status = 0;
        waitpid(child, &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    if (unshare(CLONE_NEWNET | CLONE_NEWNS) != 0) _exit(77);
    int control = socket(AF_INET, SOCK_DGRAM, 0);
    ifreq loopback{};
    std::strcpy(loopback.ifr_name, "lo");
    loopback.ifr_flags = IFF_UP | IFF_LOOPBACK | IFF_RUNNING;
    std::string conf = std::filesystem::absolute("resolv.conf");
    std::FILE* file = std::fopen(conf.c_str(), "w");
    std::fputs("nameserver 127.0.0.1\n", file);
    std::fclose(file);
    if (ioctl(control, SIOCSIFFLAGS, &loopback) != 0 ||
        mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
        mount(conf.c_str(), "/etc/resolv.conf", nullptr, MS_BIND, nullptr) != 0)
        _exit(77);
    sockaddr_in silent{};
    silent.sin_family = AF_INET;
    silent.sin_port = htons(53);
    silent.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (bind(control, reinterpret_cast<sockaddr*>(&silent), sizeof silent) != 0) _exit(77);
    _exit(body());
}

// A lookup the system resolver would wait on for seconds is abandoned, not
// waited for, by a close and by the end.
TEST(HttpSilentNameServer, CloseAndEndReturnAtOnce) {
    ScratchDir dir;
    UseHeadless();
    int result = InSilentNameServerNetwork([] {
        auto quick = [](auto&& action) {
            auto start = Clock::now();
            action();
            return Clock::now() - start < std::chrono::milliseconds(500);
        };
        if (InitLibrary() != 0) return 2;
        int first = HttpGet("http://tessel-silent.test/", nullptr);
        int second = HttpGet("http://tessel-silent.test/x", "x.bin");
        for (int i = 0; i < 20; ++i) PumpMessages();
        if (GetHttpState(first) != HttpRunning) return 3;
        if (!quick([&] { CloseHttp(first); })) return 4;
        if (!quick([] { EndLibrary(); })) return 5;
        return GetHttpState(second) == -1 && !std::filesystem::exists("x.bin") ? 0 : 6;
    });
    if (result == 77) GTEST_SKIP() << "cannot make a private network with a silent name server here (needs root, namespaces and /etc/resolv.conf)";
    EXPECT_EQ(result, 0) << "2: no start, 3: the lookup ended, 4: CloseHttp waited, 5: EndLibrary waited";
}

TEST(UrlAndFormat, EdgeCases) {
    struct UrlCase {
        const char* url;
        int result;
        const char* scheme;
        const char* host;
        int port;
        const char* path;
    };
    const UrlCase urls[] = {
        {"http://example.com", 0, "http", "example.com", 80, "/"},
        {"https://example.com/a/b?x=1&y=2#top", 0, "https", "example.com", 443, "/a/b?x=1&y=2"},
        {"HTTP://Example.COM:8080/p", 0, "http", "Example.COM", 8080, "/p"},
        {"http://user:pw@host:1/", 0, "http", "host", 1, "/"},
        {"http://[::1]:65535/v6", 0, "http", "::1", 65535, "/v6"},
        {"ftp://files.example/pub", 0, "ftp", "files.example", 21, "/pub"},
        {"http://host:0/", -1, "", "", 0, ""},
        {"http://host:65536/", -1, "", "", 0, ""},
        {"http://host:-1/", -1, "", "", 0, ""},
        {"http://host:80x/", -1, "", "", 0, ""},
        {"nosuchscheme://host/", -1, "", "", 0, ""},
        {"example.com/path", -1, "", "", 0, ""},
        {"http://", -1, "", "", 0, ""},
        {"http://[::1/", -1, "", "", 0, ""},
        {"", -1, "", "", 0, ""},
    };
    for (const UrlCase& c : urls) {
        char scheme[16] = "#", host[64] = "#", path[64] = "#";
        int port = -7;
        EXPECT_EQ(ParseUrl(c.url, scheme, sizeof scheme, host, sizeof host, &port, path, sizeof path), c.result)
            << c.url;
        if (c.result == 0) {
            EXPECT_STREQ(scheme, c.scheme) << c.url;
            EXPECT_STREQ(host, c.host) << c.url;
            EXPECT_EQ(port, c.port) << c.url;
            EXPECT_STREQ(path, c.path) << c.url;
        } else {
            EXPECT_TRUE(!std::strcmp(scheme, "#") && !std::strcmp(host, "#") && port == -7) << c.url;
        }
    }
    char s[8] = "#", h[8] = "#", p[8] = "#";
    int port = -7;
    EXPECT_EQ(ParseUrl(nullptr, s, 8, h, 8, &port, p, 8), -1);
    EXPECT_EQ(ParseUrl("http://a/", nullptr, 8, h, 8, &port, p, 8), -1);
    EXPECT_EQ(ParseUrl("http://a/", s, 8, h, 8, nullptr, p, 8), -1);
    EXPECT_EQ(ParseUrl("http://a/", s, 8, h, -8, &port, p, 8), -1);
    EXPECT_EQ(ParseUrl("http://abcdefgh/", s, 8, h, 8, &port, p, 8), -1);  // host needs 9 bytes
    EXPECT_TRUE(s[0] == '#' && h[0] == '#' && p[0] == '#' && port == -7);
    EXPECT_EQ(ParseUrl("http://abcdefg/", s, 8, h, 8, &port, p, 8), 0);
    EXPECT_STREQ(h, "abcdefg");

    using Format = int (*)(int64_t, char*, int);
    struct FormatCase {
        Format format;
        int64_t value;
        const char* text;  // null: -1 expected
    };
    const FormatCase formats[] = {
        {FormatNumber, 0, "0"},
        {FormatNumber, 999, "999"},
        {FormatNumber, 1000, "1,000"},
        {FormatNumber, 1234567, "1,234,567"},
        {FormatNumber, -1234, "-1,234"},
        {FormatNumber, -999, "-999"},
        {FormatNumber, INT64_MAX, "9,223,372,036,854,775,807"},
        {FormatNumber, INT64_MIN, "-9,223,372,036,854,775,808"},
        {FormatByteSize, 0, "0 B"},
        {FormatByteSize, 999, "999 B"},
        {FormatByteSize, 1000, "0.98 KB"},
        {FormatByteSize, 1023, "1.00 KB"},
        {FormatByteSize, 1536, "1.50 KB"},
        {FormatByteSize, 10234, "9.99 KB"},
        {FormatByteSize, 10235, "10.0 KB"},
        {FormatByteSize, 1023487, "999 KB"},
        {FormatByteSize, 1023488, "0.98 MB"},
        {FormatByteSize, 12897485, "12.3 MB"},
        {FormatByteSize, 4294967296, "4.00 GB"},
        {FormatByteSize, INT64_MAX, "8.00 EB"},
        {FormatByteSize, -1, nullptr},
        {FormatTimeSpan, 0, "0:00"},
        {FormatTimeSpan, 5999, "0:05"},
        {FormatTimeSpan, 754000, "12:34"},
        {FormatTimeSpan, 3599999, "59:59"},
        {FormatTimeSpan, 3600000, "1:00:00"},
        {FormatTimeSpan, 3723000, "1:02:03"},
        {FormatTimeSpan, 360000000, "100:00:00"},
        {FormatTimeSpan, -1, nullptr},
    };
    for (const FormatCase& c : formats) {
        char text[40] = "#";
        int length = c.format(c.value, text, sizeof text);
        SCOPED_TRACE(c.value);
        if (!c.text) {
            EXPECT_EQ(length, -1);
            EXPECT_STREQ(text, "#");
            continue;
        }
        EXPECT_STREQ(text, c.text);
        EXPECT_EQ(length, static_cast<int>(std::strlen(c.text)));
        // One byte short of room for the terminator: nothing is written.
        char small[40];
        std::memset(small, '#', sizeof small);
        EXPECT_EQ(c.format(c.value, small, length), -1);
        EXPECT_EQ(std::string(small, sizeof small), std::string(sizeof small, '#'));
        EXPECT_EQ(c.format(c.value, nullptr, 40), -1);
    }
}

}  // namespace
