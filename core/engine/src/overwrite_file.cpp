#include <algorithm>
#include <cstring>

#include "engine_internal.h"

namespace qor::engine {

int OverwriteFile(const std::string& path, ProgressHook* hook) {
    static constexpr char kBanner[] = "------------- QOR Vaultis --------------";
    static_assert(sizeof kBanner - 1 == 40);
    constexpr size_t kBlock = 512;
    // The file is covered by whole 512-byte blocks (banner, then zeros), as many as its size
    // needs. They go out 128 at a time: the same bytes on disk, a hundredth of the system calls.
    constexpr size_t kBlocksPerWrite = 128;
    static const struct Pattern {
        uint8_t bytes[kBlock * kBlocksPerWrite] = {};
        Pattern() {
            for (size_t k = 0; k < kBlocksPerWrite; ++k)
                std::memcpy(bytes + k * kBlock, kBanner, 40);
        }
    } pattern;

    platform::File file = platform::File::Open(path, platform::kAccessWrite, platform::kShareNone,
                                               platform::kOpenAlways);
    if (!file.IsOpen()) return -1;
    uint64_t size = 0;
    if (!file.Size(&size)) return -1;
    const uint64_t blocks = (size + kBlock - 1) / kBlock;
    for (uint64_t done = 0; done < blocks;) {
        const size_t count =
            static_cast<size_t>(std::min<uint64_t>(kBlocksPerWrite, blocks - done));
        if (!file.Write(pattern.bytes, static_cast<uint32_t>(count * kBlock))) return -1;
        done += count;
        CallHook(hook);
    }
    file.Flush();
    file.Close();
    return 0;
}

}  // namespace qor::engine
