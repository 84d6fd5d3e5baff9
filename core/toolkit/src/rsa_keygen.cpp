// RSA key-pair generation: two probable primes of half the modulus size each, the private
// exponent modulo lcm(p - 1, q - 1), the values for the Chinese remainder theorem, and a check
// of the finished key by one private-key operation before it is handed out.
#include <qor/rsa_private.h>

#include "bignum_arith.h"
#include "prime_search.h"
#include "rsa_private_ops.h"
#include "status.h"

namespace qor::toolkit {

namespace {

// A new pair of primes is drawn when one of the conditions below fails; with random primes
// that is rare, and this many failures in a row means the random source is broken.
constexpr int kMaxAttempts = 32;

// x^-1 mod m for x prime to m (m < 2^32); 0 when there is none.
uint64_t InverseModWord(uint64_t x, uint64_t m) {
    int64_t r0 = static_cast<int64_t>(m), r1 = static_cast<int64_t>(x % m);
    int64_t t0 = 0, t1 = 1;
    while (r1 != 0) {
        const int64_t q = r0 / r1;
        const int64_t r2 = r0 - q * r1;
        r0 = r1;
        r1 = r2;
        const int64_t t2 = t0 - q * t1;
        t0 = t1;
        t1 = t2;
    }
    if (r0 != 1) return 0;
    return static_cast<uint64_t>(t0 < 0 ? t0 + static_cast<int64_t>(m) : t0);
}

struct Candidate {
    enum { kP, kQ, kN, kD, kDp, kDq, kQinv, kP1, kQ1, kLambda, kT, kCount };
    BigNum v[kCount] = {};
    BigNumScope scope{v, kCount};
    BigNum& operator[](int k) { return v[k]; }
};

// Fills everything after p and q. `usable` is false when the pair must be drawn again.
int Derive(Candidate& c, uint32_t bits, uint32_t e, bool* usable) {
    *usable = false;
    BigNum& p = c[Candidate::kP];
    BigNum& q = c[Candidate::kQ];
    BigNum& t = c[Candidate::kT];
    // p and q far apart: the top 100 bits of their halves differ, so n cannot be factored
    // from its square root (for small test keys, half of each prime's bits).
    const uint32_t half = BigNumBitLength(p);
    const uint32_t minimumDistance = half > 200 ? half - 100 : half / 2;
    if (BigNumCompare(p, q) < 0) {
        const BigNum swap = p;
        p = q;
        q = swap;
    }
    int status = BigNumSub(t, p, q);
    if (status != kMethodOk || BigNumBitLength(t) <= minimumDistance) return status;
    if ((status = BigNumMul(c[Candidate::kN], p, q)) != kMethodOk) return status;
    if (BigNumBitLength(c[Candidate::kN]) != bits) return kMethodOk;

    // lambda = (p - 1)(q - 1) / gcd(p - 1, q - 1)
    BigNum& p1 = c[Candidate::kP1];
    BigNum& q1 = c[Candidate::kQ1];
    BigNum& lambda = c[Candidate::kLambda];
    status = BigNumSubWord(p1, p, 1);
    if (status == kMethodOk) status = BigNumSubWord(q1, q, 1);
    if (status == kMethodOk) status = BigNumGcd(t, p1, q1);
    if (status == kMethodOk) status = BigNumMul(lambda, p1, q1);
    if (status == kMethodOk) status = BigNumDivMod(&lambda, nullptr, lambda, t);
    if (status != kMethodOk) return status;

    // d = (k lambda + 1) / e with k lambda = -1 mod e: exact, and below lambda.
    const uint64_t inverse = InverseModWord(BigNumModWord(lambda, e), e);
    if (inverse == 0) return kMethodOk;
    const auto k = static_cast<uint32_t>((e - inverse) % e);
    BigNum& d = c[Candidate::kD];
    uint32_t remainder = 1;
    status = BigNumMulWord(d, lambda, k);
    if (status == kMethodOk) status = BigNumAddWord(d, d, 1);
    if (status == kMethodOk) status = BigNumDivWord(d, d, e, &remainder);
    if (status != kMethodOk) return status;
    // A small private exponent would be open to attacks on it; with random primes it never is.
    if (remainder != 0 || BigNumBitLength(d) <= bits / 2) return kMethodOk;

    status = BigNumMod(c[Candidate::kDp], d, p1);
    if (status == kMethodOk) status = BigNumMod(c[Candidate::kDq], d, q1);
    // q^-1 = q^(p - 2) mod p, p being prime.
    if (status == kMethodOk) status = BigNumSubWord(t, p, 2);
    if (status == kMethodOk) status = BigNumModExp(c[Candidate::kQinv], q, t, p, nullptr);
    *usable = status == kMethodOk;
    return status;
}

int Store(Candidate& c, uint32_t e, RsaPrivateKey* key) {
    BigNum eNumber = {};
    BigNumScope scope(&eNumber, 1);
    int status = BigNumSetWord(eNumber, e);
    const BigNum* from[] = {
        &c[Candidate::kN], &eNumber,           &c[Candidate::kD],  &c[Candidate::kP],
        &c[Candidate::kQ], &c[Candidate::kDp], &c[Candidate::kDq], &c[Candidate::kQinv]};
    SecureBuffer* to[] = {&key->modulus,   &key->publicExponent, &key->privateExponent,
                          &key->prime1,    &key->prime2,         &key->exponent1,
                          &key->exponent2, &key->coefficient};
    for (size_t k = 0; k < 8 && status == kMethodOk; ++k)
        status = StoreNumber(*from[k], *to[k]);
    return status;
}

// One private-key operation on a random value must give back what the public exponent took
// it to.
int SelfTest(const RsaPrivateKey& key, const RandomSource& random) {
    int status = RsaCheckPrivateKey(key);
    if (status != kStatusOk) return kStatusKeyGenerationFailed;
    const uint32_t k = RsaBlockLength(key);
    SecureBuffer m(k), c(k), back(k);
    BigNum t[4] = {};
    BigNumScope scope(t, 4);
    int method = DrawRandom(random, m.data() + 1, k - 1);  // below n: the top byte stays 0
    if (method == kMethodOk) method = BigNumFromBytes(t[0], m.data(), k);
    if (method == kMethodOk) method = LoadNumber(t[1], key.publicExponent);
    if (method == kMethodOk) method = LoadNumber(t[2], key.modulus);
    if (method == kMethodOk) method = BigNumModExp(t[3], t[0], t[1], t[2], nullptr);
    if (method == kMethodOk) method = BigNumToBytes(t[3], c.data(), k);
    if (method != kMethodOk) return ServiceStatus(method, kStatusKeyGenerationFailed);
    status = RsaPrivateRaw(key, c.data(), back.data(), random);
    if (status != kStatusOk)
        return status == kStatusBadPrivateKey ? kStatusKeyGenerationFailed : status;
    for (uint32_t i = 0; i < k; ++i) {
        if (back[i] != m[i]) return kStatusKeyGenerationFailed;
    }
    return kStatusOk;
}

}  // namespace

int RsaGenerateKey(uint32_t bits, uint32_t publicExponent, const RandomSource& random,
                   const ProgressHook* hook, RsaPrivateKey* key) {
    *key = RsaPrivateKey();
    if (bits < kRsaMinModulusBits || bits > kRsaMaxModulusBits || publicExponent < 3 ||
        publicExponent % 2 == 0) {
        return kStatusKeySizeRefused;
    }
    const CancelHook cancel =
        hook == nullptr ? CancelHook{nullptr, nullptr} : CancelHook{hook->callback, hook->argument};
    const uint32_t pBits = (bits + 1) / 2;
    const uint32_t qBits = bits - pBits;
    for (int attempt = 0; attempt < kMaxAttempts; ++attempt) {
        Candidate c;
        int status = GeneratePrime(c[Candidate::kP], pBits, publicExponent, random, &cancel);
        if (status == kMethodOk)
            status = GeneratePrime(c[Candidate::kQ], qBits, publicExponent, random, &cancel);
        bool usable = false;
        if (status == kMethodOk) status = Derive(c, bits, publicExponent, &usable);
        if (status != kMethodOk) return ServiceStatus(status, kStatusKeyGenerationFailed);
        if (!usable) continue;
        if ((status = Store(c, publicExponent, key)) != kMethodOk) {
            *key = RsaPrivateKey();
            return ServiceStatus(status, kStatusKeyGenerationFailed);
        }
        const int checked = SelfTest(*key, random);
        if (checked != kStatusOk) *key = RsaPrivateKey();
        return checked;
    }
    return kStatusKeyGenerationFailed;
}

}  // namespace qor::toolkit
