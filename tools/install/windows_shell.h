// What a Windows install adds to the registry beyond the values every install writes: the
// Explorer extension (qorshell.dll registers its class itself, for files and folders, and as
// the encrypted files' icon handler) and the file association that opens ".!!!" and ".s!!"
// files with associat.exe; and their removal. Portable code over the platform's registry, so
// the emulated registry tests it too; only the Windows installer calls it.
#pragma once

#include <string>

namespace qor::install {

// The class of the encrypted file types when the shell library's own registration names none.
inline constexpr const char* kEncryptedFileClass = "QORVaultis.Encrypted";
inline constexpr const char* kEncryptedSuffixes[] = {".!!!", ".s!!"};

// Calls DllRegisterServer of `home`'s shell library, then writes the file association. A library
// without that export (a build without the COM server) is said in *warning and registers no
// menu; 0 on success, else a one-line reason in *error.
int RegisterWindowsShell(const std::string& home, std::string* warning, std::string* error);

// The association's open command and the class and suffix keys the install made (those of
// another class are left, with only this command taken away), then DllUnregisterServer.
void UnregisterWindowsShell(const std::string& home);

// The command a double-click runs: the program, quoted, and the file's path as one argument.
std::string OpenCommand(const std::string& home);

}  // namespace qor::install
