#include <qor/ui/dialog_view.h>

namespace qor::ui {

std::string DialogView::GetText(int id) const {
    std::string text(TextLength(id) + 1, '\0');
    text.resize(CopyText(id, text.data(), text.size()));
    return text;
}

SecureBuffer DialogView::GetSecret(int id) const {
    // One byte more for the terminator CopyText writes; the result drops it.
    SecureBuffer buffer(TextLength(id) + 1);
    size_t length = CopyText(id, reinterpret_cast<char*>(buffer.data()), buffer.size());
    SecureBuffer secret(buffer.data(), length);
    return secret;
}

}  // namespace qor::ui
