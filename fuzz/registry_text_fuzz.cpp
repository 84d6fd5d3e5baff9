// The emulated registry's REGEDIT4 text, which any program of the user (or an imported file) may
// have written: the parser, the canonical writer, and the reads and writes of the registry on
// Linux going through a file of that text. A text the parser accepts must come back from the
// writer as the same document, and the writer's text must read back as itself; a value written
// into an accepted file must read back as written, with every other value left as it was.
#include <qor/platform/registry.h>

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

namespace {

using namespace qor::platform;

// Names compare as the registry compares them: without regard to ASCII case.
bool SameName(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t k = 0; k < a.size(); ++k) {
        const auto lower = [](char c) {
            return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
        };
        if (lower(a[k]) != lower(b[k])) return false;
    }
    return true;
}

bool SameValue(const RegistryValue& a, const RegistryValue& b) {
    return a.name == b.name && a.type == b.type && a.text == b.text && a.dword == b.dword &&
           a.bytes == b.bytes;
}

bool SameDocument(const RegistryDocument& a, const RegistryDocument& b) {
    if (a.keys.size() != b.keys.size()) return false;
    for (size_t k = 0; k < a.keys.size(); ++k) {
        const RegistryKey& x = a.keys[k];
        const RegistryKey& y = b.keys[k];
        if (x.path != y.path || x.values.size() != y.values.size()) return false;
        for (size_t v = 0; v < x.values.size(); ++v) {
            if (!SameValue(x.values[v], y.values[v])) return false;
        }
    }
    return true;
}

// One scratch file per fuzzing process, which the registry calls read as the registry.
const std::string& RegistryPath() {
    static const struct Scratch {
        std::string folder;
        std::string path;
        Scratch() {
            std::random_device random;
            folder = (std::filesystem::temp_directory_path() /
                      ("qor-registry-fuzz-" + std::to_string(random())))
                         .string();
            std::filesystem::create_directories(folder);
            path = folder + "/registry.reg";
            setenv("QOR_REGISTRY", path.c_str(), 1);
        }
        ~Scratch() {
            std::error_code ignored;
            std::filesystem::remove_all(folder, ignored);
        }
    } scratch;
    return scratch.path;
}

void WriteFile(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
}

// Splits a key's full path into its hive and the rest, as the registry calls name them.
bool SplitPath(const std::string& path, Hive* hive, std::string* key) {
    for (Hive h : {Hive::kClassesRoot, Hive::kCurrentUser, Hive::kLocalMachine}) {
        const std::string name = HiveName(h);
        if (path == name) {
            *hive = h;
            key->clear();
            return true;
        }
        if (path.size() > name.size() && path.compare(0, name.size(), name) == 0 &&
            path[name.size()] == '\\') {
            *hive = h;
            *key = path.substr(name.size() + 1);
            return true;
        }
    }
    return false;
}

// Every value of every key the text names, read back through the registry calls.
void ReadEverything(const RegistryDocument& document) {
    for (const RegistryKey& key : document.keys) {
        Hive hive;
        std::string name;
        if (!SplitPath(key.path, &hive, &name)) continue;
        std::vector<RegistryValue> values;
        if (!RegistryEnumValues(hive, name, &values)) continue;
        for (const RegistryValue& value : values) {
            std::string text;
            uint32_t dword = 0;
            const bool isText = RegistryReadString(hive, name, value.name, &text);
            const bool isDword = RegistryReadDword(hive, name, value.name, &dword);
            // A name may be set twice in a key only in a spelling of another case; whatever
            // the lookup finds, it finds as exactly one type.
            if (isText && isDword) std::abort();
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    RegistryDocument document;
    if (ParseRegistryText(text, &document)) {
        const std::string canonical = FormatRegistryText(document);
        RegistryDocument again;
        if (!ParseRegistryText(canonical, &again) || !SameDocument(document, again)) std::abort();
        if (FormatRegistryText(again) != canonical) std::abort();
    }

    // Through the file, as the programs read it. Writes rewrite and sync the file, which is
    // slow, so only every eighth accepted input takes that path.
    const std::string& path = RegistryPath();
    WriteFile(path, text);
    ReadEverything(document);
    if (!document.keys.empty() && size % 8 == 0) {
        const std::string key = "Software\\Fuzz";
        if (RegistryWriteString(Hive::kCurrentUser, key, "Written", "value \"quoted\" \\")) {
            std::string back;
            if (!RegistryReadString(Hive::kCurrentUser, key, "Written", &back) ||
                back != "value \"quoted\" \\") {
                std::abort();
            }
            // Everything else stands as the input had it.
            std::ifstream in(path, std::ios::binary);
            const std::string stored((std::istreambuf_iterator<char>(in)),
                                     std::istreambuf_iterator<char>());
            RegistryDocument after;
            if (!ParseRegistryText(stored, &after)) std::abort();
            for (const RegistryKey& before : document.keys) {
                bool found = false;
                for (const RegistryKey& now : after.keys) {
                    if (now.path != before.path) continue;
                    found = true;
                    for (const RegistryValue& value : before.values) {
                        bool kept = false;
                        for (const RegistryValue& other : now.values)
                            kept = kept || SameValue(value, other);
                        // The one value written may replace an input value of that name.
                        const bool replaced = SameName(before.path, "HKEY_CURRENT_USER\\" + key) &&
                                              SameName(value.name, "Written");
                        if (!kept && !replaced) std::abort();
                    }
                }
                if (!found) std::abort();
            }
        }
    }
    unlink(path.c_str());
    return 0;
}
