// The block every process of the user shares: the hand-over's round trip and its clearing, the
// busy flag, both seen by a second process started afresh; on Linux also where the hand-over
// lives (the keyring, or the shared-memory object without one), the keep period, and objects
// that others could open or that belong to someone else.
#include <gtest/gtest.h>
#include <qor/platform/shared_block.h>
#include <qor/platform/system.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#else
#include <fcntl.h>
#include <linux/keyctl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#endif

namespace {

using namespace qor::platform;
using Block = std::array<uint8_t, kSharedHandOverSize>;

// What a child started by RunChild answers when every step of its script held.
constexpr int kChildOk = 42;
constexpr const char* kChildScript = "QOR_SHARED_CHILD";

void SetVariable(const char* name, const std::string& value) {
#ifdef _WIN32
    _putenv_s(name, value.c_str());
#else
    setenv(name, value.c_str(), 1);
#endif
}

void UnsetVariable(const char* name) {
#ifdef _WIN32
    _putenv_s(name, "");
#else
    unsetenv(name);
#endif
}

std::string Hex(const Block& block) {
    static const char digits[] = "0123456789abcdef";
    std::string text;
    for (uint8_t b : block) {
        text += digits[b >> 4];
        text += digits[b & 15];
    }
    return text;
}

Block FromHex(const std::string& text) {
    Block block{};
    for (size_t i = 0; i < block.size() && 2 * i + 1 < text.size(); ++i)
        block[i] = static_cast<uint8_t>(std::stoi(text.substr(2 * i, 2), nullptr, 16));
    return block;
}

// A block as the core library fills it: a non-zero valid field and random bytes after it.
Block RandomBlock() {
    Block block{};
    EXPECT_TRUE(OsRandom(block.data(), block.size()));
    block[0] = 1;
    block[1] = block[2] = block[3] = 0;
    return block;
}

Block Read(bool* ok = nullptr) {
    Block block;
    block.fill(0xee);  // every byte must be written, also when nothing is kept
    const bool result = ReadSharedHandOver(block.data());
    if (ok) *ok = result;
    return block;
}

const Block kZeros{};

// Starts this test program again with only SharedBlockChild.Script selected and `script` in its
// environment; answers the child's exit code. A quiet child's output goes nowhere.
int RunChild(const std::string& script, bool quiet = false) {
    SetVariable(kChildScript, script);
    int code = -1;
#ifdef _WIN32
    wchar_t path[MAX_PATH];
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring command =
        L"\"" + std::wstring(path) + L"\" --gtest_filter=SharedBlockChild.Script --gtest_brief=1";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE nowhere = INVALID_HANDLE_VALUE;
    if (quiet) {
        nowhere = CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE, 0, &inherit, OPEN_EXISTING, 0,
                              nullptr);
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = startup.hStdOutput = startup.hStdError = nowhere;
    }
    PROCESS_INFORMATION process{};
    if (CreateProcessW(path, command.data(), nullptr, nullptr, quiet, 0, nullptr, nullptr, &startup,
                       &process)) {
        WaitForSingleObject(process.hProcess, 30000);
        DWORD exitCode = 0;
        GetExitCodeProcess(process.hProcess, &exitCode);
        code = static_cast<int>(exitCode);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    if (nowhere != INVALID_HANDLE_VALUE) CloseHandle(nowhere);
#else
    const std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
    std::fflush(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        if (quiet) {
            const int nowhere = open("/dev/null", O_RDWR);
            dup2(nowhere, STDOUT_FILENO);
            dup2(nowhere, STDERR_FILENO);
        }
        execl(self.c_str(), self.c_str(), "--gtest_filter=SharedBlockChild.Script",
              "--gtest_brief=1", static_cast<char*>(nullptr));
        _exit(127);
    }
    int status = 0;
    if (pid > 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status)) code = WEXITSTATUS(status);
#endif
    UnsetVariable(kChildScript);
    return code;
}

