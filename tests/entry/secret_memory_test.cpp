// No secret is left in the process's memory once an export of the core library has returned:
// after setup, local encryption and decryption, file sharing both ways, the opening of one file
// by a double-click, a change of password, the AutoCrypt list's reading and update and the
// AutoCrypt runs, the process's writable memory holds no copy of the password, the one-time
// password, the user key, the file-sharing key or a file's (or the list's) content key. A kept
// password is in the shared block and nowhere else while it is kept, and nowhere once forgotten.
//
// Each process of the test (a death test's child, forked before anything secret exists in the
// test) runs one export or a program's sequence of them, with a scenario that holds those
// exports' dialogs alone, so that the dialog host has typed every value it was given by the time
// the export returns. The test learns the keys the way a user with the password could: the user
// key from the preference file, a content key by opening the file's envelope with it. Its own
// copies are wiped before the scan, and the scanner keeps its patterns masked.
#include <qor/engine/file_share.h>
#include <qor/entry/exports.h>
#include <qor/entry/string_array.h>
#include <qor/platform/files.h>
#include <qor/platform/shared_block.h>
#include <qor/platform/system.h>
#include <qor/profile/password_hand_over.h>
#include <qor/profile/user_profile.h>
#include <qor/secure_buffer.h>
#include <qor/shell/shell_object.h>
#include <qor/toolkit.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
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
using OpenCall = int (*)(QorWindow, const char*, char*, PasswordHandOver*);
using EntryCall = int (*)(QorWindow, char*, PasswordHandOver*);
using UpdateCall = int (*)(QorWindow, const QorStringArray*, int, int, PasswordHandOver*);
using RunCall = int (*)(QorWindow, PasswordHandOver*);
using ShellOpenCall = int (*)(void*, const char*, char*);
using ShellCreateCall = QorShellObject* (*)();
using ShellInitializeCall = int (*)(QorShellObject*, const char* const*, unsigned);
using ShellInvokeCall = int (*)(QorShellObject*, void*, unsigned);
using ShellReleaseCall = void (*)(QorShellObject*);

constexpr char kShellLibrary[] = "libqorshell.so";
// The shell's command offsets (its context menu's order).
constexpr unsigned kShellEncrypt = 2;
constexpr unsigned kShellClearPassword = 9;
// Each run's own key and shared object, apart from other tests of the shared block.
constexpr char kSharedTag[] = "secret-memory-test";
// The shared object's mapping, as /proc/self/maps names it: the block's home without a keyring.
constexpr char kSharedObject[] = "/dev/shm/qor-shared-";

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
fs::path Home() {
    return Root() / "home";
}

// The block the test passes to the exports as their caller: the caller's own memory, where the
// password is by contract while the caller keeps it (the list's reader puts it there for the
// later update). The scans leave it out; it is zero in every step's process when it starts.
qor::PasswordHandOver gCaller{};

// A library loaded by name for one step's process, its exports bound by name.
class Library {
  public:
    explicit Library(const char* name) : handle_(platform::LoadLibrary(name)) {
        // This program binds its own calls lazily: the first look-up of an export would bind
        // the look-up itself, and the dynamic linker saves the vector registers on the stack
        // while it does, with whatever the test last copied through them (a block it aged). Done
        // here, before anything secret, that save holds nothing.
        if (handle_ != nullptr) (void)platform::LibrarySymbol(handle_, "no such export");
    }
    ~Library() {
        if (handle_ != nullptr) platform::FreeLibrary(handle_);
    }
    Library(const Library&) = delete;
    Library& operator=(const Library&) = delete;

    bool loaded() const { return handle_ != nullptr; }
    template <typename Function>
    Function Bind(const char* name) const {
        void* symbol = platform::LibrarySymbol(handle_, name);
        if (symbol == nullptr) std::fprintf(stderr, "no export %s\n", name);
        return reinterpret_cast<Function>(symbol);
    }

  private:
    platform::LibraryHandle handle_;
};

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

void AddSecret(std::vector<MaskedSecret>* secrets, const std::string& name,
               const SecureBuffer& bytes) {
    if (bytes.empty()) {
        Say("cannot learn " + name);
        gUnknownSecret = true;
        return;
    }
    secrets->emplace_back(name, bytes.data(), bytes.size());
}
void AddPassword(std::vector<MaskedSecret>* secrets, const char* name, const char* password) {
    secrets->emplace_back(name, password, std::strlen(password));
}

