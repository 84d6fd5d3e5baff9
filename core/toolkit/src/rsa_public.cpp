// RSA with a public key inside PKCS #1 v1.5 padding: block type 2 when encrypting (how an
// envelope wraps its content key for a public-key recipient), block type 1 removal when
// decrypting. The key's BER form:
//   SEQUENCE { SEQUENCE { OID 1.2.840.113549.1.1.1, NULL },
//              BIT STRING { 00, SEQUENCE { INTEGER modulus, INTEGER publicExponent } } }
// and the wrapper's: SEQUENCE { OID 1.2.840.113549.1.1.1, NULL }.
#include <qor/secure_buffer.h>

#include <bit>

#include "algorithm_id.h"
#include "ber.h"
#include "bignum.h"
#include "kinds.h"
#include "memory.h"
#include "status.h"

namespace qor::toolkit {

namespace {

constexpr uint8_t kOidRsaEncryption[] = {0x2a, 0x86, 0x48, 0x86, 0xf7, 0x0d, 0x01, 0x01, 0x01};
// The older directory-services identifier for RSA (2.5.8.1.1), still found in keys from
// elsewhere; accepted on input, never written.
constexpr uint8_t kOidRsaX500[] = {0x55, 0x08, 0x01, 0x01};
// SEQUENCE { OID 1.2.840.113549.1.1.1, NULL }: the wrapper's identifier and the head of every
// public key we write.
constexpr uint8_t kRsaIdentifier[] = {0x30, 0x0d, 0x06, 0x09, 0x2a, 0x86, 0x48, 0x86,
                                      0xf7, 0x0d, 0x01, 0x01, 0x01, 0x05, 0x00};
const ByteSpan kRsaIdentifierSpan = {kRsaIdentifier, sizeof kRsaIdentifier};

constexpr uint32_t kMaxModulusBits = 2048;
constexpr uint32_t kMaxBlock = kMaxModulusBits / 8;
constexpr int32_t kMaxWords = kMaxModulusBits / 32;
// Block type 2 needs 00 02, at least 8 padding bytes and the 00 separator.
constexpr uint32_t kPaddingOverhead = 11;
constexpr uint32_t kMinPadding = 8;

ByteSpan Stripped(ByteSpan b) {
    while (b.length > 0 && b.data[0] == 0) {
        ++b.data;
        --b.length;
    }
    return b;
}

// ---- The key: components and BER form ----

int StoreComponents(KeyHolder& holder, ByteSpan modulus, ByteSpan exponent) {
    modulus = Stripped(modulus);
    exponent = Stripped(exponent);
    if (modulus.length == 0 || exponent.length == 0) return kAlgBadData;
    auto* key = static_cast<RsaPublicKey*>(MemoryListAllocate(holder.memory, sizeof(RsaPublicKey)));
    auto* bytes =
        static_cast<uint8_t*>(MemoryListAllocate(holder.memory, modulus.length + exponent.length));
    if (key == nullptr || bytes == nullptr) return kAlgOutOfMemory;
    MemCopy(bytes, modulus.data, modulus.length);
    MemCopy(bytes + modulus.length, exponent.data, exponent.length);
    *key = {{bytes, modulus.length}, {bytes + modulus.length, exponent.length}};
    return AddKeyRepresentation(holder, KeyKindRsaPublic(), key);
}

// An INTEGER read as unsigned: a first byte of 80 or more would make it negative.
int ReadUnsigned(const uint8_t*& p, const uint8_t* end, ByteSpan& value) {
    BerElement e;
    if (!BerReadExpect(p, end, kBerInteger, e) || e.length == 0) return kAlgBadData;
    if (e.content[0] >= 0x80) return kAlgBadData;
    value = {e.content, static_cast<uint32_t>(e.length)};
    return kAlgOk;
}

int ParseKeyBer(const ByteSpan& item, ByteSpan& modulus, ByteSpan& exponent) {
    const uint8_t* p = item.data;
    const uint8_t* end = p + item.length;
    BerElement outer, algorithm, oid, params, bits, pair;
    if (!BerReadExpect(p, end, kBerSequence, outer) || p != end) return kAlgBadData;
    p = outer.content;
    end = outer.content + outer.length;
    if (!BerReadExpect(p, end, kBerSequence, algorithm)) return kAlgBadData;

    const uint8_t* q = algorithm.content;
    const uint8_t* qEnd = algorithm.content + algorithm.length;
    if (!BerReadExpect(q, qEnd, kBerObjectId, oid)) return kAlgBadData;
    if (!BerIsOid(oid, kOidRsaEncryption, sizeof kOidRsaEncryption) &&
        !BerIsOid(oid, kOidRsaX500, sizeof kOidRsaX500)) {
        return kAlgUnknownAlgorithm;
    }
    if (q != qEnd && (!BerReadExpect(q, qEnd, kBerNull, params) || params.length != 0)) {
        return kAlgBadData;
    }
    if (q != qEnd) return kAlgBadData;

    if (!BerReadExpect(p, end, kBerBitString, bits) || p != end) return kAlgBadData;
    if (bits.length == 0 || bits.content[0] != 0) return kAlgBadData;  // whole bytes only
    q = bits.content + 1;
    qEnd = bits.content + bits.length;
    if (!BerReadExpect(q, qEnd, kBerSequence, pair) || q != qEnd) return kAlgBadData;
    q = pair.content;
    qEnd = pair.content + pair.length;
    int status = ReadUnsigned(q, qEnd, modulus);
    if (status == kAlgOk) status = ReadUnsigned(q, qEnd, exponent);
    if (status == kAlgOk && q != qEnd) status = kAlgBadData;
    return status;
}

size_t HeaderLength(size_t content) {
    return content < 0x80 ? 2 : (content < 0x100 ? 3 : 4);
}

// INTEGER content of an unsigned value: a leading 00 keeps a top bit from reading as a sign.
size_t IntegerLength(const ByteSpan& value) {
    return value.length + (value.data[0] >= 0x80 ? 1 : 0);
}

size_t WriteInteger(uint8_t* out, const ByteSpan& value) {
    const size_t content = IntegerLength(value);
    size_t pos = BerWriteHeader(out, kBerInteger, content);
    if (content != value.length) out[pos++] = 0;
    MemCopy(out + pos, value.data, value.length);
    return pos + value.length;
}

// The canonical encoding, whatever form the key arrived in: the PKCS #1 identifier with NULL
// parameters and INTEGERs in their shortest form.
int StoreKeyBer(KeyHolder& holder, const RsaPublicKey& key, const ByteSpan** stored) {
    const size_t modulusLength = IntegerLength(key.modulus);
    const size_t exponentLength = IntegerLength(key.exponent);
    const size_t pair =
        HeaderLength(modulusLength) + modulusLength + HeaderLength(exponentLength) + exponentLength;
    const size_t bits = 1 + HeaderLength(pair) + pair;
    const size_t body = sizeof kRsaIdentifier + HeaderLength(bits) + bits;
    if (body > kBerMaxDefiniteLength) return kAlgTooLong;
    const size_t total = HeaderLength(body) + body;

    auto* span = static_cast<ByteSpan*>(MemoryListAllocate(holder.memory, sizeof(ByteSpan)));
    auto* out =
        static_cast<uint8_t*>(MemoryListAllocate(holder.memory, static_cast<uint32_t>(total)));
    if (span == nullptr || out == nullptr) return kAlgOutOfMemory;
    size_t pos = BerWriteHeader(out, kBerSequence, body);
    MemCopy(out + pos, kRsaIdentifier, sizeof kRsaIdentifier);
    pos += sizeof kRsaIdentifier;
    pos += BerWriteHeader(out + pos, kBerBitString, bits);
    out[pos++] = 0;
    pos += BerWriteHeader(out + pos, kBerSequence, pair);
    pos += WriteInteger(out + pos, key.modulus);
    WriteInteger(out + pos, key.exponent);
    *span = {out, static_cast<uint32_t>(total)};
    int status = AddKeyRepresentation(holder, KeyKindRsaPublicBer(), span);
    if (status == kAlgOk && stored != nullptr) *stored = span;
    return status;
}

bool ValidSpan(const ByteSpan& b) {
    return b.data != nullptr || b.length == 0;
}

int SetComponents(KeyHolder& holder, const void* block) {
    const auto* key = static_cast<const RsaPublicKey*>(block);
    if (key == nullptr || !ValidSpan(key->modulus) || !ValidSpan(key->exponent)) {
        return kAlgBadData;
    }
    return StoreComponents(holder, key->modulus, key->exponent);
}

int GetComponents(KeyHolder& holder, const void** block) {
    const auto* ber =
        static_cast<const ByteSpan*>(FindKeyRepresentation(holder, KeyKindRsaPublicBer()));
    if (ber == nullptr) return kAlgNotAvailable;
    ByteSpan modulus, exponent;
    int status = ParseKeyBer(*ber, modulus, exponent);
    if (status == kAlgOk) status = StoreComponents(holder, modulus, exponent);
    if (status == kAlgOk) *block = FindKeyRepresentation(holder, KeyKindRsaPublic());
    return status;
}

int SetBer(KeyHolder& holder, const void* block) {
    const auto* item = static_cast<const ByteSpan*>(block);
    if (item == nullptr || item->data == nullptr) return kAlgBadData;
    ByteSpan modulus, exponent;
    int status = ParseKeyBer(*item, modulus, exponent);
    if (status != kAlgOk) return status;
    const RsaPublicKey key = {Stripped(modulus), Stripped(exponent)};
    if (key.modulus.length == 0 || key.exponent.length == 0) return kAlgBadData;
    return StoreKeyBer(holder, key, nullptr);
}

int GetBer(KeyHolder& holder, const void** block) {
    const auto* key =
        static_cast<const RsaPublicKey*>(FindKeyRepresentation(holder, KeyKindRsaPublic()));
    if (key == nullptr) return kAlgNotAvailable;
    const ByteSpan* span = nullptr;
    int status = StoreKeyBer(holder, *key, &span);
    if (status == kAlgOk) *block = span;
    return status;
}

const KeyKind kRsaPublicKind = {"RSA public key", SetComponents, GetComponents};
const KeyKind kRsaPublicBerKind = {"RSA public key, BER", SetBer, GetBer};

// ---- The wrapper's algorithm kinds ----

int SetWrapperBer(AlgInstance& instance, const AlgKind& kind, const void* block) {
    BerElement params;
    int status = OpenAlgorithmId(static_cast<const ByteSpan*>(block), kOidRsaEncryption,
                                 sizeof kOidRsaEncryption, params);
    if (status != kAlgOk) return status;
    // Exactly 05 00: no other parameters, nor a longer form of an empty NULL.
    if (params.tag != kBerNull || params.length != 0 || params.headerLength != 2) {
        return kAlgBadData;
    }
    status = AddAlgParams(instance, AlgKindRsaPkcs1(), nullptr);
    if (status == kAlgOk) status = AddAlgParams(instance, &kind, &kRsaIdentifierSpan);
    return status;
}

int GetWrapperBer(AlgInstance& instance, const void** block) {
    int status = AddAlgParams(instance, AlgKindRsaPkcs1Ber(), &kRsaIdentifierSpan);
    if (status == kAlgOk) *block = &kRsaIdentifierSpan;
    return status;
}

extern const AlgKind kPkcs1Kind;
const AlgKind kPkcs1Kind = {"RSA, PKCS #1", SetNoParams, nullptr, &kPkcs1Kind, nullptr, nullptr};
const AlgKind kPkcs1BerKind = {"RSA, PKCS #1, BER", SetWrapperBer, GetWrapperBer,
                               &kPkcs1Kind,         nullptr,       nullptr};

// ---- The public-key operation ----

// The modulus and exponent live inside the context: the tier releases a context as one block,
// wiped and freed, with no hook at which separately allocated words could be freed. So both
// numbers get fixed room here (their capacity covers the largest accepted key, so they are
// never grown or released); only the temporaries of one operation are allocated, and freed
// again within it.
struct RsaPublicContext {
    uint32_t blockLength;  // k: bytes of the modulus
    uint32_t count;        // bytes collected in `block`
    uint8_t block[kMaxBlock];
    BigNum modulus;
    BigNum exponent;
    uint32_t modulusWords[kMaxWords];
    uint32_t exponentWords[kMaxWords];
};

int PublicInit(void* context, const void*, const void* key) {
    auto& ctx = *static_cast<RsaPublicContext*>(context);
    const auto* k = static_cast<const RsaPublicKey*>(key);
    if (k == nullptr) return kMethodNotAvailable;
    const ByteSpan n = Stripped(k->modulus);
    const ByteSpan e = Stripped(k->exponent);
    if (n.length == 0 || e.length == 0) return kMethodBadData;
    if (n.length > kMaxBlock) return kMethodModulusLength;  // over 2048 bits
    const uint32_t bits = 8 * (n.length - 1) + static_cast<uint32_t>(std::bit_width(n.data[0]));
    // Montgomery reduction needs an odd modulus; an even one is no RSA modulus anyway.
    if ((n.data[n.length - 1] & 1u) == 0) return kMethodBadData;
    // The exponent shares the fixed room; a public exponent longer than the largest modulus
    // would be no usable key.
    if (e.length > kMaxBlock) return kMethodBadData;

    ctx.modulus = {kMaxWords, 0, ctx.modulusWords};
    ctx.exponent = {kMaxWords, 0, ctx.exponentWords};
    // Both fit the room set aside, so neither conversion allocates.
    BigNumFromBytes(ctx.modulus, n.data, n.length);
    BigNumFromBytes(ctx.exponent, e.data, e.length);
    ctx.blockLength = (bits + 7) / 8;
    ctx.count = 0;
    return kMethodOk;
}

int Collect(RsaPublicContext& ctx, const uint8_t* in, uint32_t length) {
    if (length > ctx.blockLength - ctx.count) return kMethodBadLength;
    MemCopy(ctx.block + ctx.count, in, length);
    ctx.count += length;
    return kMethodOk;
}

int PublicUpdate(void* context, uint8_t*, uint32_t* outLength, uint32_t, const uint8_t* in,
                 uint32_t inLength, AlgInstance*, const CancelHook*) {
    *outLength = 0;
    return Collect(*static_cast<RsaPublicContext*>(context), in, inLength);
}

// block^e mod n, read and written as k big-endian bytes; `in` and `out` may be the same.
int Exponentiate(const RsaPublicContext& ctx, const uint8_t* in, uint8_t* out,
                 const CancelHook* hook) {
    BigNum x = {};
    int status = BigNumFromBytes(x, in, ctx.blockLength);
    if (status == kMethodOk && BigNumCompare(x, ctx.modulus) >= 0) status = kMethodBadData;
    if (status == kMethodOk) status = BigNumModExp(x, x, ctx.exponent, ctx.modulus, hook);
    if (status == kMethodOk) status = BigNumToBytes(x, out, ctx.blockLength);
    BigNumRelease(x);
    return status;
}

// EB = 00 02 PS 00 D, PS of nonzero random bytes; since EB starts with 00 it is below n.
int PadAndEncrypt(RsaPublicContext& ctx, uint8_t* out, uint32_t capacity, AlgInstance* random,
                  const CancelHook* hook) {
    const uint32_t k = ctx.blockLength;
    const uint32_t d = ctx.count;
    if (d + kPaddingOverhead > k) return kMethodBadLength;
    if (capacity < k) return kMethodOutputTooSmall;
    if (random == nullptr) return kMethodDataError;
    MemMove(ctx.block + (k - d), ctx.block, d);
    ctx.block[0] = 0x00;
    ctx.block[1] = 0x02;
    for (uint32_t i = 2; i < k - d - 1; ++i) {
        uint8_t b = 0;
        while (b == 0) {
            if (AlgRandomGenerate(random, &b, 1) != kAlgOk) return kMethodDataError;
        }
        ctx.block[i] = b;
    }
    ctx.block[k - d - 1] = 0x00;
    return Exponentiate(ctx, ctx.block, out, hook);
}

// After exponentiation the block must read 00 01 FF..FF 00 D with at least 8 FF bytes, the
// least a block-type-1 encoder writes.
int DecryptAndUnpad(RsaPublicContext& ctx, uint8_t* out, uint32_t* outLength, uint32_t capacity,
                    const CancelHook* hook) {
    const uint32_t k = ctx.blockLength;
    if (ctx.count != k) return kMethodBadLength;
    int status = Exponentiate(ctx, ctx.block, ctx.block, hook);
    if (status != kMethodOk) return status;
    if (k < kPaddingOverhead || ctx.block[0] != 0x00 || ctx.block[1] != 0x01) {
        return kMethodBadData;
    }
    uint32_t i = 2;
    while (i < k && ctx.block[i] == 0xff)
        ++i;
    if (i == k || ctx.block[i] != 0x00 || i - 2 < kMinPadding) return kMethodBadData;
    const uint32_t length = k - i - 1;
    if (capacity < length) return kMethodOutputTooSmall;
    MemCopy(out, ctx.block + i + 1, length);
    *outLength = length;
    return kMethodOk;
}

// One message per instance: whatever happens, the block is empty again afterwards.
void Clear(RsaPublicContext& ctx) {
    SecureWipe(ctx.block, sizeof ctx.block);
    ctx.count = 0;
}

int EncryptFinal(void* context, uint8_t* out, uint32_t* outLength, uint32_t capacity,
                 AlgInstance* random, const CancelHook* hook) {
    auto& ctx = *static_cast<RsaPublicContext*>(context);
    *outLength = 0;
    const int status = PadAndEncrypt(ctx, out, capacity, random, hook);
    if (status == kMethodOk) *outLength = ctx.blockLength;
    Clear(ctx);
    return status;
}

int DecryptFinal(void* context, uint8_t* out, uint32_t* outLength, uint32_t capacity, AlgInstance*,
                 const CancelHook* hook) {
    auto& ctx = *static_cast<RsaPublicContext*>(context);
    *outLength = 0;
    const int status = DecryptAndUnpad(ctx, out, outLength, capacity, hook);
    Clear(ctx);
    return status;
}

}  // namespace

const MethodTable kRsaPublicEncryptMethod = {sizeof(RsaPublicContext), PublicInit, PublicUpdate,
                                             EncryptFinal, nullptr};
const MethodTable kRsaPublicDecryptMethod = {sizeof(RsaPublicContext), PublicInit, PublicUpdate,
                                             DecryptFinal, nullptr};

const KeyKind* KeyKindRsaPublic() {
    return &kRsaPublicKind;
}
const KeyKind* KeyKindRsaPublicBer() {
    return &kRsaPublicBerKind;
}
const AlgKind* AlgKindRsaPkcs1() {
    return &kPkcs1Kind;
}
const AlgKind* AlgKindRsaPkcs1Ber() {
    return &kPkcs1BerKind;
}

}  // namespace qor::toolkit
