// The system half of the platform, shared by both back ends: facts about the
// machine, the single-instance lock, code page 932 text and the message
// channels for the person at the terminal.
#include "platform/device/backend.h"

#include <iconv.h>
#include <sys/socket.h>
#include <sys/sysinfo.h>
#include <sys/un.h>
#include <sys/utsname.h>
#include <strings.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

namespace {

constexpr int MaxInstanceLocks = 8;
// Room in an abstract socket address after its leading zero byte.
constexpr size_t AbstractNameRoom = sizeof(sockaddr_un::sun_path) - 1;

struct InstanceLock {
    char key[sizeof(sockaddr_un::sun_path)];  // the abstract socket name held
    int fd;                                   // bound socket, open until exit
};

struct SystemState {
    InstanceLock locks[MaxInstanceLocks];  // names this process holds
    int lockCount;                         // used entries of locks
    int utf8Strings;                       // the program's strings are UTF-8
    int fromUnicodeTried;                  // fromUnicode was asked for
    iconv_t fromUnicode;                   // UTF-32LE to code page 932
};

SystemState gSystem;

std::string Trim(const std::string& text) {
    size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return "";
    size_t last = text.find_last_not_of(" \t\r\n");
    return text.substr(first, last - first + 1);
}

void CopyField(char* out, size_t room, const std::string& text) {
    std::snprintf(out, room, "%s", text.c_str());
}

// The first processor's block of /proc/cpuinfo: vendor, name, flags, speed.
void ReadCpuInfo(PlatSystemInfo* info) {
    std::ifstream in("/proc/cpuinfo");
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty()) break;  // only the first processor's block
        size_t colon = line.find(':');
        if (colon == std::string::npos) continue;
        std::string key = Trim(line.substr(0, colon));
        std::string value = Trim(line.substr(colon + 1));
        if (key == "vendor_id") {
            CopyField(info->cpuVendor, sizeof info->cpuVendor, value);
            info->hasCpuId = 1;  // the vendor string only comes from the identification instruction
        } else if (key == "model name") {
            CopyField(info->cpuName, sizeof info->cpuName, value);
        } else if (key == "flags") {
            std::string flags = " " + value + " ";
            info->hasMmx = flags.find(" mmx ") != std::string::npos;
        } else if (key == "cpu MHz") {
            info->cpuMhz = static_cast<int>(std::strtod(value.c_str(), nullptr) + 0.5);
        }
    }
}

// Kernels that hide "cpu MHz" (many virtual machines, ARM) may still expose
// the frequency driver's figure, in kHz.
int ReadCpuFreqMhz() {
    const char* files[] = {"/sys/devices/system/cpu/cpu0/cpufreq/cpuinfo_max_freq",
                           "/sys/devices/system/cpu/cpu0/cpufreq/scaling_cur_freq"};
    for (const char* file : files) {
        std::ifstream in(file);
        long khz = 0;
        if (in >> khz && khz > 0) return static_cast<int>(khz / 1000);
    }
    return 0;
}

// The build is the number the kernel's version string starts with ("#1 SMP ...").
int ParseBuild(const char* version) {
    while (*version && (*version < '0' || *version > '9')) ++version;
    return std::atoi(version);
}

uint64_t HashName(const std::string& text) {
    uint64_t hash = 14695981039346656037ull;  // FNV-1a
    for (unsigned char c : text) {
        hash ^= c;
        hash *= 1099511628211ull;
    }
    return hash;
}

std::string Hex(uint64_t value) {
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(value));
    return text;
}

// The abstract socket name of a lock. The scope (a folder, for a headless run)
// can be long, so it is hashed when the name would not fit the address.
std::string LockKey(const char* name) {
    std::string prefix = "tessel-" + std::to_string(getuid()) + "-";
    std::string scope = PlatInstanceScope();
    std::string key = prefix + name + "-" + scope;
    if (key.size() <= AbstractNameRoom) return key;
    key = prefix + name + "-" + Hex(HashName(scope));
    if (key.size() <= AbstractNameRoom) return key;
    return prefix + Hex(HashName(std::string(name) + "-" + scope));
}

