#include "autocrypt_runs.h"

#include <qor/autocrypt/autocrypt_list.h>
#include <qor/engine/crypt_options.h>
#include <qor/engine/selection_walk.h>
#include <qor/profile/password_cache.h>
#include <qor/profile/shared_random.h>
#include <qor/profile/user_profile.h>

#include <functional>

#include "list_interface.h"
#include "load_or_recover.h"
#include "password_dialog.h"
#include "progress_dialog.h"

namespace qor::autocrypt {

using dialogs::ProgressDialog;
using dialogs::ProgressKind;

namespace {

constexpr const char* kListCaption = "AutoCrypt";
constexpr const char* kDamaged =
    "The AutoCrypt list has been damaged.  No files will be encrypted.";
// Walkers are created with this number; the walk never reads it.
constexpr int kWalkReserved = 10;

void GatherEntropy() {
    profile::GatherSystemEntropy(0, 0);
}

// Every run encrypts or decrypts local files in place, with the organisation's emergency key
// when the profile has one.
engine::CryptOptions RunOptions() {
    engine::CryptOptions options;
    options.mode = engine::kModeLocal;
    options.noEmergency = 0;
    options.removeSource = 1;
    options.selfExtracting = 0;
    return options;
}

// The entries of one run: the caller's array, or the list read afresh for every pass.
class EntrySource {
  public:
    virtual ~EntrySource() = default;
    virtual size_t count() const = 0;
    // The entry at `index`, asked for in order from 0 within a pass.
    virtual bool Entry(size_t index, std::string* entry) = 0;
};

class ArraySource : public EntrySource {
  public:
    explicit ArraySource(const std::vector<std::string>& entries) : entries_(entries) {}
    size_t count() const override { return entries_.size(); }
    bool Entry(size_t index, std::string* entry) override {
        *entry = entries_[index];
        return true;
    }

  private:
    const std::vector<std::string>& entries_;
};

class ListSource : public EntrySource {
  public:
    ListSource(AutoCryptList& list, size_t count) : list_(list), count_(count) {}
    size_t count() const override { return count_; }
    bool Entry(size_t index, std::string* entry) override {
        entry->clear();
        return (index == 0 ? list_.ReadFirst(entry) : list_.ReadNext(entry)) == 0;
    }

  private:
    AutoCryptList& list_;
    size_t count_;
};

// One pass over the entries. It stops after an entry that the walker answered non-zero, or
// after which the run was cancelled.
void RunPass(ProgressDialog& dialog, engine::SelectionWalker& walker, EntrySource& source,
             engine::CryptOptions& options, bool encrypt, int quiet) {
    for (size_t i = 0; i < source.count(); ++i) {
        std::string entry;
        if (!source.Entry(i, &entry)) return;
        // A blank line names nothing; walking it would search the current folder.
        int answer = 0;
        if (!entry.empty()) {
            answer =
                encrypt
                    ? walker.EncryptItem(entry, options, dialog.statusWidth(), dialog.Hook(), quiet)
                    : walker.DecryptItem(entry, options, dialog.statusWidth(), dialog.Hook());
        }
        if (answer != 0 || dialog.State().cancelled != 0 || dialog.cancelled()) return;
    }
}

// Encryption runs two passes: the first quietly, so that what can be done is done before the
// user is asked anything; the second says what the first could not do. Decryption runs one.
void RunPasses(ProgressDialog& dialog, EntrySource& source, bool encrypt) {
    engine::CryptOptions options = RunOptions();
    engine::SelectionWalker walker(dialog, kWalkReserved);
    if (encrypt) {
        RunPass(dialog, walker, source, options, true, 1);
        RunPass(dialog, walker, source, options, true, 0);
    } else {
        RunPass(dialog, walker, source, options, false, 0);
    }
}

void RunArray(ui::OwnerWindow owner, const std::vector<std::string>& entries, bool encrypt) {
    ProgressDialog dialog(
        encrypt ? ProgressKind::kEncrypt : ProgressKind::kDecrypt,
        [&](ProgressDialog& progress, engine::FileJob&) {
            ArraySource source(entries);
            RunPasses(progress, source, encrypt);
        },
        owner);
    ui::CurrentHost().RunModal(dialog, owner);
}

void RunList(ui::OwnerWindow owner, bool encrypt) {
    ProgressDialog dialog(
        encrypt ? ProgressKind::kEncrypt : ProgressKind::kDecryptSystemModal,
        [&](ProgressDialog& progress, engine::FileJob&) {
            AutoCryptList list;
            if (list.Open(ListModeRead, profile::Cache().Password()) != kListOk) {
                if (encrypt) progress.ShowMessage(kDamaged, kListCaption);
                list.Close();
                return;
            }
            const int count = list.Count();
            if (count >= 1) {
                ListSource source(list, static_cast<size_t>(count));
                RunPasses(progress, source, encrypt);
            }
            // Closing writes a freshly encrypted list.
            list.Close();
        },
        owner);
    ui::CurrentHost().RunModal(dialog, owner);
}

}  // namespace

void AutoEncrypt(ui::OwnerWindow owner, PasswordHandOver* handOver) {
    const profile::UnkeptPasswordScope passwordUse;
    GatherEntropy();
    if (dialogs::LoadOrRecover(owner) != 0) return;
    const int size = ProbeListSize();
    if (size == -1) {
        ui::CurrentHost().ShowMessage(
            owner, "Could not open the AutoCrypt list.  No files will be encrypted.", kListCaption,
            ui::MessageButtons::kOk, ui::MessageIcon::kNone);
        return;
    }
    if (size == -2) {
        ui::CurrentHost().ShowMessage(owner, kDamaged, kListCaption, ui::MessageButtons::kOk,
                                      ui::MessageIcon::kNone);
        return;
    }
    if (size <= 0) return;
    if (dialogs::AskPassword(owner, handOver, nullptr) == -1) return;
    GatherEntropy();
    RunList(owner, true);
}

void AutoDecrypt(ui::OwnerWindow owner, PasswordHandOver* handOver) {
    const profile::UnkeptPasswordScope passwordUse;
    GatherEntropy();
    if (dialogs::LoadOrRecover(owner) != 0) return;
    if (profile::Profile().ByteAttribute(profile::kAttrDecryptAtStartup) == 0) return;
    if (ProbeListSize() < 1) return;
    if (dialogs::AskPassword(owner, handOver, "QOR Vaultis Auto Decryption") == -1) return;
    GatherEntropy();
    RunList(owner, false);
}

void EncryptNow(ui::OwnerWindow owner, const std::vector<std::string>& entries,
                PasswordHandOver* handOver) {
    const profile::UnkeptPasswordScope passwordUse;
    if (dialogs::LoadOrRecover(owner) != 0) return;
    if (dialogs::AskPassword(owner, handOver, nullptr) == -1) return;
    RunArray(owner, entries, true);
}

void DecryptNow(ui::OwnerWindow owner, const std::vector<std::string>& entries,
                PasswordHandOver* handOver) {
    const profile::UnkeptPasswordScope passwordUse;
    if (dialogs::LoadOrRecover(owner) != 0) return;
    if (dialogs::AskPassword(owner, handOver, nullptr) == -1) return;
    RunArray(owner, entries, false);
}

}  // namespace qor::autocrypt
