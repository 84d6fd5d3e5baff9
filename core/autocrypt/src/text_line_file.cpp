#include <qor/autocrypt/text_line_file.h>
#include <qor/secure_buffer.h>

#include <algorithm>
#include <cstring>

namespace qor::autocrypt {

TextLineFile::TextLineFile(const std::string& path, Access access) {
    if (access == Access::kRead) {
        file_ = platform::File::Open(path, platform::kAccessRead, platform::kShareRead,
                                     platform::kOpenExisting);
    } else {
        file_ = platform::File::Open(path, platform::kAccessWrite, platform::kShareNone,
                                     platform::kCreateAlways);
    }
}

TextLineFile::~TextLineFile() {
    // The buffer held entries of the plain list.
    SecureWipe(buffer_, sizeof buffer_);
}

bool TextLineFile::NextByte(uint8_t* byte) {
    if (at_ == filled_) {
        SecureWipe(buffer_, filled_);
        at_ = filled_ = 0;
        if (!file_.Read(buffer_, sizeof buffer_, &filled_)) {
            failed_ = true;
            filled_ = 0;
            return false;
        }
        if (filled_ == 0) return false;
    }
    *byte = buffer_[at_++];
    return true;
}

int TextLineFile::ReadLine(std::string* line, size_t limit) {
    if (!IsOpen() || limit < 2) return kTextLineFailed;
    std::string text;
    uint8_t byte = 0;
    while (text.size() + 1 < limit && NextByte(&byte)) {
        text.push_back(static_cast<char>(byte));
        if (byte == '\n') break;
    }
    if (failed_) return kTextLineFailed;
    if (text.empty()) return kTextLineEnd;
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
        text.pop_back();
    *line = std::move(text);
    return kTextLineOk;
}

int TextLineFile::WriteLine(const std::string& text) {
    if (!IsOpen()) return kTextLineFailed;
    std::string out = text + "\r\n";
    const bool written = file_.Write(out.data(), static_cast<uint32_t>(out.size()));
    SecureWipe(out.data(), out.size());
    return written ? kTextLineOk : kTextLineFailed;
}

int TextLineFile::ReadBlock(void* buffer, size_t* count, size_t limit) {
    *count = 0;
    if (!IsOpen()) return kTextLineFailed;
    auto* out = static_cast<uint8_t*>(buffer);
    uint8_t byte = 0;
    while (*count < limit && NextByte(&byte))
        out[(*count)++] = byte;
    if (failed_) return kTextLineFailed;
    return *count == 0 && limit > 0 ? kTextLineEnd : kTextLineOk;
}

int TextLineFile::WriteBlock(const void* buffer, size_t count) {
    if (!IsOpen()) return kTextLineFailed;
    return file_.Write(buffer, static_cast<uint32_t>(count)) ? kTextLineOk : kTextLineFailed;
}

int TextLineFile::Rewind() {
    if (!IsOpen() || !file_.Seek(0)) return kTextLineFailed;
    SecureWipe(buffer_, filled_);
    at_ = filled_ = 0;
    failed_ = false;
    return kTextLineOk;
}

}  // namespace qor::autocrypt
