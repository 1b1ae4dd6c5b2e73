// Adapter from the library's zip events to the application's TnZipProgress, for one Unzip.
// Does not own the application's object; a null one makes every event a no-op.
#pragma once
#include "archive/TnZipProgress.h"
#include "archive/ZipCallback.h"

class TnZipCb : public ZipCallback {
public:
    explicit TnZipCb(TnZipProgress* app) : m_app(app) {}
    ~TnZipCb() override = default;

    void zipAbortCheck(bool* abort) override;
    void writePercent(int percent, bool* abort) override;
    void unzipPercent(int percent, bool* abort) override;

    void toBeAdded(const char* name, int size, bool* exclude) override;
    void dirToBeAdded(const char* name, bool* exclude) override;
    void fileAdded(const char* name, int size, bool* abort) override;
    void toBeZipped(const char* name, int size, bool* abort) override;
    void fileZipped(const char* name, int size, int compressedSize, bool* abort) override;

    void toBeUnzipped(const char* name, int compressedSize, int uncompressedSize, bool isDirectory,
                      bool* skip) override;
    void fileUnzipped(const char* name, int compressedSize, int uncompressedSize, bool isDirectory,
                      bool* abort) override;

    void addFilesBegin() override;
    void addFilesEnd() override;
    void writeZipBegin() override;
    void writeZipEnd() override;
    void unzipBegin() override;
    void unzipEnd() override;
    void entryFailed(const char* name, int result, const char* message) override;

private:
    TnZipProgress* m_app;
};
