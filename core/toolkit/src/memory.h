// The toolkit's memory services. Everything the toolkit allocates goes through here, so that
// tests can make allocation fail at a chosen point and see every out-of-memory path.
#pragma once

#include <cstddef>

namespace qor::toolkit {

// A request for 0 bytes allocates 1. Returns null when memory is short.
void* MemAllocate(size_t size);
// A null pointer allocates; a failed resize frees the old block and returns null.
void* MemResize(void* block, size_t size);
// Null is ignored.
void MemFree(void* block);
void MemFill(void* block, unsigned char value, size_t size);
void MemCopy(void* to, const void* from, size_t size);
// Overlapping regions allowed.
void MemMove(void* to, const void* from, size_t size);
// Lexicographic over unsigned bytes: -1, 0 or 1.
int MemCompare(const void* a, const void* b, size_t size);

// Test hook: the allocation after `count` more successful ones fails (negative: never).
void MemFailAfter(long count);

}  // namespace qor::toolkit
