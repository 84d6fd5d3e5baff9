// What the self-extracting program does with its own file once it is open: find the envelope
// behind the program image and the file-sharing trailer at the end, ask for the one-time
// password, and write the decrypted file under the name stored in the envelope. The program
// itself only reads its command line, opens its own file and asks on the terminal; tests run
// the same steps over sample files.
#pragma once

#include <qor/platform/files.h>
#include <qor/secure_buffer.h>

#include <cstddef>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

namespace qor::stub {

// The program's exit status.
enum Exit { kExitWritten = 0, kExitNoContent = 1, kExitWrongPassword = 2, kExitNotWritten = 3 };

// Puts the one-time password into `password` and its length into `length`; false when none was
// given (the asker has told the user why).
using PasswordAsker = std::function<bool(SecureBuffer& password, size_t& length)>;

// `own` is the program's own file, open for reading. The decrypted file goes into the first of
// `folders` where a new file can be created ("" is the current folder). What was written is
// reported on `out`, every failure on `err`. Returns the exit status.
int ExtractOwnFile(platform::File& own, const PasswordAsker& ask,
                   const std::vector<std::string>& folders, std::ostream& out, std::ostream& err);

}  // namespace qor::stub
