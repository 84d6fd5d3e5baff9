// Recovery of one file with the organisation's private key: the plaintext goes to a new
// temporary file in the output folder, readable by the administrator alone; only once it is
// whole and on the medium is it renamed to the name stored in the envelope, and never over an
// existing file nor to a name that is not a plain file name. The encrypted file stays.
#include "recover_file.h"

#include <qor/envelope_recovery.h>
#include <qor/inspect/describe_file.h>
#include <qor/platform/files.h>
#include <qor/platform/system.h>

#include <cstring>

#include "file_source.h"

namespace qor::admin {

namespace {

constexpr uint32_t kStoredNameLimit = 255;

std::string FolderOf(const std::string& path) {
#ifdef _WIN32
    const size_t at = path.find_last_of("\\/");
#else
    const size_t at = path.find_last_of('/');
#endif
    return at == std::string::npos ? std::string() : path.substr(0, at);
}

std::string Join(const std::string& folder, const std::string& name) {
    if (folder.empty()) return name;
    if (folder.back() == platform::kSeparator || folder.back() == '/') return folder + name;
    return folder + platform::kSeparator + name;
}

struct Output {
    platform::File* file;
    bool failed = false;
};

int WritePlain(const unsigned char* bytes, unsigned int length, void* context) {
    auto* out = static_cast<Output*>(context);
    if (!out->file->Write(bytes, length)) out->failed = true;
    return out->failed ? 1 : 0;
}

int NotUsed(void*) {
    return 288;
}

// A new, empty file in `folder` that nothing else had the name of.
platform::File CreateTemporary(const std::string& folder, std::string& path) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        uint8_t digits[4];
        if (!platform::OsRandom(digits, sizeof digits)) break;
        const uint32_t n = (static_cast<uint32_t>(digits[0]) << 8 | digits[1]) % 10000;
        path = Join(folder, "~fs" + std::to_string(10000 + n).substr(1) + ".tmp");
        uint32_t error = 0;
        platform::File file =
            platform::File::Open(path, platform::kAccessWrite, platform::kShareNone,
                                 platform::kCreateNew, platform::kAttrNormal, &error);
        if (file.IsOpen()) return file;
        if (error != platform::kErrorFileExists && error != platform::kErrorAlreadyExists) break;
    }
    path.clear();
    return platform::File();
}

RecoveryResult Refuse(const std::string& path, const std::string& why) {
    return {false, path + ": " + why + "; nothing was written", {}};
}

// The fingerprints of the keys the file was sealed for, so the administrator knows which key
// it needs.
RecoveryResult OtherKey(const std::string& path, FileSource& source) {
    const inspect::FileDescription d = inspect::DescribeFile(source, path);
    std::string fingerprints;
    for (const inspect::RecipientDescription& r : d.recipients) {
        if (r.kind != toolkit::kRecipientKindPublicKey) continue;
        fingerprints += (fingerprints.empty() ? "" : ", ") + r.fingerprint;
    }
    return Refuse(path, "encrypted for another emergency key (fingerprint " + fingerprints + ")");
}

}  // namespace

RecoveryResult RecoverFile(const toolkit::RsaPrivateKey& key, const std::string& path,
                           const std::string& outFolder, const toolkit::RandomSource& random) {
    FileSource source(path);
    if (!source.IsOpen()) return Refuse(path, "cannot be read");
    const inspect::FileLayout layout = inspect::LocateParts(source);
    if (!layout.envelopeFound) return Refuse(path, "not a file encrypted by QOR Vaultis");
    if (layout.kind == inspect::FileKind::kAutoCryptList) {
        return Refuse(path, "the AutoCrypt list, which is never encrypted for emergency access");
    }
    const std::string folder = outFolder.empty() ? FolderOf(path) : outFolder;
    std::string temporary;
    platform::File output = CreateTemporary(folder, temporary);
    if (!output.IsOpen()) {
        return Refuse(path, "no file can be created in " + (folder.empty() ? "." : folder));
    }

    inspect::EnvelopeStream input(source, layout.envelopeOffset, layout.envelopeLength);
    Output sink{&output};
    StreamRecord plain = {NotUsed, NotUsed, nullptr, NotUsed, WritePlain, &sink};
    EnvelopeObject* envelope = nullptr;
    AttributeList* attributes = nullptr;
    uint32_t publicKeyRecipients = 0;
    int status = EnvelopeCreate(&envelope);
    if (status == kStatusOk) status = AttributeListCreate(&attributes);
    if (status == kStatusOk) {
        status = toolkit::EnvelopeOpenWithPrivateKey(&plain, attributes, envelope, input.record(),
                                                     key, random, nullptr, &publicKeyRecipients);
    }
    std::string name;
    if (status == kStatusOk) {
        const unsigned char* value = nullptr;
        unsigned int length = 0;
        status = AttributeListGetFileName(&value, &length, attributes);
        if (status == kStatusOk) {
            const auto* text = reinterpret_cast<const char*>(value);
            name.assign(text, strnlen(text, length));
        }
    }
    AttributeListDestroy(&attributes);
    EnvelopeDestroy(&envelope);
    const bool written = status == kStatusOk && !sink.failed && output.Flush();
    output.Close();
    if (!written) platform::DeleteFile(temporary);

    if (status == kStatusNoRecipientMatched) {
        if (publicKeyRecipients == 0) return Refuse(path, "has no emergency access");
        return OtherKey(path, source);
    }
    if (status == toolkit::kStatusPrivateDecryptFailed) {
        return Refuse(path, "its emergency recipient is damaged: the key in it does not decrypt");
    }
    if (status == kStatusAttributeAbsent) return Refuse(path, "holds no stored name");
    if (status != kStatusOk && sink.failed) {
        return Refuse(path, "the decrypted file could not be written in " +
                                (folder.empty() ? std::string(".") : folder));
    }
    if (status != kStatusOk) return Refuse(path, "damaged or tampered with");
    if (!written) return Refuse(path, "the decrypted file could not be written to the medium");

    if (name.size() > kStoredNameLimit || !inspect::IsPlainFileName(name)) {
        platform::DeleteFile(temporary);
        return Refuse(path, "the name stored in it (\"" + stub::Printable(name) +
                                "\") is not a plain file name");
    }
    const std::string target = Join(folder, name);
    if (!platform::MoveFile(temporary, target)) {
        const bool exists = platform::Exists(target);
        platform::DeleteFile(temporary);
        return Refuse(path, exists ? "\"" + target + "\" already exists and was left unchanged"
                                   : "\"" + target + "\" could not be written");
    }
    platform::FlushFolder(folder.empty() ? "." : folder);
    return {true, path + ": recovered as " + target, target};
}

}  // namespace qor::admin
