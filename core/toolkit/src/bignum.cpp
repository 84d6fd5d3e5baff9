#include "bignum.h"

#include <qor/secure_buffer.h>

#include <bit>

#include "memory.h"
#include "status.h"

namespace qor::toolkit {

namespace {

// Words in use without zero words at the top; 0 for an empty number or the value 0.
uint32_t Significant(const BigNum& n) {
    uint32_t s = n.length > 0 ? static_cast<uint32_t>(n.length) : 0;
    while (s > 0 && n.words[s - 1] == 0)
        --s;
    return s;
}

void Normalise(BigNum& n) {
    uint32_t s = Significant(n);
    n.length = static_cast<int32_t>(s == 0 ? 1 : s);
}

// Comparison and subtraction over s words.
int CompareWords(const uint32_t* a, const uint32_t* b, uint32_t s) {
    for (uint32_t j = s; j-- > 0;) {
        if (a[j] != b[j]) return a[j] < b[j] ? -1 : 1;
    }
    return 0;
}

void SubtractWords(uint32_t* x, const uint32_t* n, uint32_t s) {
    uint64_t borrow = 0;
    for (uint32_t j = 0; j < s; ++j) {
        uint64_t d = uint64_t{x[j]} - n[j] - borrow;
        x[j] = static_cast<uint32_t>(d);
        borrow = (d >> 32) & 1;
    }
}

// x = 2x + bit mod n, for x < n. The true value stays below 2n, so one subtraction suffices;
// when a bit is carried out of the top word the wrapped subtraction still gives the right
// s-word result.
void DoubleMod(uint32_t* x, const uint32_t* n, uint32_t s, uint32_t bit) {
    uint32_t carry = bit;
    for (uint32_t j = 0; j < s; ++j) {
        uint32_t top = x[j] >> 31;
        x[j] = x[j] << 1 | carry;
        carry = top;
    }
    if (carry != 0 || CompareWords(x, n, s) >= 0) SubtractWords(x, n, s);
}

// The modulus as the Montgomery routine uses it: R = 2^(32s).
struct Montgomery {
    const uint32_t* n;
    uint32_t s;
    uint32_t n0;  // -n^-1 mod 2^32
    uint32_t* t;  // s + 2 words of scratch
};

// out = a·b·R^-1 mod n for a < R and b < n (word-by-word interleaved reduction). out may be
// a or b. The last subtraction is done without a branch on the value.
void MontMul(uint32_t* out, const uint32_t* a, const uint32_t* b, const Montgomery& m) {
    const uint32_t s = m.s;
    uint32_t* t = m.t;
    for (uint32_t j = 0; j < s + 2; ++j)
        t[j] = 0;
    for (uint32_t i = 0; i < s; ++i) {
        const uint64_t bi = b[i];
        uint64_t carry = 0;
        for (uint32_t j = 0; j < s; ++j) {
            uint64_t p = a[j] * bi + t[j] + carry;
            t[j] = static_cast<uint32_t>(p);
            carry = p >> 32;
        }
        uint64_t sum = t[s] + carry;
        t[s] = static_cast<uint32_t>(sum);
        t[s + 1] = static_cast<uint32_t>(sum >> 32);

        const uint64_t q = static_cast<uint32_t>(t[0] * m.n0);
        carry = (q * m.n[0] + t[0]) >> 32;
        for (uint32_t j = 1; j < s; ++j) {
            uint64_t p = q * m.n[j] + t[j] + carry;
            t[j - 1] = static_cast<uint32_t>(p);
            carry = p >> 32;
        }
        sum = t[s] + carry;
        t[s - 1] = static_cast<uint32_t>(sum);
        t[s] = t[s + 1] + static_cast<uint32_t>(sum >> 32);
    }
    // t < 2n: keep t - n unless that borrowed past the top word.
    uint64_t borrow = 0;
    for (uint32_t j = 0; j < s; ++j) {
        uint64_t d = uint64_t{t[j]} - m.n[j] - borrow;
        out[j] = static_cast<uint32_t>(d);
        borrow = (d >> 32) & 1;
    }
    const uint32_t keepT = 0u - (static_cast<uint32_t>(borrow) & (t[s] ^ 1u));
    for (uint32_t j = 0; j < s; ++j)
        out[j] = (t[j] & keepT) | (out[j] & ~keepT);
}

uint32_t WindowWidth(uint32_t exponentBits) {
    if (exponentBits >= 64) return 4;
    if (exponentBits >= 16) return 3;
    if (exponentBits >= 4) return 2;
    return 1;
}

// `width` exponent bits starting at bit `low`, as a number.
uint32_t WindowValue(const BigNum& e, uint32_t low, uint32_t width) {
    uint32_t v = 0;
    for (uint32_t k = width; k-- > 0;) {
        uint32_t bit = low + k;
        v = v << 1 | (e.words[bit / 32] >> (bit % 32) & 1u);
    }
    return v;
}

// All temporaries of one exponentiation in one block, wiped and freed on every way out: they
// hold the base, which for RSA is the padded message.
class Scratch {
  public:
    explicit Scratch(size_t words)
        : words_(words), block_(static_cast<uint32_t*>(MemAllocate(words * sizeof(uint32_t)))) {
        if (block_ != nullptr) MemFill(block_, 0, words * sizeof(uint32_t));
    }
    ~Scratch() {
        if (block_ == nullptr) return;
        SecureWipe(block_, words_ * sizeof(uint32_t));
        MemFree(block_);
    }
    Scratch(const Scratch&) = delete;
    Scratch& operator=(const Scratch&) = delete;
    uint32_t* get() const { return block_; }

