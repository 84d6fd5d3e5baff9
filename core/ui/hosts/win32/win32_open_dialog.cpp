// A model shown inside the platform's Explorer-style open dialog: its template is the open
// dialog's child template, and the hook procedure is the child's dialog procedure.
#include "win32_dialog.h"
// After windows.h, whose types it uses.
#include <commdlg.h>

#include <vector>

#include "dialog_template_bytes.h"
#include "win32_text.h"

namespace qor::ui::win32 {

namespace {

// The open dialog's file-type label and list: the model picks files and folders of every type.
constexpr int kFileTypeLabel = 1089;
constexpr int kFileTypeList = 1136;

using OpenFileName = BOOL(WINAPI*)(OPENFILENAMEW*);

}  // namespace

INT_PTR Win32Dialog::RunInOpenDialog(std::string_view title) {
    // The common dialogs bring COM and the shell with them: loaded for this dialog only, not
    // linked into every program that shows a dialog (under Wine each such process would wait
    // for a COM service that never starts).
    HMODULE dialogs = LoadLibraryW(L"comdlg32.dll");
    if (dialogs == nullptr) return -1;
    auto getOpenFileName = reinterpret_cast<OpenFileName>(
        reinterpret_cast<void*>(GetProcAddress(dialogs, "GetOpenFileNameW")));
    if (getOpenFileName == nullptr) {
        FreeLibrary(dialogs);
        return -1;
    }
    // DWORD-aligned, as the dialog manager reads a template in memory.
    const std::vector<uint8_t> form = ChildDialogTemplateBytes(model_.Template());
    std::vector<wchar_t> names(32768, L'\0');
    const std::wstring wideTitle = Wide(title);
    OPENFILENAMEW open{};
    open.lStructSize = sizeof(open);
    open.hInstance = reinterpret_cast<HINSTANCE>(const_cast<uint8_t*>(form.data()));
    open.lpstrFile = names.data();
    open.nMaxFile = static_cast<DWORD>(names.size());
    open.lpstrTitle = wideTitle.c_str();
    open.lpfnHook = &OpenDialogHook;
    open.lCustData = reinterpret_cast<LPARAM>(this);
    open.Flags = OFN_EXPLORER | OFN_ALLOWMULTISELECT | OFN_ENABLETEMPLATEHANDLE | OFN_ENABLEHOOK |
                 OFN_HIDEREADONLY | OFN_LONGNAMES | OFN_NOCHANGEDIR;
    child_ = true;
    Enter();
    open.hwndOwner = owner_;
    getOpenFileName(&open);
    Leave();
    FreeLibrary(dialogs);
    if (!attached_) return -1;
    return view_.closed() ? view_.result() : kIdCancel;
}

UINT_PTR CALLBACK Win32Dialog::OpenDialogHook(HWND window, UINT message, WPARAM wParam,
                                              LPARAM lParam) {
    static const UINT fileNameOk = RegisterWindowMessageW(FILEOKSTRINGW);
    if (message == WM_INITDIALOG) {
        const auto* open = reinterpret_cast<const OPENFILENAMEW*>(lParam);
        auto* self = reinterpret_cast<Win32Dialog*>(open->lCustData);
        SetWindowLongPtrW(window, DWLP_USER, open->lCustData);
        self->window_ = window;
        self->attached_ = true;
        // The model's buttons end the dialog; the open dialog's OK stays enabled, hidden, so
        // that Enter in its name field still reaches the model.
        HWND parent = GetParent(window);
        for (int id : {kFileTypeLabel, kFileTypeList, IDOK, IDCANCEL})
            SendMessageW(parent, CDM_HIDECONTROL, static_cast<WPARAM>(id), 0);
        self->Init();
        return TRUE;
    }
    auto* self = reinterpret_cast<Win32Dialog*>(GetWindowLongPtrW(window, DWLP_USER));
    if (self == nullptr || self->window_ != window) return FALSE;
    if (message == WM_NOTIFY) {
        const auto* header = reinterpret_cast<const NMHDR*>(lParam);
        if (header->code != CDN_FILEOK) return FALSE;
        // The open dialog would end with its file: the model takes the selection instead.
        if (!self->view_.closed()) self->model_.OnCommand(self->view_, kIdOk);
        SetWindowLongPtrW(window, DWLP_MSGRESULT, 1);
        return TRUE;
    }
    if (message == fileNameOk) {
        SetWindowLongPtrW(window, DWLP_MSGRESULT, 1);
        return TRUE;
    }
    if (message == WM_DESTROY) {
        self->window_ = nullptr;
        return FALSE;
    }
    return static_cast<UINT_PTR>(self->Handle(message, wParam, lParam));
}

}  // namespace qor::ui::win32
