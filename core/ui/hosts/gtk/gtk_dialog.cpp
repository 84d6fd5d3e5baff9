#include "gtk_dialog.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "gtk_automation.h"
#include "gtk_message.h"
#include "gtk_pictures.h"

namespace qor::ui::gtk {

namespace {

// GTK's default paddings would make a 14-unit button or an 12-unit field taller than its
// template; the dialogs are laid out in dialog units, as on Windows, so the widgets keep to them.
constexpr char kStyle[] =
    ".qor-dialog button { min-height: 0; min-width: 0; padding: 0 6px; }\n"
    ".qor-dialog entry { min-height: 0; padding-top: 0; padding-bottom: 0; }\n"
    ".qor-dialog combobox button { padding-top: 0; padding-bottom: 0; }\n"
    ".qor-dialog checkbutton, .qor-dialog radiobutton { min-height: 0; padding: 0; }\n"
    ".qor-dialog button.qor-arrow { padding: 0; min-height: 0; border-width: 1px; }\n"
    ".qor-dialog button.qor-arrow image { margin: 0; padding: 0; }\n";

void InstallStyle() {
    static bool installed = false;
    if (installed) return;
    installed = true;
    GtkCssProvider* provider = gtk_css_provider_new();
    gtk_css_provider_load_from_data(provider, kStyle, -1, nullptr);
    gtk_style_context_add_provider_for_screen(gdk_screen_get_default(),
                                              GTK_STYLE_PROVIDER(provider),
                                              GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
    g_object_unref(provider);
}

// A drop-down list's template height counts the list that drops down; closed, it is a line.
int16_t ShownHeight(const ControlTemplate& control) {
    constexpr int16_t kClosedList = 14;
    return control.kind == ControlKind::kDropDownList ? std::min(control.rect.height, kClosedList)
                                                      : control.rect.height;
}

// A field that scrolls inside its place, framed as Windows frames it.
GtkWidget* Scrolled(GtkWidget* inner, GtkPolicyType horizontal, GtkPolicyType vertical) {
    GtkWidget* outer = gtk_scrolled_window_new(nullptr, nullptr);
    gtk_scrolled_window_set_policy(GTK_SCROLLED_WINDOW(outer), horizontal, vertical);
    gtk_scrolled_window_set_shadow_type(GTK_SCROLLED_WINDOW(outer), GTK_SHADOW_IN);
    gtk_container_add(GTK_CONTAINER(outer), inner);
    return outer;
}

const char* IconName(const std::string& resource) {
    // The product's icons: the program's own, and the padlock of the password dialogs.
    return resource == "128" ? "dialog-question" : "dialog-password";
}

}  // namespace

std::string Mnemonic(std::string_view text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '&') {
            if (i + 1 < text.size() && text[i + 1] == '&') {
                out += '&';
                ++i;
            } else {
                out += '_';
            }
        } else if (text[i] == '_') {
            out += "__";
        } else {
            out += text[i];
        }
    }
    return out;
}

GtkView::GtkView(GtkDialogWindow& window, const DialogTemplate& dialog)
    : StateView(dialog), window_(window) {}

void GtkView::SetText(int id, std::string_view text) {
    StateView::SetText(id, text);
    if (ControlState* state = State(id)) window_.Mirror(IndexOf(*state));
}

void GtkView::SetStatus(int id, std::string_view text) {
    SetText(id, text);
    if (GtkAutomation* automation = window_.host_.automation()) automation->Status(text);
}

void GtkView::SetCheck(int id, bool checked) {
    StateView::SetCheck(id, checked);
    if (ControlState* state = State(id)) window_.Mirror(IndexOf(*state));
}

void GtkView::Show(int id, bool visible) {
    StateView::Show(id, visible);
    if (GtkWidget* widget = window_.Widget(id)) gtk_widget_set_visible(widget, visible);
}

void GtkView::Enable(int id, bool enabled) {
    StateView::Enable(id, enabled);
    if (GtkWidget* widget = window_.Widget(id)) gtk_widget_set_sensitive(widget, enabled);
}

void GtkView::Focus(int id) {
    StateView::Focus(id);
    const GtkDialogWindow::Control* control = window_.Find(id);
    if (control != nullptr) gtk_widget_grab_focus(control->inner);
}

void GtkView::SetCaption(std::string_view caption) {
    StateView::SetCaption(caption);
    gtk_window_set_title(GTK_WINDOW(window_.window_), std::string(caption).c_str());
}

void GtkView::SetItems(int id, const std::vector<std::string>& items) {
    StateView::SetItems(id, items);
    if (ControlState* state = State(id)) window_.Mirror(IndexOf(*state));
}

void GtkView::SetSelection(int id, int index) {
    StateView::SetSelection(id, index);
    if (ControlState* state = State(id)) window_.Mirror(IndexOf(*state));
}

void GtkView::SetItemSelected(int id, int index, bool selected) {
    StateView::SetItemSelected(id, index, selected);
    if (ControlState* state = State(id)) window_.Mirror(IndexOf(*state));
}

void GtkView::StartTimer(int timerId, uint32_t milliseconds) {
    StopTimer(timerId);
    auto* timer = new GtkDialogWindow::Timer{&window_, timerId, 0};
    timer->source = g_timeout_add_full(
        G_PRIORITY_DEFAULT, milliseconds, &GtkDialogWindow::OnTimer, timer,
        [](gpointer data) { delete static_cast<GtkDialogWindow::Timer*>(data); });
    window_.timers_[timerId] = timer;
}

