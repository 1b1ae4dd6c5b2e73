// ExtPtrArray: slot growth and element removal.
#include "base/ExtPtrArray.h"

#include <cstdlib>
#include <cstring>

namespace {

constexpr std::int32_t kDefaultSlots = 5;
constexpr std::int32_t kMaxGrowBy = 100000;

TarnelObject** newSlots(std::int64_t n) {
    if (n > 0x7FFFFFFF) return nullptr;
    return static_cast<TarnelObject**>(std::calloc(static_cast<std::size_t>(n), sizeof(TarnelObject*)));
}

}  // namespace

ExtPtrArray::ExtPtrArray() : m_growBy(kDefaultSlots), m_capacity(0), m_count(0), m_slots(nullptr) {}

ExtPtrArray::ExtPtrArray(int capacity, int growBy)
    : m_growBy(growBy > 0 ? growBy : kDefaultSlots), m_capacity(0), m_count(0), m_slots(nullptr) {
    std::int32_t wanted = capacity > 0 ? capacity : kDefaultSlots;
    m_slots = newSlots(wanted);
    if (m_slots != nullptr) m_capacity = wanted;
}

ExtPtrArray::~ExtPtrArray() { std::free(m_slots); }

// The array roughly doubles until growBy reaches kMaxGrowBy, then grows by that much.
bool ExtPtrArray::grow() {
    std::int64_t newCapacity = static_cast<std::int64_t>(m_capacity) + m_growBy;
    if (newCapacity <= m_count + 1) newCapacity = static_cast<std::int64_t>(m_count) + 2;
    TarnelObject** slots = newSlots(newCapacity);
    if (slots == nullptr) return false;
    if (m_count > 0) std::memcpy(slots, m_slots, static_cast<std::size_t>(m_count) * sizeof(TarnelObject*));
    std::free(m_slots);
    m_slots = slots;
    m_capacity = static_cast<std::int32_t>(newCapacity);
    if (m_growBy < kMaxGrowBy) m_growBy = m_capacity < kMaxGrowBy ? m_capacity : kMaxGrowBy;
    return true;
}

bool ExtPtrArray::add(TarnelObject* object) {
    if (m_slots == nullptr) {
        m_slots = newSlots(kDefaultSlots);
        if (m_slots == nullptr) return false;
        m_capacity = kDefaultSlots;
    }
    if (m_count + 1 > m_capacity && !grow()) return false;
    m_slots[m_count++] = object;
    return true;
}

TarnelObject* ExtPtrArray::get(int index) const { return index >= 0 && index < m_count ? m_slots[index] : nullptr; }

TarnelObject* ExtPtrArray::last() const { return get(m_count - 1); }

TarnelObject* ExtPtrArray::removeAt(int index) {
    if (index < 0 || index >= m_count) return nullptr;
    TarnelObject* object = m_slots[index];
    std::memmove(m_slots + index, m_slots + index + 1,
                 static_cast<std::size_t>(m_count - index - 1) * sizeof(TarnelObject*));
    m_slots[--m_count] = nullptr;
    return object;
}

TarnelObject* ExtPtrArray::pop() { return removeAt(m_count - 1); }

void ExtPtrArray::clear() { m_count = 0; }

void ExtPtrArray::deleteAll() {
    for (std::int32_t i = 0; i < m_count; ++i) {
        delete m_slots[i];
        m_slots[i] = nullptr;
    }
    m_count = 0;
}
