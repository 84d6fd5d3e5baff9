// DES block primitive (FIPS 46): key schedule and single-block transforms. The CBC mode and
// padding live in block_cbc.cpp. No allocation, no I/O.
#pragma once

#include <cstdint>

namespace qor::toolkit {

struct DesKeySchedule {
    uint32_t subkeys[32];  // 16 rounds x 2 words, in encryption order
};

// Parity bits of the key are ignored, as DES prescribes.
void DesSetKey(DesKeySchedule& schedule, const uint8_t key[8]);
void DesEncryptBlock(const DesKeySchedule& schedule, const uint8_t in[8], uint8_t out[8]);
void DesDecryptBlock(const DesKeySchedule& schedule, const uint8_t in[8], uint8_t out[8]);

}  // namespace qor::toolkit
