// qor-admin recover: files decrypted with the organisation's private key, each written under
// the name stored in it, the encrypted file left where it is.
#include <qor/platform/files.h>

#include "admin.h"
#include "recover_file.h"

namespace qor::admin {

int Recover(const Args& args) {
    std::string problem = CheckArgs(args, {"--key", "--passphrase-file", "--out"}, {}, true);
    if (problem.empty() && !args.Has("--key")) problem = "recover needs --key KEYFILE";
    if (problem.empty() && args.files.empty()) problem = "recover needs at least one file";
    if (!problem.empty()) return Fail(kExitUsage, problem + " (try qor-admin --help)");
    std::string outFolder = args.Has("--out") ? args.Get("--out") : std::string();
    if (!outFolder.empty()) {
        const uint32_t attributes = platform::GetAttributes(outFolder);
        if (attributes == platform::kInvalidAttributes ||
            (attributes & platform::kAttrDirectory) == 0) {
            return Fail(kExitUsage, outFolder + " is not a folder");
        }
    }
    while (outFolder.size() > 1 && (outFolder.back() == '/' || outFolder.back() == '\\'))
        outFolder.pop_back();

    toolkit::RsaPrivateKey key;
    const int loaded = LoadPrivateKey(
        args.Get("--key"),
        args.Has("--passphrase-file") ? args.Get("--passphrase-file") : std::string(), key);
    if (loaded != kExitOk) return loaded;

    int result = kExitOk;
    for (const std::string& file : args.files) {
        const RecoveryResult r = RecoverFile(key, file, outFolder, OsRandomSource());
        if (r.recovered) {
            Say(r.message);
        } else {
            result = Fail(kExitFileProblem, r.message);
        }
    }
    return result;
}

}  // namespace qor::admin
