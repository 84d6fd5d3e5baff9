// The controller's file operations: local and file-sharing encryption and decryption of a
// selection, and the opening of one encrypted file. Each prepares the same way (entropy, the
// caller's kept password, a sound preference file), shows its dialog, then runs the engine
// inside a progress dialog.
#include <qor/engine/crypt_options.h>
#include <qor/engine/selection_walk.h>
#include <qor/profile/password_cache.h>
#include <qor/profile/password_hand_over.h>
#include <qor/profile/shared_random.h>
#include <qor/secure_buffer.h>
#include <qor/ui/dialog_host.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <string>
#include <vector>

#include "decrypt_dialog.h"
#include "dialog_open_flag.h"
#include "encrypt_dialog.h"
#include "load_or_recover.h"
#include "one_time_password_dialog.h"
#include "password_dialog.h"
#include "progress_dialog.h"
#include "service_controller.h"
#include "share_decrypt_dialog.h"
#include "share_encrypt_dialog.h"

// The C callers allocate the block from the header's C definition: both must be one layout.
static_assert(sizeof(QorPasswordHandOver) == sizeof(qor::PasswordHandOver));
static_assert(offsetof(QorPasswordHandOver, valid) == offsetof(qor::PasswordHandOver, valid));
static_assert(offsetof(QorPasswordHandOver, cacheTime) ==
              offsetof(qor::PasswordHandOver, cacheTime));
static_assert(offsetof(QorPasswordHandOver, keepMinutes) ==
              offsetof(qor::PasswordHandOver, keepMinutes));
static_assert(offsetof(QorPasswordHandOver, password) == offsetof(qor::PasswordHandOver, password));
static_assert(sizeof(QorPasswordHandOver::password) == sizeof(qor::PasswordHandOver::password));

namespace qor::entry {

namespace {

using dialogs::ProgressDialog;
using dialogs::ProgressKind;

// The longest path the caller's buffers hold, terminator included.
constexpr size_t kPathBufferSize = 260;
// The buffer the one-time password of an opened file is copied into.
constexpr size_t kOneTimeBufferSize = 64;

// Outside a dialog the pointer's position is unknown to the dialog host; the other sources
// carry the entropy.
void GatherEntropy() {
    profile::GatherSystemEntropy(0, 0);
}

// Steps 1 to 3 of every file operation: entropy, the caller's kept password (local operations
// pass the block, file sharing none), the preference file. False when the user gave up on it.
bool Prepare(QorWindow owner, const PasswordHandOver* handOver) {
    GatherEntropy();
    if (handOver != nullptr) profile::Cache().TakeOverHandOver(handOver);
    return dialogs::LoadOrRecover(owner) == 0;
}

// The span of an operation's dialogs: the about box stays away while they are open, and a
// local operation wipes the password it did not keep, however the operation ends.
class OperationScope {
  public:
    explicit OperationScope(bool clearsPassword) : clearsPassword_(clearsPassword) {
        dialogs::SetDialogOpenFlag(false);
    }
    ~OperationScope() {
        if (clearsPassword_) profile::Cache().ClearPassword(false);
        dialogs::SetDialogOpenFlag(true);
    }
    OperationScope(const OperationScope&) = delete;
    OperationScope& operator=(const OperationScope&) = delete;