// The child's side: steps separated by ',' — "read:<hex>" (the hand-over must be that block),
// "write:<hex>", "clear", "busy:<n>" (set the flag), "isbusy:<n>" (the flag must be n).
TEST(SharedBlockChild, Script) {
    const char* script = std::getenv(kChildScript);
    if (script == nullptr || *script == '\0') GTEST_SKIP() << "runs only as a started child";
    std::string rest(script);
    while (!rest.empty()) {
        const size_t comma = rest.find(',');
        const std::string step = rest.substr(0, comma);
        rest = comma == std::string::npos ? std::string() : rest.substr(comma + 1);
        const size_t colon = step.find(':');
        const std::string verb = step.substr(0, colon);
        const std::string value = colon == std::string::npos ? "" : step.substr(colon + 1);
        if (verb == "read") {
            bool ok = false;
            const Block got = Read(&ok);
            ASSERT_TRUE(ok);
            ASSERT_EQ(Hex(got), value);
        } else if (verb == "write") {
            const Block block = FromHex(value);
            ASSERT_TRUE(WriteSharedHandOver(block.data(), 0));
        } else if (verb == "clear") {
            ASSERT_TRUE(ClearSharedHandOver());
        } else if (verb == "busy") {
            SetSharedBusyFlag(std::stoi(value));
        } else if (verb == "isbusy") {
            ASSERT_EQ(SharedBusyFlag(), std::stoi(value));
        } else {
            FAIL() << "unknown step " << step;
        }
    }
    std::fflush(nullptr);
    std::_Exit(kChildOk);
}

// Each test keeps its block apart from every other test and from other programs of the user
// running at the same time (on Linux through its own tag; Windows' section has one block, which
// only this program's processes share).
class SharedBlock : public ::testing::Test {
  protected:
    void SetUp() override {
        UnsetVariable("QOR_SHARED_NO_KEYRING");
        NewTag();
    }
    void TearDown() override {
        for (const std::string& tag : tags_) {
            SetVariable("QOR_SHARED_TAG", tag);
            UnsetVariable("QOR_SHARED_NO_KEYRING");
            ClearSharedHandOver();
            SetSharedBusyFlag(0);
#ifndef _WIN32
            std::error_code error;
            std::filesystem::remove(ObjectPath(tag), error);
#endif
        }
#ifndef _WIN32
        for (const std::string& path : extraFiles_) {
            std::error_code error;
            std::filesystem::remove(path, error);
        }
#endif
        UnsetVariable("QOR_SHARED_TAG");
        UnsetVariable("QOR_SHARED_NO_KEYRING");
    }

    // Moves the test to a fresh key and object.
    void NewTag() {
        static int counter = 0;
#ifdef _WIN32
        const unsigned long pid = GetCurrentProcessId();
#else
        const unsigned long pid = static_cast<unsigned long>(getpid());
#endif
        tag_ = "test" + std::to_string(pid) + "-" + std::to_string(++counter);
        tags_.push_back(tag_);
        SetVariable("QOR_SHARED_TAG", tag_);
    }

    // The ways the hand-over can be kept here: on Linux the keyring and the shared-memory object.
    std::vector<bool> Modes() const {
#ifdef _WIN32
        return {true};
#else
        return {true, false};
#endif
    }
    static void UseKeyring(bool keyring) {
        if (keyring) {
            UnsetVariable("QOR_SHARED_NO_KEYRING");
        } else {
            SetVariable("QOR_SHARED_NO_KEYRING", "1");
        }
    }

#ifndef _WIN32
    static std::string ObjectPath(const std::string& tag) {
        return "/dev/shm/qor-shared-" + std::to_string(geteuid()) + "-" + tag;
    }
    std::string ObjectPath() const {
        return ObjectPath(tag_);
    }
    std::string KeyDescription() const {
        return "qor-shared-handover-" + tag_;
    }
#endif

    std::string tag_;
    std::vector<std::string> tags_;
    std::vector<std::string> extraFiles_;
};

