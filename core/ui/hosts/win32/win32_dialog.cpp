#include "win32_dialog.h"

#include <algorithm>
#include <vector>

#include "dialog_template_bytes.h"
#include "win32_file_dialogs.h"
#include "win32_host.h"
#include "win32_text.h"

namespace qor::ui::win32 {

namespace {

// The innermost dialog running on this thread; the dialogs it was opened from follow `outer_`.
thread_local Win32Dialog* innermost = nullptr;

HMODULE ThisModule() {
    HMODULE module = nullptr;
    GetModuleHandleExW(
        GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
        reinterpret_cast<LPCWSTR>(&ThisModule), &module);
    return module;
}

bool IsPushButton(const ControlTemplate& control) {
    return control.kind == ControlKind::kPushButton || control.kind == ControlKind::kDefPushButton;
}

bool IsEdit(ControlKind kind) {
    return kind == ControlKind::kEdit || kind == ControlKind::kPasswordEdit ||
           kind == ControlKind::kMultiLineEdit;
}

// A resource named by its number ("128") or by its name.
LPCWSTR ResourceName(const std::wstring& name) {
    if (!name.empty() && name.size() <= 5 &&
        std::all_of(name.begin(), name.end(), [](wchar_t c) { return c >= L'0' && c <= L'9'; }))
        return MAKEINTRESOURCEW(std::stoi(name));
    return name.c_str();
}

// A picture of the product (a bitmap, an icon or a cursor), shared: the module keeps it and
// the next dialog takes the same one. The host may belong to the program while the dialog comes
// from the core library, which carries the product's pictures: each module that may hold them
// is asked.
HANDLE LoadProductImage(LPCWSTR name, UINT type) {
    for (HMODULE module :
         {ThisModule(), GetModuleHandleW(L"qorsec95.dll"), GetModuleHandleW(nullptr)}) {
        if (module == nullptr) continue;
        if (HANDLE image = LoadImageW(module, name, type, 0, 0, LR_DEFAULTSIZE | LR_SHARED))
            return image;
    }
    return nullptr;
}

}  // namespace

Win32View::Win32View(Win32Dialog& dialog, const DialogTemplate& form)
    : StateView(form), dialog_(dialog) {}

void Win32View::SetText(int id, std::string_view text) {
    StateView::SetText(id, text);
    if (ControlState* state = State(id)) dialog_.Mirror(IndexOf(*state));
}

void Win32View::SetCheck(int id, bool checked) {
    StateView::SetCheck(id, checked);
    if (ControlState* state = State(id)) dialog_.Mirror(IndexOf(*state));
}

void Win32View::Show(int id, bool visible) {
    StateView::Show(id, visible);
    if (HWND control = dialog_.Control(id)) ShowWindow(control, visible ? SW_SHOWNA : SW_HIDE);
}

void Win32View::Enable(int id, bool enabled) {
    StateView::Enable(id, enabled);
    if (HWND control = dialog_.Control(id)) EnableWindow(control, enabled ? TRUE : FALSE);
}

void Win32View::Focus(int id) {
    StateView::Focus(id);
    if (HWND control = dialog_.Control(id))
        SendMessageW(dialog_.Root(), WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(control), TRUE);
}

void Win32View::SetCaption(std::string_view caption) {
    StateView::SetCaption(caption);
    if (dialog_.window_ != nullptr) SetWindowTextW(dialog_.window_, Wide(caption).c_str());
}

void Win32View::SetItems(int id, const std::vector<std::string>& items) {
    StateView::SetItems(id, items);
    if (ControlState* state = State(id)) dialog_.Mirror(IndexOf(*state));
}

void Win32View::SetSelection(int id, int index) {
    StateView::SetSelection(id, index);
    if (ControlState* state = State(id)) dialog_.Mirror(IndexOf(*state));
}

void Win32View::SetItemSelected(int id, int index, bool selected) {
    StateView::SetItemSelected(id, index, selected);
    if (ControlState* state = State(id)) dialog_.Mirror(IndexOf(*state));
}

void Win32View::StartTimer(int timerId, uint32_t milliseconds) {
    StateView::StartTimer(timerId, milliseconds);
    if (dialog_.window_ != nullptr)
        SetTimer(dialog_.window_, static_cast<UINT_PTR>(timerId), milliseconds, nullptr);
}

void Win32View::StopTimer(int timerId) {
    StateView::StopTimer(timerId);
    if (dialog_.window_ != nullptr) KillTimer(dialog_.window_, static_cast<UINT_PTR>(timerId));
}

void Win32View::Close(int result) {
    StateView::Close(result);
    if (dialog_.window_ == nullptr) return;
    if (!dialog_.child_) {
        EndDialog(dialog_.window_, result);
        return;
    }
    // The open dialog ends as cancelled whatever the model's result: it has no file to return.
    // Posted, so that the model's handler is done before the windows go.
    HWND parent = GetParent(dialog_.window_);
    PostMessageW(parent, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(parent, IDCANCEL)));
}

