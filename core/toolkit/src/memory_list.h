// The record of every buffer an algorithm instance or key holder allocates, with its length,
// so that releasing the owner wipes each buffer over its whole length before freeing it.
#pragma once

#include <cstddef>
#include <cstdint>

namespace qor::toolkit {

struct MemoryEntry {
    void* block;
    uint32_t length;
    void (*destroy)(void* block);  // null: wipe over `length` and free
};

struct MemoryList {
    uint32_t count;
    uint32_t capacity;  // grows by 10 entries at a time
    MemoryEntry* entries;
};

// Allocates `length` zeroed bytes and records them. Null when memory is short.
void* MemoryListAllocate(MemoryList& list, uint32_t length);
// Allocates a copy of `length` bytes. Null when memory is short.
void* MemoryListCopy(MemoryList& list, const void* data, uint32_t length);
// Records a block allocated elsewhere with its own destroy routine (or null for wipe-and-free).
// On failure the block is released as if it had been recorded; returns false.
bool MemoryListAdopt(MemoryList& list, void* block, uint32_t length, void (*destroy)(void*));
// Wipes and frees one recorded block early and forgets it; an unknown block is left alone.
void MemoryListReleaseBlock(MemoryList& list, void* block);
// Releases every recorded block (each wiped or destroyed) and the table itself.
void MemoryListRelease(MemoryList& list);

}  // namespace qor::toolkit
