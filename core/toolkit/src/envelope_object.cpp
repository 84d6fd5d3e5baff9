// EnvelopeObject: creation, recipients and release. Sealing and opening live in their own
// files.
#include <qor/secure_buffer.h>

#include "envelope_object.h"
#include "kinds.h"
#include "memory.h"
#include "status.h"

using namespace qor::toolkit;

struct EnvelopeObject {
    DestroyRoutine destroy;
    ObjectList* recipients;
    KeyHolder* contentKey;
    AlgInstance* wrap;
    AlgInstance* content;
    uint32_t used;
    uint8_t work[kWorkingBufferSize];
};

namespace {

void DestroyRecipient(void* object) {
    DestroyKeyHolder(&static_cast<Recipient*>(object)->key);
}

void DestroyEnvelope(void* object) {
    auto* e = static_cast<EnvelopeObject*>(object);
    DestroyKeyHolder(&e->contentKey);
    DestroyAlgInstance(&e->wrap);
    DestroyAlgInstance(&e->content);
    ObjectListDestroy(&e->recipients);
    qor::SecureWipe(e->work, sizeof e->work);
}

// Adds a recipient holding `key`; takes the holder over in every case.
int AddRecipient(EnvelopeObject* e, uint32_t type, KeyHolder* key) {
    auto* r = AllocateObject<Recipient>(DestroyRecipient);
    if (r == nullptr) {
        DestroyKeyHolder(&key);
        return kStatusOutOfMemory;
    }
    r->type = type;
    r->key = key;
    if (ObjectListAppend(*e->recipients, r) != kStatusOk) {
        ReleaseObject(&r);
        return kStatusOutOfMemory;
    }
    return kStatusOk;
}

}  // namespace

namespace qor::toolkit {

bool IsRecipient(const void* handle) {
    return HasTag(handle, DestroyRecipient);
}
bool IsEnvelope(const void* handle) {
    return HasTag(handle, DestroyEnvelope);
}
ObjectList* EnvelopeRecipients(EnvelopeObject* e) {
    return e->recipients;
}
uint8_t* EnvelopeWorkingBuffer(EnvelopeObject* e) {
    return e->work;
}
KeyHolder*& EnvelopeContentKey(EnvelopeObject* e) {
    return e->contentKey;
}
AlgInstance*& EnvelopeWrapInstance(EnvelopeObject* e) {
    return e->wrap;
}
AlgInstance*& EnvelopeContentInstance(EnvelopeObject* e) {
    return e->content;
}

bool EnvelopeBeginUse(EnvelopeObject* e) {
    if (e->used != 0) return false;
    e->used = 1;
    return true;
}

}  // namespace qor::toolkit

extern "C" int EnvelopeCreate(EnvelopeObject** handle) {
    *handle = nullptr;
    auto* e = AllocateObject<EnvelopeObject>(DestroyEnvelope);
    if (e == nullptr) return kStatusOutOfMemory;
    if (ObjectListCreate(&e->recipients) != kStatusOk) {
        ReleaseObject(&e);
        return kStatusOutOfMemory;
    }
    *handle = e;
    return kStatusOk;
}

extern "C" int EnvelopeAddPassword(EnvelopeObject* handle, const unsigned char* secret,
                                   unsigned int length, int kind) {
    if (!IsEnvelope(handle)) return kStatusBadEnvelope;
    if (kind != 1) return kStatusBadPasswordKind;
    if (secret == nullptr || length == 0) return kStatusEmptySecret;
    KeyHolder* key = nullptr;
    int status = CreateKeyHolder(&key);
    if (status == kAlgOk) {
        const ByteSpan span = {secret, length};
        status = SetKey(key, KeyKindByteString(), &span);
    }
    if (status != kAlgOk) {
        DestroyKeyHolder(&key);
        return kStatusOutOfMemory;
    }
    return AddRecipient(handle, kRecipientPassword, key);
}

extern "C" int EnvelopeAddPublicKey(EnvelopeObject* handle, const unsigned char* encodedKey,
                                    unsigned int length) {
    if (!IsEnvelope(handle)) return kStatusBadEnvelope;
    if (encodedKey == nullptr || length == 0) return kStatusBadPublicKey;
    // Decode in a scratch holder, then keep the components alone, so that the recipient
    // writes the canonical encoding whatever form it was given.
    KeyHolder* decoder = nullptr;
    KeyHolder* key = nullptr;
    int status = CreateKeyHolder(&decoder);
    const void* components = nullptr;
    if (status == kAlgOk) {
        const ByteSpan span = {encodedKey, length};
        status = SetKey(decoder, KeyKindRsaPublicBer(), &span);
        if (status == kAlgOk) status = GetKey(decoder, KeyKindRsaPublic(), &components);
        if (status != kAlgOk && status != kAlgOutOfMemory) status = kStatusBadPublicKey;
    }
    if (status == kAlgOk) status = CreateKeyHolder(&key);
    if (status == kAlgOk) status = SetKey(key, KeyKindRsaPublic(), components);
    DestroyKeyHolder(&decoder);
    if (status != kAlgOk) {
        DestroyKeyHolder(&key);
        return status == kStatusBadPublicKey ? kStatusBadPublicKey : kStatusOutOfMemory;
    }
    return AddRecipient(handle, kRecipientPublicKey, key);
}

extern "C" void EnvelopeDestroy(EnvelopeObject** handle) {
    ReleaseObject(handle);
}
