// The user's profile: the in-memory image of the preference file "userpref.!!!", its
// attributes, the derivations that bind it to the password, and the wrapped user key.
//
// The file is 541 bytes: fifteen records, each a tag byte equal to its index followed by the
// attribute's fixed-size value. Attribute 15 authenticates attributes 1 to 14 under the
// password; attribute 2 holds the 10-byte user key wrapped under the password.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace qor::profile {

enum ProfileAttribute : int {
    kAttrUserName = 1,            // 64 bytes, text
    kAttrWrappedKey = 2,          // 16 bytes; all zero while the user is not set up
    kAttrEmergencyKey = 3,        // 255 bytes: the organisation's public key, BER
    kAttrEmergencyKeyLength = 4,  // 1 byte
    kAttrEmergencyOptional = 5,   // 1 byte: the user may switch emergency access off
    kAttrReserved6 = 6,           // 64 bytes, carried unchanged
    kAttrOrganisation = 7,        // 64 bytes, text
    kAttrPasswordCheck = 8,       // 16 bytes: MD5(salt || password)
    kAttrKeepPassword = 9,        // 1 byte: 1 keep the password in memory
    kAttrKeepMinutes = 10,        // 2 bytes, little-endian, 1..999
    kAttrEncryptAtShutdown = 11,  // 1 byte
    kAttrDecryptAtStartup = 12,   // 1 byte
    kAttrSalt = 13,               // 8 bytes, chosen at setup
    kAttrReserved14 = 14,         // 16 bytes, carried unchanged
    kAttrAuthenticator = 15,      // 16 bytes: MD5(attributes 1..14 || password)
};

inline constexpr int kAttributeCount = 15;
inline constexpr size_t kProfileFileSize = 541;
inline constexpr const char* kProfileFileName = "userpref.!!!";
inline constexpr size_t kUserKeySize = 10;
inline constexpr size_t kWrappedKeySize = 16;

// Status codes of the profile's operations.
enum ProfileStatus : int {
    kProfileOk = 0,
    kProfileReadError = 5,
    kProfileDigestFailed = 7,
    kProfileMalformed = 8,
    kProfileUnknownAttribute = 9,
    kProfileCannotOpen = 10,
    kProfileCannotCreate = -1,
};

// Where the profile's value sizes and file offsets come from; the file layout is fixed.
size_t AttributeSizeOf(int index);
// Offset of an attribute's value in the file (after its tag byte).
size_t AttributeFileOffset(int index);

class UserProfile {
  public:
    // Flags cleared, attributes zero, home folder from the registry (or the fallback).
    UserProfile();
    ~UserProfile();
    UserProfile(const UserProfile&) = delete;
    UserProfile& operator=(const UserProfile&) = delete;

    // Copies the attribute's bytes into `out`; with `asText` two lowercase hex digits per byte
    // and a terminator instead. An unknown index copies nothing.
    void GetAttribute(int index, void* out, bool asText) const;
    // Copies exactly the attribute's size from `in` and marks the profile modified.
    void SetAttribute(int index, const void* in);
    // The size and 0, or size 0 and 9 for an unknown index.
    static int AttributeSize(int index, size_t* size);
    // Reading and writing convenience for the small numeric attributes.
    uint8_t ByteAttribute(int index) const;
    uint16_t KeepMinutes() const;
    std::string UserName() const;

    // Reads the file at `path` (empty: the default path). 0, 10 cannot open, 5 read error,
    // 8 malformed. Does nothing and succeeds while the profile is loaded.
    int Read(const std::string& path = {});
    // Writes the file (the password, when given, first renews the authenticator). The file is
    // written beside the old one and renamed over it once complete and on disk, so a failure
    // at any point leaves the old file whole. 0, or -1 after the "cannot open" message.
    int Write(const std::string_view* password, const std::string& path = {});
    int ComputeAuthenticator(std::string_view password);
    // 1 when attribute 15 matches the password, else 0; remembered as `authentic`.
    int CheckAuthenticity(std::string_view password);
    // 0 when MD5(salt || password) equals attribute 8.
    int VerifyPassword(std::string_view password) const;
    // Attribute 8 from the password, then a new authenticator.
    int SetPassword(std::string_view password);
    // Unwraps attribute 2 into `out` (room for 16 bytes); mixes the key into the shared
    // random generator. 0 or the toolkit's status.
    int UnlockUserKey(std::string_view password, uint8_t out[16], uint32_t* length);
    // "NONE", or the 15-character fingerprint of the emergency key. 0 or the digest status.
    int EmergencyFingerprint(char out[33]) const;

    void SetHomeFolder(const std::string& folder) { homeFolder_ = folder; }
    const std::string& HomeFolder() const { return homeFolder_; }
    std::string DefaultPath() const;
    bool FileExists() const;
    // 0 set up (or no file at all), -1 unreadable or no wrapped key.
    int IsSetUp();

    bool loaded() const { return loaded_; }
    bool modified() const { return modified_; }
    bool authentic() const { return authentic_; }
    int lastError() const { return lastError_; }
    // Forgets the loaded state, so the next Read goes to the file again (tests, recovery).
    void Unload() { loaded_ = false; }

    // The 541 bytes of the file as the profile stands (the authenticator as stored).
    void Serialize(uint8_t out[kProfileFileSize]) const;

  private:
    uint8_t* Value(int index);
    const uint8_t* Value(int index) const;

    std::string homeFolder_;
    bool modified_ = false;
    bool loaded_ = false;
    bool authentic_ = false;
    int lastError_ = 0;
    // Attribute values in index order, as in the file without the tags (526 bytes).
    uint8_t values_[kProfileFileSize - kAttributeCount];
};

// The home folder: the registry value UserHomeDir, or `fallback` (for the preference file
// "\qorsecure\user" on the current drive) when it cannot be read.
std::string HomeFolderFromRegistry(const std::string& fallback);

// The process-wide profile.
UserProfile& Profile();

// The fingerprint the user is shown for an emergency-access key given in its BER form (as
// attribute 3 holds it, or as an envelope's public-key recipient carries it): "NONE" when the
// first 128 bytes of the zero-padded attribute are zero, else three groups of three digits.
// 0 or the digest's status.
int EmergencyFingerprintOf(const uint8_t* key, size_t length, char out[33]);

// MD5(salt || password || password): the salt of the password block wrapping the user key.
void WrappingKey(const uint8_t salt[8], std::string_view password, uint8_t out[16]);
// Wraps a 10-byte user key under the password (16 bytes out); unwraps it again. 0 or the
// toolkit's status.
int WrapUserKey(const uint8_t key[kUserKeySize], const uint8_t salt[8], std::string_view password,
                uint8_t out[kWrappedKeySize]);
int UnwrapUserKey(const uint8_t wrapped[kWrappedKeySize], const uint8_t salt[8],
                  std::string_view password, uint8_t out[16], uint32_t* length);

}  // namespace qor::profile
