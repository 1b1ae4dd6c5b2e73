// The one-line failure of an entry.
#include "extract/EntryFailure.h"

#include <cerrno>

#include "base/PlatformFiles.h"

namespace {
#ifdef _WIN32
constexpr int kDiskFullErrors[] = {39, 112};  // ERROR_HANDLE_DISK_FULL, ERROR_DISK_FULL
#else
constexpr int kDiskFullErrors[] = {ENOSPC, EDQUOT};
#endif
}  // namespace

bool EntryFailure::set(TnZipResult why, const char* text, int error) {
    if (failed()) return false;
    result = why;
    reason = text ? text : "";
    systemError = error;
    return false;
}

bool EntryFailure::setSystem(const char* text, int error) {
    for (int full : kDiskFullErrors)
        if (error == full) return set(TnZipResult::kDiskFull, text, error);
    return set(TnZipResult::kCannotCreate, text, error);
}

std::string EntryFailure::message(const std::string& name) const {
    std::string line = name.empty() ? reason : name + ": " + reason;
    if (systemError != 0) line += ": " + platformErrorText(systemError);
    return line;
}
