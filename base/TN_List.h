// A doubly linked list that owns its items but not the values they point to. Not synchronised.
#pragma once
#include <cstdint>

class TN_ListItem;

class TN_List {
public:
    TN_List() = default;
    TN_List(const TN_List&) = delete;
    TN_List& operator=(const TN_List&) = delete;
    ~TN_List();

    // Links an item (which must not be in a list) after the last one; the list owns it.
    void append(TN_ListItem* item);
    // Wraps a value in a new item and appends it; false when no item can be made.
    bool appendValue(void* value);
    // Deletes every item, not the values.
    void removeAll();

    std::int32_t count() const { return m_count; }
    TN_ListItem* first() const { return m_first; }
    TN_ListItem* last() const { return m_last; }

private:
    std::int32_t m_count = 0;
    TN_ListItem* m_last = nullptr;
    TN_ListItem* m_first = nullptr;
};
