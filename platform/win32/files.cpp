// Files and folders on Win32: each operation is the Win32 call of the same meaning, with UTF-8
// paths converted to UTF-16 at this boundary so that every name the system can hold works.
#include "qor/platform/files.h"

#include "win32_common.h"

#include <cwchar>

namespace qor::platform {

namespace {

// GetLastError is overwritten by any later call, our own conversions included, so each failure
// is copied here at once.
thread_local uint32_t t_lastError = kErrorNone;

bool IsSeparator(wchar_t c) {
    return c == L'\\' || c == L'/';
}

FILETIME ToFileTime(uint64_t value) {
    FILETIME t;
    t.dwLowDateTime = static_cast<DWORD>(value & 0xffffffffu);
    t.dwHighDateTime = static_cast<DWORD>(value >> 32);
    return t;
}

uint64_t FromFileTime(const FILETIME& t) {
    return (static_cast<uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
}

// GetFullPathName, so that "..", "." and forward slashes cannot disguise where a path lies.
std::wstring FullPath(const std::wstring& path) {
    std::wstring out(MAX_PATH, L'\0');
    for (;;) {
        DWORD n =
            GetFullPathNameW(path.c_str(), static_cast<DWORD>(out.size()), out.data(), nullptr);
        if (n == 0) return path;
        if (n < out.size()) {
            out.resize(n);
            return out;
        }
        out.resize(n);
    }
}

void FillFindData(const WIN32_FIND_DATAW& found, FindData* data) {
    data->name = win32::Narrow(found.cFileName, std::wcslen(found.cFileName));
    data->shortName =
        win32::Narrow(found.cAlternateFileName, std::wcslen(found.cAlternateFileName));
    data->attributes = found.dwFileAttributes;
    data->size = (static_cast<uint64_t>(found.nFileSizeHigh) << 32) | found.nFileSizeLow;
    data->times.creation = FromFileTime(found.ftCreationTime);
    data->times.lastAccess = FromFileTime(found.ftLastAccessTime);
    data->times.lastWrite = FromFileTime(found.ftLastWriteTime);
}

}  // namespace

namespace win32 {

std::wstring Widen(const std::string& text) {
    if (text.empty()) return std::wstring();
    // A name that is not valid UTF-8 comes from an ANSI-only system: read it in the ANSI code
    // page rather than turning its bytes into replacement characters.
    UINT codePage = CP_UTF8;
    DWORD flags = MB_ERR_INVALID_CHARS;
    int n = MultiByteToWideChar(codePage, flags, text.data(), static_cast<int>(text.size()),
                                nullptr, 0);
    if (n <= 0) {
        codePage = CP_ACP;
        flags = 0;
        n = MultiByteToWideChar(codePage, flags, text.data(), static_cast<int>(text.size()),
                                nullptr, 0);
        if (n <= 0) return std::wstring();
    }
    std::wstring out(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(codePage, flags, text.data(), static_cast<int>(text.size()), out.data(), n);
    return out;
}

std::string Narrow(const wchar_t* text, size_t length) {
    if (length == 0) return std::string();
    int n = WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), nullptr, 0, nullptr,
                                nullptr);
    if (n <= 0) return std::string();
    std::string out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), out.data(), n, nullptr,
                        nullptr);
    return out;
}

std::string Narrow(const std::wstring& text) {
    return Narrow(text.data(), text.size());
}

bool Fail() {
    t_lastError = GetLastError();
    return false;
}

bool FailWith(uint32_t error) {
    t_lastError = error;
    SetLastError(error);
    return false;
}

}  // namespace win32

uint32_t LastError() {
    return t_lastError;
}

struct File::Handle {
    HANDLE h = INVALID_HANDLE_VALUE;
};

File::File() = default;
File::~File() {
    Close();
}
File::File(File&& other) noexcept = default;

File& File::operator=(File&& other) noexcept {
    if (this != &other) {
        Close();
        handle_ = std::move(other.handle_);
    }
    return *this;
}

File File::Open(const std::string& path, uint32_t access, uint32_t share, Disposition disposition,
                uint32_t attributes, uint32_t* error) {
    File file;
    DWORD desired = 0;
    if (access & kAccessRead) desired |= GENERIC_READ;
    if (access & kAccessWrite) desired |= GENERIC_WRITE;
    DWORD shareMode = 0;
    if (share & kShareRead) shareMode |= FILE_SHARE_READ;
    if (share & kShareWrite) shareMode |= FILE_SHARE_WRITE;
    DWORD flags = (attributes & kAttrReadOnly) ? FILE_ATTRIBUTE_READONLY : FILE_ATTRIBUTE_NORMAL;

    HANDLE h = CreateFileW(win32::Widen(path).c_str(), desired, shareMode, nullptr,
                           static_cast<DWORD>(disposition), flags, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        win32::Fail();
        if (error) *error = t_lastError;
        return file;
    }
    file.handle_ = std::make_unique<Handle>();
    file.handle_->h = h;
    if (error) *error = kErrorNone;
    return file;
}

