// The plain trailer at the end of every encrypted file, as the file engine reads it from a file
// that may come from anyone: the whole-trailer parser of both versions, and the search for each
// item by flag and type that walks the items backwards from the end of the file.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "file_trailer.h"

namespace {

// One scratch file per fuzzing process, rewritten for every input and removed at exit.
const std::string& ScratchPath() {
    static const struct Scratch {
        std::string path;
        Scratch() {
            std::random_device random;
            path = (std::filesystem::temp_directory_path() /
                    ("qor-trailer-fuzz-" + std::to_string(random())))
                       .string();
        }
        ~Scratch() {
            std::error_code ignored;
            std::filesystem::remove(path, ignored);
        }
    } scratch;
    return scratch.path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    qor::engine::TrailerInfo info;
    if (qor::engine::ParseTrailer(data, size, &info) && info.version != 1 && info.version != 2)
        std::abort();

    {
        std::ofstream out(ScratchPath(), std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    qor::platform::File file =
        qor::platform::File::Open(ScratchPath(), qor::platform::kAccessRead,
                                  qor::platform::kShareRead, qor::platform::kOpenExisting);
    if (!file.IsOpen()) return 0;
    for (uint8_t flag : {uint8_t{0}, uint8_t{1}}) {
        for (uint8_t type = 1; type <= 5; ++type) {
            if (qor::engine::FindTrailerItem(file, flag, type) != 0) continue;
            // Found: the file stands at the item's 16-bit length, inside the file.
            uint8_t length[2];
            uint32_t read = 0;
            if (!file.Read(length, sizeof length, &read)) std::abort();
        }
    }
    return 0;
}
