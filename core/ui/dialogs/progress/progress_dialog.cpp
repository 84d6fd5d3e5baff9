#include "progress_dialog.h"

#include <qor/platform/files.h>
#include <qor/platform/system.h>

#include <new>
#include <utility>

namespace qor::dialogs {

using namespace ui;

namespace {

constexpr char kCaption[] = "QOR Vaultis";
// Working memory reserved per selected entry before the run, so that a run that could not
// finish for want of memory does not start.
constexpr size_t kBytesPerEntry = 17;
// Walkers are created with this number; the walk never reads it.
constexpr int kWalkReserved = 10;

bool Encrypting(ProgressKind kind) {
    return kind == ProgressKind::kEncrypt;
}

}  // namespace

ProgressDialog::ProgressDialog(ProgressKind kind, Work work, OwnerWindow owner)
    : kind_(kind), work_(std::move(work)), owner_(owner) {
    const bool encrypting = Encrypting(kind);
    template_.caption = encrypting ? "Encrypting" : "Decrypting";
    template_.rect = {0, 0, 186, 62};
    template_.style = kStyleCentered | kStyleModalFrame;
    if (kind == ProgressKind::kDecryptSystemModal) template_.style |= kStyleSystemModal;
    ControlTemplate status = Static("", {7, 22, 172, 8}, kStatusLine);
    status.centered = kind != ProgressKind::kDecryptSystemModal;
    template_.controls = {
        Static(encrypting ? "Encrypting..." : "Decrypting...", {7, 7, 172, 8}),
        status,
        DefPushButton(kIdCancel, "Cancel", {68, 40, 50, 14}),
    };
    // Dialog units are a quarter of the average character width.
    statusWidth_ = status.rect.width / 4;
    state_.dialog = this;
    hook_.callback = &ProgressDialog::ProgressCallback;
    hook_.argument = &state_;
}

void ProgressDialog::OnInit(DialogView& view) {
    open_ = true;
    view.StartTimer(kStartTimer, kStartDelayMs);
    view.Focus(kStatusLine);
}

void ProgressDialog::OnTimer(DialogView& view, int timerId) {
    if (timerId != kStartTimer) return;
    view.StopTimer(kStartTimer);
    if (cancelled_ != 0 || view_ != nullptr) return;

    view_ = &view;
    state_.cancelled = 0;
    progressCalls_ = 0;
    cancelAfter_ = CurrentHost().ProgressCancelAfter();
    frame_ = 0;
    view.SetCursor(CursorShape::kAnimation, frame_);

    engine::FileJob job{0, &hook_, owner_, nullptr};
    if (work_) work_(*this, job);

    // The dialog has no way to ask what the cursor was; the arrow is what it shows otherwise.
    view.SetCursor(CursorShape::kArrow);
    view_ = nullptr;
    open_ = false;
    view.Close(kIdCancel);
}

void ProgressDialog::OnPointerMove(DialogView& view, int, int) {
    if (view_ != nullptr) view.SetCursor(CursorShape::kAnimation, frame_);
}

void ProgressDialog::OnCancel(DialogView& view) {
    Cancel(view);
}

void ProgressDialog::Cancel(DialogView& view) {
    cancelled_ = 1;
    state_.cancelled = 1;
    // Before the work started nothing is left to wait for; during it, the session stays
    // refused until the engine has noticed the flag and the work has returned.
    if (view_ == nullptr) open_ = false;
    view.Close(kIdCancel);
}

void ProgressDialog::SetStatusText(const std::string& text) {
    if (view_ != nullptr) view_->SetStatus(kStatusLine, text);
}

void ProgressDialog::Close() {
    if (view_ != nullptr) Cancel(*view_);
}

int ProgressDialog::ShowMessage(const std::string& text, const char* caption) {
    const char* shown = caption != nullptr ? caption : kCaption;
    if (view_ != nullptr)
        return view_->ShowMessage(text, shown, MessageButtons::kOk, MessageIcon::kNone);
    return CurrentHost().ShowMessage(owner_, text, shown, MessageButtons::kOk, MessageIcon::kNone);
}

bool ProgressDialog::QueryEndSession(DialogView& view) {
    if (!RefusesSessionEnd()) return true;
    view.ShowMessage(Encrypting(kind_) ? "You can't quit Windows during encryption.  Either "
                                         "cancel the encryption or wait until it completes."
                                       : "You can't quit Windows during decryption.  Either "
                                         "cancel the decryption or wait until it completes.",
                     kCaption, MessageButtons::kOk, MessageIcon::kNone);
    return false;
}

void ProgressDialog::Animate(DialogView& view) {
    int64_t index = platform::CalendarSeconds() % kCursorFrames;
    if (index < 0) index += kCursorFrames;
    // However often the engine calls, the frame changes only when the second does.
    if (index != frame_) {
        frame_ = static_cast<int>(index);
        view.SetCursor(CursorShape::kAnimation, frame_);
    }
}

int ProgressDialog::Progress() {
    ++progressCalls_;
    if (view_ == nullptr) return cancelled_;
    DialogView& view = *view_;
    Animate(view);
    // The engine sets the flag itself when the user answers Cancel in one of its messages.
    if (state_.cancelled != 0 && cancelled_ == 0) Cancel(view);
    if (cancelled_ == 0) view.PumpMessages();
    if (cancelled_ == 0 && cancelAfter_ != kNeverCancel && progressCalls_ >= cancelAfter_)
        Cancel(view);
    if (cancelled_ != 0) state_.cancelled = 1;
    return cancelled_;
}

int ProgressDialog::ProgressCallback(void* argument) {
    auto* state = static_cast<engine::ProgressState*>(argument);
    if (state == nullptr || state->dialog == nullptr) return 0;
    return static_cast<ProgressDialog*>(state->dialog)->Progress();
}

int RunBatch(ProgressDialog& dialog, const std::vector<std::string>& selection,
             engine::CryptOptions& options, bool encrypt, bool quiet, int statusWidth,
             engine::FileWorker& worker) {
    std::vector<char> working;
    try {
        working.resize(kBytesPerEntry * selection.size());
    } catch (const std::bad_alloc&) {
        dialog.ShowMessage(encrypt ? "Not enough memory to do encryption."
                                   : "Not enough memory to do decryption.");
        return -1;
    }

    engine::SelectionWalker walker(dialog, kWalkReserved, worker);
    for (size_t i = 1; i < selection.size() && !dialog.cancelled(); ++i) {
        const std::string item = selection[0] + platform::kSeparator + selection[i];
        const int answer =
            encrypt ? walker.EncryptItem(item, options, statusWidth, dialog.Hook(), quiet ? 1 : 0)
                    : walker.DecryptItem(item, options, statusWidth, dialog.Hook());
        if (answer != 0) return answer;
    }
    return 0;
}

}  // namespace qor::dialogs
