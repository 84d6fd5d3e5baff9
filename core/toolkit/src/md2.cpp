#include "md2.h"

#include <qor/secure_buffer.h>

#include <cstring>

namespace qor::toolkit {

using qor::SecureWipe;

namespace {

// Permutation of 0..255 built from the digits of pi.
constexpr uint8_t kPiSubst[256] = {
    41,  46,  67,  201, 162, 216, 124, 1,   61,  54,  84,  161, 236, 240, 6,   19,  98,  167, 5,
    243, 192, 199, 115, 140, 152, 147, 43,  217, 188, 76,  130, 202, 30,  155, 87,  60,  253, 212,
    224, 22,  103, 66,  111, 24,  138, 23,  229, 18,  190, 78,  196, 214, 218, 158, 222, 73,  160,
    251, 245, 142, 187, 47,  238, 122, 169, 104, 121, 145, 21,  178, 7,   63,  148, 194, 16,  137,
    11,  34,  95,  33,  128, 127, 93,  154, 90,  144, 50,  39,  53,  62,  204, 231, 191, 247, 151,
    3,   255, 25,  48,  179, 72,  165, 181, 209, 215, 94,  146, 42,  172, 86,  170, 198, 79,  184,
    56,  210, 150, 164, 125, 182, 118, 252, 107, 226, 156, 116, 4,   241, 69,  157, 112, 89,  100,
    113, 135, 32,  134, 91,  207, 101, 230, 45,  168, 2,   27,  96,  37,  173, 174, 176, 185, 246,
    28,  70,  97,  105, 52,  64,  126, 15,  85,  71,  163, 35,  221, 81,  175, 58,  195, 92,  249,
    206, 186, 197, 234, 38,  44,  83,  13,  110, 133, 40,  132, 9,   211, 223, 205, 244, 65,  129,
    77,  82,  106, 220, 55,  200, 108, 193, 171, 250, 36,  225, 123, 8,   12,  189, 177, 74,  120,
    136, 149, 139, 227, 99,  232, 109, 233, 203, 213, 254, 59,  0,   29,  57,  242, 239, 183, 14,
    102, 88,  208, 228, 166, 119, 114, 248, 235, 117, 75,  10,  49,  68,  80,  180, 143, 237, 31,
    26,  219, 153, 141, 51,  159, 17,  131, 20};

// Mixes one 16-byte block into the state. The checksum is not touched, because the final
// block (the checksum itself) must be compressed without being summed.
void Compress(uint8_t state[16], const uint8_t block[16]) {
    uint8_t x[48];
    for (int i = 0; i < 16; ++i) {
        x[i] = state[i];
        x[16 + i] = block[i];
        x[32 + i] = static_cast<uint8_t>(state[i] ^ block[i]);
    }
    unsigned t = 0;
    for (unsigned round = 0; round < 18; ++round) {
        for (int k = 0; k < 48; ++k)
            t = x[k] ^= kPiSubst[t];
        t = (t + round) & 0xff;
    }
    std::memcpy(state, x, 16);
    SecureWipe(x, sizeof x);
}

// The checksum's running byte L carries over from block to block; it always equals the last
// checksum byte written, so it need not be stored separately.
void UpdateChecksum(uint8_t checksum[16], const uint8_t block[16]) {
    uint8_t l = checksum[15];
    for (int i = 0; i < 16; ++i)
        l = checksum[i] ^= kPiSubst[block[i] ^ l];
}

void ProcessBlock(Md2Context& ctx, const uint8_t block[16]) {
    Compress(ctx.state, block);
    UpdateChecksum(ctx.checksum, block);
}

}  // namespace

void Md2Init(Md2Context& ctx) {
    SecureWipe(&ctx, sizeof ctx);
}

void Md2Update(Md2Context& ctx, const uint8_t* data, size_t length) {
    if (length == 0) return;
    if (ctx.count != 0) {
        const size_t room = 16 - ctx.count;
        if (length < room) {
            std::memcpy(ctx.buffer + ctx.count, data, length);
            ctx.count += static_cast<uint32_t>(length);
            return;
        }
        std::memcpy(ctx.buffer + ctx.count, data, room);
        ProcessBlock(ctx, ctx.buffer);
        data += room;
        length -= room;
    }
    for (; length >= 16; data += 16, length -= 16)
        ProcessBlock(ctx, data);
    std::memcpy(ctx.buffer, data, length);
    ctx.count = static_cast<uint32_t>(length);
}

void Md2Final(Md2Context& ctx, uint8_t digest[kMd2DigestSize]) {
    // Pad with n bytes of value n (1..16), so a full block of 16s follows an aligned message.
    const uint32_t pad = 16 - ctx.count;
    std::memset(ctx.buffer + ctx.count, static_cast<int>(pad), pad);
    ProcessBlock(ctx, ctx.buffer);
    Compress(ctx.state, ctx.checksum);
    std::memcpy(digest, ctx.state, kMd2DigestSize);
    SecureWipe(&ctx, sizeof ctx);
}

}  // namespace qor::toolkit
