// The emulated registry: one REGEDIT4 text file. Every call reads the file afresh, because the
// product's programs are short-lived and several of them share it; every change rewrites it
// whole through a temporary file in the same folder, so a reader sees the old or the new text
// and never a mixture. Writers take turns through a lock on that folder.
#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <functional>

#include "qor/platform/files.h"
#include "qor/platform/registry.h"

namespace qor::platform {

namespace posix {  // defined in files.cpp
bool FailWith(uint32_t error);
uint32_t ErrorFromErrno(int err, const std::string& path);
bool FailErrno(int err, const std::string& path);
std::string ParentFolder(const std::string& path);
}  // namespace posix

namespace {

// A value of the wrong type for the read asked (ERROR_INVALID_DATA, as RegQueryValueEx callers
// see it on Windows).
constexpr uint32_t kInvalidData = 13;

char LowerAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool SameName(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
    }
    return true;
}

std::string Variable(const char* name) {
    const char* value = std::getenv(name);
    return value ? std::string(value) : std::string();
}

std::string RegistryFile() {
    std::string path = Variable("QOR_REGISTRY");
    if (!path.empty()) return path;
    // A relative XDG_CONFIG_HOME is invalid and ignored, as the base-directory rules say.
    std::string config = Variable("XDG_CONFIG_HOME");
    if (!config.empty() && config[0] == '/') return config + "/qor/registry.reg";
    std::string home = Variable("HOME");
    if (home.empty()) {
        passwd entry;
        passwd* found = nullptr;
        char buffer[4096];
        if (getpwuid_r(getuid(), &entry, buffer, sizeof buffer, &found) == 0 && found) {
            home = found->pw_dir;
        }
    }
    if (home.empty()) return std::string();
    return home + "/.config/qor/registry.reg";
}

std::string KeyPath(Hive hive, const std::string& key) {
    return key.empty() ? HiveName(hive) : HiveName(hive) + "\\" + key;
}

// Text that the line format cannot hold; Windows would store it, this registry refuses it.
bool FitsOnALine(const std::string& text) {
    return text.find_first_of(std::string("\r\n\0", 3)) == std::string::npos;
}

// The whole file; a missing or empty file is an empty registry.
bool Load(const std::string& path, RegistryDocument* document) {
    document->keys.clear();
    if (path.empty()) return posix::FailWith(kErrorPathNotFound);
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return errno == ENOENT ? true : posix::FailErrno(errno, path);
    std::string text;
    char buffer[8192];
    for (;;) {
        ssize_t n = read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            int err = errno;
            close(fd);
            return posix::FailErrno(err, path);
        }
        if (n == 0) break;
        text.append(buffer, static_cast<size_t>(n));
    }
    close(fd);
    if (text.empty()) return true;
    // A file that is not ours to read is left alone: it is never rewritten from a guess.
    if (!ParseRegistryText(text, document)) return posix::FailWith(kErrorGeneric);
    return true;
}

RegistryKey* FindKey(RegistryDocument& document, const std::string& path) {
    for (RegistryKey& key : document.keys) {
        if (SameName(key.path, path)) return &key;
    }
    return nullptr;
}

RegistryValue* FindValue(RegistryKey& key, const std::string& name) {
    for (RegistryValue& value : key.values) {
        if (SameName(value.name, name)) return &value;
    }
    return nullptr;
}

// The value asked for, with the errors RegQueryValueEx gives: a missing key or value is
// ERROR_FILE_NOT_FOUND.
bool Lookup(Hive hive, const std::string& key, const std::string& name, RegistryValue* out) {
    RegistryDocument document;
    if (!Load(RegistryFile(), &document)) return false;
    const RegistryKey* found = FindKey(document, KeyPath(hive, key));
    if (!found) return posix::FailWith(kErrorFileNotFound);
    for (const RegistryValue& value : found->values) {
        if (SameName(value.name, name)) {
            *out = value;
            return true;
        }
    }
    return posix::FailWith(kErrorFileNotFound);
}

// mkdir -p; new folders are private to the user, as a configuration folder should be.
bool MakeFolders(const std::string& folder) {
    struct stat st;
    if (stat(folder.c_str(), &st) == 0) {
        return S_ISDIR(st.st_mode) ? true : posix::FailWith(kErrorPathNotFound);
    }
    std::string parent = posix::ParentFolder(folder);
    if (parent != folder && !MakeFolders(parent)) return false;
    if (mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) return posix::FailErrno(errno, folder);
    return true;
}

