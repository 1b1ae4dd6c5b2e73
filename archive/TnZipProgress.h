// Tarnel Zip: the progress interface an application implements to follow an extraction and to
// stop it. Every operation has an empty default; override only what you need.
// Events arrive synchronously on the thread that called TnZip::Unzip. Sizes are -1 when larger
// than a signed 32-bit value. Setting *abort (or *skip) to true asks the library to stop (or to
// pass over the entry); leaving it untouched continues.
#pragma once
#include "tarnel/TnZipExport.h"
#include "tarnel/TnZipResult.h"

class TARNEL_ZIP_API TnZipProgress {
public:
    TnZipProgress() = default;
    virtual ~TnZipProgress() = default;

    virtual void WritePercent(int /*percent*/, bool* /*abort*/) {}
    // Strictly increasing whole percentages of one Unzip, from 1 up to 100.
    virtual void UnzipPercent(int /*percent*/, bool* /*abort*/) {}
    // Raised between percent events (at most every 300 ms of work) and before the entries.
    virtual void AbortCheck(bool* /*abort*/) {}

    // Archive writing events; never raised by extraction.
    virtual void ToBeAdded(const char* /*name*/, int /*size*/, bool* /*exclude*/) {}
    virtual void DirToBeAdded(const char* /*name*/, bool* /*exclude*/) {}
    virtual void FileAdded(const char* /*name*/, int /*size*/, bool* /*abort*/) {}
    virtual void ToBeZipped(const char* /*name*/, int /*size*/, bool* /*abort*/) {}
    virtual void FileZipped(const char* /*name*/, int /*size*/, int /*compressedSize*/, bool* /*abort*/) {}

    // Once per entry before any extraction; *skip passes the entry over.
    virtual void ToBeUnzipped(const char* /*name*/, int /*compressedSize*/, int /*uncompressedSize*/, bool* /*skip*/) {}
    // After each entry that was extracted or deliberately passed over.
    virtual void FileUnzipped(const char* /*name*/, int /*compressedSize*/, int /*uncompressedSize*/, bool* /*abort*/) {
    }

    // Archive writing events without arguments.
    virtual void AddFilesBegin() {}
    virtual void AddFilesEnd() {}
    virtual void WriteZipBegin() {}
    virtual void WriteZipEnd() {}

    // Bracket one Unzip; UnzipEnd comes also after a failure or an abort.
    virtual void UnzipBegin() {}
    virtual void UnzipEnd() {}

    // An entry failed, after the entry's other events: why, and one line for a person that
    // names the entry and, where the system refused something, the system's reason.
    virtual void EntryFailed(const char* /*name*/, TnZipResult /*result*/, const char* /*message*/) {}
};
