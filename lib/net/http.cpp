// HTTP requests as handles. The platform client does the transfers; this
// side keeps the handles, the settings and the words for what went wrong,
// and logs each failure once, from the download service.
#include "net/http.h"

#include "core/core.h"
#include "platform/net/http.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <string>

namespace {

struct HttpRecord {
    HandleRecord head;
    PlatHttp* transfer;
    int reported;  // the failure has been logged
    int toFile;    // the body goes to a save file, never to memory
    char url[512];  // for the log line; long URLs are cut
};

struct HttpSettings {
    int connectMs = 10000;
    int stallMs = 30000;
    int64_t memoryLimit = 64ll << 20;
    std::string caFile;
    int started = 0;
};

HttpSettings gHttp;
HandleRecord* httpSlots[HttpCapacity];

HttpRecord* Get(int http) {
    if (!gHttp.started) return nullptr;
    return HandleTableGetAs<HttpRecord>(&gHttpTable, http);
}

const char* FaultWords(PlatHttpFault fault) {
    switch (fault) {
    case FaultNone: return "";
    case FaultResolve: return SJIS("ホスト名の解決に失敗しました");
    case FaultConnect: return SJIS("接続を拒否されました");
    case FaultConnectTime: return SJIS("接続がタイムアウトしました");
    case FaultStall: return SJIS("応答が途絶えました");
    case FaultRedirects: return SJIS("リダイレクトの回数が上限を超えました");
    case FaultCertificate: return SJIS("サーバー証明書を検証できませんでした");
    case FaultTls: return SJIS("暗号化通信の確立に失敗しました");
    case FaultPartial: return SJIS("受信の途中で接続が切れました");
    case FaultGarbage: return SJIS("サーバーの応答が不正です");
    case FaultMemoryLimit: return SJIS("受信データがメモリ上限を超えました");
    case FaultFile: return SJIS("保存ファイルの書き込みに失敗しました");
    case FaultOther: break;
    }
    return SJIS("通信に失敗しました");
}

std::string ErrorText(const PlatHttp* transfer) {
    PlatHttpFault fault = PlatHttpFaultOf(transfer);
    if (fault == FaultNone) return "";
    return std::string(FaultWords(fault)) + " (" + PlatHttpDetail(transfer) + ")";
}

void DownloadService() {
    PlatHttpStep();
    for (int slot = 0; slot < gHttpTable.highWater; ++slot) {
        auto* record = HandleTableRecordAt<HttpRecord>(&gHttpTable, slot);
        if (!record || record->reported || PlatHttpStateOf(record->transfer) != PlatHttpFailed) continue;
        record->reported = 1;
        LogFailureFormat(SJIS("HTTP リクエストに失敗しました %s : %s"), record->url,
                       ErrorText(record->transfer).c_str());
    }
}

bool SameNameAt(const std::string& text, size_t at, const char* name, size_t length) {
    for (size_t i = 0; i < length; ++i)
        if (std::tolower(static_cast<unsigned char>(text[at + i])) != std::tolower(static_cast<unsigned char>(name[i])))
            return false;
    return true;
}

int CopyOut(const std::string& text, char* buffer, int size) {
    if (!buffer || size <= 0 || text.size() >= static_cast<size_t>(size)) return -1;
    std::memcpy(buffer, text.c_str(), text.size() + 1);
    return static_cast<int>(text.size());
}

// A header value with a line break in it would carry headers of its own.
bool IsHeaderValue(const char* text) {
    for (; text && *text; ++text)
        if (static_cast<unsigned char>(*text) < 0x20 || *text == 0x7f) return false;
    return true;
}

bool IsHttpUrl(const char* url) {
    std::string scheme, host, path;
    int port = 0;
    return url && PlatParseUrl(url, &scheme, &host, &port, &path) == 0 &&
           (scheme == "http" || scheme == "https");
}

}  // namespace

HandleTable gHttpTable = {HandleHttp, HttpCapacity, httpSlots, 0, 0, 0};

int InitHttp() {
    if (gHttp.started) return 0;
    if (PlatHttpStart() != 0) {
        WriteLogString(SJIS("HTTP 通信の初期化に失敗しました\n"));
        return -1;
    }
    gHttp.started = 1;
    // Downloads keep moving while the application is inactive.
    const SubsystemHooks hooks{.pump = DownloadService, .inactivePump = DownloadService};
    RegisterHooks(HookDownloads, &hooks);
    return 0;
}

void EndHttp() {
    if (!gHttp.started) return;
    RegisterHooks(HookDownloads, nullptr);
    for (int slot = 0; slot < gHttpTable.highWater; ++slot) {
        auto* record = HandleTableRecordAt<HttpRecord>(&gHttpTable, slot);
        if (record) PlatHttpClose(record->transfer);
    }
    HandleTableReset(&gHttpTable);
    PlatHttpStop();
    gHttp.started = 0;
}