  private:
    size_t words_;
    uint32_t* block_;
};

// The window table: entry j holds base^j in Montgomery form. Entry 1 is the base itself; the
// others are computed the first time a window asks for them, from a neighbour already present
// where one helps and otherwise from the base alone, so no entry is filled just to build
// another.
class WindowTable {
  public:
    WindowTable(uint32_t* entries, const Montgomery& m) : entries_(entries), m_(m) {}
    uint32_t* Base() const { return Slot(1); }
    void MarkBase() { filled_ = 1u << 1; }
    uint32_t Count() const { return static_cast<uint32_t>(std::popcount(filled_)); }

    const uint32_t* Get(uint32_t j) {
        uint32_t* out = Slot(j);
        if (Has(j)) return out;
        if (j % 2 == 0 && Has(j / 2)) {
            MontMul(out, Slot(j / 2), Slot(j / 2), m_);
        } else if (Has(j - 1)) {
            MontMul(out, Slot(j - 1), Base(), m_);
        } else {
            const uint32_t top = static_cast<uint32_t>(std::bit_width(j)) - 1;
            for (uint32_t w = 0; w < m_.s; ++w)
                out[w] = Base()[w];
            for (uint32_t k = top; k-- > 0;) {
                MontMul(out, out, out, m_);
                if ((j >> k & 1u) != 0) MontMul(out, out, Base(), m_);
            }
        }
        filled_ |= 1u << j;
        return out;
    }

  private:
    bool Has(uint32_t j) const { return (filled_ >> j & 1u) != 0; }
    uint32_t* Slot(uint32_t j) const { return entries_ + (j - 1) * m_.s; }

