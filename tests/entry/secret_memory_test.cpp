// No secret is left in the process's memory once an export of the core library has returned:
// after setup, local encryption and decryption, file sharing both ways and a change of password,
// the process's writable memory holds no copy of the password, the one-time password, the user
// key, the file-sharing key or a file's content key.
//
// Each export runs in a process of its own (a death test's child, forked before anything
// secret exists in the test), with a scenario that holds that export's dialogs alone, so that
// the dialog host has typed every value it was given by the time the export returns. The test
// learns the keys the way a user with the password could: the user key from the preference
// file, a content key by opening the file's envelope with it. Its own copies are wiped before
// the scan, and the scanner keeps its patterns masked.
#include <qor/engine/file_share.h>
#include <qor/entry/exports.h>
#include <qor/entry/string_array.h>
#include <qor/platform/files.h>
#include <qor/profile/user_profile.h>
#include <qor/secure_buffer.h>
#include <qor/toolkit.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "envelope_object.h"
#include "file_trailer.h"
#include "kinds.h"
#include "library_test_support.h"
#include "memory_scan.h"

namespace qor::entry::test {
namespace {

using qor::entry::StringArray;

using SelectionCall = int (*)(QorWindow, const QorStringArray*, PasswordHandOver*);
using ShareCall = int (*)(QorWindow, const QorStringArray*, void*);
using WindowCall = int (*)(QorWindow);

// Literals live in read-only memory, which the scan leaves out: only what the product and the
// test copied into writable memory can be found.
constexpr char kPassword[] = "secret1";
constexpr char kNewPassword[] = "secret2";
constexpr char kOneTimePassword[] = "onetime1";

// Exit statuses of a step's process.
constexpr int kClean = 0;
constexpr int kStepFailed = 70;
constexpr int kSecretsFound = 71;

fs::path Root() {
    return fs::temp_directory_path() / "qor-secret-memory-test";
}
fs::path Data() {
    return Root() / "data";
}

void Say(const std::string& text) {
    std::fputs(text.c_str(), stderr);
    std::fputc('\n', stderr);
}

std::vector<uint8_t> FileBytes(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Writes the scenario for this process's dialog host without a stream's buffer, and wipes the
// text: it holds the passwords the dialogs will be given.
bool WriteScenario(const std::vector<const char*>& parts) {
    std::string text;
    text.reserve(4096);  // no reallocation leaves a stale copy behind
    for (const char* part : parts)
        text += part;
    const fs::path file = Root() / "scenario.txt";
    platform::File out = platform::File::Open(file.string(), platform::kAccessWrite,
                                              platform::kShareNone, platform::kCreateAlways);
    const bool written = out.IsOpen() && out.Write(text.data(), static_cast<uint32_t>(text.size()));
    SecureWipe(text.data(), text.size());
    SetEnv("QOR_UI", "script:" + file.string());
    SetEnv("QOR_UI_LOG", (Root() / "transcript.txt").string());
    return written;
}

// The user key, unwrapped from the preference file with the password; empty when it cannot be.
SecureBuffer UserKey(const char* password) {
    profile::UserProfile userProfile;
    userProfile.SetHomeFolder((Root() / "home").string());
    uint8_t key[16];
    uint32_t length = 0;
    SecureBuffer result;
    if (userProfile.Read() == 0 && userProfile.UnlockUserKey(password, key, &length) == 0)
        result.Assign(key, length);
    SecureWipe(key, sizeof key);
    return result;
}

// The file-sharing key of a ".s!!" file: from the one-time password and the trailer's salt.
SecureBuffer ShareKey(const fs::path& file) {
    const std::vector<uint8_t> bytes = FileBytes(file);
    SecureBuffer key(16);
    if (bytes.size() < engine::kShareTrailerSize) return {};
    const uint8_t* salt =
        bytes.data() + bytes.size() - engine::kShareTrailerSize + engine::kTrailerSaltAt;
    uint8_t check[16];
    if (engine::DeriveShareKey(kOneTimePassword, salt, key.data(), check) != 0) return {};
    return key;
}

int ReadMemory(unsigned char* buffer, unsigned int* count, unsigned int maximum, void* context) {
    auto* input = static_cast<std::pair<const uint8_t*, size_t>*>(context);
    const size_t n = std::min<size_t>(maximum, input->second);
    std::memcpy(buffer, input->first, n);
    input->first += n;
    input->second -= n;
    *count = static_cast<unsigned int>(n);
    return n == 0 ? kStreamEnd : 0;
}
int Discard(const unsigned char*, unsigned int, void*) {
    return 0;
}

// The content key of an encrypted file whose password recipient is `secret`, found by opening
// its envelope (the bytes before the trailer); empty when it does not open.
SecureBuffer ContentKey(const fs::path& file, size_t trailerSize, const SecureBuffer& secret) {
    const std::vector<uint8_t> bytes = FileBytes(file);
    if (bytes.size() < trailerSize || secret.empty()) return {};
    std::pair<const uint8_t*, size_t> input(bytes.data(), bytes.size() - trailerSize);
    StreamRecord in{};
    in.read = ReadMemory;
    in.context = &input;
    StreamRecord out{};
    out.write = Discard;
    EnvelopeObject* envelope = nullptr;
    AttributeList* attributes = nullptr;
    SecureBuffer key;
    if (EnvelopeCreate(&envelope) == 0 && AttributeListCreate(&attributes) == 0 &&
        EnvelopeAddPassword(envelope, secret.data(), static_cast<unsigned int>(secret.size()), 1) ==
            0 &&
        EnvelopeOpen(&out, attributes, envelope, &in, nullptr) == 0) {
        const void* block = nullptr;
        if (toolkit::GetKey(toolkit::EnvelopeContentKey(envelope), toolkit::KeyKindByteString(),
                            &block) == 0) {
            const auto* span = static_cast<const toolkit::ByteSpan*>(block);
            key.Assign(span->data, span->length);
        }
    }
    AttributeListDestroy(&attributes);
    EnvelopeDestroy(&envelope);
    return key;
}

// A key the test could not learn would make the scan pass for nothing: it ends the step.
bool gUnknownSecret = false;

void AddSecret(std::vector<MaskedSecret>* secrets, const char* name, const SecureBuffer& bytes) {
    if (bytes.empty()) {
        Say(std::string("cannot learn ") + name);
        gUnknownSecret = true;
        return;
    }
    secrets->emplace_back(name, bytes.data(), bytes.size());
}
void AddPassword(std::vector<MaskedSecret>* secrets, const char* name, const char* password) {
    secrets->emplace_back(name, password, std::strlen(password));
}

// What one export's process does: its scenario, the export, the keys it may have left, the scan.
// Returns the process's exit status and says what went wrong on the error stream.
struct Step {
    std::vector<const char*> scenario;
    // Runs the export with the library's exports; false when it did not do its work.
    bool (*run)(LoadedLibrary& library);
    // Adds the secrets to look for (called before the export when `keysBefore`, else after).
    void (*secrets)(std::vector<MaskedSecret>* secrets);
    bool keysBefore = false;
};

int RunStep(const Step& step) {
    if (!WriteScenario(step.scenario)) {
        Say("cannot write the scenario");
        return kStepFailed;
    }
    std::vector<MaskedSecret> secrets;
    secrets.reserve(16);
    if (step.keysBefore) {
        step.secrets(&secrets);
        BurnDeepStack();
    }
    {
        LoadedLibrary library;
        if (!library.loaded()) {
            Say("cannot load the core library");
            return kStepFailed;
        }
        if (!step.run(library)) {
            Say("the export did not do its work");
            return kStepFailed;
        }
        if (!step.keysBefore) step.secrets(&secrets);
        // Working the keys out left copies in this test's own frames: they are not the
        // product's to answer for.
        BurnDeepStack();
        if (gUnknownSecret) return kStepFailed;

        const ScanResult result = ScanWritableMemory(secrets);
        if (result.bytesScanned < (1u << 16)) {
            Say("the scan read almost nothing");
            return kStepFailed;
        }
        if (!result.findings.empty()) {
            Say(Describe(result, secrets));
            return kSecretsFound;
        }
    }
    return kClean;
}

// The export's process ends with the step's status; the dialog host's transcript tells the
// test's reader what was shown when a step fails.
#define EXPECT_STEP_CLEAN(step)                                                   \
    EXPECT_EXIT(std::_Exit(RunStep(step)), ::testing::ExitedWithCode(kClean), "") \
        << "transcript:\n"                                                        \
        << [] {                                                                   \
               std::string text;                                                  \
               for (const std::string& line : Lines(Root() / "transcript.txt"))   \
                   text += line + "\n";                                           \
               return text;                                                       \
           }()

const std::vector<std::string>& Selection(const char* name) {
    static std::vector<std::string> selection;
    selection = {Data().string(), name};
    return selection;
}

void PasswordAndUserKey(std::vector<MaskedSecret>* secrets) {
    AddPassword(secrets, "the password", kPassword);
    AddSecret(secrets, "the user key", UserKey(kPassword));
}

void LocalFileKeys(std::vector<MaskedSecret>* secrets) {
    PasswordAndUserKey(secrets);
    const SecureBuffer userKey = UserKey(kPassword);
    AddSecret(secrets, "the content key",
              ContentKey(Data() / "report(doc).!!!", engine::kLocalTrailerSize, userKey));
}

void SharedFileKeys(std::vector<MaskedSecret>* secrets) {
    AddPassword(secrets, "the one-time password", kOneTimePassword);
    const fs::path file = Data() / "share(txt).s!!";
    const SecureBuffer shareKey = ShareKey(file);
    AddSecret(secrets, "the file-sharing key", shareKey);
    AddSecret(secrets, "the content key", ContentKey(file, engine::kShareTrailerSize, shareKey));
}

void BothPasswordsAndUserKey(std::vector<MaskedSecret>* secrets) {
    AddPassword(secrets, "the old password", kPassword);
    AddPassword(secrets, "the new password", kNewPassword);
    AddSecret(secrets, "the user key", UserKey(kNewPassword));
}

// The scan sees a copy on the heap and one on the stack, and no longer sees them once wiped; its
// own masked patterns and read buffer are never reported.
TEST(SecretMemory, TheScanFindsPlantedCopiesOnly) {
    const std::vector<MaskedSecret> secrets = {{"planted", "pl4nted-s3cret", 14}};
    ASSERT_TRUE(ScanWritableMemory(secrets).findings.empty());

    auto heap = std::make_unique<char[]>(40);
    char stack[40];
    // Both escape, so that the compiler cannot put off the stores until the wipes.
    char* volatile escapes[] = {heap.get(), stack};
    (void)escapes;
    for (size_t k = 0; k < 14; ++k) {
        heap[5 + k] = "pl4nted-s3cret"[k];
        stack[9 + k] = "pl4nted-s3cret"[k];
    }
    const ScanResult planted = ScanWritableMemory(secrets);
    std::vector<uint64_t> addresses;
    for (const MemoryFinding& finding : planted.findings)
        addresses.push_back(finding.address);
    EXPECT_EQ(addresses.size(), 2u) << Describe(planted, secrets);
    EXPECT_NE(
        std::find(addresses.begin(), addresses.end(), reinterpret_cast<uintptr_t>(heap.get() + 5)),
        addresses.end());
    EXPECT_NE(std::find(addresses.begin(), addresses.end(), reinterpret_cast<uintptr_t>(stack + 9)),
              addresses.end());
    EXPECT_GT(planted.bytesScanned, 1u << 16);

    SecureWipe(heap.get(), 40);
    SecureWipe(stack, sizeof stack);
    EXPECT_TRUE(ScanWritableMemory(secrets).findings.empty());
}

TEST(SecretMemory, NothingIsLeftAfterAnExportReturns) {
    GTEST_FLAG_SET(death_test_style, "fast");
    fs::remove_all(Root());
    PrepareRun(Root(), "");
    fs::create_directories(Data());
    std::ofstream(Data() / "report.doc", std::ios::binary) << std::string(150000, 'r');
    std::ofstream(Data() / "share.txt", std::ios::binary) << "shared text";

    {
        SCOPED_TRACE("setup");
        Step step;
        step.scenario = {
            "dialog \"QOR Vaultis\" -> 1\n",
            "dialog \"Random Seeding\": events=300\n",
            "message \"Done with random seeding.\" -> OK\n",
            "dialog \"QOR Vaultis\": \"Enter your user &name:\"=\"Alice\" \"Enter your user "
            "&password:\"=\"",
            kPassword,
            "\" \"Enter the password again to &confirm it:\"=\"",
            kPassword,
            "\" -> 1\n",
            "dialog \"QOR Vaultis\" -> 2\n",
            "message \"will not be backed up\" -> OK\n",
            "message \"QOR Vaultis setup is now complete.\" -> OK\n",
        };
        step.run = [](LoadedLibrary& library) {
            auto setup = library.Bind<WindowCall>("SetupQORSecure");
            return setup != nullptr && setup(nullptr) == 1;
        };
        step.secrets = PasswordAndUserKey;
        EXPECT_STEP_CLEAN(step);
        ASSERT_TRUE(fs::exists(Root() / "home" / profile::kProfileFileName));
    }
    {
        SCOPED_TRACE("local encryption");
        Step step;
        step.scenario = {"dialog \"Encrypt\": 1022=\"", kPassword, "\" -> 1\n"};
        step.run = [](LoadedLibrary& library) {
            auto encrypt = library.Bind<SelectionCall>("LocalEncrypt");
            PasswordHandOver* none = nullptr;
            return encrypt != nullptr &&
                   encrypt(nullptr, StringArray(Selection("report.doc")).get(), none) == 1 &&
                   fs::exists(Data() / "report(doc).!!!");
        };
        step.secrets = LocalFileKeys;
        EXPECT_STEP_CLEAN(step);
        ASSERT_TRUE(fs::exists(Data() / "report(doc).!!!"));
    }
    {
        SCOPED_TRACE("local decryption");
        Step step;
        step.scenario = {"dialog \"Decrypt\": 1022=\"", kPassword, "\" -> 1\n"};
        step.run = [](LoadedLibrary& library) {
            auto decrypt = library.Bind<SelectionCall>("LocalDecrypt");
            PasswordHandOver* none = nullptr;
            return decrypt != nullptr &&
                   decrypt(nullptr, StringArray(Selection("report(doc).!!!")).get(), none) == 1 &&
                   fs::exists(Data() / "report.doc");
        };
        step.secrets = LocalFileKeys;
        step.keysBefore = true;
        EXPECT_STEP_CLEAN(step);
        ASSERT_TRUE(fs::exists(Data() / "report.doc"));
    }
    {
        SCOPED_TRACE("file-sharing encryption");
        Step step;
        step.scenario = {"dialog \"File Sharing - Encryption\": 1044=\"", kOneTimePassword,
                         "\" 1045=\"", kOneTimePassword, "\" 1049=1 -> 1\n"};
        step.run = [](LoadedLibrary& library) {
            auto encrypt = library.Bind<ShareCall>("FileShareEncrypt");
            return encrypt != nullptr &&
                   encrypt(nullptr, StringArray(Selection("share.txt")).get(), nullptr) == 1 &&
                   fs::exists(Data() / "share(txt).s!!");
        };
        step.secrets = SharedFileKeys;
        EXPECT_STEP_CLEAN(step);
        ASSERT_TRUE(fs::exists(Data() / "share(txt).s!!"));
    }
    {
        SCOPED_TRACE("file-sharing decryption");
        Step step;
        step.scenario = {"dialog \"File Sharing - Decryption\": 1022=\"", kOneTimePassword,
                         "\" 1049=1 -> 1\n"};
        step.run = [](LoadedLibrary& library) {
            auto decrypt = library.Bind<ShareCall>("FileShareDecrypt");
            return decrypt != nullptr &&
                   decrypt(nullptr, StringArray(Selection("share(txt).s!!")).get(), nullptr) == 1 &&
                   fs::exists(Data() / "share.txt");
        };
        step.secrets = SharedFileKeys;
        step.keysBefore = true;
        EXPECT_STEP_CLEAN(step);
        ASSERT_TRUE(fs::exists(Data() / "share.txt"));
    }
    {
        SCOPED_TRACE("change of password");
        Step step;
        step.scenario = {"dialog \"Change Password\": 1301=\"",
                         kPassword,
                         "\" 1302=\"",
                         kNewPassword,
                         "\" 1303=\"",
                         kNewPassword,
                         "\" -> 1\n",
                         "dialog \"QOR Vaultis\" -> 2\n",
                         "message \"will not be backed up\" -> OK\n"};
        step.run = [](LoadedLibrary& library) {
            auto change = library.Bind<WindowCall>("ChangePassword");
            return change != nullptr && change(nullptr) == 0;
        };
        step.secrets = BothPasswordsAndUserKey;
        EXPECT_STEP_CLEAN(step);
    }
    fs::remove_all(Root());
}

}  // namespace
}  // namespace qor::entry::test
