#include <qor/engine/file_engine.h>
#include <qor/engine/file_share.h>
#include <qor/profile/password_cache.h>
#include <qor/profile/shared_random.h>
#include <qor/profile/user_profile.h>
#include <qor/secure_buffer.h>
#include <qor/ui/dialog_host.h>

#include <cstring>
#include <limits>

#include "crypt_context.h"
#include "durable_batch.h"
#include "engine_internal.h"
#include "file_state.h"
#include "file_stream.h"
#include "file_trailer.h"

namespace qor::engine {

using platform::File;

int WriteEncryptedFile(CryptContext& context, const std::string& source, const std::string& output,
                       const uint8_t* emergency, uint32_t emergencyLength, const char* userName,
                       int32_t plaintextSize, const uint8_t* key, uint32_t keyLength,
                       const uint8_t seed[256], int32_t noEmergency,
                       const OutputDescription& description, ProgressHook* hook) {
    if (context.status() != 0) return context.status();
    context.SetFileName(NamePart(source));

    File in =
        File::Open(source, platform::kAccessRead, platform::kShareNone, platform::kOpenExisting);
    if (!in.IsOpen()) return context.Fail(kEngineCannotOpen);
    uint32_t error = 0;
    File out = File::Open(output, platform::kAccessWrite, platform::kShareNone,
                          description.replace == 1 ? platform::kCreateAlways : platform::kCreateNew,
                          platform::kAttrNormal, &error);
    if (!out.IsOpen()) {
        return context.Fail(error == platform::kErrorFileExists ? kEngineOutputExists
                                                                : kEngineCannotOpen);
    }

    context.SetOutputCreated();
    FileStream input(&in);
    FileStream writer(&out);
    if (description.selfExtracting == 1 && CopyStub(context, writer.record(), hook) != 0) {
        return context.Fail(kEngineStubFailed);
    }

    RandomObject* random = nullptr;
    AttributeList* attributes = nullptr;
    if (context.Note(RandomCreate(&random)) == 0) context.Note(RandomSeed(random, seed, 256));
    if (context.status() == 0) context.Note(AttributeListCreate(&attributes));
    if (context.status() == 0) {
        context.Note(EnvelopeAddPassword(context.envelope(), key, keyLength, 1));
    }
    if (context.status() == 0 && noEmergency == 0) {
        context.Note(EnvelopeAddPublicKey(context.envelope(), emergency, emergencyLength));
    }
    if (context.status() == 0) {
        const char* name = context.fileName();
        context.Note(AttributeListSetFileName(attributes, reinterpret_cast<const uint8_t*>(name),
                                              static_cast<unsigned int>(std::strlen(name) + 1)));
    }
    if (context.status() == 0) {
        context.Note(
            AttributeListSetUserName(attributes, reinterpret_cast<const uint8_t*>(userName),
                                     static_cast<unsigned int>(std::strlen(userName) + 1)));
    }
    if (context.status() == 0) {
        context.Note(EnvelopeSeal(writer.record(), context.envelope(), input.record(), 1, 40,
                                  random, attributes, hook));
    }
    if (context.status() == 0) {
        const std::vector<uint8_t> trailer =
            BuildTrailer(context.fileName(), plaintextSize, description.mode, description.check,
                         description.salt);
        StreamRecord* record = writer.record();
        if (record->write(trailer.data(), static_cast<unsigned int>(trailer.size()),
                          record->context) != 0 ||
            !writer.Flush()) {
            context.Fail(kStreamFailed);
        }
    }
    // The caller is about to destroy the plaintext: the result must be on the medium first.
    if (context.status() == 0 && description.durable == 1 && !out.Flush()) {
        context.Fail(kStreamFailed);
    }
    AttributeListDestroy(&attributes);
    RandomDestroy(&random);
    return context.status();
}

namespace {

int32_t PlaintextSize(const std::string& path) {
    File file =
        File::Open(path, platform::kAccessRead, platform::kShareRead, platform::kOpenExisting);
    uint64_t size = 0;
    // The trailer has 32 signed bits for the size; a larger file's size counts as unknown.
    if (!file.IsOpen() || !file.Size(&size) ||
        size > static_cast<uint64_t>(std::numeric_limits<int32_t>::max())) {
        return -1;
    }
    return static_cast<int32_t>(size);
}

}  // namespace

void ReportEncryptFailure(FileJob& job, int status, const std::string& source) {
    if (status == kEngineOutputExists) {
        if (job.quiet != 1) {
            ShowEngineMessage(
                job, WithPath("Could not encrypt \"%s\".  Encrypted file already exists.", source),
                true);
        }
        return;
    }
    if (status == kStatusCancelled || RunCancelled(job) || job.quiet == 1) return;
    std::string text;
    bool okCancel = true;
    if (status == kEngineCannotOpen) {
        text = "Could not encrypt \"%s\".  Disk or drive may be write-protected.";
    } else if (status == kEngineStubFailed) {
        text = "Could not encrypt \"%s\".  Could not create executable.";
        okCancel = false;
    } else if (CheckDiskSpace(source) == 0) {
        text = "Could not encrypt \"%s\".";
    } else {
        text = "Not enough disk space to encrypt \"%s\".";
    }
    if (ShowEngineMessage(job, WithPath(text, source), okCancel) == ui::kIdCancel) {
        CancelRun(job);
    }
}

void ReportZeroizeFailure(const FileJob& job, const std::string& source) {
    if (job.quiet != 1) {
        ShowEngineMessage(job, WithPath("Unable to zeroize the original file \"%s\".", source),
                          false);
    }
}

int EncryptFileInto(FileJob& job, const std::string& source, const std::string& output,
                    DurableBatch* batch) {
    CryptOptions& options = *job.options;
    CryptContext context;
    SecureBuffer seed(256);
    SecureBuffer key(32);
    uint32_t keyLength = 0;
    uint8_t salt[16] = {};
    uint8_t check[16] = {};
    char userName[65] = {};
    uint8_t emergency[255] = {};

    if (context.status() == 0) {
        context.Note(RandomGenerate(seed.data(), profile::SharedRandom(), 256));
    }

    OutputDescription description;
    // With a batch the output is flushed later, together with the batch's other outputs, and
    // still before the plaintext is touched.
    description.durable = options.removeSource == 1 && batch == nullptr ? 1 : 0;
    if (options.mode == kModeFileShare) {
        if (context.status() == 0) {
            context.Note(RandomGenerate(salt, profile::SharedRandom(), sizeof salt));
        }
        if (context.status() == 0) {
            context.Note(DeriveShareKey(std::string_view(options.password, options.passwordLength),
                                        salt, key.data(), check));
            keyLength = 16;
        }
        description.selfExtracting = options.selfExtracting;
        description.mode = kModeFileShare;
        description.check = check;
        description.salt = salt;
    } else {
        if (context.status() == 0) {
            context.Note(profile::Profile().UnlockUserKey(profile::Cache().Password(), key.data(),
                                                          &keyLength));
        }
        if (context.status() == 0) profile::MixSecretIntoSharedRandom(key.data(), keyLength);
        description.mode = kModeLocal;
    }

    profile::UserProfile& userProfile = profile::Profile();
    userProfile.GetAttribute(profile::kAttrEmergencyKey, emergency, false);
    const uint8_t emergencyLength = userProfile.ByteAttribute(profile::kAttrEmergencyKeyLength);
    userProfile.GetAttribute(profile::kAttrUserName, userName, false);
    if (emergencyLength == 0) options.noEmergency = 1;

    FileState state = RememberFileState(source);
    // A self-extracting program is meant to be run: whoever may read it may run it (Linux; on
    // Windows there are no such bits and the value stays 0).
    if (options.selfExtracting == 1 && options.mode == kModeFileShare)
        state.permissions |= (state.permissions & 0444u) >> 2;
    const int32_t size = PlaintextSize(source);

    const int status = WriteEncryptedFile(context, source, output, emergency, emergencyLength,
                                          userName, size, key.data(), keyLength, seed.data(),
                                          options.noEmergency, description, job.progress);
    key.Clear();
    SecureWipe(check, sizeof check);

    if (status == kEngineOk) {
        if (options.removeSource != 1) {
            CarryFileState(state, output, true);
        } else if (batch != nullptr) {
            batch->AddEncrypted(job, source, output, state);
        } else {
            // The encrypted copy's name must be on the medium as well before the plaintext goes;
            // if that cannot be made sure, the plaintext stays.
            if (!platform::FlushFolder(FolderToFlush(output))) {
                ReportZeroizeFailure(job, source);
            } else {
                if (OverwriteFile(source, job.progress) != 0) ReportZeroizeFailure(job, source);
                // The deletion goes to the medium too: after a power cut the overwritten remains
                // must not come back under the plaintext's name beside the encrypted file.
                if (platform::DeleteFile(source)) platform::FlushFolder(FolderToFlush(source));
            }
            CarryFileState(state, output, true);
        }
        return status;
    }
    ReportEncryptFailure(job, status, source);
    // A file of that name that the writer did not create belongs to someone else.
    if (status != kEngineOutputExists && context.outputCreated()) platform::DeleteFile(output);
    return status;
}

int EncryptFile(FileJob& job, const std::string& source, const std::string& output) {
    return EncryptFileInto(job, source, output, nullptr);
}

}  // namespace qor::engine
