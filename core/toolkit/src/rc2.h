// RC2 block primitive (RFC 2268): key expansion with effective key bits and single-block
// transforms. The CBC mode and padding live in block_cbc.cpp. No allocation, no I/O.
#pragma once

#include <cstddef>
#include <cstdint>

namespace qor::toolkit {

struct Rc2KeySchedule {
    uint16_t k[64];
};

inline constexpr size_t kRc2MaxKeyBytes = 128;
inline constexpr unsigned kRc2MaxEffectiveBits = 1024;

// key length 1..128 bytes, effective bits 1..1024 (callers validate; out-of-range input
// returns false and leaves the schedule zeroed). The 128-byte expansion scratch is wiped.
bool Rc2ExpandKey(Rc2KeySchedule& schedule, const uint8_t* key, size_t length,
                  unsigned effectiveBits);
void Rc2EncryptBlock(const Rc2KeySchedule& schedule, const uint8_t in[8], uint8_t out[8]);
void Rc2DecryptBlock(const Rc2KeySchedule& schedule, const uint8_t in[8], uint8_t out[8]);

}  // namespace qor::toolkit
