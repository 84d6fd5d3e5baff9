// Describes a file without any secret: the preference file by its records, an encrypted file by
// its parts and by a walk over its envelope.
#include <qor/key_files.h>
#include <qor/profile/user_profile.h>

#include <cstring>

#include "qor/inspect/describe_file.h"

namespace qor::inspect {

namespace {

using profile::AttributeFileOffset;
using profile::AttributeSizeOf;

std::string Text(const uint8_t* value, size_t size) {
    const void* end = std::memchr(value, 0, size);
    return std::string(
        reinterpret_cast<const char*>(value),
        end == nullptr ? size : static_cast<size_t>(static_cast<const uint8_t*>(end) - value));
}

// A preference file is 541 bytes (more are ignored) of fifteen records tagged 1 to 15.
bool ReadPreferenceFile(ByteSource& file, uint8_t image[profile::kProfileFileSize]) {
    if (file.Size() < profile::kProfileFileSize ||
        !file.ReadAt(0, image, profile::kProfileFileSize)) {
        return false;
    }
    for (int index = 1; index <= profile::kAttributeCount; ++index) {
        if (image[AttributeFileOffset(index) - 1] != index) return false;
    }
    return true;
}

void DescribePreferences(const uint8_t* image, FileDescription& d) {
    PreferenceSummary& p = d.preference;
    const auto value = [&](int index) { return image + AttributeFileOffset(index); };
    p.userName = Text(value(profile::kAttrUserName), AttributeSizeOf(profile::kAttrUserName));
    for (size_t k = 0; k < AttributeSizeOf(profile::kAttrWrappedKey); ++k)
        p.setUp = p.setUp || value(profile::kAttrWrappedKey)[k] != 0;
    p.emergencyKeyLength = value(profile::kAttrEmergencyKeyLength)[0];
    const uint8_t* key = value(profile::kAttrEmergencyKey);
    p.fingerprint = Fingerprint(key, AttributeSizeOf(profile::kAttrEmergencyKey));
    if (p.emergencyKeyLength != 0) {
        SecureBuffer canonical;
        if (toolkit::CanonicalPublicKey(key, p.emergencyKeyLength, &canonical,
                                        &p.emergencyKeyBits) != kStatusOk) {
            p.emergencyKeyBits = 0;
            d.problems.push_back("the emergency key in the file does not read as an RSA key");
        }
    }
    p.emergencyOptional = value(profile::kAttrEmergencyOptional)[0] != 0;
    p.organisation =
        Text(value(profile::kAttrOrganisation), AttributeSizeOf(profile::kAttrOrganisation));
    p.keepPassword = value(profile::kAttrKeepPassword)[0] != 0;
    p.keepMinutes = static_cast<uint32_t>(value(profile::kAttrKeepMinutes)[0] |
                                          value(profile::kAttrKeepMinutes)[1] << 8);
    p.encryptAtShutdown = value(profile::kAttrEncryptAtShutdown)[0] != 0;
    p.decryptAtStartup = value(profile::kAttrDecryptAtStartup)[0] != 0;
}

const char* StageProblem(int stage) {
    switch (stage) {
        case toolkit::kStageHeader:
            return "the envelope does not begin as one the product writes";
        case toolkit::kStageRecipients:
            return "the envelope breaks off or is damaged among its recipients";
        case toolkit::kStageContentInfo:
            return "the envelope breaks off or is damaged before the encrypted content";
        case toolkit::kStageContent:
            return "the envelope breaks off or is damaged inside the encrypted content";
        default:
            return "the envelope does not close after the encrypted content";
    }
}

void CollectRecipient(void* context, const toolkit::EnvelopeRecipientSummary& r) {
    auto* d = static_cast<FileDescription*>(context);
    RecipientDescription out;
    out.kind = r.kind;
    out.knownWrapping = r.knownWrapping;
    out.wrappedKeyLength = r.wrappedKeyLength;
    if (r.kind == toolkit::kRecipientKindPublicKey) {
        SecureBuffer canonical;
        out.keyReadable = toolkit::CanonicalPublicKey(r.publicKey, r.publicKeyLength, &canonical,
                                                      &out.modulusBits) == kStatusOk;
        if (out.keyReadable) {
            out.publicKey.assign(canonical.data(), canonical.data() + canonical.size());
        } else {
            out.publicKey.assign(r.publicKey, r.publicKey + r.publicKeyLength);
            out.modulusBits = 0;
        }
        out.fingerprint = Fingerprint(out.publicKey.data(), out.publicKey.size());
    }
    d->recipients.push_back(std::move(out));
}

void CheckTrailer(FileDescription& d) {
    const FileLayout& l = d.layout;
    if (l.trailerLength == 0) {
        d.problems.push_back("no trailer of a known form ends the file");
        return;
    }
    if (l.mode != 1 && l.mode != 2) d.problems.push_back("the trailer names no known mode");
    if (l.kind == FileKind::kSelfExtracting && l.mode != 1)
        d.problems.push_back("a self-extracting program whose trailer is not a file-sharing one");
    if (l.mode == 1) {
        bool check = false, salt = false;
        for (const TrailerItem& item : l.items) {
            check = check || (item.type == 4 && item.length == 16);
            salt = salt || (item.type == 5 && item.length == 16);
        }
        if (!check || !salt)
            d.problems.push_back("the file-sharing trailer lacks its check value or salt");
    }
}

}  // namespace

std::string Fingerprint(const uint8_t* key, size_t length) {
    char text[33] = {};
    if (profile::EmergencyFingerprintOf(key, length, text) != 0) return "?";
    return text;
}

FileDescription DescribeFile(ByteSource& file, const std::string& name) {
    FileDescription d;
    d.name = name;
    uint8_t image[profile::kProfileFileSize];
    if (ReadPreferenceFile(file, image)) {
        d.layout.size = file.Size();
        d.layout.kind = FileKind::kPreferenceFile;
        DescribePreferences(image, d);
        SecureWipe(image, sizeof image);
        return d;
    }
    SecureWipe(image, sizeof image);
    d.layout = LocateParts(file);
    if (!d.layout.envelopeFound) {
        d.problems.push_back(d.layout.trailerLength == 0
                                 ? "not a file of the product: no envelope and no trailer"
                                 : "a trailer, but no envelope where one should begin");
        return d;
    }
    CheckTrailer(d);
    EnvelopeStream stream(file, d.layout.envelopeOffset, d.layout.envelopeLength);
    d.envelopeRead = true;
    const int status =
        toolkit::EnvelopeDescribe(stream.record(), &d.envelope, CollectRecipient, &d);
    if (status != kStatusOk) d.problems.push_back(StageProblem(d.envelope.stage));
    return d;
}

bool IsPlainFileName(std::string_view name) {
    if (name.empty() || name == "." || name == "..") return false;
    for (const char c : name) {
        const auto code = static_cast<unsigned char>(c);
        if (code < 0x20 || c == '/' || c == '\\') return false;
    }
    const bool drivePrefix =
        name.size() >= 2 && name[1] == ':' &&
        ((name[0] >= 'a' && name[0] <= 'z') || (name[0] >= 'A' && name[0] <= 'Z'));
    if (drivePrefix) return false;
#ifdef _WIN32
    // Windows would read more into a name: streams, devices, dropped trailing dots.
    if (!stub::SafeStoredName(reinterpret_cast<const uint8_t*>(name.data()), name.size()))
        return false;
#endif
    return true;
}

}  // namespace qor::inspect
