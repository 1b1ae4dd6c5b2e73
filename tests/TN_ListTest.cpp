// TN_List: linking order, ownership of items (not values) and value comparison.
#include <gtest/gtest.h>

#include "base/TN_List.h"
#include "base/TN_ListItem.h"

namespace {

class CountedItem : public TN_ListItem {
public:
    explicit CountedItem(void* v) : TN_ListItem(v) { ++live; }
    ~CountedItem() override { --live; }
    static int live;
};
int CountedItem::live = 0;

}  // namespace

TEST(TN_List, AppendLinksBothWaysAndRemoveAllDeletesItemsOnly) {
    int values[3] = {10, 20, 30};
    {
        TN_List list;
        EXPECT_EQ(list.first(), nullptr);
        list.append(new CountedItem(&values[0]));
        ASSERT_TRUE(list.appendValue(&values[1]));
        list.append(new CountedItem(&values[2]));
        list.append(nullptr);
        EXPECT_EQ(list.count(), 3);
        int forward[3];
        int i = 0;
        for (TN_ListItem* item = list.first(); item != nullptr; item = item->next()) {
            forward[i++] = *static_cast<int*>(item->value());
        }
        EXPECT_EQ(i, 3);
        EXPECT_EQ(forward[0], 10);
        EXPECT_EQ(forward[2], 30);
        EXPECT_EQ(*static_cast<int*>(list.last()->previous()->value()), 20);
        EXPECT_EQ(list.first()->previous(), nullptr);
        EXPECT_EQ(list.last()->next(), nullptr);
        list.removeAll();
        EXPECT_EQ(list.count(), 0);
        EXPECT_EQ(list.last(), nullptr);
        EXPECT_EQ(CountedItem::live, 0);
        list.append(new CountedItem(&values[0]));
    }
    EXPECT_EQ(CountedItem::live, 0);  // destroying the list deletes what it still holds
    EXPECT_EQ(values[0], 10);
}

TEST(TN_List, SameValueComparesPointers) {
    int a = 1;
    int b = 1;
    TN_ListItem first(&a);
    TN_ListItem again(&a);
    TN_ListItem other(&b);
    EXPECT_TRUE(first.sameValue(again));
    EXPECT_FALSE(first.sameValue(other));
}