TEST_F(SharedBlock, WriteReadClear) {
    for (bool keyring : Modes()) {
        SCOPED_TRACE(keyring ? "keyring" : "shared memory");
        NewTag();
        UseKeyring(keyring);
        bool ok = false;
        EXPECT_EQ(Read(&ok), kZeros);  // nothing kept yet
        EXPECT_TRUE(ok);

        const Block a = RandomBlock(), b = RandomBlock();
        ASSERT_TRUE(WriteSharedHandOver(a.data(), 0));
        EXPECT_EQ(Read(&ok), a);
        EXPECT_TRUE(ok);
        EXPECT_EQ(Read(), a);  // reading leaves it in place
        ASSERT_TRUE(WriteSharedHandOver(b.data(), 0));
        EXPECT_EQ(Read(), b);

        // A block whose valid field is zero is no block, whatever follows it.
        Block invalid = RandomBlock();
        invalid[0] = 0;
        ASSERT_TRUE(WriteSharedHandOver(invalid.data(), 0));
        EXPECT_EQ(Read(&ok), kZeros);
        EXPECT_TRUE(ok);

        ASSERT_TRUE(WriteSharedHandOver(a.data(), 300));
        EXPECT_EQ(Read(), a);
        EXPECT_TRUE(ClearSharedHandOver());
        EXPECT_EQ(Read(&ok), kZeros);
        EXPECT_TRUE(ok);
        EXPECT_TRUE(ClearSharedHandOver());  // clearing nothing is no failure
    }
}

TEST_F(SharedBlock, BusyFlagIsApartFromTheHandOver) {
    for (bool keyring : Modes()) {
        SCOPED_TRACE(keyring ? "keyring" : "shared memory");
        NewTag();
        UseKeyring(keyring);
        EXPECT_EQ(SharedBusyFlag(), 0);
        SetSharedBusyFlag(1);
        EXPECT_EQ(SharedBusyFlag(), 1);
        const Block a = RandomBlock();
        ASSERT_TRUE(WriteSharedHandOver(a.data(), 0));
        ASSERT_TRUE(ClearSharedHandOver());
        EXPECT_EQ(SharedBusyFlag(), 1);
        SetSharedBusyFlag(-7);
        EXPECT_EQ(SharedBusyFlag(), -7);
        SetSharedBusyFlag(0);
        EXPECT_EQ(SharedBusyFlag(), 0);
        ASSERT_TRUE(WriteSharedHandOver(a.data(), 0));
        EXPECT_EQ(Read(), a);
    }
}

TEST_F(SharedBlock, AnotherProcessSeesWhatOneWrote) {
    for (bool keyring : Modes()) {
        SCOPED_TRACE(keyring ? "keyring" : "shared memory");
        NewTag();
        UseKeyring(keyring);
        const Block a = RandomBlock(), b = RandomBlock();
        ASSERT_TRUE(WriteSharedHandOver(a.data(), 0));
        SetSharedBusyFlag(1);
        // The child finds both, replaces the block and lowers the flag; this process sees it.
        EXPECT_EQ(RunChild("isbusy:1,read:" + Hex(a) + ",write:" + Hex(b) + ",busy:0"), kChildOk);
        EXPECT_EQ(Read(), b);
        EXPECT_EQ(SharedBusyFlag(), 0);
        // Cleared here, gone there; cleared there, gone here.
        ASSERT_TRUE(ClearSharedHandOver());
        EXPECT_EQ(RunChild("read:" + Hex(kZeros) + ",write:" + Hex(a) + ",busy:3"), kChildOk);
        EXPECT_EQ(Read(), a);
        EXPECT_EQ(SharedBusyFlag(), 3);
        EXPECT_EQ(RunChild("clear"), kChildOk);
        EXPECT_EQ(Read(), kZeros);
    }
}

// The child reports failure through its exit code: a script step that does not hold must not
// pass as a success.
TEST_F(SharedBlock, ChildReportsAFailedStep) {
    const Block a = RandomBlock();
    ASSERT_TRUE(WriteSharedHandOver(a.data(), 0));
    EXPECT_NE(RunChild("read:" + Hex(kZeros), true), kChildOk);
    EXPECT_NE(RunChild("isbusy:5", true), kChildOk);
}

#ifndef _WIN32

// Whether this machine gives processes a keyring at all (containers often block the calls).
bool KeyringWorks() {
    const long key =
        syscall(SYS_add_key, "user", "qor-shared-probe", "x", 1, KEY_SPEC_THREAD_KEYRING);
    if (key < 0) return false;
    syscall(SYS_keyctl, KEYCTL_INVALIDATE, key);
    return true;
}

std::vector<uint8_t> FileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in),
                                std::istreambuf_iterator<char>());
}

