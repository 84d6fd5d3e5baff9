// qorshell.dll as the shell drives it: its class object and objects, the file-drop list, the
// context menu read back from a real menu, the commands with the core's dialogs answered by the
// script host, the icons of encrypted files, the data section that a second process shares, and
// the registration. Each suite runs in a process of its own (CTest selects it): a process has one
// scenario, and the shared section lives as long as some process has the library loaded.
#include <gtest/gtest.h>
#include <qor/platform/registry.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "com_server_support.h"
#include "string_table.h"

namespace qor::shell::test {
namespace {

namespace fs = std::filesystem;
using qor::platform::Hive;

constexpr char kPeerVariable[] = "QOR_COM_PEER";

// The unused place between two commands' texts is not ours to read: the usable items by kind.
constexpr char kEverything[] =
    "&Encrypt...|Decr&ypt...|&File Share|&Encrypt...|Decr&ypt...|&QOR Settings|&AutoCrypt...|"
    "&Password|&Change Password...|QOR &Help...|&About QOR...";
constexpr char kSettings[] =
    "&QOR Settings|&AutoCrypt...|&Password|&Change Password...|QOR &Help...|&About QOR...";

// A scratch root whose home folder the registry names, and the script host pointed at the
// scenario (any dialog it does not cover ends the process) and at the root's transcript.
fs::path PrepareRoot(const char* name, const std::string& scenario) {
    const fs::path root = fs::temp_directory_path() / name;
    fs::remove_all(root);
    fs::create_directories(root / "home");
    fs::create_directories(root / "files");
    EXPECT_TRUE(qor::platform::RegistryWriteString(Hive::kClassesRoot, kProductKey, "UserHomeDir",
                                                   (root / "home").string()));
    std::ofstream(root / "scenario.txt") << scenario;
    _putenv_s("QOR_UI", ("script:" + (root / "scenario.txt").string()).c_str());
    _putenv_s("QOR_UI_LOG", (root / "transcript.txt").string().c_str());
    return root;
}

void WriteFile(const fs::path& path, const std::string& content) {
    std::ofstream(path, std::ios::binary) << content;
}

std::vector<std::string> Lines(const fs::path& file) {
    std::ifstream in(file);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

HRESULT Invoke(IContextMenu* menu, UINT_PTR verb) {
    CMINVOKECOMMANDINFO info{};
    info.cbSize = sizeof info;
    info.lpVerb = reinterpret_cast<LPCSTR>(verb);
    info.nShow = SW_SHOWNORMAL;
    return menu->InvokeCommand(&info);
}

HRESULT InvokeVerb(IContextMenu* menu, const std::string& verb, bool wide) {
    CMINVOKECOMMANDINFOEX info{};
    info.cbSize = sizeof info;
    info.lpVerb = verb.c_str();
    const std::wstring wideVerb = Wide(verb);
    if (wide) {
        info.fMask = CMIC_MASK_UNICODE;
        info.lpVerbW = wideVerb.c_str();
    }
    return menu->InvokeCommand(reinterpret_cast<CMINVOKECOMMANDINFO*>(&info));
}

// The object initialised with `paths`, its menu asked for once (as the shell does before a
// command), then the command at `verb` (an offset) carried out.
HRESULT RunCommand(const ShellLibrary& library, const std::vector<std::wstring>& paths,
                   UINT_PTR verb) {
    Ref<IShellExtInit> init;
    if (FAILED(library.Create(IID_IShellExtInit, init.out()))) return E_UNEXPECTED;
    DropData data(paths);
    if (init->Initialize(nullptr, &data, nullptr) != S_OK) return E_UNEXPECTED;
    Ref<IContextMenu> menu;
    init->QueryInterface(IID_IContextMenu, menu.out());
    HMENU popup = CreatePopupMenu();
    menu->QueryContextMenu(popup, 0, kFirstId, kFirstId + 100, CMF_NORMAL);
    DestroyMenu(popup);
    return Invoke(menu.get(), verb);
}

// ---------------------------------------------------------------------------------------------
// A user who is not set up yet; no command may show a dialog.

class ComServer : public ::testing::Test {
  protected:
    void SetUp() override {
        root_ = PrepareRoot("qor-com-server", "");
        ASSERT_NE(library_.module(), nullptr) << "qorshell.dll";
    }
    void TearDown() override {
        qor::platform::RegistryDeleteValue(Hive::kClassesRoot, kProductKey, "UserHomeDir");
    }
    std::wstring File(const std::string& name, const std::string& content = "x\n") {
        WriteFile(root_ / "files" / name, content);
        return (root_ / "files" / name).wstring();
    }

    fs::path root_;
    ShellLibrary library_;
};

TEST_F(ComServer, TheSmallProgramsFindTheExportsByTheirNumbers) {
    const char* names[] = {"SH_AssociateDecrypt", "SH_AutoEncrypt",     "SH_AutoDecrypt",
                           "SH_CheckPassword",    "SH_CreateShellLink", "SH_AddToStartMenu",
                           "UninstInitialize",    "UninstUnInitialize", "DllCanUnloadNow",
                           "DllGetClassObject"};
    for (WORD ordinal = 1; ordinal <= 10; ++ordinal) {
        const auto byNumber = GetProcAddress(library_.module(), MAKEINTRESOURCEA(ordinal));
        const auto byName = GetProcAddress(library_.module(), names[ordinal - 1]);
        EXPECT_NE(byName, nullptr) << names[ordinal - 1];
        EXPECT_EQ(byNumber, byName) << "ordinal " << ordinal << " is not " << names[ordinal - 1];
    }
    for (const char* name : {"DllRegisterServer", "DllUnregisterServer", "QorShellCreate"})
        EXPECT_NE(GetProcAddress(library_.module(), name), nullptr) << name;
}

TEST_F(ComServer, ClassObjectObjectsAndWhenTheLibraryMayGo) {
    EXPECT_EQ(library_.CanUnloadNow(), S_OK);
    void* result = &result;
    EXPECT_EQ(library_.GetClassObject(IID_IContextMenu, IID_IClassFactory, &result),
              CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(result, nullptr) << "the out pointer is cleared";
    result = &result;
    EXPECT_EQ(library_.GetClassObject(kClassId, IID_IDispatch, &result), E_NOINTERFACE);
    EXPECT_EQ(result, nullptr);
    EXPECT_EQ(library_.CanUnloadNow(), S_OK) << "a refused class object is gone again";

    Ref<IClassFactory> factory;
    ASSERT_EQ(library_.GetClassObject(kClassId, IID_IClassFactory, factory.out()), S_OK);
    EXPECT_EQ(library_.CanUnloadNow(), S_FALSE) << "the class object is alive";
    result = &result;
    EXPECT_EQ(
        factory->CreateInstance(reinterpret_cast<IUnknown*>(factory.get()), IID_IUnknown, &result),
        CLASS_E_NOAGGREGATION);
    EXPECT_EQ(result, nullptr);
    result = &result;
    EXPECT_EQ(factory->CreateInstance(nullptr, IID_IDispatch, &result), E_NOINTERFACE);
    EXPECT_EQ(result, nullptr);

    // The four interfaces are one object with one count.
    Ref<IContextMenu> menu;
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IContextMenu, menu.out()), S_OK);
    Ref<IShellExtInit> init;
    Ref<IExtractIconA> icon;
    Ref<IPersistFile> persist;
    Ref<IUnknown> viaMenu, viaInit, viaIcon, viaPersist;
    ASSERT_EQ(menu->QueryInterface(IID_IShellExtInit, init.out()), S_OK);
    ASSERT_EQ(init->QueryInterface(IID_IExtractIconA, icon.out()), S_OK);
    ASSERT_EQ(icon->QueryInterface(IID_IPersistFile, persist.out()), S_OK);
    ASSERT_EQ(menu->QueryInterface(IID_IUnknown, viaMenu.out()), S_OK);
    ASSERT_EQ(init->QueryInterface(IID_IUnknown, viaInit.out()), S_OK);
    ASSERT_EQ(icon->QueryInterface(IID_IUnknown, viaIcon.out()), S_OK);
    ASSERT_EQ(persist->QueryInterface(IID_IUnknown, viaPersist.out()), S_OK);
    EXPECT_EQ(viaMenu.get(), viaInit.get());
    EXPECT_EQ(viaMenu.get(), viaIcon.get());
    EXPECT_EQ(viaMenu.get(), viaPersist.get());
    EXPECT_EQ(static_cast<void*>(viaMenu.get()), static_cast<void*>(menu.get()))
        << "IUnknown is the context menu's";
    result = &result;
    EXPECT_EQ(persist->QueryInterface(IID_IDispatch, &result), E_NOINTERFACE);
    EXPECT_EQ(result, nullptr);
    EXPECT_EQ(menu->AddRef(), 9u) << "menu, init, icon, persist, four IUnknowns and this one";
    EXPECT_EQ(menu->Release(), 8u);

    // A locked server stays loaded after every object has gone.
    EXPECT_EQ(factory->LockServer(TRUE), S_OK);
    for (auto* ref : {&viaMenu, &viaInit, &viaIcon, &viaPersist})
        ref->Reset();
    menu.Reset();
    init.Reset();
    icon.Reset();
    EXPECT_EQ(library_.CanUnloadNow(), S_FALSE) << "persist and the class object are alive";
    persist.Reset();
    factory.Reset();
    EXPECT_EQ(library_.CanUnloadNow(), S_FALSE) << "locked";
    ASSERT_EQ(library_.GetClassObject(kClassId, IID_IUnknown, factory.out()), S_OK);
    EXPECT_EQ(factory->LockServer(FALSE), S_OK);
    EXPECT_EQ(factory->LockServer(FALSE), S_OK) << "an unlock too many is ignored";
    factory.Reset();
    EXPECT_EQ(library_.CanUnloadNow(), S_OK);
}

TEST_F(ComServer, InitializeWantsAFileDropListWithNames) {
    Ref<IShellExtInit> init;
    ASSERT_EQ(library_.Create(IID_IShellExtInit, init.out()), S_OK);
    EXPECT_EQ(init->Initialize(nullptr, nullptr, nullptr), E_FAIL) << "no data object";
    DropData noDrop({File("a.txt")}, false);
    EXPECT_EQ(init->Initialize(nullptr, &noDrop, nullptr), E_FAIL) << "no file-drop list";
    DropData empty({});
    EXPECT_EQ(init->Initialize(nullptr, &empty, nullptr), E_FAIL) << "nothing to act on";
    DropData one({File("a.txt")});
    EXPECT_EQ(init->Initialize(nullptr, &one, nullptr), S_OK);
}

TEST_F(ComServer, BeforeSetupOnlySetupAndAboutAreUsable) {
    Ref<IShellExtInit> init;
    ASSERT_EQ(library_.Create(IID_IShellExtInit, init.out()), S_OK);
    DropData data({File("a.txt")});
    ASSERT_EQ(init->Initialize(nullptr, &data, nullptr), S_OK);
    Ref<IContextMenu> menu;
    ASSERT_EQ(init->QueryInterface(IID_IContextMenu, menu.out()), S_OK);

    // The file manager's own items stay around the product's, which go where it asks.
    HMENU popup = CreatePopupMenu();
    AppendMenuW(popup, MF_STRING, 1, L"Open");
    AppendMenuW(popup, MF_STRING, 2, L"Properties");
    EXPECT_EQ(menu->QueryContextMenu(popup, 1, kFirstId, kFirstId + 100, CMF_NORMAL),
              MAKE_HRESULT(SEVERITY_SUCCESS, FACILITY_NULL, 13));
    EXPECT_EQ(ReadMenu(popup),
              "Open\n"
              "- [0]\n"
              "&Encrypt... [2] (grayed) *\n"
              "Decr&ypt... [3] (grayed) *\n"
              "&File Share (grayed) *\n"
              "  &Encrypt... [6] (grayed)\n"
              "  Decr&ypt... [7] (grayed)\n"
              "&QOR Settings *\n"
              "  &AutoCrypt... [5] (grayed)\n"
              "  -\n"
              "  &Password (grayed)\n"
              "    &Change Password... [8] (grayed)\n"
              "    C&lear Password from Memory [9] (grayed)\n"
              "  QOR &Help... [10] (grayed)\n"
              "  -\n"
              "  &About QOR... [11]\n"
              "  &Setup QOR Vaultis... [12]\n"
              "-\n"
              "Properties\n");
    DestroyMenu(popup);

    // A double-click asks for the default command only, and a range of ids too small for ours
    // would collide with another handler's: nothing is added.
    popup = CreatePopupMenu();
    EXPECT_EQ(menu->QueryContextMenu(popup, 0, kFirstId, kFirstId + 100, CMF_DEFAULTONLY), 0);
    EXPECT_EQ(menu->QueryContextMenu(popup, 0, kFirstId, kFirstId + 11, CMF_NORMAL), 0);
    EXPECT_EQ(GetMenuItemCount(popup), 0);
    EXPECT_EQ(menu->QueryContextMenu(popup, 7, kFirstId, kFirstId + 12, CMF_NORMAL), 13)
        << "exactly enough ids; a position past the end appends";
    EXPECT_EQ(GetMenuItemCount(popup), 6);
    DestroyMenu(popup);
}

TEST_F(ComServer, HelpTextsVerbsAndCommandsWithoutAnyDialog) {
    Ref<IContextMenu> menu;
    ASSERT_EQ(library_.Create(IID_IContextMenu, menu.out()), S_OK);
    const char* help[] = {"Unknown command",
                          "&QOR Settings",
                          "Encrypt a file  ",
                          "Decrypt a file ",
                          "Encrypt a shared file",
                          "Add or remove from AutoCrypt list",
                          "Encrypt a shared file",
                          "Decrypt a shared file",
                          "Change Password",
                          "Clear Password from memory",
                          "QOR Help",
                          "QOR About box",
                          "Initializes QOR Vaultis",
                          "Unknown command"};
    for (UINT_PTR offset = 0; offset <= 13; ++offset) {
        char text[260] = "?";
        EXPECT_EQ(menu->GetCommandString(offset, GCS_HELPTEXTA, nullptr, text, sizeof text), S_OK);
        EXPECT_STREQ(text, help[offset]) << "offset " << offset;
        wchar_t wide[260] = L"?";
        EXPECT_EQ(menu->GetCommandString(offset, GCS_HELPTEXTW, nullptr,
                                         reinterpret_cast<char*>(wide), 260),
                  S_OK);
        EXPECT_EQ(Utf8(wide), help[offset]) << "offset " << offset << ", wide";
    }
    char cut[5] = "????";
    EXPECT_EQ(menu->GetCommandString(2, GCS_HELPTEXTA, nullptr, cut, sizeof cut), S_OK);
    EXPECT_STREQ(cut, "Encr") << "cut to the buffer, terminator included";
    char text[260] = "?";
    EXPECT_EQ(menu->GetCommandString(14, GCS_HELPTEXTA, nullptr, text, sizeof text), E_INVALIDARG);

    wchar_t verb[32] = L"?";
    EXPECT_EQ(menu->GetCommandString(7, GCS_VERBW, nullptr, reinterpret_cast<char*>(verb), 32),
              S_OK);
    EXPECT_EQ(Utf8(verb), "share-decrypt");
    EXPECT_EQ(menu->GetCommandString(2, GCS_VERBA, nullptr, text, sizeof text), S_OK);
    EXPECT_STREQ(text, "encrypt");
    EXPECT_EQ(menu->GetCommandString(0, GCS_VERBA, nullptr, text, sizeof text), E_NOTIMPL)
        << "the separator has no verb";
    EXPECT_EQ(menu->GetCommandString(2, GCS_VALIDATEA, nullptr, nullptr, 0), S_OK);
    EXPECT_EQ(menu->GetCommandString(4, GCS_VALIDATEW, nullptr, nullptr, 0), S_FALSE)
        << "the File Share popup is no command";

    // No dialog may come of these (the scenario is empty: one would end the process).
    for (UINT_PTR offset : {0u, 1u, 4u, 13u, 9u})
        EXPECT_EQ(Invoke(menu.get(), offset), S_OK) << "offset " << offset;
    EXPECT_EQ(Invoke(menu.get(), 14), E_INVALIDARG);
    EXPECT_EQ(InvokeVerb(menu.get(), "properties", false), E_FAIL) << "not a verb of ours";
    EXPECT_EQ(InvokeVerb(menu.get(), "Clear-Password", true), S_OK);
    EXPECT_EQ(InvokeVerb(menu.get(), "clear-password", false), S_OK);
    CMINVOKECOMMANDINFO* none = nullptr;
    EXPECT_EQ(menu->InvokeCommand(none), E_INVALIDARG);
    EXPECT_EQ(Lines(root_ / "transcript.txt"), std::vector<std::string>{});
}

TEST_F(ComServer, TheStringTableResourceIsTheModelsTable) {
    for (int id = 1; id <= kShellStringCount; ++id) {
        wchar_t text[kShellStringBuffer] = {};
        const int length =
            LoadStringW(library_.module(), static_cast<UINT>(id), text, kShellStringBuffer);
        EXPECT_EQ(Utf8(std::wstring(text, static_cast<size_t>(length))), LoadShellString(id))
            << "string " << id;
    }
    wchar_t none[8] = {};
    EXPECT_EQ(LoadStringW(library_.module(), kShellStringCount + 1, none, 8), 0);
}

TEST_F(ComServer, IconsOfEncryptedFilesComeFromTheLibrary) {
    Ref<IPersistFile> persist;
    ASSERT_EQ(library_.Create(IID_IPersistFile, persist.out()), S_OK);
    Ref<IExtractIconA> icon;
    ASSERT_EQ(persist->QueryInterface(IID_IExtractIconA, icon.out()), S_OK);
    struct Case {
        const wchar_t* name;
        int index;
    };
    for (const Case& c : {Case{L"C:\\work\\report(doc).!!!", 0}, Case{L"C:\\work\\x.s!!", 1},
                          Case{L"C:\\work\\X.S!1", 1}, Case{L"C:\\wörk\\a.b\\c.!!7", 0}}) {
        ASSERT_EQ(persist->Load(c.name, STGM_READ), S_OK);
        char file[MAX_PATH] = "?";
        int index = -7;
        UINT flags = 0;
        EXPECT_EQ(icon->GetIconLocation(0, file, MAX_PATH, &index, &flags), S_OK);
        EXPECT_STREQ(file, library_.Path().c_str());
        EXPECT_EQ(index, c.index) << Utf8(c.name);
        EXPECT_EQ(flags, static_cast<UINT>(GIL_PERINSTANCE));
    }
    // Without a dot the index is left as it was.
    ASSERT_EQ(persist->Load(L"C:\\work\\README", STGM_READ), S_OK);
    char file[MAX_PATH] = "?";
    int index = -7;
    EXPECT_EQ(icon->GetIconLocation(0, file, MAX_PATH, &index, nullptr), S_OK);
    EXPECT_EQ(index, -7);
    // A path cut short would name another file.
    char tiny[4] = "??";
    EXPECT_EQ(icon->GetIconLocation(0, tiny, sizeof tiny, &index, nullptr), E_FAIL);
    EXPECT_STREQ(tiny, "");
    EXPECT_EQ(icon->Extract(file, 0, nullptr, nullptr, 0), S_FALSE) << "the shell extracts it";
    EXPECT_EQ(persist->Load(nullptr, STGM_READ), E_INVALIDARG);
    CLSID classId{};
    EXPECT_EQ(persist->GetClassID(&classId), E_FAIL);
    EXPECT_EQ(persist->IsDirty(), E_FAIL);

    // The index is the icon group's place: 0 the local file's (100), 1 the shared file's (101),
    // and there are no others.
    const std::wstring path = Wide(library_.Path());
    EXPECT_EQ(ExtractIconExW(path.c_str(), -1, nullptr, nullptr, 0), 2u);
    for (int group : {100, 101}) {
        HANDLE image =
            LoadImageW(library_.module(), MAKEINTRESOURCEW(group), IMAGE_ICON, 32, 32, 0);
        EXPECT_NE(image, nullptr) << "icon group " << group;
        if (image != nullptr) DestroyIcon(static_cast<HICON>(image));
    }
    HBITMAP mark = LoadBitmapW(library_.module(), MAKEINTRESOURCEW(102));
    ASSERT_NE(mark, nullptr);
    BITMAP size{};
    GetObjectW(mark, sizeof size, &size);
    EXPECT_EQ(size.bmWidth, 13);
    EXPECT_EQ(size.bmHeight, 13);
    DeleteObject(mark);
}

// ---------------------------------------------------------------------------------------------
// A second process: it loads the library, acts on the shared section or through an export, and
// ends. QOR_COM_PEER names what it does: "busy:<n>" sets the busy flag, "open:<encrypted file>"
// opens the file as a double-click does, with no dialog allowed.

TEST(ComServerPeer, Act) {
    const char* action = std::getenv(kPeerVariable);
    if (action == nullptr || *action == '\0') GTEST_SKIP() << "runs only as a started child";
    const std::string step = action;
    // The peer's own empty scenario: a dialog would end it with the host's status.
    const fs::path scenario = fs::temp_directory_path() / "qor-com-peer-scenario.txt";
    std::ofstream(scenario).close();
    _putenv_s("QOR_UI", ("script:" + scenario.string()).c_str());
    _putenv_s("QOR_UI_LOG", "");
    ShellLibrary library;
    ASSERT_NE(library.module(), nullptr);
    if (step.rfind("busy:", 0) == 0) {
        uint8_t* section = library.SharedSection();
        ASSERT_NE(section, nullptr);
        const LONG value = std::stoi(step.substr(5));
        InterlockedExchange(reinterpret_cast<volatile LONG*>(section + 48), value);
    } else if (step.rfind("open:", 0) == 0) {
        using Open = int(__cdecl*)(void*, const char*, char*);
        const auto open = reinterpret_cast<Open>(
            reinterpret_cast<void*>(GetProcAddress(library.module(), MAKEINTRESOURCEA(1))));
        ASSERT_NE(open, nullptr);
        char decrypted[MAX_PATH] = {};
        EXPECT_EQ(open(nullptr, step.substr(5).c_str(), decrypted), 0);
        std::ofstream(fs::temp_directory_path() / "qor-com-peer-opened.txt") << decrypted;
    } else {
        FAIL() << "unknown action " << step;
    }
}

// ---------------------------------------------------------------------------------------------
// The user's first use through the menu: setup, then every command, the core's dialogs answered
// from one scenario in the order the commands come.

const char kUseScenario[] = R"(# setup
dialog "QOR Vaultis" -> 1
dialog "Random Seeding": events=300
message "Done with random seeding." -> OK
dialog "QOR Vaultis": "Enter your user &name:"="Alice" "Enter your user &password:"="secret1" "Enter the password again to &confirm it:"="secret1" -> 1
dialog "QOR Vaultis" -> 2
message "will not be backed up" -> OK
message "QOR Vaultis setup is now complete." -> OK
# encrypt, the password kept for five minutes
dialog "Encrypt": 1022="secret1" "&Keep password in memory for"=1 1026=5 -> 1
# after clear-password: encrypt and decrypt, each asking (the password no longer kept)
dialog "Encrypt": 1022="secret1" "&Keep password in memory for"=0 -> 1
dialog "Decrypt": 1022="secret1" -> 1
# file sharing
dialog "File Sharing - Encryption": 1044="onetime1" 1045="onetime1" 1049=1 -> 1
dialog "File Sharing - Decryption": 1022="onetime1" 1049=1 -> 1
# the AutoCrypt list, opened and cancelled
dialog "Password": 1022="secret1" -> 1
dialog "Edit AutoCrypt List" -> 2
# help, about
message "Help topic" -> OK
dialog "About QOR Vaultis" -> 1
# change of password, backup declined
dialog "Change Password": 1301="secret1" 1302="secret2" 1303="secret2" -> 1
dialog "QOR Vaultis" -> 2
message "will not be backed up" -> OK
# a folder and a file with an accented name, under the new password
dialog "Encrypt": 1022="secret2" -> 1
)";

class ComServerUse : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        root_ = new fs::path(PrepareRoot("qor-com-server-use", kUseScenario));
        library_ = new ShellLibrary();
    }
    // QOR_COM_KEEP=1 keeps the root (its transcript) for a look after a failure.
    static void TearDownTestSuite() {
        delete library_;
        qor::platform::RegistryDeleteValue(Hive::kClassesRoot, kProductKey, "UserHomeDir");
        std::error_code ignored;
        if (std::getenv("QOR_COM_KEEP") == nullptr) fs::remove_all(*root_, ignored);
        delete root_;
    }
    static fs::path Path(const std::string& name) { return *root_ / "files" / name; }
    static std::wstring WPath(const std::string& name) { return Path(name).wstring(); }
    static bool Exists(const std::string& name) { return fs::exists(Path(name)); }
    // The hand-over as the library's shared section holds it.
    static const uint8_t* HandOver() { return library_->SharedSection(); }

    static fs::path* root_;
    static ShellLibrary* library_;
};
fs::path* ComServerUse::root_ = nullptr;
ShellLibrary* ComServerUse::library_ = nullptr;

