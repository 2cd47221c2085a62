// Non-blocking TCP sockets and name resolution that never waits: the only
// place the library meets the socket calls and the resolver. Sockets are
// plain descriptors; nothing here ever blocks, so the network service can
// step every connection once per pump.
#ifndef TESSEL_PLATFORM_TCP_H
#define TESSEL_PLATFORM_TCP_H

#include <cstdint>

// A socket address of either family, kept opaque above this layer.
struct PlatSocketAddress {
    alignas(8) unsigned char bytes[128];
    uint32_t length;
};

// Results of the socket steps.
enum : int {
    PlatNetWouldBlock = -2,  // nothing can move now; try again once the socket is ready
    PlatNetClosed = -3,      // the peer ended the stream in order
    PlatNetReset = -4,       // the peer reset the connection
    PlatNetRefused = -5,     // nobody listens at the address
    PlatNetFailed = -1,      // any other failure
};

// Starts and ends the resolver and the readiness watch; every resolution
// still running is dropped.
int PlatNetStart();
void PlatNetStop();
// The resolver's part of the two (resolve.cpp).
int PlatResolverStart();
void PlatResolverStop();

// Name resolution in the background. Start gives a resolution id, or -1;
// numeric addresses finish at once. Result: 0 running, 1 done (up to `max`
// addresses stored, their count in *count), -1 failed. Free forgets the id
// and cancels the lookup if it still runs, so the id is free again at once.
constexpr int PlatResolveAddressMax = 8;
int PlatResolveStart(const char* host, int port);
// A numeric IPv4 or IPv6 address as a socket address, without a lookup: 1,
// or 0 when `host` is a name.
int PlatResolveNumeric(const char* host, int port, PlatSocketAddress* address);
int PlatResolveResult(int id, PlatSocketAddress* addresses, int max, int* count);
void PlatResolveFree(int id);
// Lets the resolver read its answers and time its queries out; a poll with a
// zero timeout and nothing when no resolution is running.
void PlatResolveStep();

// Starts a connection; the descriptor, or PlatNetFailed / PlatNetRefused when
// it failed at once. Completion shows as writability in PlatNetCheck, after
// which PlatTcpConnectResult tells how it went: 0 connected, 1 still going,
// or a failure code.
int PlatTcpConnect(const PlatSocketAddress* address);
int PlatTcpConnectResult(int socket);

// A listening socket: a null address listens on every interface of both
// families (IPv4 alone where IPv6 is missing); otherwise a numeric address.
int PlatTcpListen(const char* address, int port);
// An accepted connection's descriptor, or PlatNetWouldBlock / PlatNetFailed.
int PlatTcpAccept(int listener);

// Bytes moved (> 0), or one of the codes above; Receive gives PlatNetClosed
// when the peer has ended its stream.
int PlatTcpSend(int socket, const void* data, int size);
int PlatTcpReceive(int socket, void* buffer, int size);
// Ends the sending half, so the peer reads the end of the stream.
void PlatTcpShutdownSend(int socket);
void PlatTcpClose(int socket);
// Closes with a reset instead of the end of the stream: for giving up on a
// peer, so the system does not keep the socket and its unsent bytes.
void PlatTcpReset(int socket);

// The connected peer's numeric address (IPv4-mapped IPv6 shown as IPv4) and
// port. 0 or -1.
int PlatTcpPeer(int socket, char* address, int size, int* port);
// The address as text, for the log.
void PlatSocketAddressText(const PlatSocketAddress* address, char* text, int size);

// Readiness of many sockets at once without waiting. Each socket is watched
// for what is wanted, under a tag of the caller's; a check gives only the
// sockets that are ready, so an idle connection costs nothing per pump.
// Error and hang-up count as ready both ways, so the next read or write
// finds the cause. A closed socket stops being watched by itself.
enum : int { PlatPollRead = 1, PlatPollWrite = 2 };
struct PlatReady {
    int tag;
    int ready;
};
// Changes what a socket is watched for from `was` to `want` (0 = not
// watched). 0 or -1.
int PlatNetWatch(int socket, int was, int want, int tag);
// Up to `max` ready sockets; their number, or -1.
int PlatNetCheck(PlatReady* ready, int max);

#endif
