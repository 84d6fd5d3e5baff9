// The selection walk over real folders: which files reach the engine, in which order, and
// exactly what the user is told on the way.
#include <qor/engine/selection_walk.h>
#include <qor/platform/files.h>
#include <qor/profile/user_profile.h>
#include <qor/ui/dialog_host.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "../platform/temp_folder.h"
#include "walk_test_support.h"

namespace qor::engine {
namespace {

using platform::kSeparator;
using test::Join;
using test::TempFolder;
using test::WriteText;

const std::string kSep(1, kSeparator);
const std::string kAll = kSep + "*.*";

// Windows lists a folder in the file system's order, Linux by name: on Windows only the set
// of files and messages is compared, on Linux their order as well.
std::vector<std::string> InListingOrder(std::vector<std::string> lines) {
#ifdef _WIN32
    std::sort(lines.begin(), lines.end());
#endif
    return lines;
}

void MakeHidden(const std::string& path) {
#ifdef _WIN32
    ASSERT_TRUE(platform::SetAttributes(path, platform::kAttrHidden));
#else
    (void)path;  // the leading "." makes it hidden
#endif
}

class WalkTest : public ::testing::Test {
  protected:
    void SetUp() override {
        savedHome_ = profile::Profile().HomeFolder();
        profile::Profile().SetHomeFolder(root_ / "home");
        ui::SetHostForTesting(&host_);
    }
    void TearDown() override {
        ui::SetHostForTesting(nullptr);
        profile::Profile().SetHomeFolder(savedHome_);
    }

    std::string File(const std::string& relative, const std::string& text = "data") {
        std::string path = root_.path();
        size_t at = 0;
        while (at <= relative.size()) {
            size_t end = relative.find('/', at);
            if (end == std::string::npos) break;
            path = Join(path, relative.substr(at, end - at));
            platform::CreateDirectory(path);
            at = end + 1;
        }
        path = Join(path, relative.substr(at));
        WriteText(path, text);
        return path;
    }
    std::string Path(const std::string& relative) const {
        std::string out = root_.path() + kSep + relative;
        std::replace(out.begin(), out.end(), '/', kSeparator);
        return out;
    }
    std::string Enc(const std::string& relative, const std::string& output) const {
        return "E " + Path(relative) + " -> " + Path(output);
    }

    // The mixed tree most tests walk.
    void MakeTree() {
        File("a.txt");
        File("report.doc");
        File("report(doc).!!!");
        File("prog.EXE");
        File("USERPREF.!!!");
        File("decexe");
        File("home/pref.txt");
        File("shared.s!!");
        MakeHidden(File(hiddenName_));
        ASSERT_TRUE(platform::SetAttributes(File("ro.txt"), platform::kAttrReadOnly));
        File("sub/b.txt");
        File("sub/deeper/c.txt");
    }

    TempFolder root_;
    test::RecordingHost host_;
    test::RecordingDisplay display_;
    test::RecordingWorker worker_;
    CryptOptions options_;
#ifdef _WIN32
    const std::string hiddenName_ = "hidden.txt";
#else
    const std::string hiddenName_ = ".hidden";
#endif

