// The library's one random generator. Every operation and the setup mix entropy into it; the
// keys and salts of the product are drawn from it.
#pragma once

#include <qor/toolkit.h>

#include <cstddef>

namespace qor::profile {

// Created on first use, needing 256 seed bytes; lives as long as the process (library).
RandomObject* SharedRandom();
void MixIntoSharedRandom(const void* bytes, size_t length);
// The same for a key or a password, followed by 64 bytes of the OS's randomness: the generator
// holds seed bytes in the clear until a hash block fills up, and a secret must not wait there.
void MixSecretIntoSharedRandom(const void* bytes, size_t length);
// The tick count, the pointer position (x, then y, 4 bytes each), the 32-byte memory-status
// record and the 36-byte system-information record, and 64 bytes of the OS's own randomness.
void GatherSystemEntropy(int pointerX, int pointerY);

}  // namespace qor::profile
