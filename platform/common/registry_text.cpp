// The REGEDIT4 text format: what Windows' registry editor exports and imports, so that one file
// serves the emulated registry on Linux, the install step and the tests on both platforms.
// Reading is lenient where the registry editor itself is (blank lines, ";" comments, CRLF, hex
// values continued over several lines); writing produces one canonical form, so that parsing and
// formatting a canonical document gives back the same bytes.
#include <cstddef>
#include <string_view>

#include "qor/platform/registry.h"

namespace qor::platform {

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view TrimBlanks(std::string_view s) {
    while (!s.empty() && (IsBlank(s.front())))
        s.remove_prefix(1);
    while (!s.empty() && (IsBlank(s.back()) || s.back() == '\r'))
        s.remove_suffix(1);
    return s;
}

char LowerAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// Key and value names compare as the registry compares them: without regard to (ASCII) case.
bool SameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
    }
    return true;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    c = LowerAscii(c);
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// A quoted string starting at text[*at] == '"'; on success *at is just past the closing quote.
bool ParseQuoted(std::string_view text, size_t* at, std::string* out) {
    if (*at >= text.size() || text[*at] != '"') return false;
    out->clear();
    for (size_t i = *at + 1; i < text.size(); ++i) {
        char c = text[i];
        if (c == '"') {
            *at = i + 1;
            return true;
        }
        if (c == '\\') {
            // Only the two escapes the registry editor writes; anything else is not ours to guess.
            if (i + 1 >= text.size() || (text[i + 1] != '\\' && text[i + 1] != '"')) return false;
            c = text[++i];
        }
        out->push_back(c);
    }
    return false;
}

bool ParseDword(std::string_view digits, uint32_t* value) {
    if (digits.empty() || digits.size() > 8) return false;
    uint32_t v = 0;
    for (char c : digits) {
        int d = HexDigit(c);
        if (d < 0) return false;
        v = (v << 4) | static_cast<uint32_t>(d);
    }
    *value = v;
    return true;
}

// "01,02,ff" (blanks allowed around the commas); "" is an empty value.
bool ParseHexBytes(std::string_view list, std::vector<uint8_t>* bytes) {
    bytes->clear();
    list = TrimBlanks(list);
    if (list.empty()) return true;
    for (;;) {
        size_t comma = list.find(',');
        std::string_view item = TrimBlanks(list.substr(0, comma));
        if (item.empty() || item.size() > 2) return false;
        int hi = item.size() == 2 ? HexDigit(item[0]) : 0;
        int lo = HexDigit(item.back());
        if (hi < 0 || lo < 0) return false;
        bytes->push_back(static_cast<uint8_t>(hi * 16 + lo));
        if (comma == std::string_view::npos) return true;
        list.remove_prefix(comma + 1);
    }
}

// The data after "=": "text", dword:xxxxxxxx or hex:xx,xx.
bool ParseData(std::string_view data, RegistryValue* value) {
    if (!data.empty() && data.front() == '"') {
        size_t at = 0;
        if (!ParseQuoted(data, &at, &value->text)) return false;
        value->type = ValueType::kString;
        return TrimBlanks(data.substr(at)).empty();
    }
    constexpr std::string_view kDword = "dword:";
    constexpr std::string_view kHex = "hex:";
    if (data.substr(0, kDword.size()) == kDword) {
        value->type = ValueType::kDword;
        return ParseDword(data.substr(kDword.size()), &value->dword);
    }
    if (data.substr(0, kHex.size()) == kHex) {
        value->type = ValueType::kBinary;
        return ParseHexBytes(data.substr(kHex.size()), &value->bytes);
    }
    // hex(n): typed binary, deletions ("-") and the like have no place in this registry.
    return false;
}

bool ParseValueLine(std::string_view line, RegistryValue* value) {
    size_t at = 0;
    if (line.front() == '@') {
        value->name.clear();
        at = 1;
    } else if (!ParseQuoted(line, &at, &value->name)) {
        return false;
    }
    std::string_view rest = TrimBlanks(line.substr(at));
    if (rest.empty() || rest.front() != '=') return false;
    return ParseData(TrimBlanks(rest.substr(1)), value);
}

