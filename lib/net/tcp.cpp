// TCP connections on the shared handle rule, stepped by the network message
// pump: every socket is non-blocking, and one check that does not wait
// names the few that are ready.
#include "net/tcp.h"

#include "core/core.h"
#include "core/handle.h"
#include "net/byte_queue.h"
#include "platform/net/tcp.h"
#include "tessel/net.h"

#include <cstdio>
#include <cstring>
#include <deque>
#include <vector>

namespace {

constexpr int HostLength = 256;
constexpr int PeerLength = 64;
// Each read asks for at least this much room in the incoming queue.
constexpr int ReadChunk = 256 * 1024;

// The way to a peer: the name's lookup, then each address it gave in turn.
struct Dial {
    int resolveId;  // -1 when no lookup runs
    int addressCount, addressNext;
    PlatSocketAddress addresses[PlatResolveAddressMax];
    int lastFailure;  // of the last attempt, for the log line
};

struct TcpRecord {
    HandleRecord head;
    int socket;      // -1 while resolving or between attempts
    int watched;     // what the socket is watched for now
    int state;       // TcpConnecting..TcpFailed
    int sendEnded;   // a reset or failure stopped the sending side
    Dial dial;
    int port;
    int peerPort;
    char host[HostLength];
    char peer[PeerLength];  // "" until connected
    ByteQueue out, in;
};

// A connection whose handle was closed: its queue goes out (once connected,
// if it still was connecting), then the end of its stream, until its peer
// ends its side or the linger is over.
struct Draining {
    int socket;      // -1 while resolving or between attempts
    int connecting;
    int watched;
    int ready;       // what the last check found
    ByteQueue out;
    int sendShut;    // the queue went out and the sending half is shut
    int deadline;    // GetTickMs(0) after which the connection is reset
    Dial dial;
};

// Watch tags: a record's slot, the listener, or a draining socket.
constexpr int ListenerTag = -1;
int DrainingTag(int socket) { return -2 - socket; }

struct TcpState {
    int started;
    int listener;  // -1 when not listening
    int listenerWatched;
    // Only live handles wait here: CloseTcp takes its handle out, so neither
    // queue outgrows the handle table.
    std::deque<int> accepted, lost;
    std::deque<Draining> draining;  // oldest first
};

HandleRecord* gTcpSlots[TcpCapacity];
HandleTable gTcpTable = {HandleNetwork, TcpCapacity, gTcpSlots, 0, 0, 0};
TcpState gTcp = {0, -1, 0, {}, {}, {}};

TcpRecord* Find(int handle) {
    if (!gTcp.started) return nullptr;
    return HandleTableGetAs<TcpRecord>(&gTcpTable, handle);
}

int New(int* handle) {
    int slot = HandleTableReserve(&gTcpTable, sizeof(TcpRecord));
    if (slot < 0) return -1;
    HandleTableStamp(&gTcpTable, slot);
    *handle = HandleTableCommit(&gTcpTable, slot);
    TcpRecord* record = HandleTableRecordAt<TcpRecord>(&gTcpTable, slot);
    record->socket = -1;
    record->dial.resolveId = -1;
    return slot;
}

void Lose(TcpRecord* record, int slot, int state) {
    record->state = state;
    gTcp.lost.push_back(HandleOfSlot(&gTcpTable, slot));
}

// Closing a socket ends its watch too.
void DropSocket(int* socket, int* watched) {
    PlatTcpClose(*socket);
    *socket = -1;
    *watched = 0;
}

void Fail(TcpRecord* record, int slot) {
    DropSocket(&record->socket, &record->watched);
    record->sendEnded = 1;
    Lose(record, slot, TcpFailed);
}

// A numeric address is known at once; a name is looked up. 0 or -1.
int StartDial(Dial* dial, const char* host, int port) {
    dial->resolveId = -1;
    if (PlatResolveNumeric(host, port, &dial->addresses[0])) {
        dial->addressCount = 1;
        return 0;
    }
    dial->resolveId = PlatResolveStart(host, port);
    return dial->resolveId >= 0 ? 0 : -1;
}

void EndDial(Dial* dial) {
    PlatResolveFree(dial->resolveId);
    dial->resolveId = -1;
}

enum : int { DialGoing, DialNoName, DialNoAddress };

// For a dial with no attempt under way: waits for the lookup, then starts the
// next address's attempt in *socket. DialNoAddress when every address failed
// (the last failure is kept in the dial).
int StepDial(Dial* dial, int* socket) {
    if (dial->resolveId >= 0) {
        int result = PlatResolveResult(dial->resolveId, dial->addresses, PlatResolveAddressMax,
                                       &dial->addressCount);
        if (result == 0) return DialGoing;
        EndDial(dial);
        if (result < 0) return DialNoName;
    }
    while (dial->addressNext < dial->addressCount) {
        int s = PlatTcpConnect(&dial->addresses[dial->addressNext++]);
        if (s >= 0) {
            *socket = s;
            return DialGoing;
        }
        dial->lastFailure = s;
    }
    return DialNoAddress;
}

void Connected(TcpRecord* record) {
    record->state = TcpConnected;
    if (PlatTcpPeer(record->socket, record->peer, PeerLength, &record->peerPort) != 0)
        record->peer[0] = '\0';
}

void StepRecordDial(TcpRecord* record, int slot) {
    int result = StepDial(&record->dial, &record->socket);
    if (result == DialNoName)
        LogFailureFormat(SJIS("%s の名前解決に失敗しました"), record->host);
    else if (result == DialNoAddress && record->dial.lastFailure == PlatNetRefused)
        LogFailureFormat(SJIS("%s:%d への接続を拒否されました"), record->host, record->port);
    else if (result == DialNoAddress)
        LogFailureFormat(SJIS("%s:%d への接続に失敗しました"), record->host, record->port);
    if (result != DialGoing) Fail(record, slot);
}

// Sends from the queue until it is empty or the socket is full.
int Flush(int socket, ByteQueue* out) {
    while (QueueSize(out) > 0) {
        int64_t size = QueueSize(out);
        int sent = PlatTcpSend(socket, QueueFront(out), int(size < (1 << 30) ? size : 1 << 30));
        if (sent == PlatNetWouldBlock) return 0;
        if (sent < 0) return sent;
        QueueConsume(out, sent);
    }
    return 0;
}

// Reads until the socket is empty or enough waits unread: 0, or the code
// that ended the stream.
int Fill(int socket, ByteQueue* in) {
    while (QueueSize(in) < TcpReceiveLimit) {
        uint8_t* at = QueueReserve(in, ReadChunk);
        if (!at) return 0;  // no memory now; the bytes wait in the socket
        int got = PlatTcpReceive(socket, at, ReadChunk);
        if (got == PlatNetWouldBlock) return 0;
        if (got < 0) return got;
        QueueCommit(in, got);
        if (got < ReadChunk) return 0;
    }
    return 0;
}

void StopSending(TcpRecord* record) {
    record->sendEnded = 1;
    QueueFree(&record->out);
}

void StepConnection(TcpRecord* record, int slot, int ready) {
    if (record->state == TcpConnecting) {
        if (!ready) return;
        int result = PlatTcpConnectResult(record->socket);
        if (result == 1) return;
        if (result < 0) {
            DropSocket(&record->socket, &record->watched);
            record->dial.lastFailure = result;
            StepRecordDial(record, slot);
            return;
        }
        Connected(record);
        ready = PlatPollWrite;
    }
    if (ready & PlatPollRead && record->state == TcpConnected) {
        int ended = Fill(record->socket, &record->in);
        if (ended == PlatNetClosed) {
            Lose(record, slot, TcpClosedByPeer);
        } else if (ended == PlatNetReset) {
            StopSending(record);
            Lose(record, slot, TcpClosedByPeer);
        } else if (ended < 0) {
            Fail(record, slot);
            return;
        }
    }
    if (ready & PlatPollWrite && QueueSize(&record->out) > 0) {
        if (Flush(record->socket, &record->out) < 0) {
            StopSending(record);
            if (record->state == TcpConnected) Lose(record, slot, TcpClosedByPeer);
        }
    }
}

// A draining connection: once connected, its queue goes out, then its
// sending half shuts, then whatever the peer still sends is read and dropped
// until it ends its side. False once it is done with (closed or failed).
bool StepDraining(Draining* d, int ready) {
    if (d->connecting) {
        int result = ready ? PlatTcpConnectResult(d->socket) : 1;
        if (result == 1) return true;
        if (result < 0) {
            DropSocket(&d->socket, &d->watched);
            d->dial.lastFailure = result;
        } else {
            ready = PlatPollWrite;
        }
        d->connecting = 0;
    }
    if (d->socket < 0) {
        if (StepDial(&d->dial, &d->socket) != DialGoing) return false;
        d->connecting = d->socket >= 0;
        return true;
    }
    if (ready & PlatPollWrite && Flush(d->socket, &d->out) < 0) return false;
    if (!d->sendShut && QueueSize(&d->out) == 0) {
        PlatTcpShutdownSend(d->socket);
        d->sendShut = 1;
    }
    if (d->sendShut && ready & PlatPollRead) {
        char sink[16384];
        int got;
        while ((got = PlatTcpReceive(d->socket, sink, sizeof sink)) > 0) {
        }
        if (got != PlatNetWouldBlock) return false;
    }
    return true;
}

void EndDraining(Draining* d, bool reset) {
    if (reset)
        PlatTcpReset(d->socket);
    else
        PlatTcpClose(d->socket);
    QueueFree(&d->out);
    EndDial(&d->dial);
}

void AcceptWaiting() {
    while (gTcpTable.count < TcpCapacity) {
        int s = PlatTcpAccept(gTcp.listener);
        if (s < 0) return;
        int handle = 0;
        int slot = New(&handle);
        if (slot < 0) {
            PlatTcpClose(s);
            return;
        }
        TcpRecord* record = HandleTableRecordAt<TcpRecord>(&gTcpTable, slot);
        record->socket = s;
        Connected(record);
        std::snprintf(record->host, HostLength, "%s", record->peer);
        record->port = record->peerPort;
        gTcp.accepted.push_back(handle);
    }
}

void Watch(int socket, int* watched, int want, int tag) {
    if (*watched != want && PlatNetWatch(socket, *watched, want, tag) == 0) *watched = want;
}

// The handle at the front of a notification queue that still names a live
// connection, taken off; -1 when none.
int TakeLive(std::deque<int>* queue) {
    while (!queue->empty()) {
        int handle = queue->front();
        queue->pop_front();
        if (Find(handle)) return handle;
    }
    return -1;
}

void CloseSocketsOf(TcpRecord* record) {
    EndDial(&record->dial);
    PlatTcpClose(record->socket);
    QueueFree(&record->out);
    QueueFree(&record->in);
}

// Hands a closed connection's socket, queue and dial to the draining set;
// past its cap the oldest is given up.
void StartDraining(TcpRecord* record) {
    if (gTcp.draining.size() >= size_t(TcpDrainingMax)) {
        EndDraining(&gTcp.draining.front(), true);
        gTcp.draining.pop_front();
    }
    // The socket is watched again under its draining tag.
    if (record->socket >= 0) PlatNetWatch(record->socket, record->watched, 0, 0);
    Draining d{};
    d.socket = record->socket;
    d.connecting = record->state == TcpConnecting && record->socket >= 0;
    d.out = record->out;
    d.deadline = GetTickMs(0) + TcpLingerMs;
    d.dial = record->dial;
    gTcp.draining.push_back(d);
    record->socket = -1;
    record->out = ByteQueue{};
    record->dial.resolveId = -1;
}

void Forget(std::deque<int>* queue, int handle) {
    for (auto it = queue->begin(); it != queue->end();)
        it = *it == handle ? queue->erase(it) : it + 1;
}

// One step of every connection: resolution, connecting, accepting, sending
// and receiving, without waiting.
void PumpTcp() {
    // A program that uses no network pays nothing for it in its pumps.
    if (!gTcp.started || (gTcpTable.count == 0 && gTcp.listener < 0 && gTcp.draining.empty()))
        return;
    PlatResolveStep();
    if (gTcp.listener >= 0)
        Watch(gTcp.listener, &gTcp.listenerWatched,
              gTcpTable.count < TcpCapacity ? PlatPollRead : 0, ListenerTag);
    for (int slot = 0; slot < gTcpTable.highWater; ++slot) {
        TcpRecord* record = HandleTableRecordAt<TcpRecord>(&gTcpTable, slot);
        if (!record) continue;
        if (record->state == TcpConnecting && record->socket < 0) StepRecordDial(record, slot);
        if (record->socket < 0) continue;
        int want = 0;
        if (record->state == TcpConnecting) want = PlatPollWrite;
        if (record->state == TcpConnected && QueueSize(&record->in) < TcpReceiveLimit)
            want |= PlatPollRead;
        if (record->state != TcpConnecting && QueueSize(&record->out) > 0) want |= PlatPollWrite;
        Watch(record->socket, &record->watched, want, slot);
    }
    for (Draining& d : gTcp.draining) {
        if (d.socket < 0) continue;
        int want = d.connecting || QueueSize(&d.out) > 0 ? PlatPollWrite : 0;
        if (d.sendShut) want |= PlatPollRead;
        Watch(d.socket, &d.watched, want, DrainingTag(d.socket));
    }

    PlatReady ready[TcpCapacity + 1];
    int count = PlatNetCheck(ready, TcpCapacity + 1);
    for (int i = 0; i < count; ++i) {
        int tag = ready[i].tag;
        if (tag == ListenerTag) {
            AcceptWaiting();
        } else if (tag >= 0) {
            TcpRecord* record = HandleTableRecordAt<TcpRecord>(&gTcpTable, tag);
            if (record && record->socket >= 0) StepConnection(record, tag, ready[i].ready);
        } else {
            for (Draining& d : gTcp.draining)
                if (DrainingTag(d.socket) == tag) d.ready = ready[i].ready;
        }
    }
    // Draining connections whose queue went out shut down even when nothing
    // was ready. One whose linger is over is reset whether or not its queue
    // went out: a peer that never reads must not hold the socket and its
    // bytes for ever.
    int now = GetTickMs(0);
    for (size_t i = gTcp.draining.size(); i-- > 0;) {
        Draining& d = gTcp.draining[i];
        int readyNow = d.ready;
        d.ready = 0;
        bool lingered = now - d.deadline >= 0;
        if (!lingered && StepDraining(&d, readyNow)) continue;
        EndDraining(&d, lingered);
        gTcp.draining.erase(gTcp.draining.begin() + std::ptrdiff_t(i));
    }
}

}  // namespace

