#include <qor/engine/own_file_crypt.h>
#include <qor/platform/files.h>
#include <qor/profile/shared_random.h>
#include <qor/secure_buffer.h>

#include <vector>

#include "crypt_context.h"
#include "engine_internal.h"
#include "file_stream.h"
#include "file_trailer.h"

namespace qor::engine {

using platform::File;

int EncryptOwnFile(const std::string& source, const std::string& output, const uint8_t* key,
                   uint32_t keyLength, const char* userName, int32_t plaintextSize) {
    CryptContext context;
    SecureBuffer seed(256);
    if (context.status() == 0) {
        context.Note(RandomGenerate(seed.data(), profile::SharedRandom(), 256));
    }
    std::string temporary;
    if (context.status() == 0 && MakeTempName(output, &temporary) != 0) {
        context.Fail(kEngineCannotOpen);
    }
    OutputDescription description;
    description.mode = kModeLocal;
    description.durable = 1;
    const int status =
        WriteEncryptedFile(context, source, temporary, nullptr, 0, userName, plaintextSize, key,
                           keyLength, seed.data(), 1, description, nullptr);
    if (status != 0) {
        if (context.outputCreated()) platform::DeleteFile(temporary);
        return status;
    }
    // The stored name is the source's, whatever the temporary file was called.
    if (!platform::ReplaceFile(temporary, output)) {
        platform::DeleteFile(temporary);
        return kEngineCannotOpen;
    }
    if (!platform::FlushFolder(FolderToFlush(output))) return kStreamFailed;
    return 0;
}

int DecryptOwnFile(const std::string& encrypted, const std::string& output, const uint8_t* key,
                   uint32_t keyLength) {
    CryptContext context;
    std::string stored;
    uint32_t nameLength = 0;
    const int status = ReadEncryptedFile(context, encrypted, output, &stored, &nameLength,
                                         CryptContext::kFileNameSize, key, keyLength, nullptr);
    if (status != 0) {
        // Whatever was written before the failure showed is plaintext of the user's.
        if (platform::Exists(output)) OverwriteFile(output, nullptr);
        platform::DeleteFile(output);
    }
    return status;
}

int OverwriteOwnFile(const std::string& path) {
    return OverwriteFile(path, nullptr);
}

int32_t ProbePlaintextSize(const std::string& path) {
    constexpr uint16_t kLongestTrailer = 256;
    File file =
        File::Open(path, platform::kAccessRead, platform::kShareRead, platform::kOpenExisting);
    uint64_t size = 0;
    if (!file.IsOpen() || !file.Size(&size)) return -1;
    uint8_t field[2] = {};
    uint32_t got = 0;
    if (size < 2 || !file.Seek(size - 2) || !file.Read(field, 2, &got) || got != 2) return -2;
    const uint16_t length = static_cast<uint16_t>(field[0] | (field[1] << 8));
    if (length < 2 || length > kLongestTrailer || length > size) return -2;
    std::vector<uint8_t> trailer(length);
    if (!file.Seek(size - length) || !file.Read(trailer.data(), length, &got) || got != length) {
        return -2;
    }
    TrailerInfo info;
    return ParseTrailer(trailer.data(), trailer.size(), &info) ? info.plaintextSize : 0;
}

}  // namespace qor::engine
