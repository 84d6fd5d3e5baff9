// The library's face as an in-process COM server: the class object the shell asks for, and
// whether the library may be unloaded.
#include <new>

#include "com_class_factory.h"
#include "com_module.h"

using qor::shell::com::ShellClassFactory;

extern "C" {

HRESULT __stdcall DllCanUnloadNow(void) {
    return qor::shell::LiveObject::Count() == 0 && !qor::shell::com::ModuleLocked() ? S_OK
                                                                                    : S_FALSE;
}

HRESULT __stdcall DllGetClassObject(REFCLSID classId, REFIID iid, void** result) {
    if (result == nullptr) return E_POINTER;
    *result = nullptr;
    if (!IsEqualCLSID(classId, qor::shell::com::kClassId)) return CLASS_E_CLASSNOTAVAILABLE;
    auto* factory = new (std::nothrow) ShellClassFactory();
    if (factory == nullptr) return E_OUTOFMEMORY;
    const HRESULT answer = factory->QueryInterface(iid, result);
    factory->Release();
    return answer;
}

}  // extern "C"
