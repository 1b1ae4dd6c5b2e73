// Tarnel Zip: why the latest call on a TnZip failed, as TnZip::LastResult gives it and as the
// per-entry failure event of TnZipProgress reports it. New values are only ever added at the end.
#pragma once
#include "tarnel/TnZipExport.h"

enum class TnZipResult : int {
    kOk = 0,
    kNotFound,               // the archive file, a folder on its path or a named entry does not exist
    kCannotRead,             // the archive exists but cannot be opened or read (permissions, I/O)
    kNotZip,                 // no ZIP end record: not a ZIP archive
    kDamaged,                // the archive's structure or an entry's compressed data is damaged
    kUnsupportedMethod,      // a compression method this build does not decode
    kUnsupportedEncryption,  // an encryption scheme the library does not read
    kPasswordNeeded,         // an encrypted entry and no password set
    kWrongPassword,          // the password does not fit the entry
    kCrcMismatch,            // the content fails its check: CRC-32, or the WinZip AES authentication
    kSizeMismatch,           // the content is longer than the archive declares
    kCannotCreate,           // a file, folder or link could not be created or completed
    kDiskFull,               // no space left on the device
    kAborted,                // the progress interface or the sink asked to stop
    kOutOfMemory,            // memory for the decoder or the output could not be had
    kUnsafeEntry,            // refused for safety: a link leaving the folder, a link where a folder belongs
    kNotOpen,                // no archive is open
    kBadArgument,            // a null argument or an entry index out of range
};

// A short fixed English name for the result ("ok", "not found", ...); never null.
TARNEL_ZIP_API const char* TnZipResultName(TnZipResult result);
