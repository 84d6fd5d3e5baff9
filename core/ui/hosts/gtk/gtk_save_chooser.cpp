#include "gtk_save_chooser.h"

#include <gtk/gtk.h>

#include <cctype>

#include "gtk_automation.h"
#include "gtk_host.h"

namespace qor::ui::gtk {

namespace {

struct Pending {
    GtkHost* host;
    GtkWidget* chooser;
};

gboolean Answer(gpointer data) {
    auto* pending = static_cast<Pending*>(data);
    const int answer = pending->host->automation()->ChooserShown(pending->chooser, "Save As");
    gtk_dialog_response(GTK_DIALOG(pending->chooser), answer);
    return G_SOURCE_REMOVE;
}

void OnMapped(gpointer data) {
    g_idle_add(Answer, data);
}

// "*.exe" matches "Report.EXE" too, as the name is matched on Windows.
std::string AnyCase(std::string_view pattern) {
    std::string glob;
    for (char c : pattern) {
        const auto letter = static_cast<unsigned char>(c);
        if (std::isalpha(letter) == 0) {
            glob += c;
            continue;
        }
        glob += '[';
        glob += static_cast<char>(std::tolower(letter));
        glob += static_cast<char>(std::toupper(letter));
        glob += ']';
    }
    return glob;
}

}  // namespace

int RunSaveChooser(GtkHost& host, GtkWidget* parent, const SaveFileRequest& request,
                   std::string* chosen) {
    GtkWidget* chooser = gtk_file_chooser_dialog_new(
        "Save As", parent != nullptr ? GTK_WINDOW(parent) : nullptr, GTK_FILE_CHOOSER_ACTION_SAVE,
        "_Cancel", GTK_RESPONSE_CANCEL, "_Save", GTK_RESPONSE_ACCEPT, nullptr);
    auto* files = GTK_FILE_CHOOSER(chooser);
    gtk_file_chooser_set_local_only(files, TRUE);
    // The caller says itself that a chosen file exists and asks for another.
    gtk_file_chooser_set_do_overwrite_confirmation(files, FALSE);
    GtkFileFilter* filter = gtk_file_filter_new();
    gtk_file_filter_set_name(filter, std::string(request.filterName).c_str());
    gtk_file_filter_add_pattern(filter, AnyCase(request.pattern).c_str());
    gtk_file_chooser_add_filter(files, filter);
    if (!request.folder.empty())
        gtk_file_chooser_set_current_folder(files, std::string(request.folder).c_str());
    // A pattern in the name field is how Windows shows the filter; here the filter shows it.
    if (request.presetName.find_first_of("*?") == std::string_view::npos)
        gtk_file_chooser_set_current_name(files, std::string(request.presetName).c_str());
    Pending pending{&host, chooser};
    if (host.automation() != nullptr)
        g_signal_connect_swapped(chooser, "map", G_CALLBACK(OnMapped), &pending);
    int result = kIdCancel;
    if (gtk_dialog_run(GTK_DIALOG(chooser)) == GTK_RESPONSE_ACCEPT) {
        if (gchar* name = gtk_file_chooser_get_filename(files)) {
            *chosen = name;
            g_free(name);
            result = kIdOk;
        }
    }
    gtk_widget_destroy(chooser);
    return result;
}

}  // namespace qor::ui::gtk
