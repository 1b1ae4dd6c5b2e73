// The stub length: the size of this launcher's executable before a publication is appended.
// The build writes it into a slot of the finished file (tools/StubStamp); the launcher only
// reads its own constant and never searches the file for a marker.
#pragma once
#include <cstdint>

// The slot as it lies in the executable: a fixed tag, then the length, little-endian.
struct StubLengthSlot {
    char tag[16];
    std::uint64_t length;
};

// The 16 tag bytes, NUL included; they occur exactly once in the executable.
#define QUILLET_STUB_TAG "QuilletStubLen:1"

std::uint64_t stubLength();
