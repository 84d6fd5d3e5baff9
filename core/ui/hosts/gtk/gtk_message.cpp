#include "gtk_message.h"

#include <string>

#include "gtk_automation.h"
#include "src/message_box.h"

namespace qor::ui::gtk {

namespace {

GtkMessageType TypeOf(MessageIcon icon) {
    switch (icon) {
        case MessageIcon::kInformation:
            return GTK_MESSAGE_INFO;
        case MessageIcon::kExclamation:
            return GTK_MESSAGE_WARNING;
        case MessageIcon::kStop:
            return GTK_MESSAGE_ERROR;
        case MessageIcon::kQuestion:
            return GTK_MESSAGE_QUESTION;
        case MessageIcon::kNone:
            break;
    }
    return GTK_MESSAGE_OTHER;
}

// The theme's picture for the box's icon, as Windows shows one beside the text (GTK 3's message
// dialogs no longer show their type's), or nullptr for none.
const char* IconName(MessageIcon icon) {
    switch (icon) {
        case MessageIcon::kInformation:
            return "dialog-information";
        case MessageIcon::kExclamation:
            return "dialog-warning";
        case MessageIcon::kStop:
            return "dialog-error";
        case MessageIcon::kQuestion:
            return "dialog-question";
        case MessageIcon::kNone:
            break;
    }
    return nullptr;
}

// The icon goes in front of the text: the message area sits in a row of the box's content.
void AddIcon(GtkWidget* box, MessageIcon icon) {
    const char* name = IconName(icon);
    GtkWidget* row =
        gtk_widget_get_parent(gtk_message_dialog_get_message_area(GTK_MESSAGE_DIALOG(box)));
    if (name == nullptr || row == nullptr || !GTK_IS_BOX(row)) return;
    GtkWidget* image = gtk_image_new_from_icon_name(name, GTK_ICON_SIZE_DIALOG);
    gtk_widget_set_valign(image, GTK_ALIGN_START);
    gtk_box_pack_start(GTK_BOX(row), image, FALSE, FALSE, 0);
    gtk_box_reorder_child(GTK_BOX(row), image, 0);
    gtk_widget_show(image);
}

// A test's hook or the automation, called once the box is on the screen.
struct Pending {
    GtkHost* host;
    GtkWidget* box;
    int first;
    std::string_view text;
    std::string_view caption;
    MessageButtons buttons;
};

gboolean CallHook(gpointer data) {
    auto* pending = static_cast<Pending*>(data);
    if (pending->host->messageHook()) {
        pending->host->messageHook()(pending->box, pending->first);
    } else {
        const int answer = pending->host->automation()->MessageShown(
            pending->box, pending->text, pending->caption, pending->buttons);
        gtk_dialog_response(GTK_DIALOG(pending->box), answer);
    }
    return G_SOURCE_REMOVE;
}

void OnMapped(gpointer data) {
    g_idle_add(CallHook, data);
}

std::string Label(int id) {
    return "_" + std::string(ButtonName(id));
}

}  // namespace

int RunMessageBox(GtkHost& host, GtkWidget* parent, std::string_view text, std::string_view caption,
                  MessageButtons buttons, MessageIcon icon) {
    GtkWidget* box =
        gtk_message_dialog_new(parent != nullptr ? GTK_WINDOW(parent) : nullptr, GTK_DIALOG_MODAL,
                               TypeOf(icon), GTK_BUTTONS_NONE, "%s", std::string(text).c_str());
    gtk_window_set_title(GTK_WINDOW(box), std::string(caption).c_str());
    AddIcon(box, icon);
    if (parent == nullptr) gtk_window_set_position(GTK_WINDOW(box), GTK_WIN_POS_CENTER);
    const std::vector<int> ids = ButtonIds(buttons);
    for (int id : ids)
        gtk_dialog_add_button(GTK_DIALOG(box), Label(id).c_str(), id);
    gtk_dialog_set_default_response(GTK_DIALOG(box), ids.front());
    Pending pending{&host, box, ids.front(), text, caption, buttons};
    if (host.messageHook() || host.automation() != nullptr)
        g_signal_connect_swapped(box, "map", G_CALLBACK(OnMapped), &pending);
    const int response = gtk_dialog_run(GTK_DIALOG(box));
    gtk_widget_destroy(box);
    for (int id : ids)
        if (response == id) return id;
    return DismissResult(buttons);
}

}  // namespace qor::ui::gtk
