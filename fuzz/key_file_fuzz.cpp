// Reads arbitrary bytes as the organisation's key files: an encrypted private key file (PEM or
// DER) under a fixed pass phrase, the PrivateKeyInfo and RSAPrivateKey that the decryption
// would give, and a public key file. Nothing may crash or leak; whatever reads as a private key
// must encode again and read back to the same numbers.
#include <qor/key_files.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

using namespace qor::toolkit;

const uint8_t kPassphrase[] = "fuzz pass phrase";
// Enough rounds for every key file other tools write, few enough to keep each input quick.
constexpr uint32_t kMaxIterations = 4096;

bool Same(const qor::SecureBuffer& a, const qor::SecureBuffer& b) {
    return a.size() == b.size() && (a.empty() || std::memcmp(a.data(), b.data(), a.size()) == 0);
}

void RoundTrip(const RsaPrivateKey& key) {
    qor::SecureBuffer der;
    RsaPrivateKey again;
    if (EncodePrivateKeyInfo(key, &der) != kStatusOk ||
        DecodePrivateKeyInfo(der.data(), der.size(), &again) != kStatusOk) {
        std::abort();
    }
    if (!Same(key.modulus, again.modulus) || !Same(key.privateExponent, again.privateExponent) ||
        !Same(key.prime1, again.prime1) || !Same(key.coefficient, again.coefficient)) {
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 16384) return 0;
    RsaPrivateKey key;
    if (ReadEncryptedKeyFile(data, size, kPassphrase, sizeof kPassphrase - 1, &key,
                             kMaxIterations) == kStatusOk) {
        RoundTrip(key);
    }
    if (DecodePrivateKeyInfo(data, size, &key) == kStatusOk) RoundTrip(key);
    if (DecodeRsaPrivateKey(data, size, &key) == kStatusOk) RoundTrip(key);

    qor::SecureBuffer canonical, again;
    uint32_t bits = 0, bitsAgain = 0;
    if (ReadPublicKeyFile(data, size, &canonical, &bits) == kStatusOk &&
        (CanonicalPublicKey(canonical.data(), canonical.size(), &again, &bitsAgain) != kStatusOk ||
         !Same(canonical, again) || bits != bitsAgain)) {
        std::abort();
    }
    return 0;
}
