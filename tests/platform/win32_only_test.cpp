// What only the Win32 side can show: UTF-8 names reaching the file system as the right UTF-16
// names (checked against std::filesystem, which converts on its own), errors kept past later
// calls, the 32-bit record layouts in a 64-bit program, the case-insensitive system folder,
// UTF-8 registry text, and symbols and programs actually run.
#include <gtest/gtest.h>
#include <qor/platform/files.h>
#include <qor/platform/registry.h>
#include <qor/platform/system.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <filesystem>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "temp_folder.h"

namespace {

using namespace qor::platform;
using qor::test::FsPath;
using qor::test::TempFolder;

uint32_t Le32(const uint8_t* p) {
    return p[0] | (uint32_t{p[1]} << 8) | (uint32_t{p[2]} << 16) | (uint32_t{p[3]} << 24);
}
uint16_t Le16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

std::set<std::string> Listing(const std::string& folder) {
    std::set<std::string> names;
    Finder finder;
    FindData data;
    for (bool ok = finder.First(folder + "\\*.*", &data); ok; ok = finder.Next(&data)) {
        names.insert(data.name);
    }
    return names;
}

bool WriteWith(const std::string& path, const std::string& text) {
    File f = File::Open(path, kAccessWrite, kShareNone, kCreateNew);
    return f.IsOpen() && f.Write(text.data(), static_cast<uint32_t>(text.size()));
}

std::string ReadWith(const std::string& path) {
    File f = File::Open(path, kAccessRead, kShareRead, kOpenExisting);
    std::string text;
    char buffer[64];
    uint32_t got = 0;
    while (f.Read(buffer, sizeof buffer, &got) && got > 0) {
        text.append(buffer, got);
    }
    return text;
}

TEST(Win32Names, Utf8NamesAreTheRealUnicodeNames) {
    TempFolder dir;
    // Latin, CJK, and a key outside the Basic Multilingual Plane (a surrogate pair in UTF-16).
    const std::string folder = dir / "Gr\u00FC\u00DFe";
    const std::string ours = "Z\u00FCrich \u65E5\u672C \U0001F511.txt";
    const std::string theirs = "\u03B1\u03B2\u03B3.dat";
    ASSERT_TRUE(CreateDirectory(folder)) << LastError();

    // Made by us, seen under the same name by the standard library, and the other way round.
    ASSERT_TRUE(WriteWith(folder + "\\" + ours, "ours")) << LastError();
    EXPECT_TRUE(std::filesystem::exists(FsPath(folder + "\\" + ours)));
    EXPECT_EQ(qor::test::ReadText(folder + "\\" + ours), "ours");
    qor::test::WriteText(folder + "\\" + theirs, "theirs");
    EXPECT_TRUE(Exists(folder + "\\" + theirs));
    EXPECT_EQ(ReadWith(folder + "\\" + theirs), "theirs");

    EXPECT_EQ(Listing(folder), (std::set<std::string>{".", "..", ours, theirs}));
    EXPECT_EQ(Listing(dir.path()), (std::set<std::string>{".", "..", "Gr\u00FC\u00DFe"}));

    const std::string moved = folder + "\\\u00E9t\u00E9 " + ours;
    ASSERT_TRUE(MoveFile(folder + "\\" + ours, moved)) << LastError();
    EXPECT_FALSE(Exists(folder + "\\" + ours));
    EXPECT_EQ(qor::test::ReadText(moved), "ours");
    uint64_t free = 0;
    EXPECT_TRUE(FreeSpace(moved, &free));
}

TEST(Win32Names, NameThatIsNotUtf8IsReadInTheAnsiCodePage) {
    // "caf\xE9" is "café" in the Western ANSI code page and invalid as UTF-8. It still names one
    // file, reachable again through the (UTF-8) name the search reports.
    TempFolder dir;
    ASSERT_TRUE(WriteWith(dir / "caf\xE9.txt", "x")) << LastError();
    EXPECT_TRUE(Exists(dir / "caf\xE9.txt"));
    std::set<std::string> names = Listing(dir.path());
    names.erase(".");
    names.erase("..");
    ASSERT_EQ(names.size(), 1u);
    EXPECT_NE(*names.begin(), "caf\xE9.txt");
    EXPECT_EQ(ReadWith(dir / *names.begin()), "x");
}

TEST(Win32Names, ErrorIsKeptPastLaterSuccessfulCalls) {
    TempFolder dir;
    uint32_t error = 0;
    File f = File::Open(dir / "missing.txt", kAccessRead, kShareRead, kOpenExisting, kAttrNormal,
                        &error);
    EXPECT_EQ(error, kErrorFileNotFound);
    // Each of these converts text and calls the system successfully in between.
    EXPECT_FALSE(WindowsFolder().empty());
    EXPECT_FALSE(ProgramFolder().empty());
    EXPECT_TRUE(Exists(dir.path()));
    EXPECT_FALSE(EnvironmentVariable("PATH").empty());
    EXPECT_EQ(LastError(), kErrorFileNotFound);
}

TEST(Win32Records, MemoryStatusHasThe32BitLayout) {
    uint8_t record[32];
    MemoryStatusRecord(record);
    EXPECT_EQ(Le32(record + 0), 32u);                 // dwLength
    EXPECT_LE(Le32(record + 4), 100u);                // dwMemoryLoad
    EXPECT_LE(Le32(record + 12), Le32(record + 8));   // dwAvailPhys <= dwTotalPhys
    EXPECT_LE(Le32(record + 20), Le32(record + 16));  // dwAvailPageFile <= dwTotalPageFile
    EXPECT_LE(Le32(record + 28), Le32(record + 24));  // dwAvailVirtual <= dwTotalVirtual
    // A 64-bit process has terabytes of address space: saturated, not cut to its low bits.
    EXPECT_EQ(Le32(record + 24), 0xffffffffu);
}

TEST(Win32Records, SystemInfoHasThe32BitLayout) {
    uint8_t record[36];
    std::fill(std::begin(record), std::end(record), 0xee);
    SystemInfoRecord(record);
    EXPECT_EQ(Le16(record + 0), 9u);        // wProcessorArchitecture: AMD64
    EXPECT_EQ(Le16(record + 2), 0u);        // wReserved
    EXPECT_EQ(Le32(record + 4), 4096u);     // dwPageSize
    EXPECT_EQ(Le32(record + 8), 0x10000u);  // lpMinimumApplicationAddress
    EXPECT_NE(Le32(record + 16), 0u);       // dwActiveProcessorMask
    EXPECT_GE(Le32(record + 20), 1u);       // dwNumberOfProcessors
    EXPECT_EQ(Le32(record + 24), 8664u);    // dwProcessorType: PROCESSOR_AMD_X8664
    EXPECT_EQ(Le32(record + 28), 65536u);   // dwAllocationGranularity
    EXPECT_NE(Le16(record + 32), 0xeeeeu);  // wProcessorLevel
    EXPECT_NE(Le16(record + 34), 0xeeeeu);  // wProcessorRevision
}

TEST(Win32Folders, SystemFolderIgnoresCaseAndWantsWholeComponents) {
    const std::string windows = WindowsFolder();
    ASSERT_GE(windows.size(), 3u);
    EXPECT_EQ(windows[1], ':');
    EXPECT_NE(windows.back(), '\\');

    std::string upper = windows, lower = windows;
    for (char& c : upper) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    for (char& c : lower) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    EXPECT_TRUE(IsInsideSystemFolder(windows));
    EXPECT_TRUE(IsInsideSystemFolder(upper + "\\SYSTEM32\\X.DLL"));
    EXPECT_TRUE(IsInsideSystemFolder(lower + "\\system32"));
    EXPECT_TRUE(IsInsideSystemFolder(windows + "/Temp/x.txt"));
    EXPECT_TRUE(IsInsideSystemFolder(windows.substr(0, 3) + "users\\..\\" + windows.substr(3)));

    EXPECT_FALSE(IsInsideSystemFolder(windows + "Apps\\x.txt"));
    EXPECT_FALSE(IsInsideSystemFolder(windows + "\\..\\users\\x.txt"));
    EXPECT_FALSE(IsInsideSystemFolder(windows.substr(0, 3)));
}

TEST(Win32Folders, ProgramFolderHoldsTheRunningProgram) {
    EXPECT_TRUE(Exists(ProgramFolder() + "\\platform_tests.exe"));
}

TEST(Win32Registry, TextIsUtf8AndEveryTypeIsEnumerated) {
    const std::string key = "Software\\QorVaultisTest\\Win32";
    const std::string text = "C:\\Benutzer\\J\u00FCrgen\\\u65E5\u672C \U0001F511";
    ASSERT_TRUE(RegistryWriteString(Hive::kCurrentUser, key, "Home", text));
    ASSERT_TRUE(RegistryWriteString(Hive::kCurrentUser, key, "\u00C4nderung", ""));
    ASSERT_TRUE(RegistryWriteDword(Hive::kCurrentUser, key, "Count", 0x8000000a));

    std::string read;
    ASSERT_TRUE(RegistryReadString(Hive::kCurrentUser, key, "home", &read));
    EXPECT_EQ(read, text);
    read = "not empty";
    ASSERT_TRUE(RegistryReadString(Hive::kCurrentUser, key, "\u00C4nderung", &read));
    EXPECT_EQ(read, "");

    std::vector<RegistryValue> values;
    ASSERT_TRUE(RegistryEnumValues(Hive::kCurrentUser, key, &values));
    ASSERT_EQ(values.size(), 3u);
    for (const RegistryValue& v : values) {
        if (v.name == "Home") {
            EXPECT_EQ(v.type, ValueType::kString);
            EXPECT_EQ(v.text, text);
        } else if (v.name == "Count") {
            EXPECT_EQ(v.type, ValueType::kDword);
            EXPECT_EQ(v.dword, 0x8000000au);
        } else {
            EXPECT_EQ(v.name, "\u00C4nderung");
            EXPECT_EQ(v.type, ValueType::kString);
            EXPECT_EQ(v.text, "");
        }
    }
    for (const RegistryValue& v : values) {
        EXPECT_TRUE(RegistryDeleteValue(Hive::kCurrentUser, key, v.name));
    }
}

TEST(Win32Programs, SymbolsAndProgramsRun) {
    LibraryHandle kernel = LoadLibrary("kernel32.dll");
    ASSERT_NE(kernel, nullptr);
    void* symbol = LibrarySymbol(kernel, "GetTickCount");
    ASSERT_NE(symbol, nullptr);
    const uint32_t before = TickCount();
    const auto call = reinterpret_cast<unsigned long (*)()>(symbol);
    EXPECT_LE(static_cast<uint32_t>(call()) - before, 1000u);
    FreeLibrary(kernel);

    // The path is quoted for the command line. Unquoted, "...\with space\cmd.exe" would
    // first be tried as "...\with" + ".exe", which here is no program.
    TempFolder dir;
    const std::string folder = dir / "with space";
    ASSERT_TRUE(CreateDirectory(folder));
    ASSERT_TRUE(WriteWith(dir / "with.exe", "not a program"));
    const std::string copy = folder + "\\cmd.exe";
    std::filesystem::copy_file(FsPath(WindowsFolder() + "\\system32\\cmd.exe"), FsPath(copy));
    const std::string marker = dir / "started.txt";
    ASSERT_TRUE(StartProgram(copy, "/c echo ok> \"" + marker + "\"")) << LastError();
    for (int i = 0; i < 500 && ReadWith(marker).empty(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_EQ(ReadWith(marker), "ok\r\n");
}

}  // namespace
