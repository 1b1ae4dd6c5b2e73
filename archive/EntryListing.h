// The listing of one entry for the public API, built from the entry model: names, sizes, CRC,
// method, encryption, type, mode, attributes, time and comment.
#pragma once
#include "tarnel/TnZipEntry.h"

class ClsZipEntry2;

// False when the entry has no walk record (it was never read from an archive).
bool describeEntry(const ClsZipEntry2& entry, TnZipEntry& out);

// The path an entry name is created at below the extraction folder, '/' separated.
std::string createdName(const char* name);
