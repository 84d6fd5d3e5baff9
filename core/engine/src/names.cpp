// Which files a walk may touch, judged by name alone, and the names of encrypted files.
#include <qor/engine/selection_walk.h>
#include <qor/platform/files.h>

#include <array>
#include <string_view>

namespace qor::engine {

namespace {

using platform::kSeparator;

char Lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string LowerText(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        c = Lower(c);
    return out;
}

bool EndsWith(std::string_view text, std::string_view tail) {
    return text.size() >= tail.size() && text.substr(text.size() - tail.size()) == tail;
}

constexpr std::array<std::string_view, 20> kExcludedSuffixes = {
    ".exe", ".com", ".bat", ".dll", ".sys", ".ini", ".bin", ".drv", ".ovl", ".grp",
    ".e!!", ".u!!", ".pif", ".ico", ".386", ".cfg", ".fon", ".ttf", ".fot", ".vbx"};

constexpr std::array<std::string_view, 14> kOwnFiles = {
    "vodorura.rar", "autocry2.exe", "associat.exe", "userpref.!!!", "emerpref.!!!",
    "autocryp.!!!", "qorsec95.dll", "vezev95.dll",  "qorsec95.hlp", "vezev95.hlp",
    "qorsec95.cnt", "vezev95.cnt",  "autocryp.lst", "decexe"};

// The product's own ".!!!" files are preference files, not encrypted documents.
constexpr std::array<std::string_view, 3> kOwnEncryptedNames = {"autocryp.!!!", "userpref.!!!",
                                                                "emerpref.!!!"};

constexpr std::string_view kLocalSuffix = ".!!!";
constexpr std::string_view kShareSuffix = ".s!!";

bool NameTaken(const std::string& path) {
    platform::Finder finder;
    platform::FindData data;
    return finder.First(path, &data);
}

// Steps shared by both name forms: the copy with "name.ext" turned into "name(ext)"; only the
// last path component counts, so a dot in a folder's name is left alone.
std::string ParenthesisedBase(const std::string& source) {
    std::string base = source;
    const size_t separator = base.rfind(kSeparator);
    const size_t nameStart = separator == std::string::npos ? 0 : separator + 1;
    const size_t dot = base.rfind('.');
    if (dot != std::string::npos && dot >= nameStart && dot + 1 < base.size()) {
        base[dot] = '(';
        base += ')';
    }
    return base;
}

}  // namespace

bool IsExcludedType(const std::string& name) {
    if (name.size() < 4) return false;
    std::string tail = name.substr(name.size() - 4);
    for (size_t i = 1; i < tail.size(); ++i)
        tail[i] = Lower(tail[i]);
    for (std::string_view suffix : kExcludedSuffixes) {
        if (tail == suffix) return true;
    }
    return false;
}

bool IsOwnProductFile(const std::string& name) {
    if (name.size() > 12) return false;
    const std::string lower = LowerText(name);
    for (std::string_view own : kOwnFiles) {
        if (lower == own) return true;
    }
    return false;
}

bool IsAlreadyEncrypted(const std::string& name) {
    return EndsWith(name, kLocalSuffix) || IsFileShareEncrypted(name);
}

bool IsLocalEncrypted(const std::string& name) {
    if (!EndsWith(name, kLocalSuffix) || name.size() <= kLocalSuffix.size()) return false;
    const std::string lower = LowerText(name);
    for (std::string_view own : kOwnEncryptedNames) {
        if (lower == own) return false;
    }
    return true;
}

bool IsFileShareEncrypted(const std::string& name) {
    return EndsWith(name, ".s!!") || EndsWith(name, ".S!!");
}

int MakeOutputName(const FileJob& job, const std::string& source, std::string* name) {
    // Room for "(", ")", up to six digits of a number and the suffix within the path limit.
    if (source.size() + 10 > platform::kMaxPath) return -1;
    const std::string base = ParenthesisedBase(source);
    const bool share = job.options != nullptr && job.options->mode == kModeFileShare;
    const std::string suffix(share ? kShareSuffix : kLocalSuffix);

    std::string candidate = base + suffix;
    // Bounded so that the name always fits the room reserved above.
    for (int number = 2; NameTaken(candidate); ++number) {
        if (number > 999999) return -1;
        candidate = base + std::to_string(number) + suffix;
    }
    *name = candidate;
    return 0;
}

std::string EncryptedCounterpart(const std::string& source) {
    if (source.size() + 6 > platform::kMaxPath) return std::string();
    return ParenthesisedBase(source) + std::string(kLocalSuffix);
}

}  // namespace qor::engine