TEST_F(ComServerUse, SetupThenTheMenuForEachSelection) {
    ASSERT_NE(library_->module(), nullptr);
    bool marked = false;
    ASSERT_NE(library_->SharedSection(&marked), nullptr);
    EXPECT_TRUE(marked) << "the section is shared between processes";
    WriteFile(Path("a.txt"), "plain text\n");
    WriteFile(Path("README"), "x\n");
    WriteFile(Path("page.html"), "x\n");
    WriteFile(Path("b.!!!"), "x\n");
    WriteFile(Path("X.S!1"), "x\n");
    WriteFile(Path("tool.exe"), "x\n");
    fs::create_directories(Path("folder"));

    EXPECT_EQ(Usable(MenuFor(*library_, {WPath("a.txt")})),
              "&QOR Settings|&About QOR...|&Setup QOR Vaultis...");
    EXPECT_EQ(RunCommand(*library_, {WPath("a.txt")}, 12), S_OK);
    ASSERT_TRUE(fs::exists(*root_ / "home" / "userpref.!!!")) << "set up through the menu";

    EXPECT_EQ(MenuFor(*library_, {WPath("a.txt")}),
              "- [0]\n"
              "&Encrypt... [2] *\n"
              "Decr&ypt... [3] (grayed) *\n"
              "&File Share *\n"
              "  &Encrypt... [6]\n"
              "  Decr&ypt... [7] (grayed)\n"
              "&QOR Settings *\n"
              "  &AutoCrypt... [5]\n"
              "  -\n"
              "  &Password\n"
              "    &Change Password... [8]\n"
              "    C&lear Password from Memory [9] (grayed)\n"
              "  QOR &Help... [10]\n"
              "  -\n"
              "  &About QOR... [11]\n"
              "-\n");
    const std::string plain = Usable(MenuFor(*library_, {WPath("a.txt")}));
    EXPECT_EQ(Usable(MenuFor(*library_, {WPath("a.txt"), WPath("page.html")})), plain)
        << "several plain files";
    EXPECT_EQ(Usable(MenuFor(*library_, {WPath("README")})), plain) << "no extension";
    EXPECT_EQ(Usable(MenuFor(*library_, {WPath("folder")})), kEverything) << "a folder";
    EXPECT_EQ(Usable(MenuFor(*library_, {WPath("a.txt"), WPath("b.!!!")})), kEverything)
        << "plain and encrypted";
    EXPECT_EQ(Usable(MenuFor(*library_, {WPath("b.!!!")})),
              std::string("Decr&ypt...|&File Share|") + kSettings)
        << "a local file";
    EXPECT_EQ(Usable(MenuFor(*library_, {WPath("X.S!1")})),
              std::string("&File Share|Decr&ypt...|") + kSettings)
        << "a file to share";
    EXPECT_EQ(Usable(MenuFor(*library_, {WPath("tool.exe")})), kSettings) << "a program";
    wchar_t windows[MAX_PATH] = {};
    GetWindowsDirectoryW(windows, MAX_PATH);
    EXPECT_EQ(Usable(MenuFor(*library_, {std::wstring(windows) + L"\\win.ini"})), kSettings)
        << "inside the Windows folder";

    // While a command runs in another process every item is gray, the settings included.
    ASSERT_EQ(RunChild("ComServerPeer.Act", kPeerVariable, "busy:1"), 0);
    EXPECT_EQ(Usable(MenuFor(*library_, {WPath("a.txt")})), "");
    EXPECT_NE(MenuFor(*library_, {WPath("a.txt")}).find("\n&QOR Settings (grayed) *\n"),
              std::string::npos);
    ASSERT_EQ(RunChild("ComServerPeer.Act", kPeerVariable, "busy:0"), 0);
    EXPECT_EQ(Usable(MenuFor(*library_, {WPath("a.txt")})), plain);
}