int InitTcp() {
    if (gTcp.started) return 0;
    if (PlatNetStart() != 0) {
        WriteLogString(SJIS("ネットワークの初期化に失敗しました\n"));
        return -1;
    }
    gTcp.started = 1;
    gTcp.listener = -1;
    gTcp.listenerWatched = 0;
    // Connections keep moving while the application is inactive.
    const SubsystemHooks hooks{.pump = PumpTcp, .inactivePump = PumpTcp};
    RegisterHooks(HookNetwork, &hooks);
    return 0;
}

void EndTcp() {
    if (!gTcp.started) return;
    RegisterHooks(HookNetwork, nullptr);
    for (int slot = 0; slot < gTcpTable.highWater; ++slot) {
        TcpRecord* record = HandleTableRecordAt<TcpRecord>(&gTcpTable, slot);
        if (record) CloseSocketsOf(record);
    }
    HandleTableReset(&gTcpTable);
    for (Draining& d : gTcp.draining) EndDraining(&d, false);
    PlatTcpClose(gTcp.listener);
    PlatNetStop();
    gTcp = TcpState{0, -1, 0, {}, {}, {}};
}

int ConnectTcp(const char* host, int port) {
    if (!gTcp.started || !host || !*host || std::strlen(host) >= size_t(HostLength)) return -1;
    if (port < 1 || port > 65535) return -1;
    int handle = 0;
    int slot = New(&handle);
    if (slot < 0) return -1;
    TcpRecord* record = HandleTableRecordAt<TcpRecord>(&gTcpTable, slot);
    std::snprintf(record->host, HostLength, "%s", host);
    record->port = port;
    if (StartDial(&record->dial, host, port) != 0) {
        CloseSocketsOf(record);
        HandleTableRemove(&gTcpTable, handle);
        return -1;
    }
    return handle;
}

