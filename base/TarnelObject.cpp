// Creation numbering for every TarnelObject.
#include "base/TarnelObject.h"

#include <atomic>

namespace {
std::atomic<std::uint64_t> g_nextSequence{0};
}

TarnelObject::TarnelObject() : m_sequence(g_nextSequence.fetch_add(1, std::memory_order_relaxed)) {}

// A copy is a new object and gets a number of its own.
TarnelObject::TarnelObject(const TarnelObject&) : TarnelObject() {}
