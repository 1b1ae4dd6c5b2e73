// ExtPtrArray: slot growth, removal order and who deletes the elements.
#include <gtest/gtest.h>

#include "base/ExtPtrArray.h"

namespace {

// Counts the live instances so a test can see which elements were deleted.
class Counted : public TarnelObject {
public:
    explicit Counted(int v) : value(v) { ++live; }
    ~Counted() override { --live; }
    int value;
    static int live;
};
int Counted::live = 0;

int valueAt(const ExtPtrArray& a, int i) { return static_cast<Counted*>(a.get(i))->value; }

}  // namespace

TEST(ExtPtrArray, GrowsFromFiveSlotsByDoubling) {
    ExtPtrArray a;
    EXPECT_EQ(a.capacity(), 0);
    const int expectedCapacity[] = {5, 5, 5, 5, 5, 10, 10, 10, 10, 10, 20};
    TarnelObject objects[11];
    for (int i = 0; i < 11; ++i) {
        ASSERT_TRUE(a.add(&objects[i]));
        EXPECT_EQ(a.capacity(), expectedCapacity[i]) << "add " << i + 1;
    }
    for (int i = 0; i < 11; ++i) EXPECT_EQ(a.get(i), &objects[i]);
    ExtPtrArray sized(0, -3);
    EXPECT_EQ(sized.capacity(), 5);
    TarnelObject more[6];
    for (TarnelObject& o : more) sized.add(&o);
    EXPECT_EQ(sized.capacity(), 10);
}

TEST(ExtPtrArray, GrowthStepStopsAtOneHundredThousand) {
    ExtPtrArray a(60000, 60000);
    TarnelObject o;
    for (int i = 0; i < 60001; ++i) ASSERT_TRUE(a.add(&o));
    EXPECT_EQ(a.capacity(), 120000);
    for (int i = 60001; i < 120001; ++i) ASSERT_TRUE(a.add(&o));
    EXPECT_EQ(a.capacity(), 220000);
}

TEST(ExtPtrArray, RemovalClosesTheGapAndDeletesNothing) {
    ExtPtrArray a;
    for (int i = 0; i < 4; ++i) a.add(new Counted(i));
    EXPECT_EQ(a.removeAt(4), nullptr);
    EXPECT_EQ(a.removeAt(-1), nullptr);
    EXPECT_EQ(a.count(), 4);
    TarnelObject* second = a.removeAt(1);
    EXPECT_EQ(static_cast<Counted*>(second)->value, 1);
    EXPECT_EQ(a.count(), 3);
    EXPECT_EQ(valueAt(a, 0), 0);
    EXPECT_EQ(valueAt(a, 1), 2);
    EXPECT_EQ(valueAt(a, 2), 3);
    EXPECT_EQ(a.get(3), nullptr);
    TarnelObject* popped = a.pop();
    EXPECT_EQ(static_cast<Counted*>(popped)->value, 3);
    EXPECT_EQ(static_cast<Counted*>(a.last())->value, 2);
    EXPECT_EQ(Counted::live, 4);
    delete second;
    delete popped;
    a.deleteAll();
    EXPECT_EQ(Counted::live, 0);
    EXPECT_EQ(a.count(), 0);
    EXPECT_EQ(a.pop(), nullptr);
    EXPECT_EQ(a.last(), nullptr);
}

TEST(ExtPtrArray, DestroyingOrClearingLeavesElementsAlive) {
    Counted* kept = new Counted(7);
    {
        ExtPtrArray a;
        a.add(kept);
        a.add(nullptr);
        a.clear();
        EXPECT_EQ(a.count(), 0);
        a.add(kept);
    }
    EXPECT_EQ(Counted::live, 1);
    ExtPtrArray owner;
    owner.add(kept);
    owner.add(nullptr);  // null slots are skipped by deleteAll
    owner.deleteAll();
    EXPECT_EQ(Counted::live, 0);
}
