#include <qor/autocrypt/autocrypt_list.h>
#include <qor/platform/files.h>
#include <qor/profile/user_profile.h>

#include <cstring>

namespace qor::autocrypt {

namespace {

// Handles of this process that have the plain list open: while there is one, a plain list on
// disk is theirs and no leftover.
int gOpenPlainLists = 0;

}  // namespace

std::string ListHomeFolder() {
    const std::string fallback =
        std::string(1, platform::kSeparator) + "qor" + platform::kSeparator + "user";
    return profile::HomeFolderFromRegistry(fallback);
}

std::string PlainListPath() {
    return ListHomeFolder() + platform::kSeparator + kPlainListName;
}

std::string EncryptedListPath() {
    return ListHomeFolder() + platform::kSeparator + kEncryptedListName;
}

AutoCryptList::AutoCryptList() : password_(kListPasswordMax + 1) {}

AutoCryptList::~AutoCryptList() {
    Close();
}

int AutoCryptList::Open(int32_t mode, std::string_view password) {
    Close();
    closed_ = false;
    passwordLength_ = 0;
    mode_ = mode;
    status_ = kListOk;
    if (password.size() > kListPasswordMax) return status_ = kListPasswordLong;
    // An unknown mode is refused before anything is decrypted, so that no plain list is
    // written for a handle that could never encrypt it again.
    if (mode != ListModeCreate && mode != ListModeWrite && mode != ListModeRead) {
        return status_ = kListBadMode;
    }
    path_ = EncryptedListPath();
    password_.Resize(kListPasswordMax + 1);
    std::memcpy(password_.data(), password.data(), password.size());
    passwordLength_ = password.size();
    const std::string_view kept(reinterpret_cast<const char*>(password_.data()), passwordLength_);

    if (gOpenPlainLists == 0) SettleLeftoverPlainList(kept);

    if (mode == ListModeRead) {
        if (!platform::Exists(path_)) return status_ = kListMissing;
        if (DecryptListFile(kept) != 0) return status_ = kListUndecryptable;
    }
    // The write and create modes write the list anew: decrypting the old one first would only
    // put its plaintext on the disk to be truncated at once.

    path_ = PlainListPath();
    stream_ = std::make_unique<TextLineFile>(
        path_, mode == ListModeRead ? TextLineFile::Access::kRead : TextLineFile::Access::kWrite);
    if (!stream_->IsOpen()) {
        stream_.reset();
        // A list decrypted for reading that cannot be read must not stay behind in plain form.
        if (mode == ListModeRead && gOpenPlainLists == 0) {
            platform::DeleteFile(path_);
        }
        return status_ = kListCannotOpen;
    }
    ++gOpenPlainLists;
    return status_;
}

int AutoCryptList::ReadFirst(std::string* entry) {
    if (status_ != kListOk) return status_;
    if (mode_ != ListModeRead) return status_ = kListBadMode;
    if (stream_->Rewind() != kTextLineOk) return status_ = kListCannotOpen;
    std::string line;
    if (stream_->ReadLine(&line, kListLineBuffer) == kTextLineOk) *entry = std::move(line);
    return 0;
}

int AutoCryptList::ReadNext(std::string* entry) {
    if (status_ != kListOk) return -1;
    if (mode_ != ListModeRead) return status_ = kListBadMode;
    std::string line;
    if (stream_->ReadLine(&line, kListLineBuffer) != kTextLineOk) return -1;
    *entry = std::move(line);
    return 0;
}

int AutoCryptList::Count() {
    if (status_ != kListOk) return -1;
    if (mode_ != ListModeRead) return status_ = kListBadMode;
    if (stream_->Rewind() != kTextLineOk) return -1;
    int count = 0;
    std::string line;
    while (stream_->ReadLine(&line, kListLineBuffer) == kTextLineOk)
        ++count;
    stream_->Rewind();
    return count;
}

int AutoCryptList::WriteEntry(const std::string& text) {
    if (status_ != kListOk) return -1;
    if (mode_ != ListModeWrite) return status_ = kListBadMode;
    if (stream_->WriteLine(text) != kTextLineOk) {
        status_ = kListCannotOpen;
        return -1;
    }
    return 0;
}

int AutoCryptList::Close() {
    if (closed_) return 0;
    closed_ = true;
    const bool hadPlainList = stream_ != nullptr;
    stream_.reset();
    if (hadPlainList) --gOpenPlainLists;
    int result = 0;
    const std::string_view password(reinterpret_cast<const char*>(password_.data()),
                                    passwordLength_);
    if (status_ == kListOk && hadPlainList) result = EncryptListFile(password);
    // A list that could not be written or encrypted again must not wait in plain form for the
    // next use of the list: the paths it names are the user's own. The encrypted list, where it
    // still stands, keeps what it held; where there is none, the plain one is encrypted as it is.
    if (hadPlainList && (status_ != kListOk || result != 0) && gOpenPlainLists == 0)
        SettleLeftoverPlainList(password);
    password_.Clear();
    passwordLength_ = 0;
    return result;
}

}  // namespace qor::autocrypt
