// The handle rule shared by every object table of the library.
//
// A handle is index | serial << 16 | type << 27: the index names the slot,
// the 11-bit serial tells a live record from an earlier one in the same slot,
// and the type keeps a sound handle from being taken for a graph.
//
// A module declares its table in a few lines:
//
//     struct SoundRecord { HandleRecord head; ...their fields... };
//     static HandleRecord* soundSlots[SoundCapacity];
//     HandleTable gSoundTable = {HandleSound, SoundCapacity, soundSlots};
//
// and starts every public operation with
//
//     SoundRecord* sound = HandleTableGetAs<SoundRecord>(&gSoundTable, handle);
//     if (!sound) return -1;
#ifndef TESSEL_HANDLE_H
#define TESSEL_HANDLE_H

#include <cstddef>
#include <cstdint>
#include <type_traits>

enum HandleType : int {
    HandleGraph = 1,
    HandleSound = 2,
    HandleMovie = 3,
    HandleFont = 4,
    HandleBmpData = 5,
    HandleTexture = 6,
    HandleSurfaceData = 7,
    HandleMask = 8,
    HandleNetwork = 9,
    HandleHttp = 10,
    HandleInputField = 11,
};

constexpr int HandleTypeShift = 27;
constexpr int HandleSerialShift = 16;
constexpr int32_t HandleTypeMask = 0x78000000;
constexpr int32_t HandleSerialMask = 0x07FF0000;
constexpr int32_t HandleIndexMask = 0x0000FFFF;
constexpr int HandleSerialLimit = 0x7FF;  // the counter wraps to 0 after this

// The first member of every record kept in a handle table.
struct HandleRecord {
    int32_t serial;             // check value of the handle, 0..2047
    int32_t* deleteFlagTarget;  // set to 1 when the record is freed; may be null
};

// One table. `type`, `capacity` and `slots` describe it and are fixed; the
// rest starts at zero.
struct HandleTable {
    int type;               // a HandleType
    int capacity;           // number of slots; every index is below it
    HandleRecord** slots;   // capacity entries, null while free
    int count;              // live records
    int highWater;          // one past the highest slot in use
    int serial;             // serial of the next record, 0..HandleSerialLimit
};

// Failures of HandleTableReserve and HandleTableAdd.
enum : int {
    HandleTableFull = -1,      // `capacity` records are live
    HandleTableNoMemory = -2,  // the record could not be allocated
};

// The record named by `handle`, or null. Checks, in this order: not negative,
// the table's type, the index below the capacity, the slot occupied, the
// serial equal to the record's.
HandleRecord* HandleTableGet(const HandleTable* table, int handle);

template <typename Record>
Record* HandleTableGetAs(const HandleTable* table, int handle) {
    static_assert(std::is_standard_layout_v<Record> && offsetof(Record, head) == 0,
                  "a table record starts with its HandleRecord");
    return reinterpret_cast<Record*>(HandleTableGet(table, handle));
}

// The handle of the record in `slot` (which must be occupied).
int HandleOfSlot(const HandleTable* table, int slot);

// Adding in steps, for tables that must make something between allocating
// the record and counting it in:
//   Reserve: picks the slot (the high-water mark while it is below the
//     capacity, else the first free slot) and puts a zero-filled record of
//     `size` bytes there. Returns the slot, or HandleTableFull or
//     HandleTableNoMemory. The record is not yet counted.
//   Stamp: copies the serial counter into the record and advances it.
//   Commit: counts the record in, raises the high-water mark past it and
//     returns its handle.
//   Discard: frees a reserved record and clears its slot, counts untouched.
int HandleTableReserve(HandleTable* table, size_t size);
void HandleTableStamp(HandleTable* table, int slot);
int HandleTableCommit(HandleTable* table, int slot);
void HandleTableDiscard(HandleTable* table, int slot);

// Reserve, Stamp and Commit in one: the new handle, or HandleTableFull or
// HandleTableNoMemory.
int HandleTableAdd(HandleTable* table, size_t size);

template <typename Record>
Record* HandleTableRecordAt(const HandleTable* table, int slot) {
    return reinterpret_cast<Record*>(table->slots[slot]);
}

// Ends a record after its owner has released what the record holds: lowers
// the live count and, when it was the topmost record, the high-water mark
// past every empty slot below; stores 1 through the delete flag target;
// frees the record. 0, or -1 for an invalid handle.
int HandleTableRemove(HandleTable* table, int handle);

// Frees every record without touching anything it holds and zeroes the
// count and the high-water mark. The serial counter runs on for the life of
// the process, so that a handle kept across a restart of the library never
// names a record made after it.
void HandleTableReset(HandleTable* table);

#endif
