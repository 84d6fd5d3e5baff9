// Password-based encryption with MD5 and RC2-CBC, for single memory buffers (the password
// blocks that hold the user's stored key).
//   K = MD5(password || salt), V = MD5(password || salt || 01), each then re-hashed count - 1
//   times; RC2-CBC with the 16 bytes of K as key and the first 8 bytes of V as IV.
#include <qor/secure_buffer.h>

#include "kinds.h"
#include "md5.h"
#include "status.h"

namespace qor::toolkit {

namespace {

constexpr uint32_t kSaltLength = 8;

// The derived key and IV exist only for the moment it takes to hand them to RC2-CBC.
struct Derived {
    uint8_t k[20];
    uint8_t v[20];
};

void Derive(const ByteSpan& password, const PbeRc2Params& p, Derived& out) {
    static const uint8_t kOne = 0x01;
    Md5Context h;
    ScopedWipe wipe(h);
    Md5Init(h);
    Md5Update(h, password.data, password.length);
    Md5Update(h, p.salt, kSaltLength);
    Md5Final(h, out.k);
    Md5Update(h, password.data, password.length);
    Md5Update(h, p.salt, kSaltLength);
    Md5Update(h, &kOne, 1);
    Md5Final(h, out.v);
    for (uint32_t n = 1; n < p.iterations; ++n) {
        Md5(out.k, kMd5DigestSize, out.k);
        Md5(out.v, kMd5DigestSize, out.v);
    }
}

int Compose(AlgInstance& instance, Direction direction, KeyHolder& key,
            const MethodRegistry& registry) {
    const auto* params = static_cast<const PbeRc2Params*>(BaseParams(instance));
    const void* passwordBlock = nullptr;
    int status = GetKey(&key, KeyKindByteString(), &passwordBlock);
    if (status != kAlgOk) return status;
    if (params->iterations == 0) return kAlgBadData;

    Derived d;
    ScopedWipe wipe(d);
    Derive(*static_cast<const ByteSpan*>(passwordBlock), *params, d);

    const MethodEntry* entry = nullptr;
    for (const MethodEntry* e = registry.entries; e->kind != nullptr; ++e) {
        if (e->kind == AlgKindRc2Cbc() && e->direction == direction) {
            entry = e;
            break;
        }
    }
    if (entry == nullptr) return kAlgNoMethod;
    const ByteSpan derivedKey = {d.k, kMd5DigestSize};
    const Rc2CbcParams cbc = {params->effectiveBits, d.v};
    return StartWorkingMethod(instance, *entry->table, direction, &cbc, &derivedKey);
}

int SetParams(AlgInstance& instance, const AlgKind& kind, const void* block) {
    const auto* p = static_cast<const PbeRc2Params*>(block);
    if (p == nullptr || p->salt == nullptr) return kAlgBadData;
    if (p->effectiveBits == 0 || p->effectiveBits > 1024) return kAlgParamOutOfRange;
    auto* copy =
        static_cast<PbeRc2Params*>(MemoryListAllocate(instance.memory, sizeof(PbeRc2Params)));
    auto* salt = static_cast<uint8_t*>(MemoryListCopy(instance.memory, p->salt, kSaltLength));
    if (copy == nullptr || salt == nullptr) return kAlgOutOfMemory;
    *copy = {p->effectiveBits, salt, p->iterations};
    return AddAlgParams(instance, &kind, copy);
}

extern const AlgKind kPbeRc2Kind;
const AlgKind kPbeRc2Kind = {
    "password with MD5 and RC2-CBC", SetParams, nullptr, &kPbeRc2Kind, &kMd5Kind, Compose};

}  // namespace

const AlgKind* AlgKindPbeMd5Rc2() {
    return &kPbeRc2Kind;
}

}  // namespace qor::toolkit
