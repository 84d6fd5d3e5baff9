// The progress dialogs: the work starts from the dialog's timer only, its status lines reach the
// transcript, the cursor steps once per second however often the engine calls, Cancel (the
// button, the automation's cancel-after, the engine's and the walk's own Cancel) stops the work,
// the dialog closes itself when the work ends, and the batch over a selection walks the items in
// order and stops at a cancel.
#include <gtest/gtest.h>
#include <qor/engine/selection_walk.h>
#include <qor/platform/files.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "dialog_test_support.h"
#include "progress_dialog.h"

namespace qor::dialogs {
namespace {

using namespace qor::ui;
using engine::FileJob;
using platform::kSeparator;

const std::string kSep(1, kSeparator);

// Records what the user would see of the cursor and the status line; Cancel can be pressed
// from the n-th pumping of the messages, as a user's click arrives while the engine works.
class ProgressView : public test::TestView {
  public:
    explicit ProgressView(ProgressDialog& dialog) : TestView(dialog.Template()), dialog_(dialog) {}
    void SetCursor(CursorShape shape, int frame) override {
        cursors.push_back(shape == CursorShape::kAnimation ? "w" + std::to_string(frame)
                          : shape == CursorShape::kArrow   ? "arrow"
                                                           : "other");
    }
    void SetStatus(int id, std::string_view text) override {
        SetText(id, text);
        statuses.emplace_back(text);
    }
    void PumpMessages() override {
        if (++pumps == cancelAtPump) dialog_.OnCommand(*this, kIdCancel);
    }

    std::vector<std::string> cursors;
    std::vector<std::string> statuses;
    int pumps = 0;
    int cancelAtPump = -1;

  private:
    ProgressDialog& dialog_;
};

int CallHook(FileJob& job) {
    return job.progress->callback(job.progress->argument);
}

// A stand-in for the engine: files of `blocks` blocks each, the hook asked after every block; a
// file whose hook answers non-zero is abandoned and the run ends.
struct FakeEngine {
    std::vector<std::string> files{"a.txt", "b.txt", "c.txt"};
    int blocks = 4;
    std::vector<std::string> started;
    std::vector<int> answers;

    void operator()(ProgressDialog& dialog, FileJob& job) {
        for (const std::string& file : files) {
            if (dialog.cancelled()) return;
            started.push_back(file);
            dialog.SetStatusText(file);
            for (int block = 0; block < blocks; ++block) {
                answers.push_back(CallHook(job));
                if (answers.back() != 0) return;
            }
        }
    }
};

class ProgressTest : public test::DialogTest {
  protected:
    // A file of a few bytes, and the folders before it.
    std::string MakeFile(const std::string& relative) {
        std::string path = Folder("sel");
        size_t at = 0;
        for (size_t end; (end = relative.find('/', at)) != std::string::npos; at = end + 1) {
            path += kSep + relative.substr(at, end - at);
            platform::CreateDirectory(path);
        }
        path += kSep + relative.substr(at);
        std::ofstream(path, std::ios::binary) << "data";
        return path;
    }
    std::string Selected(const std::string& relative) {
        std::string path = Folder("sel") + kSep + relative;
        for (char& c : path)
            if (c == '/') c = kSeparator;
        return path;
    }
    // The status line of a file of the selection, as a dialog `width` characters wide shows it.
    std::string Status(const std::string& relative, int width) {
        return "status: " + engine::ShortenPath(Selected(relative), width);
    }
};

// A recorder in place of the engine's per-file work; each file asks the hook once, as the engine
// does before its first block, and may answer the engine's Cancel (the run's flag set).
class RecordingWorker : public engine::FileWorker {
  public:
    int Encrypt(FileJob& job, const std::string& source, const std::string& output) override {
        calls.push_back("E " + source + " -> " + output);
        return Work(job);
    }
    int Decrypt(FileJob& job, const std::string& encrypted, std::string* decrypted) override {
        calls.push_back("D " + encrypted);
        *decrypted = encrypted + ".plain";
        return Work(job);
    }
    int SelfExtractingName(const std::string& source, std::string* name) override {
        *name = source + ".exe";
        return 0;
    }
    int ChooseAnotherName(FileJob&, const std::string&, std::string*) override { return 0; }

