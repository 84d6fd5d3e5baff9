#include "kinds.h"
#include "status.h"

namespace qor::toolkit {

namespace {

int SetByteString(KeyHolder& holder, const void* block) {
    const auto* key = static_cast<const ByteSpan*>(block);
    if (key == nullptr || (key->data == nullptr && key->length != 0)) return kAlgBadData;
    auto* copy = static_cast<ByteSpan*>(MemoryListAllocate(holder.memory, sizeof(ByteSpan)));
    if (copy == nullptr) return kAlgOutOfMemory;
    void* bytes = MemoryListCopy(holder.memory, key->data, key->length);
    if (bytes == nullptr) return kAlgOutOfMemory;
    *copy = {static_cast<const uint8_t*>(bytes), key->length};
    return AddKeyRepresentation(holder, KeyKindByteString(), copy);
}

int SetDes8(KeyHolder& holder, const void* block) {
    if (block == nullptr) return kAlgBadData;
    void* copy = MemoryListCopy(holder.memory, block, 8);
    if (copy == nullptr) return kAlgOutOfMemory;
    return AddKeyRepresentation(holder, KeyKindDes8(), copy);
}

int GetDes8(KeyHolder& holder, const void** block) {
    const auto* bytes =
        static_cast<const ByteSpan*>(FindKeyRepresentation(holder, KeyKindByteString()));
    if (bytes == nullptr) return kAlgNotAvailable;
    if (bytes->length != 8) return kAlgUnknownAlgorithm;
    void* copy = MemoryListCopy(holder.memory, bytes->data, 8);
    if (copy == nullptr) return kAlgOutOfMemory;
    int status = AddKeyRepresentation(holder, KeyKindDes8(), copy);
    if (status == kAlgOk) *block = copy;
    return status;
}

const KeyKind kByteString = {"byte string", SetByteString, nullptr};
const KeyKind kDes8 = {"DES key", SetDes8, GetDes8};

}  // namespace

const KeyKind* KeyKindByteString() {
    return &kByteString;
}
const KeyKind* KeyKindDes8() {
    return &kDes8;
}

int SetNoParams(AlgInstance& instance, const AlgKind& kind, const void*) {
    // A kind without parameters records itself, so the instance knows what it is.
    return AddAlgParams(instance, &kind, nullptr);
}

}  // namespace qor::toolkit
