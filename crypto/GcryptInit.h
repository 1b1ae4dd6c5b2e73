// Brings libgcrypt up once per process before any of its ciphers, digests or key derivations is
// used. Every user of libgcrypt in the library calls ready() first; it is cheap after the first
// call and safe to call from several threads at once.
#pragma once

class GcryptInit {
public:
    // False when the installed libgcrypt is older than the one we were built against.
    static bool ready();
};
