#include <algorithm>
#include <cstring>

#include "durable_batch.h"
#include "engine_internal.h"

namespace qor::engine {

int OverwriteContents(const std::string& path, ProgressHook* hook, platform::File* opened) {
    static constexpr char kBanner[] = "------------- QOR Vaultis --------------";
    static_assert(sizeof kBanner - 1 == 40);
    constexpr size_t kBlock = 512;
    // The file is covered by whole 512-byte blocks (banner, then zeros), as many as its size
    // needs. They go out 2048 at a time (1 MiB), sent on to the medium every 8 MiB so that the
    // disk writes while the next ones are queued: the same bytes on disk at the disk's pace.
    constexpr size_t kBlocksPerWrite = 2048;
    constexpr uint64_t kWriteBackStep = 8 * 1024 * 1024;
    static const struct Pattern {
        uint8_t bytes[kBlock * kBlocksPerWrite] = {};
        Pattern() {
            for (size_t k = 0; k < kBlocksPerWrite; ++k)
                std::memcpy(bytes + k * kBlock, kBanner, 40);
        }
    } pattern;

    platform::File& file = *opened;
    file = platform::File::Open(path, platform::kAccessWrite, platform::kShareNone,
                                platform::kOpenAlways);
    if (!file.IsOpen()) return -1;
    uint64_t size = 0;
    if (!file.Size(&size)) return -1;
    const uint64_t blocks = (size + kBlock - 1) / kBlock;
    uint64_t sinceWriteBack = 0;
    for (uint64_t done = 0; done < blocks;) {
        const size_t count =
            static_cast<size_t>(std::min<uint64_t>(kBlocksPerWrite, blocks - done));
        if (!file.Write(pattern.bytes, static_cast<uint32_t>(count * kBlock))) return -1;
        done += count;
        sinceWriteBack += count * kBlock;
        if (sinceWriteBack >= kWriteBackStep) {
            file.StartWriteBack(0, 0);
            sinceWriteBack = 0;
        }
        CallHook(hook);
    }
    return 0;
}

int OverwriteFile(const std::string& path, ProgressHook* hook) {
    platform::File file;
    if (OverwriteContents(path, hook, &file) != 0) return -1;
    // Banner blocks that never reach the medium zeroize nothing.
    return file.Flush() ? 0 : -1;
}

}  // namespace qor::engine
