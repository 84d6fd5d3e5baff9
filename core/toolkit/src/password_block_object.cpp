// PasswordBlockObject: encryption of single memory buffers under a password, with MD5 and
// RC2-CBC. Each call derives its key afresh from the password it is given.
#include <qor/secure_buffer.h>
#include <qor/toolkit.h>

#include <climits>

#include "kinds.h"
#include "memory.h"
#include "service_object.h"
#include "status.h"

using namespace qor::toolkit;

namespace {

constexpr uint32_t kSaltLength = 8;
constexpr uint32_t kEffectiveKeyBits = 128;
constexpr uint32_t kBlockSize = 8;

enum LastDirection : uint32_t { kNone = 0, kDecrypted = 1, kEncrypted = 2 };

}  // namespace

struct PasswordBlockObject {
    DestroyRoutine destroy;
    uint32_t kind;
    uint32_t iterations;
    uint32_t lastDirection;
    AlgInstance* instance;
    unsigned char* salt;
    ByteItem result;
    uint32_t resultCapacity;
};

namespace {

void ReleaseResult(PasswordBlockObject& p) {
    if (p.result.data != nullptr) {
        qor::SecureWipe(p.result.data, p.resultCapacity);
        MemFree(p.result.data);
    }
    p.result = {nullptr, 0};
    p.resultCapacity = 0;
}

void DestroyPasswordBlock(void* object) {
    auto* p = static_cast<PasswordBlockObject*>(object);
    DestroyAlgInstance(&p->instance);
    if (p->salt != nullptr) {
        qor::SecureWipe(p->salt, kSaltLength);
        MemFree(p->salt);
        p->salt = nullptr;
    }
    ReleaseResult(*p);
}

// Builds (or rebuilds) the instance with this object's parameters; algorithm-tier code.
int BuildInstance(PasswordBlockObject& p) {
    DestroyAlgInstance(&p.instance);
    int status = CreateAlgInstance(&p.instance);
    if (status != kAlgOk) return status;
    const PbeRc2Params params = {kEffectiveKeyBits, p.salt, p.iterations};
    status = SetAlgParams(p.instance, AlgKindPbeMd5Rc2(), &params);
    // A half-built instance is dropped, so the next call builds it again.
    if (status != kAlgOk) DestroyAlgInstance(&p.instance);
    return status;
}

// One whole encryption or decryption into a fresh buffer; algorithm-tier code.
int Run(PasswordBlockObject& p, bool decrypt, const ByteItem& data, const ByteItem& password,
        unsigned char* out, uint32_t capacity, uint32_t* produced) {
    KeyHolder* key = nullptr;
    int status = CreateKeyHolder(&key);
    if (status == kAlgOk) {
        const ByteSpan secret = {password.data, password.len};
        status = SetKey(key, KeyKindByteString(), &secret);
    }
    if (status == kAlgOk) {
        status = decrypt ? AlgDecryptInit(p.instance, key, GeneralRegistry())
                         : AlgEncryptInit(p.instance, key, GeneralRegistry());
    }
    uint32_t first = 0, second = 0;
    if (status == kAlgOk) {
        status = AlgCipherUpdate(p.instance, out, &first, capacity, data.data, data.len, nullptr,
                                 nullptr);
    }
    if (status == kAlgOk) {
        status =
            AlgCipherFinal(p.instance, out + first, &second, capacity - first, nullptr, nullptr);
    }
    DestroyKeyHolder(&key);
    *produced = first + second;
    return status;
}

int Call(ByteItem** result, PasswordBlockObject* handle, const ByteItem* data,
         const ByteItem* password, bool decrypt) {
    const int failed =
        decrypt ? kStatusPasswordBlockDecryptFailed : kStatusPasswordBlockEncryptFailed;
    if (!HasTag(handle, DestroyPasswordBlock)) return kStatusBadPasswordBlock;
    if (data == nullptr || password == nullptr || (data->data == nullptr && data->len != 0) ||
        (password->data == nullptr && password->len != 0) || data->len > UINT_MAX - kBlockSize) {
        return failed;
    }
    PasswordBlockObject& p = *handle;
    const uint32_t direction = decrypt ? kDecrypted : kEncrypted;
    if (p.lastDirection == direction || p.instance == nullptr) {
        int status = BuildInstance(p);
        if (status != kAlgOk) return status == kAlgOutOfMemory ? kStatusOutOfMemory : failed;
    }
    const uint32_t capacity = data->len + kBlockSize;
    auto* out = static_cast<unsigned char*>(MemAllocate(capacity));
    if (out == nullptr) return kStatusOutOfMemory;
    MemFill(out, 0, capacity);

    uint32_t produced = 0;
    int status = Run(p, decrypt, *data, *password, out, capacity, &produced);
    if (status != kAlgOk) {
        qor::SecureWipe(out, capacity);
        MemFree(out);
        if (status == kAlgOutOfMemory) return kStatusOutOfMemory;
        if (status == kAlgCancelled) return kStatusCancelled;
        return failed;
    }
    p.lastDirection = direction;
    ReleaseResult(p);
    p.result = {out, produced};
    p.resultCapacity = capacity;
    *result = &p.result;
    return kStatusOk;
}

}  // namespace

extern "C" int PasswordBlockCreate(PasswordBlockObject** handle, int kind, unsigned int iterations,
                                   const ByteItem* salt) {
    *handle = nullptr;
    if (kind != kPasswordBlockMd5Rc2) return kStatusBadPasswordBlockKind;
    if (salt == nullptr || salt->data == nullptr || salt->len < kSaltLength) {
        return kStatusBadPasswordBlockParams;
    }
    auto* p = AllocateObject<PasswordBlockObject>(DestroyPasswordBlock);
    if (p == nullptr) return kStatusOutOfMemory;
    p->kind = static_cast<uint32_t>(kind);
    p->iterations = iterations;
    p->salt = static_cast<unsigned char*>(MemAllocate(kSaltLength));
    if (p->salt == nullptr) {
        ReleaseObject(&p);
        return kStatusOutOfMemory;
    }
    MemCopy(p->salt, salt->data, kSaltLength);
    int status = BuildInstance(*p);
    if (status != kAlgOk) {
        ReleaseObject(&p);
        return status == kAlgOutOfMemory ? kStatusOutOfMemory : kStatusBadPasswordBlockParams;
    }
    *handle = p;
    return kStatusOk;
}

extern "C" int PasswordBlockEncrypt(ByteItem** result, PasswordBlockObject* handle,
                                    const ByteItem* data, const ByteItem* password) {
    return Call(result, handle, data, password, false);
}

extern "C" int PasswordBlockDecrypt(ByteItem** result, PasswordBlockObject* handle,
                                    const ByteItem* data, const ByteItem* password) {
    return Call(result, handle, data, password, true);
}

extern "C" void PasswordBlockDestroy(PasswordBlockObject** handle) {
    ReleaseObject(handle);
}
