// The reference-counted registry behind a TnZip: owns the archive object and every entry object
// made for it. Depends only on base/ so that the archive object (in zip/) can register entries.
#pragma once
#include <cstdint>

#include "base/ExtPtrArray.h"
#include "base/TarnelCritSec.h"

class ClsZip2;
class TarnelObject;

class ZipSystem : public TarnelCritSec {
public:
    ZipSystem() = default;
    ~ZipSystem() override;

    void addReference();
    // True exactly when this release took the count from 1 to 0: the caller deletes the registry.
    bool release();
    // Deletes a different archive object that was stored before.
    void setArchive(ClsZip2* archive);
    ClsZip2* getArchive() const { return m_archive; }
    int registerEntry(TarnelObject* entry);
    void clearEntries();
    int entryCount();
    std::int32_t referenceCount() const { return m_refCount; }

private:
    std::int32_t m_refCount = 0;
    ClsZip2* m_archive = nullptr;
    ExtPtrArray m_entries;  // owning
};
