// What the tests of qorshell.dll's COM server share: the library loaded by name, its class
// object, references released on their own, a file-drop data object as the shell hands over,
// a menu read back item by item, the data section the library shares between processes, and
// this test program started again as a second process.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
// After <windows.h>, which they need.
#include <shellapi.h>
#include <shlobj.h>

#include <cstdint>
#include <string>
#include <vector>

namespace qor::shell::test {

// {8e3e0f0a-0fcc-11ce-bcb0-b3fd0e253819}
inline constexpr CLSID kClassId = {
    0x8e3e0f0a, 0x0fcc, 0x11ce, {0xbc, 0xb0, 0xb3, 0xfd, 0x0e, 0x25, 0x38, 0x19}};
inline constexpr char kProductKey[] = "CLSID\\{8e3e0f0a-0fcc-11ce-bcb0-b3fd0e253819}\\QOR";
// The command ids the tests hand to QueryContextMenu start here.
inline constexpr UINT kFirstId = 100;

std::wstring Wide(const std::string& utf8);
std::string Utf8(const std::wstring& wide);

// A COM reference that is released when it goes.
template <typename Interface>
class Ref {
  public:
    Ref() = default;
    ~Ref() { Reset(); }
    Ref(const Ref&) = delete;
    Ref& operator=(const Ref&) = delete;
    Interface* get() const { return p_; }
    Interface* operator->() const { return p_; }
    explicit operator bool() const { return p_ != nullptr; }
    void** out() {
        Reset();
        return reinterpret_cast<void**>(&p_);
    }
    void Reset() {
        if (p_ != nullptr) p_->Release();
        p_ = nullptr;
    }

  private:
    Interface* p_ = nullptr;
};

// qorshell.dll loaded from beside the test, as the shell loads it.
class ShellLibrary {
  public:
    ShellLibrary();
    ~ShellLibrary();
    ShellLibrary(const ShellLibrary&) = delete;
    ShellLibrary& operator=(const ShellLibrary&) = delete;

    HMODULE module() const { return module_; }
    HRESULT GetClassObject(REFCLSID classId, REFIID iid, void** result) const;
    HRESULT CanUnloadNow() const;
    // A new object of the product's class through its class object, asked for `iid`.
    HRESULT Create(REFIID iid, void** result) const;
    std::string Path() const;
    // The library's data section shared between processes (nullptr when it has none), and
    // whether the image marks it shared.
    uint8_t* SharedSection(bool* marked = nullptr) const;

  private:
    HMODULE module_;
};

// A data object that offers the names as a file-drop list (wide, as the shell's own), or no
// file-drop list at all.
class DropData final : public IDataObject {
  public:
    explicit DropData(std::vector<std::wstring> names, bool offersDrop = true)
        : names_(std::move(names)), offersDrop_(offersDrop) {}

    HRESULT __stdcall QueryInterface(REFIID iid, void** result) override;
    // The test owns it on its stack.
    ULONG __stdcall AddRef() override { return 1; }
    ULONG __stdcall Release() override { return 1; }
    HRESULT __stdcall GetData(FORMATETC* format, STGMEDIUM* medium) override;
    HRESULT __stdcall GetDataHere(FORMATETC*, STGMEDIUM*) override { return E_NOTIMPL; }
    HRESULT __stdcall QueryGetData(FORMATETC* format) override;
    HRESULT __stdcall GetCanonicalFormatEtc(FORMATETC*, FORMATETC* out) override {
        if (out != nullptr) out->ptd = nullptr;
        return E_NOTIMPL;
    }
    HRESULT __stdcall SetData(FORMATETC*, STGMEDIUM*, BOOL) override { return E_NOTIMPL; }
    HRESULT __stdcall EnumFormatEtc(DWORD, IEnumFORMATETC**) override { return E_NOTIMPL; }
    HRESULT __stdcall DAdvise(FORMATETC*, DWORD, IAdviseSink*, DWORD*) override {
        return OLE_E_ADVISENOTSUPPORTED;
    }
    HRESULT __stdcall DUnadvise(DWORD) override { return OLE_E_ADVISENOTSUPPORTED; }
    HRESULT __stdcall EnumDAdvise(IEnumSTATDATA**) override { return OLE_E_ADVISENOTSUPPORTED; }

  private:
    std::vector<std::wstring> names_;
    bool offersDrop_;
};

// A menu as text, one line per item: two spaces of indent per popup level; the text; for a
// command of ours " [offset]" (its id less kFirstId); " (grayed)"; " *" when a check-mark bitmap
// is set. Separators read "-" (with the offset when they carry one of ours); their states are
// not read, as the window system reports them in its own way.
std::string ReadMenu(HMENU menu, int depth = 0);
// The usable items of ReadMenu's text, without offsets or marks, joined with "|".
std::string Usable(const std::string& menuText);

// The context menu of an object initialised with `paths`, inserted into an empty menu.
std::string MenuFor(const ShellLibrary& library, const std::vector<std::wstring>& paths);

// Starts this test program again running `filter` with `variable`=`value` in its environment;
// answers its exit code (-1 when it could not be started or did not end within a minute).
int RunChild(const char* filter, const char* variable, const std::string& value);

}  // namespace qor::shell::test
