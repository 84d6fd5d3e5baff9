// Reads arbitrary bytes as a whole file handed to inspect: the preference file's records, the
// decryptor program's image length, the trailer and its items, and the walk over the envelope.
// Nothing may crash or leak, and every file, however damaged, gets a description.
#include <qor/inspect/describe_file.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

class MemorySource : public qor::inspect::ByteSource {
  public:
    MemorySource(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    uint64_t Size() const override { return size_; }
    bool ReadAt(uint64_t offset, uint8_t* out, size_t length) override {
        if (offset > size_ || length > size_ - offset) return false;
        if (length != 0) std::memcpy(out, data_ + offset, length);
        return true;
    }

  private:
    const uint8_t* data_;
    size_t size_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 1 << 20) return 0;
    MemorySource source(data, size);
    const qor::inspect::FileDescription d = qor::inspect::DescribeFile(source, "fuzz");
    if (qor::inspect::FormatDescription(d).empty()) std::abort();
    // The parts found must lie inside the file.
    const qor::inspect::FileLayout& l = d.layout;
    if (l.envelopeFound && (l.envelopeOffset > size || l.envelopeLength > size - l.envelopeOffset))
        std::abort();
    if (l.trailerLength > size) std::abort();
    return 0;
}
