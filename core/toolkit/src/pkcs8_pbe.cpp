// The private key under a pass phrase: PKCS #8 EncryptedPrivateKeyInfo with
// pbeWithMD5AndDES-CBC. PBES1 derives 16 bytes as MD5 applied `iterations` times to
// pass phrase || salt; the first 8 are the DES key, the last 8 the IV; DES-CBC with PKCS #5
// padding encrypts the DER of a PrivateKeyInfo.
#include <qor/key_files.h>

#include "ber.h"
#include "block_cbc.h"
#include "der_build.h"
#include "md5.h"
#include "prime_search.h"
#include "status.h"

namespace qor::toolkit {

namespace {

constexpr uint8_t kOidPbeMd5Des[] = {0x2a, 0x86, 0x48, 0x86, 0xf7, 0x0d, 0x01, 0x05, 0x03};

struct DerivedKey {
    uint8_t bytes[kMd5DigestSize];
};

void Derive(const uint8_t* passphrase, size_t length, const uint8_t* salt, uint32_t iterations,
            DerivedKey& out) {
    Md5Context h;
    ScopedWipe wipe(h);
    Md5Init(h);
    Md5Update(h, passphrase, length);
    Md5Update(h, salt, kPbeSaltLength);
    Md5Final(h, out.bytes);
    for (uint32_t n = 1; n < iterations; ++n)
        Md5(out.bytes, kMd5DigestSize, out.bytes);
}

// DES-CBC over the whole input; `out` gets the result. Decryption checks and removes the
// padding: false when it is not there.
bool RunDes(const DerivedKey& key, bool decrypt, const uint8_t* in, size_t length,
            SecureBuffer& out) {
    CbcContext ctx;
    ScopedWipe wipe(ctx);
    CbcInitDes(ctx, key.bytes, key.bytes + 8, decrypt);
    SecureBuffer result(length + 8);
    uint32_t first = 0, second = 0;
    if (CbcUpdate(ctx, result.data(), &first, result.size(), in, length) != kMethodOk ||
        CbcFinal(ctx, result.data() + first, &second, result.size() - first) != kMethodOk) {
        return false;
    }
    out.Assign(result.data(), first + second);
    return true;
}

}  // namespace

int EncryptPrivateKeyInfo(const RsaPrivateKey& key, const uint8_t* passphrase, size_t length,
                          uint32_t iterations, const RandomSource& random, SecureBuffer* der) {
    der->Clear();
    if (iterations == 0 || iterations > kPbeMaxIterations) return kStatusKeyEncryptionUnsupported;
    uint8_t salt[kPbeSaltLength];
    if (DrawRandom(random, salt, sizeof salt) != kMethodOk) return kStatusBadRandom;
    SecureBuffer plain;
    EncodePrivateKeyInfo(key, &plain);
    DerivedKey derived;
    ScopedWipe wipe(derived);
    Derive(passphrase, length, salt, iterations, derived);
    SecureBuffer encrypted;
    if (!RunDes(derived, false, plain.data(), plain.size(), encrypted))
        return kStatusGeneralFailure;

    const SecureBuffer oid = DerElement(kBerObjectId, kOidPbeMd5Des, sizeof kOidPbeMd5Des);
    const SecureBuffer saltElement = DerElement(kBerOctetString, salt, sizeof salt);
    const SecureBuffer count = DerSmallUnsigned(iterations);
    const SecureBuffer paramsBody = DerConcat({&saltElement, &count});
    const SecureBuffer params = DerElement(kBerSequence, paramsBody);
    const SecureBuffer algorithmBody = DerConcat({&oid, &params});
    const SecureBuffer algorithm = DerElement(kBerSequence, algorithmBody);
    const SecureBuffer data = DerElement(kBerOctetString, encrypted);
    const SecureBuffer body = DerConcat({&algorithm, &data});
    *der = DerElement(kBerSequence, body);
    return kStatusOk;
}

int DecryptPrivateKeyInfo(const uint8_t* der, size_t length, const uint8_t* passphrase,
                          size_t passphraseLength, RsaPrivateKey* key, uint32_t maxIterations) {
    *key = RsaPrivateKey();
    const uint8_t* p = der;
    const uint8_t* end = der + length;
    BerElement sequence, algorithm, oid, params, salt, count, data;
    if (der == nullptr || !BerReadExpect(p, end, kBerSequence, sequence) || p != end) {
        return kStatusKeyFileMalformed;
    }
    p = sequence.content;
    end = sequence.content + sequence.length;
    if (!BerReadExpect(p, end, kBerSequence, algorithm) ||
        !BerReadExpect(p, end, kBerOctetString, data) || p != end) {
        return kStatusKeyFileMalformed;
    }
    p = algorithm.content;
    end = algorithm.content + algorithm.length;
    if (!BerReadExpect(p, end, kBerObjectId, oid)) return kStatusKeyFileMalformed;
    // PBES2 and the other PBES1 pairs are keys too, only not ones this reads.
    if (!BerIsOid(oid, kOidPbeMd5Des, sizeof kOidPbeMd5Des)) return kStatusKeyEncryptionUnsupported;
    if (!BerReadExpect(p, end, kBerSequence, params) || p != end) return kStatusKeyFileMalformed;
    p = params.content;
    end = params.content + params.length;
    uint32_t iterations = 0;
    if (!BerReadExpect(p, end, kBerOctetString, salt) || salt.length != kPbeSaltLength ||
        !BerReadExpect(p, end, kBerInteger, count) || !BerUnsigned(count, iterations) || p != end) {
        return kStatusKeyFileMalformed;
    }
    if (iterations == 0 || iterations > maxIterations) return kStatusKeyFileMalformed;
    if (data.length == 0 || data.length % 8 != 0) return kStatusKeyFileMalformed;

    DerivedKey derived;
    ScopedWipe wipe(derived);
    Derive(passphrase, passphraseLength, salt.content, iterations, derived);
    SecureBuffer plain;
    if (!RunDes(derived, true, data.content, data.length, plain)) return kStatusWrongPassphrase;
    RsaPrivateKey read;
    int status = DecodePrivateKeyInfo(plain.data(), plain.size(), &read);
    // One byte in 256 of wrong keys ends in valid padding; the DER inside then gives it away.
    if (status == kStatusKeyFileMalformed) return kStatusWrongPassphrase;
    if (status != kStatusOk) return status;
    if ((status = RsaCheckPrivateKey(read)) != kStatusOk) return status;
    *key = std::move(read);
    return kStatusOk;
}

}  // namespace qor::toolkit
