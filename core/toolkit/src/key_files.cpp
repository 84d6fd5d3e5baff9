// Key files: the private key as an encrypted PKCS #8 PEM file, the public key as a PEM
// SubjectPublicKeyInfo, and the public key's canonical form.
#include <qor/key_files.h>

#include <bit>
#include <cstring>

#include "kinds.h"
#include "status.h"

namespace qor::toolkit {

namespace {

constexpr const char* kEncryptedLabel = "ENCRYPTED PRIVATE KEY";
constexpr const char* kPublicLabel = "PUBLIC KEY";

// Where the text starts after blanks; a PEM file may begin with an empty line.
const uint8_t* SkipBlanks(const uint8_t* p, const uint8_t* end) {
    while (p < end && (*p == ' ' || *p == '\t' || *p == '\r' || *p == '\n'))
        ++p;
    return p;
}

bool StartsWith(const uint8_t* p, const uint8_t* end, const char* text) {
    const size_t n = std::strlen(text);
    return static_cast<size_t>(end - p) >= n && std::memcmp(p, text, n) == 0;
}

bool IsPem(const uint8_t* p, const uint8_t* end) {
    return StartsWith(p, end, "-----BEGIN ");
}

bool IsPemOf(const uint8_t* p, const uint8_t* end, const char* label) {
    const size_t n = std::strlen(label);
    return IsPem(p, end) && StartsWith(p + 11, end, label) && StartsWith(p + 11 + n, end, "-----");
}

}  // namespace

int WriteEncryptedKeyFile(const RsaPrivateKey& key, const uint8_t* passphrase, size_t length,
                          const RandomSource& random, SecureBuffer* file) {
    file->Clear();
    SecureBuffer der;
    const int status =
        EncryptPrivateKeyInfo(key, passphrase, length, kPbeDefaultIterations, random, &der);
    if (status != kStatusOk) return status;
    return PemEncode(kEncryptedLabel, der.data(), der.size(), file);
}

int ReadEncryptedKeyFile(const uint8_t* file, size_t length, const uint8_t* passphrase,
                         size_t passphraseLength, RsaPrivateKey* key, uint32_t maxIterations) {
    *key = RsaPrivateKey();
    if (file == nullptr) return kStatusKeyFileMalformed;
    const uint8_t* end = file + length;
    const uint8_t* start = SkipBlanks(file, end);
    if (IsPemOf(start, end, kEncryptedLabel)) {
        SecureBuffer der;
        const int status =
            PemDecode(kEncryptedLabel, start, static_cast<size_t>(end - start), &der);
        if (status != kStatusOk) return status;
        return DecryptPrivateKeyInfo(der.data(), der.size(), passphrase, passphraseLength, key,
                                     maxIterations);
    }
    // "PRIVATE KEY" and "RSA PRIVATE KEY" are private keys too, without a pass phrase or under
    // another scheme.
    if (IsPemOf(start, end, "PRIVATE KEY") || IsPemOf(start, end, "RSA PRIVATE KEY")) {
        return kStatusKeyEncryptionUnsupported;
    }
    if (IsPem(start, end) || start != file || length == 0 || file[0] != 0x30) {
        return kStatusKeyFileMalformed;
    }
    return DecryptPrivateKeyInfo(file, length, passphrase, passphraseLength, key, maxIterations);
}

int WritePublicKeyFile(const RsaPrivateKey& key, SecureBuffer* file) {
    file->Clear();
    SecureBuffer ber;
    const int status = RsaPublicKeyBer(key, &ber);
    if (status != kStatusOk) return status;
    return PemEncode(kPublicLabel, ber.data(), ber.size(), file);
}

int CanonicalPublicKey(const uint8_t* ber, size_t length, SecureBuffer* canonical,
                       uint32_t* modulusBits) {
    canonical->Clear();
    *modulusBits = 0;
    if (ber == nullptr || length == 0 || length > UINT32_MAX) return kStatusKeyFileMalformed;
    KeyHolder* holder = nullptr;
    int status = CreateKeyHolder(&holder);
    const ByteSpan span = {ber, static_cast<uint32_t>(length)};
    if (status == kAlgOk) status = SetKey(holder, KeyKindRsaPublicBer(), &span);
    const void* encoded = nullptr;
    const void* components = nullptr;
    if (status == kAlgOk) status = GetKey(holder, KeyKindRsaPublicBer(), &encoded);
    if (status == kAlgOk) status = GetKey(holder, KeyKindRsaPublic(), &components);
    int result = kStatusOk;
    if (status == kAlgOutOfMemory) {
        result = kStatusOutOfMemory;
    } else if (status == kAlgUnknownAlgorithm) {
        result = kStatusKeyAlgorithmUnsupported;
    } else if (status != kAlgOk) {
        result = kStatusKeyFileMalformed;
    } else {
        const auto* key = static_cast<const RsaPublicKey*>(components);
        const ByteSpan& n = key->modulus;  // stored without leading zero bytes
        const uint64_t bits =
            8 * uint64_t{n.length - 1} + static_cast<uint32_t>(std::bit_width(n.data[0]));
        // An even modulus is no RSA modulus, and an exponent of 1 or an even one no RSA
        // exponent: an envelope could not wrap a key for either.
        const ByteSpan& e = key->exponent;
        const bool odd = (n.data[n.length - 1] & 1u) != 0 && (e.data[e.length - 1] & 1u) != 0;
        if (!odd || (e.length == 1 && e.data[0] == 1)) {
            result = kStatusKeyFileMalformed;
        } else if (bits > kRsaMaxModulusBits) {
            result = kStatusKeySizeRefused;
            *modulusBits = static_cast<uint32_t>(bits > UINT32_MAX ? UINT32_MAX : bits);
        } else {
            const auto* out = static_cast<const ByteSpan*>(encoded);
            canonical->Assign(out->data, out->length);
            *modulusBits = static_cast<uint32_t>(bits);
        }
    }
    DestroyKeyHolder(&holder);
    return result;
}

int ReadPublicKeyFile(const uint8_t* file, size_t length, SecureBuffer* canonical,
                      uint32_t* modulusBits) {
    canonical->Clear();
    *modulusBits = 0;
    if (file == nullptr) return kStatusKeyFileMalformed;
    const uint8_t* end = file + length;
    const uint8_t* start = SkipBlanks(file, end);
    if (!IsPem(start, end)) return CanonicalPublicKey(file, length, canonical, modulusBits);
    SecureBuffer der;
    const int status = PemDecode(kPublicLabel, start, static_cast<size_t>(end - start), &der);
    if (status != kStatusOk) return status;
    return CanonicalPublicKey(der.data(), der.size(), canonical, modulusBits);
}

}  // namespace qor::toolkit
