#include <qor/platform/shortcut.h>

#include "win32_common.h"

#include <objbase.h>
#include <objidl.h>
#include <shlguid.h>
#include <shobjidl.h>

namespace qor::platform {

std::string ShortcutFile(const std::string& linkPath) {
    return linkPath;
}

int WriteShortcut(const std::string& linkPath, const std::string& target,
                  const std::string& description) {
    if (linkPath.empty()) return -1;
    const HRESULT initialised = CoInitialize(nullptr);
    IShellLinkW* link = nullptr;
    HRESULT result = CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER,
                                      IID_IShellLinkW, reinterpret_cast<void**>(&link));
    IPersistFile* file = nullptr;
    if (SUCCEEDED(result)) {
        result = link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file));
    }
    if (SUCCEEDED(result)) {
        link->SetPath(win32::Widen(target).c_str());
        link->SetDescription(win32::Widen(description).c_str());
        link->SetWorkingDirectory(L"");
        result = file->Save(win32::Widen(linkPath).c_str(), TRUE);
    }
    if (file != nullptr) file->Release();
    if (link != nullptr) link->Release();
    if (SUCCEEDED(initialised)) CoUninitialize();
    return static_cast<int>(result);
}

}  // namespace qor::platform
