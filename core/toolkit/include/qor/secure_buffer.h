// Holding secrets: a wipe the compiler may not remove, and a buffer that wipes itself.
//
// Every byte that held a password, a key or key material passes through one of these before
// the memory is released or reused.
#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>

namespace qor {

// Overwrites `length` bytes at `data` with zeros. The stores are not elided even when the
// memory is about to be freed or go out of scope.
void SecureWipe(void* data, size_t length) noexcept;

// Overwrites the stack beneath the caller's frame, where functions that just returned left their
// locals: a digest's transform keeps the block it hashed (a key, a password) decoded into words
// there, and nothing else clears it.
void BurnStack() noexcept;
// The same for a whole operation's depth (64 KiB), as an export returns to its caller.
void BurnDeepStack() noexcept;

// A heap buffer for secret bytes. Zeroed on destruction, on resize and on assignment; never
// copied implicitly (use Clone()). Moving hands the bytes over and leaves the source empty.
class SecureBuffer {
  public:
    SecureBuffer() = default;
    explicit SecureBuffer(size_t size);
    SecureBuffer(const uint8_t* data, size_t size);
    ~SecureBuffer() { Clear(); }

    SecureBuffer(const SecureBuffer&) = delete;
    SecureBuffer& operator=(const SecureBuffer&) = delete;
    SecureBuffer(SecureBuffer&& other) noexcept
        : data_(std::exchange(other.data_, nullptr)), size_(std::exchange(other.size_, 0)) {}
    SecureBuffer& operator=(SecureBuffer&& other) noexcept;

    SecureBuffer Clone() const { return SecureBuffer(data_, size_); }
    // Wipes and releases the current contents, then holds `size` zero bytes.
    void Resize(size_t size);
    void Assign(const uint8_t* data, size_t size);
    // Wipes and releases the bytes.
    void Clear() noexcept;

    uint8_t* data() noexcept { return data_; }
    const uint8_t* data() const noexcept { return data_; }
    size_t size() const noexcept { return size_; }
    bool empty() const noexcept { return size_ == 0; }
    uint8_t& operator[](size_t i) noexcept { return data_[i]; }
    const uint8_t& operator[](size_t i) const noexcept { return data_[i]; }

  private:
    uint8_t* data_ = nullptr;
    size_t size_ = 0;
};

// Wipes a fixed-size local (a derived key, a digest of a password) when it leaves scope.
template <typename T>
class ScopedWipe {
  public:
    explicit ScopedWipe(T& object) noexcept : object_(object) {}
    ~ScopedWipe() { SecureWipe(&object_, sizeof(T)); }
    ScopedWipe(const ScopedWipe&) = delete;
    ScopedWipe& operator=(const ScopedWipe&) = delete;

  private:
    T& object_;
};

}  // namespace qor