    std::vector<std::string> calls;
    std::vector<FileJob> jobs;
    int cancelAtCall = -1;  // the engine's own Cancel, in the n-th file (from 1)

  private:
    int Work(FileJob& job) {
        jobs.push_back(job);
        if (static_cast<int>(calls.size()) == cancelAtCall) engine::CancelRun(job);
        return CallHook(job) != 0 ? kStatusCancelled : 0;
    }
};

TEST_F(ProgressTest, TheWorkStartsFromTheTimerOnlyAndTheDialogClosesItselfAfterIt) {
    test::ScriptedRun run("");
    int works = 0;
    FileJob seen;
    bool refusedWhileWorking = false;
    ProgressDialog dialog(
        ProgressKind::kEncrypt,
        [&](ProgressDialog& d, FileJob& job) {
            ++works;
            seen = job;
            refusedWhileWorking = d.RefusesSessionEnd();
        },
        nullptr);
    ProgressView view(dialog);

    dialog.OnInit(view);
    EXPECT_EQ(works, 0);
    EXPECT_TRUE(dialog.RefusesSessionEnd());
    view.RunTimersUntil(dialog, 99);
    EXPECT_EQ(works, 0);
    EXPECT_FALSE(view.closed());
    view.RunTimersUntil(dialog, 100);
    EXPECT_EQ(works, 1);
    EXPECT_TRUE(refusedWhileWorking);
    EXPECT_EQ(seen.progress, dialog.Hook());
    EXPECT_EQ(seen.quiet, 0);
    EXPECT_EQ(dialog.State().dialog, &dialog);
    // The work ran to its end: the dialog closed itself, the one-shot timer is gone, the
    // session may end again.
    EXPECT_TRUE(view.closed());
    EXPECT_EQ(view.result(), kIdCancel);
    view.RunTimersUntil(dialog, 10'000);
    EXPECT_EQ(works, 1);
    EXPECT_FALSE(dialog.RefusesSessionEnd());
    EXPECT_FALSE(dialog.cancelled());
    run.ExpectClean();
}

TEST_F(ProgressTest, TemplatesAndTheTranscriptOfARun) {
    struct Case {
        ProgressKind kind;
        const char* caption;
        const char* text;
        bool centred;
    };
    for (const Case& c :
         {Case{ProgressKind::kEncrypt, "Encrypting", "Encrypting...", true},
          Case{ProgressKind::kDecrypt, "Decrypting", "Decrypting...", true},
          Case{ProgressKind::kDecryptSystemModal, "Decrypting", "Decrypting...", false}}) {
        SCOPED_TRACE(c.caption);
        test::ScriptedRun run("");
        FakeEngine engine;
        engine.files = {"C:\\a.txt", "C:\\b.txt"};
        ProgressDialog dialog(c.kind, std::ref(engine));
        const DialogTemplate& t = dialog.Template();
        ASSERT_EQ(t.controls.size(), 3u);
        EXPECT_EQ(t.caption, c.caption);
        EXPECT_EQ(t.controls[0].text, c.text);
        EXPECT_EQ(t.controls[1].id, ProgressDialog::kStatusLine);
        EXPECT_EQ(t.controls[1].text, "");
        EXPECT_EQ(t.controls[1].centered, c.centred);
        // The log-on decryption's dialog stays above every other window.
        EXPECT_EQ((t.style & kStyleSystemModal) != 0, !c.centred);
        EXPECT_EQ(t.controls[2].id, kIdCancel);
        EXPECT_EQ(t.controls[2].text, "Cancel");
        EXPECT_EQ(t.controls[2].kind, ControlKind::kDefPushButton);
        // The status line's width in average characters: four dialog units each.
        EXPECT_EQ(dialog.statusWidth(), t.controls[1].rect.width / 4);

        EXPECT_EQ(CurrentHost().RunModal(dialog), kIdCancel);
        EXPECT_EQ(run.transcript, (test::Lines{std::string("dialog: ") + c.caption,
                                               "status: C:\\a.txt", "status: C:\\b.txt"}));
        EXPECT_EQ(engine.answers, std::vector<int>(8, 0));
        EXPECT_EQ(dialog.progressCalls(), 8);
        run.ExpectClean();
    }
}

TEST_F(ProgressTest, TheCursorStepsOncePerSecondAndTheArrowComesBackAfterTheRun) {
    test::ScriptedRun run("");
    now = 1'000'000;  // frame 4 of 12
    ProgressView* viewSeen = nullptr;
    std::vector<size_t> cursorsAfterBurst;
    ProgressDialog dialog(ProgressKind::kEncrypt, [&](ProgressDialog&, FileJob& job) {
        for (int second = 0; second < 14; ++second, ++now) {
            for (int call = 0; call < 300; ++call)
                EXPECT_EQ(CallHook(job), 0);
            cursorsAfterBurst.push_back(viewSeen->cursors.size());
        }
        // A mouse movement shows the current frame again.
        dialog.OnPointerMove(*viewSeen, 5, 5);
    });
    ProgressView view(dialog);
    viewSeen = &view;
    dialog.OnInit(view);
    view.RunTimersUntil(dialog, 100);

    // The first frame at the start, then one frame per second through all twelve and round
    // again; after the run the ordinary cursor.
    std::vector<std::string> expected{"w0"};
    for (int second = 0; second < 14; ++second)
        expected.push_back("w" + std::to_string((4 + second) % 12));
    expected.push_back("w5");
    expected.push_back("arrow");
    EXPECT_EQ(view.cursors, expected);
    EXPECT_EQ(cursorsAfterBurst.front(), 2u);
    EXPECT_EQ(cursorsAfterBurst.back(), 15u);
    EXPECT_TRUE(view.closed());
    // Outside a run the pointer leaves the cursor alone.
    dialog.OnPointerMove(view, 1, 1);
    EXPECT_EQ(view.cursors.back(), "arrow");
}

TEST_F(ProgressTest, CancelStopsTheWorkAtTheEnginesNextLook) {
    test::ScriptedRun run("");
    {
        // Cancel pressed while the first of three files is being processed.
        FakeEngine engine;
        ProgressDialog dialog(ProgressKind::kEncrypt, std::ref(engine));
        ProgressView view(dialog);
        view.cancelAtPump = 2;
        dialog.OnInit(view);
        view.RunTimersUntil(dialog, 100);
        EXPECT_EQ(engine.started, std::vector<std::string>{"a.txt"});
        EXPECT_EQ(engine.answers, (std::vector<int>{0, 1}));
        EXPECT_TRUE(dialog.cancelled());
        EXPECT_EQ(dialog.State().cancelled, 1);
        EXPECT_TRUE(view.closed());
        EXPECT_EQ(view.result(), kIdCancel);
        EXPECT_EQ(view.pumps, 2);  // nothing is pumped once cancelled
        EXPECT_FALSE(dialog.RefusesSessionEnd());
    }
    {
        // The engine's own Cancel (a message box answered Cancel) sets the run's flag; the
        // dialog takes it for Cancel at the next call.
        ProgressDialog dialog(ProgressKind::kDecrypt, [&](ProgressDialog& d, FileJob& job) {
            EXPECT_EQ(CallHook(job), 0);
            engine::CancelRun(job);
            EXPECT_EQ(CallHook(job), 1);
            EXPECT_TRUE(d.cancelled());
        });
        ProgressView view(dialog);
        dialog.OnInit(view);
        view.RunTimersUntil(dialog, 100);
        EXPECT_TRUE(view.closed());
        EXPECT_EQ(view.pumps, 1);
    }
    {
        // Escape before the timer fired: the work never starts.
        int works = 0;
        ProgressDialog dialog(ProgressKind::kEncrypt, [&](ProgressDialog&, FileJob&) { ++works; });
        ProgressView view(dialog);
        dialog.OnInit(view);
        dialog.OnCommand(view, kIdCancel);
        EXPECT_TRUE(view.closed());
        EXPECT_FALSE(dialog.RefusesSessionEnd());
        view.RunTimersUntil(dialog, 1000);
        EXPECT_EQ(works, 0);
    }
    run.ExpectClean();
}

TEST_F(ProgressTest, TheAutomationsCancelAfterActsAsCancelAtTheNthCall) {
    {
        test::ScriptedRun run("progress cancel-after=3\n");
        FakeEngine engine;
        ProgressDialog dialog(ProgressKind::kEncrypt, std::ref(engine));
        EXPECT_EQ(CurrentHost().RunModal(dialog), kIdCancel);
        EXPECT_EQ(engine.started, std::vector<std::string>{"a.txt"});
        EXPECT_EQ(engine.answers, (std::vector<int>{0, 0, 1}));
        EXPECT_TRUE(dialog.cancelled());
        EXPECT_EQ(dialog.State().cancelled, 1);
        EXPECT_EQ(run.transcript, (test::Lines{"dialog: Encrypting", "status: a.txt"}));
        run.ExpectClean();
    }
    {
        // Counted afresh for each dialog: the second run has no progress line and completes.
        test::ScriptedRun run("progress cancel-after=5\n");
        FakeEngine first;
        ProgressDialog dialog(ProgressKind::kEncrypt, std::ref(first));
        EXPECT_EQ(CurrentHost().RunModal(dialog), kIdCancel);
        EXPECT_EQ(first.started, (std::vector<std::string>{"a.txt", "b.txt"}));
        FakeEngine second;
        ProgressDialog again(ProgressKind::kEncrypt, std::ref(second));
        EXPECT_EQ(CurrentHost().RunModal(again), kIdCancel);
        EXPECT_EQ(second.answers, std::vector<int>(12, 0));
        EXPECT_FALSE(again.cancelled());
        run.ExpectClean();
    }
}

TEST_F(ProgressTest, TheSessionCannotEndWhileTheDialogWorks) {
    test::ScriptedRun run("");
    for (ProgressKind kind : {ProgressKind::kEncrypt, ProgressKind::kDecrypt}) {
        ProgressView* viewSeen = nullptr;
        bool allowed = true;
        int hookAfter = -1;
        ProgressDialog dialog(kind, [&](ProgressDialog& d, FileJob& job) {
            allowed = d.QueryEndSession(*viewSeen);
            hookAfter = CallHook(job);  // the session went on, and so does the work
        });
        ProgressView view(dialog);
        viewSeen = &view;
        dialog.OnInit(view);
        view.RunTimersUntil(dialog, 100);
        EXPECT_FALSE(allowed);
        EXPECT_EQ(hookAfter, 0);
        EXPECT_TRUE(dialog.QueryEndSession(view));
        const std::string what = kind == ProgressKind::kEncrypt ? "encryption" : "decryption";
        EXPECT_EQ(view.messages,
                  std::vector<std::string>{"QOR Vaultis: You can't quit Windows during " + what +
                                           ".  Either cancel the " + what +
                                           " or wait until it completes."});
    }
    run.ExpectClean();
}

TEST_F(ProgressTest, ABatchWalksTheSelectionInOrderThroughTheDialog) {
    MakeFile("b.txt");
    MakeFile("docs/x.txt");
    MakeFile("docs/y.txt");
    MakeFile("a.txt");
    test::ScriptedRun run("");
    RecordingWorker worker;
    const std::vector<std::string> selection{Folder("sel"), "b.txt", "docs" + kSep + "*.*",
                                             "a.txt"};
    engine::CryptOptions options;
    int answer = -99;
    int width = 0;
    ProgressDialog dialog(ProgressKind::kEncrypt, [&](ProgressDialog& d, FileJob&) {
        width = d.statusWidth();
        answer = RunBatch(d, selection, options, true, false, d.statusWidth(), worker);
    });
    EXPECT_EQ(CurrentHost().RunModal(dialog), kIdCancel);
    EXPECT_EQ(answer, 0);
    auto enc = [&](const std::string& from, const std::string& to) {
        return "E " + Selected(from) + " -> " + Selected(to);
    };
    std::vector<std::string> expected{
        enc("b.txt", "b(txt).!!!"), enc("docs/x.txt", "docs/x(txt).!!!"),
        enc("docs/y.txt", "docs/y(txt).!!!"), enc("a.txt", "a(txt).!!!")};
#ifdef _WIN32
    // Windows lists a folder in the file system's order.
    std::sort(worker.calls.begin() + 1, worker.calls.end() - 1);
#endif
    EXPECT_EQ(worker.calls, expected);
    // Every file's job has the dialog's hook and owner and the run's options.
    for (const FileJob& job : worker.jobs) {
        EXPECT_EQ(job.progress, dialog.Hook());
        EXPECT_EQ(job.options, &options);
        EXPECT_EQ(job.quiet, 0);
    }
    ASSERT_EQ(run.transcript.size(), 8u);
    EXPECT_EQ(run.transcript[0], "dialog: Encrypting");
    EXPECT_EQ(run.transcript[1], "status: Searching...");
    EXPECT_EQ(run.transcript[2], Status("b.txt", width));
    EXPECT_EQ(run.transcript[3], "status: Searching...");
    EXPECT_EQ(run.transcript[6], "status: Searching...");
    EXPECT_EQ(run.transcript[7], Status("a.txt", width));
    EXPECT_FALSE(dialog.cancelled());
    run.ExpectClean();
}

TEST_F(ProgressTest, ABatchStopsAtCancelAndDecryptsThroughTheDecryptionWalk) {
    MakeFile("one.txt");
    MakeFile("two.txt");
    MakeFile("three.txt");
    const std::vector<std::string> selection{Folder("sel"), "one.txt", "two.txt", "three.txt"};
    {
        // Cancel while the first of three files is processed (the walk asks the hook once per
        // entry, the file once more): the remaining entries are not started.
        test::ScriptedRun run("progress cancel-after=2\n");
        RecordingWorker worker;
        engine::CryptOptions options;
        ProgressDialog dialog(ProgressKind::kEncrypt, [&](ProgressDialog& d, FileJob&) {
            EXPECT_EQ(RunBatch(d, selection, options, true, false, d.statusWidth(), worker), 0);
        });
        EXPECT_EQ(CurrentHost().RunModal(dialog), kIdCancel);
        EXPECT_EQ(worker.calls, std::vector<std::string>{"E " + Selected("one.txt") + " -> " +
                                                         Selected("one(txt).!!!")});
        EXPECT_TRUE(dialog.cancelled());
        EXPECT_EQ(run.transcript.size(), 3u);
        run.ExpectClean();
    }
    {
        // Cancel in the engine's message about the first file.
        test::ScriptedRun run("");
        RecordingWorker worker;
        worker.cancelAtCall = 1;
        engine::CryptOptions options;
        ProgressDialog dialog(ProgressKind::kEncrypt, [&](ProgressDialog& d, FileJob&) {
            RunBatch(d, selection, options, true, false, d.statusWidth(), worker);
        });
        CurrentHost().RunModal(dialog);
        EXPECT_EQ(worker.calls.size(), 1u);
        EXPECT_TRUE(dialog.cancelled());
        run.ExpectClean();
    }
    {
        // Cancel in one of the walk's own refusals closes the dialog as Cancel does.
        const std::string locked = MakeFile("locked.txt");
        ASSERT_TRUE(platform::SetAttributes(locked, platform::kAttrReadOnly));
        test::ScriptedRun run("message \"Read only file\" -> Cancel\n");
        RecordingWorker worker;
        engine::CryptOptions options;
        ProgressDialog dialog(ProgressKind::kEncrypt, [&](ProgressDialog& d, FileJob&) {
            RunBatch(d, {Folder("sel"), "locked.txt", "one.txt"}, options, true, false,
                     d.statusWidth(), worker);
        });
        CurrentHost().RunModal(dialog);
        EXPECT_TRUE(worker.calls.empty());
        EXPECT_TRUE(dialog.cancelled());
        EXPECT_EQ(run.transcript, (test::Lines{"dialog: Encrypting", "status: Searching...",
                                               "message: QOR Vaultis: Cannot encrypt \"" + locked +
                                                   "\": Read only file. [OK/Cancel]"}));
        run.ExpectClean();
        ASSERT_TRUE(platform::SetAttributes(locked, 0));
    }
    {
        // Decryption: a plain name stands for its encrypted file.
        MakeFile("four(txt).!!!");
        test::ScriptedRun run("");
        RecordingWorker worker;
        engine::CryptOptions options;
        options.mode = engine::kModeLocal;
        ProgressDialog dialog(ProgressKind::kDecrypt, [&](ProgressDialog& d, FileJob&) {
            EXPECT_EQ(RunBatch(d, {Folder("sel"), "four.txt"}, options, false, false,
                               d.statusWidth(), worker),
                      0);
        });
        CurrentHost().RunModal(dialog);
        EXPECT_EQ(worker.calls, std::vector<std::string>{"D " + Selected("four(txt).!!!")});
        EXPECT_EQ(run.transcript.front(), "dialog: Decrypting");
        run.ExpectClean();
    }
}

}  // namespace
}  // namespace qor::dialogs
