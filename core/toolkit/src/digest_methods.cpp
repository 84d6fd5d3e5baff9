// MD5, MD2 and the MD5 generator as implementations of the algorithm tier, with their kinds.
#include "kinds.h"
#include "md2.h"
#include "md5.h"
#include "md5_generator.h"
#include "status.h"

namespace qor::toolkit {

namespace {

template <typename Context, void (*Init)(Context&)>
int DigestInit(void* context, const void*, const void*) {
    Init(*static_cast<Context*>(context));
    return kMethodOk;
}

template <typename Context, void (*Update)(Context&, const uint8_t*, size_t)>
int DigestUpdate(void* context, uint8_t*, uint32_t*, uint32_t, const uint8_t* in, uint32_t length,
                 AlgInstance*, const CancelHook*) {
    Update(*static_cast<Context*>(context), in, length);
    return kMethodOk;
}

template <typename Context, void (*Final)(Context&, uint8_t*)>
int DigestFinal(void* context, uint8_t* out, uint32_t* outLength, uint32_t capacity, AlgInstance*,
                const CancelHook*) {
    if (capacity < 16) return kMethodOutputTooSmall;
    Final(*static_cast<Context*>(context), out);
    *outLength = 16;
    return kMethodOk;
}

int GeneratorInit(void* context, const void*, const void*) {
    Md5GeneratorInit(*static_cast<Md5GeneratorState*>(context));
    return kMethodOk;
}

int GeneratorSeed(void* context, uint8_t*, uint32_t*, uint32_t, const uint8_t* in, uint32_t length,
                  AlgInstance*, const CancelHook*) {
    Md5GeneratorSeed(*static_cast<Md5GeneratorState*>(context), in, length);
    return kMethodOk;
}

int GeneratorGenerate(void* context, uint8_t* out, uint32_t length) {
    Md5GeneratorGenerate(*static_cast<Md5GeneratorState*>(context), out, length);
    return kMethodOk;
}

const AlgKind kMd2Kind = {"MD2", SetNoParams, nullptr, &kMd2Kind, nullptr, nullptr};
const AlgKind kGeneratorKind = {"MD5 generator", SetNoParams, nullptr,
                                &kGeneratorKind, nullptr,     nullptr};

}  // namespace

const AlgKind kMd5Kind = {"MD5", SetNoParams, nullptr, &kMd5Kind, nullptr, nullptr};

const MethodTable kMd5Method = {sizeof(Md5Context), DigestInit<Md5Context, Md5Init>,
                                DigestUpdate<Md5Context, Md5Update>,
                                DigestFinal<Md5Context, Md5Final>, nullptr};
const MethodTable kMd2Method = {sizeof(Md2Context), DigestInit<Md2Context, Md2Init>,
                                DigestUpdate<Md2Context, Md2Update>,
                                DigestFinal<Md2Context, Md2Final>, nullptr};
const MethodTable kMd5GeneratorMethod = {sizeof(Md5GeneratorState), GeneratorInit, GeneratorSeed,
                                         nullptr, GeneratorGenerate};

const AlgKind* AlgKindMd5() {
    return &kMd5Kind;
}
const AlgKind* AlgKindMd2() {
    return &kMd2Kind;
}
const AlgKind* AlgKindMd5Generator() {
    return &kGeneratorKind;
}

}  // namespace qor::toolkit
