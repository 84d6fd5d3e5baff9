// The self-extracting program reads its own file, which a recipient may have been sent in any
// shape: the ELF and PE header parsers that find where the program image ends, the trailer of
// the file-sharing record behind it, and the check of the name stored in the envelope.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "self_extract.h"

namespace {

class MemorySource : public qor::stub::ByteSource {
  public:
    MemorySource(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    uint64_t Size() const override { return size_; }
    bool ReadAt(uint64_t offset, uint8_t* out, size_t length) override {
        if (offset > size_ || length > size_ - offset) return false;
        std::copy_n(data_ + offset, length, out);
        return true;
    }

  private:
    const uint8_t* data_;
    size_t size_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    MemorySource source(data, size);
    // What follows the image is read from that offset on, so it may never lie past the end.
    if (const auto length = qor::stub::ImageLength(source); length && *length > size) std::abort();

    if (size >= qor::stub::kShareTrailerLength) {
        qor::stub::ParseShareTrailer(data + size - qor::stub::kShareTrailerLength,
                                     qor::stub::kShareTrailerLength);
    }
    qor::stub::ParseShareTrailer(data, size);

    if (const auto name = qor::stub::SafeStoredName(data, size)) {
        // A name let through is written in the current folder: never a path, never empty.
        if (name->empty() || name->find_first_of("/\\:") != std::string::npos || *name == "." ||
            *name == "..") {
            std::abort();
        }
    }
    return 0;
}
