#include <qor/profile/shared_random.h>

#include "engine_internal.h"

namespace qor::engine {

namespace {

uint32_t (*gDraw)() = nullptr;

bool Draw(uint32_t* value) {
    if (gDraw != nullptr) {
        *value = gDraw();
        return true;
    }
    unsigned char bytes[4];
    if (RandomGenerate(bytes, profile::SharedRandom(), sizeof bytes) != 0) return false;
    *value = static_cast<uint32_t>(bytes[0]) | (static_cast<uint32_t>(bytes[1]) << 8) |
             (static_cast<uint32_t>(bytes[2]) << 16) | (static_cast<uint32_t>(bytes[3]) << 24);
    return true;
}

// The counter character: digits first, then lower-case letters. Counting on from '9' by
// character code would give ':' ';' '<' ... '?', which are no valid name characters on
// Windows (':' even names a data stream), so the counter stops after the letters instead.
constexpr char kCounter[] = "0123456789abcdefghijklmnopqrstuvwxyz";

}  // namespace

void SetTempNameRandomForTesting(uint32_t (*draw)()) {
    gDraw = draw;
}

int MakeTempName(const std::string& path, std::string* name) {
    const std::string folder = FolderPart(path);
    for (size_t c = 0; c + 1 < sizeof kCounter; ++c) {
        std::string candidate = folder + "~fs";
        for (int digit = 0; digit < 3; ++digit) {
            uint32_t value = 0;
            if (!Draw(&value)) return -1;
            candidate += static_cast<char>('0' + value % 10);
        }
        candidate += kCounter[c];
        candidate += ".tmp";
        if (!platform::Exists(candidate)) {
            *name = candidate;
            return 0;
        }
    }
    return -1;
}

}  // namespace qor::engine
