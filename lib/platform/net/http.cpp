// HTTP transfers on libcurl's multi interface, driven by socket events: the
// client tells us which sockets it watches and when its next timer is due,
// each step polls them all at once with no wait and hands over only those
// that are ready. A pump with many quiet transfers thus costs one poll.
#include "platform/device/record.h"
#include "platform/net/http.h"

#include <curl/curl.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

using Clock = std::chrono::steady_clock;

struct PlatHttp {
    CURL* easy;
    curl_slist* headerList;
    int state;
    PlatHttpFault fault;
    char detail[CURL_ERROR_SIZE];
    // The client's own words, kept apart: it writes them after ours, and a
    // failure it recovered from early in a transfer stays in them.
    char clientError[CURL_ERROR_SIZE];
    int stallMs;
    Clock::time_point lastActivity;
    std::string headers;
    std::string body;
    int64_t memoryLimit;
    int64_t received;
    int64_t uploaded;
    int fd;                 // the temporary save file, or -1
    std::string savePath;
    std::string tempPath;
};

namespace {

// Large reads keep the client's per-call overhead small on fast links;
// the buffer is per transfer, so it stays moderate.
constexpr long kReadBufferSize = 256 * 1024;
constexpr long kMaxRedirects = 5;

struct HttpClient {
    CURLM* multi;
    std::vector<PlatHttp*> transfers;
    std::vector<pollfd> watched;
    std::vector<PlatHttp*> owners;  // of each watched socket; null for the client's own
    bool timerSet;
    Clock::time_point timerDue;
    std::string defaultCaPath;
};

HttpClient gClient;

int OnSocket(CURL* easy, curl_socket_t socket, int what, void*, void*) {
    auto& watched = gClient.watched;
    auto it = std::find_if(watched.begin(), watched.end(),
                           [&](const pollfd& p) { return p.fd == socket; });
    size_t at = static_cast<size_t>(it - watched.begin());
    if (what == CURL_POLL_REMOVE) {
        if (it != watched.end()) {
            watched.erase(it);
            gClient.owners.erase(gClient.owners.begin() + static_cast<std::ptrdiff_t>(at));
        }
        return 0;
    }
    PlatHttp* owner = nullptr;
    curl_easy_getinfo(easy, CURLINFO_PRIVATE, &owner);
    short events = (what & CURL_POLL_IN ? POLLIN : 0) | (what & CURL_POLL_OUT ? POLLOUT : 0);
    if (it == watched.end()) {
        watched.push_back(pollfd{socket, events, 0});
        gClient.owners.push_back(owner);
    } else {
        it->events = events;
        gClient.owners[at] = owner;
    }
    return 0;
}

int OnTimer(CURLM*, long ms, void*) {
    gClient.timerSet = ms >= 0;
    if (ms >= 0) gClient.timerDue = Clock::now() + std::chrono::milliseconds(ms);
    return 0;
}

// The first cause found is the most specific one: what follows it is the
// client's view of the same failure.
void Fail(PlatHttp* t, PlatHttpFault fault, const char* detail) {
    if (t->fault != FaultNone) return;
    t->fault = fault;
    std::snprintf(t->detail, sizeof t->detail, "%s", detail);
}

// A body grows as its bytes arrive, never by the length the server
// announces, and never past the limit: a doubling step is cut down to it.
// The string's own growth would double past the limit, so a buffer of the
// chosen size is made and filled here.
bool GrowBody(PlatHttp* t, size_t more) {
    std::string& body = t->body;
    size_t need = body.size() + more;
    if (need <= body.capacity()) return true;
    size_t step = std::max(need, body.capacity() * 2);
    try {
        std::string grown;
        grown.reserve(std::min(step, static_cast<size_t>(t->memoryLimit)));
        grown.append(body);
        body.swap(grown);
    } catch (const std::bad_alloc&) {
        Fail(t, FaultMemoryLimit, "out of memory");
        return false;
    }
    return true;
}

size_t OnHeader(char* data, size_t size, size_t count, void* user) {
    auto* t = static_cast<PlatHttp*>(user);
    size_t n = size * count;
    t->lastActivity = Clock::now();
    // Each response of a redirect chain starts with its status line; only
    // the last response's headers are kept.
    if (n >= 5 && std::memcmp(data, "HTTP/", 5) == 0) t->headers.clear();
    t->headers.append(data, n);
    return n;
}

size_t OnBody(char* data, size_t size, size_t count, void* user) {
    auto* t = static_cast<PlatHttp*>(user);
    size_t n = size * count;
    t->lastActivity = Clock::now();
    if (t->fd >= 0) {
        for (size_t done = 0; done < n;) {
            ssize_t wrote = write(t->fd, data + done, n - done);
            if (wrote < 0 && errno == EINTR) continue;
            if (wrote < 0) {
                Fail(t, FaultFile, std::strerror(errno));
                return 0;
            }
            done += static_cast<size_t>(wrote);
        }
    } else {
        if (static_cast<int64_t>(t->body.size() + n) > t->memoryLimit) {
            Fail(t, FaultMemoryLimit, "body larger than the memory limit");
            return 0;
        }
        if (!GrowBody(t, n)) return 0;
        t->body.append(data, n);
    }
    t->received += static_cast<int64_t>(n);
    return n;
}

int OnProgress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t uploaded) {
    auto* t = static_cast<PlatHttp*>(user);
    if (uploaded != t->uploaded) t->lastActivity = Clock::now();
    t->uploaded = uploaded;
    return 0;
}

