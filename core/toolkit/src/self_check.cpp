#include <qor/self_check.h>
#include <qor/toolkit.h>

#include <cstring>

#include "bignum.h"
#include "block_cbc.h"
#include "md5_generator.h"
#include "rc4_mac.h"

namespace qor::toolkit {

namespace {

bool DigestIs(int kind, const char* message, const uint8_t (&expected)[16]) {
    DigestObject* d = nullptr;
    if (DigestCreate(&d, kind) != 0) return false;
    unsigned char* out = nullptr;
    unsigned int length = 0;
    bool ok = DigestFinal(&out, &length, d, reinterpret_cast<const unsigned char*>(message),
                          static_cast<unsigned int>(std::strlen(message))) == 0 &&
              length == 16 && std::memcmp(out, expected, 16) == 0;
    DigestDestroy(&d);
    return ok;
}

// RFC 1321: MD5("abc").
bool Md5Check() {
    static const uint8_t kAbc[16] = {0x90, 0x01, 0x50, 0x98, 0x3c, 0xd2, 0x4f, 0xb0,
                                     0xd6, 0x96, 0x3f, 0x7d, 0x28, 0xe1, 0x7f, 0x72};
    return DigestIs(kDigestMd5, "abc", kAbc);
}

// RFC 1319: MD2("abc").
bool Md2Check() {
    static const uint8_t kAbc[16] = {0xda, 0x85, 0x3b, 0x0d, 0x3f, 0x88, 0xd9, 0x9b,
                                     0x30, 0x28, 0x3a, 0x69, 0xe6, 0xde, 0xd6, 0xbb};
    return DigestIs(kDigestMd2, "abc", kAbc);
}

// RFC 2268, vector with a 1-byte key and 64 effective bits.
bool Rc2Check() {
    static const uint8_t kKey[1] = {0x88};
    static const uint8_t kPlain[8] = {};
    static const uint8_t kCipher[8] = {0x61, 0xa8, 0xa2, 0x44, 0xad, 0xac, 0xcc, 0xf0};
    Rc2KeySchedule s;
    if (!Rc2ExpandKey(s, kKey, sizeof kKey, 64)) return false;
    uint8_t out[8];
    Rc2EncryptBlock(s, kPlain, out);
    return std::memcmp(out, kCipher, 8) == 0;
}

// FIPS 81 CBC example: "Now is the time for all ".
bool DesCbcCheck() {
    static const uint8_t kKey[8] = {0x01, 0x23, 0x45, 0x67, 0x89, 0xab, 0xcd, 0xef};
    static const uint8_t kIv[8] = {0x12, 0x34, 0x56, 0x78, 0x90, 0xab, 0xcd, 0xef};
    static const uint8_t kCipher[24] = {0xe5, 0xc7, 0xcd, 0xde, 0x87, 0x2b, 0xf2, 0x7c,
                                        0x43, 0xe9, 0x34, 0x00, 0x8c, 0x38, 0x9c, 0x0f,
                                        0x68, 0x37, 0x88, 0x49, 0x9a, 0x7c, 0x05, 0xf6};
    const char* plain = "Now is the time for all ";
    CbcContext ctx;
    if (CbcInitDes(ctx, kKey, kIv, false) != 0) return false;
    uint8_t out[32];
    uint32_t n = 0;
    if (CbcUpdate(ctx, out, &n, sizeof out, reinterpret_cast<const uint8_t*>(plain), 24) != 0) {
        return false;
    }
    return n == 24 && std::memcmp(out, kCipher, 24) == 0;
}

// The generator seeded once: the first block is MD5(MD5(seed)).
bool GeneratorCheck() {
    static const uint8_t kSeed[3] = {'a', 'b', 'c'};
    uint8_t s0[16], expected[16], out[16];
    Md5(kSeed, sizeof kSeed, s0);
    Md5(s0, sizeof s0, expected);
    Md5GeneratorState g;
    Md5GeneratorInit(g);
    Md5GeneratorSeed(g, kSeed, sizeof kSeed);
    Md5GeneratorGenerate(g, out, sizeof out);
    return std::memcmp(out, expected, 16) == 0;
}

// RC4 with MAC: a round trip passes the MAC, one changed byte fails it.
bool Rc4MacCheck() {
    static const uint8_t kKey[5] = {1, 2, 3, 4, 5};
    static const uint8_t kSalt[5] = {6, 7, 8, 9, 10};
    const uint8_t plain[] = "round trip";
    uint8_t sealed[sizeof plain + 4];
    Rc4MacContext c;
    if (Rc4MacInit(c, kKey, 5, kSalt, 5, 4) != 0) return false;
    Rc4MacEncryptUpdate(c, sealed, plain, sizeof plain);
    Rc4MacEncryptFinal(c, sealed + sizeof plain);
    bool ok = true;
    for (int flip = 0; flip < 2; ++flip) {
        uint8_t copy[sizeof sealed], back[sizeof sealed];
        std::memcpy(copy, sealed, sizeof sealed);
        if (flip) copy[3] ^= 1;
        uint32_t n = 0;
        Rc4MacInit(c, kKey, 5, kSalt, 5, 4);
        Rc4MacDecryptUpdate(c, back, &n, sizeof back, copy, sizeof copy);
        bool pass = Rc4MacDecryptFinal(c) == 0 && n == sizeof plain &&
                    std::memcmp(back, plain, sizeof plain) == 0;
        ok = ok && (flip ? !pass : pass);
    }
    return ok;
}

// A password block round trip: 10 bytes in, 16 out, the same 10 back.
bool PasswordBlockCheck() {
    unsigned char saltBytes[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    unsigned char keyBytes[10] = {9, 8, 7, 6, 5, 4, 3, 2, 1, 0};
    unsigned char pw[6] = {'s', 'e', 'c', 'r', 'e', 't'};
    ByteItem salt = {saltBytes, 8}, data = {keyBytes, 10}, password = {pw, 6};
    PasswordBlockObject* p = nullptr;
    if (PasswordBlockCreate(&p, kPasswordBlockMd5Rc2, 1, &salt) != 0) return false;
    ByteItem* sealed = nullptr;
    ByteItem* opened = nullptr;
    bool ok = PasswordBlockEncrypt(&sealed, p, &data, &password) == 0 && sealed->len == 16;
    if (ok) {
        unsigned char copy[16];
        std::memcpy(copy, sealed->data, 16);
        ByteItem in = {copy, 16};
        ok = PasswordBlockDecrypt(&opened, p, &in, &password) == 0 && opened->len == 10 &&
             std::memcmp(opened->data, keyBytes, 10) == 0;
    }
    PasswordBlockDestroy(&p);
    return ok;
}

// Modular exponentiation: 4^13 mod 497 = 445, the textbook example.
bool ModExpCheck() {
    const uint8_t base[] = {4}, exponent[] = {13}, modulus[] = {0x01, 0xf1};
    BigNum b{}, e{}, m{}, r{};
    uint8_t out[2] = {};
    bool ok = BigNumFromBytes(b, base, 1) == 0 && BigNumFromBytes(e, exponent, 1) == 0 &&
              BigNumFromBytes(m, modulus, 2) == 0 && BigNumModExp(r, b, e, m, nullptr) == 0 &&
              BigNumToBytes(r, out, 2) == 0 && out[0] == 0x01 && out[1] == 0xbd;
    BigNumRelease(b);
    BigNumRelease(e);
    BigNumRelease(m);
    BigNumRelease(r);
    return ok;
}

struct Memory {
    unsigned char bytes[256];
    unsigned int size;
    unsigned int at;
};

int ReadMemory(unsigned char* buffer, unsigned int* count, unsigned int maximum, void* context) {
    auto* m = static_cast<Memory*>(context);
    unsigned int n = m->size - m->at < maximum ? m->size - m->at : maximum;
    std::memcpy(buffer, m->bytes + m->at, n);
    m->at += n;
    *count = n;
    return n == 0 ? kStreamEnd : 0;
}

int WriteMemory(const unsigned char* bytes, unsigned int length, void* context) {
    auto* m = static_cast<Memory*>(context);
    if (length > sizeof m->bytes - m->size) return 1;
    std::memcpy(m->bytes + m->size, bytes, length);
    m->size += length;
    return 0;
}

// Enveloped data: what a password seals, the same password opens, and another does not.
bool EnvelopeCheck() {
    static const unsigned char kPassword[] = {'s', 'e', 'l', 'f', 't', 'e', 's', 't'};
    static const unsigned char kWrong[] = {'o', 't', 'h', 'e', 'r'};
    RandomObject* random = nullptr;
    if (RandomCreate(&random) != 0) return false;
    unsigned char seed[256];
    for (unsigned k = 0; k < sizeof seed; ++k)
        seed[k] = static_cast<unsigned char>(k);
    RandomSeed(random, seed, sizeof seed);
    Memory plain = {{'e', 'n', 'v', 'e', 'l', 'o', 'p', 'e'}, 8, 0};
    Memory sealed = {{}, 0, 0};
    EnvelopeObject* e = nullptr;
    StreamRecord in = {nullptr, nullptr, ReadMemory, nullptr, nullptr, &plain};
    StreamRecord out = {nullptr, nullptr, nullptr, nullptr, WriteMemory, &sealed};
    bool ok = EnvelopeCreate(&e) == 0 && EnvelopeAddPassword(e, kPassword, 8, 1) == 0 &&
              EnvelopeSeal(&out, e, &in, 1, 40, random, nullptr, nullptr) == 0;
    EnvelopeDestroy(&e);
    RandomDestroy(&random);
    for (int attempt = 0; ok && attempt < 2; ++attempt) {
        Memory opened = {{}, 0, 0};
        sealed.at = 0;
        StreamRecord sin = {nullptr, nullptr, ReadMemory, nullptr, nullptr, &sealed};
        StreamRecord pout = {nullptr, nullptr, nullptr, nullptr, WriteMemory, &opened};
        const bool right = attempt == 0;
        ok = EnvelopeCreate(&e) == 0 &&
             EnvelopeAddPassword(e, right ? kPassword : kWrong, right ? 8 : 5, 1) == 0;
        const int status = ok ? EnvelopeOpen(&pout, nullptr, e, &sin, nullptr) : -1;
        ok = ok && (right ? status == 0 && opened.size == 8 &&
                                std::memcmp(opened.bytes, plain.bytes, 8) == 0
                          : status == kStatusNoRecipientMatched && opened.size == 0);
        EnvelopeDestroy(&e);
    }
    return ok;
}

struct Check {
    const char* name;
    bool (*run)();
};

const Check kChecks[] = {
    {"MD5 (RFC 1321)", Md5Check},
    {"MD2 (RFC 1319)", Md2Check},
    {"RC2 (RFC 2268)", Rc2Check},
    {"DES-CBC (FIPS 81)", DesCbcCheck},
    {"MD5 generator", GeneratorCheck},
    {"RC4 with MAC", Rc4MacCheck},
    {"password block (MD5, RC2-CBC)", PasswordBlockCheck},
    {"modular exponentiation", ModExpCheck},
    {"enveloped data", EnvelopeCheck},
};

}  // namespace

size_t RunSelfCheck(SelfCheckResult* results, size_t capacity) {
    const size_t count = sizeof kChecks / sizeof kChecks[0];
    for (size_t k = 0; k < count && k < capacity; ++k) {
        results[k] = {kChecks[k].name, kChecks[k].run()};
    }
    return count;
}

}  // namespace qor::toolkit