TEST_F(ComServerUse, APasswordKeptInOneProcessServesAnother) {
    ASSERT_TRUE(fs::exists(*root_ / "home" / "userpref.!!!"));
    WriteFile(Path("a.txt"), "plain text\n");
    EXPECT_EQ(RunCommand(*library_, {WPath("a.txt")}, 2), S_OK);
    ASSERT_TRUE(Exists("a(txt).!!!"));
    EXPECT_FALSE(Exists("a.txt"));
    int32_t valid = 0;
    uint32_t keepMinutes = 0;
    std::memcpy(&valid, HandOver(), 4);
    std::memcpy(&keepMinutes, HandOver() + 8, 4);
    EXPECT_NE(valid, 0) << "the password is kept in the shared section";
    EXPECT_EQ(keepMinutes, 5u);
    EXPECT_NE(Usable(MenuFor(*library_, {WPath("README")})).find("C&lear Password from Memory"),
              std::string::npos);

    // Another process opens the file with the kept password: no dialog (it has none scripted).
    const fs::path opened = fs::temp_directory_path() / "qor-com-peer-opened.txt";
    fs::remove(opened);
    ASSERT_EQ(RunChild("ComServerPeer.Act", kPeerVariable, "open:" + Path("a(txt).!!!").string()),
              0);
    std::string decrypted;
    std::getline(std::ifstream(opened), decrypted);
    EXPECT_EQ(decrypted, Path("a.txt").string());
    fs::remove(opened);
    EXPECT_TRUE(Exists("a.txt"));
    EXPECT_FALSE(Exists("a(txt).!!!"));

    // Clear Password from Memory empties the whole hand-over.
    Ref<IContextMenu> menu;
    ASSERT_EQ(library_->Create(IID_IContextMenu, menu.out()), S_OK);
    EXPECT_EQ(InvokeVerb(menu.get(), "clear-password", true), S_OK);
    const uint8_t zeros[48] = {};
    EXPECT_EQ(std::memcmp(HandOver(), zeros, 48), 0) << "48 zero bytes";
    EXPECT_EQ(Usable(MenuFor(*library_, {WPath("README")})).find("C&lear Password"),
              std::string::npos);
}

