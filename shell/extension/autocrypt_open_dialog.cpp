#include "autocrypt_open_dialog.h"

#include <commctrl.h>
#include <commdlg.h>
#include <qor/platform/files.h>

#include "hosts/win32/win32_dialog.h"
#include "hosts/win32/win32_text.h"
#include "selection.h"

namespace qor::shell {

namespace {

// The open dialog's name field: an edit, or (newer dialogs) a combo box with one inside.
constexpr int kNameEdit = 0x480;
constexpr int kNameCombo = 0x47c;

std::wstring Answer(HWND parent, UINT message) {
    // The answer's length, its terminating zero included, comes first.
    const LRESULT size = SendMessageW(parent, message, 0, 0);
    if (size <= 1) return {};
    std::wstring text(static_cast<size_t>(size), L'\0');
    SendMessageW(parent, message, static_cast<WPARAM>(size), reinterpret_cast<LPARAM>(text.data()));
    text.resize(wcsnlen(text.c_str(), text.size()));
    return text;
}

std::string InFolder(const std::string& folder, const std::string& name) {
    std::string path = folder;
    if (!path.empty() && path.back() != '\\') path += '\\';
    return path + name;
}

bool IsFolder(const std::string& path) {
    const uint32_t attributes = platform::GetAttributes(path);
    return attributes != platform::kInvalidAttributes &&
           (attributes & platform::kAttrDirectory) != 0;
}

// The folders among the items selected in the open dialog's file view (the shell's view window
// and its list view). Files come from the name field, which names them without a hidden suffix.
std::vector<std::string> SelectedFolders(HWND parent, const std::string& folder) {
    std::vector<std::string> folders;
    HWND view = FindWindowExW(parent, nullptr, L"SHELLDLL_DefView", nullptr);
    HWND list = view != nullptr ? FindWindowExW(view, nullptr, WC_LISTVIEWW, nullptr) : nullptr;
    if (list == nullptr || folder.empty()) return folders;
    for (LRESULT item = SendMessageW(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED);
         item >= 0;
         item = SendMessageW(list, LVM_GETNEXTITEM, static_cast<WPARAM>(item), LVNI_SELECTED)) {
        wchar_t name[MAX_PATH] = {};
        LVITEMW text{};
        text.iSubItem = 0;
        text.pszText = name;
        text.cchTextMax = MAX_PATH;
        SendMessageW(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(item),
                     reinterpret_cast<LPARAM>(&text));
        if (name[0] == L'\0') continue;
        const std::string path = InFolder(folder, ui::win32::Utf8(name));
        if (IsFolder(path)) folders.push_back(path);
    }
    return folders;
}

}  // namespace

std::vector<std::string> ReadOpenDialogSelection(HWND child) {
    std::vector<std::string> paths;
    HWND parent = child != nullptr ? GetParent(child) : nullptr;
    if (parent == nullptr) return paths;
    const std::string folder = ui::win32::Utf8(Answer(parent, CDM_GETFOLDERPATH).c_str());
    const std::string names = ui::win32::Utf8(Answer(parent, CDM_GETSPEC).c_str());
    if (names.find('"') != std::string::npos) {
        // Several names, each quoted: the folder goes before them as the typed form takes it.
        paths = SplitTypedPaths(folder + " " + names);
    } else {
        for (const std::string& name : SplitTypedPaths(names))
            paths.push_back(folder.empty() ? name : MakeAbsolute(name, folder));
    }
    for (const std::string& path : SelectedFolders(parent, folder)) {
        bool listed = false;
        for (const std::string& known : paths)
            listed = listed || SameEntry(known, path);
        if (!listed) paths.push_back(path);
    }
    // Taken: the next "&Add to List" adds only what is chosen anew.
    for (int id : {kNameCombo, kNameEdit})
        SendMessageW(parent, CDM_SETCONTROLTEXT, static_cast<WPARAM>(id),
                     reinterpret_cast<LPARAM>(L""));
    return paths;
}

AutoCryptEditDialog::SelectionReader OpenDialogSelection() {
    return [](ui::DialogView& view) {
        auto* shown = dynamic_cast<ui::win32::Win32View*>(&view);
        return shown != nullptr ? ReadOpenDialogSelection(shown->window())
                                : std::vector<std::string>();
    };
}

int RunInOpenDialog(AutoCryptEditDialog& dialog, HWND owner) {
    ui::win32::Win32Dialog shown(dialog, owner);
    return static_cast<int>(shown.RunInOpenDialog(dialog.Template().caption));
}

}  // namespace qor::shell
