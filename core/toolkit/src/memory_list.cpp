#include "memory_list.h"

#include <qor/secure_buffer.h>

#include "memory.h"

namespace qor::toolkit {

namespace {

constexpr uint32_t kGrowth = 10;

void ReleaseEntry(const MemoryEntry& e) {
    if (e.destroy != nullptr) {
        e.destroy(e.block);
    } else {
        SecureWipe(e.block, e.length);
        MemFree(e.block);
    }
}

bool Reserve(MemoryList& list) {
    if (list.count < list.capacity) return true;
    uint32_t capacity = list.capacity + kGrowth;
    // The table holds pointers and lengths only, so a plain resize is enough; on failure the
    // old table must survive so the blocks it records can still be wiped.
    auto* grown = static_cast<MemoryEntry*>(MemAllocate(capacity * sizeof(MemoryEntry)));
    if (grown == nullptr) return false;
    MemFill(grown, 0, capacity * sizeof(MemoryEntry));
    MemCopy(grown, list.entries, list.count * sizeof(MemoryEntry));
    MemFree(list.entries);
    list.entries = grown;
    list.capacity = capacity;
    return true;
}

}  // namespace

bool MemoryListAdopt(MemoryList& list, void* block, uint32_t length, void (*destroy)(void*)) {
    if (!Reserve(list)) {
        ReleaseEntry({block, length, destroy});
        return false;
    }
    list.entries[list.count++] = {block, length, destroy};
    return true;
}

void* MemoryListAllocate(MemoryList& list, uint32_t length) {
    void* block = MemAllocate(length);
    if (block == nullptr) return nullptr;
    MemFill(block, 0, length == 0 ? 1 : length);
    if (!MemoryListAdopt(list, block, length, nullptr)) return nullptr;
    return block;
}

void* MemoryListCopy(MemoryList& list, const void* data, uint32_t length) {
    void* block = MemoryListAllocate(list, length);
    if (block != nullptr) MemCopy(block, data, length);
    return block;
}

void MemoryListReleaseBlock(MemoryList& list, void* block) {
    for (uint32_t i = 0; i < list.count; ++i) {
        if (list.entries[i].block != block) continue;
        ReleaseEntry(list.entries[i]);
        list.entries[i] = list.entries[--list.count];
        list.entries[list.count] = {};
        return;
    }
}

void MemoryListRelease(MemoryList& list) {
    for (uint32_t i = 0; i < list.count; ++i)
        ReleaseEntry(list.entries[i]);
    MemFree(list.entries);
    list = {};
}

}  // namespace qor::toolkit
