// Decodes arbitrary bytes as an RSA public key, the way an envelope takes the organisation's
// key, and re-encodes what it accepted: decoding must never crash or leak, and whatever it
// accepts must survive a round trip through the canonical encoding.
#include <qor/toolkit.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "algorithm_tier.h"
#include "kinds.h"
#include "status.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace qor::toolkit;
    if (size > 4096) return 0;
    EnvelopeObject* envelope = nullptr;
    if (EnvelopeCreate(&envelope) == kStatusOk) {
        EnvelopeAddPublicKey(envelope, data, static_cast<unsigned int>(size));
        EnvelopeDestroy(&envelope);
    }

    KeyHolder* holder = nullptr;
    if (CreateKeyHolder(&holder) != kAlgOk) return 0;
    const ByteSpan input = {data, static_cast<uint32_t>(size)};
    const void* components = nullptr;
    if (SetKey(holder, KeyKindRsaPublicBer(), &input) == kAlgOk &&
        GetKey(holder, KeyKindRsaPublic(), &components) == kAlgOk) {
        KeyHolder* canonical = nullptr;
        KeyHolder* again = nullptr;
        const void* encoding = nullptr;
        const void* decoded = nullptr;
        if (CreateKeyHolder(&canonical) == kAlgOk &&
            SetKey(canonical, KeyKindRsaPublic(), components) == kAlgOk &&
            GetKey(canonical, KeyKindRsaPublicBer(), &encoding) == kAlgOk &&
            CreateKeyHolder(&again) == kAlgOk &&
            SetKey(again, KeyKindRsaPublicBer(), encoding) == kAlgOk) {
            if (GetKey(again, KeyKindRsaPublic(), &decoded) != kAlgOk) std::abort();
            const auto* a = static_cast<const RsaPublicKey*>(components);
            const auto* b = static_cast<const RsaPublicKey*>(decoded);
            if (a->modulus.length != b->modulus.length ||
                a->exponent.length != b->exponent.length ||
                std::memcmp(a->modulus.data, b->modulus.data, a->modulus.length) != 0 ||
                std::memcmp(a->exponent.data, b->exponent.data, a->exponent.length) != 0) {
                std::abort();
            }
        }
        DestroyKeyHolder(&again);
        DestroyKeyHolder(&canonical);
    }
    DestroyKeyHolder(&holder);
    return 0;
}
