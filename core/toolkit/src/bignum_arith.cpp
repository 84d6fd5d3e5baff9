#include "bignum_arith.h"

#include <qor/secure_buffer.h>

#include <bit>

#include "memory.h"
#include "status.h"

namespace qor::toolkit {

namespace {

// Significant words: 0 for the value 0 and for an empty number.
uint32_t Used(const BigNum& n) {
    return (BigNumBitLength(n) + 31) / 32;
}

uint32_t WordAt(const BigNum& n, uint32_t i) {
    return i < Used(n) ? n.words[i] : 0;
}

// A zeroed block of words for one result, wiped and freed on every way out.
class Words {
  public:
    explicit Words(size_t count)
        : count_(count == 0 ? 1 : count),
          block_(static_cast<uint32_t*>(MemAllocate(count_ * sizeof(uint32_t)))) {
        if (block_ != nullptr) MemFill(block_, 0, count_ * sizeof(uint32_t));
    }
    ~Words() {
        if (block_ == nullptr) return;
        SecureWipe(block_, count_ * sizeof(uint32_t));
        MemFree(block_);
    }
    Words(const Words&) = delete;
    Words& operator=(const Words&) = delete;
    uint32_t* get() const { return block_; }
    uint32_t& operator[](size_t i) const { return block_[i]; }
    bool ok() const { return block_ != nullptr; }

