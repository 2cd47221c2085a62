// The handle rule on a small table of its own: slot choice, the high-water
// mark, serials and their wrap, validation, and adding in steps.
#include "core/handle.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace {

struct ThingRecord {
    HandleRecord head;
    int value;
};

constexpr int Capacity = 6;
constexpr int32_t ThingBits = HandleFont << HandleTypeShift;  // 0x20000000

class HandleTableTest : public testing::Test {
protected:
    void TearDown() override { HandleTableReset(&table_); }

    int Add() { return HandleTableAdd(&table_, sizeof(ThingRecord)); }
    int Slot(int handle) const { return handle & HandleIndexMask; }
    int Serial(int handle) const { return (handle & HandleSerialMask) >> HandleSerialShift; }
    bool Valid(int handle) const { return HandleTableGet(&table_, handle) != nullptr; }

    HandleRecord* slots_[Capacity] = {};
    HandleTable table_ = {HandleFont, Capacity, slots_, 0, 0, 0};
};

TEST_F(HandleTableTest, HandlesCarryTypeSerialAndSlot) {
    int first = Add();
    int second = Add();
    EXPECT_EQ(first, ThingBits);
    EXPECT_EQ(second, ThingBits | 1 << 16 | 1);
    EXPECT_EQ(table_.count, 2);
    EXPECT_EQ(table_.highWater, 2);
    EXPECT_EQ(table_.serial, 2);

    // The record is zero-filled apart from its serial, and it is the one the
    // handle finds.
    auto* record = HandleTableGetAs<ThingRecord>(&table_, second);
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record->head.serial, 1);
    EXPECT_EQ(record->head.deleteFlagTarget, nullptr);
    EXPECT_EQ(record->value, 0);
    EXPECT_EQ(HandleTableRecordAt<ThingRecord>(&table_, 1), record);
    EXPECT_EQ(HandleOfSlot(&table_, 1), second);
}

TEST_F(HandleTableTest, ValidationRefusesEachWayAHandleCanBeWrong) {
    int handle = Add();
    Add();
    ASSERT_TRUE(Valid(handle));

    EXPECT_FALSE(Valid(-1));
    EXPECT_FALSE(Valid(int(uint32_t(handle) | 0x80000000u)));  // bit 31
    int soundBits = (handle & ~HandleTypeMask) | HandleSound << HandleTypeShift;
    EXPECT_FALSE(Valid(soundBits));
    EXPECT_FALSE(Valid(handle & ~HandleTypeMask));               // type 0
    EXPECT_FALSE(Valid(ThingBits | Capacity));                   // index past the table
    EXPECT_FALSE(Valid(ThingBits | 0xFFFF));
    EXPECT_FALSE(Valid(ThingBits | 4));                          // empty slot
    EXPECT_FALSE(Valid(handle | 5 << 16));                       // another serial
    EXPECT_TRUE(Valid(handle));
}

TEST_F(HandleTableTest, FreedSlotsWaitUntilTheMarkReachesTheCapacity) {
    int a = Add();
    Add();
    Add();
    ASSERT_EQ(HandleTableRemove(&table_, a), 0);
    EXPECT_EQ(table_.highWater, 3);  // a lower slot does not move the mark

    EXPECT_EQ(Slot(Add()), 3);
    EXPECT_EQ(Slot(Add()), 4);
    EXPECT_EQ(Slot(Add()), 5);
    EXPECT_EQ(table_.highWater, Capacity);
    int reused = Add();
    EXPECT_EQ(Slot(reused), 0);
    EXPECT_EQ(Serial(reused), 6);
    EXPECT_FALSE(Valid(a));  // the stale handle does not reach the new record
    EXPECT_TRUE(Valid(reused));

    EXPECT_EQ(table_.count, Capacity);
    EXPECT_EQ(Add(), HandleTableFull);
    EXPECT_EQ(table_.serial, 7);  // a refusal takes no serial
}

TEST_F(HandleTableTest, SearchAtCapacityTakesTheFirstFreeSlot) {
    std::vector<int> handles;
    for (int i = 0; i < Capacity; ++i) handles.push_back(Add());
    HandleTableRemove(&table_, handles[4]);
    HandleTableRemove(&table_, handles[2]);
    EXPECT_EQ(Slot(Add()), 2);
    EXPECT_EQ(Slot(Add()), 4);
}

