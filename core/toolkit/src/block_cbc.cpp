#include "block_cbc.h"

#include <qor/secure_buffer.h>

#include <cstring>

#include "kinds.h"
#include "status.h"

namespace qor::toolkit {

namespace {

void Rc2Encrypt(const CbcContext& c, const uint8_t in[8], uint8_t out[8]) {
    Rc2EncryptBlock(c.schedule.rc2, in, out);
}
void Rc2Decrypt(const CbcContext& c, const uint8_t in[8], uint8_t out[8]) {
    Rc2DecryptBlock(c.schedule.rc2, in, out);
}
void DesEncrypt(const CbcContext& c, const uint8_t in[8], uint8_t out[8]) {
    DesEncryptBlock(c.schedule.des, in, out);
}
void DesDecrypt(const CbcContext& c, const uint8_t in[8], uint8_t out[8]) {
    DesDecryptBlock(c.schedule.des, in, out);
}

inline void Xor8(uint8_t* a, const uint8_t* b) {
    for (int k = 0; k < 8; ++k)
        a[k] ^= b[k];
}

void EncryptBlock(CbcContext& ctx, const uint8_t* in, uint8_t* out) {
    uint8_t block[8];
    std::memcpy(block, in, 8);
    Xor8(block, ctx.chain);
    ctx.transform(ctx, block, ctx.chain);
    std::memcpy(out, ctx.chain, 8);
}

void DecryptBlock(CbcContext& ctx, const uint8_t* in, uint8_t* out) {
    uint8_t cipher[8];
    uint8_t plain[8];
    std::memcpy(cipher, in, 8);
    ctx.transform(ctx, cipher, plain);
    Xor8(plain, ctx.chain);
    std::memcpy(ctx.chain, cipher, 8);
    std::memcpy(out, plain, 8);
    SecureWipe(plain, sizeof plain);
}

int EncryptUpdate(CbcContext& ctx, uint8_t* out, uint32_t* outLength, size_t capacity,
                  const uint8_t* in, size_t length) {
    const size_t total = ctx.buffered + length;
    const size_t produce = total / 8 * 8;
    if (produce > capacity) return kMethodOutputTooSmall;
    size_t written = 0;
    if (ctx.buffered != 0 && total >= 8) {
        size_t fill = 8 - ctx.buffered;
        std::memcpy(ctx.buffer + ctx.buffered, in, fill);
        in += fill;
        length -= fill;
        EncryptBlock(ctx, ctx.buffer, out);
        written = 8;
        ctx.buffered = 0;
    }
    for (; length >= 8 && ctx.buffered == 0; length -= 8, in += 8, written += 8) {
        EncryptBlock(ctx, in, out + written);
    }
    if (length != 0) std::memcpy(ctx.buffer + ctx.buffered, in, length);
    ctx.buffered += static_cast<uint32_t>(length);
    *outLength = static_cast<uint32_t>(written);
    return kMethodOk;
}

int EncryptFinal(CbcContext& ctx, uint8_t* out, uint32_t* outLength, size_t capacity) {
    if (capacity < 8) return kMethodOutputTooSmall;
    const uint8_t k = static_cast<uint8_t>(8 - ctx.buffered % 8);
    std::memset(ctx.buffer + ctx.buffered, k, k);
    EncryptBlock(ctx, ctx.buffer, out);
    SecureWipe(ctx.buffer, sizeof ctx.buffer);
    ctx.buffered = 0;
    *outLength = 8;
    return kMethodOk;
}

// The last whole block stays held, since only the final can tell whether it carries padding.
int DecryptUpdate(CbcContext& ctx, uint8_t* out, uint32_t* outLength, size_t capacity,
                  const uint8_t* in, size_t length) {
    const size_t total = ctx.buffered + length;
    const size_t produce = total == 0 ? 0 : (total - 1) / 8 * 8;
    if (produce > capacity) return kMethodOutputTooSmall;
    size_t written = 0;
    while (written < produce) {
        if (ctx.buffered == 0 && length >= 8) {
            DecryptBlock(ctx, in, out + written);
            in += 8;
            length -= 8;
        } else {
            size_t fill = 8 - ctx.buffered;
            std::memcpy(ctx.buffer + ctx.buffered, in, fill);
            in += fill;
            length -= fill;
            DecryptBlock(ctx, ctx.buffer, out + written);
            ctx.buffered = 0;
        }
        written += 8;
    }
    if (length != 0) std::memcpy(ctx.buffer + ctx.buffered, in, length);
    ctx.buffered += static_cast<uint32_t>(length);
    *outLength = static_cast<uint32_t>(written);
    return kMethodOk;
}

int DecryptFinal(CbcContext& ctx, uint8_t* out, uint32_t* outLength, size_t capacity) {
    if (ctx.buffered != 8) return kMethodBadLength;
    uint8_t plain[8];
    ScopedWipe wipe(plain);
    DecryptBlock(ctx, ctx.buffer, plain);
    ctx.buffered = 0;
    const uint8_t k = plain[7];
    if (k < 1 || k > 8) return kMethodBadData;
    for (int m = 8 - k; m < 8; ++m) {
        if (plain[m] != k) return kMethodBadData;
    }
    if (capacity < 8u - k) return kMethodOutputTooSmall;
    if (k != 8) std::memcpy(out, plain, 8u - k);
    *outLength = 8u - k;
    return kMethodOk;
}

void Start(CbcContext& ctx, const uint8_t iv[8], bool decrypt) {
    std::memcpy(ctx.chain, iv, 8);
    std::memset(ctx.buffer, 0, sizeof ctx.buffer);
    ctx.buffered = 0;
    ctx.decrypting = decrypt ? 1 : 0;
}

}  // namespace

int CbcInitRc2(CbcContext& ctx, const uint8_t* key, size_t keyLength, uint32_t effectiveBits,
               const uint8_t iv[8], bool decrypt) {
    if (effectiveBits > kRc2MaxEffectiveBits || effectiveBits == 0) return kMethodParamRange;
    if (keyLength < 1 || keyLength > kRc2MaxKeyBytes) return kMethodNotAvailable;
    if (!Rc2ExpandKey(ctx.schedule.rc2, key, keyLength, effectiveBits)) return kMethodFailure;
    ctx.transform = decrypt ? Rc2Decrypt : Rc2Encrypt;
    Start(ctx, iv, decrypt);
    return kMethodOk;
}

int CbcInitDes(CbcContext& ctx, const uint8_t key[8], const uint8_t iv[8], bool decrypt) {
    DesSetKey(ctx.schedule.des, key);
    ctx.transform = decrypt ? DesDecrypt : DesEncrypt;
    Start(ctx, iv, decrypt);
    return kMethodOk;
}

int CbcUpdate(CbcContext& ctx, uint8_t* out, uint32_t* outLength, size_t capacity,
              const uint8_t* in, size_t length) {
    *outLength = 0;
    return ctx.decrypting ? DecryptUpdate(ctx, out, outLength, capacity, in, length)
                          : EncryptUpdate(ctx, out, outLength, capacity, in, length);
}

int CbcFinal(CbcContext& ctx, uint8_t* out, uint32_t* outLength, size_t capacity) {
    *outLength = 0;
    return ctx.decrypting ? DecryptFinal(ctx, out, outLength, capacity)
                          : EncryptFinal(ctx, out, outLength, capacity);
}

// ---- Algorithm-tier glue ------------------------------------------------------------------

namespace {

template <bool Decrypt>
int Rc2Init(void* context, const void* params, const void* key) {
    const auto* p = static_cast<const Rc2CbcParams*>(params);
    const auto* k = static_cast<const ByteSpan*>(key);
    return CbcInitRc2(*static_cast<CbcContext*>(context), k->data, k->length, p->effectiveBits,
                      p->iv, Decrypt);
}

template <bool Decrypt>
int DesInit(void* context, const void* params, const void* key) {
    const auto* p = static_cast<const DesCbcParams*>(params);
    return CbcInitDes(*static_cast<CbcContext*>(context), static_cast<const uint8_t*>(key), p->iv,
                      Decrypt);
}

int Update(void* context, uint8_t* out, uint32_t* outLength, uint32_t capacity, const uint8_t* in,
           uint32_t inLength, AlgInstance*, const CancelHook*) {
    return CbcUpdate(*static_cast<CbcContext*>(context), out, outLength, capacity, in, inLength);
}

int Final(void* context, uint8_t* out, uint32_t* outLength, uint32_t capacity, AlgInstance*,
          const CancelHook*) {
    return CbcFinal(*static_cast<CbcContext*>(context), out, outLength, capacity);
}

int SetRc2Params(AlgInstance& instance, const AlgKind& kind, const void* block) {
    const auto* p = static_cast<const Rc2CbcParams*>(block);
    if (p == nullptr || p->iv == nullptr) return kAlgBadData;
    if (p->effectiveBits > kRc2MaxEffectiveBits) return kAlgParamOutOfRange;
    auto* copy = static_cast<Rc2CbcParams*>(MemoryListAllocate(instance.memory, sizeof *p));
    auto* iv = static_cast<uint8_t*>(MemoryListCopy(instance.memory, p->iv, 8));
    if (copy == nullptr || iv == nullptr) return kAlgOutOfMemory;
    *copy = {p->effectiveBits, iv};
    return AddAlgParams(instance, &kind, copy);
}

int SetDesParams(AlgInstance& instance, const AlgKind& kind, const void* block) {
    const auto* p = static_cast<const DesCbcParams*>(block);
    if (p == nullptr || p->iv == nullptr) return kAlgBadData;
    auto* copy = static_cast<DesCbcParams*>(MemoryListAllocate(instance.memory, sizeof *p));
    auto* iv = static_cast<uint8_t*>(MemoryListCopy(instance.memory, p->iv, 8));
    if (copy == nullptr || iv == nullptr) return kAlgOutOfMemory;
    *copy = {iv};
    return AddAlgParams(instance, &kind, copy);
}

const AlgKind kRc2CbcKind = {"RC2-CBC", SetRc2Params, nullptr, &kRc2CbcKind, nullptr, nullptr};
const AlgKind kDesCbcKind = {"DES-CBC", SetDesParams, nullptr, &kDesCbcKind, nullptr, nullptr};

}  // namespace

const AlgKind* AlgKindRc2Cbc() {
    return &kRc2CbcKind;
}
const AlgKind* AlgKindDesCbc() {
    return &kDesCbcKind;
}

const MethodTable kRc2CbcEncryptMethod = {sizeof(CbcContext), Rc2Init<false>, Update, Final,
                                          nullptr};
const MethodTable kRc2CbcDecryptMethod = {sizeof(CbcContext), Rc2Init<true>, Update, Final,
                                          nullptr};
const MethodTable kDesCbcEncryptMethod = {sizeof(CbcContext), DesInit<false>, Update, Final,
                                          nullptr};
const MethodTable kDesCbcDecryptMethod = {sizeof(CbcContext), DesInit<true>, Update, Final,
                                          nullptr};

}  // namespace qor::toolkit
