#include <qor/engine/file_engine.h>
#include <qor/engine/file_share.h>
#include <qor/profile/password_cache.h>
#include <qor/profile/user_profile.h>
#include <qor/secure_buffer.h>
#include <qor/ui/dialog_host.h>

#include <cstring>

#include "crypt_context.h"
#include "durable_batch.h"
#include "engine_internal.h"
#include "file_state.h"
#include "file_stream.h"
#include "file_trailer.h"

namespace qor::engine {

using platform::File;

namespace {

#ifdef _WIN32
// Windows opens a device, not a file, for CON, PRN, AUX, NUL, COM1 to COM9 and LPT1 to LPT9 in
// any case, whatever follows the first dot and with blanks before it ("nul.txt" is the null
// device): the plaintext would go to the device and the encrypted file be deleted after it.
bool IsDeviceName(std::string_view name) {
    std::string_view base = name.substr(0, name.find('.'));
    while (!base.empty() && base.back() == ' ')
        base.remove_suffix(1);
    if (base.size() != 3 && base.size() != 4) return false;
    char upper[4];
    for (size_t k = 0; k < base.size(); ++k)
        upper[k] =
            (base[k] >= 'a' && base[k] <= 'z') ? static_cast<char>(base[k] - 'a' + 'A') : base[k];
    const std::string_view word(upper, base.size());
    if (word.size() == 3) return word == "CON" || word == "PRN" || word == "AUX" || word == "NUL";
    return (word.substr(0, 3) == "COM" || word.substr(0, 3) == "LPT") && word[3] >= '1' &&
           word[3] <= '9';
}
#endif

// The stored name decides where the plaintext is written, and the envelope's author chose it.
// Only a plain name inside the encrypted file's folder is accepted: no path separators of
// either platform, no drive prefix (nor, on Windows, any colon, which would name a data
// stream, nor a device's name), no control characters, and neither "." nor "..".
bool IsPlainFileName(std::string_view name) {
    if (name.empty() || name == "." || name == "..") return false;
    for (const char c : name) {
        const auto code = static_cast<unsigned char>(c);
        if (code < 0x20 || c == '/' || c == '\\') return false;
#ifdef _WIN32
        if (c == ':') return false;
#endif
    }
#ifdef _WIN32
    if (IsDeviceName(name)) return false;
#endif
    const bool drivePrefix =
        name.size() >= 2 && name[1] == ':' &&
        ((name[0] >= 'a' && name[0] <= 'z') || (name[0] >= 'A' && name[0] <= 'Z'));
    return !drivePrefix;
}

// How many bytes from the start of the file belong to the envelope: everything before the
// trailer, whose own last field gives its length. Without a plausible length the envelope is
// left to end by itself.
uint64_t EnvelopeLimit(File& file) {
    uint64_t size = 0;
    if (!file.Size(&size) || size < 2 || !file.Seek(size - 2)) return FileStream::kNoLimit;
    uint8_t field[2];
    uint32_t got = 0;
    const bool read = file.Read(field, 2, &got) && got == 2;
    file.Seek(0);
    if (!read) return FileStream::kNoLimit;
    const uint64_t length = static_cast<uint64_t>(field[0] | (field[1] << 8));
    if (length < 2 || length > size) return FileStream::kNoLimit;
    return size - length;
}

// Item 4 or 5 of a file-sharing trailer: 16 bytes.
bool ReadShareItem(File& file, uint8_t type, uint8_t out[16]) {
    if (FindTrailerItem(file, 1, type) != 0 && FindTrailerItem(file, 0, type) != 0) return false;
    uint8_t length[2];
    uint32_t got = 0;
    if (!file.Read(length, 2, &got) || got != 2) return false;
    return file.Read(out, 16, &got) && got == 16;
}

int Ask(const FileJob& job, const std::string& text) {
    return ui::CurrentHost().ShowMessage(job.parent, text, kCaption, ui::MessageButtons::kYesNo,
                                         ui::MessageIcon::kQuestion);
}

}  // namespace

int ReadEncryptedFile(CryptContext& context, const std::string& encrypted,
                      const std::string& temporary, std::string* decrypted, uint32_t* nameLength,
                      uint32_t nameLimit, const uint8_t* key, uint32_t keyLength,
                      ProgressHook* hook, bool durable) {
    if (context.status() != 0) return context.status();
    File in =
        File::Open(encrypted, platform::kAccessRead, platform::kShareNone, platform::kOpenExisting);
    if (!in.IsOpen()) return context.Fail(kEngineCannotOpen);
    File out = File::Open(temporary, platform::kAccessWrite, platform::kShareNone,
                          platform::kCreateAlways);
    if (!out.IsOpen()) return context.Fail(kEngineCannotOpen);

    // The encrypted file is read once and, once its plaintext is safe, usually deleted.
    FileStream input(&in, EnvelopeLimit(in), true);
    FileStream writer(&out);
    AttributeList* attributes = nullptr;
    context.Note(AttributeListCreate(&attributes));
    if (context.status() == 0) {
        context.Note(EnvelopeAddPassword(context.envelope(), key, keyLength, 1));
    }
    if (context.status() == 0) {
        context.Note(
            EnvelopeOpen(writer.record(), attributes, context.envelope(), input.record(), hook));
    }
    // The plaintext must be on the medium before the encrypted file can be given up: now, or
    // with the other files of a batch.
    if (context.status() == 0 && (!writer.Flush() || (durable && !out.Flush()))) {
        context.Fail(kStreamFailed);
    }
    if (context.status() == 0) CallHook(hook);

    const unsigned char* name = nullptr;
    unsigned int length = 0;
    const unsigned char* user = nullptr;
    unsigned int userLength = 0;
    if (context.status() == 0) context.Note(AttributeListGetFileName(&name, &length, attributes));
    if (context.status() == 0) {
        context.Note(AttributeListGetUserName(&user, &userLength, attributes));
    }
    if (context.status() == 0) {
        *nameLength = length;
        const auto* text = reinterpret_cast<const char*>(name);
        const std::string_view stored(text, strnlen(text, length));
        const auto* userText = reinterpret_cast<const char*>(user);
        if (length > nameLimit || !IsPlainFileName(stored)) {
            context.Fail(kEngineStoredNameTooLong);
        } else {
            context.SetFileName(stored);
            context.SetUserName(std::string_view(userText, strnlen(userText, userLength)));
            *decrypted = FolderPart(encrypted) + std::string(stored);
        }
    }
    AttributeListDestroy(&attributes);
    return context.status();
}

void ReportDecryptFailure(FileJob& job, int status, const std::string& encrypted) {
    const bool cancelled = status == kStatusCancelled || status == kEngineInnerCancelled;
    if (cancelled || RunCancelled(job)) return;
    std::string text;
    if (status == kEngineCannotOpen) {
        if (job.quiet != 1)
            text = "Could not decrypt \"%s\".  Disk or drive may be write-protected.";
    } else {
        const int space = CheckDiskSpace(encrypted);
        if (space == -1) {
            text = "Not enough disk space to decrypt \"%s\".";
        } else if (space == -2) {
            text = "Cannot decrypt \"%s\".  Drive not accessible.";
        } else if (status == kEngineWrongPassword) {
            text = "\"%s\" was encrypted with a different password.";
        } else {
            text =
                "Could not decrypt  \"%s\".  File may have been tampered with or "
                "encrypted by another person.";
        }
    }
    if (!text.empty() && ShowEngineMessage(job, WithPath(text, encrypted), true) == ui::kIdCancel) {
        CancelRun(job);
    }
}

bool FinishDecryption(const FileJob& job, const FileState& state, const std::string& encrypted,
                      const std::string& decrypted, bool durable) {
    const bool deleted = job.options != nullptr && job.options->removeSource == 1 && durable &&
                         platform::DeleteFile(encrypted);
    CarryFileState(state, decrypted, false);
    return deleted;
}

int DecryptFileInto(FileJob& job, const std::string& encrypted, std::string* decryptedPath,
                    DurableBatch* batch) {
    std::string temporary;
    std::string decrypted;
    const FileState state = RememberFileState(encrypted);
    CryptContext context;
    SecureBuffer key(32);
    uint32_t keyLength = 0;
    const bool share = job.options != nullptr && job.options->mode == kModeFileShare;

    bool passwordMatches = true;
    if (share) {
        uint8_t salt[16] = {};
        uint8_t stored[16] = {};
        uint8_t check[16] = {};
        File file = File::Open(encrypted, platform::kAccessRead, platform::kShareRead,
                               platform::kOpenExisting);
        passwordMatches = file.IsOpen() && ReadShareItem(file, kItemCheckValue, stored) &&
                          ReadShareItem(file, kItemSalt, salt);
        file.Close();
        if (passwordMatches) {
            const int derived =
                DeriveShareKey(std::string_view(job.options->password, job.options->passwordLength),
                               salt, key.data(), check);
            passwordMatches = derived == 0 && std::memcmp(check, stored, sizeof check) == 0;
            keyLength = 16;
        }
        SecureWipe(check, sizeof check);
        if (!passwordMatches) context.Fail(kEngineWrongPassword);
    } else if (context.status() == 0) {
        context.Note(
            profile::Profile().UnlockUserKey(profile::Cache().Password(), key.data(), &keyLength));
    }

    if (passwordMatches) {
        if (MakeTempName(encrypted, &temporary) != 0) context.Fail(kEngineCannotOpen);
        uint32_t nameLength = 0;
        ReadEncryptedFile(context, encrypted, temporary, &decrypted, &nameLength,
                          CryptContext::kFileNameSize, key.data(), keyLength, job.progress,
                          batch == nullptr);
    }
    key.Clear();
    int status = context.status();

    if (status == 0 && batch != nullptr) {
        // Under its own name at once, flushed later with the batch; the encrypted file stays
        // until then. A name that is taken goes the slow way: flushed now, then the question.
        if (platform::MoveFile(temporary, decrypted)) {
            if (decryptedPath != nullptr) *decryptedPath = decrypted;
            batch->AddDecrypted(job, encrypted, decrypted, state);
            return status;
        }
        File written = File::Open(temporary, platform::kAccessWrite, platform::kShareNone,
                                  platform::kOpenExisting);
        if (!written.IsOpen() || !written.Flush()) status = kStreamFailed;
    }
    if (status == 0 && decryptedPath != nullptr) *decryptedPath = decrypted;

    if (status != 0) {
        ReportDecryptFailure(job, status, encrypted);
        if (!temporary.empty()) platform::DeleteFile(temporary);
        return status;
    }

    // The name of the plaintext made durable before the encrypted copy may go, and the deletion
    // after it, so that a power cut after the run finds one file, not both.
    if (platform::MoveFile(temporary, decrypted)) {
        if (FinishDecryption(job, state, encrypted, decrypted,
                             platform::FlushFolder(FolderToFlush(decrypted)))) {
            platform::FlushFolder(FolderToFlush(encrypted));
        }
        return status;
    }
    if (Ask(job, WithPath("\"%s\" already exists.  Overwrite this file?", decrypted)) ==
        ui::kIdYes) {
        // One replacing rename: at no moment is neither the old file nor the new one there.
        if (platform::ReplaceFile(temporary, decrypted) &&
            FinishDecryption(job, state, encrypted, decrypted,
                             platform::FlushFolder(FolderToFlush(decrypted)))) {
            platform::FlushFolder(FolderToFlush(encrypted));
        }
    }
    if (platform::Exists(temporary)) platform::DeleteFile(temporary);
    return status;
}

int DecryptFile(FileJob& job, const std::string& encrypted, std::string* decryptedPath) {
    return DecryptFileInto(job, encrypted, decryptedPath, nullptr);
}

}  // namespace qor::engine
