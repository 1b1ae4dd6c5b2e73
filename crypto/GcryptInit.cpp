// One-time libgcrypt start-up, guarded by a function-local static (initialised exactly once,
// with the other threads waiting, by the language's rules).
#include "crypto/GcryptInit.h"

#include <gcrypt.h>

namespace {
bool startLibrary() {
    // Another component of the process may have finished the start-up already; then only the
    // version check is ours to make.
    if (gcry_control(GCRYCTL_INITIALIZATION_FINISHED_P)) return gcry_check_version(GCRYPT_VERSION) != nullptr;
    if (gcry_check_version(GCRYPT_VERSION) == nullptr) return false;
    // Keys live in ordinary memory: the library holds them only for one entry's decode and
    // wipes them afterwards, and secure memory would need privileges a launcher lacks.
    gcry_control(GCRYCTL_DISABLE_SECMEM, 0);
    gcry_control(GCRYCTL_INITIALIZATION_FINISHED, 0);
    return true;
}
}  // namespace

bool GcryptInit::ready() {
    static const bool ok = startLibrary();
    return ok;
}
