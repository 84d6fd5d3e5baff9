// What the private-key operation, key generation and the key's encodings share: the key's
// numbers moved between SecureBuffers and big numbers, and the raw private-key operation.
#pragma once

#include <qor/rsa_private.h>

#include <cstdint>

#include "bignum.h"

namespace qor::toolkit {

// The buffer's unsigned big-endian value (empty reads as 0).
int LoadNumber(BigNum& n, const SecureBuffer& bytes);
// The value in its shortest big-endian form (one zero byte for 0).
int StoreNumber(const BigNum& n, SecureBuffer& bytes);

// The modulus's length in bytes.
uint32_t RsaBlockLength(const RsaPrivateKey& key);

// out = in^d mod n for `in` and `out` of RsaBlockLength bytes, with the primes, blinding and
// the check by the public exponent. kStatusPrivateDecryptFailed when in >= n; the key must have
// passed RsaCheckPrivateKey.
int RsaPrivateRaw(const RsaPrivateKey& key, const uint8_t* in, uint8_t* out,
                  const RandomSource& random);

// A method code as a service status: memory, cancel and a failing random source keep their
// meaning; anything else becomes `otherwise`.
int ServiceStatus(int methodStatus, int otherwise);

}  // namespace qor::toolkit
