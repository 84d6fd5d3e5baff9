#include "com_server_support.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <sstream>

namespace qor::shell::test {

std::wstring Wide(const std::string& utf8) {
    if (utf8.empty()) return {};
    const int size = static_cast<int>(utf8.size());
    std::wstring wide(
        static_cast<size_t>(MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, nullptr, 0)), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, wide.data(), static_cast<int>(wide.size()));
    return wide;
}

std::string Utf8(const std::wstring& wide) {
    if (wide.empty()) return {};
    const int size = static_cast<int>(wide.size());
    std::string utf8(static_cast<size_t>(WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, nullptr,
                                                             0, nullptr, nullptr)),
                     '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, utf8.data(), static_cast<int>(utf8.size()),
                        nullptr, nullptr);
    return utf8;
}

ShellLibrary::ShellLibrary() : module_(LoadLibraryW(L"qorshell.dll")) {}

ShellLibrary::~ShellLibrary() {
    if (module_ != nullptr) FreeLibrary(module_);
}

HRESULT ShellLibrary::GetClassObject(REFCLSID classId, REFIID iid, void** result) const {
    using Call = HRESULT(__stdcall*)(REFCLSID, REFIID, void**);
    const auto call = reinterpret_cast<Call>(
        reinterpret_cast<void*>(GetProcAddress(module_, "DllGetClassObject")));
    return call != nullptr ? call(classId, iid, result) : E_UNEXPECTED;
}

HRESULT ShellLibrary::CanUnloadNow() const {
    using Call = HRESULT(__stdcall*)();
    const auto call =
        reinterpret_cast<Call>(reinterpret_cast<void*>(GetProcAddress(module_, "DllCanUnloadNow")));
    return call != nullptr ? call() : E_UNEXPECTED;
}

HRESULT ShellLibrary::Create(REFIID iid, void** result) const {
    Ref<IClassFactory> factory;
    const HRESULT got = GetClassObject(kClassId, IID_IClassFactory, factory.out());
    if (FAILED(got)) return got;
    return factory->CreateInstance(nullptr, iid, result);
}

std::string ShellLibrary::Path() const {
    char path[MAX_PATH] = {};
    GetModuleFileNameA(module_, path, MAX_PATH);
    return path;
}

uint8_t* ShellLibrary::SharedSection(bool* marked) const {
    if (module_ == nullptr) return nullptr;
    auto* base = reinterpret_cast<uint8_t*>(module_);
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_SECTION_HEADER* section = IMAGE_FIRST_SECTION(nt);
    for (WORD i = 0; i < nt->FileHeader.NumberOfSections; ++i) {
        if (std::memcmp(section[i].Name, ".shared", 8) != 0) continue;
        if (marked != nullptr) *marked = (section[i].Characteristics & IMAGE_SCN_MEM_SHARED) != 0;
        return base + section[i].VirtualAddress;
    }
    return nullptr;
}

HRESULT __stdcall DropData::QueryInterface(REFIID iid, void** result) {
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDataObject)) {
        *result = static_cast<IDataObject*>(this);
        return S_OK;
    }
    *result = nullptr;
    return E_NOINTERFACE;
}

HRESULT __stdcall DropData::QueryGetData(FORMATETC* format) {
    return offersDrop_ && format->cfFormat == CF_HDROP && (format->tymed & TYMED_HGLOBAL) != 0
               ? S_OK
               : DV_E_FORMATETC;
}

// A DROPFILES header, then the wide names each with its terminator, then one more terminator
// (two for an empty list, whose end some readers look for past the first).
HRESULT __stdcall DropData::GetData(FORMATETC* format, STGMEDIUM* medium) {
    if (QueryGetData(format) != S_OK) return DV_E_FORMATETC;
    size_t characters = 2;
    for (const std::wstring& name : names_)
        characters += name.size() + 1;
    HGLOBAL memory = GlobalAlloc(GHND, sizeof(DROPFILES) + characters * sizeof(wchar_t));
    if (memory == nullptr) return E_OUTOFMEMORY;
    auto* drop = static_cast<DROPFILES*>(GlobalLock(memory));
    drop->pFiles = sizeof(DROPFILES);
    drop->fWide = TRUE;
    auto* text = reinterpret_cast<wchar_t*>(drop + 1);
    for (const std::wstring& name : names_) {
        std::memcpy(text, name.c_str(), (name.size() + 1) * sizeof(wchar_t));
        text += name.size() + 1;
    }
    *text = L'\0';
    GlobalUnlock(memory);
    medium->tymed = TYMED_HGLOBAL;
    medium->hGlobal = memory;
    medium->pUnkForRelease = nullptr;
    return S_OK;
}

