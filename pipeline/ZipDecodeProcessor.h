// A pass-through stage that undoes traditional zip encryption in place, just before each byte
// goes to the sink, so a byte is decrypted exactly once however the sink's space splits it.
#pragma once
#include "pipeline/DataProcessor.h"

class PwdProtect;

class ZipDecodeProcessor : public DataProcessor {
public:
    ZipDecodeProcessor() = default;
    ~ZipDecodeProcessor() override = default;

    const char* name() const override { return "PassThruProcessor"; }
    void begin() override { resetPassThrough(); }
    int step() override { return passThroughStep(); }

    // Keyed and header-checked; not owned. Null passes the bytes unchanged.
    void setDecryptor(PwdProtect* decryptor) { m_decryptor = decryptor; }

protected:
    void beforeForward(std::uint8_t* bytes, std::uint32_t n, bool fromRing) override;

private:
    PwdProtect* m_decryptor = nullptr;
};