TEST_F(ComServerUse, EveryCommandReachesTheCore) {
    // By verb name, then by offset: each asks for the password now.
    {
        Ref<IShellExtInit> init;
        ASSERT_EQ(library_->Create(IID_IShellExtInit, init.out()), S_OK);
        DropData data({WPath("a.txt")});
        ASSERT_EQ(init->Initialize(nullptr, &data, nullptr), S_OK);
        Ref<IContextMenu> menu;
        ASSERT_EQ(init->QueryInterface(IID_IContextMenu, menu.out()), S_OK);
        EXPECT_EQ(InvokeVerb(menu.get(), "encrypt", false), S_OK);
    }
    EXPECT_TRUE(Exists("a(txt).!!!"));
    EXPECT_EQ(RunCommand(*library_, {WPath("a(txt).!!!")}, 3), S_OK);
    EXPECT_TRUE(Exists("a.txt"));
    EXPECT_FALSE(Exists("a(txt).!!!"));

    WriteFile(Path("data.dat"), std::string(100000, 'd'));
    EXPECT_EQ(RunCommand(*library_, {WPath("data.dat")}, 6), S_OK);
    EXPECT_TRUE(Exists("data(dat).s!!"));
    EXPECT_FALSE(Exists("data.dat"));
    EXPECT_EQ(RunCommand(*library_, {WPath("data(dat).s!!")}, 7), S_OK);
    EXPECT_TRUE(Exists("data.dat"));
    EXPECT_FALSE(Exists("data(dat).s!!"));

    for (UINT_PTR offset : {5u, 10u, 11u, 8u})
        EXPECT_EQ(RunCommand(*library_, {WPath("a.txt")}, offset), S_OK) << "offset " << offset;

    // The drop list's names reach the core as they are spelt: a folder's files, and a name
    // beyond the ANSI code page.
    fs::create_directories(Path("old"));
    WriteFile(Path("old") / "kept.txt", "kept\n");
    const std::wstring accented =
        (*root_ / "files" / L"r\u00e9sum\u00e9 \u0141\u00f3d\u017a.txt").wstring();
    WriteFile(accented, "accented\n");
    EXPECT_EQ(RunCommand(*library_, {WPath("old"), accented}, 2), S_OK);
    EXPECT_TRUE(fs::exists(Path("old") / "kept(txt).!!!"));
    EXPECT_TRUE(fs::exists(*root_ / "files" / L"r\u00e9sum\u00e9 \u0141\u00f3d\u017a(txt).!!!"));
    EXPECT_FALSE(fs::exists(accented));

    // Every command's dialogs in order (the progress lines left out: they name the files).
    std::vector<std::string> dialogs;
    for (const std::string& line : Lines(*root_ / "transcript.txt")) {
        EXPECT_EQ(line.find("secret"), std::string::npos) << "no password in the transcript";
        EXPECT_EQ(line.find("onetime"), std::string::npos);
        if (line.rfind("status: ", 0) != 0) dialogs.push_back(line);
    }
    const std::string notBackedUp =
        "message: QOR Vaultis: Your user preference file will not be backed up.  Choose OK to "
        "confirm this. [OK/Cancel]";
    const std::vector<std::string> expected = {
        "dialog: QOR Vaultis",
        "dialog: Random Seeding",
        "message: QOR Vaultis: Done with random seeding. [OK]",
        "dialog: QOR Vaultis",
        "dialog: QOR Vaultis",
        notBackedUp,
        "message: QOR Vaultis: QOR Vaultis setup is now complete. [OK]",
        "dialog: Encrypt",
        "dialog: Encrypting",
        "dialog: Encrypt",
        "dialog: Encrypting",
        "dialog: Decrypt",
        "dialog: Decrypting",
        "dialog: File Sharing - Encryption",
        "dialog: Encrypting",
        "dialog: File Sharing - Decryption",
        "dialog: Decrypting",
        "dialog: Password",
        "dialog: Edit AutoCrypt List",
        "message: QOR Vaultis Help: Help topic index is not installed. [OK]",
        "dialog: About QOR Vaultis",
        "dialog: Change Password",
        "dialog: QOR Vaultis",
        notBackedUp,
        "dialog: Encrypt",
        "dialog: Encrypting",
    };
    EXPECT_EQ(dialogs, expected);
}