// One conversion with iconv: every character that cannot be converted, and a
// character cut off by the end of the input, becomes '?'.
std::string Convert(const char* from, const char* to, const char* text, size_t length,
                    size_t (*badLength)(const char* text, size_t left)) {
    iconv_t cd = iconv_open(to, from);
    // Without the converter (a system missing its conversion modules) the
    // ASCII part of a text is still worth more than nothing.
    if (cd == reinterpret_cast<iconv_t>(-1)) return std::string(text, length);
    std::string out;
    char* in = const_cast<char*>(text);
    size_t inLeft = length;
    char buffer[512];
    while (inLeft > 0) {
        char* next = buffer;
        size_t room = sizeof buffer;
        size_t result = iconv(cd, &in, &inLeft, &next, &room);
        out.append(buffer, next - buffer);
        if (result != static_cast<size_t>(-1)) break;
        if (errno == E2BIG) continue;
        out += '?';
        if (errno == EINVAL) break;  // the input ends inside a character
        size_t skip = badLength(in, inLeft);
        in += skip;
        inLeft -= skip;
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
    iconv_close(cd);
    return out;
}

// A bad code page 932 sequence: one byte, so that an ASCII byte following a
// stray lead byte survives.
size_t BadCp932Length(const char*, size_t) { return 1; }

// A bad or unconvertible UTF-8 character: its whole sequence.
size_t BadUtf8Length(const char* text, size_t left) {
    unsigned char lead = static_cast<unsigned char>(text[0]);
    size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
    for (size_t i = 1; i < length; ++i) {
        if (i >= left || (static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) return i;
    }
    return length;
}

}  // namespace

void PlatGetSystemInfo(PlatSystemInfo* info) {
    *info = PlatSystemInfo{};
    utsname names{};
    if (uname(&names) == 0) {
        CopyField(info->osName, sizeof info->osName,
                  std::string(names.sysname) + " " + names.release + " " + names.machine);
        info->osBuild = ParseBuild(names.version);
    }
    ReadCpuInfo(info);
    if (info->cpuMhz == 0) info->cpuMhz = ReadCpuFreqMhz();
    struct sysinfo memory{};
    if (sysinfo(&memory) == 0) {
        double unit = memory.mem_unit ? memory.mem_unit : 1;
        info->totalMemoryMb = memory.totalram * unit / 1048576.0;
        info->freeMemoryMb = memory.freeram * unit / 1048576.0;
    }
}

// An abstract Unix socket name is released by the kernel when the process
// ends, however it ends, so a crashed copy never leaves a stale lock behind.
int PlatTakeInstanceLock(const char* name) {
    std::string key = LockKey(name);
    for (int i = 0; i < gSystem.lockCount; ++i) {
        if (key == gSystem.locks[i].key) return 0;
    }
    if (gSystem.lockCount == MaxInstanceLocks) return -1;
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path + 1, key.data(), key.size());
    socklen_t size = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + key.size());
    if (bind(fd, reinterpret_cast<const sockaddr*>(&address), size) != 0) {
        int error = errno;
        close(fd);
        return error == EADDRINUSE ? 1 : -1;
    }
    InstanceLock& lock = gSystem.locks[gSystem.lockCount++];
    std::snprintf(lock.key, sizeof lock.key, "%s", key.c_str());
    lock.fd = fd;
    return 0;
}

void PlatReleaseInstanceLocks() {
    for (int i = 0; i < gSystem.lockCount; ++i) close(gSystem.locks[i].fd);
    gSystem.lockCount = 0;
}

// "CP932" rather than "SHIFT_JIS": in the Windows code page 0x5C is a
// backslash (path separators) and 0x7E a tilde, not yen and overline.
std::string PlatCp932ToUtf8(const char* text, size_t length) {
    return Convert("CP932", "UTF-8", text, length, BadCp932Length);
}

std::string PlatUtf8ToCp932(const char* text, size_t length) {
    return Convert("UTF-8", "CP932", text, length, BadUtf8Length);
}

void PlatSetUtf8Strings(int utf8) { gSystem.utf8Strings = utf8 != 0; }

int PlatUtf8Strings() { return gSystem.utf8Strings; }

std::string PlatProgramTextToUtf8(const char* text, size_t length) {
    return gSystem.utf8Strings ? std::string(text, length) : PlatCp932ToUtf8(text, length);
}

std::string PlatUtf8ToProgramText(const char* text, size_t length) {
    return gSystem.utf8Strings ? std::string(text, length) : PlatUtf8ToCp932(text, length);
}

int PlatStringEncodingFromEnvironment() {
    const char* value = std::getenv("TESSEL_STRING_ENCODING");
    if (!value) return -1;
    if (strcasecmp(value, "utf8") == 0 || strcasecmp(value, "utf-8") == 0) return 1;
    if (strcasecmp(value, "sjis") == 0 || strcasecmp(value, "shift-jis") == 0) return 0;
    return -1;
}

unsigned PlatUnicodeToCp932Unit(uint32_t character) {
    if (!gSystem.fromUnicodeTried) {
        gSystem.fromUnicodeTried = 1;
        gSystem.fromUnicode = iconv_open("CP932", "UTF-32LE");
    }
    if (gSystem.fromUnicode == reinterpret_cast<iconv_t>(-1)) return 0;
    unsigned char in[4] = {static_cast<unsigned char>(character),
                           static_cast<unsigned char>(character >> 8),
                           static_cast<unsigned char>(character >> 16),
                           static_cast<unsigned char>(character >> 24)};
    unsigned char out[4];
    char* inPointer = reinterpret_cast<char*>(in);
    char* outPointer = reinterpret_cast<char*>(out);
    size_t inLeft = sizeof in, outLeft = sizeof out;
    iconv(gSystem.fromUnicode, nullptr, nullptr, nullptr, nullptr);
    size_t result = iconv(gSystem.fromUnicode, &inPointer, &inLeft, &outPointer, &outLeft);
    size_t written = sizeof out - outLeft;
    if (result == static_cast<size_t>(-1) || result > 0 || written == 0 || written > 2) return 0;
    return written == 2 ? unsigned(out[0]) << 8 | out[1] : out[0];
}

void PlatDebugOutput(const char* text) {
    const char* wanted = std::getenv("TESSEL_LOG_STDERR");
    if (!wanted || std::strcmp(wanted, "1") != 0) return;
    std::string utf8 = PlatProgramTextToUtf8(text, std::strlen(text));
    std::fwrite(utf8.data(), 1, utf8.size(), stderr);
}

void PlatPrintError(const char* utf8Text) { std::fprintf(stderr, "%s\n", utf8Text); }
