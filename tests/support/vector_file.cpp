#include "vector_file.h"

#include <cctype>
#include <stdexcept>

namespace qor::test {

namespace {

std::string Trim(std::string_view s) {
    size_t b = 0, e = s.size();
    while (b < e && std::isspace(static_cast<unsigned char>(s[b])))
        ++b;
    while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1])))
        --e;
    return std::string(s.substr(b, e - b));
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

Bytes FromHex(std::string_view hex) {
    Bytes out;
    int pending = -1;
    for (char c : hex) {
        if (std::isspace(static_cast<unsigned char>(c))) continue;
        int d = HexDigit(c);
        if (d < 0) throw std::runtime_error("bad hex digit in '" + std::string(hex) + "'");
        if (pending < 0) {
            pending = d;
        } else {
            out.push_back(static_cast<uint8_t>(pending << 4 | d));
            pending = -1;
        }
    }
    if (pending >= 0) throw std::runtime_error("odd number of hex digits");
    return out;
}

std::string ToHex(const uint8_t* data, size_t length) {
    static const char kDigits[] = "0123456789abcdef";
    std::string s;
    s.reserve(length * 2);
    for (size_t i = 0; i < length; ++i) {
        s.push_back(kDigits[data[i] >> 4]);
        s.push_back(kDigits[data[i] & 15]);
    }
    return s;
}

Bytes VectorRecord::GetBytes(const std::string& name) const {
    const std::string& v = Raw(name);
    if (v.size() >= 2 && v.front() == '"' && v.back() == '"') {
        return Bytes(v.begin() + 1, v.end() - 1);
    }
    return FromHex(v);
}

uint64_t VectorRecord::GetNumber(const std::string& name) const {
    return std::stoull(Raw(name), nullptr, 0);
}

const std::string& VectorRecord::Raw(const std::string& name) const {
    auto it = fields_.find(name);
    if (it == fields_.end()) {
        throw std::runtime_error("vector at line " + std::to_string(line_) + " lacks '" + name +
                                 "'");
    }
    return it->second;
}

std::vector<VectorRecord> ParseVectorFile(std::string_view text) {
    std::vector<VectorRecord> records;
    VectorRecord current;
    int lineNo = 0;
    size_t pos = 0;
    auto flush = [&] {
        if (!current.fields_.empty()) records.push_back(current);
        current = VectorRecord();
    };
    while (pos <= text.size()) {
        size_t nl = text.find('\n', pos);
        if (nl == std::string_view::npos) nl = text.size();
        std::string line = Trim(text.substr(pos, nl - pos));
        pos = nl + 1;
        ++lineNo;
        if (line.empty()) {
            flush();
            continue;
        }
        if (line[0] == '#') continue;
        size_t eq = line.find('=');
        if (eq == std::string::npos) {
            throw std::runtime_error("line " + std::to_string(lineNo) + ": expected name = value");
        }
        if (current.fields_.empty()) current.line_ = lineNo;
        current.fields_[Trim(line.substr(0, eq))] = Trim(line.substr(eq + 1));
    }
    flush();
    return records;
}

}  // namespace qor::test
