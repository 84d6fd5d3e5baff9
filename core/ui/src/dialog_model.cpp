#include <qor/ui/dialog_model.h>

namespace qor::ui {

void DialogModel::OnInit(DialogView&) {}

void DialogModel::OnCommand(DialogView& view, int controlId) {
    if (controlId == kIdOk) view.Close(kIdOk);
    if (controlId == kIdCancel) OnCancel(view);
}

void DialogModel::OnTextChanged(DialogView&, int) {}
void DialogModel::OnTimer(DialogView&, int) {}
void DialogModel::OnPointerMove(DialogView&, int, int) {}
void DialogModel::OnKey(DialogView&, int, int) {}
void DialogModel::OnButtonPressed(DialogView&, int) {}
void DialogModel::OnButtonReleased(DialogView&) {}

bool DialogModel::CanClose(DialogView&) {
    return true;
}

void DialogModel::OnCancel(DialogView& view) {
    if (CanClose(view)) view.Close(kIdCancel);
}

}  // namespace qor::ui
