// Hand-made program headers for the self-extracting program's image-length parsers: the
// smallest well-formed ELF64 and PE files whose extents the parsers must cover. Shared by the
// stub's tests and the fuzz seeds.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace qor::test {

using Bytes = std::vector<uint8_t>;

inline void PutLe16(Bytes& b, size_t at, uint32_t v) {
    b[at] = static_cast<uint8_t>(v);
    b[at + 1] = static_cast<uint8_t>(v >> 8);
}
inline void PutLe32(Bytes& b, size_t at, uint64_t v) {
    for (size_t i = 0; i < 4; ++i)
        b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}
inline void PutLe64(Bytes& b, size_t at, uint64_t v) {
    for (size_t i = 0; i < 8; ++i)
        b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

// A minimal ELF64 file: header, two program headers, one section, section table last.
inline Bytes MinimalElf64() {
    Bytes b(0x400, 0);
    b[0] = 0x7f, b[1] = 'E', b[2] = 'L', b[3] = 'F', b[4] = 2, b[5] = 1;
    PutLe64(b, 32, 64);     // e_phoff
    PutLe64(b, 40, 0x300);  // e_shoff
    PutLe16(b, 54, 56);
    PutLe16(b, 56, 2);
    PutLe16(b, 58, 64);
    PutLe16(b, 60, 2);
    PutLe64(b, 64 + 8, 0x100);       // p_offset
    PutLe64(b, 64 + 32, 0x80);       // p_filesz
    PutLe64(b, 64 + 56 + 8, 0x180);  // second segment
    PutLe64(b, 64 + 56 + 32, 0x40);
    PutLe32(b, 0x300 + 64 + 4, 1);  // section 1: program bits
    PutLe64(b, 0x300 + 64 + 24, 0x200);
    PutLe64(b, 0x300 + 64 + 32, 0x10);
    return b;
}

// A minimal PE file (PE32 for magic 0x10b, PE32+ for 0x20b): headers up to 0x200, two sections,
// optional certificate table.
inline Bytes MinimalPe(uint32_t magic) {
    Bytes b(0x600, 0);
    b[0] = 'M', b[1] = 'Z';
    PutLe32(b, 0x3c, 0x80);
    b[0x80] = 'P', b[0x81] = 'E';
    PutLe16(b, 0x84 + 2, 2);  // sections
    const uint32_t directories = magic == 0x20b ? 112 : 96;
    const uint32_t optionalSize = directories + 16 * 8;
    PutLe16(b, 0x84 + 16, optionalSize);
    const size_t optional = 0x98;
    PutLe16(b, optional, magic);
    PutLe32(b, optional + 60, 0x200);  // SizeOfHeaders
    PutLe32(b, optional + directories - 4, 16);
    const size_t table = optional + optionalSize;
    PutLe32(b, table + 16, 0x200), PutLe32(b, table + 20, 0x200);
    PutLe32(b, table + 40 + 16, 0x100), PutLe32(b, table + 40 + 20, 0x400);
    b.resize(0x500);
    return b;
}

}  // namespace qor::test
