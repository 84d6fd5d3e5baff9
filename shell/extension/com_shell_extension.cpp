#include "com_shell_extension.h"

#include <algorithm>
#include <string>
#include <vector>

#include "com_menu.h"
#include "context_menu.h"
#include "string_table.h"

namespace qor::shell::com {

namespace {

// The commands by name, for callers that invoke a verb rather than an offset: the same names
// the qor command uses.
struct Verb {
    int offset;
    const char* name;
};
constexpr Verb kVerbs[] = {
    {kOffsetEncrypt, "encrypt"},
    {kOffsetDecrypt, "decrypt"},
    {kOffsetAutoCrypt, "autocrypt"},
    {kOffsetShareEncrypt, "share-encrypt"},
    {kOffsetShareDecrypt, "share-decrypt"},
    {kOffsetChangePassword, "change-password"},
    {kOffsetClearPassword, "clear-password"},
    {kOffsetHelp, "help"},
    {kOffsetAbout, "about"},
    {kOffsetSetup, "setup"},
};

bool SameVerb(std::string_view a, std::string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
        return lower(x) == lower(y);
    });
}

int OffsetForVerb(std::string_view verb) {
    for (const Verb& v : kVerbs)
        if (SameVerb(verb, v.name)) return v.offset;
    return -1;
}

const char* VerbForOffset(int offset) {
    for (const Verb& v : kVerbs)
        if (v.offset == offset) return v.name;
    return nullptr;
}

std::string AnsiToUtf8(const char* text) {
    const int length = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
    if (length <= 1) return {};
    std::wstring wide(static_cast<size_t>(length), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text, -1, wide.data(), length);
    wide.resize(static_cast<size_t>(length - 1));
    return Utf8(wide);
}

// `text` into the caller's buffer of `size` characters (wide ones when `wide`), cut to fit.
void CopyOut(std::string_view text, bool wide, void* buffer, UINT size) {
    const std::wstring converted = Wide(text);
    if (wide) {
        auto* out = static_cast<wchar_t*>(buffer);
        const size_t length = std::min<size_t>(converted.size(), size - 1);
        std::copy_n(converted.data(), length, out);
        out[length] = L'\0';
        return;
    }
    // As many whole characters as the buffer holds in the ANSI code page.
    auto* out = static_cast<char*>(buffer);
    int characters = static_cast<int>(std::min<size_t>(converted.size(), size - 1));
    while (characters > 0 &&
           WideCharToMultiByte(CP_ACP, 0, converted.data(), characters, nullptr, 0, nullptr,
                               nullptr) > static_cast<int>(size - 1)) {
        --characters;
    }
    const int length = WideCharToMultiByte(CP_ACP, 0, converted.data(), characters, out,
                                           static_cast<int>(size - 1), nullptr, nullptr);
    out[length > 0 ? length : 0] = '\0';
}

// The caller's verb: an offset in the low word, or a name (wide when the caller says so).
int OffsetOf(const CMINVOKECOMMANDINFO& info) {
    if (IS_INTRESOURCE(info.lpVerb)) return LOWORD(reinterpret_cast<UINT_PTR>(info.lpVerb));
    if (info.cbSize >= sizeof(CMINVOKECOMMANDINFOEX) && (info.fMask & CMIC_MASK_UNICODE) != 0) {
        const auto& ex = reinterpret_cast<const CMINVOKECOMMANDINFOEX&>(info);
        if (ex.lpVerbW != nullptr && !IS_INTRESOURCE(ex.lpVerbW))
            return OffsetForVerb(Utf8(ex.lpVerbW));
    }
    return OffsetForVerb(AnsiToUtf8(info.lpVerb));
}

}  // namespace

