// What a file hands on to the file that takes its place (the encrypted file after encryption,
// the decrypted file after decryption): its attributes, its times and who may read it.
#pragma once

#include <qor/platform/files.h>

#include <cstdint>
#include <string>

namespace qor::engine {

struct FileState {
    uint32_t attributes = platform::kInvalidAttributes;
    uint32_t permissions = 0;  // 0: none to carry (unreadable, or Windows)
    platform::FileTimes times;
    bool timesRead = false;
};

FileState RememberFileState(const std::string& path);

// Gives `path` the remembered state. Encryption carries the attributes only together with the
// times (`attributesNeedTimes`); decryption carries whichever could be read.
void CarryFileState(const FileState& state, const std::string& path, bool attributesNeedTimes);

}  // namespace qor::engine
