#include "algorithm_tier.h"
#include "memory.h"
#include "status.h"

namespace qor::toolkit {

namespace {
const char kKeyHolderClassMarker = 'K';
}  // namespace

bool IsValidKeyHolder(const KeyHolder* holder) {
    return holder != nullptr && holder->self == holder &&
           holder->classMarker == &kKeyHolderClassMarker;
}

int CreateKeyHolder(KeyHolder** holder) {
    *holder = nullptr;
    auto* created = static_cast<KeyHolder*>(MemAllocate(sizeof(KeyHolder)));
    if (created == nullptr) return kAlgOutOfMemory;
    MemFill(created, 0, sizeof(KeyHolder));
    created->self = created;
    created->classMarker = &kKeyHolderClassMarker;
    *holder = created;
    return kAlgOk;
}

void DestroyKeyHolder(KeyHolder** holder) {
    KeyHolder* victim = *holder;
    *holder = nullptr;
    if (!IsValidKeyHolder(victim)) return;
    victim->self = nullptr;
    MemoryListRelease(victim->memory);
    MemFill(victim, 0, sizeof(KeyHolder));
    MemFree(victim);
}

int AddKeyRepresentation(KeyHolder& holder, const KeyKind* kind, const void* block) {
    if (holder.count == kMaxRepresentations) return kAlgOutOfMemory;
    holder.representations[holder.count++] = {kind, block};
    return kAlgOk;
}

const void* FindKeyRepresentation(const KeyHolder& holder, const KeyKind* kind) {
    for (uint32_t i = 0; i < holder.count; ++i) {
        if (holder.representations[i].kind == kind) return holder.representations[i].block;
    }
    return nullptr;
}

int SetKey(KeyHolder* holder, const KeyKind* kind, const void* block) {
    if (!IsValidKeyHolder(holder)) return kAlgInvalidKeyHolder;
    if (kind == nullptr) return kAlgKindAccessorFailed;
    if (holder->count != 0) return kAlgKeyAlreadySet;
    int status = kind->set(*holder, block);
    if (status != kAlgOk) {
        MemoryListRelease(holder->memory);
        holder->count = 0;
    }
    return status;
}

int GetKey(KeyHolder* holder, const KeyKind* kind, const void** block) {
    if (!IsValidKeyHolder(holder)) return kAlgInvalidKeyHolder;
    if (kind == nullptr) return kAlgKindAccessorFailed;
    if (holder->count == 0) return kAlgKeyHolderEmpty;
    if (const void* found = FindKeyRepresentation(*holder, kind)) {
        *block = found;
        return kAlgOk;
    }
    if (kind->get == nullptr) return kAlgNotAvailable;
    return kind->get(*holder, block);
}

}  // namespace qor::toolkit
