#include "support/harness.h"

#include "platform/device/headless/headless.h"
#include "platform/platform.h"
#include "tessel.h"

#include <sys/resource.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace fs = std::filesystem;

ScratchDir::ScratchDir() {
    previous_ = fs::current_path().string();
    std::string pattern = (fs::temp_directory_path() / "tessel-test-XXXXXX").string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
    fs::current_path(path_);
}

ScratchDir::~ScratchDir() {
    std::error_code ignored;
    fs::current_path(previous_, ignored);
    fs::remove_all(path_, ignored);
}

void LibraryTest::Start(bool windowed) {
    UseHeadless("", windowed);
    ASSERT_EQ(InitLibrary(), 0);
}

void LibraryTest::TearDown() { EndLibrary(); }

void BackBufferTest::SetUp() {
    Start();
    ASSERT_EQ(SetDrawTarget(TargetBack), 0);
    ClearDrawTarget();
}

int Occurrences(const std::string& text, const std::string& what) {
    int n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

void UseHeadless(const std::string& script, bool windowed) {
    setenv("TESSEL_PLATFORM", "headless", 1);
    if (windowed)
        setenv("TESSEL_WINDOWED", "1", 1);
    else
        unsetenv("TESSEL_WINDOWED");
    if (script.empty()) {
        unsetenv("TESSEL_INPUT");
        return;
    }
    WriteFile("input.txt", script);
    setenv("TESSEL_INPUT", (fs::current_path() / "input.txt").c_str(), 1);
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

void WriteFile(const std::string& path, const std::string& content) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
}

std::string ReadLogUtf8() {
    std::string raw = ReadFile("AppLog.txt");
    return PlatCp932ToUtf8(raw.data(), raw.size());
}

AddressSpaceCap::AddressSpaceCap(size_t room) {
#if defined(__SANITIZE_ADDRESS__)
    (void)room;
#else
    size_t inUse = 0;
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmSize:", 0) == 0) inUse = std::stoul(line.substr(7)) * 1024;
    rlimit limit{};
    if (inUse == 0 || getrlimit(RLIMIT_AS, &limit) != 0) return;
    saved_ = limit.rlim_cur;
    limit.rlim_cur = inUse + room;
    active_ = setrlimit(RLIMIT_AS, &limit) == 0;
#endif
}

AddressSpaceCap::~AddressSpaceCap() {
    if (!active_) return;
    rlimit limit{};
    getrlimit(RLIMIT_AS, &limit);
    limit.rlim_cur = saved_;
    setrlimit(RLIMIT_AS, &limit);
}

void PlayScript(const std::string& lines) {
    int at = static_cast<int>((HeadlessNowUs() - 100000000) / 1000) + 10;
    std::stringstream in(lines);
    std::string line;
    while (std::getline(in, line, '|')) {
        ASSERT_EQ(HeadlessQueueScriptLine((std::to_string(at) + " " + line).c_str()), 0) << line;
        at += 10;
    }
    while ((HeadlessNowUs() - 100000000) / 1000 < static_cast<uint64_t>(at) + 10)
        ASSERT_EQ(PumpMessages(), 0);
}
