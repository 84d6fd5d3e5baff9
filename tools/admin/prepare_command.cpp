// qor-admin prepare: the preference file an installation places before setup, carrying the
// organisation's public key and name. Setup keeps these and fills in the user's own records.
#include <qor/inspect/describe_file.h>
#include <qor/key_files.h>
#include <qor/profile/user_profile.h>

#include <cstring>

#include "admin.h"

namespace qor::admin {

namespace {

constexpr size_t kMaxPublicKeyFile = 64 * 1024;
constexpr uint32_t kMinEmergencyBits = 1024;
// Attribute 3 holds the key's BER in 255 bytes, attribute 4 its length in one byte.
constexpr size_t kKeyRoom = 255;

}  // namespace

int Prepare(const Args& args) {
    std::string problem = CheckArgs(args, {"--public", "--org", "--out"}, {"--allow-off"}, false);
    if (problem.empty() && !args.Has("--public")) problem = "prepare needs --public KEYFILE.pub";
    if (problem.empty() && !args.Has("--org")) problem = "prepare needs --org NAME";
    if (problem.empty() && !args.Has("--out")) problem = "prepare needs --out FILE";
    if (!problem.empty()) return Fail(kExitUsage, problem + " (try qor-admin --help)");
    const std::string& organisation = args.Get("--org");
    if (!ValidOrganisation(organisation, &problem)) return Fail(kExitUsage, problem);

    const std::string& publicPath = args.Get("--public");
    SecureBuffer file, key;
    if (!ReadSmallFile(publicPath, kMaxPublicKeyFile, file, &problem)) {
        return Fail(kExitKey, problem);
    }
    uint32_t bits = 0;
    const int status = toolkit::ReadPublicKeyFile(file.data(), file.size(), &key, &bits);
    if (status == toolkit::kStatusKeyAlgorithmUnsupported) {
        return Fail(kExitKey, publicPath + " holds a public key, but no RSA key");
    }
    if (status != kStatusOk && status != toolkit::kStatusKeySizeRefused) {
        return Fail(kExitKey, publicPath + " is not a public key file qor-admin reads");
    }
    if (status == toolkit::kStatusKeySizeRefused || key.size() > kKeyRoom) {
        return Fail(kExitKey, "the key in " + publicPath + " has " + std::to_string(bits) +
                                  " bits; a preference file holds keys of up to 1536 bits");
    }
    if (bits < kMinEmergencyBits) {
        return Fail(kExitKey, "the key in " + publicPath + " has " + std::to_string(bits) +
                                  " bits; an emergency key needs at least " +
                                  std::to_string(kMinEmergencyBits));
    }

    profile::UserProfile prepared;
    uint8_t block[kKeyRoom] = {};
    std::memcpy(block, key.data(), key.size());
    const uint8_t length = static_cast<uint8_t>(key.size());
    const uint8_t optional = args.Flag("--allow-off") ? 1 : 0;
    char name[64] = {};
    std::memcpy(name, organisation.data(), organisation.size());
    prepared.SetAttribute(profile::kAttrEmergencyKey, block);
    prepared.SetAttribute(profile::kAttrEmergencyKeyLength, &length);
    prepared.SetAttribute(profile::kAttrEmergencyOptional, &optional);
    prepared.SetAttribute(profile::kAttrOrganisation, name);
    uint8_t image[profile::kProfileFileSize];
    prepared.Serialize(image);
    if (!WriteNewFile(args.Get("--out"), image, sizeof image, 0644, &problem)) {
        return Fail(kExitWrite, problem);
    }
    Say("Preference file: " + args.Get("--out"));
    Say("Organisation: " + organisation);
    Say("Emergency key: " + std::to_string(bits) + "-bit RSA, fingerprint " +
        inspect::Fingerprint(key.data(), key.size()) +
        (optional != 0 ? ", users may switch it off" : ", always on"));
    return kExitOk;
}

}  // namespace qor::admin
