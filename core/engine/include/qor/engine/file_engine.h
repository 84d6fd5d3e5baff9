// One file in, one file out: encryption into the output path the walk chose, decryption next
// to the encrypted file under the name stored inside it. Every message a single file can cause
// is shown here; the status says what happened.
#pragma once

#include <qor/engine/crypt_options.h>

#include <string>

namespace qor::engine {

int EncryptFile(FileJob& job, const std::string& source, const std::string& output);
// On success `decryptedPath` receives the decrypted file's full path.
int DecryptFile(FileJob& job, const std::string& encrypted, std::string* decryptedPath);

}  // namespace qor::engine
