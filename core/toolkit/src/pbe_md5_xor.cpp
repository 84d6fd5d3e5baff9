// Password-based encryption with MD5 and XOR: wraps an envelope's content key for a password
// recipient. D = MD5(password || salt), iterated; the key stream is the output of an MD5
// generator seeded once with D. Its BER algorithm identifier:
//   SEQUENCE { OID 1.2.840.113549.1.5.9, SEQUENCE { OCTET STRING salt (8), INTEGER count } }
#include <qor/secure_buffer.h>

#include "algorithm_id.h"
#include "ber.h"
#include "kinds.h"
#include "md5.h"
#include "md5_generator.h"
#include "status.h"

namespace qor::toolkit {

namespace {

constexpr uint32_t kSaltLength = 8;

struct XorContext {
    Md5GeneratorState generator;
    uint32_t initialised;
};

int XorInit(void* context, const void* params, const void* key) {
    const auto* p = static_cast<const PbeXorParams*>(params);
    const auto* password = static_cast<const ByteSpan*>(key);
    if (p->iterations == 0) return kMethodBadData;
    uint8_t d[kMd5DigestSize];
    ScopedWipe wipeD(d);
    Md5Context h;
    ScopedWipe wipeH(h);
    Md5Init(h);
    Md5Update(h, password->data, password->length);
    Md5Update(h, p->salt, kSaltLength);
    Md5Final(h, d);
    for (uint32_t k = 1; k < p->iterations; ++k)
        Md5(d, sizeof d, d);
    auto& ctx = *static_cast<XorContext*>(context);
    Md5GeneratorInit(ctx.generator);
    Md5GeneratorSeed(ctx.generator, d, sizeof d);
    ctx.initialised = 1;
    return kMethodOk;
}

int XorUpdate(void* context, uint8_t* out, uint32_t* outLength, uint32_t capacity,
              const uint8_t* in, uint32_t inLength, AlgInstance*, const CancelHook*) {
    auto& ctx = *static_cast<XorContext*>(context);
    if (ctx.initialised == 0) return kMethodNotInitialised;
    if (capacity < inLength) return kMethodOutputTooSmall;
    uint8_t stream[64];
    ScopedWipe wipe(stream);
    for (uint32_t done = 0; done < inLength;) {
        uint32_t n = inLength - done < sizeof stream ? inLength - done : sizeof stream;
        Md5GeneratorGenerate(ctx.generator, stream, n);
        for (uint32_t k = 0; k < n; ++k)
            out[done + k] = static_cast<uint8_t>(in[done + k] ^ stream[k]);
        done += n;
    }
    *outLength = inLength;
    return kMethodOk;
}

int XorFinal(void* context, uint8_t*, uint32_t* outLength, uint32_t, AlgInstance*,
             const CancelHook*) {
    *outLength = 0;
    return static_cast<XorContext*>(context)->initialised ? kMethodOk : kMethodNotInitialised;
}

const MethodTable kXorMethod = {sizeof(XorContext), XorInit, XorUpdate, XorFinal, nullptr};

// Key derivation and key stream are the same in both directions.
int Compose(AlgInstance& instance, Direction direction, KeyHolder& key, const MethodRegistry&) {
    const void* password = nullptr;
    int status = GetKey(&key, KeyKindByteString(), &password);
    if (status != kAlgOk) return status;
    return StartWorkingMethod(instance, kXorMethod, direction, BaseParams(instance), password);
}

int StoreParams(AlgInstance& instance, const uint8_t* salt, uint32_t iterations) {
    auto* copy =
        static_cast<PbeXorParams*>(MemoryListAllocate(instance.memory, sizeof(PbeXorParams)));
    auto* saltCopy = static_cast<uint8_t*>(MemoryListCopy(instance.memory, salt, kSaltLength));
    if (copy == nullptr || saltCopy == nullptr) return kAlgOutOfMemory;
    *copy = {saltCopy, iterations};
    return AddAlgParams(instance, AlgKindPbeMd5Xor(), copy);
}

int SetParams(AlgInstance& instance, const AlgKind&, const void* block) {
    const auto* p = static_cast<const PbeXorParams*>(block);
    if (p == nullptr || p->salt == nullptr) return kAlgBadData;
    return StoreParams(instance, p->salt, p->iterations);
}

int SetBer(AlgInstance& instance, const AlgKind& kind, const void* block) {
    BerElement params, salt, count;
    const auto* item = static_cast<const ByteSpan*>(block);
    int status = OpenAlgorithmId(item, kOidPbeMd5Xor, sizeof kOidPbeMd5Xor, params);
    if (status != kAlgOk) return status;
    if (params.tag != kBerSequence) return kAlgBadData;
    const uint8_t* p = params.content;
    const uint8_t* end = params.content + params.length;
    uint32_t iterations = 0;
    if (!BerReadExpect(p, end, kBerOctetString, salt) || salt.length != kSaltLength ||
        !BerReadExpect(p, end, kBerInteger, count) || p != end || !BerUnsigned(count, iterations)) {
        return kAlgBadData;
    }
    status = StoreParams(instance, salt.content, iterations);
    if (status != kAlgOk) return status;
    return AddAlgEncoding(instance, &kind, item->data, item->length, nullptr);
}

int GetBer(AlgInstance& instance, const void** block) {
    const auto* p = static_cast<const PbeXorParams*>(BaseParams(instance));
    if (p == nullptr) return kAlgNotAvailable;
    BerBuffer<32> inner;
    BerAppend(inner, kBerOctetString, p->salt, kSaltLength);
    BerAppendUnsigned(inner, p->iterations);
    if (inner.overflow) return kAlgTooLong;
    return AddAlgorithmId(instance, AlgKindPbeMd5XorBer(), kOidPbeMd5Xor, sizeof kOidPbeMd5Xor,
                          inner.data, inner.length, block);
}

extern const AlgKind kPbeXorKind;
const AlgKind kPbeXorKind = {
    "password with MD5 and XOR", SetParams, nullptr, &kPbeXorKind, &kMd5Kind, Compose};
const AlgKind kPbeXorBerKind = {
    "password with MD5 and XOR, BER", SetBer, GetBer, &kPbeXorKind, nullptr, nullptr};

}  // namespace

const AlgKind* AlgKindPbeMd5Xor() {
    return &kPbeXorKind;
}
const AlgKind* AlgKindPbeMd5XorBer() {
    return &kPbeXorBerKind;
}

}  // namespace qor::toolkit
