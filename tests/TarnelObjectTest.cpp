// Creation numbers are unique and increase, copies included.
#include <gtest/gtest.h>

#include "base/TarnelObject.h"

TEST(TarnelObject, CreationNumbersIncrease) {
    TarnelObject a;
    TarnelObject b;
    TarnelObject c(a);
    EXPECT_LT(a.creationSequence(), b.creationSequence());
    EXPECT_LT(b.creationSequence(), c.creationSequence());
}
