// The plain record at the end of every encrypted file: the source's name and size, the mode,
// and for file sharing the password check value and the salt.
#pragma once

#include <qor/platform/files.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qor::engine {

// Item types of the trailer.
enum TrailerItem : uint8_t {
    kItemSourceName = 1,
    kItemPlaintextSize = 2,
    kItemMode = 3,
    kItemCheckValue = 4,
    kItemSalt = 5,
};

inline constexpr size_t kTrailerNameSize = 13;
inline constexpr size_t kShareValueSize = 16;

// Offsets of the values; every item is flag, type, 16-bit length, value.
inline constexpr size_t kTrailerNameAt = 6;
inline constexpr size_t kTrailerSizeAt = kTrailerNameAt + kTrailerNameSize + 4;
inline constexpr size_t kTrailerModeAt = kTrailerSizeAt + 4 + 4;
inline constexpr size_t kTrailerCheckAt = kTrailerModeAt + 2 + 4;
inline constexpr size_t kTrailerSaltAt = kTrailerCheckAt + kShareValueSize + 4;
inline constexpr size_t kLocalTrailerSize = kTrailerModeAt + 2 + 2;
inline constexpr size_t kShareTrailerSize = kTrailerSaltAt + kShareValueSize + 2;
// The older format kept the size one byte further on.
inline constexpr size_t kTrailerV1SizeAt = 24;

static_assert(kTrailerSizeAt == 23 && kTrailerModeAt == 31);
static_assert(kTrailerCheckAt == 37 && kTrailerSaltAt == 57);
static_assert(kLocalTrailerSize == 35 && kShareTrailerSize == 75);

// The trailer for a source whose last path component is `sourceName`. `check` and `salt` are
// 16 bytes each and used only in file-sharing mode; `plaintextSize` is -1 when unknown.
std::vector<uint8_t> BuildTrailer(std::string_view sourceName, int32_t plaintextSize, uint16_t mode,
                                  const uint8_t* check, const uint8_t* salt);

struct TrailerInfo {
    int version = 0;
    uint16_t mode = 0;
    int32_t plaintextSize = 0;
};
// Reads a whole trailer: version 2, or version 1 of older files (always local). False when the
// bytes are no trailer of a known version.
bool ParseTrailer(const uint8_t* bytes, size_t length, TrailerInfo* info);

// Positions `file` at the length field of the item with this flag and type: 0 found, -1 not.
int FindTrailerItem(platform::File& file, uint8_t flag, uint8_t type);

}  // namespace qor::engine