void GtkView::StopTimer(int timerId) {
    auto found = window_.timers_.find(timerId);
    if (found == window_.timers_.end()) return;
    const guint source = found->second->source;
    window_.timers_.erase(found);
    g_source_remove(source);
}

void GtkView::Close(int result) {
    StateView::Close(result);
    window_.Ended();
}

int GtkView::ShowMessage(std::string_view text, std::string_view caption, MessageButtons buttons,
                         MessageIcon icon) {
    return RunMessageBox(window_.host_, window_.window_, text, caption, buttons, icon);
}

void GtkView::Beep() {
    gdk_display_beep(gdk_display_get_default());
}

void GtkView::SetCursor(CursorShape shape, int) {
    GdkWindow* window = gtk_widget_get_window(window_.window_);
    if (window == nullptr) return;
    const char* name = shape == CursorShape::kArrow      ? "default"
                       : shape == CursorShape::kQuestion ? "help"
                       : shape == CursorShape::kWait     ? "wait"
                                                         : "progress";
    GdkCursor* cursor = gdk_cursor_new_from_name(gdk_window_get_display(window), name);
    gdk_window_set_cursor(window, cursor);
    if (cursor != nullptr) g_object_unref(cursor);
}

// GTK's open chooser enters a folder where its accept button is pressed on it, so folders are
// added by a button of their own: the folders selected, or with no folder selected the one shown.
std::vector<std::string> GtkView::ChooseFiles(std::string_view title, std::string_view folder) {
    GtkWidget* chooser = gtk_file_chooser_dialog_new(
        std::string(title).c_str(), GTK_WINDOW(window_.window_), GTK_FILE_CHOOSER_ACTION_OPEN,
        "_Cancel", GTK_RESPONSE_CANCEL, kAddFolderLabel, kAddFolderResponse, kAddFilesLabel,
        GTK_RESPONSE_ACCEPT, nullptr);
    gtk_dialog_set_default_response(GTK_DIALOG(chooser), GTK_RESPONSE_ACCEPT);
    GtkWidget* addFolder =
        gtk_dialog_get_widget_for_response(GTK_DIALOG(chooser), kAddFolderResponse);
    gtk_widget_set_tooltip_text(addFolder,
                                "Adds the selected folders, or the folder shown when no folder "
                                "is selected, with everything in them");
    gtk_file_chooser_set_select_multiple(GTK_FILE_CHOOSER(chooser), TRUE);
    gtk_file_chooser_set_local_only(GTK_FILE_CHOOSER(chooser), TRUE);
    if (!folder.empty())
        gtk_file_chooser_set_current_folder(GTK_FILE_CHOOSER(chooser), std::string(folder).c_str());
    std::vector<std::string> paths;
    const int response = gtk_dialog_run(GTK_DIALOG(chooser));
    if (response == GTK_RESPONSE_ACCEPT || response == kAddFolderResponse) {
        const bool folders = response == kAddFolderResponse;
        GSList* files = gtk_file_chooser_get_filenames(GTK_FILE_CHOOSER(chooser));
        for (GSList* file = files; file != nullptr; file = file->next) {
            const char* path = static_cast<const char*>(file->data);
            if (!folders || g_file_test(path, G_FILE_TEST_IS_DIR)) paths.emplace_back(path);
            g_free(file->data);
        }
        g_slist_free(files);
        if (folders && paths.empty()) {
            gchar* shown = gtk_file_chooser_get_current_folder(GTK_FILE_CHOOSER(chooser));
            if (shown != nullptr) paths.emplace_back(shown);
            g_free(shown);
        }
    }
    gtk_widget_destroy(chooser);
    return paths;
}

void GtkView::PumpMessages() {
    while (!closed() && g_main_context_iteration(nullptr, FALSE)) {
    }
}

GtkDialogWindow::GtkDialogWindow(GtkHost& host, DialogModel& model, GtkWidget* owner)
    : host_(host), model_(model), owner_(owner), view_(*this, model.Template()) {
    InstallStyle();
    Build();
}

GtkDialogWindow::~GtkDialogWindow() {
    if (shownSource_ != 0) g_source_remove(shownSource_);
    while (!timers_.empty())
        view_.StopTimer(timers_.begin()->first);
    if (loop_ != nullptr) g_main_loop_unref(loop_);
    if (window_ != nullptr) gtk_widget_destroy(window_);
    for (auto& [name, picture] : pictures_)
        if (picture != nullptr) g_object_unref(picture);
}

GtkDialogWindow::Control* GtkDialogWindow::Find(int id) {
    if (id == kNoId) return nullptr;
    for (Control& control : controls_)
        if (control.control->id == id) return &control;
    return nullptr;
}

const GtkDialogWindow::Control* GtkDialogWindow::Find(int id) const {
    return const_cast<GtkDialogWindow*>(this)->Find(id);
}

GtkWidget* GtkDialogWindow::Widget(int id) const {
    const Control* control = Find(id);
    return control != nullptr ? control->widget : nullptr;
}