TEST_F(HandleTableTest, RemovingTheTopRecordLowersTheMarkPastEmptySlots) {
    std::vector<int> handles;
    for (int i = 0; i < 5; ++i) handles.push_back(Add());
    HandleTableRemove(&table_, handles[2]);
    HandleTableRemove(&table_, handles[3]);
    EXPECT_EQ(table_.highWater, 5);
    HandleTableRemove(&table_, handles[4]);
    EXPECT_EQ(table_.highWater, 2);
    EXPECT_EQ(Slot(Add()), 2);

    // Emptying the table returns the mark to 0.
    for (int slot = 0; slot < 3; ++slot)
        HandleTableRemove(&table_, HandleOfSlot(&table_, slot));
    EXPECT_EQ(table_.count, 0);
    EXPECT_EQ(table_.highWater, 0);
    EXPECT_EQ(Slot(Add()), 0);
}

TEST_F(HandleTableTest, SerialWrapsAfter2047SoOnlyMultiplesOf2048Collide) {
    int first = Add();
    HandleTableRemove(&table_, first);
    int previous = -1;
    for (int made = 1; made < 2048; ++made) {
        previous = Add();  // always slot 0: the table empties each time
        HandleTableRemove(&table_, previous);
    }
    EXPECT_EQ(Serial(previous), 2047);
    EXPECT_EQ(table_.serial, 0);

    int again = Add();
    EXPECT_EQ(again, first);  // 2048 records later the same handle comes back
    EXPECT_FALSE(Valid(previous));
}

TEST_F(HandleTableTest, RemoveSetsTheDeleteFlagAndRefusesStaleHandles) {
    int handle = Add();
    int32_t flag = 0;
    HandleTableGet(&table_, handle)->deleteFlagTarget = &flag;
    EXPECT_EQ(HandleTableRemove(&table_, handle), 0);
    EXPECT_EQ(flag, 1);
    EXPECT_EQ(slots_[0], nullptr);

    flag = 0;
    EXPECT_EQ(HandleTableRemove(&table_, handle), -1);
    EXPECT_EQ(flag, 0);
    EXPECT_EQ(table_.count, 0);
}

TEST_F(HandleTableTest, StepsLetAFailedAddLeaveCountsOrSerialAsItChooses) {
    Add();
    // Discarded before the stamp: nothing but the slot was touched.
    int slot = HandleTableReserve(&table_, sizeof(ThingRecord));
    EXPECT_EQ(slot, 1);
    EXPECT_NE(slots_[1], nullptr);
    HandleTableDiscard(&table_, slot);
    EXPECT_EQ(slots_[1], nullptr);
    EXPECT_EQ(table_.count, 1);
    EXPECT_EQ(table_.highWater, 1);
    EXPECT_EQ(table_.serial, 1);

    // Discarded after the stamp: the serial is spent.
    slot = HandleTableReserve(&table_, sizeof(ThingRecord));
    HandleTableStamp(&table_, slot);
    HandleTableDiscard(&table_, slot);
    EXPECT_EQ(table_.serial, 2);
    EXPECT_EQ(table_.count, 1);

    slot = HandleTableReserve(&table_, sizeof(ThingRecord));
    HandleTableStamp(&table_, slot);
    EXPECT_EQ(HandleTableCommit(&table_, slot), ThingBits | 2 << 16 | 1);
    EXPECT_EQ(table_.highWater, 2);
}

TEST_F(HandleTableTest, AnUnallocatableRecordLeavesTheTableAsItWas) {
    Add();
    EXPECT_EQ(HandleTableAdd(&table_, SIZE_MAX), HandleTableNoMemory);
    EXPECT_EQ(slots_[1], nullptr);
    EXPECT_EQ(table_.count, 1);
    EXPECT_EQ(table_.highWater, 1);
    EXPECT_EQ(table_.serial, 1);
}

// A handle kept across a reset must not name the next record in its slot,
// so the serial runs on.
TEST_F(HandleTableTest, ResetEmptiesTheTableButKeepsCountingSerials) {
    int first = Add();
    Add();
    HandleTableReset(&table_);
    EXPECT_EQ(table_.count, 0);
    EXPECT_EQ(table_.highWater, 0);
    EXPECT_EQ(slots_[0], nullptr);
    EXPECT_EQ(slots_[1], nullptr);
    EXPECT_EQ(Add(), ThingBits | 2 << HandleSerialShift);
    EXPECT_EQ(HandleTableGet(&table_, first), nullptr);
}

}  // namespace
