// Tarnel Zip: where TnZip::ExtractEntry delivers an entry's content, in order, a block at a time.
//
// The bytes are handed over as they are decoded, before the entry's CRC-32 and declared size
// have been checked: a sink may receive all or part of the content of an entry that then fails.
// Only a true result of ExtractEntry says the content was whole and correct.
#pragma once
#include <cstddef>

#include "tarnel/TnZipExport.h"

class TARNEL_ZIP_API TnZipSink {
public:
    TnZipSink() = default;
    virtual ~TnZipSink() = default;

    // Takes `size` bytes (valid only during the call). Returning false stops the extraction:
    // ExtractEntry then fails with TnZipResult::kAborted.
    virtual bool Write(const void* data, std::size_t size) = 0;
};
