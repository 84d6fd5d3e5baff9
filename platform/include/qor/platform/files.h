// Files, folders and names, with the semantics of the Win32 calls the product was designed on:
// open dispositions and sharing, Win32 error numbers, attribute bits, wildcard search. Paths are
// UTF-8 text with the platform's own separator.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace qor::platform {

#ifdef _WIN32
inline constexpr char kSeparator = '\\';
#else
inline constexpr char kSeparator = '/';
#endif
// Paths keep the 260-character limit (terminator included) on both platforms.
inline constexpr size_t kMaxPath = 260;

// Win32 error numbers the product tells apart; other failures map to the closest of these.
enum Error : uint32_t {
    kErrorNone = 0,
    kErrorFileNotFound = 2,
    kErrorPathNotFound = 3,
    kErrorAccessDenied = 5,
    kErrorInvalidHandle = 6,
    kErrorNotEnoughMemory = 8,
    kErrorWriteProtect = 19,
    kErrorSharingViolation = 32,
    kErrorHandleEof = 38,
    kErrorHandleDiskFull = 39,
    kErrorNotSupported = 50,
    kErrorFileExists = 80,
    kErrorInvalidParameter = 87,
    kErrorDiskFull = 112,
    kErrorInvalidName = 123,
    kErrorAlreadyExists = 183,
    kErrorGeneric = 31,
};

// The error of the calling thread's last failed platform call (GetLastError).
uint32_t LastError();

enum Access : uint32_t { kAccessRead = 1, kAccessWrite = 2 };
// Sharing granted to other openers while this handle is open. kShareNone locks the file: on
// Linux an exclusive advisory lock, and "in use" is that lock failing.
enum Share : uint32_t { kShareNone = 0, kShareRead = 1, kShareWrite = 2 };
// CreateFile's dispositions, with their values.
enum Disposition : uint32_t {
    kCreateNew = 1,         // fails with kErrorFileExists when the file exists
    kCreateAlways = 2,      // creates or truncates
    kOpenExisting = 3,      // fails with kErrorFileNotFound when it does not exist
    kOpenAlways = 4,        // opens or creates
    kTruncateExisting = 5,  // opens and truncates; fails when it does not exist
};

// Attribute bits (FILE_ATTRIBUTE_*). On Linux: read-only = the owner has no write permission;
// hidden = the name begins with "."; system = neither a regular file nor a folder, and every
// symbolic link; archive is reported for every regular file.
enum Attribute : uint32_t {
    kAttrReadOnly = 0x01,
    kAttrHidden = 0x02,
    kAttrSystem = 0x04,
    kAttrDirectory = 0x10,
    kAttrArchive = 0x20,
    kAttrNormal = 0x80,
};
inline constexpr uint32_t kInvalidAttributes = 0xffffffffu;

// Times in 100-ns units since 1601-01-01 (FILETIME). Creation time is read where the system
// keeps it and never set on Linux.
struct FileTimes {
    uint64_t creation = 0;
    uint64_t lastAccess = 0;
    uint64_t lastWrite = 0;
};

class File {
  public:
    File();
    ~File();
    File(File&& other) noexcept;
    File& operator=(File&& other) noexcept;
    File(const File&) = delete;
    File& operator=(const File&) = delete;

    // CreateFile. `attributes` applies when a file is created (kAttrNormal, or read-only).
    // On failure the result is not open and *error (if given) and LastError() say why.
    static File Open(const std::string& path, uint32_t access, uint32_t share,
                     Disposition disposition, uint32_t attributes = kAttrNormal,
                     uint32_t* error = nullptr);

    bool IsOpen() const;
    // Reads up to `size` bytes; *got is 0 at the end of the file.
    bool Read(void* buffer, uint32_t size, uint32_t* got);
    // Writes all `size` bytes or fails (a short write is a failure: kErrorDiskFull when the
    // medium is full).
    bool Write(const void* data, uint32_t size);
    bool Size(uint64_t* size) const;
    bool Seek(uint64_t offset);
    bool SetEnd();  // truncates at the current position
    // Flushes the file's data to the medium (FlushFileBuffers / fsync).
    bool Flush();
    // Hints that change no byte of the file and may do nothing at all: the file is about to be
    // read from start to end (read ahead generously); the `length` bytes written from `offset`
    // on may go to the medium now, without waiting for them, so that a later Flush finds
    // little left to do (length 0: everything from `offset` on); the `length` bytes from
    // `offset` on will not be read again, so the system may give up its cached copy of them
    // (length 0: everything from `offset` on; bytes written and not yet on the medium stay).
    void AdviseSequential();
    void StartWriteBack(uint64_t offset, uint64_t length);
    void AdviseDone(uint64_t offset, uint64_t length);
    bool GetTimes(FileTimes* times) const;
    bool SetTimes(const FileTimes& times);
    void Close();