// Any 8 consecutive bytes of the block anywhere in `bytes`.
bool HoldsPartOf(const std::vector<uint8_t>& bytes, const Block& block) {
    for (size_t i = 4; i + 8 <= block.size(); ++i) {
        if (std::search(bytes.begin(), bytes.end(), block.begin() + i, block.begin() + i + 8) !=
            bytes.end()) {
            return true;
        }
    }
    return false;
}

// The live key's line in /proc/keys (which also lists keys that are displaced but not yet
// collected): id, flags, usage, timeout, permissions, uid, gid, type, name.
std::vector<std::string> KeyLine(const std::string& description) {
    const long key =
        syscall(SYS_keyctl, KEYCTL_SEARCH, KEY_SPEC_USER_KEYRING, "user", description.c_str(), 0);
    if (key < 0) return {};
    char id[32];
    std::snprintf(id, sizeof id, "%08lx ", static_cast<unsigned long>(key));
    std::ifstream in("/proc/keys");
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind(id, 0) != 0) continue;
        std::vector<std::string> fields;
        std::string field;
        for (char c : line + " ") {
            if (c != ' ') {
                field += c;
            } else if (!field.empty()) {
                fields.push_back(field);
                field.clear();
            }
        }
        return fields;
    }
    return {};
}

TEST_F(SharedBlock, KeyringKeepsTheBlockOutOfSharedMemory) {
    if (!KeyringWorks()) GTEST_SKIP() << "no keyring here";
    const Block secret = RandomBlock();
    ASSERT_TRUE(WriteSharedHandOver(secret.data(), 0));
    SetSharedBusyFlag(1);  // the object exists and is in use
    struct stat st {};
    ASSERT_EQ(stat(ObjectPath().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_EQ(st.st_uid, geteuid());
    EXPECT_FALSE(HoldsPartOf(FileBytes(ObjectPath()), secret));
    EXPECT_EQ(Read(), secret);

    // The key: the user's alone, with no timeout when no keep period was given.
    const std::vector<std::string> key = KeyLine(KeyDescription());
    ASSERT_GE(key.size(), 9u);
    EXPECT_EQ(key[3], "perm");
    EXPECT_EQ(key[4], "3f3f0000");
    EXPECT_EQ(key[7], "user");
    const Block other = RandomBlock();
    ASSERT_TRUE(WriteSharedHandOver(other.data(), 600));
    const std::vector<std::string> replaced = KeyLine(KeyDescription());
    ASSERT_GE(replaced.size(), 9u);
    EXPECT_NE(replaced[3], "perm");
    EXPECT_EQ(replaced[4], "3f3f0000");
    // The key it displaced cannot be read any more, even before the kernel collects it.
    char previous[16];
    std::snprintf(previous, sizeof previous, "%s", key[0].c_str());
    uint8_t buffer[64];
    EXPECT_LT(syscall(SYS_keyctl, KEYCTL_READ, std::strtoul(previous, nullptr, 16), buffer,
                      sizeof buffer),
              0);
    ASSERT_TRUE(ClearSharedHandOver());
    EXPECT_EQ(Read(), kZeros);

    // Without the keyring the same block does land in the object: the search above can find it.
    UseKeyring(false);
    ASSERT_TRUE(WriteSharedHandOver(secret.data(), 0));
    EXPECT_TRUE(HoldsPartOf(FileBytes(ObjectPath()), secret));
    ASSERT_TRUE(ClearSharedHandOver());
    EXPECT_FALSE(HoldsPartOf(FileBytes(ObjectPath()), secret));  // wiped, not just marked
}

TEST_F(SharedBlock, BlockWrittenWithoutKeyringIsReadWithIt) {
    if (!KeyringWorks()) GTEST_SKIP() << "no keyring here";
    const Block a = RandomBlock(), b = RandomBlock();
    // A process that had no keyring leaves the block in the object; one with a keyring finds it.
    SetVariable("QOR_SHARED_NO_KEYRING", "1");
    EXPECT_EQ(RunChild("write:" + Hex(a)), kChildOk);
    UnsetVariable("QOR_SHARED_NO_KEYRING");
    EXPECT_EQ(Read(), a);
    // A block written to the keyring takes its place: the old one is gone from the object.
    ASSERT_TRUE(WriteSharedHandOver(b.data(), 0));
    EXPECT_EQ(Read(), b);
    EXPECT_FALSE(HoldsPartOf(FileBytes(ObjectPath()), a));
    SetVariable("QOR_SHARED_NO_KEYRING", "1");
    EXPECT_EQ(RunChild("read:" + Hex(kZeros)), kChildOk);
    UnsetVariable("QOR_SHARED_NO_KEYRING");
    // And clearing takes it out of both places.
    ASSERT_TRUE(ClearSharedHandOver());
    EXPECT_EQ(Read(), kZeros);
}

TEST_F(SharedBlock, KeepPeriodEnds) {
    const bool keyring = KeyringWorks();
    struct Case {
        std::string tag;
        bool keyring;
        bool lastKeepsForever;
        Block block;
    };
    std::vector<Case> cases;
    for (bool inKeyring : {true, false}) {
        if (inKeyring && !keyring) continue;
        UseKeyring(inKeyring);
        for (bool forever : {false, true}) {
            NewTag();
            Case c{tag_, inKeyring, forever, RandomBlock()};
            ASSERT_TRUE(WriteSharedHandOver(c.block.data(), 1));
            // A later block without a keep period is kept: the earlier period no longer counts.
            if (forever) {
                ASSERT_TRUE(WriteSharedHandOver(c.block.data(), 0));
            }
            EXPECT_EQ(Read(), c.block);
            cases.push_back(c);
        }
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(2100));
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.keyring ? "keyring" : "shared memory") +
                     (c.lastKeepsForever ? ", kept" : ", one second"));
        SetVariable("QOR_SHARED_TAG", c.tag);
        UseKeyring(c.keyring);
        bool ok = false;
        EXPECT_EQ(Read(&ok), c.lastKeepsForever ? c.block : kZeros);
        EXPECT_TRUE(ok);
    }
}

