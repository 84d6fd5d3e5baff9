// One file's state while it is encrypted or decrypted, and the writer and reader that work on
// it. The status is sticky: after the first failure every later step returns it unchanged.
#pragma once

#include <qor/engine/crypt_options.h>
#include <qor/toolkit.h>

#include <cstdint>
#include <string>

namespace qor::engine {

class CryptContext {
  public:
    static constexpr size_t kFileNameSize = 256;
    static constexpr size_t kUserNameSize = 128;

    // Creates the envelope; its status is the context's first status.
    CryptContext();
    ~CryptContext();
    CryptContext(const CryptContext&) = delete;
    CryptContext& operator=(const CryptContext&) = delete;

    int status() const { return status_; }
    // Keeps the first failure; returns the status now held.
    int Fail(int status);
    // Stores a step's status (0 changes nothing).
    int Note(int status) { return status == 0 ? status_ : Fail(status); }

    EnvelopeObject* envelope() const { return envelope_; }
    // Set by the writer once it has created the output: only then is the output ours to delete.
    bool outputCreated() const { return outputCreated_; }
    void SetOutputCreated() { outputCreated_ = true; }
    const char* fileName() const { return fileName_; }
    const char* userName() const { return userName_; }
    // Copies as much as fits, always terminated.
    void SetFileName(std::string_view name);
    void SetUserName(std::string_view name);

  private:
    int status_ = 0;
    char fileName_[kFileNameSize] = {};
    char userName_[kUserNameSize] = {};
    EnvelopeObject* envelope_ = nullptr;
    bool outputCreated_ = false;
};

// What the writer makes of the output.
struct OutputDescription {
    int32_t selfExtracting = 0;
    uint16_t mode = kModeLocal;
    int32_t replace = 0;             // 1: create always (the AutoCrypt list); 0: must not exist
    const uint8_t* check = nullptr;  // file sharing: 16 bytes
    const uint8_t* salt = nullptr;   // file sharing: 16 bytes
    // 1: the output is flushed to the medium before it is closed, because the caller is about
    // to destroy the only other copy of the data.
    int32_t durable = 0;
};

int WriteEncryptedFile(CryptContext& context, const std::string& source, const std::string& output,
                       const uint8_t* emergency, uint32_t emergencyLength, const char* userName,
                       int32_t plaintextSize, const uint8_t* key, uint32_t keyLength,
                       const uint8_t seed[256], int32_t noEmergency,
                       const OutputDescription& description, ProgressHook* hook);

// Decrypts `encrypted` into `temporary`; `decrypted` receives the folder of the encrypted file
// followed by the name stored in the envelope, `nameLength` that name's stored length. The
// temporary file is flushed to the medium unless the caller flushes it later (`durable` false).
int ReadEncryptedFile(CryptContext& context, const std::string& encrypted,
                      const std::string& temporary, std::string* decrypted, uint32_t* nameLength,
                      uint32_t nameLimit, const uint8_t* key, uint32_t keyLength,
                      ProgressHook* hook, bool durable = true);

}  // namespace qor::engine