// The next physical line of `text` from *at, without its line ending.
std::string_view NextLine(std::string_view text, size_t* at) {
    size_t end = text.find('\n', *at);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(*at, end - *at);
    *at = end < text.size() ? end + 1 : end;
    return line;
}

void AppendQuoted(std::string* out, const std::string& text) {
    out->push_back('"');
    for (char c : text) {
        if (c == '\\' || c == '"') out->push_back('\\');
        out->push_back(c);
    }
    out->push_back('"');
}

void AppendHex(std::string* out, unsigned value, int digits) {
    static const char kDigits[] = "0123456789abcdef";
    for (int shift = 4 * (digits - 1); shift >= 0; shift -= 4)
        out->push_back(kDigits[(value >> shift) & 0xf]);
}

}  // namespace

bool ParseRegistryText(const std::string& text, RegistryDocument* document) {
    document->keys.clear();
    std::string_view all(text);
    size_t at = 0;
    if (TrimBlanks(NextLine(all, &at)) != "REGEDIT4") return false;

    RegistryKey* current = nullptr;
    while (at < all.size()) {
        std::string_view line = TrimBlanks(NextLine(all, &at));
        if (line.empty() || line.front() == ';') continue;

        if (line.front() == '[') {
            // "[-key]" is the editor's deletion syntax, which this registry has no use for.
            if (line.back() != ']' || line.size() < 3 || line[1] == '-') return false;
            std::string path(line.substr(1, line.size() - 2));
            // A key named twice is one key, as importing the file twice would make it.
            current = nullptr;
            for (RegistryKey& key : document->keys) {
                if (SameName(key.path, path)) current = &key;
            }
            if (current == nullptr) {
                document->keys.push_back(RegistryKey{std::move(path), {}});
                current = &document->keys.back();
            }
            continue;
        }

        if (current == nullptr) return false;  // a value outside any key
        // The registry editor wraps long hex values: a trailing "\" continues on the next line.
        std::string joined;
        if (line.back() == '\\' && line.find("=hex:") != std::string_view::npos) {
            while (!line.empty() && line.back() == '\\') {
                line.remove_suffix(1);
                joined.append(line);
                line = at < all.size() ? TrimBlanks(NextLine(all, &at)) : std::string_view();
            }
            joined.append(line);
            line = joined;
        }

        RegistryValue value;
        if (!ParseValueLine(line, &value)) return false;
        // A value set twice keeps its place and takes the later data, as an import would.
        bool replaced = false;
        for (RegistryValue& old : current->values) {
            if (SameName(old.name, value.name)) {
                value.name = old.name;
                old = std::move(value);
                replaced = true;
                break;
            }
        }
        if (!replaced) current->values.push_back(std::move(value));
    }
    return true;
}

std::string FormatRegistryText(const RegistryDocument& document) {
    // LF line endings on both platforms, so the emulated registry is an ordinary Linux text file;
    // a copy converted to CRLF for the registry editor reads back the same.
    std::string out = "REGEDIT4\n\n";
    for (const RegistryKey& key : document.keys) {
        out += '[';
        out += key.path;
        out += "]\n";
        for (const RegistryValue& value : key.values) {
            if (value.name.empty()) {
                out += '@';
            } else {
                AppendQuoted(&out, value.name);
            }
            out += '=';
            switch (value.type) {
                case ValueType::kString:
                    AppendQuoted(&out, value.text);
                    break;
                case ValueType::kDword:
                    out += "dword:";
                    AppendHex(&out, value.dword, 8);
                    break;
                case ValueType::kBinary:
                    out += "hex:";
                    for (size_t i = 0; i < value.bytes.size(); ++i) {
                        if (i > 0) out += ',';
                        AppendHex(&out, value.bytes[i], 2);
                    }
                    break;
            }
            out += '\n';
        }
        out += '\n';
    }
    return out;
}

std::string HiveName(Hive hive) {
    switch (hive) {
        case Hive::kClassesRoot:
            return "HKEY_CLASSES_ROOT";
        case Hive::kCurrentUser:
            return "HKEY_CURRENT_USER";
        case Hive::kLocalMachine:
            return "HKEY_LOCAL_MACHINE";
    }
    return std::string();
}

}  // namespace qor::platform
