// The envelope's object and its recipients, shared by the seal and open halves.
#pragma once

#include <qor/toolkit.h>

#include <cstdint>

#include "algorithm_tier.h"
#include "object_list.h"
#include "service_object.h"

namespace qor::toolkit {

inline constexpr uint32_t kRecipientPassword = 1280;
inline constexpr uint32_t kRecipientPublicKey = 1281;

// A recipient: the secret (as a byte string) or the RSA public key it wraps content keys for.
struct Recipient {
    DestroyRoutine destroy;
    uint32_t type;
    KeyHolder* key;
};

bool IsRecipient(const void* handle);

// Plaintext pieces: at most 8144 data bytes, read and framed in the 8192-byte working buffer
// together with their own header and the chunk header in front of them.
inline constexpr uint32_t kPieceSize = 8144;
inline constexpr uint32_t kWorkingBufferSize = 8192;
inline constexpr uint32_t kMacLength = 4;
inline constexpr uint32_t kContentSaltLength = 5;
inline constexpr uint32_t kProcessSaltLength = 4;
inline constexpr uint32_t kWrappingSaltLength = 8;
inline constexpr uint32_t kMaxWrappedKey = 128;

bool IsEnvelope(const void* handle);
ObjectList* EnvelopeRecipients(EnvelopeObject* envelope);
uint8_t* EnvelopeWorkingBuffer(EnvelopeObject* envelope);
// The key and instances an envelope owns while it runs; released with the envelope.
KeyHolder*& EnvelopeContentKey(EnvelopeObject* envelope);
AlgInstance*& EnvelopeWrapInstance(EnvelopeObject* envelope);
AlgInstance*& EnvelopeContentInstance(EnvelopeObject* envelope);
// Each envelope serves one seal or one open.
bool EnvelopeBeginUse(EnvelopeObject* envelope);

// The salt of the password checks, drawn once per process at the first seal.
const uint8_t* ProcessSalt(RandomObject* random, int* status);

// Object identifiers of the stream, as content bytes.
inline constexpr uint8_t kOidEnvelopedData[] = {0x2a, 0x86, 0x48, 0x86, 0xf7,
                                                0x0d, 0x01, 0x07, 0x03};
inline constexpr uint8_t kOidEncryptedContent[] = {0x2a, 0x86, 0x48, 0x86, 0xf7,
                                                   0x0d, 0x01, 0x07, 0x07};
inline constexpr uint8_t kOidPasswordRecipient[] = {0x2a, 0x86, 0x48, 0x86, 0xf7,
                                                    0x0d, 0x01, 0x09, 0x0b};
inline constexpr uint8_t kOidPublicKeyRecipient[] = {0x2a, 0x86, 0x48, 0x86, 0xf7,
                                                     0x0d, 0x01, 0x09, 0x0c};

// Maps an algorithm-tier failure of the recipient and content steps: memory and cancel keep
// their meaning, anything else becomes `otherwise`.
inline int MapStepStatus(int algStatus, int otherwise) {
    if (algStatus == 0) return kStatusOk;
    if (algStatus == 518) return kStatusOutOfMemory;
    if (algStatus == 519) return kStatusCancelled;
    if (algStatus >= 1280 && algStatus <= 1535) return algStatus;
    return otherwise;
}

inline CancelHook AsCancelHook(const ProgressHook* hook) {
    return hook == nullptr ? CancelHook{nullptr, nullptr}
                           : CancelHook{hook->callback, hook->argument};
}

}  // namespace qor::toolkit
