#include "memory.h"

#include <cstdlib>
#include <cstring>

namespace qor::toolkit {

namespace {
long gFailAfter = -1;

bool ShouldFail() {
    if (gFailAfter < 0) return false;
    if (gFailAfter == 0) return true;
    --gFailAfter;
    return false;
}
}  // namespace

void MemFailAfter(long count) {
    gFailAfter = count;
}

void* MemAllocate(size_t size) {
    if (ShouldFail()) return nullptr;
    return std::malloc(size == 0 ? 1 : size);
}

void* MemResize(void* block, size_t size) {
    if (ShouldFail()) {
        std::free(block);
        return nullptr;
    }
    void* grown = std::realloc(block, size == 0 ? 1 : size);
    if (grown == nullptr) std::free(block);
    return grown;
}

void MemFree(void* block) {
    std::free(block);
}

void MemFill(void* block, unsigned char value, size_t size) {
    if (size != 0) std::memset(block, value, size);
}

void MemCopy(void* to, const void* from, size_t size) {
    if (size != 0) std::memcpy(to, from, size);
}

void MemMove(void* to, const void* from, size_t size) {
    if (size != 0) std::memmove(to, from, size);
}

int MemCompare(const void* a, const void* b, size_t size) {
    if (size == 0) return 0;
    int c = std::memcmp(a, b, size);
    return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

}  // namespace qor::toolkit
