// ExtIntArray: the sizes it starts with.
#include <gtest/gtest.h>

#include "base/ExtIntArray.h"

TEST(ExtIntArray, DefaultsForNonPositiveSizes) {
    ExtIntArray a(0, 0);
    EXPECT_EQ(a.capacity(), 2);
    EXPECT_EQ(a.growBy(), 5);
    EXPECT_EQ(a.count(), 0);
    ExtIntArray b(10, 3);
    EXPECT_EQ(b.capacity(), 10);
    EXPECT_EQ(b.growBy(), 3);
}