// Makes the object's file as someone else (or a careless program) might have left it.
void MakeObject(const std::string& path, mode_t mode, const std::string& content) {
    std::filesystem::remove(path);
    const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_EXCL, 0600);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(write(fd, content.data(), content.size()), static_cast<ssize_t>(content.size()));
    ASSERT_EQ(fchmod(fd, mode), 0);
    close(fd);
}

TEST_F(SharedBlock, ObjectOthersCouldOpenIsReplaced) {
    UseKeyring(false);
    const Block secret = RandomBlock();
    for (mode_t mode : {mode_t{0644}, mode_t{0660}, mode_t{0606}}) {
        SCOPED_TRACE(mode);
        NewTag();
        MakeObject(ObjectPath(), mode, "left by someone else");
        // Someone who opened the lax object before we came keeps only that one, emptied.
        const int early = open(ObjectPath().c_str(), O_RDONLY);
        ASSERT_GE(early, 0);

        SetSharedBusyFlag(1);
        ASSERT_TRUE(WriteSharedHandOver(secret.data(), 0));
        EXPECT_EQ(Read(), secret);
        EXPECT_EQ(SharedBusyFlag(), 1);
        struct stat st {};
        ASSERT_EQ(stat(ObjectPath().c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0600u);
        const std::vector<uint8_t> now = FileBytes(ObjectPath());
        EXPECT_TRUE(HoldsPartOf(now, secret));

        struct stat old {};
        ASSERT_EQ(fstat(early, &old), 0);
        EXPECT_NE(old.st_ino, st.st_ino);
        EXPECT_EQ(old.st_size, 0);  // emptied before it was let go
        std::vector<uint8_t> seen(4096);
        const ssize_t n = pread(early, seen.data(), seen.size(), 0);
        seen.resize(n > 0 ? static_cast<size_t>(n) : 0);
        EXPECT_FALSE(HoldsPartOf(seen, secret));
        close(early);
    }

    // The user's own object that lacks the owner's write permission is made usable again.
    NewTag();
    MakeObject(ObjectPath(), 0400, "");
    ASSERT_TRUE(WriteSharedHandOver(secret.data(), 0));
    EXPECT_EQ(Read(), secret);
    struct stat st {};
    ASSERT_EQ(stat(ObjectPath().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST_F(SharedBlock, ObjectThatIsNotTheUsersIsRefused) {
    const Block secret = RandomBlock();
    struct Planted {
        const char* what;
        bool root;  // only root can give a file to another user
    };
    for (const Planted& planted : {Planted{"another owner", true}, Planted{"folder", false},
                                   Planted{"link to a file", false}}) {
        SCOPED_TRACE(planted.what);
        if (planted.root && geteuid() != 0) continue;
        NewTag();
        const std::string path = ObjectPath();
        const std::string target = path + "-target";
        extraFiles_.push_back(target);
        const std::string content(4096, 'q');
        if (std::string(planted.what) == "another owner") {
            MakeObject(path, 0600, content);
            ASSERT_EQ(chown(path.c_str(), 65534, 65534), 0);
        } else if (std::string(planted.what) == "folder") {
            ASSERT_TRUE(std::filesystem::create_directory(path));
        } else {
            MakeObject(target, 0600, content);
            std::filesystem::create_symlink(target, path);
        }

        // Without the keyring the hand-over has nowhere to go: every call fails safely.
        UseKeyring(false);
        EXPECT_FALSE(WriteSharedHandOver(secret.data(), 0));
        bool ok = true;
        EXPECT_EQ(Read(&ok), kZeros);
        EXPECT_FALSE(ok);
        EXPECT_FALSE(ClearSharedHandOver());
        SetSharedBusyFlag(1);
        EXPECT_EQ(SharedBusyFlag(), 0);

        // With it the hand-over still works; the flag stays down.
        if (KeyringWorks()) {
            UseKeyring(true);
            ASSERT_TRUE(WriteSharedHandOver(secret.data(), 0));
            EXPECT_EQ(Read(), secret);
            EXPECT_TRUE(ClearSharedHandOver());
        }

        // What was planted is left as it was.
        struct stat st {};
        ASSERT_EQ(lstat(path.c_str(), &st), 0);
        if (std::string(planted.what) == "another owner") {
            EXPECT_EQ(st.st_uid, 65534u);
            EXPECT_EQ(FileBytes(path), std::vector<uint8_t>(content.begin(), content.end()));
        } else if (std::string(planted.what) == "folder") {
            EXPECT_TRUE(S_ISDIR(st.st_mode));
            std::filesystem::remove(path);
        } else {
            EXPECT_TRUE(S_ISLNK(st.st_mode));
            EXPECT_EQ(FileBytes(target), std::vector<uint8_t>(content.begin(), content.end()));
        }
    }
}

TEST_F(SharedBlock, DamagedObjectIsRepaired) {
    UseKeyring(false);
    // Too short: grown to its size and used.
    MakeObject(ObjectPath(), 0600, "abc");
    const Block a = RandomBlock();
    SetSharedBusyFlag(2);
    EXPECT_EQ(SharedBusyFlag(), 2);
    ASSERT_TRUE(WriteSharedHandOver(a.data(), 0));
    EXPECT_EQ(Read(), a);

    // Bytes that no process of the product wrote give no block (and no crash): a presence field
    // other than 1, with no keep period and a full block behind it, and plain noise.
    NewTag();
    std::string odd(4096, '\0');
    odd[4] = odd[5] = odd[6] = odd[7] = 1;
    std::fill(odd.begin() + 16, odd.begin() + 64, 'k');
    MakeObject(ObjectPath(), 0600, odd);
    bool ok = false;
    EXPECT_EQ(Read(&ok), kZeros);
    EXPECT_TRUE(ok);
    Block planted;
    planted.fill('k');
    EXPECT_FALSE(HoldsPartOf(FileBytes(ObjectPath()), planted));  // and wiped

    NewTag();
    std::string noise(4096, '\0');
    for (size_t i = 0; i < noise.size(); ++i)
        noise[i] = static_cast<char>(i * 131 + 7);
    MakeObject(ObjectPath(), 0600, noise);
    EXPECT_EQ(Read(&ok), kZeros);
    EXPECT_TRUE(ok);
    ASSERT_TRUE(WriteSharedHandOver(a.data(), 0));
    EXPECT_EQ(Read(), a);
}

#endif  // !_WIN32

}  // namespace
