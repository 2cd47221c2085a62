// The handle rule: slot choice, serials, validation and freeing, the same for
// every table.
#include "core/handle.h"

#include <cstdlib>

HandleRecord* HandleTableGet(const HandleTable* table, int handle) {
    if (handle < 0) return nullptr;
    if ((handle & HandleTypeMask) != table->type << HandleTypeShift) return nullptr;
    int index = handle & HandleIndexMask;
    if (index >= table->capacity) return nullptr;
    HandleRecord* record = table->slots[index];
    if (!record) return nullptr;
    if (record->serial << HandleSerialShift != (handle & HandleSerialMask)) return nullptr;
    return record;
}

int HandleOfSlot(const HandleTable* table, int slot) {
    return slot | table->slots[slot]->serial << HandleSerialShift |
           table->type << HandleTypeShift;
}

int HandleTableReserve(HandleTable* table, size_t size) {
    if (table->count == table->capacity) return HandleTableFull;
    // Freed slots below the mark stay unused until the mark reaches the
    // capacity, which keeps a stale handle from meeting a new record early.
    int slot = table->highWater;
    if (slot >= table->capacity) {
        slot = 0;
        while (table->slots[slot]) ++slot;
    }
    auto* record = static_cast<HandleRecord*>(std::calloc(1, size));
    if (!record) return HandleTableNoMemory;
    table->slots[slot] = record;
    return slot;
}

void HandleTableStamp(HandleTable* table, int slot) {
    table->slots[slot]->serial = table->serial;
    table->serial = table->serial == HandleSerialLimit ? 0 : table->serial + 1;
}

int HandleTableCommit(HandleTable* table, int slot) {
    ++table->count;
    if (slot == table->highWater) ++table->highWater;
    return HandleOfSlot(table, slot);
}

void HandleTableDiscard(HandleTable* table, int slot) {
    std::free(table->slots[slot]);
    table->slots[slot] = nullptr;
}

int HandleTableAdd(HandleTable* table, size_t size) {
    int slot = HandleTableReserve(table, size);
    if (slot < 0) return slot;
    HandleTableStamp(table, slot);
    return HandleTableCommit(table, slot);
}

int HandleTableRemove(HandleTable* table, int handle) {
    HandleRecord* record = HandleTableGet(table, handle);
    if (!record) return -1;
    int slot = handle & HandleIndexMask;
    --table->count;
    if (slot == table->highWater - 1) {
        if (table->count == 0) {
            table->highWater = 0;
        } else {
            int top = slot - 1;
            while (!table->slots[top]) --top;
            table->highWater = top + 1;
        }
    }
    if (record->deleteFlagTarget) *record->deleteFlagTarget = 1;
    std::free(record);
    table->slots[slot] = nullptr;
    return 0;
}

void HandleTableReset(HandleTable* table) {
    for (int slot = 0; slot < table->capacity; ++slot) HandleTableDiscard(table, slot);
    table->count = 0;
    table->highWater = 0;
}
