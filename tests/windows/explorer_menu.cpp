// Does what Explorer does for a right-click and a choice in the menu, with the installed
// qorshell.dll found through the registry as Explorer finds it:
//
//   explorer_menu.exe VERB FILE...
//
// creates the product's object with CoCreateInstance, initialises it with a file-drop list of
// the files, has it fill a real popup menu (printed on stdout, as ReadMenu reads it) and invokes
// the command VERB ("encrypt", "autocrypt", ...) by name. Exits 0 when the command was carried
// out, 1 when a step failed (told on stderr), 2 for bad arguments.
#include <cstdio>
#include <string>
#include <vector>

#include "com_server_support.h"

namespace test = qor::shell::test;

namespace {

int Failed(const char* step, HRESULT result) {
    std::fprintf(stderr, "explorer_menu: %s failed: 0x%08lx\n", step,
                 static_cast<unsigned long>(result));
    return 1;
}

int Choose(const std::string& verb, const std::vector<std::wstring>& files) {
    test::Ref<IShellExtInit> init;
    HRESULT result = CoCreateInstance(test::kClassId, nullptr, CLSCTX_INPROC_SERVER,
                                      IID_IShellExtInit, init.out());
    if (FAILED(result)) return Failed("CoCreateInstance", result);
    test::DropData data(files);
    if (result = init->Initialize(nullptr, &data, nullptr); result != S_OK)
        return Failed("IShellExtInit::Initialize", result);
    test::Ref<IContextMenu> menu;
    if (result = init->QueryInterface(IID_IContextMenu, menu.out()); FAILED(result))
        return Failed("QueryInterface(IContextMenu)", result);
    HMENU popup = CreatePopupMenu();
    result = menu->QueryContextMenu(popup, 0, test::kFirstId, test::kFirstId + 100, CMF_NORMAL);
    std::fputs(test::ReadMenu(popup).c_str(), stdout);
    std::fflush(stdout);
    DestroyMenu(popup);
    if (FAILED(result)) return Failed("IContextMenu::QueryContextMenu", result);
    CMINVOKECOMMANDINFOEX info{};
    info.cbSize = sizeof info;
    info.fMask = CMIC_MASK_UNICODE;
    info.lpVerb = verb.c_str();
    const std::wstring wideVerb = test::Wide(verb);
    info.lpVerbW = wideVerb.c_str();
    info.nShow = SW_SHOWNORMAL;
    if (result = menu->InvokeCommand(reinterpret_cast<CMINVOKECOMMANDINFO*>(&info)); result != S_OK)
        return Failed("IContextMenu::InvokeCommand", result);
    return 0;
}

}  // namespace

int main() {
    // The names as wide text, whatever the code page.
    int count = 0;
    LPWSTR* args = CommandLineToArgvW(GetCommandLineW(), &count);
    if (args == nullptr || count < 3) {
        std::fprintf(stderr, "usage: explorer_menu VERB FILE...\n");
        return 2;
    }
    const std::string verb = test::Utf8(args[1]);
    std::vector<std::wstring> files(args + 2, args + count);
    LocalFree(args);
    // Explorer's threads are single-threaded apartments.
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 1;
    const int status = Choose(verb, files);
    CoUninitialize();
    return status;
}