bool File::IsOpen() const {
    return handle_ && handle_->h != INVALID_HANDLE_VALUE;
}

bool File::Read(void* buffer, uint32_t size, uint32_t* got) {
    *got = 0;
    if (!IsOpen()) return win32::FailWith(kErrorInvalidHandle);
    DWORD n = 0;
    if (!ReadFile(handle_->h, buffer, size, &n, nullptr)) return win32::Fail();
    *got = n;
    return true;
}

bool File::Write(const void* data, uint32_t size) {
    if (!IsOpen()) return win32::FailWith(kErrorInvalidHandle);
    const auto* p = static_cast<const uint8_t*>(data);
    while (size > 0) {
        DWORD n = 0;
        if (!WriteFile(handle_->h, p, size, &n, nullptr)) return win32::Fail();
        // WriteFile reports success with fewer bytes when the medium fills up.
        if (n == 0) return win32::FailWith(kErrorDiskFull);
        p += n;
        size -= n;
    }
    return true;
}

bool File::Size(uint64_t* size) const {
    if (!IsOpen()) return win32::FailWith(kErrorInvalidHandle);
    LARGE_INTEGER value;
    if (!GetFileSizeEx(handle_->h, &value)) return win32::Fail();
    *size = static_cast<uint64_t>(value.QuadPart);
    return true;
}

bool File::Seek(uint64_t offset) {
    if (!IsOpen()) return win32::FailWith(kErrorInvalidHandle);
    LARGE_INTEGER to;
    to.QuadPart = static_cast<LONGLONG>(offset);
    if (!SetFilePointerEx(handle_->h, to, nullptr, FILE_BEGIN)) return win32::Fail();
    return true;
}

bool File::SetEnd() {
    if (!IsOpen()) return win32::FailWith(kErrorInvalidHandle);
    if (!SetEndOfFile(handle_->h)) return win32::Fail();
    return true;
}

bool File::Flush() {
    if (!IsOpen()) return win32::FailWith(kErrorInvalidHandle);
    if (!FlushFileBuffers(handle_->h)) return win32::Fail();
    return true;
}

// The cache manager reads ahead and writes behind by itself on Windows.
void File::AdviseSequential() {}
void File::StartWriteBack(uint64_t, uint64_t) {}
void File::AdviseDone(uint64_t, uint64_t) {}

bool File::GetTimes(FileTimes* times) const {
    if (!IsOpen()) return win32::FailWith(kErrorInvalidHandle);
    FILETIME creation, access, write;
    if (!GetFileTime(handle_->h, &creation, &access, &write)) return win32::Fail();
    times->creation = FromFileTime(creation);
    times->lastAccess = FromFileTime(access);
    times->lastWrite = FromFileTime(write);
    return true;
}

bool File::SetTimes(const FileTimes& times) {
    if (!IsOpen()) return win32::FailWith(kErrorInvalidHandle);
    // A zero time is "not known": that time is left as it is.
    FILETIME creation = ToFileTime(times.creation);
    FILETIME access = ToFileTime(times.lastAccess);
    FILETIME write = ToFileTime(times.lastWrite);
    if (!SetFileTime(handle_->h, times.creation ? &creation : nullptr,
                     times.lastAccess ? &access : nullptr, times.lastWrite ? &write : nullptr)) {
        return win32::Fail();
    }
    return true;
}

void File::Close() {
    if (IsOpen()) CloseHandle(handle_->h);
    handle_.reset();
}

bool Exists(const std::string& path) {
    if (GetFileAttributesW(win32::Widen(path).c_str()) == INVALID_FILE_ATTRIBUTES) {
        return win32::Fail();
    }
    return true;
}

bool DeleteFile(const std::string& path) {
    if (!DeleteFileW(win32::Widen(path).c_str())) return win32::Fail();
    return true;
}

bool DeleteAtRestart(const std::string& path) {
    if (!MoveFileExW(win32::Widen(path).c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT))
        return win32::Fail();
    return true;
}

bool MoveFile(const std::string& from, const std::string& to) {
    if (!MoveFileW(win32::Widen(from).c_str(), win32::Widen(to).c_str())) return win32::Fail();
    return true;
}

bool ReplaceFile(const std::string& from, const std::string& to) {
    const std::wstring target = win32::Widen(to);
    // Windows refuses to replace a read-only file, and the product relies on that; Wine's rename
    // replaces it anyway, so the refusal is made here too (the same answer Windows gives).
    DWORD attributes = GetFileAttributesW(target.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY)) {
        return win32::FailWith(kErrorAccessDenied);
    }
    if (!MoveFileExW(win32::Widen(from).c_str(), target.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        return win32::Fail();
    }
    return true;
}

bool CreateDirectory(const std::string& path) {
    if (!CreateDirectoryW(win32::Widen(path).c_str(), nullptr)) return win32::Fail();
    return true;
}

