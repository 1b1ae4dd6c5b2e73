// Why one entry failed, for the caller rather than the log: a result code, the system's error
// number when the system refused something, and a short reason. The first cause recorded for an
// entry wins, so a general failure reported later never hides the specific one.
#pragma once
#include <string>

#include "tarnel/TnZipResult.h"

struct EntryFailure {
    TnZipResult result = TnZipResult::kOk;
    int systemError = 0;  // 0: no system call was involved
    std::string reason;

    bool failed() const { return result != TnZipResult::kOk; }
    // Records the cause unless one is already recorded; always false, for `return fail(...)`.
    bool set(TnZipResult why, const char* text, int error = 0);
    // A failed write or creation: the system's error decides between a full disk and the rest.
    bool setSystem(const char* text, int error);
    void clear() { *this = EntryFailure(); }
    // One line for a person: "name: reason: system text".
    std::string message(const std::string& name) const;
};
