// The stub's stamp: the size of this launcher's executable before a publication is appended,
// and the length and SHA-256 of the publication that quillet-pack appended. The build writes
// the stub length into a slot of the finished file (tools/StubStamp), the packer the payload's
// fields into its copy of the stub; the launcher only reads its own constants and never
// searches the file for a marker.
#pragma once
#include <cstdint>

// The slot as it lies in the executable: a fixed tag, then the lengths, little-endian, then the
// digest. A bare stub carries a payload length of 0.
struct StubLengthSlot {
    char tag[16];
    std::uint64_t length;
    std::uint64_t payloadLength;
    std::uint8_t payloadSha256[32];
};
static_assert(sizeof(StubLengthSlot) == 64, "the slot's layout is read by offset in tools/StubStamp");

// The 16 tag bytes, NUL included; they occur exactly once in the executable. The number names
// the slot's layout: a packer that knows another layout refuses the stub.
#define QUILLET_STUB_TAG "QuilletStubLen:2"

std::uint64_t stubLength();
std::uint64_t stampedPayloadLength();
// Copies the stamped digest into digest.
void stampedPayloadSha256(std::uint8_t digest[32]);
