// RSA with a private key: the key's check, the private-key operation through the two primes
// with a blinded input, and the removal of block type 2 padding.
#include <qor/rsa_private.h>

#include <bit>

#include "bignum_arith.h"
#include "kinds.h"
#include "prime_search.h"
#include "rsa_private_ops.h"
#include "status.h"

namespace qor::toolkit {

namespace {

// Block type 2: 00 02, at least 8 nonzero padding bytes, 00, the message.
constexpr uint32_t kMinPaddingEnd = 2 + 8;

int DrawFromObject(void* context, unsigned char* out, unsigned int length) {
    return RandomGenerate(out, static_cast<RandomObject*>(context), length);
}

// All ones when x is 0, else 0, for x below 2^31; no branch on x.
uint32_t ZeroMask(uint32_t x) {
    return 0u - ((x - 1u) >> 31 & ~(x >> 31) & 1u);
}
uint32_t EqualMask(uint32_t a, uint32_t b) {
    return ZeroMask(a ^ b);
}
// All ones when a >= b, for a and b below 2^31.
uint32_t AtLeastMask(uint32_t a, uint32_t b) {
    return ((a - b) >> 31) - 1u;
}

// The key's numbers, loaded once for an operation and wiped when it ends.
struct Numbers {
    enum { kN, kE, kD, kP, kQ, kDp, kDq, kQinv, kCount };
    BigNum v[kCount] = {};
    BigNumScope scope{v, kCount};