// What one process does: its scenario, then each call in turn (the library loaded once, as a
// program keeps it for one command), and after each call a scan for the secrets learned so far.
struct Call {
    const char* what;
    // Adds the secrets the call must not leave: `before` learns them before the call (what it
    // will destroy: the keys of a file it decrypts), `after` once it has returned (the keys it
    // made). Either may be empty.
    std::function<void(std::vector<MaskedSecret>*)> before;
    // Calls the export(s) and nothing else: false when one answered otherwise than it should.
    std::function<bool(const Library&)> run;
    std::function<void(std::vector<MaskedSecret>*)> after;
    // Whether the call did its work (its files, the shared block), looked at after the scans:
    // the looking's own frames would cover what the product left in the stack.
    std::function<bool()> done;
    // Copies of the password that may remain outside the caller's block: an AutoCrypt list open
    // between exports needs the password to encrypt itself again when it is closed.
    size_t passwordCopiesWhileOpen = 0;
};

struct Step {
    std::vector<const char*> scenario;
    std::vector<Call> calls;
    // The library the calls bind: the core, or the shell library that a program of the
    // product goes through (it loads the core for each command and hands over the shared block).
    const char* library = kLibrary;
    // The scan's exceptions: the block's own shared mapping while a password is kept there.
    std::string keptIn;
    // A line of the scenario not yet answered is the dialog host's copy of what the user is
    // still to type: the calls after the first dialog's show none of their own.
};

// Runs `work` 96 KiB below the caller's frame. What it leaves in its frames lies deeper than the
// scan's frames and the working out of keys (burnt with 64 KiB) reach afterwards: the scan sees
// the stack as the product left it.
template <typename Work>
[[gnu::noinline]] bool RunBelow(Work&& work) {
    volatile char gap[96 * 1024];
    gap[0] = 0;
    const bool result = work();
    gap[sizeof gap - 1] = 0;
    return result;
}

// Scans for `secrets` after `what`: the step's status, the copies found said on the error stream.
int Check(const char* what, const std::vector<MaskedSecret>& secrets, const ScanOptions& options,
          size_t passwordCopiesWhileOpen) {
    const ScanResult result = ScanWritableMemory(secrets, options);
    if (result.bytesScanned < (1u << 16)) {
        Say("the scan read almost nothing");
        return kStepFailed;
    }
    ScanResult left = result;
    const auto isPassword = [](const MemoryFinding& f) { return f.secret == "the password"; };
    if (static_cast<size_t>(std::count_if(result.findings.begin(), result.findings.end(),
                                          isPassword)) <= passwordCopiesWhileOpen)
        std::erase_if(left.findings, isPassword);
    if (left.findings.empty()) return kClean;
    Say(std::string("after ") + what + ":\n" + Describe(left, secrets));
    return kSecretsFound;
}

