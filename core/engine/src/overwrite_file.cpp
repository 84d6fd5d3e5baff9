#include <cstring>

#include "engine_internal.h"

namespace qor::engine {

int OverwriteFile(const std::string& path, ProgressHook* hook) {
    static constexpr char kBanner[] = "------------- QOR Vaultis --------------";
    static_assert(sizeof kBanner - 1 == 40);
    uint8_t block[512] = {};
    std::memcpy(block, kBanner, 40);

    platform::File file = platform::File::Open(path, platform::kAccessWrite, platform::kShareNone,
                                               platform::kOpenAlways);
    if (!file.IsOpen()) return -1;
    uint64_t size = 0;
    if (!file.Size(&size)) return -1;
    for (uint64_t written = 0; written < size; written += sizeof block) {
        if (!file.Write(block, sizeof block)) return -1;
        CallHook(hook);
    }
    file.Flush();
    file.Close();
    return 0;
}

}  // namespace qor::engine
