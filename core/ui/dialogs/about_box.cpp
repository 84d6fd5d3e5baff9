#include "about_box.h"

#include <qor/profile/shared_random.h>

#include "dialog_open_flag.h"

namespace qor::dialogs {

using namespace ui;

namespace {

// Pixels to dialog units for the 6 x 13 pixel base unit of the dialog font.
constexpr int16_t X(int pixels) {
    return static_cast<int16_t>((pixels * 4 + 3) / 6);
}
constexpr int16_t Y(int pixels) {
    return static_cast<int16_t>((pixels * 8 + 6) / 13);
}

}  // namespace

AboutBox::AboutBox() {
    template_.caption = "About QOR Vaultis";
    template_.rect = {0, 0, X(kWidthPixels), Y(kHeightPixels)};
    template_.style = kStyleCentered | kStyleModalFrame;
    template_.controls = {
        Bitmap(kBitmap, kBitmapNames[0], {0, 0, X(kWidthPixels), Y(kHeightPixels)}),
        Static("QOR Vaultis", {X(16), Y(232), X(200), Y(20)}, kProductName),
        Static("Version 1.1", {X(16), Y(257), X(200), Y(20)}, kVersion),
        DefPushButton(kIdOk, "OK",
                      {X(kOkLeftPixels), Y(kOkTopPixels), X(kOkWidthPixels), Y(kOkHeightPixels)}),
    };
}

void AboutBox::OnInit(DialogView& view) {
    bitmap_ = 0;
    view.SetCursor(CursorShape::kQuestion);
}

void AboutBox::OnPointerMove(DialogView& view, int, int) {
    // The window's own cursor would come back on every move otherwise.
    view.SetCursor(CursorShape::kQuestion);
}

void AboutBox::OnCommand(DialogView& view, int controlId) {
    if (controlId == kBitmap) {
        bitmap_ = 1 - bitmap_;
        view.SetText(kBitmap, kBitmapNames[bitmap_]);
        return;
    }
    if (controlId == kIdOk) {
        view.SetCursor(CursorShape::kArrow);
        view.Close(kIdOk);
        return;
    }
    DialogModel::OnCommand(view, controlId);
}

void AboutBox::OnCancel(DialogView& view) {
    // Escape or the close box must not leave the question cursor behind either.
    view.SetCursor(CursorShape::kArrow);
    DialogModel::OnCancel(view);
}

void ShowAboutBox(OwnerWindow owner) {
    if (!DialogOpenFlag()) return;
    SetDialogOpenFlag(false);
    // Set back however the box ends, so that a failure cannot lock the about box for good.
    struct Reopen {
        ~Reopen() { SetDialogOpenFlag(true); }
    } reopen;
    // The pointer's position is not known outside a dialog (a terminal has none).
    profile::GatherSystemEntropy(0, 0);
    AboutBox box;
    CurrentHost().RunModal(box, owner);
}

}  // namespace qor::dialogs
