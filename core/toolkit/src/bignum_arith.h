// Arithmetic on big numbers beyond exponentiation, for the private-key operation and key-pair
// generation: sums, differences, products, division with remainder, operations with one word,
// shifts and the greatest common divisor.
//
// Every routine returns a method code (status.h), leaves its result normalised and may be handed
// the same number as result and input: the value is built in a wiped scratch block and copied
// over the result last. None of them branches on secret values more than schoolbook arithmetic
// does; the private-key operation blinds its input, so those values are random to an observer.
#pragma once

#include <cstdint>

#include "bignum.h"

namespace qor::toolkit {

int BigNumSetWord(BigNum& r, uint32_t value);
int BigNumCopy(BigNum& r, const BigNum& a);
bool BigNumIsZero(const BigNum& a);
// Bit `index` of the value (0 is the lowest); 0 past the top.
uint32_t BigNumBit(const BigNum& a, uint32_t index);
// The number of zero bits below the lowest set bit; 0 for the value 0.
uint32_t BigNumTrailingZeros(const BigNum& a);

int BigNumAdd(BigNum& r, const BigNum& a, const BigNum& b);
// r = a - b; kMethodBadData when b > a.
int BigNumSub(BigNum& r, const BigNum& a, const BigNum& b);
int BigNumAddWord(BigNum& r, const BigNum& a, uint32_t w);
// r = a - w; kMethodBadData when w > a.
int BigNumSubWord(BigNum& r, const BigNum& a, uint32_t w);
int BigNumMul(BigNum& r, const BigNum& a, const BigNum& b);
int BigNumMulWord(BigNum& r, const BigNum& a, uint32_t w);
int BigNumShiftLeft(BigNum& r, const BigNum& a, uint32_t bits);
int BigNumShiftRight(BigNum& r, const BigNum& a, uint32_t bits);

// a = quotient * m + remainder with 0 <= remainder < m. Either output may be null; neither may
// be the other. kMethodBadData for m = 0.
int BigNumDivMod(BigNum* quotient, BigNum* remainder, const BigNum& a, const BigNum& m);
int BigNumMod(BigNum& r, const BigNum& a, const BigNum& m);
// r = a * b mod m.
int BigNumModMul(BigNum& r, const BigNum& a, const BigNum& b, const BigNum& m);
// q = a / w, *remainder = a mod w; kMethodBadData for w = 0.
int BigNumDivWord(BigNum& q, const BigNum& a, uint32_t w, uint32_t* remainder);
// a mod w for w > 0.
uint32_t BigNumModWord(const BigNum& a, uint32_t w);

int BigNumGcd(BigNum& r, const BigNum& a, const BigNum& b);

// Wipes and releases each number on leaving scope: the temporaries of the private-key
// operation and of key generation hold key material.
class BigNumScope {
  public:
    BigNumScope(BigNum* numbers, uint32_t count) : numbers_(numbers), count_(count) {}
    ~BigNumScope() {
        for (uint32_t k = 0; k < count_; ++k)
            BigNumRelease(numbers_[k]);
    }
    BigNumScope(const BigNumScope&) = delete;
    BigNumScope& operator=(const BigNumScope&) = delete;

  private:
    BigNum* numbers_;
    uint32_t count_;
};

}  // namespace qor::toolkit
