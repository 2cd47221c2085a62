// Name resolution through c-ares: queries go out and answers come back on
// the resolver's own sockets, which PlatResolveStep polls without waiting,
// so a slow or silent name server never holds the pump. Each lookup has a
// channel of its own, because a channel is the only thing c-ares can cancel:
// freeing a lookup destroys its channel, and with it the query and sockets.
#include "platform/net/tcp.h"

#include <ares.h>
#include <arpa/inet.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <poll.h>

namespace {

// Room for a lookup per open connection and per closed one still connecting
// to send what was queued.
constexpr int ResolveSlots = 512;
// A silent name server fails a name after about this long in all.
constexpr int QueryTimeoutMs = 2000;
constexpr int QueryTries = 2;

struct ResolveSlot {
    int taken;     // an id names this slot; its channel is open
    int result;    // 0 running, 1 done, -1 failed
    int count;
    ares_channel channel;
    PlatSocketAddress addresses[PlatResolveAddressMax];
};

struct ResolverState {
    int libraryStarted;
    ResolveSlot slots[ResolveSlots];
};

ResolverState gResolver;

void Answered(void* arg, int status, int /*timeouts*/, ares_addrinfo* info) {
    auto* slot = static_cast<ResolveSlot*>(arg);
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

// A channel for one lookup. TESSEL_NAME_SERVERS ("127.0.0.1:5353", comma
// separated) replaces the system's name servers, so tests can point lookups
// at a server of their own.
int OpenChannel(ares_channel* channel) {
    ares_options options{};
    options.timeout = QueryTimeoutMs;
    options.tries = QueryTries;
    if (ares_init_options(channel, &options, ARES_OPT_TIMEOUTMS | ARES_OPT_TRIES) != ARES_SUCCESS)
        return -1;
    const char* servers = std::getenv("TESSEL_NAME_SERVERS");
    if (servers && *servers && ares_set_servers_ports_csv(*channel, servers) != ARES_SUCCESS) {
        ares_destroy(*channel);
        return -1;
    }
    return 0;
}

}  // namespace

int PlatResolverStart() {
    if (gResolver.libraryStarted) return 0;
    if (ares_library_init(ARES_LIB_INIT_ALL) != ARES_SUCCESS) return -1;
    gResolver.libraryStarted = 1;
    return 0;
}

void PlatResolverStop() {
    for (int id = 0; id < ResolveSlots; ++id) PlatResolveFree(id);
    if (gResolver.libraryStarted) {
        ares_library_cleanup();
        gResolver.libraryStarted = 0;
    }
}

int PlatResolveNumeric(const char* host, int port, PlatSocketAddress* address) {
    sockaddr_in v4{};
    sockaddr_in6 v6{};
    if (inet_pton(AF_INET, host, &v4.sin_addr) == 1) {
        v4.sin_family = AF_INET;
        v4.sin_port = htons(uint16_t(port));
        std::memcpy(address->bytes, &v4, sizeof v4);
        address->length = sizeof v4;
    } else if (inet_pton(AF_INET6, host, &v6.sin6_addr) == 1) {
        v6.sin6_family = AF_INET6;
        v6.sin6_port = htons(uint16_t(port));
        std::memcpy(address->bytes, &v6, sizeof v6);
        address->length = sizeof v6;
    } else {
        return 0;
    }
    return 1;
}

int PlatResolveStart(const char* host, int port) {
    if (!gResolver.libraryStarted || !host || !*host) return -1;
    int id = 0;
    while (id < ResolveSlots && gResolver.slots[id].taken) ++id;
    if (id == ResolveSlots) return -1;
    ResolveSlot& slot = gResolver.slots[id];
    slot = ResolveSlot{};
    if (PlatResolveNumeric(host, port, &slot.addresses[0])) {
        slot.taken = 1;
        slot.count = 1;
        slot.result = 1;
        return id;
    }
    if (OpenChannel(&slot.channel) != 0) return -1;
    slot.taken = 1;
    char service[16];
    std::snprintf(service, sizeof service, "%d", port);
    ares_addrinfo_hints hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = ARES_AI_NUMERICSERV;
    ares_getaddrinfo(slot.channel, host, service, &hints, Answered, &slot);
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
    if (id < 0 || id >= ResolveSlots || !gResolver.slots[id].taken) return;
    ResolveSlot& slot = gResolver.slots[id];
    // A query still running is answered with a failure here, into the slot
    // that is about to be cleared.
    if (slot.channel) ares_destroy(slot.channel);
    slot = ResolveSlot{};
}

void PlatResolveStep() {
    pollfd entries[ResolveSlots * 2];
    int owner[ResolveSlots * 2];
    int count = 0;
    for (int id = 0; id < ResolveSlots; ++id) {
        const ResolveSlot& slot = gResolver.slots[id];
        if (!slot.taken || slot.result != 0) continue;
        ares_socket_t sockets[ARES_GETSOCK_MAXNUM];
        int bits = ares_getsock(slot.channel, sockets, ARES_GETSOCK_MAXNUM);
        for (int i = 0; i < ARES_GETSOCK_MAXNUM && count < ResolveSlots * 2; ++i) {
            short events = 0;
            if (ARES_GETSOCK_READABLE(bits, i)) events |= POLLIN;
            if (ARES_GETSOCK_WRITABLE(bits, i)) events |= POLLOUT;
            if (!events) continue;
            owner[count] = id;
            entries[count++] = pollfd{sockets[i], events, 0};
        }
    }
    if (count > 0 && poll(entries, nfds_t(count), 0) > 0) {
        for (int i = 0; i < count; ++i) {
            if (!entries[i].revents) continue;
            bool readable = entries[i].revents & (POLLIN | POLLERR | POLLHUP);
            bool writable = entries[i].revents & (POLLOUT | POLLERR | POLLHUP);
            ares_process_fd(gResolver.slots[owner[i]].channel,
                            readable ? entries[i].fd : ARES_SOCKET_BAD,
                            writable ? entries[i].fd : ARES_SOCKET_BAD);
        }
    }
    // Lets queries whose time is up fail or try again.
    for (ResolveSlot& slot : gResolver.slots)
        if (slot.taken && slot.result == 0)
            ares_process_fd(slot.channel, ARES_SOCKET_BAD, ARES_SOCKET_BAD);
}