// ---------------------------------------------------------------------------------------------
// Registration through regsvr32, as the installation makes it, and its removal.

std::wstring ReadClassesValue(const std::wstring& key, const wchar_t* name = nullptr) {
    wchar_t text[MAX_PATH] = {};
    DWORD bytes = sizeof text;
    if (RegGetValueW(HKEY_CLASSES_ROOT, key.c_str(), name, RRF_RT_REG_SZ, nullptr, text, &bytes) !=
        ERROR_SUCCESS) {
        return L"(none)";
    }
    return text;
}

int RegisterServer(const ShellLibrary& library, bool remove) {
    std::wstring command = std::wstring(L"regsvr32.exe /s ") + (remove ? L"/u " : L"") + L"\"" +
                           Wide(library.Path()) + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process)) {
        return -1;
    }
    WaitForSingleObject(process.hProcess, 60000);
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return static_cast<int>(code);
}

class ComServerRegistration : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_NE(library_.module(), nullptr);
        ASSERT_EQ(ReadClassesValue(L".!!!"), L"(none)") << "a prefix without the product";
        ASSERT_EQ(ReadClassesValue(L".s!!"), L"(none)") << "a prefix without the product";
        hadHome_ = qor::platform::RegistryReadString(Hive::kClassesRoot, kProductKey, "UserHomeDir",
                                                     &home_);
        ASSERT_TRUE(qor::platform::RegistryWriteString(Hive::kClassesRoot, kProductKey,
                                                       "UserHomeDir", "C:\\QOR home"));
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    }
    void TearDown() override {
        CoUninitialize();
        RegisterServer(library_, true);
        RegDeleteTreeW(HKEY_CLASSES_ROOT, L"QorTest.Association");
        RegDeleteTreeW(HKEY_CLASSES_ROOT, L".!!!");
        // The home folder's value as it was before the test.
        if (hadHome_) {
            qor::platform::RegistryWriteString(Hive::kClassesRoot, kProductKey, "UserHomeDir",
                                               home_);
        } else {
            qor::platform::RegistryDeleteValue(Hive::kClassesRoot, kProductKey, "UserHomeDir");
        }
    }
    HRESULT CreateThroughCom() {
        Ref<IContextMenu> menu;
        const HRESULT created =
            CoCreateInstance(kClassId, nullptr, CLSCTX_INPROC_SERVER, IID_IContextMenu, menu.out());
        if (FAILED(created)) return created;
        Ref<IExtractIconA> icon;
        return menu->QueryInterface(IID_IExtractIconA, icon.out());
    }

    ShellLibrary library_;
    bool hadHome_ = false;
    std::string home_;
};

