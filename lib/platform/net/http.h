// HTTP transfers and URL parsing on the machine's HTTP client, stepped
// without waiting: PlatHttpStep does what the sockets allow at the moment
// and returns, so the download service can run it once per pump.
#ifndef TESSEL_PLATFORM_HTTP_H
#define TESSEL_PLATFORM_HTTP_H

#include <cstdint>
#include <string>

struct PlatHttp;

struct PlatHttpRequest {
    const char* method;       // "GET", "HEAD" or "POST"
    const char* url;          // http or https
    const void* body;         // POST only; copied
    int64_t bodySize;
    const char* contentType;  // POST only; null or "" = none
    const char* savePath;     // null keeps the body in memory
    int64_t memoryLimit;      // in-memory bodies only
    int connectMs;
    int stallMs;              // longest wait without a byte either way
    const char* caFile;       // an extra trusted certificate file; null = none
};

enum PlatHttpState : int { PlatHttpRunning = 0, PlatHttpDone = 1, PlatHttpFailed = 2 };

// Why a transfer failed, for the library to word in its own voice.
enum PlatHttpFault : int {
    FaultNone,
    FaultResolve,      // the host name did not resolve
    FaultConnect,      // refused or unreachable
    FaultConnectTime,  // no connection within the connect time
    FaultStall,        // nothing moved within the stall time
    FaultRedirects,    // more redirects than allowed
    FaultCertificate,  // the server's certificate was not trusted
    FaultTls,          // another secure-channel failure
    FaultPartial,      // the connection closed before the whole body
    FaultGarbage,      // the reply was not HTTP
    FaultMemoryLimit,  // the in-memory body outgrew its limit
    FaultFile,         // the save file could not be written or renamed
    FaultOther,
};

// Start sets up the client; Stop cancels and frees every transfer still
// open (their temporary files removed). 0 or -1.
int PlatHttpStart();
void PlatHttpStop();

// A running transfer, or null when the client refused the request (the
// detail then says why).
PlatHttp* PlatHttpOpen(const PlatHttpRequest& request, std::string* detail);
// Cancels a running transfer; a save file not yet renamed is removed.
void PlatHttpClose(PlatHttp* transfer);
void PlatHttpStep();

int PlatHttpStateOf(const PlatHttp* transfer);
int PlatHttpStatus(const PlatHttp* transfer);
// Body bytes received so far; the announced size, or -1 when unknown.
void PlatHttpProgress(const PlatHttp* transfer, int64_t* received, int64_t* total);
PlatHttpFault PlatHttpFaultOf(const PlatHttp* transfer);
const char* PlatHttpDetail(const PlatHttp* transfer);  // the client's own words, ASCII
// The header lines of the last response, as received.
const std::string& PlatHttpHeaders(const PlatHttp* transfer);
// The in-memory body received so far (empty for saved bodies).
const std::string& PlatHttpBody(const PlatHttp* transfer);

// Splits a URL of a scheme the client knows. The port is the scheme's
// default when the URL names none; an IPv6 host comes without brackets and
// the path keeps its query. 0 or -1.
int PlatParseUrl(const char* url, std::string* scheme, std::string* host, int* port,
                 std::string* path);

#endif
