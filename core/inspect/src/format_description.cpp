// A file's description as lines for a terminal.
#include <string>

#include "qor/inspect/describe_file.h"

namespace qor::inspect {

namespace {

const char* KindText(FileKind kind) {
    switch (kind) {
        case FileKind::kLocal:
            return "local file";
        case FileKind::kFileShare:
            return "file-sharing file";
        case FileKind::kSelfExtracting:
            return "self-extracting program";
        case FileKind::kAutoCryptList:
            return "AutoCrypt list";
        case FileKind::kPreferenceFile:
            return "preference file";
        default:
            return "unknown";
    }
}

std::string Quoted(const std::string& text) {
    return "\"" + stub::Printable(text) + "\"";
}

std::string Bytes(uint64_t n) {
    return std::to_string(n) + (n == 1 ? " byte" : " bytes");
}

std::string ItemText(const FileLayout& l, const TrailerItem& item) {
    switch (item.type) {
        case 1:
            return "source name " + Quoted(l.storedName) +
                   (l.storedNameCut ? " (cut to 13 bytes)" : "");
        case 2:
            return l.plaintextSize < 0
                       ? std::string("plaintext size unknown")
                       : "plaintext size " + Bytes(static_cast<uint64_t>(l.plaintextSize));
        case 3:
            return "mode " + std::to_string(l.mode) +
                   (l.mode == 2   ? " (local)"
                    : l.mode == 1 ? " (file sharing)"
                                  : " (unknown)");
        case 4:
            return "password check value, " + Bytes(item.length) + " (not shown)";
        case 5:
            return "salt, " + Bytes(item.length) + " (not shown)";
        default:
            return "unknown item, " + Bytes(item.length);
    }
}

std::string RecipientText(const RecipientDescription& r) {
    std::string text;
    if (r.kind == toolkit::kRecipientKindPassword) {
        text = "password (the user's key or a one-time password)";
    } else if (r.kind == toolkit::kRecipientKindPublicKey) {
        text = "emergency key, ";
        text += r.keyReadable ? std::to_string(r.modulusBits) + "-bit RSA"
                              : std::string("a key that does not read");
        text += ", fingerprint " + r.fingerprint;
    } else {
        return "of an unknown kind";
    }
    if (!r.knownWrapping) text += ", wrapped in an unknown way";
    return text;
}

void Envelope(const FileDescription& d, std::vector<std::string>& out) {
    const FileLayout& l = d.layout;
    out.push_back("  envelope: " + Bytes(l.envelopeLength) + " at offset " +
                  std::to_string(l.envelopeOffset) +
                  (d.envelope.stage == toolkit::kStageDone ? ", whole" : ", damaged"));
    for (size_t k = 0; k < d.recipients.size(); ++k) {
        out.push_back("    recipient " + std::to_string(k + 1) + ": " +
                      RecipientText(d.recipients[k]));
    }
    if (d.envelope.stage > toolkit::kStageRecipients && d.recipients.empty())
        out.push_back("    recipients: none");
    if (d.envelope.stage > toolkit::kStageContentInfo) {
        std::string content =
            d.envelope.contentAlgorithmKnown
                ? "RC4 with MAC (" + std::to_string(d.envelope.contentKeySaltLength) +
                      "-byte salt, " + std::to_string(d.envelope.macLength) + "-byte MAC)"
                : std::string("an unknown algorithm");
        out.push_back("    content: " + content + ", " + std::to_string(d.envelope.chunks) +
                      (d.envelope.chunks == 1 ? " chunk, " : " chunks, ") +
                      Bytes(d.envelope.encryptedBytes));
        out.push_back("    stored name and user name: encrypted with the content");
    }
}

void Trailer(const FileDescription& d, std::vector<std::string>& out) {
    const FileLayout& l = d.layout;
    if (l.trailerLength == 0) return;
    out.push_back("  trailer: version " + std::to_string(l.trailerVersion) + ", " +
                  Bytes(l.trailerLength));
    if (l.trailerVersion == 1) {
        out.push_back("    plaintext size " + Bytes(static_cast<uint32_t>(l.plaintextSize)));
        return;
    }
    for (const TrailerItem& item : l.items) {
        out.push_back("    item " + std::to_string(item.type) + ", flag " +
                      std::to_string(item.flag) + ": " + ItemText(l, item));
    }
}

void Preferences(const PreferenceSummary& p, std::vector<std::string>& out) {
    out.push_back("  user: " + (p.setUp ? Quoted(p.userName) + ", set up" : "not set up yet"));
    if (p.emergencyKeyLength == 0) {
        out.push_back("  emergency access: none");
    } else {
        out.push_back("  emergency access: " + Quoted(p.organisation) + ", " +
                      (p.emergencyKeyBits != 0 ? std::to_string(p.emergencyKeyBits) + "-bit RSA"
                                               : std::string("a key that does not read")) +
                      ", fingerprint " + p.fingerprint +
                      (p.emergencyOptional ? ", the user may switch it off" : ", always on"));
    }
    out.push_back("  keep password in memory: " +
                  (p.keepPassword ? "yes, " + std::to_string(p.keepMinutes) + " minutes"
                                  : std::string("no")));
    out.push_back(std::string("  AutoCrypt: encrypt at shut-down ") +
                  (p.encryptAtShutdown ? "yes" : "no") + ", decrypt at start-up " +
                  (p.decryptAtStartup ? "yes" : "no"));
}

}  // namespace

std::vector<std::string> FormatDescription(const FileDescription& d) {
    std::vector<std::string> out;
    out.push_back(stub::Printable(d.name) + ": " + KindText(d.layout.kind) + ", " +
                  Bytes(d.layout.size));
    if (d.layout.kind == FileKind::kPreferenceFile) {
        Preferences(d.preference, out);
    } else {
        if (d.layout.programLength != 0)
            out.push_back("  decryptor program: " + Bytes(d.layout.programLength));
        if (d.envelopeRead) Envelope(d, out);
        Trailer(d, out);
    }
    for (const std::string& problem : d.problems)
        out.push_back("  problem: " + problem);
    return out;
}

}  // namespace qor::inspect
