// Walks arbitrary bytes with the streaming BER reader (headers, nesting, skips, views) and with
// the in-memory reader: both must stay within their buffers and terminate.
#include <qor/toolkit.h>

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "ber.h"
#include "ber_stream_reader.h"

namespace {

struct Source {
    const uint8_t* data;
    size_t size;
    size_t at;
};

int Read(unsigned char* buffer, unsigned int* count, unsigned int maximum, void* context) {
    auto* s = static_cast<Source*>(context);
    *count = 0;
    if (s->at == s->size) return kStreamEnd;
    size_t n = s->size - s->at;
    if (n > maximum) n = maximum;
    if (n > 977) n = 977;
    std::memcpy(buffer, s->data + s->at, n);
    s->at += n;
    *count = static_cast<unsigned int>(n);
    return 0;
}

void WalkInMemory(const uint8_t* p, const uint8_t* end, int depth) {
    using namespace qor::toolkit;
    BerElement e;
    while (p < end && BerRead(p, end, e)) {
        uint32_t value = 0;
        BerUnsigned(e, value);
        if ((e.tag & 0x20) != 0 && depth < 8)
            WalkInMemory(e.content, e.content + e.length, depth + 1);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace qor::toolkit;
    WalkInMemory(data, data + size, 0);

    Source source = {data, size, 0};
    StreamRecord input = {nullptr, nullptr, Read, nullptr, nullptr, &source};
    uint8_t buffer[8192];
    BerStreamReader reader(input, buffer, sizeof buffer);
    uint8_t scratch[64];
    // Each step consumes at least one byte or leaves an element, so the walk ends.
    for (int steps = 0; steps < 100000; ++steps) {
        if (reader.depth() > 0) {
            bool ended = false;
            if (reader.AtEnd(ended) != kStatusOk) break;
            if (ended) {
                reader.Leave();
                continue;
            }
        }
        BerHeader h;
        if (reader.ReadHeader(h) != kStatusOk) break;
        if (h.constructed) {
            if ((h.tag & 0x3) == 0x3 && reader.SkipElement(h) != kStatusOk) break;
            continue;
        }
        int status = kStatusOk;
        if (h.length <= sizeof scratch) {
            status = reader.ReadPrimitive(h, scratch, sizeof scratch);
        } else {
            size_t left = h.length;
            while (left > 0 && status == kStatusOk) {
                const uint8_t* view = nullptr;
                size_t got = 0;
                status = reader.View(&view, left, &got);
                left -= got;
            }
        }
        if (status != kStatusOk) break;
    }
    return 0;
}
