// One open MemoryData per archive path for the length of an extraction, so that all entries
// of one archive share one open file. Destroying the pool closes every file.
#pragma once
#include "base/ExtPtrArray.h"

class LogBase;
class MemoryData;

class MemoryDataPool {
public:
    MemoryDataPool() = default;
    MemoryDataPool(const MemoryDataPool&) = delete;
    MemoryDataPool& operator=(const MemoryDataPool&) = delete;
    ~MemoryDataPool();

    // The pooled object whose path equals this one byte for byte, else a newly opened one;
    // null when the file cannot be opened (nothing is pooled then).
    MemoryData* getOrOpen(const char* utf8Path, LogBase& log);
    int count() const { return m_items.count(); }

private:
    ExtPtrArray m_items;  // owns MemoryData objects
};
