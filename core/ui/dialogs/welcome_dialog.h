// The welcome dialog that opens the random seeding: the product bitmap, what the product is and
// where the user finds it, and OK.
//
// Control ids: 1101 the product bitmap, 1102 the welcome text, 1 (kIdOk) OK.
#pragma once

#include <qor/ui/dialog_model.h>

namespace qor::dialogs {

class WelcomeDialog : public ui::DialogModel {
  public:
    static constexpr int kBitmap = 1101;
    static constexpr int kText = 1102;

    WelcomeDialog();
    const ui::DialogTemplate& Template() const override { return template_; }

  private:
    ui::DialogTemplate template_;
};

}  // namespace qor::dialogs
