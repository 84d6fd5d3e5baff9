// The algorithm tier: algorithm instances, key holders, the static kind descriptors and the
// registry of implementations. Service objects are thin, checked front ends over it.
//
// An instance is given parameters once, by an AlgKind and that kind's parameter block; it can
// hand them back in any representation its kinds can derive (a BER encoding, say). Initialising
// it for an operation walks a MethodRegistry in order and takes the first implementation whose
// kind and direction match and whose key kind the supplied key holder can produce.
//
// Codes are the algorithm tier's own (status.h); method routines report method codes, which
// the tier maps on the way up.
#pragma once

#include <cstdint>

#include "memory_list.h"

namespace qor::toolkit {

struct AlgInstance;
struct KeyHolder;
struct MethodRegistry;

// Same layout as the service interface's ProgressHook: a non-zero answer cancels.
struct CancelHook {
    int (*callback)(void* argument);
    void* argument;
};

inline bool Cancelled(const CancelHook* hook) {
    return hook != nullptr && hook->callback != nullptr && hook->callback(hook->argument) != 0;
}

enum class Direction : uint32_t { kEncrypt, kDecrypt, kDigest, kRandom, kKeyGeneration };

// A byte string handed across the tier: a key, a salt, an encoding.
struct ByteSpan {
    const uint8_t* data;
    uint32_t length;
};

// One implementation. Update and final take the output buffer, the out-length, the buffer's
// capacity, the input, an optional random instance and an optional cancel hook. Digests ignore
// the output of update; random generators take seed bytes through update and produce output
// through generate.
struct MethodTable {
    uint32_t contextSize;
    int (*init)(void* context, const void* params, const void* key);
    int (*update)(void* context, uint8_t* out, uint32_t* outLength, uint32_t capacity,
                  const uint8_t* in, uint32_t inLength, AlgInstance* random,
                  const CancelHook* hook);
    int (*final)(void* context, uint8_t* out, uint32_t* outLength, uint32_t capacity,
                 AlgInstance* random, const CancelHook* hook);
    int (*generate)(void* context, uint8_t* out, uint32_t length);
};

struct AlgKind {
    const char* name;
    // Validates the caller's block and records a private copy in the instance (null: 541).
    int (*set)(AlgInstance& instance, const AlgKind& kind, const void* block);
    // Derives this kind's representation from the instance's parameters (null: 541).
    int (*get)(AlgInstance& instance, const void** block);
    // The kind whose parameter block the implementations read; itself for a native kind.
    const AlgKind* base;
    // The digest a password-based kind derives its keys with.
    const AlgKind* digest;
    // Password-based kinds derive a key and then run another implementation; they build the
    // working method themselves from the registry they are given.
    int (*compose)(AlgInstance& instance, Direction direction, KeyHolder& key,
                   const MethodRegistry& registry);
};

struct KeyKind {
    const char* name;
    int (*set)(KeyHolder& holder, const void* block);
    // Converts from a representation the holder already has; 535 when none converts.
    int (*get)(KeyHolder& holder, const void** block);
};

struct MethodEntry {
    const AlgKind* kind;
    Direction direction;
    const KeyKind* keyKind;  // null: the implementation needs no key
    const MethodTable* table;
};

// Entries in order, ended by an entry whose kind is null.
struct MethodRegistry {
    const MethodEntry* entries;
};

inline constexpr uint32_t kMaxRepresentations = 4;

struct AlgParam {
    const AlgKind* kind;
    const void* block;
};

struct WorkingMethod {
    const MethodTable* table;
    void* context;
    Direction direction;
};

inline constexpr uint32_t kInstanceInitialised = 1u << 0;

struct AlgInstance {
    MemoryList memory;
    uint32_t paramCount;
    AlgParam params[kMaxRepresentations];
    uint32_t flags;
    WorkingMethod method;
    AlgInstance* self;
    const void* classMarker;
};

struct KeyRepresentation {
    const KeyKind* kind;
    const void* block;
};

struct KeyHolder {
    MemoryList memory;
    uint32_t count;
    KeyRepresentation representations[kMaxRepresentations];
    KeyHolder* self;
    const void* classMarker;
};

// Instances. Destroying an invalid or null instance only clears the handle.
int CreateAlgInstance(AlgInstance** instance);
void DestroyAlgInstance(AlgInstance** instance);
bool IsValidInstance(const AlgInstance* instance);

int SetAlgParams(AlgInstance* instance, const AlgKind* kind, const void* block);
int GetAlgParams(AlgInstance* instance, const AlgKind* kind, const void** block);
// For set and get handlers: records a representation the instance now holds.
int AddAlgParams(AlgInstance& instance, const AlgKind* kind, const void* block);
// The instance's parameter block as its implementations read it (the base kind's).
const void* BaseParams(const AlgInstance& instance);
const AlgKind* BaseKind(const AlgInstance& instance);

// Encrypt/decrypt. Init releases any earlier working method of the instance.
int AlgEncryptInit(AlgInstance* instance, KeyHolder* key, const MethodRegistry& registry);
int AlgDecryptInit(AlgInstance* instance, KeyHolder* key, const MethodRegistry& registry);
int AlgCipherUpdate(AlgInstance* instance, uint8_t* out, uint32_t* outLength, uint32_t capacity,
                    const uint8_t* in, uint32_t inLength, AlgInstance* random,
                    const CancelHook* hook);
int AlgCipherFinal(AlgInstance* instance, uint8_t* out, uint32_t* outLength, uint32_t capacity,
                   AlgInstance* random, const CancelHook* hook);

// Digests.
int AlgDigestInit(AlgInstance* instance, const MethodRegistry& registry);
int AlgDigestUpdate(AlgInstance* instance, const uint8_t* in, uint32_t length);
int AlgDigestFinal(AlgInstance* instance, uint8_t* out, uint32_t* outLength, uint32_t capacity);

// Random generators. Invalid instances give 539; seed or generate before init give 538.
int AlgRandomInit(AlgInstance* instance, const MethodRegistry& registry);
int AlgRandomSeed(AlgInstance* instance, const uint8_t* in, uint32_t length);
int AlgRandomGenerate(AlgInstance* instance, uint8_t* out, uint32_t length);

// Sets up `instance` to run `entry`'s implementation with `params` and `key` (for composite
// kinds, which hand a derived key to another implementation).
int StartWorkingMethod(AlgInstance& instance, const MethodTable& table, Direction direction,
                       const void* params, const void* key);
// The first entry for `kind` and `direction` whose key kind `key` can produce (key may be
// null for keyless implementations). Null when none fits.
const MethodEntry* FindMethod(const MethodRegistry& registry, const AlgKind* kind,
                              Direction direction, KeyHolder* key, const void** keyBlock);

// Key holders.
int CreateKeyHolder(KeyHolder** holder);
void DestroyKeyHolder(KeyHolder** holder);
bool IsValidKeyHolder(const KeyHolder* holder);
int SetKey(KeyHolder* holder, const KeyKind* kind, const void* block);
int GetKey(KeyHolder* holder, const KeyKind* kind, const void** block);
// For key kinds' handlers: records a representation the holder now has.
int AddKeyRepresentation(KeyHolder& holder, const KeyKind* kind, const void* block);
const void* FindKeyRepresentation(const KeyHolder& holder, const KeyKind* kind);

}  // namespace qor::toolkit
