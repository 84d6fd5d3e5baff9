#include <qor/secure_buffer.h>

#include <cstring>
#include <new>

namespace qor {

void SecureWipe(void* data, size_t length) noexcept {
    if (data == nullptr) return;
    // Stores through a volatile pointer are observable behaviour, so they survive dead-store
    // elimination; the barrier keeps them from being sunk past a following free().
    volatile uint8_t* p = static_cast<volatile uint8_t*>(data);
    for (size_t i = 0; i < length; ++i)
        p[i] = 0;
#if defined(__GNUC__) || defined(__clang__)
    __asm__ __volatile__("" : : "r"(data) : "memory");
#endif
}

// Never inlined: its frame must lie where the callee frames of its caller lay.
#if defined(__GNUC__) || defined(__clang__)
__attribute__((noinline))
#endif
void BurnStack() noexcept {
    // Deeper than any transform's frame (MD2's is the largest, a few hundred bytes).
    uint8_t scratch[2048];
    SecureWipe(scratch, sizeof scratch);
}

#if defined(__GNUC__) || defined(__clang__)
__attribute__((noinline))
#endif
void BurnDeepStack() noexcept {
    uint8_t scratch[64 * 1024];
    SecureWipe(scratch, sizeof scratch);
}

SecureBuffer::SecureBuffer(size_t size) {
    Resize(size);
}

SecureBuffer::SecureBuffer(const uint8_t* data, size_t size) {
    Assign(data, size);
}

SecureBuffer& SecureBuffer::operator=(SecureBuffer&& other) noexcept {
    if (this != &other) {
        Clear();
        data_ = std::exchange(other.data_, nullptr);
        size_ = std::exchange(other.size_, 0);
    }
    return *this;
}

void SecureBuffer::Resize(size_t size) {
    Clear();
    if (size == 0) return;
    data_ = new uint8_t[size]();
    size_ = size;
}

void SecureBuffer::Assign(const uint8_t* data, size_t size) {
    Resize(size);
    if (size != 0) std::memcpy(data_, data, size);
}

void SecureBuffer::Clear() noexcept {
    if (data_ != nullptr) {
        SecureWipe(data_, size_);
        delete[] data_;
    }
    data_ = nullptr;
    size_ = 0;
}

}  // namespace qor
