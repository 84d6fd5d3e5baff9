// The GTK host under a virtual display: dialogs built from their templates, driven through GTK's
// own calls (a click, typing, a list selection), reaching the models as on Windows, message
// boxes with their buttons, and a screenshot of each dialog for a person to look at.
#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <tuple>
#include <vector>

#include "about_box.h"
#include "demo_password_dialog.h"
#include "dialog_test_support.h"
#include "encrypt_dialog.h"
#include "gtk_dialog.h"
#include "gtk_host.h"
#include "gtk_pictures.h"
#include "password_dialog.h"
#include "random_seeding_dialog.h"
#include "setup_dialog.h"
#include "test_models.h"

namespace qor::ui::gtk {
namespace {

namespace fs = std::filesystem;
using Lines = std::vector<std::string>;

bool DisplayOpened() {
    static const bool opened = gtk_init_check(nullptr, nullptr) != FALSE;
    return opened;
}

// build/<preset>/screenshots/<name>.png, and a check that it was written and is not empty, and
// that no control takes more room than its template gives it.
void Screenshot(GtkDialogWindow& dialog, const std::string& name) {
    for (const std::string& fault : dialog.LayoutFaults())
        ADD_FAILURE() << name << ": " << fault;
    const fs::path folder = QOR_SCREENSHOT_DIR;
    fs::create_directories(folder);
    const fs::path file = folder / (name + ".png");
    EXPECT_TRUE(dialog.SaveScreenshot(file.string())) << name;
    EXPECT_GT(fs::file_size(file), 1000u) << name;
}

struct Pixel {
    int red = 0;
    int green = 0;
    int blue = 0;
};

// The colour at a place of a screenshot, given as fractions of its width and height.
Pixel PixelAt(const std::string& name, double x, double y) {
    const fs::path file = fs::path(QOR_SCREENSHOT_DIR) / (name + ".png");
    GdkPixbuf* image = gdk_pixbuf_new_from_file(file.c_str(), nullptr);
    if (image == nullptr) {
        ADD_FAILURE() << "cannot read " << file;
        return {};
    }
    const int column = static_cast<int>(x * gdk_pixbuf_get_width(image));
    const int row = static_cast<int>(y * gdk_pixbuf_get_height(image));
    const guchar* at = gdk_pixbuf_get_pixels(image) + row * gdk_pixbuf_get_rowstride(image) +
                       column * gdk_pixbuf_get_n_channels(image);
    const Pixel pixel{at[0], at[1], at[2]};
    g_object_unref(image);
    return pixel;
}

// Within a few steps of each colour: the picture is scaled to its rectangle.
void ExpectNear(const Pixel& got, const Pixel& want, const char* what) {
    EXPECT_LE(std::abs(got.red - want.red), 8) << what;
    EXPECT_LE(std::abs(got.green - want.green), 8) << what;
    EXPECT_LE(std::abs(got.blue - want.blue), 8) << what;
}

// The dialog's size on the screen against its template's, in the base units it was laid out in.
void ExpectLaidOutFromDialogUnits(GtkDialogWindow& dialog) {
    int width = 0;
    int height = 0;
    gtk_window_get_size(GTK_WINDOW(dialog.window()), &width, &height);
    const DialogRect& rect = dialog.model().Template().rect;
    EXPECT_GE(width, rect.width);  // at least a pixel a unit, whatever the font
    EXPECT_GE(height, rect.height);
}

class GtkHostTest : public dialogs::test::DialogTest {
  protected:
    void SetUp() override {
        if (!DisplayOpened()) GTEST_SKIP() << "no display";
        DialogTest::SetUp();
    }
    GtkHost host_;
};

// The pictures the templates name are built into the module, as BMP files; others are none.
TEST_F(GtkHostTest, ThePicturesAreBuiltIn) {
    for (const auto& [name, width, height] : {std::tuple{"productBitmap", 48, 48},
                                              {"aboutBitmap1", 455, 300},
                                              {"aboutBitmap2", 455, 300}}) {
        GdkPixbuf* picture = LoadPicture(name);
        ASSERT_NE(picture, nullptr) << name;
        EXPECT_EQ(gdk_pixbuf_get_width(picture), width) << name;
        EXPECT_EQ(gdk_pixbuf_get_height(picture), height) << name;
        g_object_unref(picture);
    }
    EXPECT_EQ(LoadPicture("aboutBitmap3"), nullptr);
    EXPECT_EQ(LoadPicture(""), nullptr);
}

TEST_F(GtkHostTest, TypingAndClicksReachTheModelInTheirOrder) {
    test::DemoPasswordDialog dialog("alice", "hunter2", false, 5);
    host_.SetDialogHookForTesting([](GtkDialogWindow& shown) {
        ExpectLaidOutFromDialogUnits(shown);
        shown.Click(1010);  // keep: the minutes field comes alive
        shown.Type(1026, "15");
        shown.Type(1014, "hunter2");
        Screenshot(shown, "demo-password");
        shown.Click(kIdOk);
    });
    EXPECT_EQ(host_.RunModal(dialog), kIdOk);
    EXPECT_TRUE(dialog.confirmed());
    EXPECT_TRUE(dialog.keep());
    EXPECT_EQ(dialog.minutes(), 15);
    // A text set in a field arrives as one change (GTK replaces the whole text at once).
    const Lines& calls = dialog.calls();
    ASSERT_GE(calls.size(), 4u);
    EXPECT_EQ(calls.front(), "init");
    EXPECT_EQ(calls[1], "command 1010");
    EXPECT_EQ(calls.back(), "command 1");
}

TEST_F(GtkHostTest, ListBoxesRadioButtonsAndDropDownsKeepTheirStates) {
    test::ListModel list;
    host_.SetDialogHookForTesting([](GtkDialogWindow& shown) {
        shown.Type(110, "c");
        shown.Type(110, "a");
        Screenshot(shown, "list-box");
        shown.Click(111);
    });
    EXPECT_EQ(host_.RunModal(list), kIdOk);
    EXPECT_EQ(list.taken, (std::vector<int>{0, 2}));

    test::OptionsModel options;
    host_.SetDialogHookForTesting([](GtkDialogWindow& shown) {
        shown.Click(102);
        shown.Type(104, "DES");
        shown.Click(kIdOk);
    });
    EXPECT_EQ(host_.RunModal(options), kIdOk);
    EXPECT_EQ(options.checked, (std::vector<bool>{false, true, true, false}));
    EXPECT_EQ(options.calls, (Lines{"command 102", "text 104 2", "command 1"}));
}

// The theme icon a box shows beside its text, "" for none.
std::string IconOf(GtkWidget* box) {
    GtkWidget* area = gtk_message_dialog_get_message_area(GTK_MESSAGE_DIALOG(box));
    GList* children = gtk_container_get_children(GTK_CONTAINER(gtk_widget_get_parent(area)));
    std::string name;
    for (GList* child = children; child != nullptr; child = child->next) {
        if (!GTK_IS_IMAGE(child->data)) continue;
        const gchar* icon = nullptr;
        gtk_image_get_icon_name(GTK_IMAGE(child->data), &icon, nullptr);
        if (icon != nullptr) name = icon;
    }
    g_list_free(children);
    return name;
}

TEST_F(GtkHostTest, MessageBoxesAnswerWithTheButtonPressedAndEscapeDismisses) {
    std::vector<int> defaults;
    std::vector<std::string> icons;
    host_.SetMessageHookForTesting([&defaults, &icons](GtkWidget* box, int first) {
        defaults.push_back(first);
        icons.push_back(IconOf(box));
        gtk_dialog_response(GTK_DIALOG(box), kIdNo);
    });
    EXPECT_EQ(host_.ShowMessage(nullptr, "Overwrite it?", "QOR Vaultis", MessageButtons::kYesNo,
                                MessageIcon::kQuestion),
              kIdNo);
    host_.SetMessageHookForTesting([&icons](GtkWidget* box, int) {
        icons.push_back(IconOf(box));
        gtk_dialog_response(GTK_DIALOG(box), GTK_RESPONSE_DELETE_EVENT);
    });
    EXPECT_EQ(host_.ShowMessage(nullptr, "t", "c", MessageButtons::kOkCancel, MessageIcon::kNone),
              kIdCancel);
    EXPECT_EQ(host_.ShowMessage(nullptr, "t", "c", MessageButtons::kOk, MessageIcon::kStop), kIdOk);
    EXPECT_EQ(defaults, std::vector<int>{kIdYes});
    EXPECT_EQ(icons, (std::vector<std::string>{"dialog-question", "", "dialog-error"}));
}

// A button that opens the desktop's chooser in `folder` and keeps what it gave.
class ChooserModel : public DialogModel {
  public:
    explicit ChooserModel(std::string folder) : folder_(std::move(folder)) {
        template_.caption = "Chooser";
        template_.rect = {0, 0, 120, 40};
        template_.controls = {PushButton(1119, "&Browse...", {7, 7, 50, 14})};
    }
    const DialogTemplate& Template() const override { return template_; }
    void OnCommand(DialogView& view, int) override {
        chosen = view.ChooseFiles("Add to the AutoCrypt List", folder_);
        view.Close(kIdOk);
    }
    std::vector<std::string> chosen;