HWND Win32View::window() const {
    return dialog_.window_;
}

int Win32View::ShowMessage(std::string_view text, std::string_view caption, MessageButtons buttons,
                           MessageIcon icon) {
    return ShowMessageBox(dialog_.window_, text, caption, buttons, icon);
}

void Win32View::Beep() {
    MessageBeep(0);
}

void Win32View::SetCursor(CursorShape shape, int frame) {
    // The library's own cursors where a module carries them, else the system's by number
    // (IDC_WAIT, IDC_HELP, IDC_APPSTARTING, IDC_ARROW).
    HCURSOR cursor = nullptr;
    if (shape == CursorShape::kAnimation) {
        const std::wstring name = L"w" + std::to_wstring(((frame % 12) + 12) % 12);
        cursor = static_cast<HCURSOR>(LoadProductImage(name.c_str(), IMAGE_CURSOR));
    } else if (shape == CursorShape::kQuestion) {
        cursor = static_cast<HCURSOR>(LoadProductImage(L"questionCursor", IMAGE_CURSOR));
    }
    if (cursor == nullptr && shape != CursorShape::kArrow) {
        const int system = shape == CursorShape::kWait       ? 32514
                           : shape == CursorShape::kQuestion ? 32651
                                                             : 32650;
        cursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(system));
    }
    dialog_.cursor_ = cursor;
    ::SetCursor(cursor != nullptr ? cursor : LoadCursorW(nullptr, MAKEINTRESOURCEW(32512)));
}

void Win32View::PumpMessages() {
    MSG message;
    while (!closed() && PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            // Left for the loop that owns the thread.
            PostQuitMessage(static_cast<int>(message.wParam));
            break;
        }
        HWND root = dialog_.Root();
        if (dialog_.window_ != nullptr &&
            (message.hwnd == dialog_.window_ || IsChild(dialog_.window_, message.hwnd)))
            dialog_.Observe(message);
        if (root == nullptr || !IsDialogMessageW(root, &message)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
}

std::vector<std::string> Win32View::ChooseFiles(std::string_view title, std::string_view folder) {
    return ChooseFilesToOpen(dialog_.window_, title, folder);
}

Win32Dialog::Win32Dialog(DialogModel& model, HWND owner)
    : model_(model), owner_(owner), view_(*this, model.Template()) {}

void Win32Dialog::Enter() {
    outer_ = innermost;
    innermost = this;
    // One filter a thread sees every dialog's messages; it hands each to the dialog it is for.
    if (outer_ == nullptr)
        filter_ = SetWindowsHookExW(WH_MSGFILTER, &MessageFilter, nullptr, GetCurrentThreadId());
    if (owner_ == nullptr && outer_ != nullptr) owner_ = outer_->Root();
}

void Win32Dialog::Leave() {
    if (filter_ != nullptr) UnhookWindowsHookEx(filter_);
    filter_ = nullptr;
    innermost = outer_;
    window_ = nullptr;
}

HWND Win32Dialog::Root() const {
    if (window_ == nullptr || !child_) return window_;
    return GetAncestor(window_, GA_ROOT);
}

INT_PTR Win32Dialog::Run() {
    const std::vector<uint8_t> form = DialogTemplateBytes(model_.Template());
    Enter();
    const INT_PTR result =
        DialogBoxIndirectParamW(ThisModule(), reinterpret_cast<LPCDLGTEMPLATEW>(form.data()),
                                owner_, &Procedure, reinterpret_cast<LPARAM>(this));
    Leave();
    return result;
}

INT_PTR CALLBACK Win32Dialog::Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        auto* self = reinterpret_cast<Win32Dialog*>(lParam);
        SetWindowLongPtrW(window, DWLP_USER, lParam);
        self->window_ = window;
        return self->Handle(message, wParam, lParam);
    }
    auto* self = reinterpret_cast<Win32Dialog*>(GetWindowLongPtrW(window, DWLP_USER));
    if (self == nullptr || self->window_ != window) return FALSE;
    return self->Handle(message, wParam, lParam);
}

