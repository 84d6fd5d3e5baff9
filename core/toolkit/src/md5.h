// MD5 (RFC 1321) over a caller-owned context. No allocation, no I/O.
#pragma once

#include <cstddef>
#include <cstdint>

namespace qor::toolkit {

// 88 bytes, as the stored context is laid out: chaining words, bit count (low word first),
// block buffer.
struct Md5Context {
    uint32_t state[4];
    uint32_t count[2];
    uint8_t buffer[64];
};
static_assert(sizeof(Md5Context) == 88);

inline constexpr size_t kMd5DigestSize = 16;

void Md5Init(Md5Context& ctx);
void Md5Update(Md5Context& ctx, const uint8_t* data, size_t length);
// Writes the 16-byte digest and re-initialises the context for a new message.
void Md5Final(Md5Context& ctx, uint8_t digest[kMd5DigestSize]);

// One-shot helper for key derivations and checks.
void Md5(const uint8_t* data, size_t length, uint8_t digest[kMd5DigestSize]);

}  // namespace qor::toolkit
