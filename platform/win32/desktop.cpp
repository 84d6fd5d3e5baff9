// The desktop on Windows: the shell's default action, and the network providers.
#include "qor/platform/desktop.h"

#include "qor/platform/system.h"

#include "win32_common.h"

#include <shellapi.h>
#include <winnetwk.h>

namespace qor::platform {

bool OpenWithDefaultApplication(const std::string& path, void* owner) {
    const std::wstring wide = win32::Widen(path);
    const HINSTANCE result = ShellExecuteW(static_cast<HWND>(owner), nullptr, wide.c_str(), nullptr,
                                           nullptr, SW_SHOWNORMAL);
    // ShellExecute reports success as a value above 32.
    return reinterpret_cast<INT_PTR>(result) > 32;
}

bool NetworkPresent() {
    const std::string setting = EnvironmentVariable("QOR_NETWORK");
    if (setting == "none") return false;
    if (setting == "up") return true;
    HANDLE enumeration = nullptr;
    // Only the answer matters, not the resources: the ANSI entry takes no text here.
    const DWORD result =
        WNetOpenEnumA(RESOURCE_GLOBALNET, RESOURCETYPE_DISK,
                      RESOURCEUSAGE_CONNECTABLE | RESOURCEUSAGE_CONTAINER, nullptr, &enumeration);
    if (result == ERROR_NO_NETWORK) return false;
    if (result == NO_ERROR) WNetCloseEnum(enumeration);
    return true;
}

}  // namespace qor::platform
