// The plain AutoCrypt list as it is read back: lines of any length and any bytes, split at the
// line buffer's limit, their line ends stripped, and every entry given the treatments the list
// gives it (the encrypted counterpart's name, the shortened display in the missing-entry dialog).
#include <qor/autocrypt/missing_entry.h>
#include <qor/autocrypt/text_line_file.h>
#include <qor/engine/selection_walk.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

namespace {

// One scratch file per fuzzing process, rewritten for every input and removed at exit.
const std::string& ScratchPath() {
    static const struct Scratch {
        std::string path;
        Scratch() {
            std::random_device random;
            path = (std::filesystem::temp_directory_path() /
                    ("qor-list-lines-fuzz-" + std::to_string(random())))
                       .string();
        }
        ~Scratch() {
            std::error_code ignored;
            std::filesystem::remove(path, ignored);
        }
    } scratch;
    return scratch.path;
}

constexpr size_t kLineBuffer = 511;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    {
        std::ofstream out(ScratchPath(), std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    qor::autocrypt::TextLineFile file(ScratchPath(), qor::autocrypt::TextLineFile::Access::kRead);
    std::string line;
    size_t total = 0;
    while (file.ReadLine(&line, kLineBuffer) == qor::autocrypt::kTextLineOk) {
        // A line never exceeds the buffer, and never ends in a line-end character.
        if (line.size() >= kLineBuffer) std::abort();
        if (!line.empty() && (line.back() == '\n' || line.back() == '\r')) std::abort();
        total += line.size();
        if (total > size) std::abort();
        const std::string counterpart = qor::engine::EncryptedCounterpart(line);
        (void)counterpart;
        for (const int width : {0, 5, 6, 7, 51, 300}) {
            const std::string shown = qor::autocrypt::ShortenEntry(line, width);
            if (width > 0 && shown.size() > static_cast<size_t>(width)) std::abort();
        }
    }
    return 0;
}
