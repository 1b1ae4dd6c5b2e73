// The zip-specific events of an extraction (and of archive writing, which this library never
// raises). Sizes are signed 32-bit, -1 when the true size does not fit.
// Included by extract/ (the unzip controller raises its events): this header includes nothing
// above base/.
#pragma once
#include "archive/ProgressEvent.h"

class ZipCallback : public ProgressEvent {
public:
    ZipCallback() = default;
    ~ZipCallback() override = default;

    // Routed by the percent mode: write percentages while writing, unzip percentages otherwise.
    void percentDone(int percent, bool* abort) override;
    void abortCheck(bool* abort) override { zipAbortCheck(abort); }

    virtual void zipAbortCheck(bool* /*abort*/) {}
    virtual void writePercent(int /*percent*/, bool* /*abort*/) {}
    virtual void unzipPercent(int /*percent*/, bool* /*abort*/) {}

    // Archive writing events.
    virtual void toBeAdded(const char* /*name*/, int /*size*/, bool* /*exclude*/) {}
    virtual void dirToBeAdded(const char* /*name*/, bool* /*exclude*/) {}
    virtual void fileAdded(const char* /*name*/, int /*size*/, bool* /*abort*/) {}
    virtual void toBeZipped(const char* /*name*/, int /*size*/, bool* /*abort*/) {}
    virtual void fileZipped(const char* /*name*/, int /*size*/, int /*compressedSize*/, bool* /*abort*/) {}

    virtual void toBeUnzipped(const char* /*name*/, int /*compressedSize*/, int /*uncompressedSize*/,
                              bool /*isDirectory*/, bool* /*skip*/) {}
    virtual void fileUnzipped(const char* /*name*/, int /*compressedSize*/, int /*uncompressedSize*/,
                              bool /*isDirectory*/, bool* /*abort*/) {}

    // Archive writing events without arguments.
    virtual void addFilesBegin() {}
    virtual void addFilesEnd() {}
    virtual void writeZipBegin() {}
    virtual void writeZipEnd() {}

    virtual void unzipBegin() {}
    virtual void unzipEnd() {}

    // An entry failed: result is a TnZipResult value, message one line naming the entry.
    virtual void entryFailed(const char* /*name*/, int /*result*/, const char* /*message*/) {}

    // False (the start state) routes percent events to unzipPercent.
    void setWritePercentMode(bool writing) { m_writePercentMode = writing; }
    bool writePercentMode() const { return m_writePercentMode; }

private:
    bool m_writePercentMode = false;
};
