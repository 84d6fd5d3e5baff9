// The toolkit's algorithm and key kinds, their parameter blocks, and the registries.
// Kinds are compared by address; these accessors return the descriptors.
#pragma once

#include <cstdint>

#include <qor/toolkit.h>

#include "algorithm_tier.h"

namespace qor::toolkit {

// Parameter blocks, as callers hand them to SetAlgParams. Set handlers copy what the pointers
// reach into the instance.
struct Rc4MacParams {
    const uint8_t* salt;  // may be null when saltLength is 0
    uint32_t saltLength;
    uint32_t macLength;  // 2..16
};

struct Rc2CbcParams {
    uint32_t effectiveBits;  // 1..1024
    const uint8_t* iv;       // 8 bytes
};

struct DesCbcParams {
    const uint8_t* iv;  // 8 bytes
};

struct PbeXorParams {
    const uint8_t* salt;  // 8 bytes
    uint32_t iterations;
};

struct PbeRc2Params {
    uint32_t effectiveBits;
    const uint8_t* salt;  // 8 bytes
    uint32_t iterations;
};

// Digests and the generator (no parameters: set them with a null block).
extern const AlgKind kMd5Kind;  // named by the password-based kinds as their digest
const AlgKind* AlgKindMd5();
const AlgKind* AlgKindMd2();
const AlgKind* AlgKindMd5Generator();

// RC4 with MAC; its BER form is a ByteSpan holding the algorithm identifier.
const AlgKind* AlgKindRc4Mac();
const AlgKind* AlgKindRc4MacBer();

const AlgKind* AlgKindRc2Cbc();
const AlgKind* AlgKindDesCbc();

// Password-based encryption with MD5 and XOR (key wrapping); BER form as above.
const AlgKind* AlgKindPbeMd5Xor();
const AlgKind* AlgKindPbeMd5XorBer();

// Password-based encryption with MD5 and RC2-CBC (password blocks).
const AlgKind* AlgKindPbeMd5Rc2();

// RSA with a public key inside PKCS #1 v1.5 padding (no parameters: set it with a null block);
// its BER form is a ByteSpan holding SEQUENCE { OID 1.2.840.113549.1.1.1, NULL }.
const AlgKind* AlgKindRsaPkcs1();
const AlgKind* AlgKindRsaPkcs1Ber();

// A byte string (block: ByteSpan).
const KeyKind* KeyKindByteString();
// An 8-byte DES key (block: 8 bytes); derivable from an 8-byte byte string.
const KeyKind* KeyKindDes8();

// An RSA public key: unsigned big-endian integers, stored without leading zero bytes.
struct RsaPublicKey {
    ByteSpan modulus;
    ByteSpan exponent;
};
const KeyKind* KeyKindRsaPublic();
// The same key BER-encoded (block: ByteSpan); written in one canonical form whatever form it
// was read in.
const KeyKind* KeyKindRsaPublicBer();

// The general registry, in its fixed order; the random service's (the generator alone); the
// digest service's (MD2 and MD5).
const MethodRegistry& GeneralRegistry();
const MethodRegistry& RandomRegistry();
const MethodRegistry& DigestRegistry();

// Implementations, for the registries.
extern const MethodTable kMd5Method;
extern const MethodTable kMd2Method;
extern const MethodTable kMd5GeneratorMethod;
extern const MethodTable kRc4MacEncryptMethod;
extern const MethodTable kRc4MacDecryptMethod;
extern const MethodTable kRc2CbcEncryptMethod;
extern const MethodTable kRc2CbcDecryptMethod;
extern const MethodTable kDesCbcEncryptMethod;
extern const MethodTable kDesCbcDecryptMethod;
extern const MethodTable kRsaPublicEncryptMethod;
extern const MethodTable kRsaPublicDecryptMethod;

// The generator instance behind a random object, or null for any other handle.
AlgInstance* RandomInstanceOf(::RandomObject* handle);

// Set handler shared by the kinds without parameters.
int SetNoParams(AlgInstance& instance, const AlgKind& kind, const void* block);

}  // namespace qor::toolkit