bool RemoveDirectory(const std::string& path) {
    if (!RemoveDirectoryW(win32::Widen(path).c_str())) return win32::Fail();
    return true;
}

uint32_t GetAttributes(const std::string& path) {
    DWORD attributes = GetFileAttributesW(win32::Widen(path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) win32::Fail();
    return attributes;
}

bool SetAttributes(const std::string& path, uint32_t attributes) {
    if (!SetFileAttributesW(win32::Widen(path).c_str(), attributes)) return win32::Fail();
    return true;
}

uint32_t GetPermissions(const std::string&) {
    return 0;
}

bool SetPermissions(const std::string&, uint32_t) {
    return true;
}

bool FlushFolder(const std::string&) {
    return true;
}

bool FlushFiles(const std::vector<File*>& files) {
    bool ok = true;
    for (File* file : files)
        ok = file->Flush() && ok;
    return ok;
}

bool FreeSpace(const std::string& path, uint64_t* bytes) {
    // The folder that holds the path, keeping its separator so that "C:\" stays a root.
    std::wstring folder = win32::Widen(path);
    size_t cut = folder.size();
    while (cut > 0 && !IsSeparator(folder[cut - 1]))
        --cut;
    if (cut > 0) {
        folder.resize(cut);
    } else if (folder.size() == 2 && folder[1] == L':') {
        folder += L'\\';
    } else {
        folder = L".\\";
    }
    ULARGE_INTEGER available;
    if (!GetDiskFreeSpaceExW(folder.c_str(), &available, nullptr, nullptr)) return win32::Fail();
    *bytes = available.QuadPart;
    return true;
}

struct Finder::State {
    HANDLE h = INVALID_HANDLE_VALUE;
};

Finder::Finder() = default;
Finder::~Finder() {
    Close();
}

bool Finder::First(const std::string& pattern, FindData* data) {
    Close();
    WIN32_FIND_DATAW found;
    HANDLE h = FindFirstFileW(win32::Widen(pattern).c_str(), &found);
    if (h == INVALID_HANDLE_VALUE) return win32::Fail();
    state_ = std::make_unique<State>();
    state_->h = h;
    FillFindData(found, data);
    return true;
}

bool Finder::Next(FindData* data) {
    if (!state_) return win32::FailWith(kErrorInvalidHandle);
    WIN32_FIND_DATAW found;
    if (!FindNextFileW(state_->h, &found)) return win32::Fail();
    FillFindData(found, data);
    return true;
}

void Finder::Close() {
    if (state_) FindClose(state_->h);
    state_.reset();
}

std::string WindowsFolder() {
    std::wstring out(MAX_PATH, L'\0');
    for (;;) {
        UINT n = GetWindowsDirectoryW(out.data(), static_cast<UINT>(out.size()));
        if (n == 0) {
            win32::Fail();
            return std::string();
        }
        if (n < out.size()) {
            out.resize(n);
            return win32::Narrow(out);
        }
        out.resize(n);
    }
}

bool IsInsideSystemFolder(const std::string& path) {
    if (path.empty()) return false;
    std::wstring system = FullPath(win32::Widen(WindowsFolder()));
    while (!system.empty() && IsSeparator(system.back()))
        system.pop_back();
    std::wstring full = FullPath(win32::Widen(path));
    if (system.empty() || full.size() < system.size()) return false;
    // Whole components only: "C:\WindowsApps" is not inside "C:\Windows".
    if (full.size() > system.size() && !IsSeparator(full[system.size()])) return false;
    return CompareStringOrdinal(full.data(), static_cast<int>(system.size()), system.data(),
                                static_cast<int>(system.size()), TRUE) == CSTR_EQUAL;
}

std::string ProgramFolder() {
    std::wstring out(MAX_PATH, L'\0');
    for (;;) {
        DWORD n = GetModuleFileNameW(nullptr, out.data(), static_cast<DWORD>(out.size()));
        if (n == 0) {
            win32::Fail();
            return std::string();
        }
        // A full buffer means the name was cut short.
        if (n < out.size()) {
            out.resize(n);
            break;
        }
        out.resize(out.size() * 2);
    }
    size_t cut = out.size();
    while (cut > 0 && !IsSeparator(out[cut - 1]))
        --cut;
    while (cut > 1 && IsSeparator(out[cut - 1]))
        --cut;
    out.resize(cut);
    return win32::Narrow(out);
}

std::string CurrentFolder() {
    DWORD size = GetCurrentDirectoryW(0, nullptr);
    if (size == 0) {
        win32::Fail();
        return std::string();
    }
    std::wstring out(size, L'\0');
    DWORD n = GetCurrentDirectoryW(size, out.data());
    if (n == 0 || n >= size) {
        win32::Fail();
        return std::string();
    }
    out.resize(n);
    return win32::Narrow(out);
}

}  // namespace qor::platform
