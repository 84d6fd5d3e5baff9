// The preference file "userpref.!!!" as the profile reads it, from a home folder or a backup
// diskette that anyone may have written: the record reader, then everything the product derives
// from a loaded file before and after the password is typed (the texts shown, the
// emergency-access fingerprint, the authenticator and password checks, the unwrapping of the
// user key, the emergency key handed to the envelope). A file the reader accepts must be written
// back byte for byte as it was read.
#include <qor/profile/user_profile.h>
#include <qor/toolkit.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "fuzz_password.h"

namespace {

using namespace qor::profile;

// One scratch file per fuzzing process, rewritten for every input and removed at exit.
const std::string& ScratchPath() {
    static const struct Scratch {
        std::string path;
        Scratch() {
            std::random_device random;
            path = (std::filesystem::temp_directory_path() /
                    ("qor-profile-fuzz-" + std::to_string(random())))
                       .string();
        }
        ~Scratch() {
            std::error_code ignored;
            std::filesystem::remove(path, ignored);
        }
    } scratch;
    return scratch.path;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // The profile asks the registry for the home folder; an empty registry keeps it away from
    // the user's own.
    setenv("QOR_REGISTRY", (ScratchPath() + ".reg").c_str(), 1);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    {
        std::ofstream out(ScratchPath(), std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    UserProfile profile;
    const int status = profile.Read(ScratchPath());
    if (status != kProfileOk) {
        if (status != kProfileMalformed) std::abort();
        return 0;
    }
    uint8_t image[kProfileFileSize];
    profile.Serialize(image);
    if (size < kProfileFileSize || std::memcmp(image, data, kProfileFileSize) != 0) std::abort();

    char text[2 * 255 + 1];
    for (int index = 1; index <= kAttributeCount; ++index) {
        profile.GetAttribute(index, text, true);
        if (std::strlen(text) != 2 * AttributeSizeOf(index)) std::abort();
    }
    if (profile.UserName().size() > AttributeSizeOf(kAttrUserName)) std::abort();
    (void)profile.KeepMinutes();
    char fingerprint[33];
    profile.EmergencyFingerprint(fingerprint);
    if (std::strlen(fingerprint) >= sizeof fingerprint) std::abort();

    const std::string_view password(reinterpret_cast<const char*>(kFuzzPassword),
                                    kFuzzPasswordLength);
    profile.CheckAuthenticity(password);
    profile.VerifyPassword(password);
    uint8_t key[16];
    uint32_t keyLength = 0;
    if (profile.UnlockUserKey(password, key, &keyLength) == kStatusOk && keyLength > sizeof key)
        std::abort();

    // The emergency-access block goes to the envelope as a public key of the stated length.
    uint8_t emergency[255];
    profile.GetAttribute(kAttrEmergencyKey, emergency, false);
    const uint8_t emergencyLength = profile.ByteAttribute(kAttrEmergencyKeyLength);
    EnvelopeObject* envelope = nullptr;
    if (EnvelopeCreate(&envelope) == kStatusOk) {
        EnvelopeAddPublicKey(envelope, emergency, emergencyLength);
        EnvelopeDestroy(&envelope);
    }
    return 0;
}
