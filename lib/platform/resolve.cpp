// Name resolution through c-ares: queries go out and answers come back on
// the resolver's own sockets, which PlatResolveStep polls without waiting,
// so a slow or silent name server never holds the pump.
#include "platform/tcp.h"

#include <ares.h>
#include <arpa/inet.h>
#include <cstdio>
#include <cstring>
#include <poll.h>

namespace {

constexpr int ResolveSlots = 256;
// A silent name server fails a name after about this long in all.
constexpr int QueryTimeoutMs = 2000;
constexpr int QueryTries = 2;

struct ResolveSlot {
    int taken;     // an id names this slot
    int running;   // the resolver still owes this slot its callback
    int result;    // 0 running, 1 done, -1 failed
    int count;
    PlatSocketAddress addresses[PlatResolveAddressMax];
};

struct ResolverState {
    int libraryStarted;
    int channelMade;
    ares_channel channel;
    int running;  // queries whose callback has not come
    ResolveSlot slots[ResolveSlots];
};

ResolverState gResolver;

// A numeric address needs no resolver: the slot is answered at once.
bool AnswerNumeric(ResolveSlot* slot, const char* host, int port) {
    sockaddr_in v4{};
    sockaddr_in6 v6{};
    PlatSocketAddress& out = slot->addresses[0];
    if (inet_pton(AF_INET, host, &v4.sin_addr) == 1) {
        v4.sin_family = AF_INET;
        v4.sin_port = htons(uint16_t(port));
        std::memcpy(out.bytes, &v4, sizeof v4);
        out.length = sizeof v4;
    } else if (inet_pton(AF_INET6, host, &v6.sin6_addr) == 1) {
        v6.sin6_family = AF_INET6;
        v6.sin6_port = htons(uint16_t(port));
        std::memcpy(out.bytes, &v6, sizeof v6);
        out.length = sizeof v6;
    } else {
        return false;
    }
    slot->count = 1;
    slot->result = 1;
    return true;
}

void Answered(void* arg, int status, int /*timeouts*/, ares_addrinfo* info) {
    auto* slot = static_cast<ResolveSlot*>(arg);
    slot->running = 0;
    --gResolver.running;
    slot->count = 0;
    if (status == ARES_SUCCESS && info) {
        for (ares_addrinfo_node* node = info->nodes; node && slot->count < PlatResolveAddressMax;
             node = node->ai_next) {
            if (node->ai_addrlen > sizeof slot->addresses[0].bytes) continue;
            PlatSocketAddress& out = slot->addresses[slot->count++];
            std::memcpy(out.bytes, node->ai_addr, node->ai_addrlen);
            out.length = node->ai_addrlen;
        }
    }
    if (info) ares_freeaddrinfo(info);
    slot->result = slot->count > 0 ? 1 : -1;
}

}  // namespace

int PlatResolverStart() {
    if (gResolver.channelMade) return 0;
    if (!gResolver.libraryStarted) {
        if (ares_library_init(ARES_LIB_INIT_ALL) != ARES_SUCCESS) return -1;
        gResolver.libraryStarted = 1;
    }
    ares_options options{};
    options.timeout = QueryTimeoutMs;
    options.tries = QueryTries;
    if (ares_init_options(&gResolver.channel, &options, ARES_OPT_TIMEOUTMS | ARES_OPT_TRIES) !=
        ARES_SUCCESS)
        return -1;
    gResolver.channelMade = 1;
    return 0;
}

void PlatResolverStop() {
    if (gResolver.channelMade) {
        // Every query still running is answered with a failure here, and
        // the resolver's sockets close.
        ares_destroy(gResolver.channel);
        gResolver.channelMade = 0;
    }
    for (ResolveSlot& slot : gResolver.slots) slot = ResolveSlot{};
    gResolver.running = 0;
    if (gResolver.libraryStarted) {
        ares_library_cleanup();
        gResolver.libraryStarted = 0;
    }
}

int PlatResolveStart(const char* host, int port) {
    if (!gResolver.channelMade || !host || !*host) return -1;
    int id = 0;
    while (id < ResolveSlots && (gResolver.slots[id].taken || gResolver.slots[id].running)) ++id;
    if (id == ResolveSlots) return -1;
    ResolveSlot& slot = gResolver.slots[id];
    slot = ResolveSlot{};
    slot.taken = 1;
    if (AnswerNumeric(&slot, host, port)) return id;
    slot.running = 1;
    ++gResolver.running;
    char service[16];
    std::snprintf(service, sizeof service, "%d", port);
    ares_addrinfo_hints hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = ARES_AI_NUMERICSERV;
    ares_getaddrinfo(gResolver.channel, host, service, &hints, Answered, &slot);
    return id;
}

int PlatResolveResult(int id, PlatSocketAddress* addresses, int max, int* count) {
    if (id < 0 || id >= ResolveSlots || !gResolver.slots[id].taken) return -1;
    const ResolveSlot& slot = gResolver.slots[id];
    if (slot.result != 1) return slot.result;
    int n = slot.count < max ? slot.count : max;
    std::memcpy(addresses, slot.addresses, sizeof(PlatSocketAddress) * size_t(n));
    *count = n;
    return 1;
}

void PlatResolveFree(int id) {
    if (id < 0 || id >= ResolveSlots) return;
    // A slot whose query still runs stays out of use until the answer comes.
    gResolver.slots[id].taken = 0;
}

void PlatResolveStep() {
    if (!gResolver.channelMade || gResolver.running == 0) return;
    ares_socket_t sockets[ARES_GETSOCK_MAXNUM];
    int bits = ares_getsock(gResolver.channel, sockets, ARES_GETSOCK_MAXNUM);
    pollfd entries[ARES_GETSOCK_MAXNUM];
    int count = 0;
    for (int i = 0; i < ARES_GETSOCK_MAXNUM; ++i) {
        short events = 0;
        if (ARES_GETSOCK_READABLE(bits, i)) events |= POLLIN;
        if (ARES_GETSOCK_WRITABLE(bits, i)) events |= POLLOUT;
        if (events) entries[count++] = pollfd{sockets[i], events, 0};
    }
    if (count > 0 && poll(entries, nfds_t(count), 0) > 0) {
        for (int i = 0; i < count; ++i) {
            if (!entries[i].revents) continue;
            bool readable = entries[i].revents & (POLLIN | POLLERR | POLLHUP);
            bool writable = entries[i].revents & (POLLOUT | POLLERR | POLLHUP);
            ares_process_fd(gResolver.channel, readable ? entries[i].fd : ARES_SOCKET_BAD,
                            writable ? entries[i].fd : ARES_SOCKET_BAD);
        }
    }
    // Lets queries whose time is up fail or try again.
    ares_process_fd(gResolver.channel, ARES_SOCKET_BAD, ARES_SOCKET_BAD);
}
