// Unsigned big numbers for the RSA operation: 32-bit words, least significant first, kept
// normalised (no zero word at the top unless the value is 0, held in one word). Routines return
// method codes (status.h); every block they allocate goes through the toolkit's memory services
// and is wiped before it is freed, since the numbers carry padded key material.
#pragma once

#include <cstddef>
#include <cstdint>

#include "algorithm_tier.h"

namespace qor::toolkit {

struct BigNum {
    int32_t capacity;  // words allocated
    int32_t length;    // words in use: at least 1 once a value is set, 0 while empty
    uint32_t* words;
};

// Makes room for `words` words: when the number has fewer it moves to a block of exactly that
// many, keeping its value; the old block is wiped before it is freed (a plain resize could
// leave a copy of the value behind). New words are zero. kMethodOutOfMemory when memory is
// short, leaving the number as it was.
int BigNumGrow(BigNum& n, int32_t words);
// Wipes all capacity words, frees them and leaves the number empty. An empty one is ignored.
void BigNumRelease(BigNum& n);

// From an unsigned big-endian byte string of any length (empty reads as 0).
int BigNumFromBytes(BigNum& n, const uint8_t* bytes, size_t length);
// To exactly `k` big-endian bytes, zero-padded on the left; kMethodOutputTooSmall when the
// value needs more.
int BigNumToBytes(const BigNum& n, uint8_t* out, size_t k);

// 32 × (length − 1) plus the position of the top set bit; 0 for the value 0.
uint32_t BigNumBitLength(const BigNum& n);
// -1, 0 or 1. An empty number compares as 0.
int BigNumCompare(const BigNum& a, const BigNum& b);

// result = base^exponent mod modulus, by Montgomery multiplication with a fixed window over
// the exponent. The modulus must be odd (Montgomery reduction needs a modulus prime to the word
// base 2^32; an RSA modulus always is): an even or zero one gives kMethodBadData. The cancel
// hook is asked once per exponent window (kMethodCancelled). `result` may be any of the
// inputs. `entriesComputed`, when given, receives how many entries of the window table were
// filled; entry 1 (the base itself) always is, the others only when a window needs them.
int BigNumModExp(BigNum& result, const BigNum& base, const BigNum& exponent, const BigNum& modulus,
                 const CancelHook* hook, uint32_t* entriesComputed = nullptr);

}  // namespace qor::toolkit