PlatHttpFault FaultOfCode(CURLcode code) {
    switch (code) {
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY: return FaultResolve;
    case CURLE_COULDNT_CONNECT: return FaultConnect;
    case CURLE_OPERATION_TIMEDOUT: return FaultConnectTime;
    case CURLE_TOO_MANY_REDIRECTS: return FaultRedirects;
    case CURLE_PEER_FAILED_VERIFICATION: return FaultCertificate;
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CACERT_BADFILE: return FaultTls;
    case CURLE_PARTIAL_FILE:
    case CURLE_RECV_ERROR:
    case CURLE_GOT_NOTHING: return FaultPartial;
    case CURLE_WEIRD_SERVER_REPLY:
    case CURLE_UNSUPPORTED_PROTOCOL:
    case CURLE_BAD_CONTENT_ENCODING: return FaultGarbage;
    default: return FaultOther;
    }
}

void CloseSaveFile(PlatHttp* t, bool keep) {
    if (t->fd < 0) return;
    bool ok = close(t->fd) == 0 && keep;
    t->fd = -1;
    if (ok && std::rename(t->tempPath.c_str(), t->savePath.c_str()) == 0) return;
    if (keep) Fail(t, FaultFile, std::strerror(errno));
    unlink(t->tempPath.c_str());
}

// Takes a transfer out of the client; its records stay for the queries.
// An error page is a finished reply, but it must not replace the file.
void Retire(PlatHttp* t, int state) {
    curl_multi_remove_handle(gClient.multi, t->easy);
    t->state = state;
    int status = PlatHttpStatus(t);
    CloseSaveFile(t, state == PlatHttpDone && status >= 200 && status < 300);
    if (t->fault != FaultNone) t->state = PlatHttpFailed;
}

// The client's text of a transfer that followed redirects may be that of a
// reused connection it recovered from; the redirect limit is worded here.
void Finish(PlatHttp* t, CURLcode code) {
    if (code == CURLE_TOO_MANY_REDIRECTS)
        Fail(t, FaultRedirects, ("more than " + std::to_string(kMaxRedirects) + " redirects").c_str());
    if (code != CURLE_OK)
        Fail(t, FaultOfCode(code), t->clientError[0] ? t->clientError : curl_easy_strerror(code));
    Retire(t, code == CURLE_OK ? PlatHttpDone : PlatHttpFailed);
}

