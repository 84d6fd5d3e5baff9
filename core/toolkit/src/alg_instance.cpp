#include "algorithm_tier.h"
#include "memory.h"
#include "status.h"

#include <qor/secure_buffer.h>

namespace qor::toolkit {

namespace {

// Instances are told apart from stray pointers by this marker and their self pointer.
const char kInstanceClassMarker = 'I';

int MapMethod(int methodStatus) {
    return MapMethodStatus(methodStatus);
}

void ReleaseWorkingMethod(AlgInstance& instance) {
    if (instance.method.context != nullptr) {
        MemoryListReleaseBlock(instance.memory, instance.method.context);
    }
    instance.method = {};
    instance.flags &= ~kInstanceInitialised;
}

bool DirectionIsCipher(Direction d) {
    return d == Direction::kEncrypt || d == Direction::kDecrypt;
}

int CipherInit(AlgInstance* instance, KeyHolder* key, const MethodRegistry& registry,
               Direction direction) {
    if (!IsValidInstance(instance)) return kAlgInvalidInstance;
    if (instance->paramCount == 0) return kAlgNoParams;
    if (!IsValidKeyHolder(key)) return kAlgInvalidKeyHolder;
    ReleaseWorkingMethod(*instance);
    const AlgKind* base = BaseKind(*instance);
    if (base->compose != nullptr) return base->compose(*instance, direction, *key, registry);
    const void* keyBlock = nullptr;
    const MethodEntry* entry = FindMethod(registry, base, direction, key, &keyBlock);
    if (entry == nullptr) return kAlgNoMethod;
    return StartWorkingMethod(*instance, *entry->table, direction, BaseParams(*instance), keyBlock);
}

int KeylessInit(AlgInstance* instance, const MethodRegistry& registry, Direction direction) {
    if (instance->paramCount == 0) return kAlgNoParams;
    ReleaseWorkingMethod(*instance);
    const MethodEntry* entry =
        FindMethod(registry, BaseKind(*instance), direction, nullptr, nullptr);
    if (entry == nullptr) return kAlgNoMethod;
    return StartWorkingMethod(*instance, *entry->table, direction, BaseParams(*instance), nullptr);
}

bool Running(const AlgInstance* instance, Direction direction) {
    return (instance->flags & kInstanceInitialised) != 0 && instance->method.direction == direction;
}

}  // namespace

bool IsValidInstance(const AlgInstance* instance) {
    return instance != nullptr && instance->self == instance &&
           instance->classMarker == &kInstanceClassMarker;
}

int CreateAlgInstance(AlgInstance** instance) {
    *instance = nullptr;
    auto* created = static_cast<AlgInstance*>(MemAllocate(sizeof(AlgInstance)));
    if (created == nullptr) return kAlgOutOfMemory;
    MemFill(created, 0, sizeof(AlgInstance));
    created->self = created;
    created->classMarker = &kInstanceClassMarker;
    *instance = created;
    return kAlgOk;
}

void DestroyAlgInstance(AlgInstance** instance) {
    AlgInstance* victim = *instance;
    *instance = nullptr;
    if (!IsValidInstance(victim)) return;
    // Invalidate first, so nothing can reach a half-destroyed instance.
    victim->self = nullptr;
    victim->method = {};
    MemoryListRelease(victim->memory);
    MemFill(victim, 0, sizeof(AlgInstance));
    MemFree(victim);
}

int AddAlgParams(AlgInstance& instance, const AlgKind* kind, const void* block) {
    if (instance.paramCount == kMaxRepresentations) return kAlgOutOfMemory;
    instance.params[instance.paramCount++] = {kind, block};
    return kAlgOk;
}

int SetAlgParams(AlgInstance* instance, const AlgKind* kind, const void* block) {
    if (!IsValidInstance(instance)) return kAlgInvalidInstance;
    if (kind == nullptr) return kAlgKindAccessorFailed;
    if (instance->paramCount != 0) return kAlgParamsAlreadySet;
    if (kind->set == nullptr) return kAlgNotSupported;
    int status = kind->set(*instance, *kind, block);
    if (status != kAlgOk) {
        // A refused block leaves the instance as it was, ready for another attempt.
        MemoryListRelease(instance->memory);
        instance->paramCount = 0;
    }
    return status;
}

int GetAlgParams(AlgInstance* instance, const AlgKind* kind, const void** block) {
    if (!IsValidInstance(instance)) return kAlgInvalidInstance;
    if (kind == nullptr) return kAlgKindAccessorFailed;
    for (uint32_t i = 0; i < instance->paramCount; ++i) {
        if (instance->params[i].kind == kind) {
            *block = instance->params[i].block;
            return kAlgOk;
        }
    }
    if (instance->paramCount == 0 || kind->get == nullptr || kind->base != BaseKind(*instance)) {
        return kAlgNotAvailable;
    }
    return kind->get(*instance, block);
}

const AlgKind* BaseKind(const AlgInstance& instance) {
    return instance.paramCount == 0 ? nullptr : instance.params[0].kind->base;
}

const void* BaseParams(const AlgInstance& instance) {
    const AlgKind* base = BaseKind(instance);
    for (uint32_t i = 0; i < instance.paramCount; ++i) {
        if (instance.params[i].kind == base) return instance.params[i].block;
    }
    return nullptr;
}

const MethodEntry* FindMethod(const MethodRegistry& registry, const AlgKind* kind,
                              Direction direction, KeyHolder* key, const void** keyBlock) {
    for (const MethodEntry* e = registry.entries; e->kind != nullptr; ++e) {
        if (e->kind != kind || e->direction != direction) continue;
        if (e->keyKind == nullptr) {
            if (keyBlock != nullptr) *keyBlock = nullptr;
            return e;
        }
        const void* block = nullptr;
        if (key != nullptr && GetKey(key, e->keyKind, &block) == kAlgOk) {
            if (keyBlock != nullptr) *keyBlock = block;
            return e;
        }
    }
    return nullptr;
}

int StartWorkingMethod(AlgInstance& instance, const MethodTable& table, Direction direction,
                       const void* params, const void* key) {
    ReleaseWorkingMethod(instance);
    void* context = MemoryListAllocate(instance.memory, table.contextSize);
    if (context == nullptr) return kAlgOutOfMemory;
    int status = table.init != nullptr ? MapMethod(table.init(context, params, key)) : kAlgOk;
    if (status != kAlgOk) {
        MemoryListReleaseBlock(instance.memory, context);
        return status;
    }
    instance.method = {&table, context, direction};
    instance.flags |= kInstanceInitialised;
    return kAlgOk;
}

int AlgEncryptInit(AlgInstance* instance, KeyHolder* key, const MethodRegistry& registry) {
    return CipherInit(instance, key, registry, Direction::kEncrypt);
}

int AlgDecryptInit(AlgInstance* instance, KeyHolder* key, const MethodRegistry& registry) {
    return CipherInit(instance, key, registry, Direction::kDecrypt);
}

int AlgCipherUpdate(AlgInstance* instance, uint8_t* out, uint32_t* outLength, uint32_t capacity,
                    const uint8_t* in, uint32_t inLength, AlgInstance* random,
                    const CancelHook* hook) {
    *outLength = 0;
    if (!IsValidInstance(instance)) return kAlgInvalidInstance;
    if ((instance->flags & kInstanceInitialised) == 0 ||
        !DirectionIsCipher(instance->method.direction)) {
        return kAlgNotInitialised;
    }
    return MapMethod(instance->method.table->update(instance->method.context, out, outLength,
                                                    capacity, in, inLength, random, hook));
}

int AlgCipherFinal(AlgInstance* instance, uint8_t* out, uint32_t* outLength, uint32_t capacity,
                   AlgInstance* random, const CancelHook* hook) {
    *outLength = 0;
    if (!IsValidInstance(instance)) return kAlgInvalidInstance;
    if ((instance->flags & kInstanceInitialised) == 0 ||
        !DirectionIsCipher(instance->method.direction)) {
        return kAlgNotInitialised;
    }
    const int status = MapMethod(instance->method.table->final(instance->method.context, out,
                                                               outLength, capacity, random, hook));
    // The transform's frame kept what it worked on (a key, a password): overwritten now.
    BurnStack();
    return status;
}

int AlgDigestInit(AlgInstance* instance, const MethodRegistry& registry) {
    if (!IsValidInstance(instance)) return kAlgInvalidInstance;
    return KeylessInit(instance, registry, Direction::kDigest);
}

int AlgDigestUpdate(AlgInstance* instance, const uint8_t* in, uint32_t length) {
    if (!IsValidInstance(instance)) return kAlgInvalidInstance;
    if (!Running(instance, Direction::kDigest)) return kAlgNotInitialised;
    uint32_t unused = 0;
    return MapMethod(instance->method.table->update(instance->method.context, nullptr, &unused, 0,
                                                    in, length, nullptr, nullptr));
}

int AlgDigestFinal(AlgInstance* instance, uint8_t* out, uint32_t* outLength, uint32_t capacity) {
    *outLength = 0;
    if (!IsValidInstance(instance)) return kAlgInvalidInstance;
    if (!Running(instance, Direction::kDigest)) return kAlgNotInitialised;
    const int status = MapMethod(instance->method.table->final(
        instance->method.context, out, outLength, capacity, nullptr, nullptr));
    // The transform's frame kept what it worked on (a key, a password): overwritten now.
    BurnStack();
    return status;
}

int AlgRandomInit(AlgInstance* instance, const MethodRegistry& registry) {
    if (!IsValidInstance(instance)) return kAlgInvalidRandom;
    return KeylessInit(instance, registry, Direction::kRandom);
}

int AlgRandomSeed(AlgInstance* instance, const uint8_t* in, uint32_t length) {
    if (!IsValidInstance(instance)) return kAlgInvalidRandom;
    if (!Running(instance, Direction::kRandom)) return kAlgRandomNotSeeded;
    uint32_t unused = 0;
    const int status = MapMethod(instance->method.table->update(
        instance->method.context, nullptr, &unused, 0, in, length, nullptr, nullptr));
    // The transform's frame kept what it worked on (a key, a password): overwritten now.
    BurnStack();
    return status;
}

int AlgRandomGenerate(AlgInstance* instance, uint8_t* out, uint32_t length) {
    if (!IsValidInstance(instance)) return kAlgInvalidRandom;
    if (!Running(instance, Direction::kRandom)) return kAlgRandomNotSeeded;
    const int status =
        MapMethod(instance->method.table->generate(instance->method.context, out, length));
    // The transform's frame kept what it worked on (a key, a password): overwritten now.
    BurnStack();
    return status;
}

}  // namespace qor::toolkit
