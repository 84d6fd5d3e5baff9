// CBC mode with padding over the 8-byte block ciphers (RC2, DES).
//
// Encryption buffers input to whole blocks and its final always adds 1 to 8 bytes of value k.
// Decryption holds back the last whole block until the final, which checks and strips the
// padding. At most one partial block and one held block are kept.
#pragma once

#include <cstddef>
#include <cstdint>

#include "des.h"
#include "rc2.h"

namespace qor::toolkit {

struct CbcContext {
    union {
        Rc2KeySchedule rc2;
        DesKeySchedule des;
    } schedule;
    void (*transform)(const CbcContext& ctx, const uint8_t in[8], uint8_t out[8]);
    uint8_t chain[8];   // the IV, then the last ciphertext block
    uint8_t buffer[8];  // partial plaintext (encrypt) or held ciphertext (decrypt)
    uint32_t buffered;
    uint32_t decrypting;
};

// Method codes (status.h). Keys: RC2 1..128 bytes with 1..1024 effective bits; DES 8 bytes.
int CbcInitRc2(CbcContext& ctx, const uint8_t* key, size_t keyLength, uint32_t effectiveBits,
               const uint8_t iv[8], bool decrypt);
int CbcInitDes(CbcContext& ctx, const uint8_t key[8], const uint8_t iv[8], bool decrypt);

int CbcUpdate(CbcContext& ctx, uint8_t* out, uint32_t* outLength, size_t capacity,
              const uint8_t* in, size_t length);
int CbcFinal(CbcContext& ctx, uint8_t* out, uint32_t* outLength, size_t capacity);

}  // namespace qor::toolkit
