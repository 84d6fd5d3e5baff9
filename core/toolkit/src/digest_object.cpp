// DigestObject: the checked front end over an MD5 or MD2 instance.
#include <qor/secure_buffer.h>
#include <qor/toolkit.h>

#include "kinds.h"
#include "service_object.h"
#include "status.h"

using namespace qor::toolkit;

struct DigestObject {
    DestroyRoutine destroy;
    AlgInstance* instance;
    unsigned char result[20];
    uint32_t resultLength;
};

namespace {

void DestroyDigest(void* object) {
    auto* d = static_cast<DigestObject*>(object);
    qor::SecureWipe(d->result, sizeof d->result);
    DestroyAlgInstance(&d->instance);
}

int MemoryOr(int algStatus, int otherwise) {
    return algStatus == kAlgOutOfMemory ? kStatusOutOfMemory : otherwise;
}

}  // namespace

extern "C" int DigestCreate(DigestObject** handle, int kind) {
    *handle = nullptr;
    const AlgKind* algKind = kind == kDigestMd5   ? AlgKindMd5()
                             : kind == kDigestMd2 ? AlgKindMd2()
                                                  : nullptr;
    if (algKind == nullptr) return kStatusBadDigestKind;
    auto* d = AllocateObject<DigestObject>(DestroyDigest);
    if (d == nullptr) return kStatusOutOfMemory;
    int status = CreateAlgInstance(&d->instance);
    if (status == kAlgOk) status = SetAlgParams(d->instance, algKind, nullptr);
    if (status == kAlgOk) status = AlgDigestInit(d->instance, DigestRegistry());
    if (status != kAlgOk) {
        ReleaseObject(&d);
        return MemoryOr(status, kStatusBadDigest);
    }
    *handle = d;
    return kStatusOk;
}

extern "C" int DigestUpdate(DigestObject* handle, const unsigned char* bytes, unsigned int length) {
    if (!HasTag(handle, DestroyDigest)) return kStatusBadDigest;
    if (bytes == nullptr && length != 0) return kStatusBadDigest;
    return AlgDigestUpdate(handle->instance, bytes, length) == kAlgOk ? kStatusOk
                                                                      : kStatusBadDigest;
}

extern "C" int DigestFinal(unsigned char** result, unsigned int* resultLength, DigestObject* handle,
                           const unsigned char* bytes, unsigned int length) {
    if (!HasTag(handle, DestroyDigest)) return kStatusBadDigest;
    if (bytes == nullptr && length != 0) return kStatusBadDigest;
    if (AlgDigestUpdate(handle->instance, bytes, length) != kAlgOk) return kStatusBadDigest;
    uint32_t produced = 0;
    if (AlgDigestFinal(handle->instance, handle->result, &produced, sizeof handle->result) !=
        kAlgOk) {
        return kStatusBadDigest;
    }
    handle->resultLength = produced;
    *result = handle->result;
    *resultLength = produced;
    return kStatusOk;
}

extern "C" void DigestDestroy(DigestObject** handle) {
    ReleaseObject(handle);
}
