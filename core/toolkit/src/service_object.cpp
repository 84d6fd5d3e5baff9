#include "service_object.h"

#include <qor/secure_buffer.h>

#include "memory.h"

namespace qor::toolkit {

// Objects are records of plain fields (the toolkit keeps C-compatible objects behind C
// handles), so zero-filling a fresh block is their construction.
namespace {
struct SizedHead {
    size_t size;
};
}  // namespace

// A hidden size word in front of each block lets the release routine wipe the whole object,
// whatever its type, without asking the type for its size.
void* AllocateObject(size_t size, DestroyRoutine destroy) {
    auto* raw = static_cast<unsigned char*>(MemAllocate(sizeof(SizedHead) + size));
    if (raw == nullptr) return nullptr;
    MemFill(raw, 0, sizeof(SizedHead) + size);
    reinterpret_cast<SizedHead*>(raw)->size = size;
    void* object = raw + sizeof(SizedHead);
    static_cast<ServiceHeader*>(object)->destroy = destroy;
    return object;
}

void ReleaseObject(void** handle) {
    if (handle == nullptr || *handle == nullptr) return;
    void* object = *handle;
    *handle = nullptr;
    DestroyRoutine destroy = static_cast<ServiceHeader*>(object)->destroy;
    if (destroy != nullptr) destroy(object);
    unsigned char* raw = static_cast<unsigned char*>(object) - sizeof(SizedHead);
    SecureWipe(raw, sizeof(SizedHead) + reinterpret_cast<SizedHead*>(raw)->size);
    MemFree(raw);
}

}  // namespace qor::toolkit