void GtkDialogWindow::Build() {
    const DialogTemplate& dialog = model_.Template();
    window_ = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_style_context_add_class(gtk_widget_get_style_context(window_), "qor-dialog");
    gtk_window_set_title(GTK_WINDOW(window_), dialog.caption.c_str());
    gtk_window_set_resizable(GTK_WINDOW(window_), FALSE);
    gtk_window_set_modal(GTK_WINDOW(window_), TRUE);
    gtk_window_set_type_hint(GTK_WINDOW(window_), GDK_WINDOW_TYPE_HINT_DIALOG);
    if (owner_ != nullptr) gtk_window_set_transient_for(GTK_WINDOW(window_), GTK_WINDOW(owner_));
    gtk_window_set_position(GTK_WINDOW(window_),
                            owner_ != nullptr ? GTK_WIN_POS_CENTER_ON_PARENT : GTK_WIN_POS_CENTER);
    if ((dialog.style & kStyleSystemMenu) == 0)
        gtk_window_set_deletable(GTK_WINDOW(window_), FALSE);

    // The dialog base units of the font the widgets use: the average width of the letters and
    // the line height, as Windows measures them for its dialogs.
    PangoLayout* layout = gtk_widget_create_pango_layout(
        window_, "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    int width = 0;
    int height = 0;
    pango_layout_get_pixel_size(layout, &width, &height);
    g_object_unref(layout);
    baseX_ = (width / 26.0 + 1) / 2.0;
    baseY_ = height;

    fixed_ = gtk_fixed_new();
    gtk_container_add(GTK_CONTAINER(window_), fixed_);
    gtk_widget_set_size_request(fixed_,
                                static_cast<int>(std::lround(dialog.rect.width * baseX_ / 4)),
                                static_cast<int>(std::lround(dialog.rect.height * baseY_ / 8)));

    GSList* group = nullptr;
    controls_.resize(dialog.controls.size());
    for (size_t i = 0; i < dialog.controls.size(); ++i) {
        const ControlTemplate& control = dialog.controls[i];
        Control& placed = controls_[i];
        placed.control = &control;
        if (control.kind == ControlKind::kRadioButton) {
            if (control.groupStart) group = nullptr;
            placed.inner =
                gtk_radio_button_new_with_mnemonic(group, Mnemonic(control.text).c_str());
            group = gtk_radio_button_get_group(GTK_RADIO_BUTTON(placed.inner));
            placed.widget = placed.inner;
        } else {
            placed.widget = MakeWidget(control, &placed.inner);
        }
        const auto px = [](int16_t units, double base, int div) {
            return static_cast<int>(std::lround(units * base / div));
        };
        const int wide = std::max(1, px(control.rect.width, baseX_, 4));
        const int high = std::max(1, px(ShownHeight(control), baseY_, 8));
        gtk_widget_set_size_request(placed.widget, wide, high);
        // An icon is drawn at the size its rectangle gives (a dialog's icon size would be cut
        // where the font makes the units small).
        if (control.kind == ControlKind::kIcon)
            gtk_image_set_pixel_size(GTK_IMAGE(placed.inner), std::min(wide, high));
        gtk_fixed_put(GTK_FIXED(fixed_), placed.widget, px(control.rect.x, baseX_, 4),
                      px(control.rect.y, baseY_, 8));
        gtk_widget_set_sensitive(placed.widget, control.enabled);
        Connect(i);
    }
    // A label's mnemonic moves to the control it labels, as a static before a control does.
    for (size_t i = 0; i + 1 < controls_.size(); ++i) {
        if (controls_[i].control->kind == ControlKind::kStatic && GTK_IS_LABEL(controls_[i].inner))
            gtk_label_set_mnemonic_widget(GTK_LABEL(controls_[i].inner), controls_[i + 1].inner);
    }
    gtk_widget_add_events(window_, GDK_POINTER_MOTION_MASK | GDK_KEY_PRESS_MASK);
    g_signal_connect(window_, "delete-event", G_CALLBACK(OnDelete), this);
    g_signal_connect(window_, "key-press-event", G_CALLBACK(OnKeyPress), this);
    g_signal_connect(window_, "motion-notify-event", G_CALLBACK(OnMotion), this);
}

GtkWidget* GtkDialogWindow::MakeWidget(const ControlTemplate& control, GtkWidget** inner) {
    GtkWidget* widget = nullptr;
    switch (control.kind) {
        case ControlKind::kStatic: {
            widget = gtk_label_new_with_mnemonic(Mnemonic(control.text).c_str());
            gtk_label_set_line_wrap(GTK_LABEL(widget), TRUE);
            gtk_label_set_xalign(GTK_LABEL(widget), control.centered ? 0.5f : 0.0f);
            gtk_label_set_yalign(GTK_LABEL(widget), 0.0f);
            if (control.centered) gtk_label_set_justify(GTK_LABEL(widget), GTK_JUSTIFY_CENTER);
            // A label as wide as its place, however long its text: it wraps inside it, and asks
            // for the height of the lines it wraps into there (a narrower minimum would ask for
            // the height of a text wrapped at every word, and push the dialog's size).
            const int chars =
                std::max(1, static_cast<int>(control.rect.width * baseX_ / 4 / (2 * baseX_ - 1)));
            gtk_label_set_width_chars(GTK_LABEL(widget), chars);
            gtk_label_set_max_width_chars(GTK_LABEL(widget), chars);
            break;
        }
        case ControlKind::kEdit:
        case ControlKind::kPasswordEdit: {
            // A password's text lives in the entry's own buffer, which GTK clears whenever it
            // gives the memory back; the view's copy wipes itself too.
            widget = gtk_entry_new();
            gtk_entry_set_width_chars(GTK_ENTRY(widget), 1);
            if (control.limit > 0) gtk_entry_set_max_length(GTK_ENTRY(widget), control.limit);
            gtk_entry_set_activates_default(GTK_ENTRY(widget), TRUE);
            if (control.kind == ControlKind::kPasswordEdit) {
                gtk_entry_set_visibility(GTK_ENTRY(widget), FALSE);
                gtk_entry_set_input_purpose(GTK_ENTRY(widget), GTK_INPUT_PURPOSE_PASSWORD);
            }
            if (control.readOnly) gtk_editable_set_editable(GTK_EDITABLE(widget), FALSE);
            break;
        }
        case ControlKind::kMultiLineEdit: {
            *inner = gtk_text_view_new();
            gtk_text_view_set_wrap_mode(GTK_TEXT_VIEW(*inner), GTK_WRAP_WORD_CHAR);
            gtk_text_view_set_editable(GTK_TEXT_VIEW(*inner), !control.readOnly);
            gtk_text_view_set_cursor_visible(GTK_TEXT_VIEW(*inner), !control.readOnly);
            return Scrolled(*inner, GTK_POLICY_NEVER, GTK_POLICY_AUTOMATIC);
        }
        case ControlKind::kCheckBox:
            widget = gtk_check_button_new_with_mnemonic(Mnemonic(control.text).c_str());
            break;
        case ControlKind::kRadioButton:
            break;  // made by Build, which keeps the groups
        case ControlKind::kPushButton:
        case ControlKind::kDefPushButton:
            if (control.text == "UP" || control.text == "DOWN") {
                // The spin's arrows: an arrow as tall as the half of the spin they make.
                widget = gtk_button_new();
                GtkWidget* arrow = gtk_image_new_from_icon_name(
                    control.text == "UP" ? "pan-up-symbolic" : "pan-down-symbolic",
                    GTK_ICON_SIZE_MENU);
                gtk_image_set_pixel_size(
                    GTK_IMAGE(arrow),
                    std::max(4, static_cast<int>(control.rect.height * baseY_ / 8) - 4));
                gtk_button_set_image(GTK_BUTTON(widget), arrow);
                gtk_style_context_add_class(gtk_widget_get_style_context(widget), "qor-arrow");
            } else {
                widget = gtk_button_new_with_mnemonic(Mnemonic(control.text).c_str());
            }
            if (control.kind == ControlKind::kDefPushButton) {
                gtk_widget_set_can_default(widget, TRUE);
                gtk_style_context_add_class(gtk_widget_get_style_context(widget),
                                            "suggested-action");
            }
            break;
        case ControlKind::kGroupBox:
            widget =
                gtk_frame_new(control.text.empty() ? nullptr : StripMnemonic(control.text).c_str());
            break;
        case ControlKind::kDropDownList:
            widget = gtk_combo_box_text_new();
            break;
        case ControlKind::kListBox: {
            GtkListStore* store = gtk_list_store_new(1, G_TYPE_STRING);
            *inner = gtk_tree_view_new_with_model(GTK_TREE_MODEL(store));
            g_object_unref(store);
            gtk_tree_view_set_headers_visible(GTK_TREE_VIEW(*inner), FALSE);
            gtk_tree_view_insert_column_with_attributes(
                GTK_TREE_VIEW(*inner), -1, "", gtk_cell_renderer_text_new(), "text", 0, nullptr);
            gtk_tree_selection_set_mode(gtk_tree_view_get_selection(GTK_TREE_VIEW(*inner)),
                                        GTK_SELECTION_MULTIPLE);
            return Scrolled(*inner, GTK_POLICY_AUTOMATIC, GTK_POLICY_ALWAYS);
        }
        case ControlKind::kIcon:
            widget = gtk_image_new_from_icon_name(IconName(control.text), GTK_ICON_SIZE_DIALOG);
            break;
        case ControlKind::kBitmap:
            // Painted to fill its rectangle, as the picture named by the control's text.
            widget = gtk_drawing_area_new();
            gtk_widget_add_events(widget, GDK_BUTTON_PRESS_MASK);
            break;
        case ControlKind::kSpin:
            // The arrows of the field before it; the UP and DOWN buttons of the product's
            // dialogs are buttons of their own.
            widget = gtk_label_new("");
            break;
        case ControlKind::kProgressBar:
            widget = gtk_progress_bar_new();
            break;
    }
    *inner = widget;
    return widget;
}

void GtkDialogWindow::Connect(size_t index) {
    Control& placed = controls_[index];
    switch (placed.control->kind) {
        case ControlKind::kEdit:
        case ControlKind::kPasswordEdit:
            g_signal_connect(placed.inner, "changed", G_CALLBACK(OnChanged), this);
            break;
        case ControlKind::kMultiLineEdit:
            g_signal_connect(gtk_text_view_get_buffer(GTK_TEXT_VIEW(placed.inner)), "changed",
                             G_CALLBACK(OnChanged), this);
            g_object_set_data(G_OBJECT(gtk_text_view_get_buffer(GTK_TEXT_VIEW(placed.inner))),
                              "qor-index", GSIZE_TO_POINTER(index + 1));
            break;
        case ControlKind::kCheckBox:
        case ControlKind::kRadioButton:
            g_signal_connect(placed.inner, "toggled", G_CALLBACK(OnToggled), this);
            break;
        case ControlKind::kPushButton:
        case ControlKind::kDefPushButton:
            g_signal_connect(placed.inner, "clicked", G_CALLBACK(OnClicked), this);
            // Buttons that act while held (the spin's arrows) learn of the press and the
            // release; the button's own grab sends the release to it wherever the pointer is.
            g_signal_connect(placed.inner, "button-press-event", G_CALLBACK(OnButtonPress), this);
            g_signal_connect(placed.inner, "button-release-event", G_CALLBACK(OnButtonRelease),
                             this);
            g_signal_connect(placed.inner, "grab-broken-event", G_CALLBACK(OnButtonRelease), this);
            break;
        case ControlKind::kDropDownList:
            g_signal_connect(placed.inner, "changed", G_CALLBACK(OnComboChanged), this);
            break;
        case ControlKind::kBitmap:
            g_signal_connect(placed.inner, "draw", G_CALLBACK(OnDrawPicture), this);
            // A click on a picture reaches the model as on Windows (the About box swaps its two).
            g_signal_connect(placed.inner, "button-press-event", G_CALLBACK(OnPictureClicked),
                             this);
            break;
        case ControlKind::kListBox: {
            GtkTreeSelection* selection = gtk_tree_view_get_selection(GTK_TREE_VIEW(placed.inner));
            g_object_set_data(G_OBJECT(selection), "qor-index", GSIZE_TO_POINTER(index + 1));
            g_signal_connect(selection, "changed", G_CALLBACK(OnSelectionChanged), this);
            break;
        }
        default:
            break;
    }
    g_object_set_data(G_OBJECT(placed.inner), "qor-index", GSIZE_TO_POINTER(index + 1));
}

void GtkDialogWindow::Mirror(size_t index) {
    const ControlState& state = view_.states()[index];
    Control& placed = controls_[index];
    ++quiet_;
    switch (placed.control->kind) {
        case ControlKind::kStatic: {
            const std::string text(state.text.view());
            if (GTK_IS_LABEL(placed.inner))
                gtk_label_set_text_with_mnemonic(GTK_LABEL(placed.inner), Mnemonic(text).c_str());
            break;
        }
        case ControlKind::kEdit:
        case ControlKind::kPasswordEdit: {
            // Straight from the view's buffer into the entry's: no other copy of a password.
            GtkEntryBuffer* buffer = gtk_entry_get_buffer(GTK_ENTRY(placed.inner));
            const std::string_view text = state.text.view();
            gtk_entry_buffer_delete_text(buffer, 0, -1);
            if (!text.empty()) {
                gtk_entry_buffer_insert_text(buffer, 0, text.data(),
                                             static_cast<gint>(g_utf8_strlen(
                                                 text.data(), static_cast<gssize>(text.size()))));
            }
            break;
        }
        case ControlKind::kMultiLineEdit: {
            const std::string text(state.text.view());
            gtk_text_buffer_set_text(gtk_text_view_get_buffer(GTK_TEXT_VIEW(placed.inner)),
                                     text.c_str(), static_cast<gint>(text.size()));
            break;
        }
        case ControlKind::kCheckBox:
        case ControlKind::kRadioButton:
            gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(placed.inner), state.checked);
            break;
        case ControlKind::kPushButton:
        case ControlKind::kDefPushButton:
            if (placed.control->text != "UP" && placed.control->text != "DOWN")
                gtk_button_set_label(GTK_BUTTON(placed.inner), Mnemonic(state.text.view()).c_str());
            break;
        case ControlKind::kGroupBox:
            gtk_frame_set_label(
                GTK_FRAME(placed.inner),
                state.text.empty() ? nullptr : StripMnemonic(state.text.view()).c_str());
            break;
        case ControlKind::kBitmap:
            gtk_widget_queue_draw(placed.inner);
            break;
        case ControlKind::kProgressBar: {
            gtk_progress_bar_set_fraction(GTK_PROGRESS_BAR(placed.inner),
                                          ProgressBarValue(state.text.view()) / 1000.0);
            break;
        }
        case ControlKind::kDropDownList: {
            GtkComboBoxText* combo = GTK_COMBO_BOX_TEXT(placed.inner);
            gtk_combo_box_text_remove_all(combo);
            for (const std::string& item : state.items)
                gtk_combo_box_text_append_text(combo, item.c_str());
            gtk_combo_box_set_active(GTK_COMBO_BOX(combo), state.selection);
            break;
        }
        case ControlKind::kListBox: {
            GtkTreeView* tree = GTK_TREE_VIEW(placed.inner);
            GtkListStore* store = GTK_LIST_STORE(gtk_tree_view_get_model(tree));
            GtkTreeSelection* selection = gtk_tree_view_get_selection(tree);
            // Rebuilt only when the items changed, so that a selection change keeps the view.
            bool same = gtk_tree_model_iter_n_children(GTK_TREE_MODEL(store), nullptr) ==
                        static_cast<gint>(state.items.size());
            GtkTreeIter iter;
            for (size_t i = 0; same && i < state.items.size(); ++i) {
                gtk_tree_model_iter_nth_child(GTK_TREE_MODEL(store), &iter, nullptr,
                                              static_cast<gint>(i));
                gchar* text = nullptr;
                gtk_tree_model_get(GTK_TREE_MODEL(store), &iter, 0, &text, -1);
                same = text != nullptr && state.items[i] == text;
                g_free(text);
            }
            if (!same) {
                gtk_list_store_clear(store);
                for (const std::string& item : state.items)
                    gtk_list_store_insert_with_values(store, nullptr, -1, 0, item.c_str(), -1);
            }
            for (size_t i = 0; i < state.items.size(); ++i) {
                gtk_tree_model_iter_nth_child(GTK_TREE_MODEL(store), &iter, nullptr,
                                              static_cast<gint>(i));
                if (i < state.selected.size() && state.selected[i])
                    gtk_tree_selection_select_iter(selection, &iter);
                else
                    gtk_tree_selection_unselect_iter(selection, &iter);
            }
            break;
        }
        default:
            break;
    }
    --quiet_;
}

