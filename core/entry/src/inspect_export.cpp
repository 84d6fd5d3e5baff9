// InspectFile: what a file of the product is, described without any secret, for the front end's
// `inspect`. No dialog: the description is text for a terminal.
#include <qor/entry/exports.h>
#include <qor/inspect/describe_file.h>
#include <qor/platform/files.h>

#include <algorithm>
#include <cstring>
#include <string>

namespace {

// The file as the description reads it: random access by offset.
class FileBytes : public qor::inspect::ByteSource {
  public:
    explicit FileBytes(const std::string& path)
        : file_(qor::platform::File::Open(path, qor::platform::kAccessRead,
                                          qor::platform::kShareRead,
                                          qor::platform::kOpenExisting)) {
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
    qor::platform::File file_;
    uint64_t size_ = 0;
};

}  // namespace

extern "C" QOR_EXPORT int InspectFile(const char* path, char* text, unsigned size) {
    try {
        if (path == nullptr) return -1;
        FileBytes file(path);
        if (!file.IsOpen()) return -1;
        const qor::inspect::FileDescription description = qor::inspect::DescribeFile(file, path);
        std::string out;
        for (const std::string& line : qor::inspect::FormatDescription(description))
            out += line + "\n";
        if (text != nullptr && size > 0) {
            const size_t length = std::min<size_t>(out.size(), size - 1);
            std::memcpy(text, out.data(), length);
            text[length] = '\0';
        }
        return description.damaged() ? 1 : 0;
    } catch (...) {
        return -1;
    }
}
