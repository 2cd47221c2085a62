// Tessel's public header, the part of HTTP and TCP. Programs include tessel.h,
// which includes every part.
#ifndef TESSEL_PUBLIC_NET_H
#define TESSEL_PUBLIC_NET_H

#include "tessel/core.h"

#pragma GCC visibility push(default)

// ---------------------------------------------------------------------------
// HTTP downloads, URLs and formatting for progress displays
// ---------------------------------------------------------------------------

// Starts a request and returns its handle at once; the download service of
// PumpMessages moves it on. `method` is "GET", "HEAD" or "POST"; `body` and
// `contentType` are used by POST only (the body is copied; null or ""
// `contentType` sends no Content-Type). With `savePath`
// null the body is kept in memory (up to the memory limit); otherwise it is
// written to a temporary file beside `savePath` that replaces `savePath`
// only when the whole body of a 2xx reply has arrived (other replies are
// done, with their status code, but leave the file as it was). At most 5
// redirects are followed.
// -1 for a malformed URL, a scheme other than http or https, bad sizes, or a
// POST `contentType` with a control character.
int HttpRequest(const char* method, const char* url, const void* body, int bodySize,
                const char* contentType, const char* savePath);
int HttpGet(const char* url, const char* savePath);
int HttpHead(const char* url);
int HttpPost(const char* url, const void* body, int bodySize, const char* contentType,
             const char* savePath);
constexpr int HttpRunning = 0;
constexpr int HttpDone = 1;    // a whole response arrived, whatever its status code
constexpr int HttpFailed = 2;  // GetHttpError says why
int GetHttpState(int http);
int GetHttpStatusCode(int http);  // 0 until the status line arrives
// Body bytes received, and the announced size (-1 when unknown). Either
// pointer may be null. 0 or -1.
int GetHttpProgress(int http, int64_t* received, int64_t* total);
// The value of the last response's header `name` (any letter case): its
// length, or -1 when there is no such header or it does not fit.
int GetHttpHeader(int http, const char* name, char* buffer, int size);
int64_t GetHttpBodySize(int http);  // body bytes received so far
// Copies in-memory body bytes from `offset`: the count copied, -1 for a body
// that went to a file or an offset past its end.
int ReadHttpBody(int http, void* buffer, int size, int64_t offset);
// Why the request failed ("" while it has not): the length, or -1 when it
// does not fit.
int GetHttpError(int http, char* buffer, int size);
// Cancels a running request and frees the handle, at once even while its
// host name is being looked up.
int CloseHttp(int http);
// Settings for requests started afterwards; they may be made before
// InitLibrary. Defaults: 10 s to connect, 30 s without a byte moving, 64 MiB
// for an in-memory body, which grows with the bytes that arrive, never by
// the announced length. -1 for values below 1.
int SetHttpTimeouts(int connectMs, int stallMs);
int SetHttpMemoryLimit(int64_t bytes);
// An extra trusted certificate file beside the system's; null or "" drops it.
int SetHttpCaFile(const char* path);

// Splits a URL; the port is the scheme's default when none is given, an IPv6
// host comes without brackets and the path keeps its query. 0, or -1 for a
// malformed URL, an unknown scheme, a port outside 1..65535, a null or
// too small buffer (nothing is written then).
int ParseUrl(const char* url, char* scheme, int schemeSize, char* host, int hostSize,
             int* port, char* path, int pathSize);
// "1,234,567", "-1,234".
int FormatNumber(int64_t value, char* buffer, int size);
// 1024-based with three significant digits: "999 B", "1.50 KB", "12.3 MB",
// "4.00 GB". -1 for a negative size.
int FormatByteSize(int64_t bytes, char* buffer, int size);
// "0:05", "12:34", "1:02:03". -1 for a negative span.
int FormatTimeSpan(int64_t ms, char* buffer, int size);
// Each of the three returns the length written, or -1 when the buffer is
// null or too small (nothing is written then).

// ---------------------------------------------------------------------------
// TCP connections
// ---------------------------------------------------------------------------

// Connections are stepped by PumpMessages: nothing here waits for the
// network. Handles of type 9, at most 256 at a time.
constexpr int TcpConnecting = 0;     // resolving the name or connecting
constexpr int TcpConnected = 1;
constexpr int TcpClosedByPeer = 2;   // the peer ended its stream or reset: what it sent can still be read,
                                     // and after an orderly end more can still be sent
constexpr int TcpFailed = 3;         // resolution, connection or the stream failed
constexpr int TcpSendQueueBytes = 4 * 1024 * 1024;

// A handle at once; the name is resolved and the connection made in the
// background (port 1..65535). -1 for bad input or a full table.
int ConnectTcp(const char* host, int port);
// Accepts connections on `port`: a null address on every interface, else on
// the one numeric address given ("127.0.0.1": this machine only). One
// listener at a time: -1 while one is open. 0 or -1.
int ListenTcp(const char* address, int port);
int StopListenTcp();                          // 0, or -1 when not listening
int AcceptTcp();   // the next connection accepted since the last call, or -1
int GetLostTcp();  // the next connection closed by its peer or failed since the last call, or -1
int GetTcpState(int connection);              // TcpConnecting..TcpFailed, or -1
// Queues `size` bytes; never waits. 0, or -1 when they do not fit in the
// TcpSendQueueBytes queue, or the connection failed or was reset (a peer that
// only ended its own stream still reads until CloseTcp).
int SendTcp(int connection, const void* data, int size);
int ReceiveTcp(int connection, void* buffer, int size);  // bytes taken (0 when none), or -1
int PeekTcp(int connection, void* buffer, int size);     // the same, leaving them queued
int GetTcpReceivedSize(int connection);                  // bytes waiting, or -1
// Frees the handle at once; what was queued still goes out, once connected
// if it was still connecting, before the connection closes. A peer that has
// not taken it all 5 s after the close is reset. 0 or -1.
int CloseTcp(int connection);
// The peer's numeric address and port once connected. 0, or -1 (also when
// the address does not fit in `size` bytes).
int GetTcpPeer(int connection, char* address, int size, int* port);

#pragma GCC visibility pop

#endif
