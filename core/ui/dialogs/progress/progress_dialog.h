// The progress dialogs "Encrypting" and "Decrypting": the modal dialog inside which a run of the
// file engine works.
//
// The dialog starts its work itself, from a 100 ms one-shot timer once it is shown, so that the
// user sees it before the first file is touched. No thread is involved: the work runs inside that
// timer handler, and the interface stays alive only because the engine calls the dialog's
// progress hook between blocks and between files, and the hook handles the waiting input
// (view.PumpMessages). Cancel, Escape and the walk's own close requests therefore only set flags
// that the hook reports back to the engine; the work ends at the engine's next look at them, and
// the dialog closes itself when the work returns.
//
// What the work is belongs to the caller (a batch over a selection, one file opened directly, an
// AutoCrypt run), so it is handed in as a callback; RunBatch below is the batch over a selection.
//
// Control ids: 1021 the status line (the walk's current path), kIdCancel the "Cancel" button.
#pragma once

#include <qor/engine/crypt_options.h>
#include <qor/engine/selection_walk.h>
#include <qor/ui/dialog_host.h>
#include <qor/ui/dialog_model.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace qor::dialogs {

enum class ProgressKind {
    kEncrypt,
    kDecrypt,
    // The same dialog for the AutoCrypt runs, whose status line is not centred.
    kDecryptSystemModal,
};

class ProgressDialog : public ui::DialogModel, public engine::WalkDisplay {
  public:
    static constexpr int kStatusLine = 1021;
    static constexpr int kStartTimer = 101;
    static constexpr uint32_t kStartDelayMs = 100;
    static constexpr int kCursorFrames = 12;

    // The run itself. The job carries the dialog's hook and owner; its options are the work's to
    // set. Whatever the work returns, the dialog then closes.
    using Work = std::function<void(ProgressDialog& dialog, engine::FileJob& job)>;

    ProgressDialog(ProgressKind kind, Work work, ui::OwnerWindow owner = nullptr);
    ProgressDialog(const ProgressDialog&) = delete;
    ProgressDialog& operator=(const ProgressDialog&) = delete;

    // ---- The dialog ----
    const ui::DialogTemplate& Template() const override { return template_; }
    bool IsProgressDialog() const override { return true; }
    void OnInit(ui::DialogView& view) override;
    void OnTimer(ui::DialogView& view, int timerId) override;
    void OnPointerMove(ui::DialogView& view, int x, int y) override;
    void OnCancel(ui::DialogView& view) override;

    // ---- What the walk sees ----
    void SetStatusText(const std::string& text) override;
    // The walk's close request: the dialog treats it as Cancel, as a dialog does with WM_CLOSE.
    void Close() override;
    ui::OwnerWindow Owner() const override { return owner_; }

    // ---- The engine's progress hook ----
    // The hook to hand to the engine; its argument is the run's ProgressState (cancel flag
    // first, then this dialog).
    ProgressHook* Hook() { return &hook_; }
    engine::ProgressState& State() { return state_; }
    // Animates the cursor, handles the waiting input and answers the cancelled flag; also acts
    // as Cancel once the automation's progress cancel-after count is reached.
    int Progress();

    // ---- Ending the session ----
    // True while the dialog is open: the Win32 host answers the session-end query with no.
    bool RefusesSessionEnd() const { return open_; }
    // The host's session-end query: false (and the explanation shown) while refusing.
    bool QueryEndSession(ui::DialogView& view);

    // A message of the work owned by this dialog, with an OK button; the caption is
    // "QOR Vaultis" unless another is given.
    int ShowMessage(const std::string& text, const char* caption = nullptr);

    bool cancelled() const { return cancelled_ != 0; }
    bool working() const { return view_ != nullptr; }
    // Width of the status line in average characters, for shortening paths.
    int statusWidth() const { return statusWidth_; }
    // Progress callbacks seen in the current or last run.
    int progressCalls() const { return progressCalls_; }
    ProgressKind kind() const { return kind_; }

  private:
    static int ProgressCallback(void* argument);
    void Animate(ui::DialogView& view);
    void Cancel(ui::DialogView& view);

    ProgressKind kind_;
    Work work_;
    ui::OwnerWindow owner_;
    ui::DialogTemplate template_;
    engine::ProgressState state_;
    ProgressHook hook_{};
    int32_t cancelled_ = 0;
    int statusWidth_ = 0;
    bool open_ = false;
    // The view of the running work (null outside it): the hook and the walk reach the dialog
    // through it.
    ui::DialogView* view_ = nullptr;
    int frame_ = 0;
    int progressCalls_ = 0;
    int cancelAfter_ = ui::kNeverCancel;
};

// The work of a local or file-sharing run over a selection: element 0 is the folder, every
// further element a file or folder in it ("name\*.*" for a folder). Each item's path is element
// 0, the separator and element i; items are walked in order until one answers non-zero or the
// run is cancelled. Returns that non-zero answer, 0 when the run ended otherwise, -1 when the
// working memory could not be had (after saying so).
int RunBatch(ProgressDialog& dialog, const std::vector<std::string>& selection,
             engine::CryptOptions& options, bool encrypt, bool quiet, int statusWidth,
             engine::FileWorker& worker = engine::EngineWorker());

}  // namespace qor::dialogs
