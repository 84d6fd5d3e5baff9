// The real registry. Strings are stored as REG_SZ in UTF-16 and handed out as UTF-8.
#include "qor/platform/registry.h"

#include "win32_common.h"

#include <algorithm>
#include <cstring>

namespace qor::platform {

namespace {

HKEY HiveKey(Hive hive) {
    switch (hive) {
        case Hive::kClassesRoot:
            return HKEY_CLASSES_ROOT;
        case Hive::kCurrentUser:
            return HKEY_CURRENT_USER;
        case Hive::kLocalMachine:
            return HKEY_LOCAL_MACHINE;
    }
    return HKEY_CURRENT_USER;
}

// An open key, closed on every way out.
class Key {
  public:
    ~Key() {
        if (h_) RegCloseKey(h_);
    }
    bool Open(Hive hive, const std::string& path, REGSAM access) {
        LSTATUS rc = RegOpenKeyExW(HiveKey(hive), win32::Widen(path).c_str(), 0, access, &h_);
        if (rc != ERROR_SUCCESS) {
            h_ = nullptr;
            return win32::FailWith(static_cast<uint32_t>(rc));
        }
        return true;
    }
    bool Create(Hive hive, const std::string& path) {
        LSTATUS rc = RegCreateKeyExW(HiveKey(hive), win32::Widen(path).c_str(), 0, nullptr,
                                     REG_OPTION_NON_VOLATILE, KEY_SET_VALUE, nullptr, &h_, nullptr);
        if (rc != ERROR_SUCCESS) {
            h_ = nullptr;
            return win32::FailWith(static_cast<uint32_t>(rc));
        }
        return true;
    }
    HKEY get() const { return h_; }

