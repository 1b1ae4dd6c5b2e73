// Text that nobody can foretell, for names other users must not guess: hex digits of bytes
// from the system's random source.
#pragma once
#include <cstddef>
#include <string>

// 2 * bytes lowercase hex digits; false, out empty, when the random source fails.
bool randomHex(std::size_t bytes, std::string& out);