LRESULT CALLBACK Win32Dialog::MessageFilter(int code, WPARAM wParam, LPARAM lParam) {
    if (code >= 0 && lParam != 0) {
        const MSG& message = *reinterpret_cast<const MSG*>(lParam);
        const HWND root = message.hwnd != nullptr ? GetAncestor(message.hwnd, GA_ROOT) : nullptr;
        for (Win32Dialog* dialog = innermost; dialog != nullptr; dialog = dialog->outer_) {
            if (dialog->window_ != nullptr && dialog->Root() == root) {
                dialog->Observe(message);
                break;
            }
        }
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

INT_PTR Win32Dialog::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG:
            Init();
            // FALSE: the model chose the focus (or closed the dialog).
            return view_.focus() == kNoId && !view_.closed() ? TRUE : FALSE;
        case WM_COMMAND:
            OnCommand(LOWORD(wParam), HIWORD(wParam), reinterpret_cast<HWND>(lParam));
            return TRUE;
        case WM_TIMER:
            if (!view_.closed()) model_.OnTimer(view_, static_cast<int>(wParam));
            return TRUE;
        case WM_SETCURSOR:
            if (cursor_ == nullptr) return FALSE;
            ::SetCursor(cursor_);
            SetWindowLongPtrW(window_, DWLP_MSGRESULT, TRUE);
            return TRUE;
        case WM_QUERYENDSESSION:
            // A dialog that works on the user's files keeps the session until it is done.
            if (!model_.IsProgressDialog() || view_.closed()) return FALSE;
            SetWindowLongPtrW(window_, DWLP_MSGRESULT, FALSE);
            return TRUE;
        case WM_DESTROY:
            WipePasswordFields();
            return FALSE;
        case WM_DRAWITEM: {
            const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
            const ControlState* state = view_.State(static_cast<int>(item->CtlID));
            if (state == nullptr) return FALSE;
            if (state->control->kind == ControlKind::kProgressBar) {
                DrawBar(*item, ProgressBarValue(state->text.view()));
                return TRUE;
            }
            if (!IsArrow(*state->control)) return FALSE;
            DrawArrow(*item, state->control->text == "UP");
            return TRUE;
        }
        default:
            return FALSE;
    }
}

void Win32Dialog::Init() {
    // The controls in the order the dialog manager made them, which is the template's: those
    // without an id of their own (a picture, a label) are found this way too.
    const DialogTemplate& form = model_.Template();
    HWND handle = GetWindow(window_, GW_CHILD);
    for (const ControlTemplate& control : form.controls) {
        if (handle == nullptr) break;
        if (IsEdit(control.kind) && control.limit > 0)
            SendMessageW(handle, EM_LIMITTEXT, static_cast<WPARAM>(control.limit), 0);
        if (control.kind == ControlKind::kIcon || control.kind == ControlKind::kBitmap)
            SetImage(control, handle);
        handle = GetWindow(handle, GW_HWNDNEXT);
    }
    for (size_t i = 0; i < view_.states().size(); ++i)
        Mirror(i);
    SetWindowTextW(window_, Wide(view_.caption()).c_str());
    model_.OnInit(view_);
    if (view_.closed()) return;
    if (HWND focused = Control(view_.focus())) SetFocus(focused);
}

void Win32Dialog::SetImage(const ControlTemplate& control, HWND handle) {
    const std::wstring name = Wide(control.text);
    const bool icon = control.kind == ControlKind::kIcon;
    // The product's own image when a module of the process carries it, else a system one.
    HANDLE image = LoadProductImage(ResourceName(name), icon ? IMAGE_ICON : IMAGE_BITMAP);
    if (image == nullptr && icon)
        // IDI_QUESTION for the program's own, IDI_SHIELD for the padlock.
        image = LoadIconW(nullptr, MAKEINTRESOURCEW(control.text == "128" ? 32514 : 32518));
    if (image == nullptr) return;
    if (icon)
        SendMessageW(handle, STM_SETICON, reinterpret_cast<WPARAM>(image), 0);
    else
        SendMessageW(handle, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(image));
}

void Win32Dialog::WipePasswordFields() {
    // The field's own buffer is the control's: a password typed there is overwritten in place
    // with filler of its length before the control frees it.
    ++quiet_;
    for (const ControlState& state : view_.states()) {
        if (state.control->kind != ControlKind::kPasswordEdit) continue;
        HWND field = Control(state.control->id);
        const int length = field != nullptr ? GetWindowTextLengthW(field) : 0;
        if (length <= 0) continue;
        const std::wstring filler(static_cast<size_t>(length), L'*');
        SendMessageW(field, EM_SETSEL, 0, -1);
        SendMessageW(field, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(filler.c_str()));
        SetWindowTextW(field, L"");
    }
    --quiet_;
}

