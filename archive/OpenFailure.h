// Why an archive did not open, told apart after the fact by looking at the file itself: missing
// or unreadable, no end record at all (not a ZIP archive), or an end record whose structure did
// not hold up (damaged). The structure reader's log keeps the details.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "tarnel/TnZipResult.h"

class ClsZip2;

// reason receives one line naming the path and, where the system refused, its reason.
TnZipResult classifyOpenFailure(const char* utf8Path, const ClsZip2& zip, std::string& reason);
// The same for an archive in memory.
TnZipResult classifyMemoryOpenFailure(const std::uint8_t* data, std::size_t size, const ClsZip2& zip,
                                      std::string& reason);