    uint32_t* entries_;
    const Montgomery& m_;
    uint32_t filled_ = 0;
};

// Copies `s` words into `n`, normalised. Nothing is read from the inputs after this starts,
// so `n` may be one of them.
int StoreResult(BigNum& n, const uint32_t* words, uint32_t s) {
    const auto need = static_cast<int32_t>(s);
    if (BigNumGrow(n, need) != kMethodOk) return kMethodOutOfMemory;
    const uint32_t used = n.length > need ? static_cast<uint32_t>(n.length) : s;
    MemFill(n.words, 0, used * sizeof(uint32_t));
    MemCopy(n.words, words, s * sizeof(uint32_t));
    n.length = need;
    Normalise(n);
    return kMethodOk;
}

}  // namespace

int BigNumGrow(BigNum& n, int32_t words) {
    if (words <= n.capacity) return kMethodOk;
    const size_t bytes = static_cast<size_t>(words) * sizeof(uint32_t);
    auto* grown = static_cast<uint32_t*>(MemAllocate(bytes));
    if (grown == nullptr) return kMethodOutOfMemory;
    MemFill(grown, 0, bytes);
    if (n.words != nullptr) {
        MemCopy(grown, n.words, static_cast<size_t>(n.capacity) * sizeof(uint32_t));
        SecureWipe(n.words, static_cast<size_t>(n.capacity) * sizeof(uint32_t));
        MemFree(n.words);
    }
    n.words = grown;
    n.capacity = words;
    return kMethodOk;
}

void BigNumRelease(BigNum& n) {
    if (n.words != nullptr) {
        SecureWipe(n.words, static_cast<size_t>(n.capacity) * sizeof(uint32_t));
        MemFree(n.words);
    }
    n = {};
}

int BigNumFromBytes(BigNum& n, const uint8_t* bytes, size_t length) {
    while (length > 0 && bytes[0] == 0) {
        ++bytes;
        --length;
    }
    const size_t words = length == 0 ? 1 : (length + 3) / 4;
    if (words > static_cast<size_t>(INT32_MAX)) return kMethodOutOfMemory;
    if (BigNumGrow(n, static_cast<int32_t>(words)) != kMethodOk) return kMethodOutOfMemory;
    const size_t old = n.length > 0 ? static_cast<size_t>(n.length) : 0;
    MemFill(n.words, 0, (old > words ? old : words) * sizeof(uint32_t));
    for (size_t i = 0; i < length; ++i)
        n.words[i / 4] |= uint32_t{bytes[length - 1 - i]} << (8 * (i % 4));
    n.length = static_cast<int32_t>(words);
    return kMethodOk;
}

int BigNumToBytes(const BigNum& n, uint8_t* out, size_t k) {
    const size_t need = (BigNumBitLength(n) + 7) / 8;
    if (need > k) return kMethodOutputTooSmall;
    for (size_t i = 0; i < k; ++i) {
        const uint32_t word = i < need ? n.words[i / 4] : 0;
        out[k - 1 - i] = static_cast<uint8_t>(word >> (8 * (i % 4)));
    }
    return kMethodOk;
}

uint32_t BigNumBitLength(const BigNum& n) {
    const uint32_t s = Significant(n);
    if (s == 0) return 0;
    return 32 * (s - 1) + static_cast<uint32_t>(std::bit_width(n.words[s - 1]));
}

int BigNumCompare(const BigNum& a, const BigNum& b) {
    const uint32_t sa = Significant(a);
    const uint32_t sb = Significant(b);
    if (sa != sb) return sa < sb ? -1 : 1;
    return CompareWords(a.words, b.words, sa);
}

int BigNumModExp(BigNum& result, const BigNum& base, const BigNum& exponent, const BigNum& modulus,
                 const CancelHook* hook, uint32_t* entriesComputed) {
    if (entriesComputed != nullptr) *entriesComputed = 0;
    const uint32_t s = Significant(modulus);
    if (s == 0 || (modulus.words[0] & 1u) == 0) return kMethodBadData;
    const uint32_t modulusBits = BigNumBitLength(modulus);
    const uint32_t exponentBits = BigNumBitLength(exponent);
    if (modulusBits == 1 || exponentBits == 0) {
        // Everything is 0 modulo 1; x^0 is 1 modulo anything larger.
        const uint32_t value = modulusBits == 1 ? 0 : 1;
        return StoreResult(result, &value, 1);
    }

    const uint32_t w = WindowWidth(exponentBits);
    const uint32_t tableEntries = (1u << w) - 1;
    Scratch scratch((4 + size_t{tableEntries}) * s + 2);
    if (scratch.get() == nullptr) return kMethodOutOfMemory;
    uint32_t* a = scratch.get();  // the base below R; at the end, the number 1
    uint32_t* r2 = a + s;         // R^2 mod n
    uint32_t* acc = r2 + s;
    uint32_t* t = acc + s;  // s + 2 words
    uint32_t* entries = t + s + 2;

    uint32_t inverse = modulus.words[0];  // right to 3 bits for any odd word; each step doubles
    for (int k = 0; k < 4; ++k)
        inverse *= 2u - modulus.words[0] * inverse;
    const Montgomery m = {modulus.words, s, 0u - inverse, t};

    // R mod n by doubling from 2^(bits-1), which lies below n since an odd n > 1 is no power
    // of two; then 2^s·R by s doublings, and five Montgomery squarings take it to
    // 2^(32s)·R = R^2.
    r2[(modulusBits - 1) / 32] = 1u << ((modulusBits - 1) % 32);
    for (uint32_t k = 0; k < 32 * s - (modulusBits - 1) + s; ++k)
        DoubleMod(r2, m.n, s, 0);
    for (int k = 0; k < 5; ++k)
        MontMul(r2, r2, r2, m);

    // Montgomery form of the base: a·R^2·R^-1. A base of up to s words is below R, which is
    // all the multiplication asks; a longer one is first reduced bit by bit.
    const uint32_t baseWords = Significant(base);
    if (baseWords <= s) {
        MemCopy(a, base.words, baseWords * sizeof(uint32_t));
    } else {
        for (uint32_t bit = 32 * baseWords; bit-- > 0;)
            DoubleMod(a, m.n, s, base.words[bit / 32] >> (bit % 32) & 1u);
    }
    WindowTable table(entries, m);
    MontMul(table.Base(), a, r2, m);
    table.MarkBase();

    // Windows are aligned on the top bit: a full top window, full windows below it and a
    // shorter last one where the bits run out.
    uint32_t low = exponentBits - w;
    if (Cancelled(hook)) return kMethodCancelled;
    MemCopy(acc, table.Get(WindowValue(exponent, low, w)), s * sizeof(uint32_t));
    while (low > 0) {
        if (Cancelled(hook)) return kMethodCancelled;
        const uint32_t width = low < w ? low : w;
        low -= width;
        for (uint32_t k = 0; k < width; ++k)
            MontMul(acc, acc, acc, m);
        const uint32_t value = WindowValue(exponent, low, width);
        if (value != 0) MontMul(acc, acc, table.Get(value), m);
    }

    MemFill(a, 0, s * sizeof(uint32_t));
    a[0] = 1;
    MontMul(acc, acc, a, m);
    if (entriesComputed != nullptr) *entriesComputed = table.Count();
    return StoreResult(result, acc, s);
}

}  // namespace qor::toolkit
