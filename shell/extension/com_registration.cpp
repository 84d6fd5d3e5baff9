// Registration of the library with the shell, as the installation and regsvr32 ask for it: the
// class and its in-process server, the context-menu handler of files and folders, the icon
// handler of the two kinds of encrypted file. Removal takes away only what registration wrote:
// the class key also holds the product's own values (the home folder), which the product's
// programs go on reading after the shell has let go of the library.
#include <array>
#include <string>

#include "com_module.h"

#include <olectl.h>

namespace {

using qor::shell::com::kClassIdText;

constexpr wchar_t kClassName[] = L"QOR Vaultis Shell Extension";
constexpr wchar_t kHandlerName[] = L"QOR Vaultis";
constexpr wchar_t kApproved[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Shell Extensions\\Approved";

// The encrypted file types and the kind names made for them where the type has none yet.
struct FileType {
    const wchar_t* extension;
    const wchar_t* kind;
};
constexpr std::array<FileType, 2> kFileTypes = {{
    {L".!!!", L"QORVaultis.LocalFile"},
    {L".s!!", L"QORVaultis.ShareFile"},
}};

std::wstring ClassKey() {
    return std::wstring(L"CLSID\\") + kClassIdText;
}

bool SetString(HKEY root, const std::wstring& key, const wchar_t* name, const std::wstring& text) {
    HKEY handle = nullptr;
    if (RegCreateKeyExW(root, key.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &handle,
                        nullptr) != ERROR_SUCCESS) {
        return false;
    }
    const auto bytes = static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t));
    const LONG result =
        RegSetValueExW(handle, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()), bytes);
    RegCloseKey(handle);
    return result == ERROR_SUCCESS;
}

// The text of a value, "" when there is none.
std::wstring ReadString(HKEY root, const std::wstring& key, const wchar_t* name) {
    DWORD bytes = 0;
    if (RegGetValueW(root, key.c_str(), name, RRF_RT_REG_SZ, nullptr, nullptr, &bytes) !=
            ERROR_SUCCESS ||
        bytes < sizeof(wchar_t)) {
        return {};
    }
    std::wstring text(bytes / sizeof(wchar_t), L'\0');
    if (RegGetValueW(root, key.c_str(), name, RRF_RT_REG_SZ, nullptr, text.data(), &bytes) !=
        ERROR_SUCCESS) {
        return {};
    }
    text.resize(bytes / sizeof(wchar_t));
    while (!text.empty() && text.back() == L'\0')
        text.pop_back();
    return text;
}

void DeleteValue(HKEY root, const std::wstring& key, const wchar_t* name) {
    HKEY handle = nullptr;
    if (RegOpenKeyExW(root, key.c_str(), 0, KEY_SET_VALUE, &handle) != ERROR_SUCCESS) return;
    RegDeleteValueW(handle, name);
    RegCloseKey(handle);
}

// Deletes the key when it holds neither values nor keys any more.
void DeleteKeyIfEmpty(HKEY root, const std::wstring& key) {
    HKEY handle = nullptr;
    if (RegOpenKeyExW(root, key.c_str(), 0, KEY_QUERY_VALUE, &handle) != ERROR_SUCCESS) return;
    DWORD keys = 0;
    DWORD values = 0;
    const LONG result = RegQueryInfoKeyW(handle, nullptr, nullptr, nullptr, &keys, nullptr, nullptr,
                                         &values, nullptr, nullptr, nullptr, nullptr);
    RegCloseKey(handle);
    if (result == ERROR_SUCCESS && keys == 0 && values == 0) RegDeleteKeyW(root, key.c_str());
}

// Deletes `key` (and what lies beneath it) when its default value names our class.
void DeleteIfOurs(HKEY root, const std::wstring& key) {
    if (_wcsicmp(ReadString(root, key, nullptr).c_str(), kClassIdText) == 0)
        RegDeleteTreeW(root, key.c_str());
}

// Deletes the key and the keys above it up to `stop` (not included) while they are empty.
void PruneUpTo(HKEY root, std::wstring key, const std::wstring& stop) {
    while (key.size() > stop.size() && key.compare(0, stop.size(), stop) == 0) {
        DeleteKeyIfEmpty(root, key);
        key.resize(key.rfind(L'\\'));
    }
}

std::wstring MenuHandlerKey(const wchar_t* kind) {
    return std::wstring(kind) + L"\\shellex\\ContextMenuHandlers\\" + kHandlerName;
}

}  // namespace

