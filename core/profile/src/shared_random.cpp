#include <qor/platform/system.h>
#include <qor/profile/shared_random.h>
#include <qor/secure_buffer.h>

#include <cstdint>
#include <cstring>

namespace qor::profile {

namespace {

// Little-endian, as the records were laid out on the platform the format comes from.
void PutLe32(uint8_t* out, uint32_t value) {
    for (int k = 0; k < 4; ++k)
        out[k] = static_cast<uint8_t>(value >> (8 * k));
}

struct Holder {
    RandomObject* random = nullptr;
    ~Holder() { RandomDestroy(&random); }
};

}  // namespace

RandomObject* SharedRandom() {
    static Holder holder;
    if (holder.random == nullptr) RandomCreate(&holder.random);
    return holder.random;
}

void MixIntoSharedRandom(const void* bytes, size_t length) {
    RandomObject* random = SharedRandom();
    if (random != nullptr && length != 0) {
        RandomSeed(random, static_cast<const unsigned char*>(bytes),
                   static_cast<unsigned int>(length));
    }
}

void MixSecretIntoSharedRandom(const void* bytes, size_t length) {
    MixIntoSharedRandom(bytes, length);
    // A full block after the secret overwrites every byte of the generator's pending block.
    // Should the OS fail to give any, zeros do that just as well.
    uint8_t after[64] = {};
    platform::OsRandom(after, sizeof after);
    MixIntoSharedRandom(after, sizeof after);
    SecureWipe(after, sizeof after);
}

void GatherSystemEntropy(int pointerX, int pointerY) {
    uint8_t word[4];
    PutLe32(word, platform::TickCount());
    MixIntoSharedRandom(word, sizeof word);
    PutLe32(word, static_cast<uint32_t>(pointerX));
    MixIntoSharedRandom(word, sizeof word);
    PutLe32(word, static_cast<uint32_t>(pointerY));
    MixIntoSharedRandom(word, sizeof word);
    uint8_t memory[32], system[36];
    platform::MemoryStatusRecord(memory);
    MixIntoSharedRandom(memory, sizeof memory);
    platform::SystemInfoRecord(system);
    MixIntoSharedRandom(system, sizeof system);
    // The OS's generator strengthens every key drawn later and changes no format. 64 bytes make
    // each gathering worth 144 seed bytes, so that the two of every operation satisfy the
    // generator's 256 even when no dialog is typed into (a password kept by another process).
    uint8_t os[64];
    if (platform::OsRandom(os, sizeof os)) MixIntoSharedRandom(os, sizeof os);
    SecureWipe(os, sizeof os);
}

}  // namespace qor::profile