  private:
    std::string folder_;
    DialogTemplate template_;
};

// The widget inside `root` (internal children too) that is a button labelled `label`.
GtkWidget* ButtonLabelled(GtkWidget* root, const char* label) {
    struct Search {
        const char* label;
        GtkWidget* found = nullptr;
        static void Visit(GtkWidget* widget, gpointer data) {
            auto* search = static_cast<Search*>(data);
            if (search->found != nullptr) return;
            if (GTK_IS_BUTTON(widget) && gtk_button_get_label(GTK_BUTTON(widget)) != nullptr &&
                std::string(gtk_button_get_label(GTK_BUTTON(widget))) == search->label) {
                search->found = widget;
                return;
            }
            if (GTK_IS_CONTAINER(widget)) gtk_container_forall(GTK_CONTAINER(widget), Visit, data);
        }
    } search{label};
    Search::Visit(root, &search);
    return search.found;
}

// The chooser's list of files.
GtkTreeView* FileList(GtkWidget* chooser) {
    struct Search {
        GtkWidget* found = nullptr;
        static void Visit(GtkWidget* widget, gpointer data) {
            auto* search = static_cast<Search*>(data);
            if (search->found != nullptr) return;
            if (GTK_IS_TREE_VIEW(widget) && gtk_widget_get_mapped(widget)) {
                search->found = widget;
                return;
            }
            if (GTK_IS_CONTAINER(widget)) gtk_container_forall(GTK_CONTAINER(widget), Visit, data);
        }
    } search;
    Search::Visit(chooser, &search);
    return GTK_TREE_VIEW(search.found);
}

// What a user does in the chooser: selects `names` in the folder shown (once it is listed),
// photographs it, and clicks the button labelled `button`.
struct ChooserHand {
    std::string folder;
    std::vector<std::string> names;
    const char* button;
    std::string shot;
    int ticks = 0;
    size_t selected = 0;
    std::vector<std::string> rows;  // the list's rows selected so far