  private:
    std::string savedHome_;
};

TEST_F(WalkTest, EncryptsEligibleFilesOfAFolderTreeAndRefusesTheRest) {
    MakeTree();
    SelectionWalker walker(display_, 10, worker_);
    EXPECT_EQ(walker.EncryptItem(root_.path() + kAll, options_, 60, nullptr, 0), 0);

    EXPECT_EQ(InListingOrder(worker_.calls), InListingOrder({
                                                 Enc("a.txt", "a(txt).!!!"),
                                                 Enc("report.doc", "report(doc)2.!!!"),
                                                 Enc("sub/b.txt", "sub/b(txt).!!!"),
                                                 Enc("sub/deeper/c.txt", "sub/deeper/c(txt).!!!"),
                                             }));
    EXPECT_EQ(InListingOrder(host_.messages),
              InListingOrder({
                  "Cannot encrypt \"" + Path(hiddenName_) + "\": hidden file. [OK Cancel]",
                  "Cannot encrypt \"" + Path("ro.txt") + "\": Read only file. [OK Cancel]",
              }));
    ASSERT_FALSE(display_.statuses.empty());
    EXPECT_EQ(display_.statuses.front(), "Searching...");
    EXPECT_EQ(display_.statuses.size(), 5u);
    EXPECT_EQ(display_.closes, 0);
    // Every file of the run shares the item's job.
    for (const FileJob& job : worker_.jobs) {
        EXPECT_EQ(job.options, &options_);
        EXPECT_EQ(job.quiet, 0);
    }
}

TEST_F(WalkTest, QuietEncryptionRefusesSilently) {
    MakeTree();
    SelectionWalker walker(display_, 10, worker_);
    walker.EncryptItem(root_.path() + kAll, options_, 60, nullptr, 1);
    EXPECT_EQ(worker_.calls.size(), 4u);
    EXPECT_TRUE(host_.messages.empty());

    // Nor are files in use or without a free name reported in a quiet run.
    TempFolder other;
    const std::string busy = other / "busy.txt";
    WriteText(busy, "x");
    platform::File holder = platform::File::Open(busy, platform::kAccessRead, platform::kShareNone,
                                                 platform::kOpenExisting);
    ASSERT_TRUE(holder.IsOpen());
    walker.EncryptItem(busy, options_, 60, nullptr, 1);
    EXPECT_TRUE(host_.messages.empty());
    EXPECT_EQ(worker_.calls.size(), 4u);
}

TEST_F(WalkTest, SingleFilesInUseTooLongOrSelfExtracting) {
    const std::string busy = File("busy.txt");
    platform::File holder = platform::File::Open(busy, platform::kAccessRead, platform::kShareNone,
                                                 platform::kOpenExisting);
    ASSERT_TRUE(holder.IsOpen());
    const std::string longName = File(std::string(251 - root_.path().size() - 1 - 4, 'n') + ".doc");
    ASSERT_EQ(longName.size(), 251u);

    SelectionWalker walker(display_, 10, worker_);
    walker.EncryptItem(busy, options_, 60, nullptr, 0);
    walker.EncryptItem(longName, options_, 60, nullptr, 0);
    EXPECT_TRUE(worker_.calls.empty());
    EXPECT_EQ(
        host_.messages,
        (std::vector<std::string>{
            busy + " already opened by another application. [OK] [!]",
            longName + " cannot be encrypted.  Too many files with the same filename. [OK Cancel]",
        }));

    // A self-extracting run asks for another name when the program's name is taken; declining
    // skips the file without a word.
    holder.Close();
    host_.messages.clear();
    options_.selfExtracting = 1;
    worker_.exeNameTaken = true;
    walker.EncryptItem(busy, options_, 60, nullptr, 0);
    EXPECT_EQ(worker_.calls, (std::vector<std::string>{"X " + busy, "C " + busy}));
    worker_.acceptAnotherName = true;
    walker.EncryptItem(busy, options_, 60, nullptr, 0);
    EXPECT_EQ(worker_.calls.back(), "E " + busy + " -> " + busy + "-other.exe");
    EXPECT_TRUE(host_.messages.empty());
}

// A self-extracting run hands the engine the file's 8.3 alias where it has one, so the program
// and the name stored in it follow that alias; an ordinary run keeps the long name.
TEST_F(WalkTest, SelfExtractingRunsFollowTheShortAlias) {
    const std::string file = File("quarterly report.document");
    SelectionWalker walker(display_, 10, worker_);
    walker.EncryptItem(file, options_, 60, nullptr, 0);
    ASSERT_EQ(worker_.calls.size(), 1u);
    EXPECT_EQ(worker_.calls[0].rfind("E " + file + " -> ", 0), 0u) << worker_.calls[0];

    worker_.calls.clear();
    options_.selfExtracting = 1;
    walker.EncryptItem(root_.path() + platform::kSeparator + "*.*", options_, 60, nullptr, 0);
    ASSERT_EQ(worker_.calls.size(), 2u);
    const std::string named = worker_.calls[0].substr(2);
#ifdef _WIN32
    const std::string alias = named.substr(named.rfind('\\') + 1);
    EXPECT_LE(alias.size(), 12u) << alias;
    EXPECT_NE(alias.find('~'), std::string::npos) << alias;
    EXPECT_TRUE(platform::Exists(named)) << "the alias names the same file";
#else
    EXPECT_EQ(named, file);
#endif
    EXPECT_EQ(worker_.calls[1].rfind("E " + named + " -> ", 0), 0u) << worker_.calls[1];
    EXPECT_TRUE(host_.messages.empty());
}

TEST_F(WalkTest, EngineStatusesShownByTheWalk) {
    const std::string a = File("a.txt");
    worker_.results[a] = kEngineInUse;
    SelectionWalker walker(display_, 10, worker_);
    walker.EncryptItem(a, options_, 60, nullptr, 0);
    worker_.results[a] = kEngineNoOutputName;
    walker.EncryptItem(a, options_, 60, nullptr, 0);
    worker_.results[a] = -3;  // reported by the engine itself
    walker.EncryptItem(a, options_, 60, nullptr, 0);
    EXPECT_EQ(host_.messages,
              (std::vector<std::string>{
                  a + " already opened by another application. [OK] [!]",
                  a + " cannot be encrypted.  Too many files with the same filename. [OK Cancel]",
              }));
}

TEST_F(WalkTest, CancelEndsTheItemAndEveryLaterOne) {
    File("first/ro.txt");
    ASSERT_TRUE(platform::SetAttributes(Path("first/ro.txt"), platform::kAttrReadOnly));
    File("first/x/deep.txt");
    File("second/b.txt");
    host_.answers = {ui::kIdCancel};

    SelectionWalker walker(display_, 10, worker_);
    walker.EncryptItem(Path("first") + kAll, options_, 60, nullptr, 0);
    EXPECT_TRUE(walker.cancelled());
    EXPECT_EQ(display_.closes, 1);
    const size_t statuses = display_.statuses.size();
    walker.EncryptItem(Path("second") + kAll, options_, 60, nullptr, 0);
    walker.DecryptItem(Path("second") + kAll, options_, 60, nullptr);
    EXPECT_EQ(display_.statuses.size(), statuses);  // not even "Searching..."
    EXPECT_EQ(host_.messages.size(), 1u);
    for (const std::string& call : worker_.calls) {
        EXPECT_EQ(call.find("second"), std::string::npos) << call;
    }
}

TEST_F(WalkTest, RunCancelFlagAndHookStopTheWalk) {
    File("d/a.txt");
    File("d/b.txt");
    ProgressState state;
    ProgressHook hook{[](void*) { return 0; }, &state};
    state.cancelled = 1;
    SelectionWalker walker(display_, 10, worker_);
    walker.EncryptItem(Path("d") + kAll, options_, 60, &hook, 0);
    EXPECT_TRUE(worker_.calls.empty());
    EXPECT_TRUE(display_.statuses.empty());

    state.cancelled = 0;
    static int hookCalls = 0;
    hookCalls = 0;
    ProgressHook stopping{[](void*) { return ++hookCalls >= 3 ? 1 : 0; }, &state};
    walker.EncryptItem(Path("d") + kAll, options_, 60, &stopping, 0);
    // "." and ".." take the first two callbacks; the third stops before any file.
    EXPECT_TRUE(worker_.calls.empty());
    EXPECT_EQ(hookCalls, 3);
}

TEST_F(WalkTest, SkipsTheSystemFolderAndTheHomeFolder) {
    SelectionWalker walker(display_, 10, worker_);
    walker.EncryptItem(platform::WindowsFolder() + kAll, options_, 60, nullptr, 0);
    EXPECT_TRUE(display_.statuses.empty());
    EXPECT_TRUE(worker_.calls.empty());

    File("home/inside.txt");
    walker.EncryptItem(Path("home") + kAll, options_, 60, nullptr, 0);
    walker.EncryptItem(Path("home/inside.txt"), options_, 60, nullptr, 0);
    EXPECT_TRUE(worker_.calls.empty());
    EXPECT_TRUE(host_.messages.empty());
    // A folder that merely begins like the home folder is not inside it.
    File("homely/x.txt");
    walker.EncryptItem(Path("homely") + kAll, options_, 60, nullptr, 0);
    EXPECT_EQ(worker_.calls.size(), 1u);
}

TEST_F(WalkTest, DoubledSeparatorsAndPlainFileItems) {
    File("d/a.txt");
    SelectionWalker walker(display_, 10, worker_);
    walker.EncryptItem(root_.path() + kSep + kSep + "d" + kSep + kSep + "a.txt", options_, 60,
                       nullptr, 0);
    walker.EncryptItem(Path("d/missing.txt"), options_, 60, nullptr, 0);
    // A folder named without "*.*" is not expanded.
    walker.EncryptItem(Path("d"), options_, 60, nullptr, 0);
    EXPECT_EQ(worker_.calls, (std::vector<std::string>{Enc("d/a.txt", "d/a(txt).!!!")}));
}

TEST_F(WalkTest, LocalDecryptionDecryptsLocalFilesAndNoticesSharedOnesOnce) {
    MakeTree();
    File("sub/second.s!!");
    File("sub/z.!!!");
    ASSERT_TRUE(platform::SetAttributes(File("sub/ro.!!!"), platform::kAttrReadOnly));
    SelectionWalker walker(display_, 10, worker_);
    EXPECT_EQ(walker.DecryptItem(root_.path() + kAll, options_, 60, nullptr), 0);

    EXPECT_EQ(InListingOrder(worker_.calls),
              InListingOrder({"D " + Path("report(doc).!!!"), "D " + Path("sub/z.!!!")}));
    const std::string notice =
        "Files with the .s!* extenstions will not be decrypted. To decrypt these files, please "
        "chose \"Decrypt\" under the File Sharing menu item. [OK]";
    const std::string readOnly =
        "Cannot decrypt " + Path("sub/ro.!!!") + ": Read only file. [OK Cancel]";
    EXPECT_EQ(InListingOrder(host_.messages), InListingOrder({notice, readOnly}));
    EXPECT_EQ(options_.noticeShown, 1);
}

TEST_F(WalkTest, ShareDecryptionNoticesLocalFilesOnceAndOneNoticeSuppressesTheOther) {
    File("d/a.!!!");
    File("d/b.!!!");
    File("d/c.s!!");
    File("d/D.S!!");
    File("d/userpref.!!!");
    options_.mode = kModeFileShare;
    SelectionWalker walker(display_, 10, worker_);
    walker.DecryptItem(Path("d") + kAll, options_, 60, nullptr);
    EXPECT_EQ(InListingOrder(worker_.calls),
              InListingOrder({"D " + Path("d/D.S!!"), "D " + Path("d/c.s!!")}));
    EXPECT_EQ(host_.messages,
              (std::vector<std::string>{
                  "Files with the .!!* extenstions will not be decrypted. To decrypt these files, "
                  "please chose Decrypt menu item directly under the QOR menu. [OK]"}));

    // The same run in the other mode: the flag already set keeps the other notice back.
    options_.mode = kModeLocal;
    walker.DecryptItem(Path("d") + kAll, options_, 60, nullptr);
    EXPECT_EQ(host_.messages.size(), 1u);
    EXPECT_EQ(worker_.calls.size(), 4u);
}

TEST_F(WalkTest, DecryptionFindsTheEncryptedFormOfAPlainName) {
    File("d/report(doc).!!!");
    SelectionWalker walker(display_, 10, worker_);
    walker.DecryptItem(Path("d/report.doc"), options_, 60, nullptr);
    walker.DecryptItem(Path("d/absent.doc"), options_, 60, nullptr);
    EXPECT_EQ(worker_.calls, (std::vector<std::string>{"D " + Path("d/report(doc).!!!")}));
    EXPECT_TRUE(host_.messages.empty());
}

TEST_F(WalkTest, DecryptionMessagesIgnoreQuietAndUnknownModeEndsTheRun) {
    const std::string busy = File("busy.!!!");
    platform::File holder = platform::File::Open(busy, platform::kAccessRead, platform::kShareNone,
                                                 platform::kOpenExisting);
    ASSERT_TRUE(holder.IsOpen());
    SelectionWalker walker(display_, 10, worker_);
    walker.DecryptItem(busy, options_, 60, nullptr);
    EXPECT_EQ(
        host_.messages,
        (std::vector<std::string>{busy + " already opened by another application. [OK] [!]"}));
    holder.Close();

    options_.mode = 3;
    walker.DecryptItem(busy, options_, 60, nullptr);
    EXPECT_EQ(host_.messages.back(), "Error during decryption. [OK]");
    EXPECT_TRUE(walker.cancelled());
    EXPECT_EQ(display_.closes, 1);
    EXPECT_TRUE(worker_.calls.empty());
}

TEST_F(WalkTest, DepthLimitStopsDescendingWithOneMessage) {
    File("a.txt");
    File("l1/b.txt");
    File("l1/l2/c.txt");
    File("l1/l2/l3/d.txt");
    SelectionWalker walker(display_, 10, worker_);
    walker.SetDepthLimitForTesting(2);
    walker.EncryptItem(root_.path() + kAll, options_, 60, nullptr, 0);
    EXPECT_EQ(worker_.calls, (std::vector<std::string>{
                                 Enc("a.txt", "a(txt).!!!"),
                                 Enc("l1/b.txt", "l1/b(txt).!!!"),
                                 Enc("l1/l2/c.txt", "l1/l2/c(txt).!!!"),
                             }));
    EXPECT_EQ(host_.messages, (std::vector<std::string>{"Cannot encrypt \"" + Path("l1/l2/l3") +
                                                        "\": Path too deep. [OK Cancel]"}));
    host_.messages.clear();
    walker.EncryptItem(root_.path() + kAll, options_, 60, nullptr, 1);
    EXPECT_TRUE(host_.messages.empty());
    walker.DecryptItem(root_.path() + kAll, options_, 60, nullptr);
    EXPECT_EQ(host_.messages, (std::vector<std::string>{"Cannot decrypt \"" + Path("l1/l2/l3") +
                                                        "\": Path too deep. [OK Cancel]"}));
}

#ifndef _WIN32
// Paths beyond the 260-character limit cannot be made on Windows without special prefixes.
TEST_F(WalkTest, FoldersNestedBeyondTheLimitsDoNotCrashTheWalk) {
    std::filesystem::path deep = test::FsPath(root_.path());
    for (int level = 0; level < 200; ++level) {
        deep /= "d";
        std::filesystem::create_directory(deep);
        WriteText(test::PathText(deep / "f"), "x");
    }
    SelectionWalker walker(display_, 10, worker_);
    walker.EncryptItem(root_.path() + kAll, options_, 60, nullptr, 0);
    // One folder too deep to enter; above it, files whose names leave no room for an output
    // name (the last levels the walk may still enter).
    int tooDeep = 0;
    for (const std::string& message : host_.messages) {
        if (message.find("\": Path too deep. [OK Cancel]") != std::string::npos) {
            ++tooDeep;
        } else {
            EXPECT_NE(message.find(" cannot be encrypted.  Too many files with the same filename."),
                      std::string::npos)
                << message;
        }
    }
    EXPECT_EQ(tooDeep, 1);
    ASSERT_FALSE(worker_.calls.empty());
    for (const std::string& call : worker_.calls) {
        const std::string source = call.substr(2, call.find(" -> ") - 2);
        EXPECT_LE(source.size() + 10, platform::kMaxPath);
    }
    EXPECT_GT(worker_.calls.size(), 100u);
}

TEST_F(WalkTest, LinksAreNeverFollowed) {
    TempFolder outside;
    WriteText(outside / "secret.txt", "x");
    WriteText(outside / "secret.!!!", "x");
    File("in/plain.txt");
    std::filesystem::create_directory_symlink(test::FsPath(outside.path()),
                                              test::FsPath(Path("in/link")));
    std::filesystem::create_symlink(test::FsPath(outside / "secret.!!!"),
                                    test::FsPath(Path("in/alias.!!!")));
    SelectionWalker walker(display_, 10, worker_);
    walker.EncryptItem(Path("in") + kAll, options_, 60, nullptr, 0);
    EXPECT_EQ(worker_.calls, (std::vector<std::string>{Enc("in/plain.txt", "in/plain(txt).!!!")}));
    // A link to a file is refused like any other system file, before its name is looked at.
    EXPECT_EQ(host_.messages,
              (std::vector<std::string>{
                  "Cannot encrypt \"" + Path("in/alias.!!!") + "\": system file. [OK Cancel]",
                  "Cannot encrypt \"" + Path("in/link") + "\": system file. [OK Cancel]",
              }));
    // A selected link to a folder is not walked either, in neither direction.
    host_.messages.clear();
    worker_.calls.clear();
    walker.EncryptItem(Path("in/link") + kAll, options_, 60, nullptr, 0);
    walker.DecryptItem(Path("in/link") + kAll, options_, 60, nullptr);
    walker.DecryptItem(Path("in") + kAll, options_, 60, nullptr);
    EXPECT_TRUE(worker_.calls.empty());
    EXPECT_TRUE(host_.messages.empty());
}
#endif

TEST_F(WalkTest, SingleFileDriver) {
    const std::string file = File("d/a.!!!");
    const std::string readOnly = File("d/ro.!!!");
    ASSERT_TRUE(platform::SetAttributes(readOnly, platform::kAttrReadOnly));
    File("d/userpref.!!!");
    SelectionWalker walker(display_, 10, worker_);  // sets the continue flag

    std::string decrypted;
    EXPECT_EQ(DecryptSingleFile(file, &decrypted, 60, kModeFileShare, "pw", 2, display_, nullptr,
                                worker_),
              0);
    EXPECT_EQ(decrypted, file + ".plain");
    EXPECT_EQ(worker_.calls, (std::vector<std::string>{"D " + file}));
    EXPECT_EQ(worker_.lastOptions.mode, kModeFileShare);
    EXPECT_EQ(worker_.lastOptions.removeSource, 1);
    EXPECT_EQ(worker_.lastOptions.passwordLength, 2u);
    EXPECT_EQ(display_.statuses.back(), ShortenPath(file, 60));

    worker_.results[file] = -14;
    EXPECT_EQ(
        DecryptSingleFile(file, &decrypted, 60, kModeLocal, nullptr, 0, display_, nullptr, worker_),
        -14);
    EXPECT_EQ(DecryptSingleFile(Path("d/userpref.!!!"), &decrypted, 60, kModeLocal, nullptr, 0,
                                display_, nullptr, worker_),
              -1);
    EXPECT_EQ(DecryptSingleFile(Path("d/none.!!!"), &decrypted, 60, kModeLocal, nullptr, 0,
                                display_, nullptr, worker_),
              -1);
    EXPECT_TRUE(host_.messages.empty());

    // A wildcard names the file found; read-only is refused with that name.
    EXPECT_EQ(DecryptSingleFile(Path("d/ro.*"), &decrypted, 60, kModeLocal, nullptr, 0, display_,
                                nullptr, worker_),
              -1);
    const std::string tooDeep = root_.path() + kSep + std::string(261, 'p');
    host_.answers = {ui::kIdCancel};
    EXPECT_EQ(DecryptSingleFile(tooDeep, &decrypted, 60, kModeLocal, nullptr, 0, display_, nullptr,
                                worker_),
              -1);
    EXPECT_EQ(host_.messages,
              (std::vector<std::string>{
                  "Cannot decrypt \"" + readOnly + "\": Read only file. [OK Cancel]",
                  "Cannot decrypt \"" + tooDeep + "\": Path too deep. [OK Cancel]",
              }));
    EXPECT_EQ(display_.closes, 1);
    EXPECT_EQ(SingleFileContinueFlag(), 0);
    // After a Cancel nothing more is decrypted until a new walker starts a new run.
    const size_t calls = worker_.calls.size();
    EXPECT_EQ(
        DecryptSingleFile(file, &decrypted, 60, kModeLocal, nullptr, 0, display_, nullptr, worker_),
        -1);
    EXPECT_EQ(worker_.calls.size(), calls);
    SelectionWalker next(display_, 10, worker_);
    EXPECT_EQ(SingleFileContinueFlag(), 1);
}

}  // namespace
}  // namespace qor::engine
