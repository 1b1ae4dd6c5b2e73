// Registry of the archive object and its entries.
#include "archive/ZipSystem.h"

#include "zip/ClsZip2.h"

ZipSystem::~ZipSystem() {
    TarnelLockGuard lock(*this);
    ClsZip2* archive = m_archive;
    m_archive = nullptr;
    delete archive;  // its destructor calls back into clearEntries
    m_entries.deleteAll();
    m_refCount = 0;
}

void ZipSystem::addReference() {
    TarnelLockGuard lock(*this);
    ++m_refCount;
}

bool ZipSystem::release() {
    TarnelLockGuard lock(*this);
    if (m_refCount <= 0) {
        m_refCount = 0;
        return false;
    }
    return --m_refCount == 0;
}

void ZipSystem::setArchive(ClsZip2* archive) {
    if (archive == m_archive) return;
    delete m_archive;
    m_archive = archive;
}

int ZipSystem::registerEntry(TarnelObject* entry) {
    TarnelLockGuard lock(*this);
    m_entries.add(entry);
    return m_entries.count() - 1;
}

void ZipSystem::clearEntries() {
    TarnelLockGuard lock(*this);
    m_entries.deleteAll();
}

int ZipSystem::entryCount() {
    TarnelLockGuard lock(*this);
    return m_entries.count();
}