  private:
    HKEY h_ = nullptr;
};

// Reads one value whole, growing the buffer when it changed size between the calls.
bool QueryValue(HKEY key, const std::wstring& name, DWORD* type, std::vector<BYTE>* data) {
    DWORD size = 0;
    LSTATUS rc = RegQueryValueExW(key, name.c_str(), nullptr, type, nullptr, &size);
    for (;;) {
        if (rc != ERROR_SUCCESS && rc != ERROR_MORE_DATA) {
            return win32::FailWith(static_cast<uint32_t>(rc));
        }
        data->resize(size);
        rc = RegQueryValueExW(key, name.c_str(), nullptr, type, data->data(), &size);
        if (rc == ERROR_SUCCESS) {
            data->resize(size);
            return true;
        }
    }
}

bool IsText(DWORD type) {
    return type == REG_SZ || type == REG_EXPAND_SZ;
}

// REG_SZ data is UTF-16 and usually, but not always, ends with a terminator.
std::string TextOf(const std::vector<BYTE>& data) {
    std::wstring text(data.size() / sizeof(wchar_t), L'\0');
    if (!text.empty()) std::memcpy(text.data(), data.data(), text.size() * sizeof(wchar_t));
    size_t end = text.find(L'\0');
    if (end != std::wstring::npos) text.resize(end);
    return win32::Narrow(text.data(), text.size());
}

bool SetValue(Hive hive, const std::string& key, const std::string& name, DWORD type,
              const BYTE* data, DWORD size) {
    Key k;
    if (!k.Create(hive, key)) return false;
    LSTATUS rc = RegSetValueExW(k.get(), win32::Widen(name).c_str(), 0, type, data, size);
    if (rc != ERROR_SUCCESS) return win32::FailWith(static_cast<uint32_t>(rc));
    return true;
}

}  // namespace

bool RegistryReadString(Hive hive, const std::string& key, const std::string& name,
                        std::string* value) {
    Key k;
    if (!k.Open(hive, key, KEY_QUERY_VALUE)) return false;
    DWORD type = 0;
    std::vector<BYTE> data;
    if (!QueryValue(k.get(), win32::Widen(name), &type, &data)) return false;
    if (!IsText(type)) return win32::FailWith(ERROR_INVALID_DATA);
    *value = TextOf(data);
    return true;
}

bool RegistryReadDword(Hive hive, const std::string& key, const std::string& name,
                       uint32_t* value) {
    Key k;
    if (!k.Open(hive, key, KEY_QUERY_VALUE)) return false;
    DWORD type = 0;
    std::vector<BYTE> data;
    if (!QueryValue(k.get(), win32::Widen(name), &type, &data)) return false;
    if (type != REG_DWORD || data.size() != sizeof(DWORD)) {
        return win32::FailWith(ERROR_INVALID_DATA);
    }
    DWORD v;
    std::memcpy(&v, data.data(), sizeof v);
    *value = v;
    return true;
}

bool RegistryWriteString(Hive hive, const std::string& key, const std::string& name,
                         const std::string& value) {
    std::wstring text = win32::Widen(value);
    // The stored size counts the terminator, as REG_SZ readers expect.
    return SetValue(hive, key, name, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                    static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
}

bool RegistryWriteDword(Hive hive, const std::string& key, const std::string& name,
                        uint32_t value) {
    DWORD v = value;
    return SetValue(hive, key, name, REG_DWORD, reinterpret_cast<const BYTE*>(&v), sizeof v);
}

bool RegistryDeleteValue(Hive hive, const std::string& key, const std::string& name) {
    Key k;
    if (!k.Open(hive, key, KEY_SET_VALUE)) return false;
    LSTATUS rc = RegDeleteValueW(k.get(), win32::Widen(name).c_str());
    if (rc != ERROR_SUCCESS) return win32::FailWith(static_cast<uint32_t>(rc));
    return true;
}

bool RegistryDeleteKey(Hive hive, const std::string& key) {
    if (key.empty()) return win32::FailWith(ERROR_INVALID_PARAMETER);
    const LSTATUS rc = RegDeleteTreeW(HiveKey(hive), win32::Widen(key).c_str());
    if (rc != ERROR_SUCCESS && rc != ERROR_FILE_NOT_FOUND)
        return win32::FailWith(static_cast<uint32_t>(rc));
    // RegDeleteTree empties a key and leaves it standing; the key itself goes here.
    const LSTATUS gone = RegDeleteKeyW(HiveKey(hive), win32::Widen(key).c_str());
    if (gone != ERROR_SUCCESS && gone != ERROR_FILE_NOT_FOUND)
        return win32::FailWith(static_cast<uint32_t>(gone));
    return true;
}

bool RegistryEnumValues(Hive hive, const std::string& key, std::vector<RegistryValue>* values) {
    values->clear();
    Key k;
    if (!k.Open(hive, key, KEY_QUERY_VALUE)) return false;
    DWORD maxName = 0, maxData = 0;
    LSTATUS rc = RegQueryInfoKeyW(k.get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                  nullptr, &maxName, &maxData, nullptr, nullptr);
    if (rc != ERROR_SUCCESS) return win32::FailWith(static_cast<uint32_t>(rc));

    std::wstring name(maxName + 1, L'\0');
    std::vector<BYTE> data(maxData);
    for (DWORD index = 0;;) {
        DWORD nameLength = static_cast<DWORD>(name.size());
        DWORD dataSize = static_cast<DWORD>(data.size());
        DWORD type = 0;
        rc = RegEnumValueW(k.get(), index, name.data(), &nameLength, nullptr, &type, data.data(),
                           &dataSize);
        if (rc == ERROR_NO_MORE_ITEMS) return true;
        if (rc == ERROR_MORE_DATA) {
            // A value grew since the key was measured: measure again and retry this index.
            rc = RegQueryInfoKeyW(k.get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                  nullptr, &maxName, &maxData, nullptr, nullptr);
            if (rc != ERROR_SUCCESS) return win32::FailWith(static_cast<uint32_t>(rc));
            name.assign(std::max<size_t>(name.size() * 2, maxName + 1), L'\0');
            data.resize(std::max<size_t>(data.size() * 2, maxData));
            continue;
        }
        if (rc != ERROR_SUCCESS) return win32::FailWith(static_cast<uint32_t>(rc));

        RegistryValue value;
        value.name = win32::Narrow(name.data(), nameLength);
        std::vector<BYTE> bytes(data.begin(), data.begin() + dataSize);
        if (IsText(type)) {
            value.type = ValueType::kString;
            value.text = TextOf(bytes);
        } else if (type == REG_DWORD && dataSize == sizeof(DWORD)) {
            value.type = ValueType::kDword;
            DWORD v;
            std::memcpy(&v, bytes.data(), sizeof v);
            value.dword = v;
        } else {
            // Every other type is handed out as its raw bytes.
            value.type = ValueType::kBinary;
            value.bytes.assign(bytes.begin(), bytes.end());
        }
        values->push_back(std::move(value));
        ++index;
    }
}

}  // namespace qor::platform
