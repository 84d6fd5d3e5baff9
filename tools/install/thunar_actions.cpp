#include "thunar_actions.h"

#include <cstring>

namespace qor::install {

namespace {

bool IsNameChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '_' || c == '.' || c == ':' || (static_cast<unsigned char>(c) >= 0x80);
}

bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

bool StartsAt(const std::string& text, size_t at, const char* prefix) {
    return text.compare(at, std::strlen(prefix), prefix) == 0;
}

void AppendUtf8(unsigned long code, std::string* out) {
    if (code < 0x80) {
        out->push_back(static_cast<char>(code));
    } else if (code < 0x800) {
        out->push_back(static_cast<char>(0xC0 | (code >> 6)));
        out->push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else if (code < 0x10000) {
        out->push_back(static_cast<char>(0xE0 | (code >> 12)));
        out->push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
        out->push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else {
        out->push_back(static_cast<char>(0xF0 | (code >> 18)));
        out->push_back(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
        out->push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
        out->push_back(static_cast<char>(0x80 | (code & 0x3F)));
    }
}

// Character data from `text[begin, end)` with its references resolved; false on a reference
// that is incomplete or names no entity XML predefines.
bool Unescape(const std::string& text, size_t begin, size_t end, std::string* out) {
    for (size_t k = begin; k < end; ++k) {
        if (text[k] == '<') return false;
        if (text[k] != '&') {
            out->push_back(text[k]);
            continue;
        }
        const size_t semicolon = text.find(';', k);
        if (semicolon == std::string::npos || semicolon >= end) return false;
        const std::string name = text.substr(k + 1, semicolon - k - 1);
        if (name == "amp") {
            out->push_back('&');
        } else if (name == "lt") {
            out->push_back('<');
        } else if (name == "gt") {
            out->push_back('>');
        } else if (name == "quot") {
            out->push_back('"');
        } else if (name == "apos") {
            out->push_back('\'');
        } else if (name.size() >= 2 && name[0] == '#') {
            const bool hex = name[1] == 'x';
            const std::string digits = name.substr(hex ? 2 : 1);
            if (digits.empty() || digits.size() > 8) return false;
            unsigned long code = 0;
            for (char d : digits) {
                int value = -1;
                if (d >= '0' && d <= '9') value = d - '0';
                if (hex && d >= 'a' && d <= 'f') value = d - 'a' + 10;
                if (hex && d >= 'A' && d <= 'F') value = d - 'A' + 10;
                if (value < 0) return false;
                code = code * (hex ? 16 : 10) + static_cast<unsigned long>(value);
            }
            if (code == 0 || code > 0x10FFFF) return false;
            AppendUtf8(code, out);
        } else {
            return false;
        }
        k = semicolon;
    }
    return true;
}

std::string Escape(const std::string& text) {
    std::string out;
    for (char c : text) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            default:
                out += c;
        }
    }
    return out;
}

// The start of the line `at` is on when only blanks precede it there; else `at`.
size_t LineStart(const std::string& text, size_t at) {
    size_t k = at;
    while (k > 0 && (text[k - 1] == ' ' || text[k - 1] == '\t'))
        --k;
    return k == 0 || text[k - 1] == '\n' ? k : at;
}

// Past the blanks and one line break after `at`, when nothing else follows on the line.
size_t LineEnd(const std::string& text, size_t at) {
    size_t k = at;
    while (k < text.size() && (text[k] == ' ' || text[k] == '\t' || text[k] == '\r'))
        ++k;
    if (k == text.size()) return k;
    return text[k] == '\n' ? k + 1 : at;
}

}  // namespace

namespace detail {

bool ScanUca(const std::string& text, UcaLayout* layout, std::string* error) {
    struct Open {
        std::string name;
        size_t start;
    };
    std::vector<Open> stack;
    bool rootSeen = false;
    bool rootClosed = false;
    UcaEntry current;
    std::string* capture = nullptr;  // the unique-id or command being read
    auto fail = [&](const std::string& why, size_t at) {
        size_t line = 1;
        for (size_t k = 0; k < at && k < text.size(); ++k)
            line += text[k] == '\n' ? 1 : 0;
        *error = why + " on line " + std::to_string(line);
        return false;
    };

    size_t k = 0;
    while (k < text.size()) {
        if (text[k] != '<') {
            const size_t next = text.find('<', k);
            const size_t end = next == std::string::npos ? text.size() : next;
            std::string data;
            if (!Unescape(text, k, end, &data)) return fail("a broken character reference", k);
            if (stack.empty()) {
                for (char c : data) {
                    if (!IsSpace(c)) return fail("text outside the root element", k);
                }
            } else if (capture != nullptr) {
                *capture += data;
            }
            k = end;
            continue;
        }
        if (StartsAt(text, k, "<!--")) {
            const size_t end = text.find("-->", k + 4);
            if (end == std::string::npos) return fail("an unclosed comment", k);
            k = end + 3;
            continue;
        }
        if (StartsAt(text, k, "<![CDATA[")) {
            const size_t end = text.find("]]>", k + 9);
            if (end == std::string::npos || stack.empty())
                return fail("a misplaced CDATA section", k);
            if (capture != nullptr) *capture += text.substr(k + 9, end - k - 9);
            k = end + 3;
            continue;
        }
        if (StartsAt(text, k, "<?")) {
            const size_t end = text.find("?>", k + 2);
            if (end == std::string::npos) return fail("an unclosed processing instruction", k);
            k = end + 2;
            continue;
        }
        if (StartsAt(text, k, "<!DOCTYPE")) {
            if (rootSeen) return fail("a document type after the root element", k);
            // The internal subset in brackets may hold '>' of its own declarations.
            size_t j = k + 9;
            bool inSubset = false;
            char quote = 0;
            for (; j < text.size(); ++j) {
                const char c = text[j];
                if (quote != 0) {
                    if (c == quote) quote = 0;
                } else if (c == '"' || c == '\'') {
                    quote = c;
                } else if (c == '[') {
                    inSubset = true;
                } else if (c == ']') {
                    inSubset = false;
                } else if (c == '>' && !inSubset) {
                    break;
                }
            }
            if (j >= text.size()) return fail("an unclosed document type declaration", k);
            k = j + 1;
            continue;
        }
        const bool closing = StartsAt(text, k, "</");
        size_t j = k + (closing ? 2 : 1);
        const size_t nameStart = j;
        while (j < text.size() && IsNameChar(text[j]))
            ++j;
        const std::string name = text.substr(nameStart, j - nameStart);
        if (name.empty()) return fail("a stray '<'", k);
        if (closing) {
            while (j < text.size() && IsSpace(text[j]))
                ++j;
            if (j >= text.size() || text[j] != '>') return fail("a broken end tag", k);
            if (stack.empty() || stack.back().name != name)
                return fail("</" + name + "> closes no open <" + name + ">", k);
            const Open open = stack.back();
            stack.pop_back();
            if (stack.size() == 1 && name == "action") {
                layout->ranges.emplace_back(open.start, j + 1);
                layout->entries.push_back(current);
                current = UcaEntry();
            }
            if (stack.size() == 2) capture = nullptr;
            if (stack.empty()) {
                rootClosed = true;
                layout->rootClose = k;
            }
            k = j + 1;
            continue;
        }
        // A start tag: attributes are name="value" or name='value'.
        bool empty = false;
        for (;;) {
            while (j < text.size() && IsSpace(text[j]))
                ++j;
            if (j >= text.size()) return fail("an unclosed start tag", k);
            if (text[j] == '>') break;
            if (StartsAt(text, j, "/>")) {
                empty = true;
                ++j;
                break;
            }
            const size_t attribute = j;
            while (j < text.size() && IsNameChar(text[j]))
                ++j;
            if (j == attribute) return fail("a broken attribute", j);
            while (j < text.size() && IsSpace(text[j]))
                ++j;
            if (j >= text.size() || text[j] != '=') return fail("an attribute without a value", j);
            ++j;
            while (j < text.size() && IsSpace(text[j]))
                ++j;
            if (j >= text.size() || (text[j] != '"' && text[j] != '\'')) {
                return fail("an unquoted attribute value", j);
            }
            const size_t close = text.find(text[j], j + 1);
            std::string ignored;
            if (close == std::string::npos || !Unescape(text, j + 1, close, &ignored)) {
                return fail("a broken attribute value", j);
            }
            j = close + 1;
        }
        if (stack.empty()) {
            if (rootSeen) return fail("a second root element", k);
            if (name != "actions") return fail("the root element is <" + name + ">", k);
            rootSeen = true;
        }
        if (!empty) {
            stack.push_back({name, k});
            if (stack.size() == 3 && stack[1].name == "action") {
                if (name == "unique-id") capture = &current.uniqueId;
                if (name == "command") capture = &current.command;
            }
        }
        k = j + 1;
    }
    if (!rootSeen) return fail("no <actions> element", k);
    if (!rootClosed) return fail("<" + stack.back().name + "> is never closed", k);
    return true;
}

std::string RewriteUca(const std::string& text, const UcaLayout& layout,
                       const std::vector<bool>& remove, const std::vector<UcaAction>& add) {
    std::string out;
    size_t copied = 0;
    for (size_t n = 0; n < layout.ranges.size(); ++n) {
        if (!remove[n]) continue;
        const size_t begin = LineStart(text, layout.ranges[n].first);
        const size_t end = LineEnd(text, layout.ranges[n].second);
        out.append(text, copied, begin - copied);
        copied = end;
    }
    // Ours go last, on lines of their own before the closing tag.
    const size_t close = LineStart(text, layout.rootClose);
    out.append(text, copied, close - copied);
    if (!add.empty() && !out.empty() && out.back() != '\n') out.push_back('\n');
    for (const UcaAction& action : add)
        out += UcaActionXml(action);
    out.append(text, close, std::string::npos);
    return out;
}

}  // namespace detail

bool ReadUcaActions(const std::string& text, std::vector<UcaEntry>* actions, std::string* error) {
    detail::UcaLayout layout;
    if (!detail::ScanUca(text, &layout, error)) return false;
    *actions = layout.entries;
    return true;
}

std::string UcaActionXml(const UcaAction& a) {
    std::string xml = "  <action>\n";
    xml += "    <icon></icon>\n";
    xml += "    <name>" + Escape(a.name) + "</name>\n";
    if (!a.submenu.empty()) xml += "    <submenu>" + Escape(a.submenu) + "</submenu>\n";
    xml += "    <unique-id>" + Escape(a.uniqueId) + "</unique-id>\n";
    xml += "    <command>" + Escape(a.command) + "</command>\n";
    xml += "    <description>" + Escape(a.description) + "</description>\n";
    xml += "    <range></range>\n";
    xml += "    <patterns>" + Escape(a.patterns) + "</patterns>\n";
    if (a.directories) xml += "    <directories/>\n";
    if (a.files) {
        for (const char* kind :
             {"audio-files", "image-files", "other-files", "text-files", "video-files"})
            xml += std::string("    <") + kind + "/>\n";
    }
    xml += "  </action>\n";
    return xml;
}

std::string EmptyUcaFile() {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<actions>\n</actions>\n";
}

}  // namespace qor::install