TEST_F(ComServerRegistration, RegisteredCreatedAndRemovedKeepingTheProductsValues) {
    const std::wstring key = L"CLSID\\{8e3e0f0a-0fcc-11ce-bcb0-b3fd0e253819}";
    const std::wstring id = L"{8e3e0f0a-0fcc-11ce-bcb0-b3fd0e253819}";
    EXPECT_EQ(CreateThroughCom(), REGDB_E_CLASSNOTREG);
    ASSERT_EQ(RegisterServer(library_, false), 0);
    EXPECT_EQ(_wcsicmp(ReadClassesValue(key + L"\\InprocServer32").c_str(),
                       Wide(library_.Path()).c_str()),
              0)
        << Utf8(ReadClassesValue(key + L"\\InprocServer32"));
    EXPECT_EQ(ReadClassesValue(key + L"\\InprocServer32", L"ThreadingModel"), L"Apartment");
    EXPECT_EQ(ReadClassesValue(L"*\\shellex\\ContextMenuHandlers\\QOR Vaultis"), id);
    EXPECT_EQ(ReadClassesValue(L"Directory\\shellex\\ContextMenuHandlers\\QOR Vaultis"), id);
    EXPECT_EQ(ReadClassesValue(L".!!!"), L"QORVaultis.LocalFile");
    EXPECT_EQ(ReadClassesValue(L".s!!"), L"QORVaultis.ShareFile");
    for (const wchar_t* kind : {L"QORVaultis.LocalFile", L"QORVaultis.ShareFile"}) {
        EXPECT_EQ(ReadClassesValue(std::wstring(kind) + L"\\shellex\\IconHandler"), id);
        EXPECT_EQ(ReadClassesValue(std::wstring(kind) + L"\\DefaultIcon"), L"%1");
    }
    EXPECT_EQ(CreateThroughCom(), S_OK);
    EXPECT_EQ(RegisterServer(library_, false), 0) << "registering twice is harmless";
    EXPECT_EQ(CreateThroughCom(), S_OK);

    ASSERT_EQ(RegisterServer(library_, true), 0);
    EXPECT_EQ(ReadClassesValue(key + L"\\InprocServer32"), L"(none)");
    EXPECT_EQ(ReadClassesValue(L"*\\shellex\\ContextMenuHandlers\\QOR Vaultis"), L"(none)");
    EXPECT_EQ(ReadClassesValue(L"Directory\\shellex\\ContextMenuHandlers\\QOR Vaultis"), L"(none)");
    EXPECT_EQ(ReadClassesValue(L".!!!"), L"(none)");
    EXPECT_EQ(ReadClassesValue(L".s!!"), L"(none)");
    EXPECT_EQ(ReadClassesValue(L"QORVaultis.ShareFile\\shellex\\IconHandler"), L"(none)");
    std::string home;
    EXPECT_TRUE(
        qor::platform::RegistryReadString(Hive::kClassesRoot, kProductKey, "UserHomeDir", &home));
    EXPECT_EQ(home, "C:\\QOR home") << "the home folder outlives the shell's registration";
    EXPECT_EQ(CreateThroughCom(), REGDB_E_CLASSNOTREG);
}