    int Load(const RsaPrivateKey& key) {
        const SecureBuffer* from[kCount] = {
            &key.modulus, &key.publicExponent, &key.privateExponent, &key.prime1,
            &key.prime2,  &key.exponent1,      &key.exponent2,       &key.coefficient};
        for (int k = 0; k < kCount; ++k) {
            const int status = LoadNumber(v[k], *from[k]);
            if (status != kMethodOk) return status;
        }
        return kMethodOk;
    }
    const BigNum& operator[](int k) const { return v[k]; }
};

// x = m2 + q (qinv (m1 - m2) mod p): the value modulo n from its residues modulo p and q.
int Combine(BigNum& x, const BigNum& m1, const BigNum& m2, const Numbers& key) {
    BigNum t[2] = {};
    BigNumScope scope(t, 2);
    BigNum& m2p = t[0];
    BigNum& h = t[1];
    int status = BigNumMod(m2p, m2, key[Numbers::kP]);
    // (m1 - m2) mod p, with p added first where m1 is the smaller.
    if (status == kMethodOk) {
        if (BigNumCompare(m1, m2p) >= 0) {
            status = BigNumSub(h, m1, m2p);
        } else {
            status = BigNumAdd(h, m1, key[Numbers::kP]);
            if (status == kMethodOk) status = BigNumSub(h, h, m2p);
        }
    }
    if (status == kMethodOk) status = BigNumModMul(h, h, key[Numbers::kQinv], key[Numbers::kP]);
    if (status == kMethodOk) status = BigNumMul(h, h, key[Numbers::kQ]);
    if (status == kMethodOk) status = BigNumAdd(x, h, m2);
    return status;
}

// x^d mod n through the primes.
int PrivateCrt(BigNum& out, const BigNum& x, const Numbers& key) {
    BigNum t[2] = {};
    BigNumScope scope(t, 2);
    int status = BigNumModExp(t[0], x, key[Numbers::kDp], key[Numbers::kP], nullptr);
    if (status == kMethodOk)
        status = BigNumModExp(t[1], x, key[Numbers::kDq], key[Numbers::kQ], nullptr);
    if (status == kMethodOk) status = Combine(out, t[0], t[1], key);
    return status;
}

// A random r in [2, n - 1] prime to n, and its inverse modulo n: r^(p-2) mod p and
// r^(q-2) mod q, put together as above.
int BlindingPair(BigNum& r, BigNum& inverse, const Numbers& key, const RandomSource& random) {
    BigNum t[4] = {};
    BigNumScope scope(t, 4);
    BigNum& pMinus2 = t[0];
    BigNum& qMinus2 = t[1];
    BigNum& a = t[2];
    BigNum& b = t[3];
    int status = BigNumSubWord(pMinus2, key[Numbers::kP], 2);
    if (status == kMethodOk) status = BigNumSubWord(qMinus2, key[Numbers::kQ], 2);
    const uint32_t drawLength = (BigNumBitLength(key[Numbers::kN]) + 7) / 8 + 8;
    SecureBuffer bytes(drawLength);
    while (status == kMethodOk) {
        status = DrawRandom(random, bytes.data(), drawLength);
        if (status == kMethodOk) status = BigNumFromBytes(r, bytes.data(), drawLength);
        if (status == kMethodOk) status = BigNumMod(r, r, key[Numbers::kN]);
        if (status != kMethodOk || BigNumBitLength(r) < 2) continue;
        if ((status = BigNumMod(a, r, key[Numbers::kP])) != kMethodOk) break;
        if ((status = BigNumMod(b, r, key[Numbers::kQ])) != kMethodOk) break;
        if (BigNumIsZero(a) || BigNumIsZero(b)) continue;  // shares a factor with n
        break;
    }
    if (status == kMethodOk) status = BigNumModExp(a, a, pMinus2, key[Numbers::kP], nullptr);
    if (status == kMethodOk) status = BigNumModExp(b, b, qMinus2, key[Numbers::kQ], nullptr);
    if (status == kMethodOk) status = Combine(inverse, a, b, key);
    return status;
}

int CheckNumbers(const Numbers& key) {
    const BigNum& n = key[Numbers::kN];
    const BigNum& e = key[Numbers::kE];
    const BigNum& p = key[Numbers::kP];
    const BigNum& q = key[Numbers::kQ];
    const uint32_t bits = BigNumBitLength(n);
    if (bits < kRsaMinModulusBits || bits > kRsaMaxModulusBits) return kStatusKeySizeRefused;
    if (BigNumBitLength(e) > 32 || BigNumBitLength(e) < 2 || BigNumBit(e, 0) == 0) {
        return kStatusKeySizeRefused;
    }
    if (BigNumBitLength(p) < 2 || BigNumBitLength(q) < 2 || BigNumBit(p, 0) == 0 ||
        BigNumBit(q, 0) == 0) {
        return kStatusBadPrivateKey;
    }
    BigNum t[4] = {};
    BigNumScope scope(t, 4);
    BigNum& x = t[0];
    BigNum& pMinus1 = t[1];
    BigNum& qMinus1 = t[2];
    BigNum& y = t[3];
    bool consistent = false;
    int status = BigNumMul(x, p, q);
    if (status == kMethodOk && BigNumCompare(x, n) == 0 &&
        BigNumCompare(key[Numbers::kQinv], p) < 0) {
        status = BigNumSubWord(pMinus1, p, 1);
        if (status == kMethodOk) status = BigNumSubWord(qMinus1, q, 1);
        // d mod (p - 1) and d mod (q - 1) as stored.
        if (status == kMethodOk) status = BigNumMod(x, key[Numbers::kD], pMinus1);
        if (status == kMethodOk) status = BigNumMod(y, key[Numbers::kD], qMinus1);
        consistent = status == kMethodOk && BigNumCompare(x, key[Numbers::kDp]) == 0 &&
                     BigNumCompare(y, key[Numbers::kDq]) == 0;
        // e d = 1 modulo p - 1 and q - 1; q qinv = 1 modulo p.
        if (consistent) status = BigNumModMul(x, e, key[Numbers::kDp], pMinus1);
        if (consistent && status == kMethodOk)
            status = BigNumModMul(y, e, key[Numbers::kDq], qMinus1);
        consistent =
            consistent && status == kMethodOk && BigNumBitLength(x) == 1 && BigNumBitLength(y) == 1;
        if (consistent) status = BigNumModMul(x, q, key[Numbers::kQinv], p);
        consistent = consistent && status == kMethodOk && BigNumBitLength(x) == 1;
    }
    if (status != kMethodOk) return ServiceStatus(status, kStatusBadPrivateKey);
    return consistent ? kStatusOk : kStatusBadPrivateKey;
}

}  // namespace

RandomSource RandomSourceOf(RandomObject* random) {
    return {DrawFromObject, random};
}

int LoadNumber(BigNum& n, const SecureBuffer& bytes) {
    return BigNumFromBytes(n, bytes.data(), bytes.size());
}

int StoreNumber(const BigNum& n, SecureBuffer& bytes) {
    const uint32_t bits = BigNumBitLength(n);
    bytes.Resize(bits == 0 ? 1 : (bits + 7) / 8);
    return BigNumToBytes(n, bytes.data(), bytes.size());
}

int ServiceStatus(int methodStatus, int otherwise) {
    switch (methodStatus) {
        case kMethodOk:
            return kStatusOk;
        case kMethodOutOfMemory:
            return kStatusOutOfMemory;
        case kMethodCancelled:
            return kStatusCancelled;
        case kMethodDataError:
            return kStatusBadRandom;
        default:
            return otherwise;
    }
}

uint32_t RsaModulusBits(const RsaPrivateKey& key) {
    // Straight from the bytes: no allocation, so no way to fail.
    size_t at = 0;
    while (at < key.modulus.size() && key.modulus[at] == 0)
        ++at;
    if (at == key.modulus.size()) return 0;
    const size_t rest = key.modulus.size() - at;
    if (rest > kRsaMaxModulusBits) return 0xffffffffu;
    return static_cast<uint32_t>(8 * (rest - 1)) +
           static_cast<uint32_t>(std::bit_width(static_cast<unsigned>(key.modulus[at])));
}

uint32_t RsaBlockLength(const RsaPrivateKey& key) {
    return (RsaModulusBits(key) + 7) / 8;
}

int RsaCheckPrivateKey(const RsaPrivateKey& key) {
    Numbers numbers;
    const int status = numbers.Load(key);
    if (status != kMethodOk) return ServiceStatus(status, kStatusBadPrivateKey);
    return CheckNumbers(numbers);
}

int RsaPrivateRaw(const RsaPrivateKey& key, const uint8_t* in, uint8_t* out,
                  const RandomSource& random) {
    Numbers numbers;
    int status = numbers.Load(key);
    if (status != kMethodOk) return ServiceStatus(status, kStatusBadPrivateKey);
    const BigNum& n = numbers[Numbers::kN];
    const uint32_t k = (BigNumBitLength(n) + 7) / 8;

    BigNum t[5] = {};
    BigNumScope scope(t, 5);
    BigNum& c = t[0];
    BigNum& r = t[1];
    BigNum& rInverse = t[2];
    BigNum& x = t[3];
    BigNum& check = t[4];
    status = BigNumFromBytes(c, in, k);
    if (status == kMethodOk && BigNumCompare(c, n) >= 0) return kStatusPrivateDecryptFailed;
    // (c r^e)^d = c^d r, so the primes only ever see a value that says nothing of c.
    if (status == kMethodOk) status = BlindingPair(r, rInverse, numbers, random);
    if (status == kMethodOk) status = BigNumModExp(x, r, numbers[Numbers::kE], n, nullptr);
    if (status == kMethodOk) status = BigNumModMul(x, x, c, n);
    if (status == kMethodOk) status = PrivateCrt(x, x, numbers);
    if (status == kMethodOk) status = BigNumModMul(x, x, rInverse, n);
    // A result that does not encrypt back to the input comes from a key whose primes are no
    // primes, or from a fault; nothing of it may be used.
    if (status == kMethodOk) status = BigNumModExp(check, x, numbers[Numbers::kE], n, nullptr);
    if (status != kMethodOk) return ServiceStatus(status, kStatusBadPrivateKey);
    if (BigNumCompare(check, c) != 0) return kStatusBadPrivateKey;
    status = BigNumToBytes(x, out, k);
    return status == kMethodOk ? kStatusOk : kStatusBadPrivateKey;
}

int RsaPrivateDecrypt(const RsaPrivateKey& key, const uint8_t* block, size_t length,
                      const RandomSource& random, SecureBuffer* message) {
    message->Clear();
    int status = RsaCheckPrivateKey(key);
    if (status != kStatusOk) return status;
    const uint32_t k = RsaBlockLength(key);
    if (block == nullptr || length != k) return kStatusPrivateDecryptFailed;
    SecureBuffer em(k);
    status = RsaPrivateRaw(key, block, em.data(), random);
    if (status != kStatusOk) return status;

    // Every byte is looked at and no check ends the scan early.
    uint32_t good = EqualMask(em[0], 0) & EqualMask(em[1], 2);
    uint32_t looking = ~0u;
    uint32_t separator = 0;
    for (uint32_t i = 2; i < k; ++i) {
        const uint32_t zero = ZeroMask(em[i]);
        separator |= looking & zero & i;
        looking &= ~zero;
    }
    good &= ~looking;
    good &= AtLeastMask(separator, kMinPaddingEnd);
    if (good == 0) return kStatusPrivateDecryptFailed;
    message->Assign(em.data() + separator + 1, k - separator - 1);
    return kStatusOk;
}

int RsaPublicKeyBer(const RsaPrivateKey& key, SecureBuffer* ber) {
    ber->Clear();
    KeyHolder* holder = nullptr;
    int status = CreateKeyHolder(&holder);
    const RsaPublicKey components = {
        {key.modulus.data(), static_cast<uint32_t>(key.modulus.size())},
        {key.publicExponent.data(), static_cast<uint32_t>(key.publicExponent.size())}};
    if (status == kAlgOk) status = SetKey(holder, KeyKindRsaPublic(), &components);
    const void* block = nullptr;
    if (status == kAlgOk) status = GetKey(holder, KeyKindRsaPublicBer(), &block);
    if (status == kAlgOk) {
        const auto* span = static_cast<const ByteSpan*>(block);
        ber->Assign(span->data, span->length);
    }
    DestroyKeyHolder(&holder);
    if (status == kAlgOutOfMemory) return kStatusOutOfMemory;
    return status == kAlgOk ? kStatusOk : kStatusBadPrivateKey;
}

}  // namespace qor::toolkit
