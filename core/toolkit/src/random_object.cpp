// RandomObject: the MD5 generator behind the rule that nothing comes out before 256 seed bytes
// have gone in.
#include <qor/toolkit.h>

#include "kinds.h"
#include "service_object.h"
#include "status.h"

using namespace qor::toolkit;

struct RandomObject {
    DestroyRoutine destroy;
    uint32_t seedNeeded;
    AlgInstance* instance;
};

namespace {

constexpr uint32_t kSeedBytesRequired = 256;

void DestroyRandom(void* object) {
    DestroyAlgInstance(&static_cast<RandomObject*>(object)->instance);
}

}  // namespace

namespace qor::toolkit {
AlgInstance* RandomInstanceOf(RandomObject* handle) {
    return HasTag(handle, DestroyRandom) ? handle->instance : nullptr;
}
}  // namespace qor::toolkit

extern "C" int RandomCreate(RandomObject** handle) {
    *handle = nullptr;
    auto* r = AllocateObject<RandomObject>(DestroyRandom);
    if (r == nullptr) return kStatusOutOfMemory;
    r->seedNeeded = kSeedBytesRequired;
    int status = CreateAlgInstance(&r->instance);
    if (status != kAlgOk) {
        ReleaseObject(&r);
        return kStatusOutOfMemory;
    }
    status = SetAlgParams(r->instance, AlgKindMd5Generator(), nullptr);
    if (status == kAlgOk) status = AlgRandomInit(r->instance, RandomRegistry());
    if (status != kAlgOk) {
        ReleaseObject(&r);
        return status == kAlgOutOfMemory ? kStatusOutOfMemory : kStatusBadRandom;
    }
    *handle = r;
    return kStatusOk;
}

extern "C" int RandomSeed(RandomObject* handle, const unsigned char* bytes, unsigned int length) {
    if (!HasTag(handle, DestroyRandom)) return kStatusBadRandom;
    if (bytes == nullptr && length != 0) return kStatusBadRandom;
    handle->seedNeeded = length >= handle->seedNeeded ? 0 : handle->seedNeeded - length;
    return AlgRandomSeed(handle->instance, bytes, length) == kAlgOk ? kStatusOk : kStatusBadRandom;
}

extern "C" int RandomBytesNeeded(unsigned int* count, RandomObject* handle) {
    if (!HasTag(handle, DestroyRandom)) return kStatusBadRandom;
    *count = handle->seedNeeded;
    return kStatusOk;
}

extern "C" int RandomGenerate(unsigned char* output, RandomObject* handle, unsigned int length) {
    if (!HasTag(handle, DestroyRandom)) return kStatusBadRandom;
    if (handle->seedNeeded > 0) return kStatusRandomNotSeeded;
    if (output == nullptr && length != 0) return kStatusBadRandom;
    return AlgRandomGenerate(handle->instance, output, length) == kAlgOk ? kStatusOk
                                                                         : kStatusBadRandom;
}

extern "C" void RandomDestroy(RandomObject** handle) {
    ReleaseObject(handle);
}