int GtkDialogWindow::Run() {
    GtkWidget* outer = host_.top();
    host_.SetTop(window_);
    // The model's first state reaches the widgets before the dialog shows.
    for (size_t i = 0; i < controls_.size(); ++i)
        Mirror(i);
    if (GtkAutomation* automation = host_.automation()) automation->DialogOpening(view_.caption());
    model_.OnInit(view_);
    if (!view_.closed()) {
        gtk_widget_show_all(window_);
        for (size_t i = 0; i < controls_.size(); ++i) {
            const ControlState& state = view_.states()[i];
            gtk_widget_set_visible(controls_[i].widget, state.visible);
            gtk_widget_set_sensitive(controls_[i].widget, state.enabled);
        }
        for (const Control& placed : controls_) {
            if (placed.control->kind == ControlKind::kDefPushButton &&
                gtk_widget_get_visible(placed.widget) && gtk_widget_get_sensitive(placed.widget)) {
                gtk_widget_grab_default(placed.widget);
                break;
            }
        }
        if (const Control* focused = Find(view_.focus())) gtk_widget_grab_focus(focused->inner);
        if (host_.dialogHook() || host_.automation() != nullptr)
            shownSource_ = g_idle_add(&GtkDialogWindow::OnShown, this);
        loop_ = g_main_loop_new(nullptr, FALSE);
        if (!view_.closed()) g_main_loop_run(loop_);
    }
    host_.SetTop(outer);
    gtk_widget_hide(window_);
    return view_.result();
}

