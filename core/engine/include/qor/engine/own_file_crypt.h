// Whole-file encryption of the product's own small files (the AutoCrypt list): a local
// encrypted file under a key the caller has unlocked, without an emergency-access recipient,
// without file attributes or times carried over, without progress or messages.
#pragma once

#include <cstdint>
#include <string>

namespace qor::engine {

// Encrypts `source` into `output`, which is replaced: the encrypted bytes go to a temporary file
// beside `output` that is flushed and then renamed over it, so that a failure at any point leaves
// the previous `output` whole. `userName` is recorded in the envelope. 0, or the failure status
// (nothing of the temporary file is left).
int EncryptOwnFile(const std::string& source, const std::string& output, const uint8_t* key,
                   uint32_t keyLength, const char* userName, int32_t plaintextSize);

// Decrypts `encrypted` into `output` (created or truncated, readable by its owner only). 0, or
// the failure status after `output` has been deleted.
int DecryptOwnFile(const std::string& encrypted, const std::string& output, const uint8_t* key,
                   uint32_t keyLength);

// Covers the file's bytes with the product's overwrite pattern and flushes them: 0, or -1.
int OverwriteOwnFile(const std::string& path);

// The plaintext size recorded in the trailer of `path`, read without decrypting: -1 when the
// file cannot be opened, -2 when the trailer's length field lies outside 2..256; 0 when the
// trailer is of no known version.
int32_t ProbePlaintextSize(const std::string& path);

}  // namespace qor::engine
