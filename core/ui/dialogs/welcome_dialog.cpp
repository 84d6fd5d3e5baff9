#include "welcome_dialog.h"

namespace qor::dialogs {

using namespace ui;

WelcomeDialog::WelcomeDialog() {
    template_.caption = "QOR Vaultis";
    template_.rect = {0, 0, 260, 118};
    template_.style = kStyleCentered | kStyleModalFrame | kStyleSystemMenu;
    template_.controls = {
        Bitmap(kBitmap, "productBitmap", {7, 7, 48, 48}),
        Static("Welcome to QOR Vaultis.  This utility is accessed as an additional menu item in "
               "the Windows Explorer and the Start menu.  This new menu will enable you to "
               "encrypt and decrypt files as well as configure and maintain the AutoCrypt List.",
               {64, 7, 189, 72}, kText),
        DefPushButton(kIdOk, "OK", {105, 94, 50, 14}),
    };
}

}  // namespace qor::dialogs
