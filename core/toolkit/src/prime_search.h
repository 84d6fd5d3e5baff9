// Probable primes for RSA keys: random odd candidates, a sieve by the small odd primes over a
// run of candidates at a time, then Miller-Rabin with random bases. Method codes (status.h).
#pragma once

#include <qor/rsa_private.h>

#include <cstdint>

#include "algorithm_tier.h"
#include "bignum.h"

namespace qor::toolkit {

// Miller-Rabin rounds for a random candidate of `bits` bits. Composites that pass one round
// with a random base are rare to begin with for random candidates; these counts lie well above
// what the published tables ask for an error below 2^-100 at each size.
uint32_t MillerRabinRounds(uint32_t bits);

// `rounds` rounds of Miller-Rabin with bases drawn at random from [2, n - 2]. *prime is false
// as soon as one base shows n composite. n must be odd and above 3.
int MillerRabin(const BigNum& n, uint32_t rounds, const RandomSource& random, bool* prime);

// A probable prime of exactly `bits` bits (at least 16) with its two top bits set and with
// p - 1 prime to `publicExponent`. The hook is asked before each candidate.
int GeneratePrime(BigNum& p, uint32_t bits, uint32_t publicExponent, const RandomSource& random,
                  const CancelHook* hook);

// Draws `length` bytes; kMethodDataError when the source fails.
int DrawRandom(const RandomSource& random, uint8_t* out, uint32_t length);

}  // namespace qor::toolkit
