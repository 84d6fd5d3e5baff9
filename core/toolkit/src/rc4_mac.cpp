#include "rc4_mac.h"

#include <qor/secure_buffer.h>

#include <bit>
#include <cstring>

#include "kinds.h"
#include "status.h"

namespace qor::toolkit {

const uint8_t kMacPermutation[256] = {
    0xbd, 0x56, 0xea, 0xf2, 0xa2, 0xf1, 0xac, 0x2a, 0xb0, 0x93, 0xd1, 0x9c, 0x1b, 0x33, 0xfd, 0xd0,
    0x30, 0x04, 0xb6, 0xdc, 0x7d, 0xdf, 0x32, 0x4b, 0xf7, 0xcb, 0x45, 0x9b, 0x31, 0xbb, 0x21, 0x5a,
    0x41, 0x9f, 0xe1, 0xd9, 0x4a, 0x4d, 0x9e, 0xda, 0xa0, 0x68, 0x2c, 0xc3, 0x27, 0x5f, 0x80, 0x36,
    0x3e, 0xee, 0xfb, 0x95, 0x1a, 0xfe, 0xce, 0xa8, 0x34, 0xa9, 0x13, 0xf0, 0xa6, 0x3f, 0xd8, 0x0c,
    0x78, 0x24, 0xaf, 0x23, 0x52, 0xc1, 0x67, 0x17, 0xf5, 0x66, 0x90, 0xe7, 0xe8, 0x07, 0xb8, 0x60,
    0x48, 0xe6, 0x1e, 0x53, 0xf3, 0x92, 0xa4, 0x72, 0x8c, 0x08, 0x15, 0x6e, 0x86, 0x00, 0x84, 0xfa,
    0xf4, 0x7f, 0x8a, 0x42, 0x19, 0xf6, 0xdb, 0xcd, 0x14, 0x8d, 0x50, 0x12, 0xba, 0x3c, 0x06, 0x4e,
    0xec, 0xb3, 0x35, 0x11, 0xa1, 0x88, 0x8e, 0x2b, 0x94, 0x99, 0xb7, 0x71, 0x74, 0xd3, 0xe4, 0xbf,
    0x3a, 0xde, 0x96, 0x0e, 0xbc, 0x0a, 0xed, 0x77, 0xfc, 0x37, 0x6b, 0x03, 0x79, 0x89, 0x62, 0xc6,
    0xd7, 0xc0, 0xd2, 0x7c, 0x6a, 0x8b, 0x22, 0xa3, 0x5b, 0x05, 0x5d, 0x02, 0x75, 0xd5, 0x61, 0xe3,
    0x18, 0x8f, 0x55, 0x51, 0xad, 0x1f, 0x0b, 0x5e, 0x85, 0xe5, 0xc2, 0x57, 0x63, 0xca, 0x3d, 0x6c,
    0xb4, 0xc5, 0xcc, 0x70, 0xb2, 0x91, 0x59, 0x0d, 0x47, 0x20, 0xc8, 0x4f, 0x58, 0xe0, 0x01, 0xe2,
    0x16, 0x38, 0xc4, 0x6f, 0x3b, 0x0f, 0x65, 0x46, 0xbe, 0x7e, 0x2d, 0x7b, 0x82, 0xf9, 0x40, 0xb5,
    0x1d, 0x73, 0xf8, 0xeb, 0x26, 0xc7, 0x87, 0x97, 0x25, 0x54, 0xb1, 0x28, 0xaa, 0x98, 0x9d, 0xa5,
    0x64, 0x6d, 0x7a, 0xd4, 0x10, 0x81, 0x44, 0xef, 0x49, 0xd6, 0xae, 0x2e, 0xdd, 0x76, 0x5c, 0x2f,
    0xa7, 0x1c, 0xc9, 0x09, 0x69, 0x9a, 0x83, 0xcf, 0x29, 0x39, 0xb9, 0xe9, 0x4c, 0xff, 0x43, 0xab,
};

namespace {

// The working state in locals, so the byte loops keep i, j and the MAC position in registers.
struct Stream {
    uint8_t* s;
    uint32_t i;
    uint32_t j;
    uint8_t* mac;
    uint32_t n;
    uint32_t p;