  private:
    bool clearsPassword_;
};

// The encryption or decryption progress dialog over the whole selection.
void RunSelection(QorWindow owner, const std::vector<std::string>& selection,
                  engine::CryptOptions& options, bool encrypt) {
    ProgressDialog progress(
        encrypt ? ProgressKind::kEncrypt : ProgressKind::kDecrypt,
        [&](ProgressDialog& dialog, engine::FileJob&) {
            dialogs::RunBatch(dialog, selection, options, encrypt, false, dialog.statusWidth());
        },
        owner);
    ui::CurrentHost().RunModal(progress, owner);
}

// A local encryption or decryption: the dialog, the hand-over back, the run.
int RunLocal(QorWindow owner, const std::vector<std::string>& selection, PasswordHandOver* handOver,
             bool encrypt) {
    // Without a folder there is nothing to show or walk.
    if (selection.empty()) return 0;
    if (!Prepare(owner, handOver)) {
        // A password taken over from the block must not outlive the call unless it is kept.
        profile::Cache().ClearPassword(false);
        return -1;
    }
    OperationScope scope(true);

    dialogs::EncryptDialog encryptDialog(selection);
    dialogs::DecryptDialog decryptDialog(selection);
    dialogs::LocalCryptDialog& dialog =
        encrypt ? static_cast<dialogs::LocalCryptDialog&>(encryptDialog) : decryptDialog;
    ui::CurrentHost().RunModal(dialog, owner);
    GatherEntropy();
    if (dialog.resultFlag() != 1) return 0;

    // A password that was already in memory came from the caller; only a typed one goes back.
    if (!dialog.inMemory()) {
        profile::Cache().GiveBackHandOver(handOver, static_cast<uint32_t>(dialog.minutes()));
    }
    engine::CryptOptions options;
    options.mode = engine::kModeLocal;
    options.noEmergency = encrypt && encryptDialog.noEmergency() ? 1 : 0;
    options.removeSource = 1;
    RunSelection(owner, selection, options, encrypt);
    return 0;
}

// The options of a file-sharing run with the one-time password the dialog took.
engine::CryptOptions FileShareOptions(const SecureBuffer& password) {
    engine::CryptOptions options;
    options.mode = engine::kModeFileShare;
    options.password = reinterpret_cast<const char*>(password.data());
    options.passwordLength = static_cast<uint32_t>(password.size());
    return options;
}

}  // namespace

int ServiceController::LocalEncrypt(QorWindow owner, const std::vector<std::string>& selection,
                                    PasswordHandOver* handOver) {
    return RunLocal(owner, selection, handOver, true);
}

int ServiceController::LocalDecrypt(QorWindow owner, const std::vector<std::string>& selection,
                                    PasswordHandOver* handOver) {
    return RunLocal(owner, selection, handOver, false);
}

int ServiceController::FileShareEncrypt(QorWindow owner,
                                        const std::vector<std::string>& selection) {
    if (selection.empty()) return 0;
    // The one-time password is the run's alone: the cache and the hand-over stay as they are.
    if (!Prepare(owner, nullptr)) return -1;
    OperationScope scope(false);

    dialogs::ShareEncryptDialog dialog(selection);
    ui::CurrentHost().RunModal(dialog, owner);
    GatherEntropy();
    if (!dialog.confirmed()) return 0;

    const SecureBuffer password = dialog.TakePassword();
    engine::CryptOptions options = FileShareOptions(password);
    options.noEmergency = dialog.noEmergency() ? 1 : 0;
    options.removeSource = dialog.deleteSource() ? 1 : 0;
    options.selfExtracting = dialog.selfExtracting() ? 1 : 0;
    RunSelection(owner, selection, options, true);
    return 0;
}

int ServiceController::FileShareDecrypt(QorWindow owner,
                                        const std::vector<std::string>& selection) {
    if (selection.empty()) return 0;
    if (!Prepare(owner, nullptr)) return -1;
    OperationScope scope(false);

    dialogs::ShareDecryptDialog dialog(selection);
    ui::CurrentHost().RunModal(dialog, owner);
    GatherEntropy();
    if (!dialog.confirmed()) return 0;

    const SecureBuffer password = dialog.TakePassword();
    engine::CryptOptions options = FileShareOptions(password);
    options.removeSource = dialog.deleteEncrypted() ? 1 : 0;
    RunSelection(owner, selection, options, false);
    return 0;
}

int ServiceController::AssociateDecrypt(QorWindow owner, const char* path, char* decryptedPath,
                                        PasswordHandOver* handOver) {
    if (path == nullptr) return -1;
    const std::string file(path, strnlen(path, kPathBufferSize - 1));

    // The kind comes from the two characters after the last dot; a name without any dot is
    // judged by the characters after the first one, as the file association never gives one.
    const size_t dot = file.rfind('.');
    const size_t at = dot == std::string::npos ? 0 : dot;
    const char first = at + 1 < file.size() ? file[at + 1] : '\0';
    const char second = at + 2 < file.size() ? file[at + 2] : '\0';
    uint16_t mode;
    if ((first == 's' || first == 'S') && second == '!') {
        mode = engine::kModeFileShare;
    } else if (first == '!' && second == '!') {
        mode = engine::kModeLocal;
    } else {
        return -1;
    }

    GatherEntropy();
    if (dialogs::LoadOrRecover(owner) != 0) return 0;

    char password[kOneTimeBufferSize] = {};
    const ScopedWipe wipePassword(password);
    // The password the user did not keep goes when the operation ends, however it ends.
    struct ClearOnExit {
        ~ClearOnExit() { profile::Cache().ClearPassword(false); }
    } clearOnExit;

    uint32_t passwordLength = 0;
    if (mode == engine::kModeLocal) {
        if (dialogs::AskPassword(owner, handOver, nullptr) == -1) return 0;
    } else {
        dialogs::OneTimePasswordDialog prompt;
        ui::CurrentHost().RunModal(prompt, owner);
        if (!prompt.confirmed()) return 0;
        passwordLength =
            static_cast<uint32_t>(std::min(prompt.passwordLength(), sizeof password - 1));
        std::memcpy(password, prompt.password(), passwordLength);
    }

    GatherEntropy();
    int status = -1;
    std::string decrypted;
    ProgressDialog progress(
        ProgressKind::kDecrypt,
        [&](ProgressDialog& dialog, engine::FileJob&) {
            status = engine::DecryptSingleFile(file, &decrypted, dialog.statusWidth(), mode,
                                               mode == engine::kModeFileShare ? password : nullptr,
                                               passwordLength, dialog, dialog.Hook());
        },
        owner);
    ui::CurrentHost().RunModal(progress, owner);

    if (status == engine::kEngineOk && !decrypted.empty() && decryptedPath != nullptr) {
        const size_t length = std::min(decrypted.size(), kPathBufferSize - 1);
        std::memcpy(decryptedPath, decrypted.data(), length);
        decryptedPath[length] = '\0';
    }
    return 0;
}

}  // namespace qor::entry
