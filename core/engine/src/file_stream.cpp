#include "file_stream.h"

#include <algorithm>
#include <cstring>

namespace qor::engine {

void FailStreamWritesAfterForTesting(uint64_t bytes) {
    FailPipelineWritesAfterForTesting(bytes == FileStream::kNoLimit ? kNoWriteLimit : bytes);
}

FileStream::FileStream(platform::File* file, uint64_t limit, bool dropBehind)
    : file_(file), limit_(limit), dropBehind_(dropBehind) {
    record_.slot1 = &NotSupported;
    record_.slot2 = &NotSupported;
    record_.read = &Read;
    record_.slot4 = &NotSupported;
    record_.write = &Write;
    record_.context = this;
}

// The reader and writer wipe their buffers, which may have held plaintext.
FileStream::~FileStream() = default;

int FileStream::NotSupported(void*) {
    return kStreamFailed;
}

int FileStream::Read(unsigned char* buffer, unsigned int* count, unsigned int maximum,
                     void* context) {
    auto* self = static_cast<FileStream*>(context);
    *count = 0;
    if (!self->Usable() || self->failed_) return kStreamFailed;
    if (self->left_ == 0) {
        if (!self->reader_) {
            self->reader_ =
                std::make_unique<ReadAhead>(*self->file_, self->limit_, self->dropBehind_);
        }
        if (!self->reader_->Next(&self->data_, &self->left_)) {
            self->failed_ = true;
            return kStreamFailed;
        }
        if (self->left_ == 0) return kStreamEnd;
    }
    const size_t n = std::min<size_t>(maximum, self->left_);
    std::memcpy(buffer, self->data_, n);
    self->data_ += n;
    self->left_ -= n;
    *count = static_cast<unsigned int>(n);
    return 0;
}

int FileStream::Write(const unsigned char* bytes, unsigned int length, void* context) {
    auto* self = static_cast<FileStream*>(context);
    if (!self->Usable() || self->failed_) return kStreamFailed;
    if (!self->writer_) self->writer_ = std::make_unique<WriteBehind>(*self->file_);
    if (!self->writer_->Put(bytes, length)) {
        self->failed_ = true;
        return kStreamFailed;
    }
    return 0;
}

bool FileStream::Flush() {
    if (!Usable() || failed_) return false;
    if (writer_ && !writer_->Flush()) failed_ = true;
    return !failed_;
}

}  // namespace qor::engine
