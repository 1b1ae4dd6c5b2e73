// One node of a TN_List: a value pointer that the node does not own, and its neighbours.
#pragma once

class TN_ListItem {
public:
    explicit TN_ListItem(void* value) : m_value(value) {}
    TN_ListItem(const TN_ListItem&) = delete;
    TN_ListItem& operator=(const TN_ListItem&) = delete;
    virtual ~TN_ListItem() = default;

    // True when the other item holds the same value pointer.
    virtual bool sameValue(const TN_ListItem& other) const { return other.m_value == m_value; }

    void* value() const { return m_value; }
    TN_ListItem* previous() const { return m_previous; }
    TN_ListItem* next() const { return m_next; }

private:
    friend class TN_List;  // the list alone links items

    void* m_value;
    TN_ListItem* m_previous = nullptr;
    TN_ListItem* m_next = nullptr;
};
