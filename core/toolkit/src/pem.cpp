// PEM armour: base64 between "-----BEGIN <label>-----" and "-----END <label>-----".
#include <qor/key_files.h>

#include <cstring>

namespace qor::toolkit {

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr size_t kLineLength = 64;

// 0..63, or -1 for a character outside the alphabet.
int Sextet(uint8_t c) {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '+') return 62;
    if (c == '/') return 63;
    return -1;
}

bool IsBlank(uint8_t c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// The first occurrence of `needle` in [from, end), or null.
const uint8_t* Find(const uint8_t* from, const uint8_t* end, const char* needle, size_t n) {
    if (static_cast<size_t>(end - from) < n) return nullptr;
    for (const uint8_t* p = from; p + n <= end; ++p) {
        if (std::memcmp(p, needle, n) == 0) return p;
    }
    return nullptr;
}

void Append(SecureBuffer& out, size_t& used, const char* text, size_t n) {
    std::memcpy(out.data() + used, text, n);
    used += n;
}

}  // namespace

int PemEncode(const char* label, const uint8_t* der, size_t length, SecureBuffer* text) {
    const size_t labelLength = std::strlen(label);
    const size_t encoded = (length + 2) / 3 * 4;
    const size_t lines = (encoded + kLineLength - 1) / kLineLength;
    // "-----BEGIN " label "-----\n" ... "-----END " label "-----\n"
    const size_t total = 11 + labelLength + 6 + encoded + lines + 9 + labelLength + 6;
    SecureBuffer out(total);
    size_t used = 0;
    Append(out, used, "-----BEGIN ", 11);
    Append(out, used, label, labelLength);
    Append(out, used, "-----\n", 6);
    size_t column = 0;
    for (size_t i = 0; i < length; i += 3) {
        const uint32_t b0 = der[i];
        const uint32_t b1 = i + 1 < length ? der[i + 1] : 0;
        const uint32_t b2 = i + 2 < length ? der[i + 2] : 0;
        const uint32_t group = b0 << 16 | b1 << 8 | b2;
        char quad[4] = {kAlphabet[group >> 18 & 63], kAlphabet[group >> 12 & 63],
                        i + 1 < length ? kAlphabet[group >> 6 & 63] : '=',
                        i + 2 < length ? kAlphabet[group & 63] : '='};
        Append(out, used, quad, 4);
        SecureWipe(quad, sizeof quad);
        column += 4;
        if (column == kLineLength || i + 3 >= length) {
            Append(out, used, "\n", 1);
            column = 0;
        }
    }
    Append(out, used, "-----END ", 9);
    Append(out, used, label, labelLength);
    Append(out, used, "-----\n", 6);
    *text = std::move(out);
    return kStatusOk;
}

int PemDecode(const char* label, const uint8_t* text, size_t length, SecureBuffer* der) {
    der->Clear();
    if (text == nullptr) return kStatusKeyFileMalformed;
    const uint8_t* end = text + length;
    const size_t labelLength = std::strlen(label);
    // The markers with the label spelled out: BEGIN FOO never matches BEGIN FOO BAR.
    SecureBuffer begin(11 + labelLength + 5), finish(9 + labelLength + 5);
    size_t b = 0, f = 0;
    Append(begin, b, "-----BEGIN ", 11);
    Append(begin, b, label, labelLength);
    Append(begin, b, "-----", 5);
    Append(finish, f, "-----END ", 9);
    Append(finish, f, label, labelLength);
    Append(finish, f, "-----", 5);

    const uint8_t* start =
        Find(text, end, reinterpret_cast<const char*>(begin.data()), begin.size());
    if (start == nullptr) return kStatusKeyFileMalformed;
    const uint8_t* body = start + begin.size();
    const uint8_t* stop =
        Find(body, end, reinterpret_cast<const char*>(finish.data()), finish.size());
    if (stop == nullptr) return kStatusKeyFileMalformed;

    SecureBuffer out((static_cast<size_t>(stop - body) / 4 + 1) * 3);
    size_t used = 0;
    uint32_t group = 0;
    int count = 0;    // sextets in the current group
    int padding = 0;  // '=' seen, which may only end the data
    for (const uint8_t* p = body; p < stop; ++p) {
        if (IsBlank(*p)) continue;
        if (*p == '=') {
            if (count < 2 || ++padding + count > 4) return kStatusKeyFileMalformed;
            continue;
        }
        const int v = Sextet(*p);
        if (v < 0 || padding != 0) return kStatusKeyFileMalformed;
        group = group << 6 | static_cast<uint32_t>(v);
        if (++count == 4) {
            out[used++] = static_cast<uint8_t>(group >> 16);
            out[used++] = static_cast<uint8_t>(group >> 8);
            out[used++] = static_cast<uint8_t>(group);
            group = 0;
            count = 0;
        }
    }
    if (padding != 0) {
        if (count + padding != 4) return kStatusKeyFileMalformed;
        // Two sextets give one byte, three give two; the bits left over must be zero.
        if (count == 2) {
            if ((group & 0x0f) != 0) return kStatusKeyFileMalformed;
            out[used++] = static_cast<uint8_t>(group >> 4);
        } else {
            if ((group & 0x03) != 0) return kStatusKeyFileMalformed;
            out[used++] = static_cast<uint8_t>(group >> 10);
            out[used++] = static_cast<uint8_t>(group >> 2);
        }
    } else if (count != 0) {
        return kStatusKeyFileMalformed;
    }
    if (used == 0) return kStatusKeyFileMalformed;
    der->Assign(out.data(), used);
    return kStatusOk;
}

}  // namespace qor::toolkit
