// Names of the result codes.
#include "tarnel/TnZipResult.h"

const char* TnZipResultName(TnZipResult result) {
    static const char* const kNames[] = {
        "ok",
        "not found",
        "cannot read",
        "not a ZIP archive",
        "damaged",
        "unsupported method",
        "unsupported encryption",
        "password needed",
        "wrong password",
        "CRC mismatch",
        "size mismatch",
        "cannot create",
        "disk full",
        "aborted",
        "out of memory",
        "unsafe entry",
        "no archive open",
        "bad argument",
    };
    const auto i = static_cast<unsigned>(result);
    return i < sizeof kNames / sizeof kNames[0] ? kNames[i] : "unknown result";
}
