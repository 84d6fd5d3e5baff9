// What the engine's files share: path pieces, the message boxes, the small file operations.
#pragma once

#include <qor/engine/crypt_options.h>
#include <qor/platform/files.h>

#include <cstdint>
#include <string>
#include <string_view>

namespace qor::engine {

class CryptContext;

inline constexpr const char* kCaption = "QOR Vaultis";

// Index of the last path separator, or npos. Windows accepts both slashes; on Linux a
// backslash is an ordinary name character.
inline size_t LastSeparator(std::string_view path) {
#ifdef _WIN32
    return path.find_last_of("\\/");
#else
    return path.find_last_of('/');
#endif
}
// The path up to and including its last separator ("" when there is none).
inline std::string FolderPart(std::string_view path) {
    const size_t at = LastSeparator(path);
    return at == std::string_view::npos ? std::string() : std::string(path.substr(0, at + 1));
}
// The last component of the path.
inline std::string NamePart(std::string_view path) {
    const size_t at = LastSeparator(path);
    return std::string(at == std::string_view::npos ? path : path.substr(at + 1));
}
// The folder to flush after a rename or creation inside it.
inline std::string FolderToFlush(std::string_view path) {
    std::string folder = FolderPart(path);
    if (folder.empty()) return ".";
    if (folder.size() > 1) folder.pop_back();
    return folder;
}

// `text` with its one "%s" replaced by `path`.
std::string WithPath(std::string_view text, const std::string& path);
// A message box owned by the job's parent, with the product's caption; returns the button.
int ShowEngineMessage(const FileJob& job, const std::string& text, bool okCancel);

int OverwriteFile(const std::string& path, ProgressHook* hook);
// 0 with a free name beside `path`, or -1 when none could be found.
int MakeTempName(const std::string& path, std::string* name);
// 0 the file fits on its volume; -1 not enough space; -2 drive A: reports no space.
int CheckDiskSpace(const std::string& path);
// Copies the stub program to the front of the output: 0 or the failure status.
int CopyStub(CryptContext& context, StreamRecord* output, ProgressHook* hook);

inline void CallHook(ProgressHook* hook) {
    if (hook != nullptr && hook->callback != nullptr) hook->callback(hook->argument);
}

}  // namespace qor::engine

namespace qor::engine {
// Tests: where the temporary names' digits come from (nullptr: SharedRandom).
void SetTempNameRandomForTesting(uint32_t (*draw)());
}  // namespace qor::engine
