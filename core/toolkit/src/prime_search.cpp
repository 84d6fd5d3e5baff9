#include "prime_search.h"

#include <qor/secure_buffer.h>

#include <array>

#include "bignum_arith.h"
#include "status.h"

namespace qor::toolkit {

namespace {

// The odd primes below 2048 (308 of them): a candidate divisible by one of them is dropped
// before any exponentiation. Most random odd numbers go this way.
constexpr uint32_t kSieveLimit = 2048;
constexpr size_t kSmallPrimeCount = 308;

constexpr std::array<uint16_t, kSmallPrimeCount> MakeSmallPrimes() {
    std::array<bool, kSieveLimit> composite{};
    std::array<uint16_t, kSmallPrimeCount> primes{};
    size_t count = 0;
    for (uint32_t i = 2; i < kSieveLimit; ++i) {
        if (composite[i]) continue;
        if (i != 2 && count < kSmallPrimeCount) primes[count++] = static_cast<uint16_t>(i);
        for (uint32_t j = i * i; j < kSieveLimit; j += i)
            composite[j] = true;
    }
    return primes;
}
constexpr std::array<uint16_t, kSmallPrimeCount> kSmallPrimes = MakeSmallPrimes();
static_assert(kSmallPrimes[0] == 3 && kSmallPrimes[kSmallPrimeCount - 1] == 2039);

// Odd candidates tried from one random start before drawing a new one.
constexpr uint32_t kCandidatesPerRun = 500;

uint64_t Gcd64(uint64_t a, uint64_t b) {
    while (b != 0) {
        const uint64_t t = a % b;
        a = b;
        b = t;
    }
    return a;
}

// A random number of `bits` bits, odd, with its two top bits set.
int DrawCandidate(BigNum& x, uint32_t bits, const RandomSource& random) {
    const uint32_t length = (bits + 7) / 8;
    SecureBuffer bytes(length);
    int status = DrawRandom(random, bytes.data(), length);
    if (status != kMethodOk) return status;
    const uint32_t topBits = bits - 8 * (length - 1);  // 1..8 bits used in the first byte
    bytes[0] = static_cast<uint8_t>(bytes[0] & ((1u << topBits) - 1));
    if (topBits >= 2) {
        bytes[0] = static_cast<uint8_t>(bytes[0] | (3u << (topBits - 2)));
    } else {
        bytes[0] = 1;
        bytes[1] = static_cast<uint8_t>(bytes[1] | 0x80);
    }
    bytes[length - 1] = static_cast<uint8_t>(bytes[length - 1] | 1);
    return BigNumFromBytes(x, bytes.data(), length);
}

}  // namespace

int DrawRandom(const RandomSource& random, uint8_t* out, uint32_t length) {
    if (random.generate == nullptr) return kMethodDataError;
    return random.generate(random.context, out, length) == 0 ? kMethodOk : kMethodDataError;
}

uint32_t MillerRabinRounds(uint32_t bits) {
    if (bits >= 1024) return 16;
    if (bits >= 512) return 24;
    if (bits >= 256) return 32;
    return 40;
}

int MillerRabin(const BigNum& n, uint32_t rounds, const RandomSource& random, bool* prime) {
    *prime = false;
    BigNum t[6] = {};
    BigNumScope scope(t, 6);
    BigNum& n1 = t[0];  // n - 1 = 2^s d
    BigNum& d = t[1];
    BigNum& range = t[2];  // n - 3: bases are 2 + (random mod (n - 3))
    BigNum& a = t[3];
    BigNum& y = t[4];
    BigNum& two = t[5];
    int status = BigNumSubWord(n1, n, 1);
    const uint32_t s = BigNumTrailingZeros(n1);
    if (status == kMethodOk) status = BigNumShiftRight(d, n1, s);
    if (status == kMethodOk) status = BigNumSubWord(range, n, 3);
    if (status == kMethodOk) status = BigNumSetWord(two, 2);
    if (status != kMethodOk) return status;
    if (s == 0 || BigNumIsZero(range)) return kMethodBadData;

    // Eight bytes more than the modulus make the bias of the reduction negligible.
    const uint32_t drawLength = (BigNumBitLength(n) + 7) / 8 + 8;
    SecureBuffer bytes(drawLength);
    for (uint32_t round = 0; round < rounds; ++round) {
        status = DrawRandom(random, bytes.data(), drawLength);
        if (status == kMethodOk) status = BigNumFromBytes(a, bytes.data(), drawLength);
        if (status == kMethodOk) status = BigNumMod(a, a, range);
        if (status == kMethodOk) status = BigNumAddWord(a, a, 2);
        if (status == kMethodOk) status = BigNumModExp(y, a, d, n, nullptr);
        if (status != kMethodOk) return status;
        if (BigNumCompare(y, n1) == 0 || (BigNumBitLength(y) == 1)) continue;
        bool witness = true;
        for (uint32_t j = 1; j < s && witness; ++j) {
            if ((status = BigNumModMul(y, y, y, n)) != kMethodOk) return status;
            if (BigNumBitLength(y) == 1) return kMethodOk;  // a nontrivial root of 1
            if (BigNumCompare(y, n1) == 0) witness = false;
        }
        if (witness) return kMethodOk;
    }
    *prime = true;
    return kMethodOk;
}

int GeneratePrime(BigNum& p, uint32_t bits, uint32_t publicExponent, const RandomSource& random,
                  const CancelHook* hook) {
    if (bits < 16 || publicExponent < 3 || publicExponent % 2 == 0) return kMethodParamRange;
    const uint32_t rounds = MillerRabinRounds(bits);
    BigNum t[2] = {};
    BigNumScope scope(t, 2);
    BigNum& start = t[0];
    BigNum& candidate = t[1];
    std::array<uint16_t, kSmallPrimeCount> residues{};
    for (;;) {
        if (Cancelled(hook)) return kMethodCancelled;
        int status = DrawCandidate(start, bits, random);
        if (status != kMethodOk) return status;
        for (size_t i = 0; i < kSmallPrimeCount; ++i)
            residues[i] = static_cast<uint16_t>(BigNumModWord(start, kSmallPrimes[i]));
        const uint64_t startModE = BigNumModWord(start, publicExponent);

        for (uint32_t step = 0; step < kCandidatesPerRun; ++step) {
            const uint32_t delta = 2 * step;
            bool divisible = false;
            for (size_t i = 0; i < kSmallPrimeCount && !divisible; ++i)
                divisible = (residues[i] + delta) % kSmallPrimes[i] == 0;
            if (divisible) continue;
            // p - 1 must be prime to e, or e has no inverse modulo lcm(p - 1, q - 1).
            const uint64_t pMinusOne = (startModE + delta + publicExponent - 1) % publicExponent;
            if (Gcd64(pMinusOne, publicExponent) != 1) continue;

            if (Cancelled(hook)) return kMethodCancelled;
            if ((status = BigNumAddWord(candidate, start, delta)) != kMethodOk) return status;
            if (BigNumBitLength(candidate) != bits) break;  // ran past the top: draw again
            bool prime = false;
            if ((status = MillerRabin(candidate, rounds, random, &prime)) != kMethodOk) {
                return status;
            }
            if (prime) return BigNumCopy(p, candidate);
        }
    }
}

}  // namespace qor::toolkit
