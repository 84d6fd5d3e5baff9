// RSA with a private key: key-pair generation, the private-key operation and the public half of
// a key in its BER form. The product itself only ever encrypts for a public key (an envelope's
// emergency-access recipient); these serve the organisation that holds the matching private key
// and must recover files with it.
//
// Keys: moduli of 256 to 2048 bits, a public exponent of one 32-bit word (odd, at least 3).
// Generated keys have two primes of half the size each with their two top bits set, so the
// modulus has exactly the bits asked for; primes pass a small-prime sieve and then rounds of
// Miller-Rabin with random bases.
//
// The private key lives in SecureBuffers (wiped on release) as unsigned big-endian integers
// without leading zero bytes, in the order of an RSAPrivateKey. The private-key operation uses
// the two primes (Chinese remainder theorem), blinds its input with a fresh random factor, and
// checks its result with the public exponent before anything of it is used.
//
// Random bytes come from the caller: a RandomSource wraps a seeded RandomObject or any other
// generator. The toolkit never reaches for one of its own.
//
// Results are 0 or a status: those of toolkit.h (1282 memory, 1291 cancelled, 1326 random
// failed) and the ones below.
#pragma once

#include <qor/secure_buffer.h>
#include <qor/toolkit.h>

#include <cstddef>
#include <cstdint>

namespace qor::toolkit {

// Status codes beside those of toolkit.h.
inline constexpr int kStatusKeySizeRefused = 1340;        // modulus size or exponent out of range
inline constexpr int kStatusBadPrivateKey = 1341;         // the components do not form one key
inline constexpr int kStatusPrivateDecryptFailed = 1342;  // wrong key, or no type 2 block
inline constexpr int kStatusKeyGenerationFailed = 1343;   // the new key failed its own check

inline constexpr uint32_t kRsaMinModulusBits = 256;
inline constexpr uint32_t kRsaMaxModulusBits = 2048;

// Writes `length` random bytes to `out`; 0 on success.
struct RandomSource {
    int (*generate)(void* context, unsigned char* out, unsigned int length);
    void* context;
};
// Draws from a RandomObject that has had its 256 seed bytes.
RandomSource RandomSourceOf(RandomObject* random);

struct RsaPrivateKey {
    SecureBuffer modulus;          // n = p * q
    SecureBuffer publicExponent;   // e
    SecureBuffer privateExponent;  // d, e * d = 1 mod lcm(p - 1, q - 1)
    SecureBuffer prime1;           // p
    SecureBuffer prime2;           // q
    SecureBuffer exponent1;        // d mod (p - 1)
    SecureBuffer exponent2;        // d mod (q - 1)
    SecureBuffer coefficient;      // q^-1 mod p
};

// Bits of the modulus; 0 when there is none, 0xffffffff for one far beyond any size accepted.
uint32_t RsaModulusBits(const RsaPrivateKey& key);

// A new key pair of `bits` bits with the public exponent `publicExponent` (65537 for keys of
// the organisation). The hook is asked before every candidate prime and may cancel (1291).
int RsaGenerateKey(uint32_t bits, uint32_t publicExponent, const RandomSource& random,
                   const ProgressHook* hook, RsaPrivateKey* key);

// 0 when the components belong together: n = p q, and d mod (p - 1), d mod (q - 1), q^-1 mod p
// and e agree with each other; otherwise kStatusBadPrivateKey (or kStatusKeySizeRefused for a
// modulus or exponent out of range). Primality is not tested.
int RsaCheckPrivateKey(const RsaPrivateKey& key);

// Decrypts one block of exactly k bytes (k: the modulus's length in bytes) and removes its
// PKCS #1 block type 2 padding, 00 02 PS 00 D with at least 8 nonzero PS bytes. Every reason a
// block can be refused ends in kStatusPrivateDecryptFailed, and the checks run over the whole
// block whatever they find, so neither the status nor the time taken tells which check failed.
int RsaPrivateDecrypt(const RsaPrivateKey& key, const uint8_t* block, size_t length,
                      const RandomSource& random, SecureBuffer* message);

// The public half as a SubjectPublicKeyInfo in DER: the form envelopes carry in their
// public-key recipients and the preference file holds for emergency access.
int RsaPublicKeyBer(const RsaPrivateKey& key, SecureBuffer* ber);

}  // namespace qor::toolkit
