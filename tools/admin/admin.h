// qor-admin: the organisation's tools for emergency access. Each command lives in its own file;
// what they share is here: the command line, exit statuses, messages, files and randomness.
#pragma once

#include <qor/rsa_private.h>
#include <qor/secure_buffer.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace qor::admin {

enum Exit : int {
    kExitOk = 0,
    kExitFileProblem = 1,  // a file was not recovered, or is damaged
    kExitUsage = 2,        // the command line was refused
    kExitKey = 3,          // the key file or the pass phrase was refused
    kExitWrite = 4,        // an output could not be written
};

// The command line after the command: options with their values, flags, and the rest.
struct Args {
    std::string command;
    std::map<std::string, std::string> options;  // "--out" -> "file"
    std::vector<std::string> flags;              // "--allow-off"
    std::vector<std::string> files;
    bool Has(const std::string& option) const { return options.count(option) != 0; }
    const std::string& Get(const std::string& option) const { return options.at(option); }
    bool Flag(const std::string& flag) const;
};

// Writes "qor-admin: <message>" on standard error and returns `status`.
int Fail(int status, const std::string& message);
// Writes a line on standard output.
void Say(const std::string& line);

// Refuses options, flags and files a command does not take; "" when all are known.
std::string CheckArgs(const Args& args, const std::vector<std::string>& options,
                      const std::vector<std::string>& flags, bool takesFiles);

// A file of at most `limit` bytes, whole. False with *error set.
bool ReadSmallFile(const std::string& path, size_t limit, SecureBuffer& out, std::string* error);
// Creates `path` (never over an existing file) with the given permissions and writes `data`
// to the medium. False with *error set; a file half written is removed again.
bool WriteNewFile(const std::string& path, const uint8_t* data, size_t length, uint32_t permissions,
                  std::string* error);

// The operating system's random generator.
toolkit::RandomSource OsRandomSource();

// The pass phrase: from the first line of `file` when it is not empty, else typed on the
// terminal without echo, twice when `confirm` (a new key). False with *error set.
bool GetPassphrase(const std::string& file, const std::string& prompt, bool confirm,
                   SecureBuffer& passphrase, std::string* error);

// The private key from an encrypted key file, with its pass phrase; an exit status (0 or
// kExitKey / kExitUsage) after the message has been written.
int LoadPrivateKey(const std::string& keyFile, const std::string& passphraseFile,
                   toolkit::RsaPrivateKey& key);

// The organisation's name as a preference file holds it: 1 to 63 bytes, no control character.
bool ValidOrganisation(const std::string& name, std::string* error);

int Keygen(const Args& args);
int Prepare(const Args& args);
int Recover(const Args& args);
int Inspect(const Args& args);

}  // namespace qor::admin