void Win32Dialog::DrawBar(const DRAWITEMSTRUCT& item, int value) {
    RECT frame = item.rcItem;
    DrawEdge(item.hDC, &frame, BDR_SUNKENOUTER, BF_RECT | BF_ADJUST);
    FillRect(item.hDC, &frame, GetSysColorBrush(COLOR_WINDOW));
    RECT filled = frame;
    filled.right = filled.left + static_cast<LONG>((frame.right - frame.left) * value / 1000);
    FillRect(item.hDC, &filled, GetSysColorBrush(COLOR_HIGHLIGHT));
}

void Win32Dialog::DrawArrow(const DRAWITEMSTRUCT& item, bool up) {
    RECT frame = item.rcItem;
    const bool pushed = (item.itemState & ODS_SELECTED) != 0;
    const bool disabled = (item.itemState & ODS_DISABLED) != 0;
    DrawFrameControl(item.hDC, &frame, DFC_BUTTON,
                     DFCS_BUTTONPUSH | (pushed ? DFCS_PUSHED : 0) | (disabled ? DFCS_INACTIVE : 0));
    // A triangle in the middle of the face, as large as the face allows.
    const int width = item.rcItem.right - item.rcItem.left;
    const int height = item.rcItem.bottom - item.rcItem.top;
    const int size = std::max(2, std::min(height - 4, (width - 4) / 2));
    const int shift = pushed ? 1 : 0;
    const int middle = item.rcItem.left + width / 2 + shift;
    const int top = item.rcItem.top + (height - size) / 2 + shift;
    const int tipY = up ? top : top + size;
    const int baseY = up ? top + size : top;
    const POINT points[3] = {{middle - size, baseY}, {middle + size, baseY}, {middle, tipY}};
    const COLORREF colour = GetSysColor(disabled ? COLOR_GRAYTEXT : COLOR_BTNTEXT);
    HBRUSH brush = CreateSolidBrush(colour);
    HPEN pen = CreatePen(PS_SOLID, 1, colour);
    HGDIOBJ oldBrush = SelectObject(item.hDC, brush);
    HGDIOBJ oldPen = SelectObject(item.hDC, pen);
    Polygon(item.hDC, points, 3);
    SelectObject(item.hDC, oldBrush);
    SelectObject(item.hDC, oldPen);
    DeleteObject(brush);
    DeleteObject(pen);
}

HWND Win32Dialog::Control(int id) const {
    if (window_ == nullptr || id == kNoId || view_.State(id) == nullptr) return nullptr;
    return GetDlgItem(window_, id);
}

void Win32Dialog::OnCommand(int id, int notification, HWND control) {
    if (quiet_ > 0 || view_.closed()) return;
    ControlState* state = control != nullptr ? view_.State(id) : nullptr;
    if (state == nullptr) {
        // Enter without a default button, Escape and the close box come as IDOK and IDCANCEL.
        if (notification == BN_CLICKED && (id == IDOK || id == IDCANCEL)) {
            if (ControlState* button = view_.State(id); button == nullptr || button->enabled)
                model_.OnCommand(view_, id);
        }
        return;
    }
    switch (state->control->kind) {
        case ControlKind::kCheckBox:
        case ControlKind::kRadioButton:
            if (notification != BN_CLICKED) return;
            if (state->control->kind == ControlKind::kRadioButton) {
                if (SendMessageW(control, BM_GETCHECK, 0, 0) != BST_CHECKED) return;
                view_.SelectRadio(*state);
            } else {
                state->checked = SendMessageW(control, BM_GETCHECK, 0, 0) == BST_CHECKED;
            }
            model_.OnCommand(view_, id);
            return;
        case ControlKind::kPushButton:
        case ControlKind::kDefPushButton:
        case ControlKind::kBitmap:
            if (notification == BN_CLICKED) model_.OnCommand(view_, id);  // STN_CLICKED too
            return;
        case ControlKind::kEdit:
        case ControlKind::kPasswordEdit:
        case ControlKind::kMultiLineEdit:
            if (notification != EN_CHANGE) return;
            ReadText(*state);
            model_.OnTextChanged(view_, id);
            return;
        case ControlKind::kDropDownList:
            if (notification != CBN_SELCHANGE) return;
            state->selection = static_cast<int>(SendMessageW(control, CB_GETCURSEL, 0, 0));
            model_.OnTextChanged(view_, id);
            return;
        case ControlKind::kListBox:
            if (notification != LBN_SELCHANGE) return;
            for (size_t i = 0; i < state->selected.size(); ++i)
                state->selected[i] = SendMessageW(control, LB_GETSEL, i, 0) > 0;
            return;
        default:
            return;
    }
}