HRESULT __stdcall ComShellExtension::QueryInterface(REFIID iid, void** result) {
    if (result == nullptr) return E_POINTER;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IContextMenu)) {
        *result = static_cast<IContextMenu*>(this);
    } else if (IsEqualIID(iid, IID_IShellExtInit)) {
        *result = static_cast<IShellExtInit*>(this);
    } else if (IsEqualIID(iid, IID_IExtractIconA)) {
        *result = static_cast<IExtractIconA*>(this);
    } else if (IsEqualIID(iid, IID_IPersistFile)) {
        *result = static_cast<IPersistFile*>(this);
    } else {
        *result = nullptr;
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

ULONG __stdcall ComShellExtension::AddRef() {
    return static_cast<ULONG>(InterlockedIncrement(&references_));
}

ULONG __stdcall ComShellExtension::Release() {
    const LONG left = InterlockedDecrement(&references_);
    if (left == 0) delete this;
    return static_cast<ULONG>(left);
}

HRESULT __stdcall ComShellExtension::Initialize(PCIDLIST_ABSOLUTE, IDataObject* data, HKEY) {
    if (data == nullptr) return E_FAIL;
    FORMATETC format = {CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    STGMEDIUM medium{};
    if (FAILED(data->GetData(&format, &medium))) return E_FAIL;
    HRESULT answer = E_FAIL;
    try {
        const auto drop = static_cast<HDROP>(medium.hGlobal);
        const UINT count = medium.tymed == TYMED_HGLOBAL && drop != nullptr
                               ? DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0)
                               : 0;
        std::vector<std::string> names;
        for (UINT i = 0; i < count; ++i) {
            const UINT length = DragQueryFileW(drop, i, nullptr, 0);
            std::wstring name(length + 1, L'\0');
            const UINT copied = DragQueryFileW(drop, i, name.data(), length + 1);
            name.resize(copied);
            if (!name.empty()) names.push_back(Utf8(name));
        }
        // An empty drop list leaves nothing for the commands to act on.
        if (extension_.Initialize(names)) answer = S_OK;
    } catch (...) {
        answer = E_OUTOFMEMORY;
    }
    ReleaseStgMedium(&medium);
    return answer;
}

HRESULT __stdcall ComShellExtension::QueryContextMenu(HMENU menu, UINT position, UINT firstId,
                                                      UINT lastId, UINT flags) {
    // A double-click asks only for the default command, which is never ours; and ids beyond the
    // range the caller gave would collide with another handler's.
    if ((flags & CMF_DEFAULTONLY) != 0 || lastId < firstId ||
        lastId - firstId < static_cast<UINT>(kMenuIdsUsed - 1)) {
        return MAKE_HRESULT(SEVERITY_SUCCESS, FACILITY_NULL, 0);
    }
    try {
        std::vector<MenuItem> items;
        const int used = extension_.QueryContextMenu(&items, 0, static_cast<int>(firstId));
        if (!InsertMenuItems(menu, position, items)) return E_FAIL;
        return MAKE_HRESULT(SEVERITY_SUCCESS, FACILITY_NULL, static_cast<unsigned>(used));
    } catch (...) {
        return E_OUTOFMEMORY;
    }
}

HRESULT __stdcall ComShellExtension::InvokeCommand(CMINVOKECOMMANDINFO* info) {
    if (info == nullptr) return E_INVALIDARG;
    const int offset = OffsetOf(*info);
    if (offset < 0) return E_FAIL;
    if (offset > kOffsetLast) return E_INVALIDARG;
    try {
        extension_.InvokeCommand(info->hwnd, offset);
    } catch (...) {
    }
    return S_OK;
}

HRESULT __stdcall ComShellExtension::GetCommandString(UINT_PTR offset, UINT kind, UINT*,
                                                      CHAR* buffer, UINT size) {
    if (offset > static_cast<UINT_PTR>(kOffsetLast)) return E_INVALIDARG;
    const int at = static_cast<int>(offset);
    const bool wide = (kind & GCS_UNICODE) != 0;
    switch (kind & ~static_cast<UINT>(GCS_UNICODE)) {
        case GCS_VALIDATEA: {
            const MenuAction action = ActionForOffset(at);
            return action == MenuAction::kNothing || action == MenuAction::kInvalid ? S_FALSE
                                                                                    : S_OK;
        }
        case GCS_VERBA: {
            const char* verb = VerbForOffset(at);
            if (verb == nullptr) return E_NOTIMPL;
            if (buffer == nullptr || size == 0) return E_INVALIDARG;
            CopyOut(verb, wide, buffer, size);
            return S_OK;
        }
        case GCS_HELPTEXTA:
            if (buffer == nullptr || size == 0) return E_INVALIDARG;
            CopyOut(LoadShellString(ShellExtension::CommandString(at)), wide, buffer, size);
            return S_OK;
        default:
            return E_NOTIMPL;
    }
}

HRESULT __stdcall ComShellExtension::GetIconLocation(UINT, PSTR file, UINT size, int* index,
                                                     UINT* outFlags) {
    if (file == nullptr || size == 0) return E_INVALIDARG;
    const std::wstring path = ModulePath();
    // The shell opens the file by this name: a name cut short, or one the ANSI code page cannot
    // spell, would name some other file.
    BOOL lossy = FALSE;
    const int length = path.empty() ? 0
                                    : WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, path.data(),
                                                          static_cast<int>(path.size()), nullptr, 0,
                                                          nullptr, &lossy);
    if (length <= 0 || lossy || static_cast<UINT>(length) >= size) {
        file[0] = '\0';
        return E_FAIL;
    }
    WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, path.data(), static_cast<int>(path.size()),
                        file, length, nullptr, nullptr);
    file[length] = '\0';
    const int icon = extension_.IconIndex();
    if (icon >= 0 && index != nullptr) *index = icon;
    if (outFlags != nullptr) *outFlags = GIL_PERINSTANCE;
    return S_OK;
}

HRESULT __stdcall ComShellExtension::Extract(PCSTR, UINT, HICON*, HICON*, UINT) {
    return S_FALSE;
}

HRESULT __stdcall ComShellExtension::GetClassID(CLSID*) {
    return E_FAIL;
}

HRESULT __stdcall ComShellExtension::IsDirty() {
    return E_FAIL;
}

HRESULT __stdcall ComShellExtension::Load(LPCOLESTR fileName, DWORD) {
    if (fileName == nullptr) return E_INVALIDARG;
    try {
        extension_.Load(Utf8(fileName));
    } catch (...) {
        return E_OUTOFMEMORY;
    }
    return S_OK;
}

HRESULT __stdcall ComShellExtension::Save(LPCOLESTR, BOOL) {
    return E_FAIL;
}

HRESULT __stdcall ComShellExtension::SaveCompleted(LPCOLESTR) {
    return E_FAIL;
}

HRESULT __stdcall ComShellExtension::GetCurFile(LPOLESTR*) {
    return E_FAIL;
}

}  // namespace qor::shell::com
