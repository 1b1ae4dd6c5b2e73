// The patchable stub slot. volatile keeps the compiler from folding the placeholder zeros into
// the code that reads them; "used" keeps the slot even though only this file refers to it.
#include "launcher/StubLength.h"

static_assert(sizeof(QUILLET_STUB_TAG) == 17, "the tag fills its 16 bytes without its NUL");

extern "C" {
__attribute__((used)) const volatile StubLengthSlot g_quilletStubLength = {
    {'Q', 'u', 'i', 'l', 'l', 'e', 't', 'S', 't', 'u', 'b', 'L', 'e', 'n', ':', '2'}, 0, 0, {}};
}

std::uint64_t stubLength() { return g_quilletStubLength.length; }

std::uint64_t stampedPayloadLength() { return g_quilletStubLength.payloadLength; }

void stampedPayloadSha256(std::uint8_t digest[32]) {
    for (int i = 0; i < 32; ++i) digest[i] = g_quilletStubLength.payloadSha256[i];
}
