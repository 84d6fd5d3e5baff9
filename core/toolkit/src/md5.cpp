#include "md5.h"

#include <qor/secure_buffer.h>

#include <bit>
#include <cstring>

namespace qor::toolkit {

using qor::SecureWipe;

namespace {

inline uint32_t Load32(const uint8_t* p) {
    if constexpr (std::endian::native == std::endian::little) {
        uint32_t v;
        std::memcpy(&v, p, 4);
        return v;
    } else {
        return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
               static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
    }
}

inline void Store32(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
    p[2] = static_cast<uint8_t>(v >> 16);
    p[3] = static_cast<uint8_t>(v >> 24);
}

// The four round functions in forms with short dependency chains. In round 2 the two terms of
// (b & d) | (c & ~d) never share a bit, so they are added separately: the (c & ~d) term does not
// wait for b, the result of the previous step.
#define MD5_F(a, b, c, d, x, s, t)                \
    a += ((d) ^ ((b) & ((c) ^ (d)))) + (x) + (t); \
    a = std::rotl(a, s) + (b)
#define MD5_G(a, b, c, d, x, s, t) \
    a += ((c) & ~(d)) + (x) + (t); \
    a += (b) & (d);                \
    a = std::rotl(a, s) + (b)
#define MD5_H(a, b, c, d, x, s, t)      \
    a += ((b) ^ (c) ^ (d)) + (x) + (t); \
    a = std::rotl(a, s) + (b)
#define MD5_I(a, b, c, d, x, s, t)         \
    a += ((c) ^ ((b) | ~(d))) + (x) + (t); \
    a = std::rotl(a, s) + (b)

// Compresses whole 64-byte blocks straight from `p`, so long inputs are never copied.
void ProcessBlocks(uint32_t state[4], const uint8_t* p, size_t blocks) {
    uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
    uint32_t x[16];
    for (; blocks != 0; --blocks, p += 64) {
        for (int i = 0; i < 16; ++i)
            x[i] = Load32(p + 4 * i);
        const uint32_t aa = a, bb = b, cc = c, dd = d;

        MD5_F(a, b, c, d, x[0], 7, 0xd76aa478u);
        MD5_F(d, a, b, c, x[1], 12, 0xe8c7b756u);
        MD5_F(c, d, a, b, x[2], 17, 0x242070dbu);
        MD5_F(b, c, d, a, x[3], 22, 0xc1bdceeeu);
        MD5_F(a, b, c, d, x[4], 7, 0xf57c0fafu);
        MD5_F(d, a, b, c, x[5], 12, 0x4787c62au);
        MD5_F(c, d, a, b, x[6], 17, 0xa8304613u);
        MD5_F(b, c, d, a, x[7], 22, 0xfd469501u);
        MD5_F(a, b, c, d, x[8], 7, 0x698098d8u);
        MD5_F(d, a, b, c, x[9], 12, 0x8b44f7afu);
        MD5_F(c, d, a, b, x[10], 17, 0xffff5bb1u);
        MD5_F(b, c, d, a, x[11], 22, 0x895cd7beu);
        MD5_F(a, b, c, d, x[12], 7, 0x6b901122u);
        MD5_F(d, a, b, c, x[13], 12, 0xfd987193u);
        MD5_F(c, d, a, b, x[14], 17, 0xa679438eu);
        MD5_F(b, c, d, a, x[15], 22, 0x49b40821u);

        MD5_G(a, b, c, d, x[1], 5, 0xf61e2562u);
        MD5_G(d, a, b, c, x[6], 9, 0xc040b340u);
        MD5_G(c, d, a, b, x[11], 14, 0x265e5a51u);
        MD5_G(b, c, d, a, x[0], 20, 0xe9b6c7aau);
        MD5_G(a, b, c, d, x[5], 5, 0xd62f105du);
        MD5_G(d, a, b, c, x[10], 9, 0x02441453u);
        MD5_G(c, d, a, b, x[15], 14, 0xd8a1e681u);
        MD5_G(b, c, d, a, x[4], 20, 0xe7d3fbc8u);
        MD5_G(a, b, c, d, x[9], 5, 0x21e1cde6u);
        MD5_G(d, a, b, c, x[14], 9, 0xc33707d6u);
        MD5_G(c, d, a, b, x[3], 14, 0xf4d50d87u);
        MD5_G(b, c, d, a, x[8], 20, 0x455a14edu);
        MD5_G(a, b, c, d, x[13], 5, 0xa9e3e905u);
        MD5_G(d, a, b, c, x[2], 9, 0xfcefa3f8u);
        MD5_G(c, d, a, b, x[7], 14, 0x676f02d9u);
        MD5_G(b, c, d, a, x[12], 20, 0x8d2a4c8au);

        MD5_H(a, b, c, d, x[5], 4, 0xfffa3942u);
        MD5_H(d, a, b, c, x[8], 11, 0x8771f681u);
        MD5_H(c, d, a, b, x[11], 16, 0x6d9d6122u);
        MD5_H(b, c, d, a, x[14], 23, 0xfde5380cu);
        MD5_H(a, b, c, d, x[1], 4, 0xa4beea44u);
        MD5_H(d, a, b, c, x[4], 11, 0x4bdecfa9u);
        MD5_H(c, d, a, b, x[7], 16, 0xf6bb4b60u);
        MD5_H(b, c, d, a, x[10], 23, 0xbebfbc70u);
        MD5_H(a, b, c, d, x[13], 4, 0x289b7ec6u);
        MD5_H(d, a, b, c, x[0], 11, 0xeaa127fau);
        MD5_H(c, d, a, b, x[3], 16, 0xd4ef3085u);
        MD5_H(b, c, d, a, x[6], 23, 0x04881d05u);
        MD5_H(a, b, c, d, x[9], 4, 0xd9d4d039u);
        MD5_H(d, a, b, c, x[12], 11, 0xe6db99e5u);
        MD5_H(c, d, a, b, x[15], 16, 0x1fa27cf8u);
        MD5_H(b, c, d, a, x[2], 23, 0xc4ac5665u);

        MD5_I(a, b, c, d, x[0], 6, 0xf4292244u);
        MD5_I(d, a, b, c, x[7], 10, 0x432aff97u);
        MD5_I(c, d, a, b, x[14], 15, 0xab9423a7u);
        MD5_I(b, c, d, a, x[5], 21, 0xfc93a039u);
        MD5_I(a, b, c, d, x[12], 6, 0x655b59c3u);
        MD5_I(d, a, b, c, x[3], 10, 0x8f0ccc92u);
        MD5_I(c, d, a, b, x[10], 15, 0xffeff47du);
        MD5_I(b, c, d, a, x[1], 21, 0x85845dd1u);
        MD5_I(a, b, c, d, x[8], 6, 0x6fa87e4fu);
        MD5_I(d, a, b, c, x[15], 10, 0xfe2ce6e0u);
        MD5_I(c, d, a, b, x[6], 15, 0xa3014314u);
        MD5_I(b, c, d, a, x[13], 21, 0x4e0811a1u);
        MD5_I(a, b, c, d, x[4], 6, 0xf7537e82u);
        MD5_I(d, a, b, c, x[11], 10, 0xbd3af235u);
        MD5_I(c, d, a, b, x[2], 15, 0x2ad7d2bbu);
        MD5_I(b, c, d, a, x[9], 21, 0xeb86d391u);

        a += aa;
        b += bb;
        c += cc;
        d += dd;
    }
    state[0] = a;
    state[1] = b;
    state[2] = c;
    state[3] = d;
    SecureWipe(x, sizeof x);
}

#undef MD5_F
#undef MD5_G
#undef MD5_H
#undef MD5_I

}  // namespace

void Md5Init(Md5Context& ctx) {
    ctx.state[0] = 0x67452301u;
    ctx.state[1] = 0xefcdab89u;
    ctx.state[2] = 0x98badcfeu;
    ctx.state[3] = 0x10325476u;
    ctx.count[0] = 0;
    ctx.count[1] = 0;
    // Clearing the buffer leaves no bytes of an earlier message in a reused context.
    std::memset(ctx.buffer, 0, sizeof ctx.buffer);
}

void Md5Update(Md5Context& ctx, const uint8_t* data, size_t length) {
    if (length == 0) return;
    size_t used = (ctx.count[0] >> 3) & 63;
    // The bit count is kept modulo 2^64, as the padding records it.
    const uint64_t bits = (static_cast<uint64_t>(ctx.count[1]) << 32 | ctx.count[0]) +
                          (static_cast<uint64_t>(length) << 3);
    ctx.count[0] = static_cast<uint32_t>(bits);
    ctx.count[1] = static_cast<uint32_t>(bits >> 32);

    if (used != 0) {
        const size_t room = 64 - used;
        if (length < room) {
            std::memcpy(ctx.buffer + used, data, length);
            return;
        }
        std::memcpy(ctx.buffer + used, data, room);
        ProcessBlocks(ctx.state, ctx.buffer, 1);
        data += room;
        length -= room;
    }
    const size_t blocks = length / 64;
    if (blocks != 0) {
        ProcessBlocks(ctx.state, data, blocks);
        data += blocks * 64;
        length -= blocks * 64;
    }
    if (length != 0) std::memcpy(ctx.buffer, data, length);
}

void Md5Final(Md5Context& ctx, uint8_t digest[kMd5DigestSize]) {
    size_t used = (ctx.count[0] >> 3) & 63;
    ctx.buffer[used++] = 0x80;
    // The 8-byte length needs bytes 56..63; when they are taken, it goes in one more block.
    if (used > 56) {
        std::memset(ctx.buffer + used, 0, 64 - used);
        ProcessBlocks(ctx.state, ctx.buffer, 1);
        used = 0;
    }
    std::memset(ctx.buffer + used, 0, 56 - used);
    Store32(ctx.buffer + 56, ctx.count[0]);
    Store32(ctx.buffer + 60, ctx.count[1]);
    ProcessBlocks(ctx.state, ctx.buffer, 1);
    for (int i = 0; i < 4; ++i)
        Store32(digest + 4 * i, ctx.state[i]);
    Md5Init(ctx);
}

void Md5(const uint8_t* data, size_t length, uint8_t digest[kMd5DigestSize]) {
    Md5Context ctx;
    Md5Init(ctx);
    Md5Update(ctx, data, length);
    Md5Final(ctx, digest);
}

}  // namespace qor::toolkit
