// The stream decoder for a ZIP compression method. Stored (0), deflated (8) and deflate64 (9)
// data have their own transfers in the entry decode pipeline and get none here.
#pragma once
#include <cstdint>
#include <memory>

#include "codecs/DecoderMemoryLimit.h"
#include "pipeline/StreamDecoder.h"

// flags: the entry's general-purpose bits (imploding reads bits 1 and 2); uncompressedSize: the
// declared size (it ends an LZMA stream without an end marker), all ones when unknown;
// memoryLimit: the most a window, dictionary or model the stream asks for may take. Null for a
// method without a decoder.
std::unique_ptr<StreamDecoder> makeMethodDecoder(int method, std::uint16_t flags,
                                                 std::uint64_t uncompressedSize = ~std::uint64_t(0),
                                                 std::uint64_t memoryLimit = DecoderMemoryLimit::kDefault);
// Whether makeMethodDecoder has a decoder for the method.
bool hasMethodDecoder(int method);
