// RC4 with an appended, encrypted integrity value.
//
// The RC4 key is key || salt. The MAC is a byte-wise running value over key || salt and the
// plaintext; the final absorbs n zero bytes, and the n-byte value is encrypted with the
// continuing key stream. A decryptor cannot tell data from MAC until the stream ends, so it
// holds back the last n bytes it has seen and decrypts only what lies before them.
#pragma once

#include <cstddef>
#include <cstdint>

namespace qor::toolkit {

inline constexpr uint32_t kRc4MacMinMac = 2;
inline constexpr uint32_t kRc4MacMaxMac = 16;
inline constexpr size_t kRc4MaxKeyAndSalt = 256;

struct Rc4MacContext {
    uint32_t initialised;
    uint8_t i;
    uint8_t j;
    uint8_t permutation[256];
    uint32_t macLength;  // n, 2..16
    uint32_t macPosition;
    uint8_t mac[kRc4MacMaxMac];
    uint32_t held;  // bytes in `hold` (decryption)
    uint8_t hold[kRc4MacMaxMac];
    uint8_t scratch[kRc4MacMaxMac];
};

// The byte permutation that the MAC runs its buffer through (the table RFC 2268 uses to encode
// effective key bits).
extern const uint8_t kMacPermutation[256];

// Method codes (status.h). key || salt must be 1..256 bytes, the MAC length 2..16.
int Rc4MacInit(Rc4MacContext& ctx, const uint8_t* key, size_t keyLength, const uint8_t* salt,
               size_t saltLength, uint32_t macLength);

// Output length equals input length; `out` may equal `in`.
void Rc4MacEncryptUpdate(Rc4MacContext& ctx, uint8_t* out, const uint8_t* in, size_t length);
// Writes the macLength encrypted MAC bytes.
void Rc4MacEncryptFinal(Rc4MacContext& ctx, uint8_t* out);

// Writes held + length - macLength bytes (when positive) to `out`; capacity is checked.
int Rc4MacDecryptUpdate(Rc4MacContext& ctx, uint8_t* out, uint32_t* outLength, size_t capacity,
                        const uint8_t* in, size_t length);
// Checks the MAC; outputs nothing. Bad length (fewer than macLength bytes seen) or bad data.
int Rc4MacDecryptFinal(Rc4MacContext& ctx);

}  // namespace qor::toolkit
