// Copying encryption settings.
#include "zip/ZipCryptParams.h"

void ZipCryptParams::copyFrom(const ZipCryptParams& other) {
    if (&other == this) return;
    encryption = other.encryption;
    keyLength = other.keyLength;
    passwordProtected = other.passwordProtected;
    reserved = other.reserved;
    password.setFrom(other.password);
}
