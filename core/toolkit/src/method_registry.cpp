// The registries. Initialising an instance takes the first entry that fits, so the order is
// part of the behaviour: it decides which implementation serves a kind and direction.
// Tables are built on first use, after every kind descriptor exists.
#include "kinds.h"

namespace qor::toolkit {

namespace {
constexpr MethodEntry kEnd = {nullptr, Direction::kEncrypt, nullptr, nullptr};
}  // namespace

const MethodRegistry& GeneralRegistry() {
    // RSA with a public key leads, encrypt then decrypt. RSA with a private key and key-pair
    // generation stand outside the registry (qor/rsa_private.h), since no service operation
    // reaches them; as entries they would go right after the public-key ones and between
    // RC2-CBC decrypt and RC4 with MAC encrypt.
    static const MethodEntry entries[] = {
        {AlgKindRsaPkcs1(), Direction::kEncrypt, KeyKindRsaPublic(), &kRsaPublicEncryptMethod},
        {AlgKindRsaPkcs1(), Direction::kDecrypt, KeyKindRsaPublic(), &kRsaPublicDecryptMethod},
        {AlgKindDesCbc(), Direction::kEncrypt, KeyKindDes8(), &kDesCbcEncryptMethod},
        {AlgKindRc2Cbc(), Direction::kEncrypt, KeyKindByteString(), &kRc2CbcEncryptMethod},
        {AlgKindDesCbc(), Direction::kDecrypt, KeyKindDes8(), &kDesCbcDecryptMethod},
        {AlgKindRc2Cbc(), Direction::kDecrypt, KeyKindByteString(), &kRc2CbcDecryptMethod},
        {AlgKindRc4Mac(), Direction::kEncrypt, KeyKindByteString(), &kRc4MacEncryptMethod},
        {AlgKindMd2(), Direction::kDigest, nullptr, &kMd2Method},
        {AlgKindMd5(), Direction::kDigest, nullptr, &kMd5Method},
        {AlgKindMd5Generator(), Direction::kRandom, nullptr, &kMd5GeneratorMethod},
        {AlgKindRc4Mac(), Direction::kDecrypt, KeyKindByteString(), &kRc4MacDecryptMethod},
        kEnd,
    };
    static const MethodRegistry registry = {entries};
    return registry;
}

const MethodRegistry& RandomRegistry() {
    static const MethodEntry entries[] = {
        {AlgKindMd5Generator(), Direction::kRandom, nullptr, &kMd5GeneratorMethod},
        kEnd,
    };
    static const MethodRegistry registry = {entries};
    return registry;
}

const MethodRegistry& DigestRegistry() {
    static const MethodEntry entries[] = {
        {AlgKindMd2(), Direction::kDigest, nullptr, &kMd2Method},
        {AlgKindMd5(), Direction::kDigest, nullptr, &kMd5Method},
        kEnd,
    };
    static const MethodRegistry registry = {entries};
    return registry;
}

}  // namespace qor::toolkit
