// The RC4-with-MAC algorithm kind: its parameter block and its BER algorithm identifier
//   SEQUENCE { OID 1.2.840.113549.3.5, SEQUENCE { OCTET STRING salt (absent when empty),
//                                                  INTEGER mac length } }
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
    const auto* item = static_cast<const ByteSpan*>(block);
    if (item == nullptr || item->data == nullptr) return kAlgBadData;
    const uint8_t* p = item->data;
    const uint8_t* end = p + item->length;
    BerElement outer, oid, params, salt, mac;
    if (!BerReadExpect(p, end, kBerSequence, outer) || p != end) return kAlgBadData;
    p = outer.content;
    end = outer.content + outer.length;
    if (!BerReadExpect(p, end, kBerObjectId, oid)) return kAlgBadData;
    if (!BerIsOid(oid, kOidRc4WithMac, sizeof kOidRc4WithMac)) return kAlgUnknownAlgorithm;
    if (!BerReadExpect(p, end, kBerSequence, params) || p != end) return kAlgBadData;
    p = params.content;
    end = params.content + params.length;
    salt = {kBerOctetString, nullptr, 0, 0};
    if (p < end && *p == kBerOctetString && !BerReadExpect(p, end, kBerOctetString, salt)) {
        return kAlgBadData;
    }
    uint32_t macLength = 0;
    if (!BerReadExpect(p, end, kBerInteger, mac) || p != end || !BerUnsigned(mac, macLength)) {
        return kAlgBadData;
    }
    int status = StoreParams(instance, salt.content, static_cast<uint32_t>(salt.length), macLength);
    if (status != kAlgOk) return status;
    auto* copy = static_cast<ByteSpan*>(MemoryListAllocate(instance.memory, sizeof(ByteSpan)));
    void* bytes = MemoryListCopy(instance.memory, item->data, item->length);
    if (copy == nullptr || bytes == nullptr) return kAlgOutOfMemory;
    *copy = {static_cast<const uint8_t*>(bytes), item->length};
    return AddAlgParams(instance, &kind, copy);
}

int GetBer(AlgInstance& instance, const void** block) {
    const auto* p = static_cast<const Rc4MacParams*>(BaseParams(instance));
    if (p == nullptr) return kAlgNotAvailable;
    BerBuffer<32> inner;
    if (p->saltLength != 0) BerAppend(inner, kBerOctetString, p->salt, p->saltLength);
    BerAppendUnsigned(inner, p->macLength);
    uint8_t oidElement[2 + sizeof kOidRc4WithMac];
    size_t used = 0;
    bool overflow = false;
    BerAppend(oidElement, sizeof oidElement, used, overflow, kBerObjectId, kOidRc4WithMac,
              sizeof kOidRc4WithMac);
    BerBuffer<300> body;
    BerAppend(body, kBerObjectId, kOidRc4WithMac, sizeof kOidRc4WithMac);
    BerAppend(body, kBerSequence, inner.data, inner.length);
    BerBuffer<300> outer;
    BerAppend(outer, kBerSequence, body.data, body.length);
    if (inner.overflow || body.overflow || outer.overflow) return kAlgTooLong;
    auto* copy = static_cast<ByteSpan*>(MemoryListAllocate(instance.memory, sizeof(ByteSpan)));
    void* bytes = MemoryListCopy(instance.memory, outer.data, static_cast<uint32_t>(outer.length));
    if (copy == nullptr || bytes == nullptr) return kAlgOutOfMemory;
    *copy = {static_cast<const uint8_t*>(bytes), static_cast<uint32_t>(outer.length)};
    int status = AddAlgParams(instance, AlgKindRc4MacBer(), copy);
    if (status == kAlgOk) *block = copy;
    return status;
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