bool WriteAll(int fd, const std::string& text) {
    size_t done = 0;
    while (done < text.size()) {
        ssize_t n = write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

// Replaces the file with `text`: written and synced under a temporary name, renamed over the
// old file, and the rename made durable with the folder.
bool Store(const std::string& path, const std::string& folder, int folderFd,
           const std::string& text) {
    std::string name = path.substr(path.rfind('/') == std::string::npos ? 0 : path.rfind('/') + 1);
    std::string temp = folder + "/." + name + ".XXXXXX";
    int fd = mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0) return posix::FailErrno(errno, temp);
    struct stat old;
    mode_t mode = stat(path.c_str(), &old) == 0 ? (old.st_mode & 07777) : 0600;
    bool ok = fchmod(fd, mode) == 0 && WriteAll(fd, text) && fsync(fd) == 0;
    int err = errno;
    if (close(fd) != 0 && ok) {
        ok = false;
        err = errno;
    }
    if (ok && rename(temp.c_str(), path.c_str()) != 0) {
        ok = false;
        err = errno;
    }
    if (!ok) {
        unlink(temp.c_str());
        return posix::FailErrno(err, path);
    }
    if (fsync(folderFd) != 0 && errno != EINVAL) return posix::FailErrno(errno, folder);
    return true;
}

// Reads, changes and rewrites the registry while holding the writers' lock, so that two
// programs changing different values both keep their change.
bool Update(const std::function<bool(RegistryDocument&)>& change) {
    const std::string path = RegistryFile();
    if (path.empty()) return posix::FailWith(kErrorPathNotFound);
    const std::string folder = posix::ParentFolder(path);
    if (!MakeFolders(folder)) return false;
    int folderFd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folderFd < 0) return posix::FailErrno(errno, folder);
    int rc;
    do {
        rc = flock(folderFd, LOCK_EX);
    } while (rc != 0 && errno == EINTR);
    RegistryDocument document;
    bool ok = Load(path, &document) && change(document) &&
              Store(path, folder, folderFd, FormatRegistryText(document));
    close(folderFd);
    return ok;
}

bool SetValue(Hive hive, const std::string& key, const std::string& name,
              const RegistryValue& value) {
    if (!FitsOnALine(key) || !FitsOnALine(name)) return posix::FailWith(kErrorInvalidParameter);
    return Update([&](RegistryDocument& document) {
        const std::string path = KeyPath(hive, key);
        RegistryKey* target = FindKey(document, path);
        if (!target) {
            document.keys.push_back(RegistryKey{path, {}});
            target = &document.keys.back();
        }
        // An existing value keeps its place and the spelling of its name.
        if (RegistryValue* old = FindValue(*target, name)) {
            std::string keep = old->name;
            *old = value;
            old->name = keep;
        } else {
            target->values.push_back(value);
            target->values.back().name = name;
        }
        return true;
    });
}

}  // namespace

bool RegistryReadString(Hive hive, const std::string& key, const std::string& name,
                        std::string* value) {
    RegistryValue found;
    if (!Lookup(hive, key, name, &found)) return false;
    if (found.type != ValueType::kString) return posix::FailWith(kInvalidData);
    *value = found.text;
    return true;
}

bool RegistryReadDword(Hive hive, const std::string& key, const std::string& name,
                       uint32_t* value) {
    RegistryValue found;
    if (!Lookup(hive, key, name, &found)) return false;
    if (found.type != ValueType::kDword) return posix::FailWith(kInvalidData);
    *value = found.dword;
    return true;
}

bool RegistryWriteString(Hive hive, const std::string& key, const std::string& name,
                         const std::string& value) {
    if (!FitsOnALine(value)) return posix::FailWith(kErrorInvalidParameter);
    RegistryValue v;
    v.type = ValueType::kString;
    v.text = value;
    return SetValue(hive, key, name, v);
}

bool RegistryWriteDword(Hive hive, const std::string& key, const std::string& name,
                        uint32_t value) {
    RegistryValue v;
    v.type = ValueType::kDword;
    v.dword = value;
    return SetValue(hive, key, name, v);
}

bool RegistryDeleteValue(Hive hive, const std::string& key, const std::string& name) {
    // Nothing to delete needs no lock and no folders made for it.
    RegistryValue existing;
    if (!Lookup(hive, key, name, &existing)) return false;
    return Update([&](RegistryDocument& document) {
        RegistryKey* target = FindKey(document, KeyPath(hive, key));
        if (!target) return posix::FailWith(kErrorFileNotFound);
        for (auto it = target->values.begin(); it != target->values.end(); ++it) {
            if (SameName(it->name, name)) {
                target->values.erase(it);
                return true;
            }
        }
        return posix::FailWith(kErrorFileNotFound);
    });
}

bool RegistryDeleteKey(Hive hive, const std::string& key) {
    if (key.empty()) return posix::FailWith(kErrorInvalidParameter);
    const std::string path = KeyPath(hive, key);
    auto inside = [&path](const RegistryKey& candidate) {
        return SameName(candidate.path, path) ||
               (candidate.path.size() > path.size() && candidate.path[path.size()] == '\\' &&
                SameName(candidate.path.substr(0, path.size()), path));
    };
    RegistryDocument document;
    if (!Load(RegistryFile(), &document)) return false;
    // Nothing to delete needs no lock and no folders made for it.
    if (std::none_of(document.keys.begin(), document.keys.end(), inside)) return true;
    return Update([&inside](RegistryDocument& current) {
        std::erase_if(current.keys, inside);
        return true;
    });
}

bool RegistryEnumValues(Hive hive, const std::string& key, std::vector<RegistryValue>* values) {
    values->clear();
    RegistryDocument document;
    if (!Load(RegistryFile(), &document)) return false;
    const RegistryKey* found = FindKey(document, KeyPath(hive, key));
    if (!found) return posix::FailWith(kErrorFileNotFound);
    *values = found->values;
    return true;
}

}  // namespace qor::platform