void GtkDialogWindow::Ended() {
    if (loop_ != nullptr && g_main_loop_is_running(loop_)) g_main_loop_quit(loop_);
}

void GtkDialogWindow::Click(int id) {
    const Control* control = Find(id);
    if (control == nullptr) return;
    if (GTK_IS_BUTTON(control->inner)) {
        gtk_button_clicked(GTK_BUTTON(control->inner));
    } else if (GTK_IS_DRAWING_AREA(control->inner) && gtk_widget_get_realized(control->inner)) {
        // A picture has no "clicked": the press of the pointer's first button, as the desktop
        // delivers it.
        GdkEvent* press = gdk_event_new(GDK_BUTTON_PRESS);
        press->button.window = GDK_WINDOW(g_object_ref(gtk_widget_get_window(control->inner)));
        press->button.button = GDK_BUTTON_PRIMARY;
        press->button.time = GDK_CURRENT_TIME;
        gtk_widget_event(control->inner, press);
        gdk_event_free(press);
    }
}

void GtkDialogWindow::Type(int id, const std::string& text) {
    const Control* control = Find(id);
    if (control == nullptr) return;
    if (GTK_IS_ENTRY(control->inner)) {
        gtk_entry_set_text(GTK_ENTRY(control->inner), text.c_str());
    } else if (GTK_IS_COMBO_BOX(control->inner)) {
        const ControlState* state = view_.State(id);
        for (size_t i = 0; state != nullptr && i < state->items.size(); ++i)
            if (state->items[i] == text)
                gtk_combo_box_set_active(GTK_COMBO_BOX(control->inner), static_cast<gint>(i));
    } else if (GTK_IS_TREE_VIEW(control->inner)) {
        const ControlState* state = view_.State(id);
        GtkTreeModel* model = gtk_tree_view_get_model(GTK_TREE_VIEW(control->inner));
        GtkTreeIter iter;
        for (size_t i = 0; state != nullptr && i < state->items.size(); ++i) {
            if (state->items[i] != text) continue;
            gtk_tree_model_iter_nth_child(model, &iter, nullptr, static_cast<gint>(i));
            gtk_tree_selection_select_iter(
                gtk_tree_view_get_selection(GTK_TREE_VIEW(control->inner)), &iter);
        }
    }
}

