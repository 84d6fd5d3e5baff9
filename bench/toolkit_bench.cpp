// Throughput of the toolkit's hot loops over stream-sized pieces. Each benchmark sets up once and
// then feeds the same piece repeatedly, so the figure is the steady-state cost per byte that a
// long file would see, not the cost of key set-up. Rates use wall-clock time, as
// `openssl speed -elapsed` does, so compare_openssl.sh sets like beside like; on a busy machine
// CPU time would flatter us.
#include <benchmark/benchmark.h>
#include <qor/toolkit.h>

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "block_cbc.h"
#include "md2.h"
#include "md5.h"
#include "md5_generator.h"
#include "rc4_mac.h"
#include "status.h"

namespace {

using namespace qor::toolkit;

// The piece size the product's streams move data in.
constexpr size_t kPiece = 8144;
// Room for what a cipher may hold back or add around one piece.
constexpr size_t kSlack = 16;

using Piece = std::array<uint8_t, kPiece>;
using OutPiece = std::array<uint8_t, kPiece + kSlack>;

// Non-constant input, so no loop can short-cut on zeros.
Piece MakeInput() {
    Piece p{};
    uint32_t x = 0x12345678u;
    for (auto& b : p) {
        x = x * 1664525u + 1013904223u;
        b = static_cast<uint8_t>(x >> 24);
    }
    return p;
}

void CountBytes(benchmark::State& state) {
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(kPiece));
}

void BM_Md5(benchmark::State& state) {
    const Piece in = MakeInput();
    Md5Context ctx;
    Md5Init(ctx);
    for (auto _ : state) {
        Md5Update(ctx, in.data(), in.size());
        benchmark::DoNotOptimize(ctx);
    }
    uint8_t digest[kMd5DigestSize];
    Md5Final(ctx, digest);
    benchmark::DoNotOptimize(digest);
    CountBytes(state);
}
BENCHMARK(BM_Md5)->UseRealTime();

// The same MD5 reached through the public service object: the difference from BM_Md5 is the
// price of the handle checks and the algorithm-tier dispatch per piece.
void BM_DigestObjectMd5(benchmark::State& state) {
    const Piece in = MakeInput();
    DigestObject* digest = nullptr;
    if (DigestCreate(&digest, kDigestMd5) != kStatusOk) {
        state.SkipWithError("DigestCreate failed");
        return;
    }
    for (auto _ : state) {
        if (DigestUpdate(digest, in.data(), static_cast<unsigned int>(in.size())) != kStatusOk) {
            state.SkipWithError("DigestUpdate failed");
            break;
        }
    }
    unsigned char* result = nullptr;
    unsigned int resultLength = 0;
    if (DigestFinal(&result, &resultLength, digest, nullptr, 0) != kStatusOk) {
        state.SkipWithError("DigestFinal failed");
    }
    benchmark::DoNotOptimize(result);
    DigestDestroy(&digest);
    CountBytes(state);
}
BENCHMARK(BM_DigestObjectMd5)->UseRealTime();

void BM_Md2(benchmark::State& state) {
    const Piece in = MakeInput();
    Md2Context ctx;
    Md2Init(ctx);
    for (auto _ : state) {
        Md2Update(ctx, in.data(), in.size());
        benchmark::DoNotOptimize(ctx);
    }
    uint8_t digest[kMd2DigestSize];
    Md2Final(ctx, digest);
    benchmark::DoNotOptimize(digest);
    CountBytes(state);
}
BENCHMARK(BM_Md2)->UseRealTime();

// The product's RC4-with-MAC parameters: 5-byte key, 5-byte salt, 4-byte MAC.
const uint8_t kRc4Key[5] = {0x01, 0x23, 0x45, 0x67, 0x89};
const uint8_t kRc4Salt[5] = {0xab, 0xcd, 0xef, 0x10, 0x32};
constexpr uint32_t kRc4MacLength = 4;