void Win32Dialog::Observe(const MSG& message) {
    if (view_.closed()) return;
    switch (message.message) {
        case WM_KEYDOWN:
        case WM_SYSKEYDOWN:
            model_.OnKey(view_, static_cast<int>(message.wParam), LOWORD(message.lParam));
            break;
        case WM_MOUSEMOVE:
            model_.OnPointerMove(view_, message.pt.x, message.pt.y);
            break;
        case WM_LBUTTONDOWN: {
            const int id = GetDlgCtrlID(message.hwnd);
            const ControlState* state = message.hwnd != window_ ? view_.State(id) : nullptr;
            if (state != nullptr && IsPushButton(*state->control) && state->enabled) {
                pressed_ = true;
                model_.OnButtonPressed(view_, id);
            }
            break;
        }
        case WM_LBUTTONUP:
        case WM_CANCELMODE:
            if (pressed_) {
                pressed_ = false;
                model_.OnButtonReleased(view_);
            }
            break;
        default:
            break;
    }
}

void Win32Dialog::ReadText(ControlState& state) {
    HWND handle = Control(state.control->id);
    if (handle == nullptr) return;
    const SecureBuffer text = WindowText(handle);
    state.text.Assign(std::string_view(reinterpret_cast<const char*>(text.data()), text.size()));
}

void Win32Dialog::Mirror(size_t index) {
    if (window_ == nullptr) return;
    const ControlState& state = view_.states()[index];
    const ControlTemplate& control = *state.control;
    HWND handle = Control(control.id);
    if (handle == nullptr) return;
    ++quiet_;
    switch (control.kind) {
        case ControlKind::kStatic:
        case ControlKind::kEdit:
        case ControlKind::kPasswordEdit:
        case ControlKind::kMultiLineEdit:
        case ControlKind::kCheckBox:
        case ControlKind::kRadioButton:
        case ControlKind::kPushButton:
        case ControlKind::kDefPushButton:
        case ControlKind::kGroupBox: {
            // Straight from the view's buffer into the control's: a password is copied into a
            // wiped buffer only.
            const SecureBuffer wide = WideText(state.text.view());
            SetWindowTextW(handle, WideChars(wide));
            if (control.kind == ControlKind::kCheckBox || control.kind == ControlKind::kRadioButton)
                SendMessageW(handle, BM_SETCHECK, state.checked ? BST_CHECKED : BST_UNCHECKED, 0);
            break;
        }
        case ControlKind::kDropDownList:
            SendMessageW(handle, CB_RESETCONTENT, 0, 0);
            for (const std::string& item : state.items)
                SendMessageW(handle, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Wide(item).c_str()));
            SendMessageW(handle, CB_SETCURSEL, static_cast<WPARAM>(state.selection), 0);
            break;
        case ControlKind::kListBox: {
            // Rebuilt only when the items changed, so that a selection change keeps the view.
            bool same =
                SendMessageW(handle, LB_GETCOUNT, 0, 0) == static_cast<LRESULT>(state.items.size());
            for (size_t i = 0; same && i < state.items.size(); ++i) {
                const LRESULT length = SendMessageW(handle, LB_GETTEXTLEN, i, 0);
                std::wstring text(static_cast<size_t>(std::max<LRESULT>(length, 0)) + 1, L'\0');
                SendMessageW(handle, LB_GETTEXT, i, reinterpret_cast<LPARAM>(text.data()));
                same = Utf8(text.c_str()) == state.items[i];
            }
            if (!same) {
                SendMessageW(handle, LB_RESETCONTENT, 0, 0);
                for (const std::string& item : state.items)
                    SendMessageW(handle, LB_ADDSTRING, 0,
                                 reinterpret_cast<LPARAM>(Wide(item).c_str()));
            }
            for (size_t i = 0; i < state.items.size(); ++i) {
                const bool selected = i < state.selected.size() && state.selected[i];
                SendMessageW(handle, LB_SETSEL, selected ? TRUE : FALSE, static_cast<LPARAM>(i));
            }
            break;
        }
        case ControlKind::kBitmap:
        case ControlKind::kIcon: {
            // The picture the model names now (the About box swaps two on a click).
            ControlTemplate shown = control;
            shown.text = std::string(state.text.view());
            SetImage(shown, handle);
            break;
        }
        case ControlKind::kProgressBar:
            InvalidateRect(handle, nullptr, FALSE);
            break;
        default:
            break;
    }
    ShowWindow(handle, state.visible ? SW_SHOWNA : SW_HIDE);
    EnableWindow(handle, state.enabled ? TRUE : FALSE);
    --quiet_;
}

}  // namespace qor::ui::win32
