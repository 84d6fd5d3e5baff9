// The two forms of the list on disk and the passage between them.
#include <qor/autocrypt/autocrypt_list.h>
#include <qor/engine/own_file_crypt.h>
#include <qor/platform/files.h>
#include <qor/profile/shared_random.h>
#include <qor/profile/user_profile.h>
#include <qor/secure_buffer.h>
#include <qor/ui/dialog_host.h>

#include <cstdint>
#include <limits>

namespace qor::autocrypt {

namespace {

int32_t PlainSize(const std::string& path) {
    platform::File file = platform::File::Open(path, platform::kAccessRead, platform::kShareRead,
                                               platform::kOpenExisting);
    uint64_t size = 0;
    if (!file.IsOpen() || !file.Size(&size) ||
        size > static_cast<uint64_t>(std::numeric_limits<int32_t>::max())) {
        return -1;
    }
    return static_cast<int32_t>(size);
}

// Overwrites and deletes the plain list; the overwrite's failure is said, the deletion happens
// in any case.
void WipePlainList(const std::string& plain) {
    if (engine::OverwriteOwnFile(plain) != 0) {
        ui::CurrentHost().ShowMessage(
            nullptr, "Unable to zeroize the original file \"" + plain + "\".", "QOR Vaultis",
            ui::MessageButtons::kOk, ui::MessageIcon::kNone);
    }
    platform::DeleteFile(plain);
}

}  // namespace

int EncryptListFile(std::string_view password) {
    const std::string plain = PlainListPath();
    const std::string encrypted = EncryptedListPath();
    profile::UserProfile& profile = profile::Profile();
    SecureBuffer key(32);
    uint32_t keyLength = 0;
    char userName[65] = {};
    profile.GetAttribute(profile::kAttrUserName, userName, false);

    // The list may be written in a process that showed no dialog (the password handed over):
    // three rounds of the system's sources, each with 32 bytes of the OS's own randomness, give
    // the generator more than the 256 seed bytes it needs before it draws.
    for (int round = 0; round < 3; ++round)
        profile::GatherSystemEntropy(0, 0);
    int status = profile.UnlockUserKey(password, key.data(), &keyLength);
    if (status == 0) {
        status = engine::EncryptOwnFile(plain, encrypted, key.data(), keyLength, userName,
                                        PlainSize(plain));
    }
    key.Clear();
    // Whether the new encrypted list is in place or the old one still stands, the plain list
    // has no reason to stay on the disk.
    if (platform::Exists(plain)) WipePlainList(plain);
    return status;
}

int DecryptListFile(std::string_view password) {
    SecureBuffer key(32);
    uint32_t keyLength = 0;
    int status = profile::Profile().UnlockUserKey(password, key.data(), &keyLength);
    if (status == 0) {
        status =
            engine::DecryptOwnFile(EncryptedListPath(), PlainListPath(), key.data(), keyLength);
    }
    key.Clear();
    return status;
}

void SettleLeftoverPlainList(std::string_view password) {
    const std::string plain = PlainListPath();
    if (!platform::Exists(plain)) return;
    if (!platform::Exists(EncryptedListPath())) {
        EncryptListFile(password);
        return;
    }
    WipePlainList(plain);
}

}  // namespace qor::autocrypt