void BM_Rc4MacEncrypt(benchmark::State& state) {
    const Piece in = MakeInput();
    OutPiece out{};
    Rc4MacContext ctx;
    if (Rc4MacInit(ctx, kRc4Key, sizeof kRc4Key, kRc4Salt, sizeof kRc4Salt, kRc4MacLength) !=
        kMethodOk) {
        state.SkipWithError("Rc4MacInit failed");
        return;
    }
    for (auto _ : state) {
        Rc4MacEncryptUpdate(ctx, out.data(), in.data(), in.size());
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    CountBytes(state);
}
BENCHMARK(BM_Rc4MacEncrypt)->UseRealTime();

void BM_Rc4MacDecrypt(benchmark::State& state) {
    const Piece in = MakeInput();
    OutPiece out{};
    Rc4MacContext ctx;
    if (Rc4MacInit(ctx, kRc4Key, sizeof kRc4Key, kRc4Salt, sizeof kRc4Salt, kRc4MacLength) !=
        kMethodOk) {
        state.SkipWithError("Rc4MacInit failed");
        return;
    }
    for (auto _ : state) {
        uint32_t outLength = 0;
        if (Rc4MacDecryptUpdate(ctx, out.data(), &outLength, out.size(), in.data(), in.size()) !=
            kMethodOk) {
            state.SkipWithError("Rc4MacDecryptUpdate failed");
            break;
        }
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    CountBytes(state);
}
BENCHMARK(BM_Rc4MacDecrypt)->UseRealTime();

const uint8_t kCbcIv[8] = {0xfe, 0xdc, 0xba, 0x98, 0x76, 0x54, 0x32, 0x10};

// Shared loop for the CBC ciphers; the piece is a whole number of blocks, so every update
// writes the full piece and nothing builds up in the context.
void RunCbcEncrypt(benchmark::State& state, CbcContext& ctx) {
    const Piece in = MakeInput();
    OutPiece out{};
    for (auto _ : state) {
        uint32_t outLength = 0;
        if (CbcUpdate(ctx, out.data(), &outLength, out.size(), in.data(), in.size()) != kMethodOk) {
            state.SkipWithError("CbcUpdate failed");
            break;
        }
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    CountBytes(state);
}

void BM_Rc2CbcEncrypt(benchmark::State& state) {
    const uint8_t key[16] = {0x88, 0xbc, 0xa9, 0x0e, 0x90, 0x87, 0x5a, 0x7f,
                             0x0f, 0x79, 0xc3, 0x84, 0x62, 0x7b, 0xaf, 0xb2};
    CbcContext ctx;
    if (CbcInitRc2(ctx, key, sizeof key, 128, kCbcIv, false) != kMethodOk) {
        state.SkipWithError("CbcInitRc2 failed");
        return;
    }
    RunCbcEncrypt(state, ctx);
}
BENCHMARK(BM_Rc2CbcEncrypt)->UseRealTime();

void BM_DesCbcEncrypt(benchmark::State& state) {
    const uint8_t key[8] = {0x13, 0x34, 0x57, 0x79, 0x9b, 0xbc, 0xdf, 0xf1};
    CbcContext ctx;
    if (CbcInitDes(ctx, key, kCbcIv, false) != kMethodOk) {
        state.SkipWithError("CbcInitDes failed");
        return;
    }
    RunCbcEncrypt(state, ctx);
}
BENCHMARK(BM_DesCbcEncrypt)->UseRealTime();

void BM_Md5Generator(benchmark::State& state) {
    const Piece seed = MakeInput();
    Md5GeneratorState g;
    Md5GeneratorInit(g);
    // Two seed calls move the generator to its long-run stepping (+T rather than +1).
    Md5GeneratorSeed(g, seed.data(), 256);
    Md5GeneratorSeed(g, seed.data() + 256, 256);
    OutPiece out{};
    for (auto _ : state) {
        Md5GeneratorGenerate(g, out.data(), kPiece);
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    CountBytes(state);
}
BENCHMARK(BM_Md5Generator)->UseRealTime();

// ---- Enveloped data over a 64 MiB in-memory stream -----------------------------------------

constexpr size_t kEnvelopeBytes = size_t{64} << 20;

struct MemorySource {
    const unsigned char* data;
    size_t size;
    size_t at;
};

int ReadMemory(unsigned char* buffer, unsigned int* count, unsigned int maximum, void* context) {
    auto* s = static_cast<MemorySource*>(context);
    size_t n = std::min<size_t>(maximum, s->size - s->at);
    std::memcpy(buffer, s->data + s->at, n);
    s->at += n;
    *count = static_cast<unsigned int>(n);
    return n == 0 ? kStreamEnd : 0;
}

int AppendMemory(const unsigned char* bytes, unsigned int length, void* context) {
    auto* out = static_cast<std::vector<unsigned char>*>(context);
    out->insert(out->end(), bytes, bytes + length);
    return 0;
}

int DiscardMemory(const unsigned char*, unsigned int, void*) {
    return 0;
}

RandomObject* BenchRandom() {
    RandomObject* random = nullptr;
    RandomCreate(&random);
    std::array<unsigned char, 256> seed{};
    for (size_t k = 0; k < seed.size(); ++k)
        seed[k] = static_cast<unsigned char>(k);
    RandomSeed(random, seed.data(), static_cast<unsigned int>(seed.size()));
    return random;
}

int SealOnce(const std::vector<unsigned char>& plain, std::vector<unsigned char>& sealed,
             RandomObject* random) {
    static const unsigned char kSecret[10] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
    EnvelopeObject* envelope = nullptr;
    EnvelopeCreate(&envelope);
    EnvelopeAddPassword(envelope, kSecret, sizeof kSecret, 1);
    MemorySource source = {plain.data(), plain.size(), 0};
    StreamRecord in = {nullptr, nullptr, ReadMemory, nullptr, nullptr, &source};
    StreamRecord out = {nullptr, nullptr, nullptr, nullptr, AppendMemory, &sealed};
    int status = EnvelopeSeal(&out, envelope, &in, 1, 40, random, nullptr, nullptr);
    EnvelopeDestroy(&envelope);
    return status;
}

void BM_EnvelopeSeal(benchmark::State& state) {
    std::vector<unsigned char> plain(kEnvelopeBytes, 0x5a);
    std::vector<unsigned char> sealed;
    sealed.reserve(kEnvelopeBytes + (kEnvelopeBytes >> 8));
    RandomObject* random = BenchRandom();
    for (auto _ : state) {
        sealed.clear();
        if (SealOnce(plain, sealed, random) != kStatusOk) state.SkipWithError("seal failed");
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(kEnvelopeBytes));
    RandomDestroy(&random);
}
BENCHMARK(BM_EnvelopeSeal)->UseRealTime()->Unit(benchmark::kMillisecond);

void BM_EnvelopeOpen(benchmark::State& state) {
    static const unsigned char kSecret[10] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
    std::vector<unsigned char> plain(kEnvelopeBytes, 0x5a);
    std::vector<unsigned char> sealed;
    RandomObject* random = BenchRandom();
    SealOnce(plain, sealed, random);
    RandomDestroy(&random);
    for (auto _ : state) {
        EnvelopeObject* envelope = nullptr;
        EnvelopeCreate(&envelope);
        EnvelopeAddPassword(envelope, kSecret, sizeof kSecret, 1);
        MemorySource source = {sealed.data(), sealed.size(), 0};
        StreamRecord in = {nullptr, nullptr, ReadMemory, nullptr, nullptr, &source};
        StreamRecord out = {nullptr, nullptr, nullptr, nullptr, DiscardMemory, nullptr};
        if (EnvelopeOpen(&out, nullptr, envelope, &in, nullptr) != kStatusOk) {
            state.SkipWithError("open failed");
        }
        EnvelopeDestroy(&envelope);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(kEnvelopeBytes));
}
BENCHMARK(BM_EnvelopeOpen)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
