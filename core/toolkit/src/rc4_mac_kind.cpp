// The RC4-with-MAC algorithm kind: its parameter block and its BER algorithm identifier
//   SEQUENCE { OID 1.2.840.113549.3.5, SEQUENCE { OCTET STRING salt (absent when empty),
//                                                  INTEGER mac length } }
#include "algorithm_id.h"
#include "ber.h"
#include "kinds.h"
#include "rc4_mac.h"
#include "status.h"

namespace qor::toolkit {

namespace {

int StoreParams(AlgInstance& instance, const uint8_t* salt, uint32_t saltLength,
                uint32_t macLength) {
    if (macLength < kRc4MacMinMac || macLength > kRc4MacMaxMac) return kAlgParamOutOfRange;
    auto* copy =
        static_cast<Rc4MacParams*>(MemoryListAllocate(instance.memory, sizeof(Rc4MacParams)));
    if (copy == nullptr) return kAlgOutOfMemory;
    const uint8_t* saltCopy = nullptr;
    if (saltLength != 0) {
        saltCopy = static_cast<const uint8_t*>(MemoryListCopy(instance.memory, salt, saltLength));
        if (saltCopy == nullptr) return kAlgOutOfMemory;
    }
    *copy = {saltCopy, saltLength, macLength};
    return AddAlgParams(instance, AlgKindRc4Mac(), copy);
}

int SetParams(AlgInstance& instance, const AlgKind&, const void* block) {
    const auto* p = static_cast<const Rc4MacParams*>(block);
    if (p == nullptr || (p->salt == nullptr && p->saltLength != 0)) return kAlgBadData;
    return StoreParams(instance, p->salt, p->saltLength, p->macLength);
}

int SetBer(AlgInstance& instance, const AlgKind& kind, const void* block) {
    BerElement params, salt = {kBerOctetString, nullptr, 0, 0}, mac;
    const auto* item = static_cast<const ByteSpan*>(block);
    int status = OpenAlgorithmId(item, kOidRc4WithMac, sizeof kOidRc4WithMac, params);
    if (status != kAlgOk) return status;
    if (params.tag != kBerSequence) return kAlgBadData;
    const uint8_t* p = params.content;
    const uint8_t* end = params.content + params.length;
    if (p < end && *p == kBerOctetString && !BerReadExpect(p, end, kBerOctetString, salt)) {
        return kAlgBadData;
    }
    uint32_t macLength = 0;
    if (!BerReadExpect(p, end, kBerInteger, mac) || p != end || !BerUnsigned(mac, macLength)) {
        return kAlgBadData;
    }
    status = StoreParams(instance, salt.content, static_cast<uint32_t>(salt.length), macLength);
    if (status != kAlgOk) return status;
    return AddAlgEncoding(instance, &kind, item->data, item->length, nullptr);
}

int GetBer(AlgInstance& instance, const void** block) {
    const auto* p = static_cast<const Rc4MacParams*>(BaseParams(instance));
    if (p == nullptr) return kAlgNotAvailable;
    BerBuffer<32> inner;
    if (p->saltLength != 0) BerAppend(inner, kBerOctetString, p->salt, p->saltLength);
    BerAppendUnsigned(inner, p->macLength);
    if (inner.overflow) return kAlgTooLong;
    return AddAlgorithmId(instance, AlgKindRc4MacBer(), kOidRc4WithMac, sizeof kOidRc4WithMac,
                          inner.data, inner.length, block);
}

const AlgKind kRc4MacKind = {"RC4 with MAC", SetParams, nullptr, &kRc4MacKind, nullptr, nullptr};
const AlgKind kRc4MacBerKind = {"RC4 with MAC, BER", SetBer,  GetBer,
                                &kRc4MacKind,        nullptr, nullptr};

}  // namespace

const AlgKind* AlgKindRc4Mac() {
    return &kRc4MacKind;
}
const AlgKind* AlgKindRc4MacBer() {
    return &kRc4MacBerKind;
}

}  // namespace qor::toolkit