bool SetOptions(PlatHttp* t, const PlatHttpRequest& r) {
    CURL* e = t->easy;
    bool ok = curl_easy_setopt(e, CURLOPT_URL, r.url) == CURLE_OK;
    ok = ok && curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, "http,https") == CURLE_OK;
    ok = ok && curl_easy_setopt(e, CURLOPT_REDIR_PROTOCOLS_STR, "http,https") == CURLE_OK;
    curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(e, CURLOPT_ERRORBUFFER, t->clientError);
    // Closing a transfer whose name lookup the system resolver still holds
    // would wait for that lookup (seconds on a silent name server); the
    // client leaves the lookup thread to end and free itself instead.
    curl_easy_setopt(e, CURLOPT_QUICK_EXIT, 1L);
    curl_easy_setopt(e, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(e, CURLOPT_MAXREDIRS, kMaxRedirects);
    curl_easy_setopt(e, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(r.connectMs));
    curl_easy_setopt(e, CURLOPT_BUFFERSIZE, kReadBufferSize);
    curl_easy_setopt(e, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(e, CURLOPT_SSL_VERIFYHOST, 2L);
    curl_easy_setopt(e, CURLOPT_HEADERFUNCTION, OnHeader);
    curl_easy_setopt(e, CURLOPT_HEADERDATA, t);
    curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, OnBody);
    curl_easy_setopt(e, CURLOPT_WRITEDATA, t);
    curl_easy_setopt(e, CURLOPT_XFERINFOFUNCTION, OnProgress);
    curl_easy_setopt(e, CURLOPT_XFERINFODATA, t);
    curl_easy_setopt(e, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(e, CURLOPT_PRIVATE, t);
    // The extra file joins the system's trusted certificates, which the
    // client still finds through its certificate folder.
    if (r.caFile && r.caFile[0]) {
        ok = ok && curl_easy_setopt(e, CURLOPT_CAINFO, r.caFile) == CURLE_OK;
        if (!gClient.defaultCaPath.empty())
            curl_easy_setopt(e, CURLOPT_CAPATH, gClient.defaultCaPath.c_str());
    }
    if (std::strcmp(r.method, "HEAD") == 0) {
        curl_easy_setopt(e, CURLOPT_NOBODY, 1L);
    } else if (std::strcmp(r.method, "POST") == 0) {
        curl_easy_setopt(e, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(r.bodySize));
        ok = ok && curl_easy_setopt(e, CURLOPT_COPYPOSTFIELDS, r.body ? r.body : "") == CURLE_OK;
        // Servers that do not answer "100 Continue" would hold a large body
        // back by a second.
        // Without a type of ours the client would name one of its own.
        t->headerList = curl_slist_append(t->headerList, "Expect:");
        std::string type = r.contentType ? r.contentType : "";
        t->headerList = curl_slist_append(t->headerList, ("Content-Type:" + (type.empty() ? "" : " " + type)).c_str());
        curl_easy_setopt(e, CURLOPT_HTTPHEADER, t->headerList);
    }
    return ok;
}

bool OpenSaveFile(PlatHttp* t, const char* savePath, std::string* detail) {
    t->savePath = savePath;
    std::string pattern = t->savePath + ".part-XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    t->fd = mkstemp(name.data());
    if (t->fd < 0) {
        *detail = std::strerror(errno);
        return false;
    }
    fchmod(t->fd, 0644);
    t->tempPath = name.data();
    return true;
}

void FreeTransfer(PlatHttp* t) {
    if (t->fd >= 0) {
        close(t->fd);
        unlink(t->tempPath.c_str());
    }
    curl_easy_cleanup(t->easy);
    curl_slist_free_all(t->headerList);
    delete t;
}

}  // namespace

int PlatHttpStart() {
    if (gClient.multi) return 0;
    if (curl_global_init(CURL_GLOBAL_DEFAULT) != CURLE_OK) return -1;
    gClient.multi = curl_multi_init();
    if (!gClient.multi) {
        curl_global_cleanup();
        return -1;
    }
    curl_multi_setopt(gClient.multi, CURLMOPT_SOCKETFUNCTION, OnSocket);
    curl_multi_setopt(gClient.multi, CURLMOPT_TIMERFUNCTION, OnTimer);
    const curl_version_info_data* info = curl_version_info(CURLVERSION_NOW);
    gClient.defaultCaPath = info->capath ? info->capath : "";
    gClient.timerSet = false;
    return 0;
}

void PlatHttpStop() {
    if (!gClient.multi) return;
    while (!gClient.transfers.empty()) PlatHttpClose(gClient.transfers.back());
    curl_multi_cleanup(gClient.multi);
    gClient.multi = nullptr;
    gClient.watched.clear();
    gClient.owners.clear();
    gClient.timerSet = false;
    curl_global_cleanup();
}

PlatHttp* PlatHttpOpen(const PlatHttpRequest& request, std::string* detail) {
    RecordUse(RecordUsesNetwork);
    if (!gClient.multi) {
        *detail = "the HTTP client is not running";
        return nullptr;
    }
    auto* t = new PlatHttp{};
    t->fd = -1;
    t->easy = curl_easy_init();
    t->memoryLimit = request.memoryLimit;
    t->stallMs = request.stallMs;
    t->lastActivity = Clock::now();
    if (!t->easy || !SetOptions(t, request) ||
        (request.savePath && !OpenSaveFile(t, request.savePath, detail)) ||
        curl_multi_add_handle(gClient.multi, t->easy) != CURLM_OK) {
        if (detail->empty()) *detail = t->clientError[0] ? t->clientError : "the request was refused";
        FreeTransfer(t);
        return nullptr;
    }
    gClient.transfers.push_back(t);
    return t;
}

void PlatHttpClose(PlatHttp* t) {
    auto& list = gClient.transfers;
    list.erase(std::remove(list.begin(), list.end(), t), list.end());
    std::replace(gClient.owners.begin(), gClient.owners.end(), t, static_cast<PlatHttp*>(nullptr));
    if (t->state == PlatHttpRunning) curl_multi_remove_handle(gClient.multi, t->easy);
    FreeTransfer(t);
}

