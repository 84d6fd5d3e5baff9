// The AutoCrypt list as its edit dialog works on it: read when the editor opens (the user is asked
// for the password, and about entries that cannot be found), kept sorted as the dialog's list box
// keeps it, changed entry by entry, encrypted or decrypted now, and written back by "Done" only.
// The editor binds the core library and marks the user's processes busy for its whole life.
#pragma once

#include <qor/shell/shell_exports.h>

#include <memory>
#include <string>
#include <vector>

#include "core_library.h"
#include "shared_state.h"

namespace qor::shell {

class AutoCryptEditor {
  public:
    explicit AutoCryptEditor(QorShellWindow owner);
    // Wipes the password kept for "Done".
    ~AutoCryptEditor();
    AutoCryptEditor(const AutoCryptEditor&) = delete;
    AutoCryptEditor& operator=(const AutoCryptEditor&) = delete;

    // False when the core could not be had, or the list was not given (no preference file, the
    // password not given): then nothing else may be done.
    bool opened() const { return opened_; }
    const std::vector<std::string>& entries() const { return entries_; }
    bool startUp() const { return startUp_; }
    void SetStartUp(bool on) { startUp_ = on; }

    enum class AddResult { kAdded, kAlreadyListed, kRefused };
    // Adds a file (an ordinary type) or a folder (as its path, the separator and "*.*") given by
    // its full path. kRefused with the message to show (caption: string 23) for the system folder
    // and for program and system types.
    AddResult Add(const std::string& path, bool isFolder, std::string* message);
    // Removes the entry; false when it is not listed.
    bool Remove(const std::string& entry);
    // The listed entries encrypted or decrypted now, as the list stands (saved or not). The
    // dialog hands over the shared password block; `withListPassword` uses the password the list
    // was opened with instead, so that a terminal user is not asked twice in one command.
    void EncryptNow(bool withListPassword);
    void DecryptNow(bool withListPassword);
    // Writes the list with the start-up setting (the shut-down setting off). True when the core
    // was called.
    bool Done();
    // The list's help topic.
    void ShowHelp();

  private:
    void Now(const char* exportName, bool withListPassword);

    QorShellWindow owner_;
    CoreLibrary core_;
    std::unique_ptr<BusyScope> busy_;
    bool opened_ = false;
    std::vector<std::string> entries_;
    bool startUp_ = false;
    HandOverBlock saved_{};
};

// Entries compare as the platform's names do: exactly on Linux, ignoring case on Windows.
bool SameEntry(const std::string& a, const std::string& b);

}  // namespace qor::shell
