// One file recovered with the organisation's private key (see recover_file.cpp).
#pragma once

#include <qor/rsa_private.h>

#include <string>

namespace qor::admin {

struct RecoveryResult {
    bool recovered = false;
    // One line: "FILE: recovered as TARGET", or "FILE: <why>; nothing was written".
    std::string message;
    std::string target;  // the plaintext's path once recovered
};

// Recovers `path` into `outFolder` (empty: the encrypted file's own folder).
RecoveryResult RecoverFile(const toolkit::RsaPrivateKey& key, const std::string& path,
                           const std::string& outFolder, const toolkit::RandomSource& random);

}  // namespace qor::admin
