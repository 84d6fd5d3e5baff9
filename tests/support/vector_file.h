// Reader for the known-answer files under tests/data/vectors.
//
// Format: records of `name = value` lines, separated by blank lines; `#` starts a comment
// line. A value is hex digits (spaces allowed), a quoted text "..." (bytes as written), or a
// decimal number. Files name their published source in their opening comment.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace qor::test {

using Bytes = std::vector<uint8_t>;

class VectorRecord {
  public:
    bool Has(const std::string& name) const { return fields_.count(name) != 0; }
    // Hex field, or the bytes of a quoted text field.
    Bytes GetBytes(const std::string& name) const;
    uint64_t GetNumber(const std::string& name) const;
    const std::string& Raw(const std::string& name) const;
    int line() const { return line_; }

  private:
    friend std::vector<VectorRecord> ParseVectorFile(std::string_view text);
    std::map<std::string, std::string> fields_;
    int line_ = 0;
};

std::vector<VectorRecord> ParseVectorFile(std::string_view text);

// The vector files are compiled into the test programs, so that they run unchanged under
// Wine and from any working folder. `name` is the file name without folder.
std::string_view EmbeddedFile(std::string_view name);

inline std::vector<VectorRecord> LoadVectors(std::string_view name) {
    return ParseVectorFile(EmbeddedFile(name));
}

Bytes FromHex(std::string_view hex);
std::string ToHex(const uint8_t* data, size_t length);
inline std::string ToHex(const Bytes& b) {
    return ToHex(b.data(), b.size());
}

}  // namespace qor::test
