// The pieces of the self-extracting decryptor that do not touch the operating system: finding
// where the program's own image ends, reading the file-sharing trailer, deriving the key from
// the one-time password, and judging the file name stored in the envelope.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace qor::stub {

// Random access to the bytes of a program file.
class ByteSource {
  public:
    virtual ~ByteSource() = default;
    virtual uint64_t Size() const = 0;
    // Exactly `length` bytes at `offset`; false when they cannot all be read.
    virtual bool ReadAt(uint64_t offset, uint8_t* out, size_t length) = 0;
};

// Where the program image at the start of `source` ends: for ELF the end of the section header
// table, of every section's and every program header's file extent; for PE the end of the
// headers, of every section's raw data, of the certificate table and of the COFF symbol and
// string tables. Whatever the product appended follows at that offset. Nothing when the
// headers are not a well-formed little-endian ELF or PE image, or point beyond the file.
std::optional<uint64_t> ElfImageLength(ByteSource& source);
std::optional<uint64_t> PeImageLength(ByteSource& source);
// Tries ELF, then PE.
std::optional<uint64_t> ImageLength(ByteSource& source);

inline constexpr size_t kShareTrailerLength = 75;
inline constexpr size_t kSaltLength = 16;
inline constexpr size_t kCheckLength = 16;

struct ShareTrailer {
    uint8_t check[kCheckLength];
    uint8_t salt[kSaltLength];
};

// Reads the check value and the salt from the last 75 bytes of a file-sharing file. Items are
// found by flag and type (flag 1 before flag 0), as every reader of these trailers does, so a
// writer may order them freely; the record must end in its own length 75.
std::optional<ShareTrailer> ParseShareTrailer(const uint8_t* trailer, size_t length);

// key = MD5(password, salt, password); check = MD5(key, key). False when the digest fails.
bool DeriveShareKey(const uint8_t* password, size_t passwordLength, const uint8_t salt[kSaltLength],
                    uint8_t key[16], uint8_t check[16]);

// The stored name (its terminating zero, when present, removed) when it is a plain file name
// that lands in the output folder and nowhere else on either platform; nothing for an empty
// name, ".", "..", a folder separator, a drive or stream colon, a control character, a
// character Windows refuses in names, a trailing dot or blank, or a device name.
std::optional<std::string> SafeStoredName(const uint8_t* value, size_t length);

// The name with every control character replaced, fit to be shown on a terminal.
std::string Printable(const std::string& text);

}  // namespace qor::stub
