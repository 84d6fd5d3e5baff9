// The about box: the product bitmap over the whole window, an OK button, and the question
// cursor while it is open. A left click in the window switches between the two product
// bitmaps.
//
// The dialog framework reports no mouse clicks as such. The first bitmap covers the whole
// window, so a click anywhere but on OK is a click on the bitmap control, which hosts report
// as a command from it (a notifying static does so on Windows); that command is the click.
//
// The window is 455 x 300 pixels with OK at (381, 257), 50 x 25 pixels. The template holds the
// same geometry in dialog units of an average 8-point dialog font (6 x 13 pixels per base
// unit). The statics with the product's name and version are what a terminal shows of it.
//
// Control ids: 1401 the bitmap, 1402 the product name, 1403 the version, 1 (kIdOk) OK.
#pragma once

#include <qor/ui/dialog_host.h>
#include <qor/ui/dialog_model.h>

namespace qor::dialogs {

class AboutBox : public ui::DialogModel {
  public:
    static constexpr int kBitmap = 1401;
    static constexpr int kProductName = 1402;
    static constexpr int kVersion = 1403;

    static constexpr int kWidthPixels = 455;
    static constexpr int kHeightPixels = 300;
    static constexpr int kOkLeftPixels = 381;
    static constexpr int kOkTopPixels = 257;
    static constexpr int kOkWidthPixels = 50;
    static constexpr int kOkHeightPixels = 25;

    // The two product bitmaps by resource name; the first is shown when the box opens.
    static constexpr const char* kBitmapNames[2] = {"aboutBitmap1", "aboutBitmap2"};

    AboutBox();
    const ui::DialogTemplate& Template() const override { return template_; }
    void OnInit(ui::DialogView& view) override;
    void OnCommand(ui::DialogView& view, int controlId) override;
    void OnPointerMove(ui::DialogView& view, int x, int y) override;
    void OnCancel(ui::DialogView& view) override;

    // 0 or 1: the bitmap shown now.
    int bitmap() const { return bitmap_; }

  private:
    ui::DialogTemplate template_;
    int bitmap_ = 0;
};

// Shows the about box unless another of the library's dialogs is open (the dialog-open flag is
// clear); the flag is cleared while the box is on the screen and set again afterwards. The
// shared generator gets the system's entropy before the box opens.
void ShowAboutBox(ui::OwnerWindow owner);

}  // namespace qor::dialogs
