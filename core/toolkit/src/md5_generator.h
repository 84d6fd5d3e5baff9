// The MD5-based pseudo-random generator. Its exact output sequence matters: the key streams
// that wrap content keys for password recipients of stored files come from it.
//
// State: S (16 bytes) is hashed to give each 16-byte output block O; after each block S steps
// by +1 while fewer than two seed calls have been made, and by +T afterwards, where T is fixed
// by the first seed call. Seeding absorbs into a running MD5 context H that is folded into S
// at the next output; a seed between two generate calls drops the rest of the current block.
#pragma once

#include <cstddef>
#include <cstdint>

#include "md5.h"

namespace qor::toolkit {

struct Md5GeneratorState {
    uint32_t pending;      // seed material absorbed since the last output step began
    uint32_t phase;        // 2 at start, lowered by each seed call down to 0
    uint32_t blockLength;  // always 16
    uint8_t S[16];
    uint8_t O[16];
    uint8_t T[16];
    uint32_t available;  // unused bytes at the end of O
    Md5Context H;
};

void Md5GeneratorInit(Md5GeneratorState& g);
void Md5GeneratorSeed(Md5GeneratorState& g, const uint8_t* bytes, size_t length);
void Md5GeneratorGenerate(Md5GeneratorState& g, uint8_t* out, size_t length);

}  // namespace qor::toolkit
