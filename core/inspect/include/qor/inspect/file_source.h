// A file opened for reading as the descriptions read files: random access by offset, through the
// platform layer (the description itself touches no file).
#pragma once

#include <qor/inspect/describe_file.h>
#include <qor/platform/files.h>

#include <algorithm>
#include <string>

namespace qor::inspect {

class FileSource : public ByteSource {
  public:
    explicit FileSource(const std::string& path)
        : file_(platform::File::Open(path, platform::kAccessRead, platform::kShareRead,
                                     platform::kOpenExisting)) {
        if (!file_.IsOpen() || !file_.Size(&size_)) file_.Close();
    }
    bool IsOpen() const { return file_.IsOpen(); }
    uint64_t Size() const override { return size_; }
    bool ReadAt(uint64_t offset, uint8_t* out, size_t length) override {
        if (offset > size_ || length > size_ - offset || !file_.Seek(offset)) return false;
        while (length > 0) {
            uint32_t got = 0;
            const auto want = static_cast<uint32_t>(std::min<size_t>(length, 1u << 20));
            if (!file_.Read(out, want, &got) || got == 0) return false;
            out += got;
            length -= got;
        }
        return true;
    }

  private:
    platform::File file_;
    uint64_t size_ = 0;
};

}  // namespace qor::inspect
