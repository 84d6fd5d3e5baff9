// The selection walk: expands the chosen files and folders, decides for every file whether it may
// be encrypted or decrypted, tells the user about refused files, names the encrypted files and
// hands each remaining file to the single-file engine. Also the single-file decryption driver
// used when an encrypted file is opened directly.
#pragma once

#include <qor/engine/crypt_options.h>
#include <qor/platform/files.h>

#include <cstdint>
#include <string>

namespace qor::engine {

// ---- Names -----------------------------------------------------------------------------------

// Program and system file types, never encrypted (".exe", ".dll", ".ini" ...).
bool IsExcludedType(const std::string& name);
// The product's own files, skipped silently by every walk.
bool IsOwnProductFile(const std::string& name);
// Ends in ".!!!", ".s!!" or ".S!!": the encryption walk leaves it alone.
bool IsAlreadyEncrypted(const std::string& name);
// Ends in ".!!!" and is not one of the product's own ".!!!" files.
bool IsLocalEncrypted(const std::string& name);
// Ends in ".s!!" or ".S!!".
bool IsFileShareEncrypted(const std::string& name);

// The encrypted file's name for `source`: "report.doc" becomes "report(doc).!!!" (".s!!" in file
// sharing), then "report(doc)2.!!!", "report(doc)3.!!!" ... until a free one is found. 0, or -1
// when the path is too long to be given one.
int MakeOutputName(const FileJob& job, const std::string& source, std::string* name);
// The first name MakeOutputName would try, always with ".!!!": "" when the path is too long.
std::string EncryptedCounterpart(const std::string& source);

// The path as the progress dialog shows it in a status line `width` characters wide.
std::string ShortenPath(const std::string& path, int width);
// Doubled separators reduced to one; a leading pair (a network path) is kept.
std::string ReduceDoubledSeparators(const std::string& path);

// ---- The walk's collaborators ----------------------------------------------------------------

// What the progress dialog offers the walk: its status line, its closing, the owner of the
// walk's messages.
class WalkDisplay {
  public:
    virtual ~WalkDisplay() = default;
    virtual void SetStatusText(const std::string& text) { (void)text; }
    // Asks the dialog to close once the walk has returned to its message loop.
    virtual void Close() {}
    virtual void* Owner() const { return nullptr; }
};

// The per-file operations of the engine; tests put recorders in their place.
class FileWorker {
  public:
    virtual ~FileWorker() = default;
    virtual int Encrypt(FileJob& job, const std::string& source, const std::string& output) = 0;
    virtual int Decrypt(FileJob& job, const std::string& encrypted, std::string* decrypted) = 0;
    // The self-extracting program's name: 0 when free, -1 when taken.
    virtual int SelfExtractingName(const std::string& source, std::string* name) = 0;
    // 1 with another free name, 0 when the user declined.
    virtual int ChooseAnotherName(FileJob& job, const std::string& source, std::string* name) = 0;
    // Completes every file the worker has left waiting (a worker may remove the sources of a
    // group of files together, once all their results are on the medium). The walk calls it
    // before it returns.
    virtual void Settle() {}
};

// The worker that runs the real engine.
FileWorker& EngineWorker();

// The single-file decryption driver's continue flag: 1 whenever a walker is created, 0 once the
// user cancelled in the driver.
int& SingleFileContinueFlag();

// ---- The walk --------------------------------------------------------------------------------

// How deep folders may nest below a selected folder.
inline constexpr int kWalkDepthLimit = 128;

class SelectionWalker {
  public:
    // `reserved` is accepted for the callers' sake and never read.
    SelectionWalker(WalkDisplay& display, int reserved, FileWorker& worker = EngineWorker());

    // One selection item (a file's path, or a folder's path followed by the separator and
    // "*.*"). Always 0: refusals and failures are reported to the user, not to the caller.
    int EncryptItem(const std::string& item, CryptOptions& options, int width, ProgressHook* hook,
                    int quiet);
    int DecryptItem(const std::string& item, CryptOptions& options, int width, ProgressHook* hook);

    bool cancelled() const { return cancelled_ != 0; }
    void SetDepthLimitForTesting(int limit) { depthLimit_ = limit; }

  private:
    enum class WalkMode { kEncrypt, kDecrypt };

    void Walk(const std::string& itemPath, FileJob& job, int width, WalkMode mode);
    void EncryptFound(const std::string& path, const platform::FindData& found);
    void DecryptFound(const std::string& path, const std::string& name, uint32_t attributes);
    void RefuseTooDeep(const std::string& folder, WalkMode mode);
    // `engineSource` names the same file as `source`, by its 8.3 alias in a self-extracting run.
    int EncryptOne(const std::string& source, const std::string& engineSource);
    int DecryptOne(const std::string& source);
    // An OK/Cancel refusal; Cancel closes the dialog and ends the run.
    void Refuse(const std::string& text);
    void CancelWalk();

    WalkDisplay& display_;
    FileWorker& worker_;
    int32_t cancelled_ = 0;
    int depthLimit_ = kWalkDepthLimit;
    // The item being walked.
    FileJob* job_ = nullptr;
    int width_ = 0;
};

// Opening one encrypted file: decrypts `path` (mode and one-time password as given) and puts the
// decrypted file's path into *decrypted. The status of the decryption, or -1 when nothing was
// decrypted.
int DecryptSingleFile(const std::string& path, std::string* decrypted, int width, uint16_t mode,
                      const char* password, uint32_t passwordLength, WalkDisplay& display,
                      ProgressHook* hook, FileWorker& worker = EngineWorker());

}  // namespace qor::engine
