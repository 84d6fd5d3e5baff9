#include "list_interface.h"

#include <qor/autocrypt/autocrypt_list.h>
#include <qor/autocrypt/missing_entry.h>
#include <qor/engine/own_file_crypt.h>
#include <qor/profile/password_cache.h>
#include <qor/profile/user_profile.h>
#include <qor/secure_buffer.h>

#include <algorithm>
#include <cstring>
#include <memory>

#include "load_or_recover.h"
#include "password_dialog.h"

namespace qor::autocrypt {

using ui::MessageButtons;
using ui::MessageIcon;

namespace {

constexpr const char* kListCaption = "AutoCrypt";

// The list that AutoCryptGetFirst opened and AutoCryptGetNext reads; one per process.
std::unique_ptr<AutoCryptList>& CurrentList() {
    static std::unique_ptr<AutoCryptList> list;
    return list;
}

void Say(ui::OwnerWindow owner, const char* text, const char* caption,
         MessageIcon icon = MessageIcon::kNone) {
    ui::CurrentHost().ShowMessage(owner, text, caption, MessageButtons::kOk, icon);
}

// The entry into the caller's buffer; one that does not fit is handed over as empty.
void GiveEntry(char* buffer, const std::string& entry) {
    if (buffer == nullptr) return;
    if (entry.size() >= kEntryBufferSize) {
        buffer[0] = '\0';
        return;
    }
    std::memcpy(buffer, entry.data(), entry.size());
    buffer[entry.size()] = '\0';
}

void EndRead(char* buffer) {
    if (buffer != nullptr) buffer[0] = '\0';
    CloseCurrentList();
}

// The cached password, as the list's handles take it.
std::string_view CachedPassword() {
    return profile::Cache().Password();
}

// Writes each entry in order, stopping at the first that fails: true when all were written.
bool WriteEntries(AutoCryptList& list, const std::vector<std::string>& entries) {
    for (const std::string& entry : entries) {
        if (list.WriteEntry(entry) != 0) return false;
    }
    return true;
}

}  // namespace

void CloseCurrentList() {
    std::unique_ptr<AutoCryptList>& current = CurrentList();
    if (current) current->Close();
    current.reset();
}

int AutoCryptGetFirst(ui::OwnerWindow owner, char* buffer, PasswordHandOver* handOver) {
    MissingEntryDecision() = MissingEntryChoice::kAsk;
    // A list an earlier reader of this process left open is closed (and encrypted) first.
    CloseCurrentList();
    // The open list keeps its own copy for encrypting itself again, and the caller's block the
    // one for the update: the cache's is needed only until the list is open.
    const profile::UnkeptPasswordScope passwordUse;
    if (dialogs::LoadOrRecover(owner) != 0 || dialogs::AskPassword(owner, handOver, nullptr) != 0) {
        EndRead(buffer);
        return -1;
    }
    const std::string_view password = CachedPassword();
    if (handOver != nullptr) {
        const size_t length = std::min(password.size(), sizeof handOver->password - 1);
        std::memcpy(handOver->password, password.data(), length);
        std::memset(handOver->password + length, 0, sizeof handOver->password - length);
    }

    std::unique_ptr<AutoCryptList>& current = CurrentList();
    current = std::make_unique<AutoCryptList>();
    const int status = current->Open(ListModeRead, password);
    if (status != kListOk) {
        if (status == kListUndecryptable) {
            Say(owner, "The AutoCrypt list cannot be recovered. A new list will be created.",
                kListCaption);
        } else if (status == kListMissing) {
            Say(owner, "The AutoCrypt list cannot be found.  A new list will be created.",
                kListCaption);
        }
        return 0;
    }
    std::string entry;
    if (buffer != nullptr) entry.assign(buffer, strnlen(buffer, kEntryBufferSize - 1));
    if (current->ReadFirst(&entry) != 0) {
        EndRead(buffer);
        return -1;
    }
    if (CheckListEntry(owner, entry) == kRemoveEntry) entry.clear();
    GiveEntry(buffer, entry);
    return 0;
}

int AutoCryptGetNext(ui::OwnerWindow owner, char* buffer) {
    std::unique_ptr<AutoCryptList>& current = CurrentList();
    std::string entry;
    if (!current || current->ReadNext(&entry) != 0) {
        EndRead(buffer);
        return -1;
    }
    if (CheckListEntry(owner, entry) == kRemoveEntry) entry.clear();
    GiveEntry(buffer, entry);
    return 0;
}

void UpdateAutocryptList(ui::OwnerWindow owner, const std::vector<std::string>& entries,
                         int startUp, int shutDown, PasswordHandOver* handOver) {
    const profile::UnkeptPasswordScope passwordUse;
    if (dialogs::LoadOrRecover(owner) != 0) return;
    // The reader put the password into the block: it is taken without asking again.
    if (handOver != nullptr) handOver->valid = 1;
    if (dialogs::AskPassword(owner, handOver, nullptr) != 0) return;
    const std::string_view password = CachedPassword();

    AutoCryptList list;
    if (list.Open(ListModeWrite, password) != kListOk) {
        Say(owner, "Could not open VazaZizuvo list.  A new list will be created", "VazaZizuvo");
        list.Close();
        return;
    }
    const bool written = WriteEntries(list, entries);

    profile::UserProfile& profile = profile::Profile();
    const uint8_t startUpValue = startUp == 1 ? 1 : 0;
    const uint8_t shutDownValue = shutDown == 1 ? 1 : 0;
    profile.SetAttribute(profile::kAttrDecryptAtStartup, &startUpValue);
    profile.SetAttribute(profile::kAttrEncryptAtShutdown, &shutDownValue);
    profile.Write(&password);

    if (!written) {
        Say(owner, "Cannot write to the AutoCrypt list.", kListCaption, MessageIcon::kExclamation);
        // The handle keeps its failure: closing it does not encrypt the part written, and the
        // plain list does not stay (the old encrypted list stands, or without one the part
        // written is encrypted as it is).
        list.Close();
        return;
    }
    // The entries were written but could not be encrypted: the old list stands, and the user
    // must know that the change did not take.
    if (list.Close() != 0) {
        Say(owner, "Cannot write to the AutoCrypt list.", kListCaption, MessageIcon::kExclamation);
    }
}

int GetStartUpFlag() {
    profile::UserProfile& profile = profile::Profile();
    if (profile.Read() != 0) return 0;
    return profile.ByteAttribute(profile::kAttrDecryptAtStartup) != 0 ? 1 : 0;
}

int GetShutDownFlag() {
    profile::UserProfile& profile = profile::Profile();
    if (profile.Read() != 0) return 0;
    return profile.ByteAttribute(profile::kAttrEncryptAtShutdown) != 0 ? 1 : 0;
}

void CreateAutoCryptList(ui::OwnerWindow owner, const std::vector<std::string>& entries,
                         std::string_view password) {
    if (dialogs::LoadOrRecover(owner) != 0) return;
    AutoCryptList list;
    if (list.Open(ListModeCreate, password) != kListOk) {
        Say(owner, "Could not create VazaZizuvo list.", kListCaption);
        list.Close();
        return;
    }
    if (!WriteEntries(list, entries)) {
        Say(owner, "Cannot write to the AutoCrypt list.", kListCaption, MessageIcon::kExclamation);
    }
    list.Close();
}

int ProbeListSize() {
    return engine::ProbePlaintextSize(EncryptedListPath());
}

}  // namespace qor::autocrypt
