#include "file_trailer.h"

#include <algorithm>
#include <cstring>

namespace qor::engine {

namespace {

void Put16(std::vector<uint8_t>& out, uint16_t value) {
    out.push_back(static_cast<uint8_t>(value & 0xff));
    out.push_back(static_cast<uint8_t>(value >> 8));
}

void PutItemHeader(std::vector<uint8_t>& out, uint8_t flag, uint8_t type, uint16_t length) {
    out.push_back(flag);
    out.push_back(type);
    Put16(out, length);
}

uint16_t Get16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

bool ReadExact(platform::File& file, void* buffer, uint32_t size) {
    uint32_t got = 0;
    return file.Read(buffer, size, &got) && got == size;
}

}  // namespace

std::vector<uint8_t> BuildTrailer(std::string_view sourceName, int32_t plaintextSize, uint16_t mode,
                                  const uint8_t* check, const uint8_t* salt) {
    const bool share = mode == 1;
    std::vector<uint8_t> out;
    out.reserve(kShareTrailerSize);
    out.push_back(1);
    out.push_back(2);
    PutItemHeader(out, 1, kItemSourceName, kTrailerNameSize);
    // A short name keeps its terminator; the bytes after it are zero rather than left over.
    uint8_t name[kTrailerNameSize] = {};
    std::memcpy(name, sourceName.data(), std::min(sourceName.size(), kTrailerNameSize));
    out.insert(out.end(), name, name + kTrailerNameSize);
    PutItemHeader(out, 1, kItemPlaintextSize, 4);
    const uint32_t size = static_cast<uint32_t>(plaintextSize);
    for (int shift = 0; shift < 32; shift += 8)
        out.push_back(static_cast<uint8_t>(size >> shift));
    PutItemHeader(out, 0, kItemMode, 2);
    Put16(out, mode);
    if (share) {
        PutItemHeader(out, 0, kItemCheckValue, kShareValueSize);
        out.insert(out.end(), check, check + kShareValueSize);
        PutItemHeader(out, 0, kItemSalt, kShareValueSize);
        out.insert(out.end(), salt, salt + kShareValueSize);
    }
    Put16(out, static_cast<uint16_t>(out.size() + 2));
    return out;
}

bool ParseTrailer(const uint8_t* bytes, size_t length, TrailerInfo* info) {
    if (length < 2) return false;
    if (bytes[1] == 2 && length >= kTrailerModeAt + 2) {
        info->version = 2;
        info->mode = Get16(bytes + kTrailerModeAt);
        info->plaintextSize =
            static_cast<int32_t>(static_cast<uint32_t>(Get16(bytes + kTrailerSizeAt)) |
                                 (static_cast<uint32_t>(Get16(bytes + kTrailerSizeAt + 2)) << 16));
        return true;
    }
    if (bytes[1] == 1 && length >= kTrailerV1SizeAt + 4) {
        info->version = 1;
        info->mode = 2;
        info->plaintextSize = static_cast<int32_t>(
            static_cast<uint32_t>(Get16(bytes + kTrailerV1SizeAt)) |
            (static_cast<uint32_t>(Get16(bytes + kTrailerV1SizeAt + 2)) << 16));
        return true;
    }
    return false;
}

int FindTrailerItem(platform::File& file, uint8_t flag, uint8_t type) {
    uint64_t length = 0;
    if (!file.Size(&length) || length < 2) return -1;
    uint8_t field[2];
    if (!file.Seek(length - 2) || !ReadExact(file, field, 2)) return -1;
    const uint16_t trailerLength = Get16(field);
    if (trailerLength < 2 || trailerLength > length - 2) return -1;
    if (!file.Seek(length - trailerLength + 2)) return -1;
    for (;;) {
        uint8_t head[2];
        if (!ReadExact(file, head, 2)) return -1;
        if (head[0] == flag && head[1] == type) return 0;
        if (!ReadExact(file, field, 2)) return -1;
        const uint16_t n = Get16(field);
        if (n < 1 || n > 63) return -1;
        uint8_t skip[63];
        if (!ReadExact(file, skip, n)) return -1;
    }
}

}  // namespace qor::engine
