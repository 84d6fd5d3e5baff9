// Opens arbitrary bytes as an envelope for a fixed password recipient. Any input must end in a
// status: no crash, no leak, no out-of-bounds access, no endless loop.
#include <qor/toolkit.h>

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "fuzz_password.h"

namespace {

struct Source {
    const uint8_t* data;
    size_t size;
    size_t at;
};

// Hands the input out in pieces of varying size, so the decoder's refills are exercised too.
int Read(unsigned char* buffer, unsigned int* count, unsigned int maximum, void* context) {
    auto* s = static_cast<Source*>(context);
    *count = 0;
    if (s->at == s->size) return kStreamEnd;
    size_t n = s->size - s->at;
    size_t piece = 1 + (s->at * 7919 % 3000);
    if (n > piece) n = piece;
    if (n > maximum) n = maximum;
    std::memcpy(buffer, s->data + s->at, n);
    s->at += n;
    *count = static_cast<unsigned int>(n);
    return 0;
}

int Discard(const unsigned char*, unsigned int, void*) {
    return 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    EnvelopeObject* envelope = nullptr;
    AttributeList* attributes = nullptr;
    if (EnvelopeCreate(&envelope) != kStatusOk) return 0;
    EnvelopeAddPassword(envelope, kFuzzPassword, kFuzzPasswordLength, 1);
    AttributeListCreate(&attributes);
    Source source = {data, size, 0};
    StreamRecord input = {nullptr, nullptr, Read, nullptr, nullptr, &source};
    StreamRecord output = {nullptr, nullptr, nullptr, nullptr, Discard, nullptr};
    EnvelopeOpen(&output, attributes, envelope, &input, nullptr);
    AttributeListDestroy(&attributes);
    EnvelopeDestroy(&envelope);
    return 0;
}
