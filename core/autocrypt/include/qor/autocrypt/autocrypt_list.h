// The AutoCrypt list: the files and folders the user wants encrypted at shut-down and decrypted
// at log-on. It rests on disk only encrypted ("autocryp.!!!" in the home folder, a local
// encrypted file under the user's key); the plain form "autocryp.lst" exists only while a handle
// has the list open, and closing a sound handle encrypts it again and wipes the plain form.
//
// One AutoCryptList is one use of the list: Open, then reads (ListModeRead) or writes
// (ListModeWrite, ListModeCreate), then Close. The status is sticky: after the first failure
// every operation fails at once with it.
#pragma once

#include <qor/autocrypt/text_line_file.h>
#include <qor/secure_buffer.h>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace qor::autocrypt {

enum ListMode : int32_t { ListModeCreate = 0, ListModeWrite = 1, ListModeRead = 2 };

enum ListStatus : int32_t {
    kListOk = 0,
    kListCannotOpen = -1,     // the plain list could not be opened, or a line not written
    kListBadMode = -2,        // unknown mode, or an operation the mode does not allow
    kListPasswordLong = -3,   // the password given is longer than 32 characters
    kListMissing = -9,        // no encrypted list
    kListUndecryptable = -10  // the encrypted list could not be decrypted
};

inline constexpr const char* kPlainListName = "autocryp.lst";
inline constexpr const char* kEncryptedListName = "autocryp.!!!";
// The longest password a handle takes.
inline constexpr size_t kListPasswordMax = 32;
// Lines are read into a buffer of this size, terminator included.
inline constexpr size_t kListLineBuffer = 511;

// The home folder of the list: the registry's UserHomeDir, else "\qor\user" on the current drive.
std::string ListHomeFolder();
std::string PlainListPath();
std::string EncryptedListPath();

class AutoCryptList {
  public:
    AutoCryptList();
    // Closes the handle if it is still open.
    ~AutoCryptList();
    AutoCryptList(const AutoCryptList&) = delete;
    AutoCryptList& operator=(const AutoCryptList&) = delete;

    // Opens the list in `mode` with the user's password (see the status table above).
    int Open(int32_t mode, std::string_view password);
    // Rewinds and reads the first line into *entry: 0, also for an empty list (then *entry is
    // left as it was); the status when it is not 0; -2 outside ListModeRead.
    int ReadFirst(std::string* entry);
    // The next line: 0, or -1 at the end (or when the status is not 0); -2 outside ListModeRead.
    int ReadNext(std::string* entry);
    // The number of lines, the position rewound before and after; -1 or -2 as ReadNext.
    int Count();
    // One entry line: 0, or -1 (status -1) when it could not be written; -2 outside ListModeWrite.
    int WriteEntry(const std::string& text);
    // Closes the plain list and, when the status is 0, encrypts it again; clears the password.
    // 0, or the failure status of that encryption. A second call does nothing and returns 0.
    int Close();

    int32_t status() const { return status_; }
    int32_t mode() const { return mode_; }
    const std::string& path() const { return path_; }

  private:
    int32_t status_ = kListOk;
    int32_t mode_ = ListModeRead;
    SecureBuffer password_;
    size_t passwordLength_ = 0;
    std::string path_;
    std::unique_ptr<TextLineFile> stream_;
    bool closed_ = true;
};

// Plain form to encrypted form: the plain list encrypted under the user's key (unlocked with
// `password`) into a fresh autocryp.!!! that replaces the old one only once it is complete and on
// disk; then the plain list is overwritten and deleted. On failure the old autocryp.!!! stays and
// the plain list is still wiped and deleted, so that it never outlives the failure; the edits it
// held are lost and the caller says so. 0 or the failure status.
int EncryptListFile(std::string_view password);
// Encrypted form to plain form (the encrypted list stays). 0, or the failure status with no
// plain list left behind.
int DecryptListFile(std::string_view password);

// What an earlier use of the list left behind when its process died (or its encryption
// failed): a plain list that no handle of this process has open. It is encrypted into
// autocryp.!!! when no encrypted list exists, so that its entries survive; otherwise the
// encrypted list is the last complete one and the leftover is wiped and deleted.
void SettleLeftoverPlainList(std::string_view password);

}  // namespace qor::autocrypt
