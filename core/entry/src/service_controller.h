// The controller: one operation per export, run to completion on the caller's thread. It
// holds nothing; what survives a call lives in the profile, the password cache and on disk.
#pragma once

#include <qor/entry/exports.h>
#include <qor/secure_buffer.h>

#include <string>
#include <vector>

namespace qor::entry {

class ServiceController {
  public:
    int Setup(QorWindow owner);
    int SetupCompleted();
    int ContinueSetup(QorWindow owner);
    int ChangePassword(QorWindow owner);
    int AboutBox(QorWindow owner);
    int ShowHelp(QorWindow owner);
    int ShowAutoCryptHelp(QorWindow owner);

    // The file operations (file_operations.cpp). `selection`: element 0 the folder, then the
    // selected names (a folder as its name, the separator and "*.*"). 0 when the operation ran
    // (confirmed or not), -1 when the preference file could not be had.
    int LocalEncrypt(QorWindow owner, const std::vector<std::string>& selection,
                     PasswordHandOver* handOver);
    int LocalDecrypt(QorWindow owner, const std::vector<std::string>& selection,
                     PasswordHandOver* handOver);
    int FileShareEncrypt(QorWindow owner, const std::vector<std::string>& selection);
    int FileShareDecrypt(QorWindow owner, const std::vector<std::string>& selection);
    // 0, or -1 when `path` does not name an encrypted file; `decryptedPath` (260 characters)
    // receives the decrypted file's path after success only.
    int AssociateDecrypt(QorWindow owner, const char* path, char* decryptedPath,
                         PasswordHandOver* handOver);

    // The AutoCrypt list and runs (autocrypt_operations.cpp).
    int AutoCryptGetFirst(QorWindow owner, char* entry, PasswordHandOver* handOver);
    int AutoCryptGetNext(QorWindow owner, char* entry);
    void UpdateAutocryptList(QorWindow owner, const std::vector<std::string>& entries, int startUp,
                             int shutDown, PasswordHandOver* handOver);
    int GetStartUpFlag();
    int GetShutDownFlag();
    void AutoEncrypt(QorWindow owner, PasswordHandOver* handOver);
    void AutoDecrypt(QorWindow owner, PasswordHandOver* handOver);
    void EncryptNow(QorWindow owner, const std::vector<std::string>& entries,
                    PasswordHandOver* handOver);
    void DecryptNow(QorWindow owner, const std::vector<std::string>& entries,
                    PasswordHandOver* handOver);
};

// Runs one controller operation inside the export frame: a controller on the stack, every
// exception caught (the export then returns `onException`, 0 for all of them).
template <typename Operation>
int RunExport(Operation operation) noexcept {
    int result = 0;
    try {
        ServiceController controller;
        result = operation(controller);
    } catch (...) {
        result = 0;
    }
    // What the operation's callees left in their frames (a key, a password) is overwritten
    // before the caller has its stack back.
    BurnDeepStack();
    return result;
}

}  // namespace qor::entry
