#include "md5_generator.h"

#include <cstring>

namespace qor::toolkit {

namespace {

// a = a + b modulo 2^128, both read big-endian.
void Add128(uint8_t a[16], const uint8_t b[16]) {
    unsigned carry = 0;
    for (int i = 15; i >= 0; --i) {
        unsigned sum = a[i] + b[i] + carry;  // <= 0x1ff
        a[i] = static_cast<uint8_t>(sum);
        carry = sum >> 8;
    }
}

void Increment128(uint8_t a[16]) {
    for (int i = 15; i >= 0; --i) {
        if (++a[i] != 0) return;
    }
}

}  // namespace

void Md5GeneratorInit(Md5GeneratorState& g) {
    std::memset(&g, 0, sizeof g);
    g.phase = 2;
    g.blockLength = 16;
    Md5Init(g.H);
}

void Md5GeneratorSeed(Md5GeneratorState& g, const uint8_t* bytes, size_t length) {
    if (g.phase == 2) {
        // T is the digest of nothing with its lowest bit set: odd, so +T runs through every
        // 128-bit value before S repeats.
        Md5Final(g.H, g.T);
        g.T[15] |= 1;
    }
    if (g.phase > 0) --g.phase;
    if (g.phase == 0 && g.pending == 0) Md5Update(g.H, g.S, sizeof g.S);
    Md5Update(g.H, bytes, length);
    g.pending = 1;
}

void Md5GeneratorGenerate(Md5GeneratorState& g, uint8_t* out, size_t length) {
    if (g.pending == 1) {
        g.pending = 0;
        g.available = 0;
        Md5Final(g.H, g.S);
    }
    while (g.available < length) {
        if (g.available != 0) std::memcpy(out, g.O + (16 - g.available), g.available);
        out += g.available;
        length -= g.available;
        Md5Update(g.H, g.S, sizeof g.S);
        Md5Final(g.H, g.O);
        g.available = 16;
        if (g.phase > 0) {
            Increment128(g.S);
        } else {
            Add128(g.S, g.T);
        }
    }
    if (length != 0) std::memcpy(out, g.O + (16 - g.available), length);
    g.available -= static_cast<uint32_t>(length);
}

}  // namespace qor::toolkit