bool GtkDialogWindow::SaveScreenshot(const std::string& path) const {
    return SaveWindowScreenshot(window_, path);
}

void GtkDialogWindow::SetChecked(int id, bool checked) {
    if (const Control* control = Find(id)) {
        if (GTK_IS_TOGGLE_BUTTON(control->inner))
            gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(control->inner), checked);
    }
}

bool SaveWindowScreenshot(GtkWidget* widget, const std::string& path) {
    GdkWindow* window = gtk_widget_get_window(widget);
    if (window == nullptr) return false;
    // What the window shows once the changes made so far are drawn: drawing waits for the
    // frame clock, so the loop runs for a few frames rather than only until it is idle.
    const gint64 until = g_get_monotonic_time() + 150000;
    while (g_get_monotonic_time() < until) {
        while (g_main_context_iteration(nullptr, FALSE)) {
        }
        g_usleep(5000);
    }
    gdk_display_sync(gdk_window_get_display(window));
    GdkPixbuf* pixels = gdk_pixbuf_get_from_window(window, 0, 0, gdk_window_get_width(window),
                                                   gdk_window_get_height(window));
    if (pixels == nullptr) return false;
    const bool saved = gdk_pixbuf_save(pixels, path.c_str(), "png", nullptr, nullptr) != FALSE;
    g_object_unref(pixels);
    return saved;
}

