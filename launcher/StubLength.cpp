// The patchable stub-length slot. volatile keeps the compiler from folding the placeholder 0
// into the code that reads it; "used" keeps the slot even though only this file refers to it.
#include "launcher/StubLength.h"

static_assert(sizeof(QUILLET_STUB_TAG) == 17, "the tag fills its 16 bytes without its NUL");

extern "C" {
__attribute__((used)) const volatile StubLengthSlot g_quilletStubLength = {
    {'Q', 'u', 'i', 'l', 'l', 'e', 't', 'S', 't', 'u', 'b', 'L', 'e', 'n', ':', '1'}, 0};
}

std::uint64_t stubLength() { return g_quilletStubLength.length; }
