// File sharing: the key and check value from a one-time password, and self-extracting programs.
#pragma once

#include <qor/engine/crypt_options.h>

#include <cstdint>
#include <string>
#include <string_view>

namespace qor::engine {

// key = MD5(password || salt || password); check = MD5(key || key). 0 or a toolkit status.
int DeriveShareKey(std::string_view password, const uint8_t salt[16], uint8_t key[16],
                   uint8_t check[16]);

// The stub program every self-extracting program starts with: the home folder (UserHomeDir,
// else "\qor\user") followed by "decexe".
std::string StubPath();

// The ".exe" name for `source` (its extension, if any, replaced): 0 when free, -1 when a file
// of that name exists.
int SelfExtractingName(const std::string& source, std::string* name);
// Asks for another name until a free one is chosen: 1 with the name, 0 when the user cancelled.
int ChooseAnotherName(FileJob& job, const std::string& source, std::string* name);

}  // namespace qor::engine
