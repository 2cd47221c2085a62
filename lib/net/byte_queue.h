// A byte queue for a connection's outgoing and incoming stream: one block of
// memory, appended at the tail and taken from the head, with room made by
// moving what is left to the front only when the tail reaches the end.
// Plain data, so a record made zero-filled holds an empty queue.
#ifndef TESSEL_NET_BYTE_QUEUE_H
#define TESSEL_NET_BYTE_QUEUE_H

#include <cstdint>
#include <cstdlib>
#include <cstring>

struct ByteQueue {
    uint8_t* data;
    int64_t capacity;
    int64_t head;  // first byte not yet taken
    int64_t tail;  // one past the last byte appended
};

inline int64_t QueueSize(const ByteQueue* q) { return q->tail - q->head; }
inline uint8_t* QueueFront(const ByteQueue* q) { return q->data + q->head; }

// Room for at least `room` more bytes at the tail; null when out of memory.
inline uint8_t* QueueReserve(ByteQueue* q, int64_t room) {
    if (q->capacity - q->tail >= room) return q->data + q->tail;
    int64_t size = QueueSize(q);
    if (q->head > 0) {
        std::memmove(q->data, q->data + q->head, size_t(size));
        q->head = 0;
        q->tail = size;
    }
    if (q->capacity - q->tail < room) {
        int64_t grown = q->capacity ? q->capacity * 2 : 64 * 1024;
        while (grown - size < room) grown *= 2;
        auto* data = static_cast<uint8_t*>(std::realloc(q->data, size_t(grown)));
        if (!data) return nullptr;
        q->data = data;
        q->capacity = grown;
    }
    return q->data + q->tail;
}

inline void QueueCommit(ByteQueue* q, int64_t bytes) { q->tail += bytes; }

inline int QueueAppend(ByteQueue* q, const void* bytes, int64_t size) {
    uint8_t* at = QueueReserve(q, size);
    if (!at) return -1;
    std::memcpy(at, bytes, size_t(size));
    q->tail += size;
    return 0;
}

// Drops `bytes` from the head; an emptied queue starts again at the front.
inline void QueueConsume(ByteQueue* q, int64_t bytes) {
    q->head += bytes;
    if (q->head == q->tail) q->head = q->tail = 0;
}

inline void QueueFree(ByteQueue* q) {
    std::free(q->data);
    *q = ByteQueue{};
}

#endif
