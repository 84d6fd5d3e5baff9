// The library's face as an in-process COM server: the class object the shell asks for, and
// whether the library may be unloaded.
#include <windows.h>

#include "shell_extension.h"

extern "C" {

HRESULT __stdcall DllCanUnloadNow(void) {
    return qor::shell::ShellExtension::LiveObjects() == 0 ? S_OK : S_FALSE;
}

HRESULT __stdcall DllGetClassObject(REFCLSID, REFIID, void** result) {
    if (result == nullptr) return E_POINTER;
    *result = nullptr;
    return CLASS_E_CLASSNOTAVAILABLE;
}

}  // extern "C"
