// The private key in DER: RSAPrivateKey (PKCS #1) and the PrivateKeyInfo around it (PKCS #8).
#include <qor/key_files.h>

#include "ber.h"
#include "der_build.h"

namespace qor::toolkit {

namespace {

constexpr uint8_t kOidRsaEncryption[] = {0x2a, 0x86, 0x48, 0x86, 0xf7, 0x0d, 0x01, 0x01, 0x01};
// SEQUENCE { OID rsaEncryption, NULL }
constexpr uint8_t kRsaAlgorithm[] = {0x30, 0x0d, 0x06, 0x09, 0x2a, 0x86, 0x48, 0x86,
                                     0xf7, 0x0d, 0x01, 0x01, 0x01, 0x05, 0x00};

SecureBuffer* Parts(RsaPrivateKey& key, int k) {
    SecureBuffer* parts[] = {&key.modulus,   &key.publicExponent, &key.privateExponent,
                             &key.prime1,    &key.prime2,         &key.exponent1,
                             &key.exponent2, &key.coefficient};
    return parts[k];
}

const SecureBuffer* Parts(const RsaPrivateKey& key, int k) {
    return Parts(const_cast<RsaPrivateKey&>(key), k);
}

constexpr int kPartCount = 8;

// A version INTEGER of one small value.
bool ReadVersion(const uint8_t*& p, const uint8_t* end, uint32_t& version) {
    BerElement e;
    return BerReadExpect(p, end, kBerInteger, e) && BerUnsigned(e, version);
}

}  // namespace

int EncodeRsaPrivateKey(const RsaPrivateKey& key, SecureBuffer* der) {
    SecureBuffer body = DerSmallUnsigned(0);
    for (int k = 0; k < kPartCount; ++k) {
        const SecureBuffer integer = DerUnsigned(*Parts(key, k));
        body = DerConcat({&body, &integer});
    }
    *der = DerElement(kBerSequence, body);
    return kStatusOk;
}

int DecodeRsaPrivateKey(const uint8_t* der, size_t length, RsaPrivateKey* key) {
    *key = RsaPrivateKey();
    const uint8_t* p = der;
    const uint8_t* end = der + length;
    BerElement sequence;
    if (der == nullptr || !BerReadExpect(p, end, kBerSequence, sequence) || p != end) {
        return kStatusKeyFileMalformed;
    }
    p = sequence.content;
    end = sequence.content + sequence.length;
    uint32_t version = 1;
    // Version 1 keys have more than two primes; nothing here makes or reads those.
    if (!ReadVersion(p, end, version) || version != 0) return kStatusKeyFileMalformed;
    RsaPrivateKey read;
    for (int k = 0; k < kPartCount; ++k) {
        if (!DerReadUnsigned(p, end, *Parts(read, k))) return kStatusKeyFileMalformed;
    }
    if (p != end) return kStatusKeyFileMalformed;
    *key = std::move(read);
    return kStatusOk;
}

int EncodePrivateKeyInfo(const RsaPrivateKey& key, SecureBuffer* der) {
    SecureBuffer inner;
    EncodeRsaPrivateKey(key, &inner);
    const SecureBuffer version = DerSmallUnsigned(0);
    const SecureBuffer algorithm(kRsaAlgorithm, sizeof kRsaAlgorithm);
    const SecureBuffer wrapped = DerElement(kBerOctetString, inner);
    const SecureBuffer body = DerConcat({&version, &algorithm, &wrapped});
    *der = DerElement(kBerSequence, body);
    return kStatusOk;
}

int DecodePrivateKeyInfo(const uint8_t* der, size_t length, RsaPrivateKey* key) {
    *key = RsaPrivateKey();
    const uint8_t* p = der;
    const uint8_t* end = der + length;
    BerElement sequence, algorithm, oid, params, privateKey;
    if (der == nullptr || !BerReadExpect(p, end, kBerSequence, sequence) || p != end) {
        return kStatusKeyFileMalformed;
    }
    p = sequence.content;
    end = sequence.content + sequence.length;
    uint32_t version = 2;
    // 0, or 1 for the later form that may add the public key after the attributes.
    if (!ReadVersion(p, end, version) || version > 1) return kStatusKeyFileMalformed;
    if (!BerReadExpect(p, end, kBerSequence, algorithm) ||
        !BerReadExpect(p, end, kBerOctetString, privateKey)) {
        return kStatusKeyFileMalformed;
    }
    // Attributes [0] and a public key [1] may follow; they carry nothing we use.
    while (p != end) {
        BerElement extra;
        if (!BerRead(p, end, extra) || (extra.tag & 0xc0) != 0x80) return kStatusKeyFileMalformed;
    }
    const uint8_t* q = algorithm.content;
    const uint8_t* qEnd = algorithm.content + algorithm.length;
    if (!BerReadExpect(q, qEnd, kBerObjectId, oid)) return kStatusKeyFileMalformed;
    if (!BerIsOid(oid, kOidRsaEncryption, sizeof kOidRsaEncryption)) {
        return kStatusKeyAlgorithmUnsupported;
    }
    if (q != qEnd && (!BerReadExpect(q, qEnd, kBerNull, params) || params.length != 0)) {
        return kStatusKeyFileMalformed;
    }
    if (q != qEnd) return kStatusKeyFileMalformed;
    return DecodeRsaPrivateKey(privateKey.content, privateKey.length, key);
}

}  // namespace qor::toolkit
