// What the tests of the loaded core library share: its file name, a scratch root whose home
// folder the registry names, the script host pointed at a scenario and a transcript, and the
// library loaded by name with its exports bound by name.
#pragma once

#include <gtest/gtest.h>
#include <qor/platform/registry.h>
#include <qor/platform/system.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace qor::entry::test {

namespace fs = std::filesystem;

#ifdef _WIN32
inline constexpr char kLibrary[] = "qorsec95.dll";
inline void SetEnv(const char* name, const std::string& value) {
    _putenv_s(name, value.c_str());
}
#else
inline constexpr char kLibrary[] = "libqorsec95.so";
inline void SetEnv(const char* name, const std::string& value) {
    setenv(name, value.c_str(), 1);
}
#endif

inline constexpr char kProductKey[] = "CLSID\\{8e3e0f0a-0fcc-11ce-bcb0-b3fd0e253819}\\QOR";

// A file's whole contents ("" when it cannot be read), and a file written whole, with its folders.
inline std::string Contents(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

inline void Write(const fs::path& file, const std::string& bytes) {
    fs::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << bytes;
}

// A fresh `root` with root/home as the registered home folder (an emulated registry in the root
// on Linux), the script host answering from `scenario` and writing root/transcript.txt.
// Returns the home folder's path, or "" after a failed assertion.
inline std::string PrepareRun(const fs::path& root, const char* scenario) {
    fs::remove_all(root);
    fs::create_directories(root / "home");
    const std::string home = (root / "home").string();
#ifndef _WIN32
    SetEnv("QOR_REGISTRY", (root / "registry.reg").string());
#endif
    EXPECT_TRUE(qor::platform::RegistryWriteString(qor::platform::Hive::kClassesRoot, kProductKey,
                                                   "UserHomeDir", home));
    std::ofstream(root / "scenario.txt") << scenario;
    SetEnv("QOR_UI", "script:" + (root / "scenario.txt").string());
    SetEnv("QOR_UI_LOG", (root / "transcript.txt").string());
    return home;
}

// The core library for one test, unloaded at the end.
class LoadedLibrary {
  public:
    LoadedLibrary() : handle_(qor::platform::LoadLibrary(kLibrary)) {}
    ~LoadedLibrary() { Unload(); }
    // Unloading ends the library's dialog host, which closes the transcript.
    void Unload() {
        if (handle_ != nullptr) qor::platform::FreeLibrary(handle_);
        handle_ = nullptr;
    }
    LoadedLibrary(const LoadedLibrary&) = delete;
    LoadedLibrary& operator=(const LoadedLibrary&) = delete;

    bool loaded() const { return handle_ != nullptr; }
    // The export of that name, or nullptr; a missing export fails the test.
    template <typename Function>
    Function Bind(const char* name) const {
        void* symbol = qor::platform::LibrarySymbol(handle_, name);
        EXPECT_NE(symbol, nullptr) << name;
        return reinterpret_cast<Function>(symbol);
    }
    void* Symbol(const char* name) const { return qor::platform::LibrarySymbol(handle_, name); }

  private:
    qor::platform::LibraryHandle handle_;
};

inline std::vector<std::string> Lines(const fs::path& file) {
    std::ifstream in(file);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

}  // namespace qor::entry::test
