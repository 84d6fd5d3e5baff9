#include "win32_file_dialogs.h"

#include <windows.h>
// After windows.h, which it needs.
#include <commdlg.h>

#include <cwchar>

#include "win32_text.h"

namespace qor::ui::win32 {

namespace {

// The common dialogs bring COM and the shell with them: their library is loaded when the user
// asks for one, not by every program that shows a dialog.
bool RunCommonDialog(OPENFILENAMEW& request, const char* entry) {
    HMODULE dialogs = LoadLibraryW(L"comdlg32.dll");
    if (dialogs == nullptr) return false;
    using FileDialog = BOOL(WINAPI*)(OPENFILENAMEW*);
    auto run =
        reinterpret_cast<FileDialog>(reinterpret_cast<void*>(GetProcAddress(dialogs, entry)));
    const bool chosen = run != nullptr && run(&request) != FALSE;
    FreeLibrary(dialogs);
    return chosen;
}

}  // namespace

std::vector<std::string> ChooseFilesToOpen(void* owner, std::string_view title,
                                           std::string_view folder) {
    std::vector<wchar_t> names(32768, L'\0');
    const std::wstring wideTitle = Wide(title);
    const std::wstring wideFolder = Wide(folder);
    OPENFILENAMEW open{};
    open.lStructSize = sizeof(open);
    open.hwndOwner = static_cast<HWND>(owner);
    open.lpstrFile = names.data();
    open.nMaxFile = static_cast<DWORD>(names.size());
    open.lpstrTitle = wideTitle.c_str();
    open.lpstrInitialDir = wideFolder.empty() ? nullptr : wideFolder.c_str();
    open.Flags = OFN_ALLOWMULTISELECT | OFN_EXPLORER | OFN_FILEMUSTEXIST | OFN_HIDEREADONLY |
                 OFN_NOCHANGEDIR;
    std::vector<std::string> paths;
    if (!RunCommonDialog(open, "GetOpenFileNameW")) return paths;
    // One name is a full path; several come as the folder followed by the names.
    const std::string first = Utf8(names.data());
    const wchar_t* next = names.data() + wcslen(names.data()) + 1;
    if (*next == L'\0') {
        paths.push_back(first);
        return paths;
    }
    for (; *next != L'\0'; next += wcslen(next) + 1) {
        std::string path = first;
        if (!path.empty() && path.back() != '\\') path += '\\';
        paths.push_back(path + Utf8(next));
    }
    return paths;
}

int ChooseFileToSave(void* owner, const SaveFileRequest& request, std::string* chosen) {
    // The filter is pairs of texts, each ended by a zero, the list by one more.
    std::wstring filter = Wide(request.filterName);
    filter += L'\0';
    filter += Wide(request.pattern);
    filter += L'\0';
    const std::wstring extension = Wide(request.defaultExtension);
    const std::wstring folder = Wide(request.folder);
    std::vector<wchar_t> name(MAX_PATH, L'\0');
    const std::wstring preset = Wide(request.presetName);
    wcsncpy(name.data(), preset.c_str(), name.size() - 1);
    OPENFILENAMEW save{};
    save.lStructSize = sizeof(save);
    save.hwndOwner = static_cast<HWND>(owner);
    save.lpstrFilter = filter.c_str();
    save.nFilterIndex = 1;
    save.lpstrFile = name.data();
    save.nMaxFile = static_cast<DWORD>(name.size());
    save.lpstrInitialDir = folder.empty() ? nullptr : folder.c_str();
    save.lpstrDefExt = extension.empty() ? nullptr : extension.c_str();
    // The caller says itself that a chosen file exists, and the process's current folder is
    // not the dialog's to change.
    save.Flags = OFN_EXPLORER | OFN_HIDEREADONLY | OFN_NOCHANGEDIR | OFN_PATHMUSTEXIST;
    if (!RunCommonDialog(save, "GetSaveFileNameW")) return kIdCancel;
    *chosen = Utf8(name.data());
    return kIdOk;
}

}  // namespace qor::ui::win32