TEST_F(ComServerRegistration, AnAssociationsKindCarriesTheIconAndStays) {
    HKEY created = nullptr;
    RegCreateKeyExW(HKEY_CLASSES_ROOT, L"QorTest.Association\\shell\\open\\command", 0, nullptr, 0,
                    KEY_SET_VALUE, nullptr, &created, nullptr);
    const wchar_t command[] = L"associat.exe %1";
    RegSetValueExW(created, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(command),
                   sizeof command);
    RegCloseKey(created);
    RegSetKeyValueW(HKEY_CLASSES_ROOT, L".!!!", nullptr, REG_SZ, L"QorTest.Association",
                    sizeof L"QorTest.Association");

    ASSERT_EQ(RegisterServer(library_, false), 0);
    EXPECT_EQ(ReadClassesValue(L".!!!"), L"QorTest.Association");
    EXPECT_EQ(ReadClassesValue(L"QorTest.Association\\shellex\\IconHandler"),
              L"{8e3e0f0a-0fcc-11ce-bcb0-b3fd0e253819}");
    ASSERT_EQ(RegisterServer(library_, true), 0);
    EXPECT_EQ(ReadClassesValue(L".!!!"), L"QorTest.Association");
    EXPECT_EQ(ReadClassesValue(L"QorTest.Association\\shell\\open\\command"), command);
    EXPECT_EQ(ReadClassesValue(L"QorTest.Association\\shellex\\IconHandler"), L"(none)");
    EXPECT_EQ(ReadClassesValue(L"QorTest.Association\\DefaultIcon"), L"(none)");
}

}  // namespace
}  // namespace qor::shell::test