  private:
    size_t count_;
    uint32_t* block_;
};

// Copies `s` words into `r`, normalised; the old value's words are cleared first.
int Store(BigNum& r, const uint32_t* words, uint32_t s) {
    while (s > 0 && words[s - 1] == 0)
        --s;
    const uint32_t need = s == 0 ? 1 : s;
    if (need > static_cast<uint32_t>(INT32_MAX)) return kMethodOutOfMemory;
    if (BigNumGrow(r, static_cast<int32_t>(need)) != kMethodOk) return kMethodOutOfMemory;
    MemFill(r.words, 0, static_cast<size_t>(r.capacity) * sizeof(uint32_t));
    MemCopy(r.words, words, s * sizeof(uint32_t));
    r.length = static_cast<int32_t>(need);
    return kMethodOk;
}

int CompareWords(const uint32_t* a, uint32_t sa, const uint32_t* b, uint32_t sb) {
    const uint32_t s = sa > sb ? sa : sb;
    for (uint32_t j = s; j-- > 0;) {
        const uint32_t x = j < sa ? a[j] : 0;
        const uint32_t y = j < sb ? b[j] : 0;
        if (x != y) return x < y ? -1 : 1;
    }
    return 0;
}

// x -= y over s words (y has sy <= s words); the borrow out of the top is dropped.
void SubtractInPlace(uint32_t* x, uint32_t s, const uint32_t* y, uint32_t sy) {
    uint64_t borrow = 0;
    for (uint32_t j = 0; j < s; ++j) {
        const uint64_t d = uint64_t{x[j]} - (j < sy ? y[j] : 0) - borrow;
        x[j] = static_cast<uint32_t>(d);
        borrow = (d >> 32) & 1;
    }
}

}  // namespace

int BigNumSetWord(BigNum& r, uint32_t value) {
    return Store(r, &value, 1);
}

int BigNumCopy(BigNum& r, const BigNum& a) {
    const uint32_t s = Used(a);
    Words t(s);
    if (!t.ok()) return kMethodOutOfMemory;
    MemCopy(t.get(), a.words, s * sizeof(uint32_t));
    return Store(r, t.get(), s);
}

bool BigNumIsZero(const BigNum& a) {
    return Used(a) == 0;
}

uint32_t BigNumBit(const BigNum& a, uint32_t index) {
    return WordAt(a, index / 32) >> (index % 32) & 1u;
}

uint32_t BigNumTrailingZeros(const BigNum& a) {
    const uint32_t s = Used(a);
    for (uint32_t j = 0; j < s; ++j) {
        if (a.words[j] != 0) return 32 * j + static_cast<uint32_t>(std::countr_zero(a.words[j]));
    }
    return 0;
}

int BigNumAdd(BigNum& r, const BigNum& a, const BigNum& b) {
    const uint32_t sa = Used(a), sb = Used(b);
    const uint32_t s = (sa > sb ? sa : sb) + 1;
    Words t(s);
    if (!t.ok()) return kMethodOutOfMemory;
    uint64_t carry = 0;
    for (uint32_t j = 0; j < s; ++j) {
        const uint64_t sum = uint64_t{WordAt(a, j)} + WordAt(b, j) + carry;
        t[j] = static_cast<uint32_t>(sum);
        carry = sum >> 32;
    }
    return Store(r, t.get(), s);
}

int BigNumSub(BigNum& r, const BigNum& a, const BigNum& b) {
    if (BigNumCompare(a, b) < 0) return kMethodBadData;
    const uint32_t s = Used(a);
    Words t(s);
    if (!t.ok()) return kMethodOutOfMemory;
    MemCopy(t.get(), a.words, s * sizeof(uint32_t));
    SubtractInPlace(t.get(), s, b.words, Used(b));
    return Store(r, t.get(), s);
}

int BigNumAddWord(BigNum& r, const BigNum& a, uint32_t w) {
    BigNum x = {1, 1, &w};
    return BigNumAdd(r, a, x);
}

int BigNumSubWord(BigNum& r, const BigNum& a, uint32_t w) {
    BigNum x = {1, 1, &w};
    return BigNumSub(r, a, x);
}

int BigNumMul(BigNum& r, const BigNum& a, const BigNum& b) {
    const uint32_t sa = Used(a), sb = Used(b);
    Words t(sa + sb);
    if (!t.ok()) return kMethodOutOfMemory;
    for (uint32_t i = 0; i < sa; ++i) {
        const uint64_t ai = a.words[i];
        uint64_t carry = 0;
        for (uint32_t j = 0; j < sb; ++j) {
            const uint64_t p = ai * b.words[j] + t[i + j] + carry;
            t[i + j] = static_cast<uint32_t>(p);
            carry = p >> 32;
        }
        t[i + sb] = static_cast<uint32_t>(carry);
    }
    return Store(r, t.get(), sa + sb);
}

int BigNumMulWord(BigNum& r, const BigNum& a, uint32_t w) {
    BigNum x = {1, 1, &w};
    return BigNumMul(r, a, x);
}

int BigNumShiftLeft(BigNum& r, const BigNum& a, uint32_t bits) {
    const uint32_t sa = Used(a);
    const uint32_t whole = bits / 32, part = bits % 32;
    const uint32_t s = sa + whole + 1;
    Words t(s);
    if (!t.ok()) return kMethodOutOfMemory;
    for (uint32_t j = 0; j < sa; ++j) {
        const uint64_t v = uint64_t{a.words[j]} << part;
        t[j + whole] |= static_cast<uint32_t>(v);
        t[j + whole + 1] |= static_cast<uint32_t>(v >> 32);
    }
    return Store(r, t.get(), s);
}

int BigNumShiftRight(BigNum& r, const BigNum& a, uint32_t bits) {
    const uint32_t sa = Used(a);
    const uint32_t whole = bits / 32, part = bits % 32;
    if (whole >= sa) return BigNumSetWord(r, 0);
    const uint32_t s = sa - whole;
    Words t(s);
    if (!t.ok()) return kMethodOutOfMemory;
    for (uint32_t j = 0; j < s; ++j) {
        uint64_t v = a.words[j + whole];
        if (j + whole + 1 < sa) v |= uint64_t{a.words[j + whole + 1]} << 32;
        t[j] = static_cast<uint32_t>(v >> part);
    }
    return Store(r, t.get(), s);
}

// Shift and subtract, one bit of `a` at a time: the remainder stays below m, so after doubling
// it fits m's words and one more.
int BigNumDivMod(BigNum* quotient, BigNum* remainder, const BigNum& a, const BigNum& m) {
    const uint32_t sm = Used(m);
    if (sm == 0) return kMethodBadData;
    const uint32_t sa = Used(a);
    const uint32_t bits = BigNumBitLength(a);
    Words q(sa);
    Words rem(sm + 1);
    if (!q.ok() || !rem.ok()) return kMethodOutOfMemory;
    for (uint32_t bit = bits; bit-- > 0;) {
        uint32_t carry = a.words[bit / 32] >> (bit % 32) & 1u;
        for (uint32_t j = 0; j <= sm; ++j) {
            const uint32_t top = rem[j] >> 31;
            rem[j] = rem[j] << 1 | carry;
            carry = top;
        }
        if (CompareWords(rem.get(), sm + 1, m.words, sm) >= 0) {
            SubtractInPlace(rem.get(), sm + 1, m.words, sm);
            q[bit / 32] |= 1u << (bit % 32);
        }
    }
    int status = kMethodOk;
    if (quotient != nullptr) status = Store(*quotient, q.get(), sa);
    if (status == kMethodOk && remainder != nullptr) status = Store(*remainder, rem.get(), sm + 1);
    return status;
}

int BigNumMod(BigNum& r, const BigNum& a, const BigNum& m) {
    return BigNumDivMod(nullptr, &r, a, m);
}

int BigNumModMul(BigNum& r, const BigNum& a, const BigNum& b, const BigNum& m) {
    BigNum product = {};
    BigNumScope scope(&product, 1);
    int status = BigNumMul(product, a, b);
    if (status == kMethodOk) status = BigNumMod(r, product, m);
    return status;
}

int BigNumDivWord(BigNum& q, const BigNum& a, uint32_t w, uint32_t* remainder) {
    if (w == 0) return kMethodBadData;
    const uint32_t sa = Used(a);
    Words t(sa);
    if (!t.ok()) return kMethodOutOfMemory;
    uint64_t rem = 0;
    for (uint32_t j = sa; j-- > 0;) {
        const uint64_t cur = rem << 32 | a.words[j];
        t[j] = static_cast<uint32_t>(cur / w);
        rem = cur % w;
    }
    if (remainder != nullptr) *remainder = static_cast<uint32_t>(rem);
    return Store(q, t.get(), sa);
}

uint32_t BigNumModWord(const BigNum& a, uint32_t w) {
    uint64_t rem = 0;
    for (uint32_t j = Used(a); j-- > 0;)
        rem = (rem << 32 | a.words[j]) % w;
    return static_cast<uint32_t>(rem);
}

// Binary method: common factors of two taken out first, then the smaller odd value is
// subtracted from the larger until one of them is 0.
int BigNumGcd(BigNum& r, const BigNum& a, const BigNum& b) {
    if (BigNumIsZero(a)) return BigNumCopy(r, b);
    if (BigNumIsZero(b)) return BigNumCopy(r, a);
    BigNum u = {}, v = {};
    BigNumScope scope(&u, 1), scopeV(&v, 1);
    const uint32_t za = BigNumTrailingZeros(a), zb = BigNumTrailingZeros(b);
    const uint32_t common = za < zb ? za : zb;
    int status = BigNumShiftRight(u, a, za);
    if (status == kMethodOk) status = BigNumShiftRight(v, b, zb);
    while (status == kMethodOk && !BigNumIsZero(v)) {
        if (BigNumCompare(u, v) > 0) {
            const BigNum t = u;
            u = v;
            v = t;
        }
        status = BigNumSub(v, v, u);
        if (status == kMethodOk && !BigNumIsZero(v))
            status = BigNumShiftRight(v, v, BigNumTrailingZeros(v));
    }
    if (status == kMethodOk) status = BigNumShiftLeft(r, u, common);
    return status;
}

}  // namespace qor::toolkit
