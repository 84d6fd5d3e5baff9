#include "com_class_factory.h"

#include <new>

#include "com_shell_extension.h"

namespace qor::shell::com {

HRESULT __stdcall ShellClassFactory::QueryInterface(REFIID iid, void** result) {
    if (result == nullptr) return E_POINTER;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IClassFactory)) {
        *result = static_cast<IClassFactory*>(this);
        AddRef();
        return S_OK;
    }
    *result = nullptr;
    return E_NOINTERFACE;
}

ULONG __stdcall ShellClassFactory::AddRef() {
    return static_cast<ULONG>(InterlockedIncrement(&references_));
}

ULONG __stdcall ShellClassFactory::Release() {
    const LONG left = InterlockedDecrement(&references_);
    if (left == 0) delete this;
    return static_cast<ULONG>(left);
}

HRESULT __stdcall ShellClassFactory::CreateInstance(IUnknown* outer, REFIID iid, void** result) {
    if (result == nullptr) return E_POINTER;
    *result = nullptr;
    if (outer != nullptr) return CLASS_E_NOAGGREGATION;
    auto* object = new (std::nothrow) ComShellExtension();
    if (object == nullptr) return E_OUTOFMEMORY;
    const HRESULT answer = object->QueryInterface(iid, result);
    object->Release();
    return answer;
}

// A client that keeps the class object for later may lock the server meanwhile.
HRESULT __stdcall ShellClassFactory::LockServer(BOOL lock) {
    LockModule(lock != FALSE);
    return S_OK;
}

}  // namespace qor::shell::com
