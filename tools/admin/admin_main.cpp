// qor-admin: the organisation's side of emergency access. Makes its key pair, prepares the
// preference file an installation places before setup, recovers files with the private key,
// and describes files of the product without any secret.
#include <qor/platform/system.h>

#include <cstdio>
#include <string>
#include <vector>

#include "admin.h"

namespace {

using namespace qor::admin;

const char kUsage[] =
    "usage: qor-admin COMMAND [OPTIONS] [FILE...]\n"
    "\n"
    "The organisation's tools for emergency access to files encrypted by QOR Vaultis.\n"
    "\n"
    "  keygen --org NAME --out KEYFILE [--bits 1024|1536] [--passphrase-file FILE]\n"
    "      make the organisation's key pair: KEYFILE, the private key encrypted with a pass\n"
    "      phrase (PKCS #8, pbeWithMD5AndDES-CBC), and KEYFILE.pub, the public key; print the\n"
    "      fingerprint users are shown for it\n"
    "  prepare --public KEYFILE.pub --org NAME [--allow-off] --out FILE\n"
    "      write a preference file (userpref.!!!) carrying the public key, for the installation\n"
    "      to place in a user's home folder before setup; --allow-off lets users switch\n"
    "      emergency access off for a file\n"
    "  recover --key KEYFILE [--passphrase-file FILE] [--out DIR] FILE...\n"
    "      decrypt local, file-sharing and self-extracting files with the private key, each\n"
    "      under the name stored in it, in DIR or else beside it; the encrypted files stay\n"
    "  inspect [--key KEYFILE [--passphrase-file FILE]] FILE...\n"
    "      say what each file is: its kind, trailer, recipients with the emergency key's\n"
    "      fingerprint, and what is wrong with a damaged one; never a secret. With the key,\n"
    "      also the name and user name recorded inside and whether the content is intact\n"
    "      (nothing is written)\n"
    "\n"
    "The pass phrase of the private key is typed on the terminal without echo (twice for a new\n"
    "key), or read from the first line of the file named by --passphrase-file.\n"
    "\n"
    "Exit status: 0 done; 1 a file was not recovered, or is damaged; 2 the command line was\n"
    "refused; 3 the key file or the pass phrase was refused; 4 an output could not be written.\n";

// Options that take a value; everything else starting with "--" is a flag.
bool TakesValue(const std::string& option) {
    for (const char* o : {"--org", "--out", "--bits", "--passphrase-file", "--public", "--key"})
        if (option == o) return true;
    return false;
}

// "" when the line parses, else why not.
std::string Parse(const std::vector<std::string>& argv, Args& args) {
    args.command = argv[1];
    bool optionsEnd = false;
    for (size_t i = 2; i < argv.size(); ++i) {
        const std::string& a = argv[i];
        if (optionsEnd || a.size() < 2 || a.compare(0, 2, "--") != 0) {
            args.files.push_back(a);
            continue;
        }
        if (a == "--") {
            optionsEnd = true;
            continue;
        }
        const size_t equals = a.find('=');
        const std::string name = a.substr(0, equals);
        if (!TakesValue(name)) {
            if (equals != std::string::npos) return name + " takes no value";
            args.flags.push_back(name);
            continue;
        }
        std::string value;
        if (equals != std::string::npos) {
            value = a.substr(equals + 1);
        } else if (i + 1 < argv.size()) {
            value = argv[++i];
        } else {
            return name + " needs a value";
        }
        if (args.Has(name)) return name + " is given twice";
        args.options[name] = value;
    }
    return "";
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> arguments = qor::platform::ProgramArguments(argc, argv);
    if (arguments.size() < 2) {
        std::fputs(kUsage, stderr);
        return kExitUsage;
    }
    if (arguments[1] == "--help" || arguments[1] == "-h" || arguments[1] == "help") {
        std::fputs(kUsage, stdout);
        return kExitOk;
    }
    Args args;
    const std::string problem = Parse(arguments, args);
    if (!problem.empty()) return Fail(kExitUsage, problem + " (try qor-admin --help)");
    if (args.Flag("--help")) {
        std::fputs(kUsage, stdout);
        return kExitOk;
    }
    if (args.command == "keygen") return Keygen(args);
    if (args.command == "prepare") return Prepare(args);
    if (args.command == "recover") return Recover(args);
    if (args.command == "inspect") return Inspect(args);
    return Fail(kExitUsage, "unknown command " + args.command + " (try qor-admin --help)");
}
