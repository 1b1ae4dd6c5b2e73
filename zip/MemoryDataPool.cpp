// The pool of open archive files.
#include "zip/MemoryDataPool.h"

#include <new>

#include "zip/MemoryData.h"

MemoryDataPool::~MemoryDataPool() { m_items.deleteAll(); }

MemoryData* MemoryDataPool::getOrOpen(const char* utf8Path, LogBase& log) {
    if (utf8Path == nullptr) return nullptr;
    for (int i = 0; i < m_items.count(); ++i) {
        auto* data = static_cast<MemoryData*>(m_items.get(i));
        if (data->path().equals(utf8Path)) return data;
    }
    auto* data = new (std::nothrow) MemoryData();
    if (!data->openFile(utf8Path, log) || !m_items.add(data)) {
        delete data;
        return nullptr;
    }
    return data;
}
