#include "algorithm_id.h"

#include "status.h"

namespace qor::toolkit {

int OpenAlgorithmId(const ByteSpan* item, const uint8_t* oid, size_t oidLength,
                    BerElement& params) {
    if (item == nullptr || item->data == nullptr) return kAlgBadData;
    const uint8_t* p = item->data;
    const uint8_t* end = p + item->length;
    BerElement outer, id;
    if (!BerReadExpect(p, end, kBerSequence, outer) || p != end) return kAlgBadData;
    p = outer.content;
    end = outer.content + outer.length;
    if (!BerReadExpect(p, end, kBerObjectId, id)) return kAlgBadData;
    if (!BerIsOid(id, oid, oidLength)) return kAlgUnknownAlgorithm;
    if (!BerRead(p, end, params) || p != end) return kAlgBadData;
    return kAlgOk;
}

int AddAlgEncoding(AlgInstance& instance, const AlgKind* kind, const uint8_t* data, uint32_t length,
                   const void** block) {
    auto* copy = static_cast<ByteSpan*>(MemoryListAllocate(instance.memory, sizeof(ByteSpan)));
    void* bytes = MemoryListCopy(instance.memory, data, length);
    if (copy == nullptr || bytes == nullptr) return kAlgOutOfMemory;
    *copy = {static_cast<const uint8_t*>(bytes), length};
    int status = AddAlgParams(instance, kind, copy);
    if (status == kAlgOk && block != nullptr) *block = copy;
    return status;
}

int AddAlgorithmId(AlgInstance& instance, const AlgKind* kind, const uint8_t* oid, size_t oidLength,
                   const uint8_t* inner, size_t innerLength, const void** block) {
    BerBuffer<300> body;
    BerAppend(body, kBerObjectId, oid, oidLength);
    BerAppend(body, kBerSequence, inner, innerLength);
    BerBuffer<304> outer;
    BerAppend(outer, kBerSequence, body.data, body.length);
    if (body.overflow || outer.overflow) return kAlgTooLong;
    return AddAlgEncoding(instance, kind, outer.data, static_cast<uint32_t>(outer.length), block);
}

}  // namespace qor::toolkit
