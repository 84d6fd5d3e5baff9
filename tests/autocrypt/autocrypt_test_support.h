// What the AutoCrypt tests share: a user "alice" with the password "secret1" set up in a scratch
// home folder that the registry names, the two list files there, and lists written and read
// back with the user's key.
#pragma once

#include <qor/autocrypt/autocrypt_list.h>

#include <string>
#include <vector>

#include "dialog_test_support.h"

namespace qor::autocrypt::test {

using dialogs::test::Bytes;
using dialogs::test::Lines;
using dialogs::test::ScriptedRun;

inline constexpr char kPassword[] = "secret1";
inline constexpr char kPasswordAnswer[] = "dialog \"Password\": 1022=\"secret1\" -> 1\n";

class AutoCryptTest : public dialogs::test::DialogTest {
  protected:
    void SetUp() override;

    std::string EncryptedList() const;
    std::string PlainList() const;
    bool PlainListExists() const;
    // The list as `entries`, written through a handle (each entry a CR LF line).
    void WriteList(const std::vector<std::string>& entries);
    // The plain list's bytes as given, encrypted under the user's key.
    void WriteListBytes(const std::string& bytes);
    // The encrypted list decrypted with the user's key into a scratch file: its bytes.
    std::string ListPlaintext(const std::string& encrypted);
    // A path inside the scratch folder (nothing is created).
    std::string Path(const std::string& name) const;
    static void Touch(const std::string& path, const std::string& content = "x");
};

}  // namespace qor::autocrypt::test