    static gboolean Tick(gpointer data) {
        auto* hand = static_cast<ChooserHand*>(data);
        GtkWidget* chooser = nullptr;
        GList* windows = gtk_window_list_toplevels();
        for (GList* w = windows; w != nullptr; w = w->next)
            if (GTK_IS_FILE_CHOOSER_DIALOG(w->data) && gtk_widget_get_visible(GTK_WIDGET(w->data)))
                chooser = GTK_WIDGET(w->data);
        g_list_free(windows);
        if (++hand->ticks > 100) {
            ADD_FAILURE() << "the chooser never came or never selected " << hand->names.size();
            if (chooser != nullptr) gtk_dialog_response(GTK_DIALOG(chooser), GTK_RESPONSE_CANCEL);
            return G_SOURCE_REMOVE;
        }
        if (chooser == nullptr) return G_SOURCE_CONTINUE;
        GSList* files = gtk_file_chooser_get_filenames(GTK_FILE_CHOOSER(chooser));
        const size_t count = g_slist_length(files);
        g_slist_free_full(files, g_free);
        // One name at a time, each once the one before shows as selected (the folder is listed
        // meanwhile). Selecting a name moves the list's cursor, which unselects the others: the
        // rows selected before are selected again at the end, as with Ctrl held.
        if (count < (hand->selected > 0 ? 1u : 0u)) return G_SOURCE_CONTINUE;
        GtkTreeSelection* rows = gtk_tree_view_get_selection(FileList(chooser));
        GList* selectedRows =
            hand->selected > 0 ? gtk_tree_selection_get_selected_rows(rows, nullptr) : nullptr;
        for (GList* row = selectedRows; row != nullptr; row = row->next) {
            gchar* text = gtk_tree_path_to_string(static_cast<GtkTreePath*>(row->data));
            hand->rows.emplace_back(text);
            g_free(text);
        }
        g_list_free_full(selectedRows, reinterpret_cast<GDestroyNotify>(gtk_tree_path_free));
        if (hand->selected < hand->names.size()) {
            gtk_file_chooser_select_filename(
                GTK_FILE_CHOOSER(chooser),
                (hand->folder + "/" + hand->names[hand->selected++]).c_str());
            return G_SOURCE_CONTINUE;
        }
        // The list selects its first row when it takes the focus: only the names count.
        gtk_tree_selection_unselect_all(rows);
        for (const std::string& row : hand->rows) {
            GtkTreePath* path = gtk_tree_path_new_from_string(row.c_str());
            gtk_tree_selection_select_path(rows, path);
            gtk_tree_path_free(path);
        }
        files = gtk_file_chooser_get_filenames(GTK_FILE_CHOOSER(chooser));
        EXPECT_EQ(g_slist_length(files), hand->names.size());
        g_slist_free_full(files, g_free);
        if (!hand->shot.empty()) {
            const fs::path file = fs::path(QOR_SCREENSHOT_DIR) / (hand->shot + ".png");
            EXPECT_TRUE(SaveWindowScreenshot(chooser, file.string()));
        }
        GtkWidget* button = ButtonLabelled(chooser, hand->button);
        EXPECT_NE(button, nullptr) << hand->button;
        if (button != nullptr)
            gtk_button_clicked(GTK_BUTTON(button));
        else
            gtk_dialog_response(GTK_DIALOG(chooser), GTK_RESPONSE_CANCEL);
        return G_SOURCE_REMOVE;
    }
};

// The AutoCrypt list takes folders as well as files: the chooser adds files with its accept
// button and folders with "Add Folder" (the selected ones, or the folder shown when none is).
TEST_F(GtkHostTest, TheChooserAddsFilesOrFoldersByTheirButtons) {
    const fs::path folder = fs::path(Folder("chooser"));
    fs::create_directories(folder / "sub folder");
    std::FILE* file = std::fopen((folder / "a.txt").c_str(), "w");
    ASSERT_NE(file, nullptr);
    std::fputs("a", file);
    std::fclose(file);

    const auto choose = [&](std::vector<std::string> names, const char* button,
                            std::string shot = {}) {
        ChooserModel model(folder.string());
        ChooserHand hand{folder.string(), std::move(names), button, std::move(shot), 0, 0, {}};
        host_.SetDialogHookForTesting([&hand](GtkDialogWindow& shown) {
            g_timeout_add(50, ChooserHand::Tick, &hand);
            shown.Click(1119);
        });
        EXPECT_EQ(host_.RunModal(model), kIdOk);
        return model.chosen;
    };
    const std::string sub = (folder / "sub folder").string();
    const std::string a = (folder / "a.txt").string();
    EXPECT_EQ(choose({"sub folder"}, kAddFolderLabel, "chooser-folder"), Lines{sub});
    EXPECT_EQ(choose({}, kAddFolderLabel), Lines{folder.string()});
    EXPECT_EQ(choose({"a.txt"}, kAddFilesLabel, "chooser-file"), Lines{a});
    // Files selected with a folder are not added by "Add Folder"; with only files selected it
    // adds the folder shown.
    EXPECT_EQ(choose({"a.txt", "sub folder"}, kAddFolderLabel), Lines{sub});
    EXPECT_EQ(choose({"a.txt"}, kAddFolderLabel), Lines{folder.string()});
    EXPECT_EQ(choose({"a.txt"}, "_Cancel"), Lines{});
}

// The product's dialogs as a user meets them, each photographed.
TEST_F(GtkHostTest, ProductDialogsShowAndWork) {
    SetUpUser("secret1", 5, false);
    dialogs::PasswordDialog password;
    host_.SetDialogHookForTesting([](GtkDialogWindow& shown) {
        shown.Type(1022, "secret1");
        Screenshot(shown, "password");
        shown.Click(kIdOk);
    });
    EXPECT_EQ(host_.RunModal(password), kIdOk);
    EXPECT_EQ(password.resultFlag(), 1);

    dialogs::EncryptDialog encrypt({Folder("work"), "report.doc", "notes.txt"});
    host_.SetDialogHookForTesting([](GtkDialogWindow& shown) {
        Screenshot(shown, "encrypt");
        shown.Click(kIdCancel);
    });
    EXPECT_EQ(host_.RunModal(encrypt), kIdCancel);

    // The About box paints its picture over the whole window (the gradient's top left corner,
    // the shield's blue in the middle); a click on it shows the other one.
    dialogs::AboutBox about;
    std::vector<Pixel> corners;
    Pixel shield;
    host_.SetDialogHookForTesting([&](GtkDialogWindow& shown) {
        Screenshot(shown, "about");
        corners.push_back(PixelAt("about", 0.01, 0.01));
        shield = PixelAt("about", 0.39, 0.25);
        shown.Click(dialogs::AboutBox::kBitmap);
        Screenshot(shown, "about-second");
        corners.push_back(PixelAt("about-second", 0.01, 0.01));
        shown.Click(kIdOk);
    });
    EXPECT_EQ(host_.RunModal(about), kIdOk);
    ASSERT_EQ(corners.size(), 2u);
    ExpectNear(corners[0], {0xf7, 0xf9, 0xfc}, "the first picture's corner");
    ExpectNear(shield, {0x2f, 0x5f, 0xa8}, "the shield");
    ExpectNear(corners[1], {0xfb, 0xf7, 0xef}, "the second picture's corner");

    dialogs::SetupDialog setup;
    host_.SetDialogHookForTesting([](GtkDialogWindow& shown) {
        shown.Type(dialogs::SetupDialog::kName, "Alice");
        shown.Type(dialogs::SetupDialog::kPassword, "secret1");
        shown.Type(dialogs::SetupDialog::kConfirm, "secret1");
        Screenshot(shown, "setup");
        shown.Click(kIdCancel);
    });
    EXPECT_EQ(host_.RunModal(setup), kIdCancel);

    // The seeding dialog cannot be cancelled; its percentage moves with the user's input.
    dialogs::RandomSeedingDialog seeding;
    host_.SetDialogHookForTesting([](GtkDialogWindow& shown) {
        for (int k = 0; k < 150 && !shown.view().closed(); ++k)
            shown.model().OnKey(shown.view(), 'a' + k % 26, 1);
        Screenshot(shown, "random-seeding");
        for (int k = 0; k < 2000 && !shown.view().closed(); ++k)
            shown.model().OnPointerMove(shown.view(), k, 2 * k);
    });
    host_.SetMessageHookForTesting(
        [](GtkWidget* box, int first) { gtk_dialog_response(GTK_DIALOG(box), first); });
    host_.RunModal(seeding);
    EXPECT_TRUE(seeding.Result() != 0);
}

}  // namespace
}  // namespace qor::ui::gtk