  private:
    friend bool FlushFiles(const std::vector<File*>& files);
    struct Handle;
    std::unique_ptr<Handle> handle_;
};

// OpenFile with OF_EXIST: true when a file or folder of that name exists.
bool Exists(const std::string& path);
bool DeleteFile(const std::string& path);
// MoveFile: never replaces an existing file (kErrorAlreadyExists).
bool MoveFile(const std::string& from, const std::string& to);
// Renames `from` over `to`, replacing it in one step (rename / MoveFileEx with
// MOVEFILE_REPLACE_EXISTING and MOVEFILE_WRITE_THROUGH): for files the product rewrites whole.
bool ReplaceFile(const std::string& from, const std::string& to);
bool CreateDirectory(const std::string& path);
bool RemoveDirectory(const std::string& path);
// MoveFileEx with MOVEFILE_DELAY_UNTIL_REBOOT and no target: the file (or empty folder) goes at
// the next start of Windows, for what a running program holds open now (an administrator's
// right). Linux deletes what is in use at once and never needs it: false (50, not supported).
bool DeleteAtRestart(const std::string& path);
uint32_t GetAttributes(const std::string& path);
bool SetAttributes(const std::string& path, uint32_t attributes);
// Who may read and write a file beyond its attributes: the permission bits on Linux (0 when the
// file cannot be examined), 0 on Windows, where a file takes its folder's access control. A file
// that replaces another takes them over, so that encrypting and decrypting a file never lets
// anyone read it who could not read it before. Setting 0 changes nothing; links are left alone.
uint32_t GetPermissions(const std::string& path);
bool SetPermissions(const std::string& path, uint32_t permissions);
// Makes a rename or deletion inside `folder` durable (fsync of the folder; nothing on Windows,
// where the file system orders metadata itself).
bool FlushFolder(const std::string& folder);
// Flushes every one of `files` as File::Flush does, waiting for the medium as few times as the
// system allows: on Linux a group of files costs one flush of each file system they are on.
// False when any of them could not be flushed; the caller learns which by flushing them one
// by one.
bool FlushFiles(const std::vector<File*>& files);
// GetDiskFreeSpace for the volume that holds `path`, as bytes.
bool FreeSpace(const std::string& path, uint64_t* bytes);

// FindFirstFile/FindNextFile. The pattern's last component may hold * and ? with Windows rules
// ("*.*" matches every name, with or without a dot); "." and ".." are reported for folders as
// Windows reports them. Links are never followed.
struct FindData {
    std::string name;
    // The 8.3 alias Windows keeps for a long name; empty when the name needs none, and always on
    // Linux, where no such alias exists.
    std::string shortName;
    uint32_t attributes = 0;
    uint64_t size = 0;
    FileTimes times;
};

class Finder {
  public:
    Finder();
    ~Finder();
    Finder(const Finder&) = delete;
    Finder& operator=(const Finder&) = delete;
    // False (LastError kErrorFileNotFound / kErrorPathNotFound) when nothing matches.
    bool First(const std::string& pattern, FindData* data);
    bool Next(FindData* data);
    void Close();

  private:
    struct State;
    std::unique_ptr<State> state_;
};

// The Windows folder (GetWindowsDirectory); on Linux "/usr".
std::string WindowsFolder();
// True when `path` lies inside the Windows folder; on Linux inside any of the system folders
// /usr /etc /bin /sbin /lib /lib64 /boot /dev /proc /sys /run /var (whole path components).
bool IsInsideSystemFolder(const std::string& path);
// The folder of the running program, without a trailing separator.
std::string ProgramFolder();
// The process's current folder (GetCurrentDirectory); empty when it cannot be read (a folder
// removed under the process).
std::string CurrentFolder();

}  // namespace qor::platform
