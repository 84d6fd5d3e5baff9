// qor-admin inspect: what each file is, read without any secret. With the organisation's key
// the envelopes sealed for it are opened as well, their plaintext passed over unwritten, to
// show the name and the user name recorded inside and whether the content is intact.
#include <qor/envelope_recovery.h>
#include <qor/inspect/describe_file.h>

#include <cstring>

#include "admin.h"
#include "file_source.h"

namespace qor::admin {

namespace {

int Discard(const unsigned char*, unsigned int, void*) {
    return 0;
}

int NotUsed(void*) {
    return 288;
}

std::string Attribute(int (*get)(const unsigned char**, unsigned int*, AttributeList*),
                      AttributeList* list) {
    const unsigned char* value = nullptr;
    unsigned int length = 0;
    if (get(&value, &length, list) != kStatusOk) return "(none)";
    const auto* text = reinterpret_cast<const char*>(value);
    return "\"" + stub::Printable(std::string(text, strnlen(text, length))) + "\"";
}

// One line on what the key made of the file; false when the file proved damaged.
bool OpenWithKey(FileSource& source, const inspect::FileDescription& d,
                 const toolkit::RsaPrivateKey& key, const std::string& keyFile) {
    bool forKey = false;
    for (const inspect::RecipientDescription& r : d.recipients)
        forKey = forKey || r.kind == toolkit::kRecipientKindPublicKey;
    if (!forKey) {
        Say("  with " + keyFile + ": no emergency access to open");
        return true;
    }
    inspect::EnvelopeStream input(source, d.layout.envelopeOffset, d.layout.envelopeLength);
    StreamRecord sink = {NotUsed, NotUsed, nullptr, NotUsed, Discard, nullptr};
    EnvelopeObject* envelope = nullptr;
    AttributeList* attributes = nullptr;
    int status = EnvelopeCreate(&envelope);
    if (status == kStatusOk) status = AttributeListCreate(&attributes);
    if (status == kStatusOk) {
        status = toolkit::EnvelopeOpenWithPrivateKey(&sink, attributes, envelope, input.record(),
                                                     key, OsRandomSource(), nullptr, nullptr);
    }
    std::string line = "  with " + keyFile + ": ";
    bool sound = true;
    if (status == kStatusOk) {
        line += "stored name " + Attribute(AttributeListGetFileName, attributes) + ", user " +
                Attribute(AttributeListGetUserName, attributes) + ", content intact";
    } else if (status == kStatusNoRecipientMatched) {
        line += "sealed for another emergency key";
    } else {
        line += "the content is damaged or was tampered with";
        sound = false;
    }
    AttributeListDestroy(&attributes);
    EnvelopeDestroy(&envelope);
    Say(line);
    return sound;
}

}  // namespace

int Inspect(const Args& args) {
    std::string problem = CheckArgs(args, {"--key", "--passphrase-file"}, {}, true);
    if (problem.empty() && args.files.empty()) problem = "inspect needs at least one file";
    if (problem.empty() && args.Has("--passphrase-file") && !args.Has("--key")) {
        problem = "--passphrase-file goes with --key";
    }
    if (!problem.empty()) return Fail(kExitUsage, problem + " (try qor-admin --help)");
    toolkit::RsaPrivateKey key;
    const std::string keyFile = args.Has("--key") ? args.Get("--key") : std::string();
    if (!keyFile.empty()) {
        const int loaded = LoadPrivateKey(
            keyFile, args.Has("--passphrase-file") ? args.Get("--passphrase-file") : std::string(),
            key);
        if (loaded != kExitOk) return loaded;
    }
    int result = kExitOk;
    for (const std::string& path : args.files) {
        FileSource source(path);
        if (!source.IsOpen()) {
            result = Fail(kExitFileProblem, "cannot read " + path);
            continue;
        }
        const inspect::FileDescription d = inspect::DescribeFile(source, path);
        for (const std::string& line : inspect::FormatDescription(d))
            Say(line);
        if (d.damaged()) result = kExitFileProblem;
        if (!keyFile.empty() && !d.damaged() && d.layout.envelopeFound &&
            !OpenWithKey(source, d, key, keyFile)) {
            result = kExitFileProblem;
        }
    }
    return result;
}

}  // namespace qor::admin
