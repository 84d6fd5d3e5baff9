// The class object the shell asks the library for: it makes the product's menu and icon objects.
#pragma once

#include "com_module.h"
#include "shell_extension.h"

namespace qor::shell::com {

class ShellClassFactory final : public IClassFactory {
  public:
    ShellClassFactory() = default;
    ShellClassFactory(const ShellClassFactory&) = delete;
    ShellClassFactory& operator=(const ShellClassFactory&) = delete;

    HRESULT __stdcall QueryInterface(REFIID iid, void** result) override;
    ULONG __stdcall AddRef() override;
    ULONG __stdcall Release() override;
    HRESULT __stdcall CreateInstance(IUnknown* outer, REFIID iid, void** result) override;
    HRESULT __stdcall LockServer(BOOL lock) override;

  private:
    ~ShellClassFactory() = default;

    LONG references_ = 1;
    LiveObject live_;
};

}  // namespace qor::shell::com
