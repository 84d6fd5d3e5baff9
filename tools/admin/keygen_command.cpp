// qor-admin keygen: the organisation's key pair, the private key encrypted under a pass phrase.
#include <qor/inspect/describe_file.h>
#include <qor/key_files.h>
#include <qor/platform/files.h>

#include "admin.h"

namespace qor::admin {

namespace {

constexpr uint32_t kPublicExponent = 65537;
constexpr size_t kMinPassphrase = 8;

}  // namespace

int Keygen(const Args& args) {
    std::string problem =
        CheckArgs(args, {"--org", "--out", "--bits", "--passphrase-file"}, {}, false);
    if (problem.empty() && !args.Has("--org")) problem = "keygen needs --org NAME";
    if (problem.empty() && !args.Has("--out")) problem = "keygen needs --out KEYFILE";
    if (!problem.empty()) return Fail(kExitUsage, problem + " (try qor-admin --help)");
    const std::string& organisation = args.Get("--org");
    if (!ValidOrganisation(organisation, &problem)) return Fail(kExitUsage, problem);

    uint32_t bits = 1024;
    if (args.Has("--bits")) {
        const std::string& text = args.Get("--bits");
        if (text == "1536") {
            bits = 1536;
        } else if (text == "2048") {
            // A preference file keeps the key in 255 bytes; a 2048-bit key takes 294.
            return Fail(kExitUsage,
                        "a 2048-bit key does not fit a preference file, which holds keys of up "
                        "to 1536 bits; use --bits 1024 or 1536");
        } else if (text != "1024") {
            return Fail(kExitUsage, "--bits takes 1024 or 1536, not " + text);
        }
    }
    const std::string privatePath = args.Get("--out");
    const std::string publicPath = privatePath + ".pub";
    for (const std::string& path : {privatePath, publicPath}) {
        if (platform::Exists(path))
            return Fail(kExitWrite, path + " already exists; nothing was written");
    }

    SecureBuffer passphrase;
    const std::string passphraseFile =
        args.Has("--passphrase-file") ? args.Get("--passphrase-file") : std::string();
    if (!GetPassphrase(passphraseFile, "Pass phrase for the new key: ", true, passphrase,
                       &problem)) {
        return Fail(kExitUsage, problem);
    }
    if (passphrase.size() < kMinPassphrase) {
        return Fail(kExitKey, "the pass phrase must have at least " +
                                  std::to_string(kMinPassphrase) + " characters");
    }

    const toolkit::RandomSource random = OsRandomSource();
    toolkit::RsaPrivateKey key;
    SecureBuffer privateFile, publicFile, publicBer;
    int status = toolkit::RsaGenerateKey(bits, kPublicExponent, random, nullptr, &key);
    if (status == kStatusOk) {
        status = toolkit::WriteEncryptedKeyFile(key, passphrase.data(), passphrase.size(), random,
                                                &privateFile);
    }
    if (status == kStatusOk) status = toolkit::WritePublicKeyFile(key, &publicFile);
    if (status == kStatusOk) status = toolkit::RsaPublicKeyBer(key, &publicBer);
    if (status != kStatusOk) {
        return Fail(kExitKey, "the key could not be made (status " + std::to_string(status) + ")");
    }
    if (!WriteNewFile(privatePath, privateFile.data(), privateFile.size(), 0600, &problem)) {
        return Fail(kExitWrite, problem);
    }
    if (!WriteNewFile(publicPath, publicFile.data(), publicFile.size(), 0644, &problem)) {
        platform::DeleteFile(privatePath);  // one without the other is no use
        return Fail(kExitWrite, problem);
    }
    Say("Organisation: " + organisation);
    Say("Private key: " + privatePath + " (" + std::to_string(bits) +
        "-bit RSA, encrypted with the pass phrase)");
    Say("Public key: " + publicPath);
    Say("Fingerprint: " + inspect::Fingerprint(publicBer.data(), publicBer.size()));
    return kExitOk;
}

}  // namespace qor::admin