int ListenTcp(const char* address, int port) {
    if (!gTcp.started || gTcp.listener >= 0 || port < 1 || port > 65535) return -1;
    if (address && !*address) return -1;
    int s = PlatTcpListen(address, port);
    if (s < 0) {
        WriteLogFormat(SJIS("%s のポート %d で接続を待てませんでした"), address ? address : "*", port);
        return -1;
    }
    gTcp.listener = s;
    return 0;
}

int StopListenTcp() {
    if (!gTcp.started || gTcp.listener < 0) return -1;
    PlatTcpClose(gTcp.listener);
    gTcp.listener = -1;
    gTcp.listenerWatched = 0;
    return 0;
}

int AcceptTcp() { return gTcp.started ? TakeLive(&gTcp.accepted) : -1; }

int GetLostTcp() { return gTcp.started ? TakeLive(&gTcp.lost) : -1; }

int GetTcpState(int connection) {
    TcpRecord* record = Find(connection);
    return record ? record->state : -1;
}

int SendTcp(int connection, const void* data, int size) {
    TcpRecord* record = Find(connection);
    if (!record || !data || size < 0) return -1;
    // A peer that ended its stream in order may still read: only a reset or
    // a failure stops the sending side.
    if (record->sendEnded) return -1;
    if (QueueSize(&record->out) + size > TcpSendQueueBytes) return -1;
    const auto* bytes = static_cast<const uint8_t*>(data);
    // With nothing queued ahead, what the socket takes now skips the queue.
    if (record->state != TcpConnecting && QueueSize(&record->out) == 0) {
        int sent = PlatTcpSend(record->socket, bytes, size);
        if (sent > 0) {
            bytes += sent;
            size -= sent;
        }
    }
    return size == 0 || QueueAppend(&record->out, bytes, size) == 0 ? 0 : -1;
}

