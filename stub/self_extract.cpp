#include "self_extract.h"

#include <qor/secure_buffer.h>
#include <qor/toolkit.h>

#include <algorithm>
#include <array>
#include <string_view>

namespace qor::stub {
namespace {

uint32_t Le16(const uint8_t* p) {
    return static_cast<uint32_t>(p[0] | (p[1] << 8));
}
uint32_t Le32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
uint64_t Le64(const uint8_t* p) {
    return Le32(p) | (static_cast<uint64_t>(Le32(p + 4)) << 32);
}

// Grows the image end to cover [offset, offset + length); false when that range overflows or
// lies beyond the file, which no intact image does.
bool Cover(uint64_t offset, uint64_t length, uint64_t fileSize, uint64_t& end) {
    if (offset > fileSize || length > fileSize - offset) return false;
    end = std::max(end, offset + length);
    return true;
}

// A table of `count` entries of `entrySize` bytes at `offset`, wholly inside the file.
bool TableFits(uint64_t offset, uint64_t count, uint64_t entrySize, uint64_t fileSize) {
    if (entrySize != 0 && count > fileSize / entrySize) return false;
    return offset <= fileSize && count * entrySize <= fileSize - offset;
}

constexpr uint32_t kSectionNull = 0;
constexpr uint32_t kSectionNoBits = 8;
constexpr uint32_t kManyPrograms = 0xffff;  // the true count stands in section 0

}  // namespace

std::optional<uint64_t> ElfImageLength(ByteSource& source) {
    const uint64_t fileSize = source.Size();
    std::array<uint8_t, 64> header{};
    if (fileSize < 52 || !source.ReadAt(0, header.data(), 16)) return std::nullopt;
    if (header[0] != 0x7f || header[1] != 'E' || header[2] != 'L' || header[3] != 'F')
        return std::nullopt;
    const bool wide = header[4] == 2;
    if ((header[4] != 1 && !wide) || header[5] != 1) return std::nullopt;
    const size_t headerSize = wide ? 64 : 52;
    if (fileSize < headerSize || !source.ReadAt(0, header.data(), headerSize)) return std::nullopt;

    const uint8_t* h = header.data();
    const uint64_t phoff = wide ? Le64(h + 32) : Le32(h + 28);
    const uint64_t shoff = wide ? Le64(h + 40) : Le32(h + 32);
    const uint32_t phentsize = Le16(h + (wide ? 54 : 42));
    uint64_t phnum = Le16(h + (wide ? 56 : 44));
    const uint32_t shentsize = Le16(h + (wide ? 58 : 46));
    uint64_t shnum = Le16(h + (wide ? 60 : 48));
    const uint32_t minPh = wide ? 56 : 32;
    const uint32_t minSh = wide ? 64 : 40;

    uint64_t end = headerSize;
    std::array<uint8_t, 64> entry{};

    if (shoff != 0) {
        if (shentsize < minSh || !TableFits(shoff, 1, shentsize, fileSize)) return std::nullopt;
        // Counts too large for the header live in the first section header.
        if (shnum == 0 || phnum == kManyPrograms) {
            if (!source.ReadAt(shoff, entry.data(), minSh)) return std::nullopt;
            if (shnum == 0) shnum = wide ? Le64(entry.data() + 32) : Le32(entry.data() + 20);
            if (phnum == kManyPrograms) phnum = Le32(entry.data() + (wide ? 44 : 28));
        }
        if (!TableFits(shoff, shnum, shentsize, fileSize)) return std::nullopt;
        if (!Cover(shoff, shnum * shentsize, fileSize, end)) return std::nullopt;
        for (uint64_t i = 0; i < shnum; ++i) {
            if (!source.ReadAt(shoff + i * shentsize, entry.data(), minSh)) return std::nullopt;
            const uint8_t* s = entry.data();
            const uint32_t type = Le32(s + 4);
            if (type == kSectionNull || type == kSectionNoBits) continue;
            const uint64_t offset = wide ? Le64(s + 24) : Le32(s + 16);
            const uint64_t size = wide ? Le64(s + 32) : Le32(s + 20);
            if (!Cover(offset, size, fileSize, end)) return std::nullopt;
        }
    } else if (phnum == kManyPrograms) {
        return std::nullopt;
    }

    if (phnum != 0) {
        if (phentsize < minPh || !TableFits(phoff, phnum, phentsize, fileSize)) return std::nullopt;
        if (!Cover(phoff, phnum * phentsize, fileSize, end)) return std::nullopt;
        for (uint64_t i = 0; i < phnum; ++i) {
            if (!source.ReadAt(phoff + i * phentsize, entry.data(), minPh)) return std::nullopt;
            const uint8_t* p = entry.data();
            const uint64_t offset = wide ? Le64(p + 8) : Le32(p + 4);
            const uint64_t size = wide ? Le64(p + 32) : Le32(p + 16);
            if (!Cover(offset, size, fileSize, end)) return std::nullopt;
        }
    }
    return end;
}

std::optional<uint64_t> PeImageLength(ByteSource& source) {
    const uint64_t fileSize = source.Size();
    std::array<uint8_t, 64> dos{};
    if (fileSize < dos.size() || !source.ReadAt(0, dos.data(), dos.size())) return std::nullopt;
    if (dos[0] != 'M' || dos[1] != 'Z') return std::nullopt;
    const uint64_t pe = Le32(dos.data() + 0x3c);

    std::array<uint8_t, 24> coff{};  // signature and file header
    if (!TableFits(pe, 1, coff.size(), fileSize) || !source.ReadAt(pe, coff.data(), coff.size()))
        return std::nullopt;
    if (coff[0] != 'P' || coff[1] != 'E' || coff[2] != 0 || coff[3] != 0) return std::nullopt;
    const uint32_t sections = Le16(coff.data() + 6);
    const uint64_t symbolTable = Le32(coff.data() + 12);
    const uint64_t symbols = Le32(coff.data() + 16);
    const uint32_t optionalSize = Le16(coff.data() + 20);

    const uint64_t optional = pe + coff.size();
    std::array<uint8_t, 2> magicBytes{};
    if (optionalSize < magicBytes.size() || !TableFits(optional, 1, optionalSize, fileSize) ||
        !source.ReadAt(optional, magicBytes.data(), magicBytes.size()))
        return std::nullopt;
    const uint32_t magic = Le16(magicBytes.data());
    if (magic != 0x10b && magic != 0x20b) return std::nullopt;
    const uint32_t directories = magic == 0x20b ? 112 : 96;  // start of the data directories
    if (optionalSize < directories) return std::nullopt;
    std::array<uint8_t, 112> fixed{};
    if (!source.ReadAt(optional, fixed.data(), directories)) return std::nullopt;

    uint64_t end = 0;
    if (!Cover(0, Le32(fixed.data() + 60), fileSize, end)) return std::nullopt;  // headers
    if (!Cover(optional, optionalSize, fileSize, end)) return std::nullopt;

    // The certificate table is the one directory addressed by file offset, not by RVA.
    constexpr uint32_t kCertificateEntry = 4;
    const uint64_t directoryCount = Le32(fixed.data() + directories - 4);
    const uint64_t certificate = optional + directories + kCertificateEntry * 8;
    if (directoryCount > kCertificateEntry && certificate + 8 <= optional + optionalSize) {
        std::array<uint8_t, 8> d{};
        if (!source.ReadAt(certificate, d.data(), d.size())) return std::nullopt;
        const uint64_t offset = Le32(d.data()), size = Le32(d.data() + 4);
        if (size != 0 && !Cover(offset, size, fileSize, end)) return std::nullopt;
    }

    const uint64_t table = optional + optionalSize;
    constexpr uint32_t kSectionHeader = 40;
    if (!TableFits(table, sections, kSectionHeader, fileSize)) return std::nullopt;
    if (!Cover(table, uint64_t{sections} * kSectionHeader, fileSize, end)) return std::nullopt;
    for (uint32_t i = 0; i < sections; ++i) {
        std::array<uint8_t, kSectionHeader> s{};
        if (!source.ReadAt(table + uint64_t{i} * kSectionHeader, s.data(), s.size()))
            return std::nullopt;
        const uint64_t size = Le32(s.data() + 16), offset = Le32(s.data() + 20);
        if (size != 0 && !Cover(offset, size, fileSize, end)) return std::nullopt;
    }

    // Builds that keep their symbols carry the COFF symbol table and, right behind it, the
    // string table that begins with its own length.
    if (symbolTable != 0) {
        constexpr uint64_t kSymbolSize = 18;
        if (!TableFits(symbolTable, symbols, kSymbolSize, fileSize)) return std::nullopt;
        const uint64_t strings = symbolTable + symbols * kSymbolSize;
        if (!Cover(symbolTable, symbols * kSymbolSize, fileSize, end)) return std::nullopt;
        std::array<uint8_t, 4> lengthBytes{};
        if (!TableFits(strings, 1, lengthBytes.size(), fileSize) ||
            !source.ReadAt(strings, lengthBytes.data(), lengthBytes.size()))
            return std::nullopt;
        const uint64_t stringsSize = std::max<uint64_t>(Le32(lengthBytes.data()), 4);
        if (!Cover(strings, stringsSize, fileSize, end)) return std::nullopt;
    }
    return end;
}

std::optional<uint64_t> ImageLength(ByteSource& source) {
    if (auto elf = ElfImageLength(source)) return elf;
    return PeImageLength(source);
}

namespace {

// The value of the first item of `type` with `flag`, when it is exactly `size` bytes long.
// Items other than the wanted one must have lengths 1 to 63, as every trailer writer uses.
const uint8_t* FindItem(const uint8_t* trailer, size_t length, uint8_t flag, uint8_t type,
                        size_t size) {
    const size_t itemsEnd = length - 2;  // the record's own length closes it
    size_t at = 2;                       // after the two header bytes
    while (at + 4 <= itemsEnd) {
        const size_t n = Le16(trailer + at + 2);
        if (trailer[at] == flag && trailer[at + 1] == type) {
            if (n != size || n > itemsEnd - (at + 4)) return nullptr;
            return trailer + at + 4;
        }
        if (n < 1 || n > 63 || n > itemsEnd - (at + 4)) return nullptr;
        at += 4 + n;
    }
    return nullptr;
}

const uint8_t* FindEitherFlag(const uint8_t* trailer, size_t length, uint8_t type, size_t size) {
    if (const uint8_t* value = FindItem(trailer, length, 1, type, size)) return value;
    return FindItem(trailer, length, 0, type, size);
}

}  // namespace

std::optional<ShareTrailer> ParseShareTrailer(const uint8_t* trailer, size_t length) {
    if (length != kShareTrailerLength || Le16(trailer + length - 2) != kShareTrailerLength)
        return std::nullopt;
    const uint8_t* check = FindEitherFlag(trailer, length, 4, kCheckLength);
    const uint8_t* salt = FindEitherFlag(trailer, length, 5, kSaltLength);
    if (!check || !salt) return std::nullopt;
    ShareTrailer out{};
    std::copy(check, check + kCheckLength, out.check);
    std::copy(salt, salt + kSaltLength, out.salt);
    return out;
}

bool DeriveShareKey(const uint8_t* password, size_t passwordLength, const uint8_t salt[kSaltLength],
                    uint8_t key[16], uint8_t check[16]) {
    DigestObject* digest = nullptr;
    if (DigestCreate(&digest, kDigestMd5) != kStatusOk) return false;
    const auto length = static_cast<unsigned int>(passwordLength);
    unsigned char* result = nullptr;
    unsigned int resultLength = 0;
    bool ok = DigestUpdate(digest, password, length) == kStatusOk &&
              DigestUpdate(digest, salt, kSaltLength) == kStatusOk &&
              DigestFinal(&result, &resultLength, digest, password, length) == kStatusOk &&
              resultLength == 16;
    if (ok) std::copy(result, result + 16, key);
    ok = ok && DigestUpdate(digest, key, 16) == kStatusOk &&
         DigestFinal(&result, &resultLength, digest, key, 16) == kStatusOk && resultLength == 16;
    if (ok) std::copy(result, result + 16, check);
    // Destroying the digest wipes the key it last produced.
    DigestDestroy(&digest);
    if (!ok) {
        SecureWipe(key, 16);
        SecureWipe(check, 16);
    }
    return ok;
}

std::optional<std::string> SafeStoredName(const uint8_t* value, size_t length) {
    if (length > 0 && value[length - 1] == 0) --length;
    if (length == 0 || length > 255) return std::nullopt;
    std::string name(reinterpret_cast<const char*>(value), length);
    if (name == "." || name == "..") return std::nullopt;
    for (unsigned char c : name) {
        if (c < 0x20 || c == 0x7f) return std::nullopt;
        if (std::string_view("/\\:*?\"<>|").find(static_cast<char>(c)) != std::string_view::npos)
            return std::nullopt;
    }
    // Windows drops trailing dots and blanks, so such a name would land on another file.
    if (name.back() == '.' || name.back() == ' ') return std::nullopt;
    // Device names open a device in every folder, whatever extension follows.
    std::string base = name.substr(0, name.find('.'));
    while (!base.empty() && base.back() == ' ')
        base.pop_back();
    for (char& c : base)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    if (base == "CON" || base == "PRN" || base == "AUX" || base == "NUL" || base == "CONIN$" ||
        base == "CONOUT$")
        return std::nullopt;
    if (base.size() == 4 && (base.compare(0, 3, "COM") == 0 || base.compare(0, 3, "LPT") == 0) &&
        base[3] >= '0' && base[3] <= '9')
        return std::nullopt;
    return name;
}

std::string Printable(const std::string& text) {
    std::string out = text;
    for (char& c : out) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7f) c = '?';
    }
    return out;
}

}  // namespace qor::stub