std::vector<std::string> GtkDialogWindow::LayoutFaults() const {
    std::vector<std::string> faults;
    const DialogRect& frame = model_.Template().rect;
    const int frameWidth = static_cast<int>(std::lround(frame.width * baseX_ / 4));
    const int frameHeight = static_cast<int>(std::lround(frame.height * baseY_ / 8));
    int width = 0;
    int height = 0;
    gtk_window_get_size(GTK_WINDOW(window_), &width, &height);
    if (width > frameWidth + 1 || height > frameHeight + 1) {
        faults.push_back("the window is " + std::to_string(width) + "x" + std::to_string(height) +
                         ", its template " + std::to_string(frameWidth) + "x" +
                         std::to_string(frameHeight));
    }
    for (const Control& placed : controls_) {
        if (!gtk_widget_get_visible(placed.widget)) continue;
        GtkAllocation allocation;
        gtk_widget_get_allocation(placed.widget, &allocation);
        const DialogRect& rect = placed.control->rect;
        const int wanted = static_cast<int>(std::lround(rect.width * baseX_ / 4));
        const int wantedHeight =
            static_cast<int>(std::lround(ShownHeight(*placed.control) * baseY_ / 8));
        if (allocation.width > std::max(wanted, 1) + 1 ||
            allocation.height > std::max(wantedHeight, 1) + 1) {
            faults.push_back("control " + std::to_string(placed.control->id) + " \"" +
                             placed.control->text + "\" takes " + std::to_string(allocation.width) +
                             "x" + std::to_string(allocation.height) + " of " +
                             std::to_string(wanted) + "x" + std::to_string(wantedHeight));
        }
    }
    return faults;
}

namespace {

size_t IndexOf(gpointer object) {
    return GPOINTER_TO_SIZE(g_object_get_data(G_OBJECT(object), "qor-index")) - 1;
}

}  // namespace

void GtkDialogWindow::OnClicked(GtkWidget* widget, gpointer data) {
    auto* self = static_cast<GtkDialogWindow*>(data);
    if (self->quiet_ > 0 || self->view_.closed()) return;
    self->model_.OnCommand(self->view_, self->controls_[IndexOf(widget)].control->id);
}

gboolean GtkDialogWindow::OnDrawPicture(GtkWidget* widget, cairo_t* cr, gpointer data) {
    auto* self = static_cast<GtkDialogWindow*>(data);
    const std::string name(self->view_.states()[IndexOf(widget)].text.view());
    auto found = self->pictures_.find(name);
    if (found == self->pictures_.end())
        found = self->pictures_.emplace(name, LoadPicture(name)).first;
    GdkPixbuf* picture = found->second;
    if (picture == nullptr) return FALSE;
    // The template gives the picture's rectangle in dialog units: the picture fills it whatever
    // the font made of them.
    const double width = gtk_widget_get_allocated_width(widget);
    const double height = gtk_widget_get_allocated_height(widget);
    cairo_save(cr);
    cairo_scale(cr, width / gdk_pixbuf_get_width(picture), height / gdk_pixbuf_get_height(picture));
    gdk_cairo_set_source_pixbuf(cr, picture, 0, 0);
    cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_GOOD);
    cairo_paint(cr);
    cairo_restore(cr);
    return FALSE;
}

gboolean GtkDialogWindow::OnPictureClicked(GtkWidget* widget, GdkEvent* event, gpointer data) {
    auto* self = static_cast<GtkDialogWindow*>(data);
    if (self->view_.closed() || event->button.button != GDK_BUTTON_PRIMARY ||
        event->type != GDK_BUTTON_PRESS)
        return FALSE;
    self->model_.OnCommand(self->view_, self->controls_[IndexOf(widget)].control->id);
    return TRUE;
}

void GtkDialogWindow::OnToggled(GtkWidget* widget, gpointer data) {
    auto* self = static_cast<GtkDialogWindow*>(data);
    if (self->quiet_ > 0 || self->view_.closed()) return;
    const size_t index = IndexOf(widget);
    ControlState& state = self->view_.states()[index];
    const bool active = gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(widget)) != FALSE;
    if (state.control->kind == ControlKind::kRadioButton) {
        // The button that goes off reports too; the click belongs to the one that comes on.
        if (!active) return;
        self->view_.SelectRadio(state);
    } else {
        state.checked = active;
    }
    self->model_.OnCommand(self->view_, state.control->id);
}

