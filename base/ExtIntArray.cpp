// ExtIntArray: construction and release of the slots.
#include "base/ExtIntArray.h"

#include <cstdlib>

ExtIntArray::ExtIntArray(int capacity, int growBy)
    : m_growBy(growBy > 0 ? growBy : 5),
      m_capacity(capacity > 0 ? capacity : 2),
      m_count(0),
      m_slots(static_cast<std::int32_t*>(std::malloc(static_cast<std::size_t>(m_capacity) * sizeof(std::int32_t)))) {
    if (m_slots == nullptr) m_capacity = 0;
}

ExtIntArray::~ExtIntArray() { std::free(m_slots); }