std::string ReadMenu(HMENU menu, int depth) {
    std::string out;
    const int count = GetMenuItemCount(menu);
    for (int i = 0; i < count; ++i) {
        wchar_t text[260] = {};
        MENUITEMINFOW info{};
        info.cbSize = sizeof info;
        info.fMask =
            MIIM_FTYPE | MIIM_STATE | MIIM_ID | MIIM_SUBMENU | MIIM_CHECKMARKS | MIIM_STRING;
        info.dwTypeData = text;
        info.cch = 260;
        if (!GetMenuItemInfoW(menu, static_cast<UINT>(i), TRUE, &info)) {
            out += "(unreadable)\n";
            continue;
        }
        out.append(static_cast<size_t>(depth) * 2, ' ');
        const bool ours = info.wID >= kFirstId && info.wID < kFirstId + 13;
        const std::string offset = " [" + std::to_string(info.wID - kFirstId) + "]";
        if ((info.fType & MFT_SEPARATOR) != 0) {
            out += "-";
            if (ours) out += offset;
            out += "\n";
            continue;
        }
        out += Utf8(text);
        if (info.hSubMenu == nullptr && ours) out += offset;
        if ((info.fState & MFS_GRAYED) != 0) out += " (grayed)";
        if (info.hbmpChecked != nullptr && info.hbmpUnchecked == info.hbmpChecked) out += " *";
        out += "\n";
        if (info.hSubMenu != nullptr) out += ReadMenu(info.hSubMenu, depth + 1);
    }
    return out;
}

std::string Usable(const std::string& menuText) {
    std::istringstream lines(menuText);
    std::string joined;
    for (std::string line; std::getline(lines, line);) {
        line.erase(0, line.find_first_not_of(' '));
        if (line.empty() || line[0] == '-' || line.find(" (grayed)") != std::string::npos) continue;
        if (line.size() > 2 && line.compare(line.size() - 2, 2, " *") == 0)
            line.resize(line.size() - 2);
        const size_t offset = line.find(" [");
        if (offset != std::string::npos) line.resize(offset);
        if (!joined.empty()) joined += "|";
        joined += line;
    }
    return joined;
}

std::string MenuFor(const ShellLibrary& library, const std::vector<std::wstring>& paths) {
    Ref<IShellExtInit> init;
    if (FAILED(library.Create(IID_IShellExtInit, init.out()))) return "(no object)";
    DropData data(paths);
    if (init->Initialize(nullptr, &data, nullptr) != S_OK) return "(not initialised)";
    Ref<IContextMenu> menu;
    if (init->QueryInterface(IID_IContextMenu, menu.out()) != S_OK) return "(no menu)";
    HMENU popup = CreatePopupMenu();
    const HRESULT used = menu->QueryContextMenu(popup, 0, kFirstId, kFirstId + 100, CMF_NORMAL);
    std::string text = ReadMenu(popup);
    DestroyMenu(popup);
    if (used != MAKE_HRESULT(SEVERITY_SUCCESS, FACILITY_NULL, 13)) {
        text += "(answered " + std::to_string(static_cast<long>(used)) + ")";
    }
    return text;
}

int RunChild(const char* filter, const char* variable, const std::string& value) {
    _putenv_s(variable, value.c_str());
    wchar_t path[MAX_PATH];
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring command =
        L"\"" + std::wstring(path) + L"\" --gtest_filter=" + Wide(filter) + L" --gtest_brief=1";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    int code = -1;
    if (CreateProcessW(path, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                       &process)) {
        if (WaitForSingleObject(process.hProcess, 60000) == WAIT_OBJECT_0) {
            DWORD exitCode = 0;
            GetExitCodeProcess(process.hProcess, &exitCode);
            code = static_cast<int>(exitCode);
        }
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    _putenv_s(variable, "");
    return code;
}

}  // namespace qor::shell::test