int HttpRequest(const char* method, const char* url, const void* body, int bodySize,
                const char* contentType, const char* savePath) {
    if (!gHttp.started || !method) return -1;
    bool post = std::strcmp(method, "POST") == 0;
    if (!post && std::strcmp(method, "GET") != 0 && std::strcmp(method, "HEAD") != 0)
        return NoteBadArgument("HttpRequest");
    if (bodySize < 0 || (post && bodySize > 0 && !body)) return NoteBadArgument("HttpRequest");
    if ((savePath && !savePath[0]) || !IsHttpUrl(url) || (post && !IsHeaderValue(contentType)))
        return NoteBadArgument("HttpRequest");
    if (std::strcmp(method, "HEAD") == 0) savePath = nullptr;

    int slot = HandleTableReserve(&gHttpTable, sizeof(HttpRecord));
    if (slot < 0) {
        LogFailure(SJIS("HTTP ハンドルに空きがありません\n"));
        return -1;
    }
    PlatHttpRequest request = {method, url, post ? body : nullptr, post ? bodySize : 0,
                               post ? contentType : nullptr, savePath, gHttp.memoryLimit,
                               gHttp.connectMs, gHttp.stallMs, gHttp.caFile.c_str()};
    std::string detail;
    PlatHttp* transfer = PlatHttpOpen(request, &detail);
    if (!transfer) {
        HandleTableDiscard(&gHttpTable, slot);
        LogFailureFormat(SJIS("HTTP リクエストを開始できませんでした %s : %s"), url, detail.c_str());
        return -1;
    }
    auto* record = HandleTableRecordAt<HttpRecord>(&gHttpTable, slot);
    record->transfer = transfer;
    record->toFile = savePath != nullptr;
    std::strncpy(record->url, url, sizeof record->url - 1);
    HandleTableStamp(&gHttpTable, slot);
    return HandleTableCommit(&gHttpTable, slot);
}

int HttpGet(const char* url, const char* savePath) {
    return HttpRequest("GET", url, nullptr, 0, nullptr, savePath);
}

int HttpHead(const char* url) { return HttpRequest("HEAD", url, nullptr, 0, nullptr, nullptr); }

int HttpPost(const char* url, const void* body, int bodySize, const char* contentType,
             const char* savePath) {
    return HttpRequest("POST", url, body, bodySize, contentType, savePath);
}

int GetHttpState(int http) {
    HttpRecord* record = Get(http);
    return record ? PlatHttpStateOf(record->transfer) : -1;
}

int GetHttpStatusCode(int http) {
    HttpRecord* record = Get(http);
    return record ? PlatHttpStatus(record->transfer) : -1;
}

int GetHttpProgress(int http, int64_t* received, int64_t* total) {
    HttpRecord* record = Get(http);
    if (!record) return -1;
    int64_t got = 0, all = -1;
    PlatHttpProgress(record->transfer, &got, &all);
    if (received) *received = got;
    if (total) *total = all;
    return 0;
}

int GetHttpHeader(int http, const char* name, char* buffer, int size) {
    HttpRecord* record = Get(http);
    if (!record || !name || !name[0] || !buffer || size <= 0) return -1;
    const std::string& headers = PlatHttpHeaders(record->transfer);
    size_t length = std::strlen(name);
    for (size_t line = 0; line < headers.size();) {
        size_t end = headers.find('\n', line);
        if (end == std::string::npos) end = headers.size();
        if (end - line > length && headers[line + length] == ':' &&
            SameNameAt(headers, line, name, length)) {
            size_t first = headers.find_first_not_of(" \t", line + length + 1);
            size_t last = headers.find_last_not_of(" \t\r\n", end);
            std::string value = first <= last && first < end ? headers.substr(first, last - first + 1) : "";
            return CopyOut(value, buffer, size);
        }
        line = end + 1;
    }
    return -1;
}

int64_t GetHttpBodySize(int http) {
    HttpRecord* record = Get(http);
    if (!record) return -1;
    int64_t received = 0, total = 0;
    PlatHttpProgress(record->transfer, &received, &total);
    return received;
}

int ReadHttpBody(int http, void* buffer, int size, int64_t offset) {
    HttpRecord* record = Get(http);
    if (!record || record->toFile || !buffer || size < 0 || offset < 0) return -1;
    int64_t received = 0, total = 0;
    PlatHttpProgress(record->transfer, &received, &total);
    const std::string& body = PlatHttpBody(record->transfer);
    if (static_cast<int64_t>(body.size()) != received || offset > received) return -1;
    int count = static_cast<int>(std::min<int64_t>(size, received - offset));
    std::memcpy(buffer, body.data() + offset, static_cast<size_t>(count));
    return count;
}

int GetHttpError(int http, char* buffer, int size) {
    HttpRecord* record = Get(http);
    return record ? CopyOut(ErrorText(record->transfer), buffer, size) : -1;
}

int CloseHttp(int http) {
    HttpRecord* record = Get(http);
    if (!record) return -1;
    PlatHttpClose(record->transfer);
    return HandleTableRemove(&gHttpTable, http);
}

int SetHttpTimeouts(int connectMs, int stallMs) {
    if (connectMs < 1 || stallMs < 1) return -1;
    gHttp.connectMs = connectMs;
    gHttp.stallMs = stallMs;
    return 0;
}

int SetHttpMemoryLimit(int64_t bytes) {
    if (bytes < 1) return -1;
    gHttp.memoryLimit = bytes;
    return 0;
}

int SetHttpCaFile(const char* path) {
    gHttp.caFile = path ? path : "";
    return 0;
}
