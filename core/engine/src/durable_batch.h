// Files of one run made durable together. A file on its own pays for a flush of itself, of its
// folder and of its overwritten plaintext, each a wait for the medium; a selection of many small
// files is mostly such waits. In a batch, each file is encrypted (or decrypted) as before, but
// its source stays as it is until Settle: then the batch's new files are flushed at once, with
// their folders, and only after that are the sources overwritten (flushed at once again) and
// deleted. At every moment each file has one complete copy: its untouched source, or its new
// file already on the medium.
//
// Settle runs when the batch is full and at the end of every walk; what it reports (a new file
// that could not be flushed, a plaintext that could not be zeroized) it reports per file, with
// the messages a file on its own would show.
#pragma once

#include <qor/engine/crypt_options.h>

#include <cstdint>
#include <string>
#include <vector>

#include "file_state.h"

namespace qor::engine {

class DurableBatch {
  public:
    DurableBatch() = default;
    DurableBatch(const DurableBatch&) = delete;
    DurableBatch& operator=(const DurableBatch&) = delete;

    // `output` is complete and closed, not yet flushed; `source` is to be removed.
    void AddEncrypted(const FileJob& job, const std::string& source, const std::string& output,
                      const FileState& state);
    // `decrypted` has its final name, not yet flushed; `encrypted` is removed when the job's
    // options say so.
    void AddDecrypted(const FileJob& job, const std::string& encrypted,
                      const std::string& decrypted, const FileState& state);
    // Enough files or bytes waiting that a flush of them all is worth its wait.
    bool Full() const;
    void Settle();

  private:
    struct Entry {
        FileJob job;
        std::string source;  // the plaintext, or the encrypted file
        std::string result;  // the encrypted file, or the plaintext
        FileState state;
    };
    void SettleEncrypted();
    void SettleDecrypted();

    std::vector<Entry> encrypted_;
    std::vector<Entry> decrypted_;
    uint64_t bytes_ = 0;
};

// The single-file operations with a batch (nullptr: each file durable on its own, as
// EncryptFile and DecryptFile do).
int EncryptFileInto(FileJob& job, const std::string& source, const std::string& output,
                    DurableBatch* batch);
int DecryptFileInto(FileJob& job, const std::string& encrypted, std::string* decryptedPath,
                    DurableBatch* batch);

// The messages of a file that failed, shown as the single-file operations show them.
void ReportEncryptFailure(FileJob& job, int status, const std::string& source);
void ReportDecryptFailure(FileJob& job, int status, const std::string& encrypted);
void ReportZeroizeFailure(const FileJob& job, const std::string& source);
// After a decrypted file is in place: the encrypted file removed (only when `durable`, and when
// asked), the encrypted file's state carried over. True when the encrypted file was deleted, for
// the caller to make that durable.
bool FinishDecryption(const FileJob& job, const FileState& state, const std::string& encrypted,
                      const std::string& decrypted, bool durable);
// Writes the banner blocks over the file and leaves it open in *file, not yet flushed; 0 or -1.
int OverwriteContents(const std::string& path, ProgressHook* hook, platform::File* file);

}  // namespace qor::engine
