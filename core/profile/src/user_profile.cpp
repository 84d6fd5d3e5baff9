#include <qor/platform/files.h>
#include <qor/platform/registry.h>
#include <qor/profile/shared_random.h>
#include <qor/profile/user_profile.h>
#include <qor/secure_buffer.h>
#include <qor/toolkit.h>

#include <cstdio>
#include <cstring>

#include "profile_messages.h"

namespace qor::profile {

namespace {

constexpr size_t kSizes[kAttributeCount + 1] = {0,  64, 16, 255, 1, 1, 64, 64,
                                                16, 1,  2,  1,   1, 8, 16, 16};
constexpr uint32_t kWrapIterations = 10;
constexpr size_t kValuesSize = kProfileFileSize - kAttributeCount;
constexpr size_t kAuthenticatedSize = kValuesSize - 16;  // attributes 1 to 14

constexpr size_t ValueOffset(int index) {
    size_t offset = 0;
    for (int k = 1; k < index; ++k)
        offset += kSizes[k];
    return offset;
}
static_assert(ValueOffset(kAttributeCount + 1) == kValuesSize);
static_assert(kAuthenticatedSize == 510);

bool Known(int index) {
    return index >= 1 && index <= kAttributeCount;
}

// MD5 over the given pieces; 0 or the toolkit's status.
int Md5Of(std::initializer_list<std::string_view> pieces, uint8_t out[16]) {
    DigestObject* digest = nullptr;
    int status = DigestCreate(&digest, kDigestMd5);
    for (std::string_view piece : pieces) {
        if (status != kStatusOk) break;
        status = DigestUpdate(digest, reinterpret_cast<const unsigned char*>(piece.data()),
                              static_cast<unsigned int>(piece.size()));
    }
    unsigned char* result = nullptr;
    unsigned int length = 0;
    if (status == kStatusOk) status = DigestFinal(&result, &length, digest, nullptr, 0);
    if (status == kStatusOk) std::memcpy(out, result, 16);
    DigestDestroy(&digest);
    return status;
}

std::string_view Bytes(const uint8_t* data, size_t length) {
    return {reinterpret_cast<const char*>(data), length};
}

int RunPasswordBlock(bool decrypt, const uint8_t salt[8], std::string_view password,
                     const uint8_t* in, size_t inLength, uint8_t out[16], uint32_t* outLength) {
    uint8_t wrappingKey[16];
    ScopedWipe wipe(wrappingKey);
    WrappingKey(salt, password, wrappingKey);
    PasswordBlockObject* block = nullptr;
    ByteItem saltItem = {wrappingKey, sizeof wrappingKey};
    int status = PasswordBlockCreate(&block, kPasswordBlockMd5Rc2, kWrapIterations, &saltItem);
    ByteItem data = {const_cast<uint8_t*>(in), static_cast<unsigned int>(inLength)};
    ByteItem secret = {reinterpret_cast<unsigned char*>(const_cast<char*>(password.data())),
                       static_cast<unsigned int>(password.size())};
    ByteItem* result = nullptr;
    if (status == kStatusOk) {
        status = decrypt ? PasswordBlockDecrypt(&result, block, &data, &secret)
                         : PasswordBlockEncrypt(&result, block, &data, &secret);
    }
    if (status == kStatusOk && result->len > 16) status = kStatusOutputTooSmall;
    if (status == kStatusOk) {
        std::memcpy(out, result->data, result->len);
        *outLength = result->len;
    }
    PasswordBlockDestroy(&block);
    return status;
}

std::string JoinPath(const std::string& folder, const char* name) {
    return folder + platform::kSeparator + name;
}

}  // namespace

size_t AttributeSizeOf(int index) {
    return Known(index) ? kSizes[index] : 0;
}

size_t AttributeFileOffset(int index) {
    return Known(index) ? ValueOffset(index) + static_cast<size_t>(index) : 0;
}

void WrappingKey(const uint8_t salt[8], std::string_view password, uint8_t out[16]) {
    Md5Of({Bytes(salt, 8), password, password}, out);
}

int WrapUserKey(const uint8_t key[kUserKeySize], const uint8_t salt[8], std::string_view password,
                uint8_t out[kWrappedKeySize]) {
    uint32_t length = 0;
    uint8_t wrapped[16];
    int status = RunPasswordBlock(false, salt, password, key, kUserKeySize, wrapped, &length);
    if (status == kStatusOk && length != kWrappedKeySize) status = kStatusOutputTooSmall;
    if (status == kStatusOk) std::memcpy(out, wrapped, kWrappedKeySize);
    return status;
}

int UnwrapUserKey(const uint8_t wrapped[kWrappedKeySize], const uint8_t salt[8],
                  std::string_view password, uint8_t out[16], uint32_t* length) {
    return RunPasswordBlock(true, salt, password, wrapped, kWrappedKeySize, out, length);
}

std::string HomeFolderFromRegistry(const std::string& fallback) {
    std::string folder;
    if (platform::RegistryReadString(platform::Hive::kClassesRoot,
                                     "CLSID\\{8e3e0f0a-0fcc-11ce-bcb0-b3fd0e253819}\\QOR",
                                     "UserHomeDir", &folder) &&
        folder.size() < platform::kMaxPath) {
        return folder;
    }
    return fallback;
}

UserProfile::UserProfile() {
    std::memset(values_, 0, sizeof values_);
    const std::string fallback =
        std::string(1, platform::kSeparator) + "qorsecure" + platform::kSeparator + "user";
    homeFolder_ = HomeFolderFromRegistry(fallback);
}

UserProfile::~UserProfile() {
    SecureWipe(values_, sizeof values_);
}

uint8_t* UserProfile::Value(int index) {
    return values_ + ValueOffset(index);
}
const uint8_t* UserProfile::Value(int index) const {
    return values_ + ValueOffset(index);
}

void UserProfile::GetAttribute(int index, void* out, bool asText) const {
    if (!Known(index)) return;
    const uint8_t* value = Value(index);
    if (!asText) {
        std::memcpy(out, value, kSizes[index]);
        return;
    }
    auto* text = static_cast<char*>(out);
    for (size_t k = 0; k < kSizes[index]; ++k)
        std::snprintf(text + 2 * k, 3, "%02x", value[k]);
    text[2 * kSizes[index]] = 0;
}

void UserProfile::SetAttribute(int index, const void* in) {
    modified_ = true;
    if (Known(index)) std::memcpy(Value(index), in, kSizes[index]);
}

int UserProfile::AttributeSize(int index, size_t* size) {
    *size = AttributeSizeOf(index);
    return Known(index) ? kProfileOk : kProfileUnknownAttribute;
}

uint8_t UserProfile::ByteAttribute(int index) const {
    return Known(index) ? Value(index)[0] : 0;
}

uint16_t UserProfile::KeepMinutes() const {
    const uint8_t* v = Value(kAttrKeepMinutes);
    return static_cast<uint16_t>(v[0] | v[1] << 8);
}

std::string UserProfile::UserName() const {
    const char* text = reinterpret_cast<const char*>(Value(kAttrUserName));
    return std::string(text, strnlen(text, kSizes[kAttrUserName]));
}

std::string UserProfile::DefaultPath() const {
    return JoinPath(homeFolder_, kProfileFileName);
}

bool UserProfile::FileExists() const {
    return platform::Exists(DefaultPath());
}

void UserProfile::Serialize(uint8_t out[kProfileFileSize]) const {
    size_t at = 0;
    for (int index = 1; index <= kAttributeCount; ++index) {
        out[at++] = static_cast<uint8_t>(index);
        std::memcpy(out + at, Value(index), kSizes[index]);
        at += kSizes[index];
    }
}

int UserProfile::Read(const std::string& path) {
    if (loaded_) return kProfileOk;
    platform::File file =
        platform::File::Open(path.empty() ? DefaultPath() : path, platform::kAccessRead,
                             platform::kShareRead, platform::kOpenExisting);
    if (!file.IsOpen()) return kProfileCannotOpen;
    // One read of the whole record set: bytes beyond the 541 are ignored.
    uint8_t image[kProfileFileSize];
    ScopedWipe wipe(image);
    size_t have = 0;
    while (have < sizeof image) {
        uint32_t got = 0;
        if (!file.Read(image + have, static_cast<uint32_t>(sizeof image - have), &got)) {
            return kProfileReadError;
        }
        if (got == 0) break;
        have += got;
    }
    size_t at = 0;
    for (int index = 1; index <= kAttributeCount; ++index) {
        if (at >= have || image[at] != index) return kProfileMalformed;
        ++at;
        if (have - at < kSizes[index]) return kProfileMalformed;
        SetAttribute(index, image + at);
        at += kSizes[index];
    }
    loaded_ = true;
    modified_ = false;
    return kProfileOk;
}

int UserProfile::Write(const std::string_view* password, const std::string& path) {
    const std::string target = path.empty() ? DefaultPath() : path;
    if (password != nullptr) ComputeAuthenticator(*password);
    uint8_t image[kProfileFileSize];
    ScopedWipe wipe(image);
    Serialize(image);

    // A short or failed write must never cost the user the only copy of the wrapped key, so
    // the new file is completed and flushed under a temporary name first.
    const std::string temporary = target + ".new";
    platform::DeleteFile(temporary);
    platform::File file = platform::File::Open(temporary, platform::kAccessWrite,
                                               platform::kShareNone, platform::kCreateAlways);
    bool ok = file.IsOpen() && file.Write(image, sizeof image) && file.Flush();
    file.Close();
    ok = ok && platform::ReplaceFile(temporary, target);
    if (!ok) {
        platform::DeleteFile(temporary);
        ReportCannotOpenProfile();
        return kProfileCannotCreate;
    }
    const size_t cut = target.find_last_of(platform::kSeparator);
    if (cut != std::string::npos) platform::FlushFolder(target.substr(0, cut));
    authentic_ = true;
    modified_ = false;
    return kProfileOk;
}

int UserProfile::ComputeAuthenticator(std::string_view password) {
    uint8_t digest[16];
    int status = Md5Of({Bytes(values_, kAuthenticatedSize), password}, digest);
    if (status != kStatusOk) {
        lastError_ = kProfileDigestFailed;
        return kProfileDigestFailed;
    }
    SetAttribute(kAttrAuthenticator, digest);
    return kProfileOk;
}

int UserProfile::CheckAuthenticity(std::string_view password) {
    uint8_t digest[16];
    int status = Md5Of({Bytes(values_, kAuthenticatedSize), password}, digest);
    authentic_ =
        status == kStatusOk && std::memcmp(digest, Value(kAttrAuthenticator), sizeof digest) == 0;
    return authentic_ ? 1 : 0;
}

int UserProfile::VerifyPassword(std::string_view password) const {
    uint8_t digest[16];
    ScopedWipe wipe(digest);
    if (Md5Of({Bytes(Value(kAttrSalt), 8), password}, digest) != kStatusOk) return 1;
    return std::memcmp(digest, Value(kAttrPasswordCheck), sizeof digest) == 0 ? 0 : 1;
}

int UserProfile::SetPassword(std::string_view password) {
    uint8_t digest[16];
    int status = Md5Of({Bytes(Value(kAttrSalt), 8), password}, digest);
    if (status != kStatusOk) return status;
    SetAttribute(kAttrPasswordCheck, digest);
    return ComputeAuthenticator(password);
}

int UserProfile::UnlockUserKey(std::string_view password, uint8_t out[16], uint32_t* length) {
    int status = UnwrapUserKey(Value(kAttrWrappedKey), Value(kAttrSalt), password, out, length);
    if (status == kStatusOk) {
        MixSecretIntoSharedRandom(out, *length < kUserKeySize ? *length : kUserKeySize);
    }
    return status;
}

int UserProfile::EmergencyFingerprint(char out[33]) const {
    return EmergencyFingerprintOf(Value(kAttrEmergencyKey), kSizes[kAttrEmergencyKey], out);
}

int EmergencyFingerprintOf(const uint8_t* key, size_t length, char out[33]) {
    // The key as the attribute holds it: zero-padded to its full size.
    uint8_t block[255] = {};
    std::memcpy(block, key, length < sizeof block ? length : sizeof block);
    bool empty = true;
    for (size_t k = 0; k < 128; ++k)
        empty = empty && block[k] == 0;
    if (empty) {
        std::memcpy(out, "NONE", 5);
        return kProfileOk;
    }
    uint8_t digest[16];
    const std::string_view d = Bytes(block, 126);
    int status = Md5Of({d, d}, digest);
    if (status != kStatusOk) return status;
    char hex[33];
    for (int k = 0; k < 16; ++k)
        std::snprintf(hex + 2 * k, 3, "%02x", digest[k]);
    // Digits 1-3, 7-9 and 13-15, letters a..f shown as 0..5, so the text reads as numbers.
    const int starts[3] = {0, 6, 12};
    size_t at = 0;
    for (int g = 0; g < 3; ++g) {
        if (g != 0) {
            std::memcpy(out + at, " - ", 3);
            at += 3;
        }
        for (int k = 0; k < 3; ++k) {
            char c = hex[starts[g] + k];
            out[at++] = c >= 'a' ? static_cast<char>('0' + (c - 'a')) : c;
        }
    }
    out[at] = 0;
    return kProfileOk;
}

int UserProfile::IsSetUp() {
    if (!FileExists()) return 0;
    if (Read() != kProfileOk) return -1;
    const uint8_t* wrapped = Value(kAttrWrappedKey);
    for (size_t k = 0; k < kWrappedKeySize; ++k) {
        if (wrapped[k] != 0) return 0;
    }
    return -1;
}

UserProfile& Profile() {
    static UserProfile profile;
    return profile;
}

}  // namespace qor::profile