void GtkDialogWindow::OnChanged(GtkWidget* widget, gpointer data) {
    auto* self = static_cast<GtkDialogWindow*>(data);
    if (self->quiet_ > 0 || self->view_.closed()) return;
    const size_t index = IndexOf(widget);
    ControlState& state = self->view_.states()[index];
    if (GTK_IS_ENTRY(widget)) {
        GtkEntryBuffer* buffer = gtk_entry_get_buffer(GTK_ENTRY(widget));
        state.text.Assign(std::string_view(gtk_entry_buffer_get_text(buffer),
                                           gtk_entry_buffer_get_bytes(buffer)));
    } else {
        GtkTextBuffer* buffer = GTK_TEXT_BUFFER(widget);
        GtkTextIter start;
        GtkTextIter end;
        gtk_text_buffer_get_bounds(buffer, &start, &end);
        gchar* text = gtk_text_buffer_get_text(buffer, &start, &end, FALSE);
        state.text.Assign(text);
        g_free(text);
    }
    self->model_.OnTextChanged(self->view_, state.control->id);
}

void GtkDialogWindow::OnComboChanged(GtkWidget* widget, gpointer data) {
    auto* self = static_cast<GtkDialogWindow*>(data);
    if (self->quiet_ > 0 || self->view_.closed()) return;
    ControlState& state = self->view_.states()[IndexOf(widget)];
    state.selection = gtk_combo_box_get_active(GTK_COMBO_BOX(widget));
    self->model_.OnTextChanged(self->view_, state.control->id);
}

void GtkDialogWindow::OnSelectionChanged(GtkTreeSelection* selection, gpointer data) {
    auto* self = static_cast<GtkDialogWindow*>(data);
    if (self->quiet_ > 0 || self->view_.closed()) return;
    ControlState& state = self->view_.states()[IndexOf(selection)];
    GtkTreeModel* model = nullptr;
    GList* rows = gtk_tree_selection_get_selected_rows(selection, &model);
    state.selected.assign(state.items.size(), false);
    for (GList* row = rows; row != nullptr; row = row->next) {
        const gint* indices = gtk_tree_path_get_indices(static_cast<GtkTreePath*>(row->data));
        if (indices != nullptr && indices[0] >= 0 &&
            static_cast<size_t>(indices[0]) < state.selected.size())
            state.selected[indices[0]] = true;
    }
    g_list_free_full(rows, reinterpret_cast<GDestroyNotify>(gtk_tree_path_free));
}

gboolean GtkDialogWindow::OnDelete(GtkWidget*, GdkEvent*, gpointer data) {
    auto* self = static_cast<GtkDialogWindow*>(data);
    // The close box is Cancel; the model decides whether the dialog may close.
    if (!self->view_.closed()) self->model_.OnCommand(self->view_, kIdCancel);
    return TRUE;
}

gboolean GtkDialogWindow::OnKeyPress(GtkWidget*, GdkEventKey* event, gpointer data) {
    auto* self = static_cast<GtkDialogWindow*>(data);
    if (self->view_.closed()) return FALSE;
    self->model_.OnKey(self->view_, static_cast<int>(event->keyval), 1);
    if (event->keyval == GDK_KEY_Escape && !self->view_.closed()) {
        self->model_.OnCommand(self->view_, kIdCancel);
        return TRUE;
    }
    return FALSE;
}

gboolean GtkDialogWindow::OnButtonPress(GtkWidget* widget, GdkEvent* event, gpointer data) {
    auto* self = static_cast<GtkDialogWindow*>(data);
    if (self->view_.closed() || event->button.button != GDK_BUTTON_PRIMARY ||
        event->type != GDK_BUTTON_PRESS)
        return FALSE;
    self->model_.OnButtonPressed(self->view_, self->controls_[IndexOf(widget)].control->id);
    return FALSE;
}

gboolean GtkDialogWindow::OnButtonRelease(GtkWidget*, GdkEvent*, gpointer data) {
    auto* self = static_cast<GtkDialogWindow*>(data);
    if (!self->view_.closed()) self->model_.OnButtonReleased(self->view_);
    return FALSE;
}

gboolean GtkDialogWindow::OnMotion(GtkWidget*, GdkEventMotion* event, gpointer data) {
    auto* self = static_cast<GtkDialogWindow*>(data);
    if (!self->view_.closed())
        self->model_.OnPointerMove(self->view_, static_cast<int>(event->x_root),
                                   static_cast<int>(event->y_root));
    return FALSE;
}

gboolean GtkDialogWindow::OnTimer(gpointer data) {
    auto* timer = static_cast<Timer*>(data);
    GtkDialogWindow* self = timer->window;
    const int id = timer->id;
    if (self->view_.closed()) return G_SOURCE_CONTINUE;
    self->model_.OnTimer(self->view_, id);
    // The handler may have stopped the timer (its source is gone then) or started it anew.
    return G_SOURCE_CONTINUE;
}

gboolean GtkDialogWindow::OnShown(gpointer data) {
    auto* self = static_cast<GtkDialogWindow*>(data);
    self->shownSource_ = 0;
    if (self->view_.closed()) return G_SOURCE_REMOVE;
    if (self->host_.dialogHook())
        self->host_.dialogHook()(*self);
    else if (GtkAutomation* automation = self->host_.automation())
        automation->DialogShown(*self);
    return G_SOURCE_REMOVE;
}

}  // namespace qor::ui::gtk