extern "C" {

HRESULT __stdcall DllRegisterServer(void) {
    const std::wstring path = qor::shell::com::ModulePath();
    if (path.empty()) return SELFREG_E_CLASS;
    const std::wstring server = ClassKey() + L"\\InprocServer32";
    if (!SetString(HKEY_CLASSES_ROOT, ClassKey(), nullptr, kClassName) ||
        !SetString(HKEY_CLASSES_ROOT, server, nullptr, path) ||
        !SetString(HKEY_CLASSES_ROOT, server, L"ThreadingModel", L"Apartment")) {
        return SELFREG_E_CLASS;
    }
    bool handlers =
        SetString(HKEY_CLASSES_ROOT, MenuHandlerKey(L"*"), nullptr, kClassIdText) &&
        SetString(HKEY_CLASSES_ROOT, MenuHandlerKey(L"Directory"), nullptr, kClassIdText);
    for (const FileType& type : kFileTypes) {
        // A type that has a kind already (the file association's) keeps it.
        std::wstring kind = ReadString(HKEY_CLASSES_ROOT, type.extension, nullptr);
        if (kind.empty()) {
            kind = type.kind;
            handlers = SetString(HKEY_CLASSES_ROOT, type.extension, nullptr, kind) && handlers;
        }
        handlers =
            SetString(HKEY_CLASSES_ROOT, kind + L"\\DefaultIcon", nullptr, L"%1") &&
            SetString(HKEY_CLASSES_ROOT, kind + L"\\shellex\\IconHandler", nullptr, kClassIdText) &&
            handlers;
    }
    if (!handlers) return SELFREG_E_CLASS;
    // Where the system runs only approved extensions; without the rights for it, the others
    // still serve.
    SetString(HKEY_LOCAL_MACHINE, kApproved, kClassIdText, kClassName);
    return S_OK;
}

HRESULT __stdcall DllUnregisterServer(void) {
    RegDeleteTreeW(HKEY_CLASSES_ROOT, (ClassKey() + L"\\InprocServer32").c_str());
    if (ReadString(HKEY_CLASSES_ROOT, ClassKey(), nullptr) == kClassName)
        DeleteValue(HKEY_CLASSES_ROOT, ClassKey(), nullptr);
    DeleteKeyIfEmpty(HKEY_CLASSES_ROOT, ClassKey());
    for (const wchar_t* kind : {L"*", L"Directory"}) {
        DeleteIfOurs(HKEY_CLASSES_ROOT, MenuHandlerKey(kind));
        PruneUpTo(HKEY_CLASSES_ROOT, std::wstring(kind) + L"\\shellex\\ContextMenuHandlers",
                  std::wstring(kind));
    }
    for (const FileType& type : kFileTypes) {
        const std::wstring kind = ReadString(HKEY_CLASSES_ROOT, type.extension, nullptr);
        if (kind.empty()) continue;
        DeleteIfOurs(HKEY_CLASSES_ROOT, kind + L"\\shellex\\IconHandler");
        PruneUpTo(HKEY_CLASSES_ROOT, kind + L"\\shellex", kind);
        const std::wstring icon = kind + L"\\DefaultIcon";
        if (ReadString(HKEY_CLASSES_ROOT, icon, nullptr) == L"%1") {
            DeleteValue(HKEY_CLASSES_ROOT, icon, nullptr);
            DeleteKeyIfEmpty(HKEY_CLASSES_ROOT, icon);
        }
        // The kind this library made, and the type's pointer to it, go when nothing else uses
        // them; an association's kind stays as the association left it.
        if (kind == type.kind) {
            DeleteKeyIfEmpty(HKEY_CLASSES_ROOT, kind);
            HKEY left = nullptr;
            if (RegOpenKeyExW(HKEY_CLASSES_ROOT, kind.c_str(), 0, KEY_READ, &left) ==
                ERROR_SUCCESS) {
                RegCloseKey(left);
            } else {
                DeleteValue(HKEY_CLASSES_ROOT, type.extension, nullptr);
                DeleteKeyIfEmpty(HKEY_CLASSES_ROOT, type.extension);
            }
        }
    }
    DeleteValue(HKEY_LOCAL_MACHINE, kApproved, kClassIdText);
    return S_OK;
}

}  // extern "C"
