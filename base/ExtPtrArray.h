// A growable array of object pointers. Destroying it frees only the slot array: the holder
// that owns the elements calls deleteAll first. Not synchronised.
#pragma once
#include <cstdint>

#include "base/TarnelObject.h"

class ExtPtrArray {
public:
    ExtPtrArray();
    // Capacity and growBy of 0 or less count as 5.
    ExtPtrArray(int capacity, int growBy);
    ExtPtrArray(const ExtPtrArray&) = delete;
    ExtPtrArray& operator=(const ExtPtrArray&) = delete;
    ~ExtPtrArray();

    // False when the array cannot grow; the count is then unchanged.
    bool add(TarnelObject* object);
    // Out-of-range indexes give null.
    TarnelObject* get(int index) const;
    TarnelObject* last() const;
    // Take the element out of the array without deleting it.
    TarnelObject* removeAt(int index);
    TarnelObject* pop();
    void clear();
    // Deletes every element (virtual destructor), then empties the array.
    void deleteAll();

    int count() const { return m_count; }
    int capacity() const { return m_capacity; }

private:
    bool grow();

    std::int32_t m_growBy;    // slots added at the next growth
    std::int32_t m_capacity;  // slots allocated
    std::int32_t m_count;     // slots in use
    TarnelObject** m_slots;   // null until first needed
};
