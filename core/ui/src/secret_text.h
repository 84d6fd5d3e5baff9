// Text that may be a password: kept in a buffer that is wiped whenever the text shrinks, moves
// to a larger buffer or is destroyed, so no stale copy is left on the heap.
#pragma once

#include <qor/secure_buffer.h>

#include <cstring>
#include <string_view>

namespace qor::ui {

class SecretText {
  public:
    SecretText() = default;
    explicit SecretText(std::string_view text) { Assign(text); }
    SecretText(SecretText&&) noexcept = default;
    SecretText& operator=(SecretText&& other) noexcept = default;
    SecretText(const SecretText&) = delete;
    SecretText& operator=(const SecretText&) = delete;

    void Assign(std::string_view text) {
        Reserve(text.size());
        if (!text.empty()) std::memmove(buffer_.data(), text.data(), text.size());
        if (length_ > text.size()) SecureWipe(buffer_.data() + text.size(), length_ - text.size());
        length_ = text.size();
    }
    void Append(char c) {
        Reserve(length_ + 1);
        buffer_[length_++] = static_cast<uint8_t>(c);
    }
    // Keeps the first `length` bytes and wipes the rest.
    void Truncate(size_t length) {
        if (length >= length_) return;
        SecureWipe(buffer_.data() + length, length_ - length);
        length_ = length;
    }
    void Clear() { Truncate(0); }

    std::string_view view() const {
        return {reinterpret_cast<const char*>(buffer_.data()), length_};
    }
    size_t size() const { return length_; }
    bool empty() const { return length_ == 0; }

  private:
    void Reserve(size_t size) {
        if (size <= buffer_.size()) return;
        size_t capacity = buffer_.size() < 16 ? 16 : buffer_.size() * 2;
        while (capacity < size)
            capacity *= 2;
        SecureBuffer larger(capacity);
        if (length_ != 0) std::memcpy(larger.data(), buffer_.data(), length_);
        buffer_ = std::move(larger);  // the old bytes are wiped as they are released
    }

    SecureBuffer buffer_;
    size_t length_ = 0;
};

}  // namespace qor::ui