void PlatHttpStep() {
    if (!gClient.multi || gClient.transfers.empty()) return;
    int running = 0;
    if (!gClient.watched.empty() && poll(gClient.watched.data(), gClient.watched.size(), 0) > 0) {
        // The client changes the watch list while it handles a socket. A
        // ready socket is a byte moving, however little of a line it is.
        std::vector<pollfd> ready;
        Clock::time_point now = Clock::now();
        for (size_t i = 0; i < gClient.watched.size(); ++i) {
            const pollfd& p = gClient.watched[i];
            if (!p.revents) continue;
            ready.push_back(p);
            if (gClient.owners[i]) gClient.owners[i]->lastActivity = now;
        }
        // A reset or hang-up is handed over as the readiness the client
        // waits for: it then meets the error in its own read or write and
        // can retry a reused connection, where a bare error would fail the
        // transfer with no cause.
        for (const pollfd& p : ready) {
            short events = p.revents & (POLLERR | POLLHUP) ? p.events : p.revents;
            int mask = (events & POLLIN ? CURL_CSELECT_IN : 0) | (events & POLLOUT ? CURL_CSELECT_OUT : 0);
            curl_multi_socket_action(gClient.multi, p.fd, mask, &running);
        }
    }
    if (gClient.timerSet && Clock::now() >= gClient.timerDue) {
        gClient.timerSet = false;
        curl_multi_socket_action(gClient.multi, CURL_SOCKET_TIMEOUT, 0, &running);
    }
    int left = 0;
    while (CURLMsg* message = curl_multi_info_read(gClient.multi, &left)) {
        if (message->msg != CURLMSG_DONE) continue;
        PlatHttp* t = nullptr;
        curl_easy_getinfo(message->easy_handle, CURLINFO_PRIVATE, &t);
        if (t) Finish(t, message->data.result);
    }
    Clock::time_point now = Clock::now();
    for (PlatHttp* t : gClient.transfers) {
        if (t->state != PlatHttpRunning || now - t->lastActivity < std::chrono::milliseconds(t->stallMs))
            continue;
        Fail(t, FaultStall, "no data within the stall time");
        Retire(t, PlatHttpFailed);
    }
}

int PlatHttpStateOf(const PlatHttp* t) { return t->state; }

int PlatHttpStatus(const PlatHttp* t) {
    long code = 0;
    curl_easy_getinfo(t->easy, CURLINFO_RESPONSE_CODE, &code);
    return static_cast<int>(code);
}

void PlatHttpProgress(const PlatHttp* t, int64_t* received, int64_t* total) {
    curl_off_t length = -1;
    curl_easy_getinfo(t->easy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
    *received = t->received;
    *total = length;
}

PlatHttpFault PlatHttpFaultOf(const PlatHttp* t) { return t->fault; }
const char* PlatHttpDetail(const PlatHttp* t) { return t->detail; }
const std::string& PlatHttpHeaders(const PlatHttp* t) { return t->headers; }
const std::string& PlatHttpBody(const PlatHttp* t) { return t->body; }

int PlatParseUrl(const char* url, std::string* scheme, std::string* host, int* port,
                 std::string* path) {
    CURLU* u = curl_url();
    if (!u) return -1;
    char* parts[3] = {};
    char* portText = nullptr;
    char* query = nullptr;
    bool ok = curl_url_set(u, CURLUPART_URL, url, 0) == CURLUE_OK &&
              curl_url_get(u, CURLUPART_SCHEME, &parts[0], 0) == CURLUE_OK &&
              curl_url_get(u, CURLUPART_HOST, &parts[1], 0) == CURLUE_OK &&
              curl_url_get(u, CURLUPART_PATH, &parts[2], 0) == CURLUE_OK &&
              curl_url_get(u, CURLUPART_PORT, &portText, CURLU_DEFAULT_PORT) == CURLUE_OK;
    if (ok) {
        char* end = nullptr;
        long number = std::strtol(portText, &end, 10);
        ok = *end == '\0' && number >= 1 && number <= 65535;
        *port = static_cast<int>(number);
        *scheme = parts[0];
        std::string name = parts[1];
        if (name.size() > 2 && name.front() == '[' && name.back() == ']') name = name.substr(1, name.size() - 2);
        *host = name;
        *path = parts[2];
        ok = ok && !host->empty();
        if (curl_url_get(u, CURLUPART_QUERY, &query, 0) == CURLUE_OK) *path += "?" + std::string(query);
    }
    for (char* p : parts) curl_free(p);
    curl_free(portText);
    curl_free(query);
    curl_url_cleanup(u);
    return ok ? 0 : -1;
}
