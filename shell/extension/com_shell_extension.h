// The product's object as the shell uses it: one per use of a context menu (initialised with
// the selection, asked for its menu, told to carry out at most one command) or per icon of an
// encrypted file (loaded with the file's name, asked where its icon is). Its four interfaces share
// one reference count; the work itself is the portable ShellExtension's.
#pragma once

#include "com_module.h"
#include "shell_extension.h"

namespace qor::shell::com {

class ComShellExtension final : public IContextMenu,
                                public IShellExtInit,
                                public IExtractIconA,
                                public IPersistFile {
  public:
    ComShellExtension() = default;
    ComShellExtension(const ComShellExtension&) = delete;
    ComShellExtension& operator=(const ComShellExtension&) = delete;

    HRESULT __stdcall QueryInterface(REFIID iid, void** result) override;
    ULONG __stdcall AddRef() override;
    ULONG __stdcall Release() override;

    // IShellExtInit: the selection from the data object's file-drop list.
    HRESULT __stdcall Initialize(PCIDLIST_ABSOLUTE folder, IDataObject* data, HKEY) override;

    // IContextMenu
    HRESULT __stdcall QueryContextMenu(HMENU menu, UINT position, UINT firstId, UINT lastId,
                                       UINT flags) override;
    HRESULT __stdcall InvokeCommand(CMINVOKECOMMANDINFO* info) override;
    HRESULT __stdcall GetCommandString(UINT_PTR offset, UINT kind, UINT* reserved, CHAR* buffer,
                                       UINT size) override;

    // IExtractIconA: the icons live in this library; the shell extracts them itself.
    HRESULT __stdcall GetIconLocation(UINT flags, PSTR file, UINT size, int* index,
                                      UINT* outFlags) override;
    HRESULT __stdcall Extract(PCSTR file, UINT index, HICON* largeIcon, HICON* smallIcon,
                              UINT sizes) override;

    // IPersistFile: only Load, which names the file whose icon is asked for.
    HRESULT __stdcall GetClassID(CLSID* classId) override;
    HRESULT __stdcall IsDirty() override;
    HRESULT __stdcall Load(LPCOLESTR fileName, DWORD mode) override;
    HRESULT __stdcall Save(LPCOLESTR fileName, BOOL remember) override;
    HRESULT __stdcall SaveCompleted(LPCOLESTR fileName) override;
    HRESULT __stdcall GetCurFile(LPOLESTR* fileName) override;

  private:
    ~ComShellExtension() = default;

    LONG references_ = 1;
    ShellExtension extension_;
};

}  // namespace qor::shell::com
