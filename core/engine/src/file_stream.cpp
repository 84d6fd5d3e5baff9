#include "file_stream.h"

#include <qor/secure_buffer.h>

#include <algorithm>
#include <cstring>

namespace qor::engine {

namespace {

uint64_t gWriteBudget = FileStream::kNoLimit;

}  // namespace

void FailStreamWritesAfterForTesting(uint64_t bytes) {
    gWriteBudget = bytes;
}

FileStream::FileStream(platform::File* file, uint64_t limit)
    : file_(file), remaining_(limit), buffer_(kBufferSize) {
    record_.slot1 = &NotSupported;
    record_.slot2 = &NotSupported;
    record_.read = &Read;
    record_.slot4 = &NotSupported;
    record_.write = &Write;
    record_.context = this;
}

FileStream::~FileStream() {
    // The buffer may have held plaintext.
    SecureWipe(buffer_.data(), buffer_.size());
}

int FileStream::NotSupported(void*) {
    return kStreamFailed;
}

int FileStream::Read(unsigned char* buffer, unsigned int* count, unsigned int maximum,
                     void* context) {
    auto* self = static_cast<FileStream*>(context);
    *count = 0;
    if (self->file_ == nullptr || !self->file_->IsOpen()) return kStreamFailed;
    if (self->start_ == self->end_) {
        self->start_ = self->end_ = 0;
        const uint64_t want = std::min<uint64_t>(self->buffer_.size(), self->remaining_);
        if (want == 0) return kStreamEnd;
        uint32_t got = 0;
        if (!self->file_->Read(self->buffer_.data(), static_cast<uint32_t>(want), &got)) {
            return kStreamFailed;
        }
        if (got == 0) return kStreamEnd;
        self->end_ = got;
        self->remaining_ -= got;
    }
    const size_t n = std::min<size_t>(maximum, self->end_ - self->start_);
    std::memcpy(buffer, self->buffer_.data() + self->start_, n);
    self->start_ += n;
    *count = static_cast<unsigned int>(n);
    return 0;
}

bool FileStream::WriteThrough(const uint8_t* bytes, size_t length) {
    if (length == 0) return true;
    if (gWriteBudget != kNoLimit) {
        if (length > gWriteBudget) {
            gWriteBudget = 0;
            return false;
        }
        gWriteBudget -= length;
    }
    return file_->Write(bytes, static_cast<uint32_t>(length));
}

int FileStream::Write(const unsigned char* bytes, unsigned int length, void* context) {
    auto* self = static_cast<FileStream*>(context);
    if (self->failed_ || self->file_ == nullptr || !self->file_->IsOpen()) return kStreamFailed;
    if (self->pending_ + length > self->buffer_.size()) {
        if (!self->Flush()) return kStreamFailed;
    }
    if (length >= self->buffer_.size()) {
        if (!self->WriteThrough(bytes, length)) {
            self->failed_ = true;
            return kStreamFailed;
        }
        return 0;
    }
    std::memcpy(self->buffer_.data() + self->pending_, bytes, length);
    self->pending_ += length;
    return 0;
}

bool FileStream::Flush() {
    if (failed_ || file_ == nullptr || !file_->IsOpen()) return false;
    const bool ok = WriteThrough(buffer_.data(), pending_);
    pending_ = 0;
    if (!ok) failed_ = true;
    return ok;
}

}  // namespace qor::engine
