// In-place decryption of the pass-through decode stage.
#include "pipeline/ZipDecodeProcessor.h"

#include "crypto/PwdProtect.h"

void ZipDecodeProcessor::beforeForward(std::uint8_t* bytes, std::uint32_t n, bool) {
    if (m_decryptor) m_decryptor->decryptBytes(bytes, n);
}
