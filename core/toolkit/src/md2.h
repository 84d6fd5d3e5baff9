// MD2 (RFC 1319, with its checksum) over a caller-owned context. No allocation, no I/O.
#pragma once

#include <cstddef>
#include <cstdint>

namespace qor::toolkit {

// 52 bytes: state, checksum, count of buffered bytes, block buffer. All zero is the initial
// state.
struct Md2Context {
    uint8_t state[16];
    uint8_t checksum[16];
    uint32_t count;
    uint8_t buffer[16];
};
static_assert(sizeof(Md2Context) == 52);

inline constexpr size_t kMd2DigestSize = 16;

void Md2Init(Md2Context& ctx);
void Md2Update(Md2Context& ctx, const uint8_t* data, size_t length);
// Writes the 16-byte digest and clears the whole context, which is MD2's initial state.
void Md2Final(Md2Context& ctx, uint8_t digest[kMd2DigestSize]);

}  // namespace qor::toolkit