int PeekTcp(int connection, void* buffer, int size) {
    TcpRecord* record = Find(connection);
    if (!record || !buffer || size < 0) return -1;
    int64_t n = QueueSize(&record->in) < size ? QueueSize(&record->in) : size;
    // An empty queue may have no memory at all to copy from.
    if (n > 0) std::memcpy(buffer, QueueFront(&record->in), size_t(n));
    return int(n);
}

int ReceiveTcp(int connection, void* buffer, int size) {
    int n = PeekTcp(connection, buffer, size);
    if (n > 0) QueueConsume(&Find(connection)->in, n);
    return n;
}

int GetTcpReceivedSize(int connection) {
    TcpRecord* record = Find(connection);
    return record ? int(QueueSize(&record->in)) : -1;
}

int CloseTcp(int connection) {
    TcpRecord* record = Find(connection);
    if (!record) return -1;
    // A connection that is up leaves gracefully: the queue goes out, then the
    // end of the stream, so the peer reads everything before it sees the end.
    // One still connecting with bytes queued connects first to send them.
    bool up = record->socket >= 0 &&
              (record->state == TcpConnected || record->state == TcpClosedByPeer);
    bool owed = record->state == TcpConnecting && QueueSize(&record->out) > 0;
    if (up || owed) StartDraining(record);
    CloseSocketsOf(record);
    HandleTableRemove(&gTcpTable, connection);
    Forget(&gTcp.lost, connection);
    Forget(&gTcp.accepted, connection);
    return 0;
}

int GetTcpPeer(int connection, char* address, int size, int* port) {
    TcpRecord* record = Find(connection);
    if (!record || !address || size <= 0 || !record->peer[0]) return -1;
    if (int(std::strlen(record->peer)) >= size) return -1;
    std::memcpy(address, record->peer, std::strlen(record->peer) + 1);
    if (port) *port = record->peerPort;
    return 0;
}
