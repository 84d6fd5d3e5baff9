#include <qor/key_files.h>
#include <qor/platform/files.h>
#include <qor/platform/system.h>

#include <algorithm>
#include <cstdio>

#include "admin.h"

namespace qor::admin {

namespace {

constexpr size_t kMaxKeyFile = 64 * 1024;

int DrawOs(void*, unsigned char* out, unsigned int length) {
    return platform::OsRandom(out, length) ? 0 : 1;
}

bool Contains(const std::vector<std::string>& list, const std::string& item) {
    return std::find(list.begin(), list.end(), item) != list.end();
}

}  // namespace

bool Args::Flag(const std::string& flag) const {
    return Contains(flags, flag);
}

int Fail(int status, const std::string& message) {
    std::fprintf(stderr, "qor-admin: %s\n", message.c_str());
    return status;
}

void Say(const std::string& line) {
    std::fprintf(stdout, "%s\n", line.c_str());
    std::fflush(stdout);
}

std::string CheckArgs(const Args& args, const std::vector<std::string>& options,
                      const std::vector<std::string>& flags, bool takesFiles) {
    for (const auto& [name, value] : args.options) {
        if (!Contains(options, name)) return args.command + " takes no option " + name;
    }
    for (const std::string& flag : args.flags) {
        if (!Contains(flags, flag)) return args.command + " takes no option " + flag;
    }
    if (!takesFiles && !args.files.empty()) {
        return args.command + " takes no file name (" + args.files.front() + ")";
    }
    return "";
}

bool ReadSmallFile(const std::string& path, size_t limit, SecureBuffer& out, std::string* error) {
    platform::File file = platform::File::Open(path, platform::kAccessRead, platform::kShareRead,
                                               platform::kOpenExisting);
    uint64_t size = 0;
    if (!file.IsOpen() || !file.Size(&size)) {
        *error = "cannot read " + path;
        return false;
    }
    if (size > limit) {
        *error = path + " is too large to be what is asked for";
        return false;
    }
    out.Resize(static_cast<size_t>(size));
    size_t at = 0;
    while (at < out.size()) {
        uint32_t got = 0;
        if (!file.Read(out.data() + at, static_cast<uint32_t>(out.size() - at), &got) || got == 0) {
            out.Clear();
            *error = "cannot read " + path;
            return false;
        }
        at += got;
    }
    return true;
}

bool WriteNewFile(const std::string& path, const uint8_t* data, size_t length, uint32_t permissions,
                  std::string* error) {
    uint32_t code = 0;
    platform::File file = platform::File::Open(path, platform::kAccessWrite, platform::kShareNone,
                                               platform::kCreateNew, platform::kAttrNormal, &code);
    if (!file.IsOpen()) {
        *error = code == platform::kErrorFileExists || code == platform::kErrorAlreadyExists
                     ? path + " already exists; nothing was written"
                     : "cannot create " + path;
        return false;
    }
    platform::SetPermissions(path, permissions);
    const bool written = file.Write(data, static_cast<uint32_t>(length)) && file.Flush();
    file.Close();
    if (!written) {
        platform::DeleteFile(path);
        *error = "cannot write " + path;
        return false;
    }
    return true;
}

toolkit::RandomSource OsRandomSource() {
    return {DrawOs, nullptr};
}

int LoadPrivateKey(const std::string& keyFile, const std::string& passphraseFile,
                   toolkit::RsaPrivateKey& key) {
    SecureBuffer file;
    std::string error;
    if (!ReadSmallFile(keyFile, kMaxKeyFile, file, &error)) return Fail(kExitKey, error);
    SecureBuffer passphrase;
    if (!GetPassphrase(passphraseFile, "Pass phrase for " + keyFile + ": ", false, passphrase,
                       &error)) {
        return Fail(kExitUsage, error);
    }
    const int status = toolkit::ReadEncryptedKeyFile(file.data(), file.size(), passphrase.data(),
                                                     passphrase.size(), &key);
    switch (status) {
        case kStatusOk:
            return kExitOk;
        case toolkit::kStatusWrongPassphrase:
            return Fail(kExitKey, "the pass phrase does not open " + keyFile +
                                      " (or the key file is damaged)");
        case toolkit::kStatusKeyEncryptionUnsupported:
            return Fail(kExitKey, keyFile +
                                      " is a private key, but not one encrypted with "
                                      "pbeWithMD5AndDES-CBC under a pass phrase");
        case toolkit::kStatusKeyAlgorithmUnsupported:
            return Fail(kExitKey, keyFile + " holds a key, but no RSA key");
        case toolkit::kStatusKeySizeRefused:
            return Fail(kExitKey, keyFile +
                                      " holds an RSA key of a size qor-admin does not use "
                                      "(keys of 256 to 2048 bits are)");
        case toolkit::kStatusBadPrivateKey:
            return Fail(kExitKey, keyFile + " is damaged: its numbers do not form one key");
        default:
            return Fail(kExitKey, keyFile + " is not a private key file qor-admin reads");
    }
}

bool ValidOrganisation(const std::string& name, std::string* error) {
    if (name.empty() || name.size() > 63) {
        *error = "the organisation's name must have 1 to 63 bytes";
        return false;
    }
    for (const char c : name) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) {
            *error = "the organisation's name holds a control character";
            return false;
        }
    }
    return true;
}

}  // namespace qor::admin
