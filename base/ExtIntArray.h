// A growable array of 32-bit integers for the XML document model; slots are not cleared.
#pragma once
#include <cstdint>

class ExtIntArray {
public:
    // A capacity of 0 or less means 2; a growBy of 0 or less means 5.
    ExtIntArray(int capacity, int growBy);
    ExtIntArray(const ExtIntArray&) = delete;
    ExtIntArray& operator=(const ExtIntArray&) = delete;
    ~ExtIntArray();

    int count() const { return m_count; }
    int capacity() const { return m_capacity; }
    int growBy() const { return m_growBy; }

private:
    std::int32_t m_growBy;
    std::int32_t m_capacity;
    std::int32_t m_count;
    std::int32_t* m_slots;
};
