// The registry: real on Windows; on Linux an emulated registry in one REGEDIT4 text file
// ($QOR_REGISTRY, else $XDG_CONFIG_HOME/qor/registry.reg, else ~/.config/qor/registry.reg),
// rewritten atomically; a missing file is an empty registry. Key and value names compare
// without regard to case. Keys are given below a hive without a leading backslash, e.g.
// "CLSID\\{8e3e0f0a-0fcc-11ce-bcb0-b3fd0e253819}\\QOR".
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace qor::platform {

enum class Hive { kClassesRoot, kCurrentUser, kLocalMachine };

enum class ValueType { kString, kDword, kBinary };

struct RegistryValue {
    std::string name;  // "" is the key's default value
    ValueType type = ValueType::kString;
    std::string text;            // kString
    uint32_t dword = 0;          // kDword
    std::vector<uint8_t> bytes;  // kBinary
};

// RegQueryValueEx of a string value; false when the key or value is missing or not text.
bool RegistryReadString(Hive hive, const std::string& key, const std::string& name,
                        std::string* value);
bool RegistryReadDword(Hive hive, const std::string& key, const std::string& name, uint32_t* value);
// RegSetValueEx; creates the key when needed.
bool RegistryWriteString(Hive hive, const std::string& key, const std::string& name,
                         const std::string& value);
bool RegistryWriteDword(Hive hive, const std::string& key, const std::string& name, uint32_t value);
bool RegistryDeleteValue(Hive hive, const std::string& key, const std::string& name);
// RegDeleteTree: the key with its values and every key below it. True once it is gone, also when
// it was not there; an empty key (the whole hive) is refused (87).
bool RegistryDeleteKey(Hive hive, const std::string& key);
// RegEnumValue: every value of a key, in the order the store keeps them.
bool RegistryEnumValues(Hive hive, const std::string& key, std::vector<RegistryValue>* values);

// The REGEDIT4 text format, for the emulated registry, the install step and tests:
//   REGEDIT4
//   [HKEY_CLASSES_ROOT\CLSID\{...}\QOR]
//   "UserHomeDir"="/home/a/.local/share/qor"
//   "Count"=dword:0000000a
//   "Blob"=hex:01,02
//   @="default value"
// Strings escape \\ and \".
struct RegistryKey {
    std::string path;  // full path including the hive name, as in the [brackets]
    std::vector<RegistryValue> values;
};

struct RegistryDocument {
    std::vector<RegistryKey> keys;
};

// False on text that is not REGEDIT4 (the first line must be "REGEDIT4").
bool ParseRegistryText(const std::string& text, RegistryDocument* document);
std::string FormatRegistryText(const RegistryDocument& document);
std::string HiveName(Hive hive);

}  // namespace qor::platform