    explicit Stream(Rc4MacContext& c)
        : s(c.permutation), i(c.i), j(c.j), mac(c.mac), n(c.macLength), p(c.macPosition) {}
    void Store(Rc4MacContext& c) const {
        c.i = static_cast<uint8_t>(i);
        c.j = static_cast<uint8_t>(j);
        c.macPosition = p;
    }

    inline uint8_t KeyByte() {
        i = (i + 1) & 0xff;
        uint32_t si = s[i];
        j = (j + si) & 0xff;
        uint32_t sj = s[j];
        s[i] = static_cast<uint8_t>(sj);
        s[j] = static_cast<uint8_t>(si);
        return s[(si + sj) & 0xff];
    }

    inline void Absorb(uint8_t x) {
        uint32_t next = p + 1 == n ? 0 : p + 1;
        mac[p] = static_cast<uint8_t>(kMacPermutation[mac[p] ^ mac[next]] ^ x);
        p = next;
    }
};

void AbsorbBytes(Rc4MacContext& ctx, const uint8_t* data, size_t length) {
    Stream st(ctx);
    for (size_t k = 0; k < length; ++k)
        st.Absorb(data[k]);
    st.Store(ctx);
}

// Reads the MAC from the current position round, then resets it.
void TakeMac(Rc4MacContext& ctx, uint8_t* value) {
    uint32_t n = ctx.macLength;
    for (uint32_t k = 0; k < n; ++k)
        value[k] = ctx.mac[(ctx.macPosition + k) % n];
    std::memset(ctx.mac, 0, sizeof ctx.mac);
    ctx.macPosition = 0;
}

// Eight bytes of a run as one word, byte k at bits 8k whatever the machine's byte order.
inline uint64_t LoadWord(const uint8_t* p) {
    uint64_t word = 0;
    if constexpr (std::endian::native == std::endian::little) {
        std::memcpy(&word, p, 8);
    } else {
        for (unsigned k = 0; k < 8; ++k)
            word |= static_cast<uint64_t>(p[k]) << (8 * k);
    }
    return word;
}

inline void StoreWord(uint8_t* p, uint64_t word) {
    if constexpr (std::endian::native == std::endian::little) {
        std::memcpy(p, &word, 8);
    } else {
        for (unsigned k = 0; k < 8; ++k)
            p[k] = static_cast<uint8_t>(word >> (8 * k));
    }
}

// The product's MAC length is 4, and a 4-byte MAC fits in registers. This path takes 8 bytes a
// step: it gathers eight key-stream bytes into one word, each followed at once by the MAC step
// of one data byte taken from a word in a register, so the MAC's short dependency chain runs in
// the gaps of the key stream's, and the data is loaded, combined and stored a word at a time.
// The MAC buffer is held in four locals rotated so that the current position comes first
// (8 bytes bring it back round).
//
// Encryption absorbs the plaintext word it is about to encrypt. Decryption cannot: its MAC data
// is the plaintext, which exists only once the key stream for it has been made, and waiting for
// it would put every key-stream byte on the MAC's chain. So decryption absorbs the plaintext of
// two words back while it makes this word's key stream, and the last two words after the loop:
// the MAC sees the same bytes in the same order, only later, and the two chains stay as
// independent as in encryption (one word back is not enough: the processor's window does not
// reach far enough to run the MAC steps while the previous word's last key bytes are made). Each
// word is loaded before its result is stored, so `out` may equal `in`. Returns how many bytes it
// handled; the caller finishes the rest byte by byte on the same state.
template <bool Decrypt>
size_t Words4(Rc4MacContext& ctx, uint8_t* out, const uint8_t* in, size_t length) {
    if (ctx.macLength != 4 || length < 8) return 0;
    uint8_t* s = ctx.permutation;
    const uint8_t* P = kMacPermutation;
    uint8_t i = ctx.i, j = ctx.j;
    const uint32_t p = ctx.macPosition;
    // 32-bit locals: the table values are bytes, and wide registers save the narrowing moves.
    uint32_t r0 = ctx.mac[p], r1 = ctx.mac[(p + 1) & 3], r2 = ctx.mac[(p + 2) & 3],
             r3 = ctx.mac[(p + 3) & 3];
    const auto keyByte = [&]() -> uint64_t {
        ++i;
        const uint8_t si = s[i];
        j = static_cast<uint8_t>(j + si);
        const uint8_t sj = s[j];
        s[i] = sj;
        s[j] = si;
        return s[static_cast<uint8_t>(si + sj)];
    };
    // One MAC step: the register at the current position takes the table value of itself and
    // its successor, mixed with the data byte.
    const auto mix = [P](uint32_t& reg, uint32_t next, uint64_t data) {
        reg = P[reg ^ next] ^ static_cast<uint32_t>(data & 0xff);
    };
    // Eight key-stream bytes, each followed by the MAC step of byte k of `data`.
    const auto streamAndMac = [&](uint64_t data) {
        uint64_t stream = keyByte();
        mix(r0, r1, data);
        stream |= keyByte() << 8;
        mix(r1, r2, data >> 8);
        stream |= keyByte() << 16;
        mix(r2, r3, data >> 16);
        stream |= keyByte() << 24;
        mix(r3, r0, data >> 24);
        stream |= keyByte() << 32;
        mix(r0, r1, data >> 32);
        stream |= keyByte() << 40;
        mix(r1, r2, data >> 40);
        stream |= keyByte() << 48;
        mix(r2, r3, data >> 48);
        stream |= keyByte() << 56;
        mix(r3, r0, data >> 56);
        return stream;
    };
    // The MAC steps alone, for a word whose key stream was made earlier.
    const auto macOnly = [&](uint64_t data) {
        mix(r0, r1, data);
        mix(r1, r2, data >> 8);
        mix(r2, r3, data >> 16);
        mix(r3, r0, data >> 24);
        mix(r0, r1, data >> 32);
        mix(r1, r2, data >> 40);
        mix(r2, r3, data >> 48);
        mix(r3, r0, data >> 56);
    };
    size_t done = 0;
    if constexpr (Decrypt) {
        if (length < 16) return 0;
        // The first two words have no MAC steps to share their key stream with.
        const auto streamOnly = [&]() {
            uint64_t stream = 0;
            for (unsigned k = 0; k < 8; ++k)
                stream |= keyByte() << (8 * k);
            return stream;
        };
        uint64_t older = LoadWord(in) ^ streamOnly();
        StoreWord(out, older);
        uint64_t newer = LoadWord(in + 8) ^ streamOnly();
        StoreWord(out + 8, newer);
        for (done = 16; done + 8 <= length; done += 8) {
            const uint64_t stream = streamAndMac(older);
            older = newer;
            newer = LoadWord(in + done) ^ stream;
            StoreWord(out + done, newer);
        }
        macOnly(older);
        macOnly(newer);
    } else {
        for (; done + 8 <= length; done += 8) {
            const uint64_t plain = LoadWord(in + done);
            StoreWord(out + done, plain ^ streamAndMac(plain));
        }
    }
    ctx.i = i;
    ctx.j = j;
    ctx.mac[p] = static_cast<uint8_t>(r0);
    ctx.mac[(p + 1) & 3] = static_cast<uint8_t>(r1);
    ctx.mac[(p + 2) & 3] = static_cast<uint8_t>(r2);
    ctx.mac[(p + 3) & 3] = static_cast<uint8_t>(r3);
    return done;
}

void EncryptBytes(Rc4MacContext& ctx, uint8_t* out, const uint8_t* in, size_t length) {
    const size_t fast = Words4<false>(ctx, out, in, length);
    out += fast;
    in += fast;
    length -= fast;
    Stream st(ctx);
    for (size_t k = 0; k < length; ++k) {
        uint8_t x = in[k];
        st.Absorb(x);
        out[k] = static_cast<uint8_t>(x ^ st.KeyByte());
    }
    st.Store(ctx);
}

void DecryptBytes(Rc4MacContext& ctx, uint8_t* out, const uint8_t* in, size_t length) {
    const size_t fast = Words4<true>(ctx, out, in, length);
    out += fast;
    in += fast;
    length -= fast;
    Stream st(ctx);
    for (size_t k = 0; k < length; ++k) {
        uint8_t x = static_cast<uint8_t>(in[k] ^ st.KeyByte());
        st.Absorb(x);
        out[k] = x;
    }
    st.Store(ctx);
}

}  // namespace

int Rc4MacInit(Rc4MacContext& ctx, const uint8_t* key, size_t keyLength, const uint8_t* salt,
               size_t saltLength, uint32_t macLength) {
    if (macLength > kRc4MacMaxMac) return kMethodParamRange;
    if (macLength < kRc4MacMinMac) return kMethodParamRange;
    size_t total = keyLength + saltLength;
    if (total < 1 || total > kRc4MaxKeyAndSalt) return kMethodKeyLength;

    uint8_t keyAndSalt[kRc4MaxKeyAndSalt];
    ScopedWipe wipe(keyAndSalt);
    if (keyLength != 0) std::memcpy(keyAndSalt, key, keyLength);
    if (saltLength != 0) std::memcpy(keyAndSalt + keyLength, salt, saltLength);

    std::memset(&ctx, 0, sizeof ctx);
    for (unsigned k = 0; k < 256; ++k)
        ctx.permutation[k] = static_cast<uint8_t>(k);
    unsigned j = 0;
    for (unsigned k = 0; k < 256; ++k) {
        uint8_t t = ctx.permutation[k];
        j = (j + t + keyAndSalt[k % total]) & 0xff;
        ctx.permutation[k] = ctx.permutation[j];
        ctx.permutation[j] = t;
    }
    ctx.macLength = macLength;
    ctx.initialised = 1;
    AbsorbBytes(ctx, keyAndSalt, total);
    return kMethodOk;
}

void Rc4MacEncryptUpdate(Rc4MacContext& ctx, uint8_t* out, const uint8_t* in, size_t length) {
    EncryptBytes(ctx, out, in, length);
}

void Rc4MacEncryptFinal(Rc4MacContext& ctx, uint8_t* out) {
    static const uint8_t kZeros[kRc4MacMaxMac] = {};
    AbsorbBytes(ctx, kZeros, ctx.macLength);
    TakeMac(ctx, ctx.scratch);
    Stream st(ctx);
    for (uint32_t k = 0; k < ctx.macLength; ++k) {
        out[k] = static_cast<uint8_t>(ctx.scratch[k] ^ st.KeyByte());
    }
    st.Store(ctx);
    SecureWipe(ctx.scratch, sizeof ctx.scratch);
}

int Rc4MacDecryptUpdate(Rc4MacContext& ctx, uint8_t* out, uint32_t* outLength, size_t capacity,
                        const uint8_t* in, size_t length) {
    const size_t n = ctx.macLength;
    const size_t total = ctx.held + length;
    *outLength = 0;
    if (total <= n) {
        if (length != 0) std::memcpy(ctx.hold + ctx.held, in, length);
        ctx.held = static_cast<uint32_t>(total);
        return kMethodOk;
    }
    const size_t produce = total - n;
    if (produce > capacity) return kMethodOutputTooSmall;
    // The released bytes are the held ones first, then the front of the input.
    const size_t fromHold = produce < ctx.held ? produce : ctx.held;
    DecryptBytes(ctx, out, ctx.hold, fromHold);
    DecryptBytes(ctx, out + fromHold, in, produce - fromHold);
    // What stays held: the rest of the old hold (if any), then the tail of the input.
    const size_t keepOld = ctx.held - fromHold;
    std::memmove(ctx.hold, ctx.hold + fromHold, keepOld);
    const size_t fromInput = n - keepOld;
    std::memcpy(ctx.hold + keepOld, in + (length - fromInput), fromInput);
    ctx.held = static_cast<uint32_t>(n);
    *outLength = static_cast<uint32_t>(produce);
    return kMethodOk;
}

int Rc4MacDecryptFinal(Rc4MacContext& ctx) {
    static const uint8_t kZeros[kRc4MacMaxMac] = {};
    if (ctx.held != ctx.macLength) return kMethodBadLength;
    AbsorbBytes(ctx, kZeros, ctx.macLength);
    // Decrypt the stored MAC into scratch, then compare with the computed one without an early
    // exit, so the time taken does not tell how many bytes matched.
    Stream st(ctx);
    for (uint32_t k = 0; k < ctx.macLength; ++k) {
        ctx.scratch[k] = static_cast<uint8_t>(ctx.hold[k] ^ st.KeyByte());
    }
    st.Store(ctx);
    uint8_t computed[kRc4MacMaxMac];
    ScopedWipe wipe(computed);
    TakeMac(ctx, computed);
    uint8_t diff = 0;
    for (uint32_t k = 0; k < ctx.macLength; ++k)
        diff |= computed[k] ^ ctx.scratch[k];
    SecureWipe(ctx.scratch, sizeof ctx.scratch);
    SecureWipe(ctx.hold, sizeof ctx.hold);
    ctx.held = 0;
    return diff == 0 ? kMethodOk : kMethodBadData;
}

// ---- Algorithm-tier glue ------------------------------------------------------------------

namespace {

int MethodInit(void* context, const void* params, const void* key) {
    const auto* p = static_cast<const Rc4MacParams*>(params);
    const auto* k = static_cast<const ByteSpan*>(key);
    return Rc4MacInit(*static_cast<Rc4MacContext*>(context), k->data, k->length, p->salt,
                      p->saltLength, p->macLength);
}

int EncryptUpdate(void* context, uint8_t* out, uint32_t* outLength, uint32_t capacity,
                  const uint8_t* in, uint32_t inLength, AlgInstance*, const CancelHook*) {
    if (capacity < inLength) return kMethodOutputTooSmall;
    Rc4MacEncryptUpdate(*static_cast<Rc4MacContext*>(context), out, in, inLength);
    *outLength = inLength;
    return kMethodOk;
}

int EncryptFinal(void* context, uint8_t* out, uint32_t* outLength, uint32_t capacity, AlgInstance*,
                 const CancelHook*) {
    auto& ctx = *static_cast<Rc4MacContext*>(context);
    if (capacity < ctx.macLength) return kMethodOutputTooSmall;
    Rc4MacEncryptFinal(ctx, out);
    *outLength = ctx.macLength;
    return kMethodOk;
}

int DecryptUpdate(void* context, uint8_t* out, uint32_t* outLength, uint32_t capacity,
                  const uint8_t* in, uint32_t inLength, AlgInstance*, const CancelHook*) {
    return Rc4MacDecryptUpdate(*static_cast<Rc4MacContext*>(context), out, outLength, capacity, in,
                               inLength);
}

int DecryptFinal(void* context, uint8_t*, uint32_t* outLength, uint32_t, AlgInstance*,
                 const CancelHook*) {
    *outLength = 0;
    return Rc4MacDecryptFinal(*static_cast<Rc4MacContext*>(context));
}

}  // namespace

const MethodTable kRc4MacEncryptMethod = {sizeof(Rc4MacContext), MethodInit, EncryptUpdate,
                                          EncryptFinal, nullptr};
const MethodTable kRc4MacDecryptMethod = {sizeof(Rc4MacContext), MethodInit, DecryptUpdate,
                                          DecryptFinal, nullptr};

}  // namespace qor::toolkit
