// A growable array of service-object handles, itself a service object. Destroying the list
// destroys every element through its own tag.
#pragma once

#include <cstdint>

#include "service_object.h"

namespace qor::toolkit {

struct ObjectList {
    DestroyRoutine destroy;
    void** items;
    uint32_t count;
    uint32_t capacity;  // a multiple of 8
};

// 0 or kStatusOutOfMemory.
int ObjectListCreate(ObjectList** list);
void ObjectListDestroy(ObjectList** list);
bool IsObjectList(const void* handle);

// Inserts at `position`, clamped to the count; later slots move up. 0 or kStatusOutOfMemory.
int ObjectListInsert(ObjectList& list, uint32_t position, void* item);
inline int ObjectListAppend(ObjectList& list, void* item) {
    return ObjectListInsert(list, list.count, item);
}
// Null at or past the count.
void* ObjectListGet(const ObjectList& list, uint32_t index);

}  // namespace qor::toolkit
