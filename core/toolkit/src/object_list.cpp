#include "object_list.h"

#include <qor/toolkit.h>

#include "memory.h"

namespace qor::toolkit {

namespace {

constexpr uint32_t kSlotGranule = 8;

void DestroyObjectList(void* object) {
    auto* list = static_cast<ObjectList*>(object);
    for (uint32_t i = 0; i < list->count; ++i)
        ReleaseObject(&list->items[i]);
    MemFree(list->items);
    list->items = nullptr;
    list->count = list->capacity = 0;
}

bool Grow(ObjectList& list, uint32_t needed) {
    if (needed <= list.capacity) return true;
    uint32_t capacity = (needed + kSlotGranule - 1) / kSlotGranule * kSlotGranule;
    auto* grown = static_cast<void**>(MemAllocate(capacity * sizeof(void*)));
    if (grown == nullptr) return false;
    MemFill(grown, 0, capacity * sizeof(void*));
    MemCopy(grown, list.items, list.count * sizeof(void*));
    MemFree(list.items);
    list.items = grown;
    list.capacity = capacity;
    return true;
}

}  // namespace

bool IsObjectList(const void* handle) {
    return HasTag(handle, DestroyObjectList);
}

int ObjectListCreate(ObjectList** list) {
    *list = AllocateObject<ObjectList>(DestroyObjectList);
    return *list == nullptr ? kStatusOutOfMemory : kStatusOk;
}

void ObjectListDestroy(ObjectList** list) {
    ReleaseObject(list);
}

int ObjectListInsert(ObjectList& list, uint32_t position, void* item) {
    if (!Grow(list, list.count + 1)) return kStatusOutOfMemory;
    if (position > list.count) position = list.count;
    MemMove(&list.items[position + 1], &list.items[position],
            (list.count - position) * sizeof(void*));
    list.items[position] = item;
    ++list.count;
    return kStatusOk;
}

void* ObjectListGet(const ObjectList& list, uint32_t index) {
    return index < list.count ? list.items[index] : nullptr;
}

}  // namespace qor::toolkit