int RunStep(const Step& step) {
    if (!WriteScenario(step.scenario)) {
        Say("cannot write the scenario");
        return kStepFailed;
    }
    std::vector<MaskedSecret> secrets;
    secrets.reserve(32);
    const Library library(step.library);
    if (!library.loaded()) {
        Say(std::string("cannot load ") + step.library);
        return kStepFailed;
    }
    ScanOptions options;
    options.allowed.emplace_back(reinterpret_cast<uintptr_t>(&gCaller),
                                 reinterpret_cast<uintptr_t>(&gCaller + 1));
    options.shared = true;
    options.sharedExcept = step.keptIn;
    for (const Call& call : step.calls) {
        if (call.before) call.before(&secrets);
        // Working the keys out left copies in this test's own frames: they are not the
        // product's to answer for.
        BurnDeepStack();
        if (gUnknownSecret) return kStepFailed;
        if (!RunBelow([&] { return call.run(library); })) {
            Say(std::string(call.what) + ": the export's answer was wrong");
            return kStepFailed;
        }
        // First before the keys the call made are worked out, which leaves copies of its own.
        int status = Check(call.what, secrets, options, call.passwordCopiesWhileOpen);
        if (status != kClean) return status;
        if (call.after) {
            call.after(&secrets);
            BurnDeepStack();
            if (gUnknownSecret) return kStepFailed;
            status = Check(call.what, secrets, options, call.passwordCopiesWhileOpen);
            if (status != kClean) return status;
        }
        if (call.done && !call.done()) {
            Say(std::string(call.what) + ": the export did not do its work");
            return kStepFailed;
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

const std::vector<std::string>& Selection(std::initializer_list<const char*> names) {
    static std::vector<std::string> selection;
    selection = {Data().string()};
    for (const char* name : names)
        selection.emplace_back(name);
    return selection;
}

void PasswordAndUserKey(std::vector<MaskedSecret>* secrets) {
    AddPassword(secrets, "the password", kPassword);
    AddSecret(secrets, "the user key", UserKey(kPassword));
}

// The content key of a file encrypted under the user's key, named after the file.
void LocalContentKey(std::vector<MaskedSecret>* secrets, const fs::path& file,
                     const std::string& when = "") {
    const SecureBuffer userKey = UserKey(kPassword);
    AddSecret(secrets, "the content key of " + file.filename().string() + when,
              ContentKey(file, engine::kLocalTrailerSize, userKey));
}

void ReportKey(std::vector<MaskedSecret>* secrets) {
    LocalContentKey(secrets, Data() / "report(doc).!!!");
}

void LocalFileKeys(std::vector<MaskedSecret>* secrets) {
    PasswordAndUserKey(secrets);
    ReportKey(secrets);
}

void SharedFileKeys(std::vector<MaskedSecret>* secrets, const char* name) {
    const fs::path file = Data() / name;
    const SecureBuffer shareKey = ShareKey(file);
    AddSecret(secrets, std::string("the file-sharing key of ") + name, shareKey);
    AddSecret(secrets, std::string("the content key of ") + name,
              ContentKey(file, engine::kShareTrailerSize, shareKey));
}

void OneTimePassword(std::vector<MaskedSecret>* secrets) {
    AddPassword(secrets, "the one-time password", kOneTimePassword);
}

void BothSharedFilesKeys(std::vector<MaskedSecret>* secrets) {
    SharedFileKeys(secrets, "share(txt).s!!");
    SharedFileKeys(secrets, "note(txt).s!!");
}

void OneTimePasswordAndKeys(std::vector<MaskedSecret>* secrets) {
    OneTimePassword(secrets);
    BothSharedFilesKeys(secrets);
}

void BothPasswordsAndUserKey(std::vector<MaskedSecret>* secrets) {
    AddPassword(secrets, "the old password", kPassword);
    AddPassword(secrets, "the new password", kNewPassword);
    // Unwrapped with the old password: the change wraps the same key anew.
    AddSecret(secrets, "the user key", UserKey(kPassword));
}

// A process with one call, the secrets learned before or after it.
Step OneCall(std::vector<const char*> scenario, const char* what,
             std::function<bool(const Library&)> run, std::function<bool()> done,
             std::function<void(std::vector<MaskedSecret>*)> before,
             std::function<void(std::vector<MaskedSecret>*)> after = nullptr) {
    Step step;
    step.scenario = std::move(scenario);
    step.calls.push_back(
        {what, std::move(before), std::move(run), std::move(after), std::move(done)});
    return step;
}

// Setup through its dialogs, leaving the preference file and the empty encrypted list.
Step SetupStep() {
    return OneCall(
        {
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
        },
        "setup",
        [](const Library& library) {
            auto setup = library.Bind<WindowCall>("SetupQORSecure");
            return setup != nullptr && setup(nullptr) == 1;
        },
        [] { return fs::exists(Home() / "autocryp.!!!"); },
        [](std::vector<MaskedSecret>* secrets) { AddPassword(secrets, "the password", kPassword); },
        [](std::vector<MaskedSecret>* secrets) {
            AddSecret(secrets, "the user key", UserKey(kPassword));
        });
}

// Calls one of the core's selection exports with the selection and the caller's block given.
bool CallSelection(const Library& library, const char* name,
                   const std::vector<std::string>& selection, PasswordHandOver* handOver) {
    auto call = library.Bind<SelectionCall>(name);
    return call != nullptr && call(nullptr, StringArray(selection).get(), handOver) == 1;
}

// The double-click's export on `file`: true when it answered 0 and named `decrypted`.
bool CallOpen(const Library& library, const fs::path& file, const fs::path& decrypted) {
    auto open = library.Bind<OpenCall>("AssociateDecrypt");
    char opened[260] = {};
    return open != nullptr && open(nullptr, file.string().c_str(), opened, &gCaller) == 0 &&
           fs::path(opened) == decrypted;
}

// A fresh root with the user set up, for a test of its own.
void PrepareSetUpUser() {
    fs::remove_all(Root());
    PrepareRun(Root(), "");
    fs::create_directories(Data());
    {
        SCOPED_TRACE("setup");
        EXPECT_STEP_CLEAN(SetupStep());
    }
    ASSERT_TRUE(fs::exists(Home() / profile::kProfileFileName));
    ASSERT_TRUE(fs::exists(Home() / "autocryp.!!!"));
}

[[gnu::noinline]] void LeaveInFrame(const char* text, size_t length) {
    volatile char frame[64] = {};
    for (size_t k = 0; k < length && k + 8 < sizeof frame; ++k)
        frame[8 + k] = text[k];
}

// The scan sees a copy on the heap and one on the stack, and no longer sees them once wiped; its
// own masked patterns and read buffer are never reported, nor a copy in a range it is told to
// allow.
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

    ScanOptions heapAllowed;
    heapAllowed.allowed.emplace_back(reinterpret_cast<uintptr_t>(heap.get()),
                                     reinterpret_cast<uintptr_t>(heap.get() + 40));
    const ScanResult outside = ScanWritableMemory(secrets, heapAllowed);
    ASSERT_EQ(outside.findings.size(), 1u) << Describe(outside, secrets);
    EXPECT_EQ(outside.findings[0].address, reinterpret_cast<uintptr_t>(stack + 9));

    SecureWipe(heap.get(), 40);
    SecureWipe(stack, sizeof stack);
    EXPECT_TRUE(ScanWritableMemory(secrets).findings.empty());

    // A frame that has returned keeps what it held until something else runs there: the scan
    // sees it below the gap the steps leave, and the stack burnt that deep no longer holds it.
    ASSERT_TRUE(RunBelow([] {
        LeaveInFrame("pl4nted-s3cret", 14);
        return true;
    }));
    ScanResult left = ScanWritableMemory(secrets);
    ASSERT_EQ(left.findings.size(), 1u) << Describe(left, secrets);
    EXPECT_NE(left.findings[0].mapping.find("[stack]"), std::string::npos)
        << left.findings[0].mapping;
#if defined(__SANITIZE_ADDRESS__)
    // The sanitizer puts guard zones around every frame's arrays: the burn's scratch array need
    // not cover where another function's frame lay, so the burn's reach is shown without it.
    GTEST_SKIP() << "frames are laid out with guard zones under the address sanitizer";
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
    GTEST_SKIP() << "frames are laid out with guard zones under the address sanitizer";
#endif
#endif
    ASSERT_TRUE(RunBelow([] {
        BurnDeepStack();
        return true;
    }));
    left = ScanWritableMemory(secrets);
    EXPECT_TRUE(left.findings.empty()) << Describe(left, secrets);
}

TEST(SecretMemory, NothingIsLeftAfterAnExportReturns) {
    GTEST_FLAG_SET(death_test_style, "fast");
    PrepareSetUpUser();
    std::ofstream(Data() / "report.doc", std::ios::binary) << std::string(150000, 'r');
    std::ofstream(Data() / "share.txt", std::ios::binary) << "shared text";
    std::ofstream(Data() / "note.txt", std::ios::binary) << "opened with a double-click";

    {
        SCOPED_TRACE("local encryption");
        EXPECT_STEP_CLEAN(OneCall(
            {"dialog \"Encrypt\": 1022=\"", kPassword, "\" -> 1\n"}, "LocalEncrypt",
            [](const Library& library) {
                return CallSelection(library, "LocalEncrypt", Selection({"report.doc"}), nullptr);
            },
            [] { return fs::exists(Data() / "report(doc).!!!"); }, PasswordAndUserKey, ReportKey));
        ASSERT_TRUE(fs::exists(Data() / "report(doc).!!!"));
    }
    {
        SCOPED_TRACE("local decryption");
        EXPECT_STEP_CLEAN(OneCall(
            {"dialog \"Decrypt\": 1022=\"", kPassword, "\" -> 1\n"}, "LocalDecrypt",
            [](const Library& library) {
                return CallSelection(library, "LocalDecrypt", Selection({"report(doc).!!!"}),
                                     nullptr);
            },
            [] { return fs::exists(Data() / "report.doc"); }, LocalFileKeys));
        ASSERT_TRUE(fs::exists(Data() / "report.doc"));
    }
    {
        SCOPED_TRACE("file-sharing encryption");
        EXPECT_STEP_CLEAN(OneCall(
            {"dialog \"File Sharing - Encryption\": 1044=\"", kOneTimePassword, "\" 1045=\"",
             kOneTimePassword, "\" 1049=1 -> 1\n"},
            "FileShareEncrypt",
            [](const Library& library) {
                auto encrypt = library.Bind<ShareCall>("FileShareEncrypt");
                return encrypt != nullptr &&
                       encrypt(nullptr, StringArray(Selection({"share.txt", "note.txt"})).get(),
                               nullptr) == 1;
            },
            [] {
                return fs::exists(Data() / "share(txt).s!!") &&
                       fs::exists(Data() / "note(txt).s!!");
            },
            OneTimePassword, BothSharedFilesKeys));
        ASSERT_TRUE(fs::exists(Data() / "share(txt).s!!"));
    }
    {
        SCOPED_TRACE("file-sharing decryption");
        EXPECT_STEP_CLEAN(OneCall(
            {"dialog \"File Sharing - Decryption\": 1022=\"", kOneTimePassword, "\" 1049=1 -> 1\n"},
            "FileShareDecrypt",
            [](const Library& library) {
                auto decrypt = library.Bind<ShareCall>("FileShareDecrypt");
                return decrypt != nullptr &&
                       decrypt(nullptr, StringArray(Selection({"share(txt).s!!"})).get(),
                               nullptr) == 1;
            },
            [] { return fs::exists(Data() / "share.txt"); }, OneTimePasswordAndKeys));
        ASSERT_TRUE(fs::exists(Data() / "share.txt"));
    }
    {
        SCOPED_TRACE("a shared file opened with a double-click");
        EXPECT_STEP_CLEAN(OneCall(
            {"dialog \"Password\": 1014=\"", kOneTimePassword, "\" -> 1\n"}, "AssociateDecrypt",
            [](const Library& library) {
                return CallOpen(library, Data() / "note(txt).s!!", Data() / "note.txt");
            },
            [] { return fs::exists(Data() / "note.txt"); },
            [](std::vector<MaskedSecret>* secrets) {
                OneTimePassword(secrets);
                SharedFileKeys(secrets, "note(txt).s!!");
            }));
        ASSERT_TRUE(fs::exists(Data() / "note.txt"));
    }
    {
        SCOPED_TRACE("change of password");
        EXPECT_STEP_CLEAN(OneCall(
            {"dialog \"Change Password\": 1301=\"", kPassword, "\" 1302=\"", kNewPassword,
             "\" 1303=\"", kNewPassword, "\" -> 1\n", "dialog \"QOR Vaultis\" -> 2\n",
             "message \"will not be backed up\" -> OK\n"},
            "ChangePassword",
            [](const Library& library) {
                auto change = library.Bind<WindowCall>("ChangePassword");
                return change != nullptr && change(nullptr) == 0;
            },
            nullptr, BothPasswordsAndUserKey));
    }
    fs::remove_all(Root());
}

// The list's own content key: a fresh one each time the list is encrypted again.
std::function<void(std::vector<MaskedSecret>*)> ListKey(const char* when) {
    return [when](std::vector<MaskedSecret>* secrets) {
        LocalContentKey(secrets, Home() / "autocryp.!!!", std::string(" ") + when);
    };
}

// The files the AutoCrypt runs encrypt, with the keys of their encrypted forms.
void RunFileKeys(std::vector<MaskedSecret>* secrets) {
    LocalContentKey(secrets, Data() / "one(txt).!!!");
    LocalContentKey(secrets, Data() / "docs" / "a(txt).!!!");
}

void PasswordAndRunFileKeys(std::vector<MaskedSecret>* secrets) {
    PasswordAndUserKey(secrets);
    RunFileKeys(secrets);
}

std::string FolderEntry() {
    return (Data() / "docs").string() + platform::kSeparator + "*.*";
}

const std::vector<std::string>& ListEntries() {
    static std::vector<std::string> entries;
    entries = {(Data() / "one.txt").string(), FolderEntry()};
    return entries;
}

void OneKey(std::vector<MaskedSecret>* secrets) {
    LocalContentKey(secrets, Data() / "one(txt).!!!");
}

void OpenedFileKeys(std::vector<MaskedSecret>* secrets) {
    PasswordAndUserKey(secrets);
    OneKey(secrets);
}

bool Encrypted() {
    return fs::exists(Data() / "one(txt).!!!") && fs::exists(Data() / "docs" / "a(txt).!!!") &&
           !fs::exists(Data() / "one.txt") && !fs::exists(Data() / "docs" / "a.txt");
}
bool Decrypted() {
    return fs::exists(Data() / "one.txt") && fs::exists(Data() / "docs" / "a.txt") &&
           !fs::exists(Data() / "one(txt).!!!") && !fs::exists(Data() / "docs" / "a(txt).!!!");
}

// The AutoCrypt list read, changed and read again as its editor does in one process (the
// caller's block carries the list's password from the reader to the update), the runs on
// demand, and the shut-down and log-on runs over the list. The plain list exists only while a
// reader has it open; nothing of the password, the user key, the list's key or the files' keys
// remains once the list is closed.
TEST(SecretMemory, NothingIsLeftAfterTheAutoCryptExports) {
    GTEST_FLAG_SET(death_test_style, "fast");
    PrepareSetUpUser();
    std::ofstream(Data() / "one.txt", std::ios::binary) << std::string(70000, '1');
    fs::create_directories(Data() / "docs");
    std::ofstream(Data() / "docs" / "a.txt", std::ios::binary) << "in the folder";
    const fs::path plainList = Home() / "autocryp.lst";

    {
        SCOPED_TRACE("the list read, updated and read again");
        Step step;
        step.scenario = {"dialog \"Password\": 1022=\"", kPassword, "\" -> 1\n"};
        static char entry[260];
        static std::vector<std::string> read;
        step.calls.push_back({"AutoCryptGetFirst",
                              [](std::vector<MaskedSecret>* secrets) {
                                  PasswordAndUserKey(secrets);
                                  ListKey("as setup left it")(secrets);
                              },
                              [](const Library& library) {
                                  auto first = library.Bind<EntryCall>("AutoCryptGetFirst");
                                  return first != nullptr && first(nullptr, entry, &gCaller) == 0;
                              },
                              nullptr,
                              [] {
                                  // The list setup left holds nothing; the block holds the password
                                  // for the update, and the plain list waits for the next reads.
                                  return entry[0] == '\0' &&
                                         std::strcmp(gCaller.password, kPassword) == 0 &&
                                         fs::exists(Home() / "autocryp.lst");
                              },
                              1});
        step.calls.push_back({"AutoCryptGetNext to the end", nullptr,
                              [](const Library& library) {
                                  auto next = library.Bind<EntryCall>("AutoCryptGetNext");
                                  return next != nullptr && next(nullptr, entry, nullptr) == -1;
                              },
                              ListKey("after reading"),
                              [] { return !fs::exists(Home() / "autocryp.lst"); }});
        step.calls.push_back(
            {"UpdateAutocryptList", nullptr,
             [](const Library& library) {
                 auto update = library.Bind<UpdateCall>("UpdateAutocryptList");
                 return update != nullptr &&
                        update(nullptr, StringArray(ListEntries()).get(), 1, 1, &gCaller) == 1;
             },
             ListKey("after the update"), [] { return !fs::exists(Home() / "autocryp.lst"); }});
        step.calls.push_back(
            {"AutoCryptGetFirst and AutoCryptGetNext", nullptr,
             [](const Library& library) {
                 auto first = library.Bind<EntryCall>("AutoCryptGetFirst");
                 auto next = library.Bind<EntryCall>("AutoCryptGetNext");
                 if (first == nullptr || next == nullptr) return false;
                 // The block still holds the password the first reading put there.
                 read.clear();
                 read.reserve(8);
                 if (first(nullptr, entry, &gCaller) != 0) return false;
                 read.emplace_back(entry);
                 while (next(nullptr, entry, nullptr) == 0)
                     read.emplace_back(entry);
                 return true;
             },
             ListKey("after the second reading"),
             [] { return read == ListEntries() && !fs::exists(Home() / "autocryp.lst"); }});
        EXPECT_STEP_CLEAN(step);
    }
    {
        SCOPED_TRACE("encrypt now over the entries");
        EXPECT_STEP_CLEAN(OneCall(
            {"dialog \"Password\": 1022=\"", kPassword, "\" -> 1\n"}, "EncryptNow",
            [](const Library& library) {
                return CallSelection(library, "EncryptNow", ListEntries(), &gCaller);
            },
            Encrypted, PasswordAndUserKey, RunFileKeys));
    }
    {
        SCOPED_TRACE("decrypt now over the entries");
        EXPECT_STEP_CLEAN(OneCall(
            {"dialog \"Password\": 1022=\"", kPassword, "\" -> 1\n"}, "DecryptNow",
            [](const Library& library) {
                return CallSelection(library, "DecryptNow", ListEntries(), &gCaller);
            },
            Decrypted, PasswordAndRunFileKeys));
    }
    {
        SCOPED_TRACE("the shut-down run");
        EXPECT_STEP_CLEAN(OneCall(
            {"dialog \"Password\": 1022=\"", kPassword, "\" -> 1\n"}, "AutoEncrypt",
            [](const Library& library) {
                auto run = library.Bind<RunCall>("AutoEncrypt");
                return run != nullptr && run(nullptr, &gCaller) == 1;
            },
            Encrypted,
            [](std::vector<MaskedSecret>* secrets) {
                PasswordAndUserKey(secrets);
                ListKey("before the run")(secrets);
            },
            [](std::vector<MaskedSecret>* secrets) {
                RunFileKeys(secrets);
                ListKey("after the run")(secrets);
            }));
    }
    {
        SCOPED_TRACE("the log-on run");
        EXPECT_STEP_CLEAN(OneCall(
            {"dialog \"QOR Vaultis Auto Decryption\": 1022=\"", kPassword, "\" -> 1\n"},
            "AutoDecrypt",
            [](const Library& library) {
                auto run = library.Bind<RunCall>("AutoDecrypt");
                return run != nullptr && run(nullptr, &gCaller) == 1;
            },
            Decrypted,
            [](std::vector<MaskedSecret>* secrets) {
                PasswordAndRunFileKeys(secrets);
                ListKey("before the run")(secrets);
            },
            ListKey("after the run")));
    }
    {
        SCOPED_TRACE("a local file encrypted");
        ASSERT_TRUE(Decrypted());
        EXPECT_STEP_CLEAN(OneCall(
            {"dialog \"Encrypt\": 1022=\"", kPassword, "\" -> 1\n"}, "LocalEncrypt",
            [](const Library& library) {
                return CallSelection(library, "LocalEncrypt", Selection({"one.txt"}), &gCaller);
            },
            [] { return fs::exists(Data() / "one(txt).!!!"); }, PasswordAndUserKey, OneKey));
    }
    {
        SCOPED_TRACE("a local file opened with a double-click");
        EXPECT_STEP_CLEAN(OneCall(
            {"dialog \"Password\": 1022=\"", kPassword, "\" -> 1\n"}, "AssociateDecrypt",
            [](const Library& library) {
                return CallOpen(library, Data() / "one(txt).!!!", Data() / "one.txt");
            },
            [] { return fs::exists(Data() / "one.txt"); }, OpenedFileKeys));
    }
    EXPECT_FALSE(fs::exists(plainList));
    fs::remove_all(Root());
}

// The shared hand-over as the next program would find it: true when it holds `password` (or,
// for nullptr, when it holds none). The test's copy is wiped.
bool SharedBlockHolds(const char* password) {
    uint8_t block[platform::kSharedHandOverSize] = {};
    const bool read = platform::ReadSharedHandOver(block);
    qor::PasswordHandOver kept{};
    std::memcpy(&kept, block, sizeof kept);
    const bool holds =
        password == nullptr
            ? kept.valid == 0
            : kept.valid == 1 && std::strncmp(kept.password, password, sizeof kept.password) == 0;
    SecureWipe(block, sizeof block);
    SecureWipe(&kept, sizeof kept);
    return read && holds;
}

// The keep period run out: the block's cache time moved back beyond its minutes, as the calendar
// would have done.
bool AgeSharedBlock() {
    uint8_t block[platform::kSharedHandOverSize] = {};
    bool aged = platform::ReadSharedHandOver(block);
    qor::PasswordHandOver kept{};
    std::memcpy(&kept, block, sizeof kept);
    aged = aged && kept.valid == 1;
    kept.cacheTime -= kept.keepMinutes * 60 + 60;
    std::memcpy(block, &kept, sizeof kept);
    aged = aged && platform::WriteSharedHandOver(block, 60);
    SecureWipe(block, sizeof block);
    SecureWipe(&kept, sizeof kept);
    return aged;
}

// A command of the shell's menu for one selected path, as a file manager carries it out.
bool ShellCommand(const Library& shell, const fs::path& path, unsigned offset) {
    auto create = shell.Bind<ShellCreateCall>("QorShellCreate");
    auto initialize = shell.Bind<ShellInitializeCall>("QorShellInitialize");
    auto invoke = shell.Bind<ShellInvokeCall>("QorShellInvokeCommand");
    auto release = shell.Bind<ShellReleaseCall>("QorShellRelease");
    if (create == nullptr || initialize == nullptr || invoke == nullptr || release == nullptr)
        return false;
    QorShellObject* object = create();
    const std::string text = path.string();
    const char* paths[] = {text.c_str()};
    const bool done = object != nullptr && initialize(object, paths, 1) == QOR_SHELL_OK &&
                      invoke(object, nullptr, offset) == QOR_SHELL_OK;
    if (object != nullptr) release(object);
    return done;
}

void KeptFileKeys(std::vector<MaskedSecret>* secrets) {
    PasswordAndUserKey(secrets);
    ReportKey(secrets);
}

// Encrypt through the shell with "keep": the password goes into the shared block.
Step KeepStep() {
    Step step = OneCall(
        {"dialog \"Encrypt\": 1022=\"", kPassword,
         "\" \"&Keep password in memory for\"=1 1026=5 -> 1\n"},
        "Encrypt, the password kept",
        [](const Library& shell) {
            return ShellCommand(shell, Data() / "report.doc", kShellEncrypt);
        },
        [] { return fs::exists(Data() / "report(doc).!!!") && SharedBlockHolds(kPassword); },
        PasswordAndUserKey, ReportKey);
    step.library = kShellLibrary;
    step.keptIn = kSharedObject;
    return step;
}

// A password typed with "keep" lives in the shared block while it is kept: the programs that
// put it there and that take it over hold no other copy of it, of the user key or of the file's
// key once their command has returned; once the keep period has run out, or the user has cleared
// the password from memory, no copy is left anywhere, the shared object's page included. Each
// program goes through the shell library as the product's programs do. Both homes of the block
// are tried: the kernel keyring (where the system offers one) and the shared object.
TEST(SecretMemory, AKeptPasswordLivesInTheSharedBlockOnly) {
    GTEST_FLAG_SET(death_test_style, "fast");
    SetEnv("QOR_SHARED_TAG", kSharedTag);
    for (const char* noKeyring : {"0", "1"}) {
        SCOPED_TRACE(std::string("QOR_SHARED_NO_KEYRING=") + noKeyring);
        SetEnv("QOR_SHARED_NO_KEYRING", noKeyring);
        platform::ClearSharedHandOver();
        PrepareSetUpUser();
        std::ofstream(Data() / "report.doc", std::ios::binary) << std::string(90000, 'k');
        {
            SCOPED_TRACE("kept by Encrypt");
            EXPECT_STEP_CLEAN(KeepStep());
        }
        {
            SCOPED_TRACE("taken over by a double-click, without a dialog");
            Step step = OneCall(
                {}, "SH_AssociateDecrypt",
                [](const Library& shell) {
                    auto open = shell.Bind<ShellOpenCall>("SH_AssociateDecrypt");
                    static char opened[260];
                    return open != nullptr &&
                           open(nullptr, (Data() / "report(doc).!!!").string().c_str(), opened) ==
                               0 &&
                           fs::path(opened) == Data() / "report.doc";
                },
                [] { return fs::exists(Data() / "report.doc") && SharedBlockHolds(kPassword); },
                KeptFileKeys);
            step.library = kShellLibrary;
            step.keptIn = kSharedObject;
            EXPECT_STEP_CLEAN(step);
        }
        {
            SCOPED_TRACE("the AutoCrypt list written, naming the file");
            Step step = OneCall(
                {}, "UpdateAutocryptList",
                [](const Library& library) {
                    auto update = library.Bind<UpdateCall>("UpdateAutocryptList");
                    const std::vector<std::string> entries = {(Data() / "report.doc").string()};
                    return update != nullptr &&
                           update(nullptr, StringArray(entries).get(), 1, 1, &gCaller) == 1;
                },
                nullptr,
                [](std::vector<MaskedSecret>* secrets) {
                    PasswordAndUserKey(secrets);
                    // The password as the list's reader would have left it in the caller's
                    // block, so that the update asks for nothing.
                    std::memcpy(gCaller.password, kPassword, sizeof kPassword);
                },
                ListKey("after the update"));
            step.keptIn = kSharedObject;
            EXPECT_STEP_CLEAN(step);
        }
        {
            SCOPED_TRACE("taken over by the shut-down run, without a dialog");
            Step step = OneCall(
                {}, "SH_AutoEncrypt",
                [](const Library& shell) {
                    auto run = shell.Bind<int (*)(void*)>("SH_AutoEncrypt");
                    return run != nullptr && run(nullptr) == 0;
                },
                [] {
                    return fs::exists(Data() / "report(doc).!!!") && SharedBlockHolds(kPassword);
                },
                [](std::vector<MaskedSecret>* secrets) {
                    PasswordAndUserKey(secrets);
                    ListKey("before the run")(secrets);
                },
                [](std::vector<MaskedSecret>* secrets) {
                    ReportKey(secrets);
                    ListKey("after the run")(secrets);
                });
            step.library = kShellLibrary;
            step.keptIn = kSharedObject;
            EXPECT_STEP_CLEAN(step);
        }
        {
            SCOPED_TRACE("taken over by the log-on run, without a dialog");
            Step step = OneCall(
                {}, "SH_AutoDecrypt",
                [](const Library& shell) {
                    auto run = shell.Bind<int (*)(void*)>("SH_AutoDecrypt");
                    return run != nullptr && run(nullptr) == 0;
                },
                [] { return fs::exists(Data() / "report.doc") && SharedBlockHolds(kPassword); },
                [](std::vector<MaskedSecret>* secrets) {
                    KeptFileKeys(secrets);
                    ListKey("before the run")(secrets);
                },
                ListKey("after the run"));
            step.library = kShellLibrary;
            step.keptIn = kSharedObject;
            EXPECT_STEP_CLEAN(step);
        }
        {
            SCOPED_TRACE("forgotten when its keep period has run out");
            Step step = OneCall(
                {}, "SH_CheckPassword",
                [](const Library& shell) {
                    auto check = shell.Bind<int (*)()>("SH_CheckPassword");
                    return check != nullptr && check() == 0;
                },
                [] { return SharedBlockHolds(nullptr); },
                [](std::vector<MaskedSecret>* secrets) {
                    PasswordAndUserKey(secrets);
                    // Done here, before the stack is burnt: the test's own copies go with it.
                    if (!AgeSharedBlock()) {
                        Say("the kept block cannot be aged");
                        gUnknownSecret = true;
                    }
                });
            step.library = kShellLibrary;
            EXPECT_STEP_CLEAN(step);
        }
        {
            SCOPED_TRACE("kept again");
            EXPECT_STEP_CLEAN(KeepStep());
        }
        {
            SCOPED_TRACE("cleared from memory by the user");
            Step step = OneCall(
                {}, "Clear Password from Memory",
                [](const Library& shell) {
                    return ShellCommand(shell, Data() / "report(doc).!!!", kShellClearPassword);
                },
                [] { return SharedBlockHolds(nullptr); }, KeptFileKeys);
            step.library = kShellLibrary;
            EXPECT_STEP_CLEAN(step);
        }
        EXPECT_TRUE(SharedBlockHolds(nullptr));
    }
    platform::ClearSharedHandOver();
    fs::remove_all(Root());
}

}  // namespace
}  // namespace qor::entry::test
