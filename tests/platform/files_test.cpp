// Files and folders with Win32 semantics on both platforms: dispositions and sharing with their
// error numbers, handle operations, times, attributes, renames that never replace, wildcard
// search, and the system-folder test.
#include <gtest/gtest.h>
#include <qor/platform/files.h>

#include <algorithm>
#include <set>

#include "temp_folder.h"

namespace {

using namespace qor::platform;
using qor::test::ReadText;
using qor::test::TempFolder;
using qor::test::WriteText;

// Windows' numbers beyond the list in files.h that both platforms report.
constexpr uint32_t kNoMoreFiles = 18;
constexpr uint32_t kDirNotEmpty = 145;
constexpr uint32_t kNotAFolder = 267;

constexpr uint32_t kReadWrite = kAccessRead | kAccessWrite;

File OpenOrFail(const std::string& path, uint32_t access, uint32_t share, Disposition disposition,
                uint32_t* error) {
    return File::Open(path, access, share, disposition, kAttrNormal, error);
}

TEST(Files, DispositionsAndTheirErrors) {
    TempFolder dir;
    const std::string path = dir / "f.bin";
    uint32_t error = 12345;

    File f = OpenOrFail(path, kReadWrite, kShareNone, kOpenExisting, &error);
    EXPECT_FALSE(f.IsOpen());
    EXPECT_EQ(error, kErrorFileNotFound);
    EXPECT_EQ(LastError(), kErrorFileNotFound);
    f = OpenOrFail(dir / "missing" + kSeparator + "f.bin", kAccessRead, kShareRead, kOpenExisting,
                   &error);
    EXPECT_EQ(error, kErrorPathNotFound);
    f = OpenOrFail(dir / "missing" + kSeparator + "f.bin", kReadWrite, kShareNone, kCreateNew,
                   &error);
    EXPECT_EQ(error, kErrorPathNotFound);
    f = OpenOrFail(path, kReadWrite, kShareNone, kTruncateExisting, &error);
    EXPECT_EQ(error, kErrorFileNotFound);

    f = OpenOrFail(path, kReadWrite, kShareNone, kCreateNew, &error);
    ASSERT_TRUE(f.IsOpen());
    EXPECT_EQ(error, kErrorNone);
    ASSERT_TRUE(f.Write("0123456789", 10));
    f.Close();
    EXPECT_FALSE(f.IsOpen());

    f = OpenOrFail(path, kReadWrite, kShareNone, kCreateNew, &error);
    EXPECT_FALSE(f.IsOpen());
    EXPECT_EQ(error, kErrorFileExists);
    EXPECT_EQ(LastError(), kErrorFileExists);

    uint64_t size = 0;
    f = OpenOrFail(path, kAccessRead, kShareRead, kOpenAlways, &error);
    ASSERT_TRUE(f.Size(&size));
    EXPECT_EQ(size, 10u);  // kept
    // The next open is made while `f` still holds the file: close it first.
    f.Close();
    f = OpenOrFail(path, kReadWrite, kShareNone, kTruncateExisting, &error);
    ASSERT_TRUE(f.Size(&size));
    EXPECT_EQ(size, 0u);
    ASSERT_TRUE(f.Write("abc", 3));
    f.Close();
    f = OpenOrFail(path, kAccessWrite, kShareNone, kCreateAlways, &error);
    ASSERT_TRUE(f.Size(&size));
    EXPECT_EQ(size, 0u);
    f = OpenOrFail(dir / "new.bin", kAccessWrite, kShareNone, kOpenAlways, &error);
    EXPECT_TRUE(f.IsOpen());
    EXPECT_TRUE(Exists(dir / "new.bin"));

    // CreateFile opens no folders.
    f = OpenOrFail(dir.path(), kAccessRead, kShareRead, kOpenExisting, &error);
    EXPECT_FALSE(f.IsOpen());
    EXPECT_EQ(error, kErrorAccessDenied);
}

TEST(Files, SharingNoneLocksOthersOut) {
    TempFolder dir;
    const std::string path = dir / "locked.bin";
    WriteText(path, "keep me");
    uint32_t error = 0;

    File holder = OpenOrFail(path, kReadWrite, kShareNone, kOpenExisting, &error);
    ASSERT_TRUE(holder.IsOpen());
    File other = OpenOrFail(path, kAccessRead, kShareRead | kShareWrite, kOpenExisting, &error);
    EXPECT_FALSE(other.IsOpen());
    EXPECT_EQ(error, kErrorSharingViolation);
    other = OpenOrFail(path, kReadWrite, kShareNone, kOpenExisting, &error);
    EXPECT_EQ(error, kErrorSharingViolation);
    // Refused before anything is truncated.
    other = OpenOrFail(path, kAccessWrite, kShareNone, kCreateAlways, &error);
    EXPECT_EQ(error, kErrorSharingViolation);
    EXPECT_FALSE(DeleteFile(path));
    EXPECT_EQ(LastError(), kErrorSharingViolation);
    EXPECT_FALSE(MoveFile(path, dir / "moved.bin"));
    EXPECT_EQ(LastError(), kErrorSharingViolation);
    uint64_t size = 0;
    ASSERT_TRUE(holder.Size(&size));
    EXPECT_EQ(size, 7u);

    // Readers that share reading admit each other, and together keep out an exclusive opener.
    holder.Close();
    File reader1 = OpenOrFail(path, kAccessRead, kShareRead, kOpenExisting, &error);
    File reader2 = OpenOrFail(path, kAccessRead, kShareRead, kOpenExisting, &error);
    EXPECT_TRUE(reader1.IsOpen());
    EXPECT_TRUE(reader2.IsOpen());
    other = OpenOrFail(path, kAccessRead, kShareNone, kOpenExisting, &error);
    EXPECT_EQ(error, kErrorSharingViolation);
    reader1.Close();
    reader2 = File();  // closing by assignment releases as well
    other = OpenOrFail(path, kReadWrite, kShareNone, kOpenExisting, &error);
    EXPECT_TRUE(other.IsOpen());

    // The lock travels with a moved handle.
    File moved = std::move(other);
    EXPECT_FALSE(other.IsOpen());
    File again = OpenOrFail(path, kAccessRead, kShareRead, kOpenExisting, &error);
    EXPECT_EQ(error, kErrorSharingViolation);
}

TEST(Files, ReadWriteSeekAndTruncate) {
    TempFolder dir;
    const std::string path = dir / "data.bin";
    File f = File::Open(path, kReadWrite, kShareNone, kCreateNew);
    ASSERT_TRUE(f.IsOpen());
    ASSERT_TRUE(f.Write("hello world", 11));
    ASSERT_TRUE(f.Write("", 0));

    char buffer[16] = {};
    uint32_t got = 99;
    ASSERT_TRUE(f.Seek(6));
    ASSERT_TRUE(f.Read(buffer, sizeof buffer, &got));
    EXPECT_EQ(std::string(buffer, got), "world");
    ASSERT_TRUE(f.Read(buffer, sizeof buffer, &got));
    EXPECT_EQ(got, 0u);  // end of file

    ASSERT_TRUE(f.Seek(5));
    ASSERT_TRUE(f.SetEnd());
    uint64_t size = 0;
    ASSERT_TRUE(f.Size(&size));
    EXPECT_EQ(size, 5u);
    // Writing past the end fills the gap with zeros.
    ASSERT_TRUE(f.Seek(8));
    ASSERT_TRUE(f.Write("!", 1));
    ASSERT_TRUE(f.Flush());
    f.Close();
    EXPECT_EQ(ReadText(path), std::string("hello\0\0\0!", 9));

    // A handle without the access fails with access denied; a closed one is invalid.
    f = File::Open(path, kAccessRead, kShareRead, kOpenExisting);
    EXPECT_FALSE(f.Write("x", 1));
    EXPECT_EQ(LastError(), kErrorAccessDenied);
    f.Close();
    f = File::Open(path, kAccessWrite, kShareRead, kOpenExisting);
    EXPECT_FALSE(f.Read(buffer, 1, &got));
    EXPECT_EQ(LastError(), kErrorAccessDenied);
    f.Close();
    EXPECT_FALSE(f.Read(buffer, 1, &got));
    EXPECT_EQ(LastError(), kErrorInvalidHandle);
    EXPECT_FALSE(f.Write("x", 1));
    EXPECT_EQ(LastError(), kErrorInvalidHandle);
    EXPECT_FALSE(f.Size(&size));
    EXPECT_EQ(LastError(), kErrorInvalidHandle);
}

TEST(Files, TimesSetAndReadBack) {
    TempFolder dir;
    const std::string path = dir / "t.bin";
    File f = File::Open(path, kReadWrite, kShareNone, kCreateNew);
    ASSERT_TRUE(f.IsOpen());
    // 2001-02-03 04:05:06.1234567 and 1999-12-31 23:59:59 UTC as FILETIMEs.
    const uint64_t write = (981173106ull + 11644473600ull) * 10000000ull + 1234567ull;
    const uint64_t access = (946684799ull + 11644473600ull) * 10000000ull;
    FileTimes set;
    set.lastWrite = write;
    set.lastAccess = access;
    ASSERT_TRUE(f.SetTimes(set));
    FileTimes got;
    ASSERT_TRUE(f.GetTimes(&got));
    EXPECT_EQ(got.lastWrite / 10000000, write / 10000000);
    EXPECT_EQ(got.lastAccess / 10000000, access / 10000000);
#ifndef _WIN32
    EXPECT_EQ(got.lastWrite, write);
    EXPECT_EQ(got.lastAccess, access);
#endif

    // A zero time leaves that time alone.
    FileTimes onlyWrite;
    onlyWrite.lastWrite = write + 10000000ull;
    ASSERT_TRUE(f.SetTimes(onlyWrite));
    ASSERT_TRUE(f.GetTimes(&got));
    EXPECT_EQ(got.lastWrite / 10000000, write / 10000000 + 1);
    EXPECT_EQ(got.lastAccess / 10000000, access / 10000000);
    f.Close();

    // The search reports the same times.
    Finder finder;
    FindData data;
    ASSERT_TRUE(finder.First(path, &data));
    EXPECT_EQ(data.times.lastWrite / 10000000, write / 10000000 + 1);
}

TEST(Files, Attributes) {
    TempFolder dir;
    const std::string file = dir / "plain.txt";
    File f = File::Open(file, kAccessWrite, kShareNone, kCreateNew);
    f.Close();
    uint32_t a = GetAttributes(file);
    EXPECT_NE(a & kAttrArchive, 0u);
    EXPECT_EQ(a & (kAttrDirectory | kAttrReadOnly | kAttrSystem), 0u);

    ASSERT_TRUE(SetAttributes(file, kAttrReadOnly));
    EXPECT_NE(GetAttributes(file) & kAttrReadOnly, 0u);
    // Windows deletes no read-only file.
    EXPECT_FALSE(DeleteFile(file));
    EXPECT_EQ(LastError(), kErrorAccessDenied);
    ASSERT_TRUE(SetAttributes(file, kAttrNormal));
    EXPECT_EQ(GetAttributes(file) & kAttrReadOnly, 0u);

    // Read-only given at creation.
    const std::string locked = dir / "locked.txt";
    f = File::Open(locked, kAccessWrite, kShareNone, kCreateNew, kAttrReadOnly);
    ASSERT_TRUE(f.IsOpen());
    EXPECT_TRUE(f.Write("still writable through this handle", 34));
    f.Close();
    EXPECT_NE(GetAttributes(locked) & kAttrReadOnly, 0u);

    const uint32_t folder = GetAttributes(dir.path());
    EXPECT_NE(folder & kAttrDirectory, 0u);

    EXPECT_EQ(GetAttributes(dir / "missing"), kInvalidAttributes);
    EXPECT_EQ(LastError(), kErrorFileNotFound);
    EXPECT_EQ(GetAttributes(dir / "missing" + kSeparator + "x"), kInvalidAttributes);
    EXPECT_EQ(LastError(), kErrorPathNotFound);

#ifndef _WIN32
    EXPECT_EQ(folder, static_cast<uint32_t>(kAttrDirectory));
    WriteText(dir / ".hidden", "x");
    EXPECT_EQ(GetAttributes(dir / ".hidden"), static_cast<uint32_t>(kAttrHidden | kAttrArchive));
    // Read-only takes every write bit away and gives back the owner's only.
    namespace fs = std::filesystem;
    const auto writeBits =
        fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write;
    fs::permissions(qor::test::FsPath(file), writeBits, fs::perm_options::add);
    ASSERT_TRUE(SetAttributes(file, kAttrReadOnly | kAttrHidden));
    EXPECT_EQ(fs::status(qor::test::FsPath(file)).permissions() & writeBits, fs::perms::none);
    ASSERT_TRUE(SetAttributes(file, kAttrNormal));
    EXPECT_EQ(fs::status(qor::test::FsPath(file)).permissions() & writeBits,
              fs::perms::owner_write);
    // A link is "system" and never a folder, whatever it points at; a walk does not follow it.
    fs::create_directory_symlink(qor::test::FsPath(dir.path()), qor::test::FsPath(dir / "link"));
    EXPECT_EQ(GetAttributes(dir / "link"), static_cast<uint32_t>(kAttrSystem));
#endif
}

TEST(Files, FoldersDeletionAndMoves) {
    TempFolder dir;
    const std::string sub = dir / "sub";
    ASSERT_TRUE(CreateDirectory(sub));
    EXPECT_FALSE(CreateDirectory(sub));
    EXPECT_EQ(LastError(), kErrorAlreadyExists);
    EXPECT_FALSE(CreateDirectory(dir / "no" + kSeparator + "sub"));
    EXPECT_EQ(LastError(), kErrorPathNotFound);
    EXPECT_TRUE(Exists(sub));
    EXPECT_TRUE(FlushFolder(sub));

    const std::string a = qor::test::Join(sub, "a.txt");
    const std::string b = qor::test::Join(sub, "b.txt");
    WriteText(a, "A");
    WriteText(b, "B");
    EXPECT_FALSE(RemoveDirectory(sub));
    EXPECT_EQ(LastError(), kDirNotEmpty);
    EXPECT_FALSE(RemoveDirectory(a));
    EXPECT_EQ(LastError(), kNotAFolder);
    EXPECT_FALSE(DeleteFile(sub));
    EXPECT_EQ(LastError(), kErrorAccessDenied);

    // MoveFile never replaces; it moves files and folders otherwise.
    EXPECT_FALSE(MoveFile(a, b));
    EXPECT_EQ(LastError(), kErrorAlreadyExists);
    EXPECT_EQ(ReadText(a), "A");
    EXPECT_EQ(ReadText(b), "B");
    EXPECT_FALSE(MoveFile(qor::test::Join(sub, "none"), dir / "x"));
    EXPECT_EQ(LastError(), kErrorFileNotFound);
    EXPECT_FALSE(MoveFile(a, dir / "no" + kSeparator + "a.txt"));
    EXPECT_EQ(LastError(), kErrorPathNotFound);
    ASSERT_TRUE(MoveFile(a, dir / "a.txt"));
    EXPECT_FALSE(Exists(a));
    EXPECT_EQ(ReadText(dir / "a.txt"), "A");
    ASSERT_TRUE(MoveFile(sub, dir / "moved"));
    EXPECT_EQ(ReadText(dir / "moved" + kSeparator + "b.txt"), "B");

    // ReplaceFile does replace, but not a read-only file.
    const std::string moved = dir / "moved" + kSeparator + "b.txt";
    ASSERT_TRUE(ReplaceFile(dir / "a.txt", moved));
    EXPECT_EQ(ReadText(moved), "A");
    EXPECT_FALSE(Exists(dir / "a.txt"));
    WriteText(dir / "c.txt", "C");
    ASSERT_TRUE(SetAttributes(moved, kAttrReadOnly));
    EXPECT_FALSE(ReplaceFile(dir / "c.txt", moved));
    EXPECT_EQ(LastError(), kErrorAccessDenied);
    EXPECT_EQ(ReadText(moved), "A");
    ASSERT_TRUE(SetAttributes(moved, kAttrNormal));

    EXPECT_TRUE(DeleteFile(moved));
    EXPECT_FALSE(Exists(moved));
    EXPECT_FALSE(DeleteFile(moved));
    EXPECT_EQ(LastError(), kErrorFileNotFound);
    EXPECT_TRUE(RemoveDirectory(dir / "moved"));
    EXPECT_FALSE(RemoveDirectory(dir / "moved"));
    EXPECT_EQ(LastError(), kErrorFileNotFound);

    uint64_t free = 0;
    ASSERT_TRUE(FreeSpace(dir / "c.txt", &free));
    EXPECT_GT(free, 0u);
}

std::set<std::string> FindAll(const std::string& pattern, uint32_t* error) {
    std::set<std::string> names;
    Finder finder;
    FindData data;
    if (!finder.First(pattern, &data)) {
        *error = LastError();
        return names;
    }
    do {
        names.insert(data.name);
    } while (finder.Next(&data));
    *error = LastError();
    return names;
}

TEST(Files, FinderUsesWindowsWildcards) {
    TempFolder dir;
    for (const char* name : {"a.txt", "b.txt", "abc", "abcd", "ac", "data.bin"}) {
        WriteText(dir / name, "12345");
    }
    ASSERT_TRUE(CreateDirectory(dir / "sub"));
    using Names = std::set<std::string>;
    const Names all = {".", "..", "a.txt", "b.txt", "abc", "abcd", "ac", "data.bin", "sub"};
    uint32_t error = 0;

    EXPECT_EQ(FindAll(dir / "*.*", &error), all);
    EXPECT_EQ(error, kNoMoreFiles);
    EXPECT_EQ(FindAll(dir / "*", &error), all);
    EXPECT_EQ(FindAll(dir / "*.txt", &error), (Names{"a.txt", "b.txt"}));
    EXPECT_EQ(FindAll(dir / "a?c", &error), (Names{"abc"}));
    EXPECT_EQ(FindAll(dir / "abcd", &error), (Names{"abcd"}));
    EXPECT_TRUE(FindAll(dir / "*.zip", &error).empty());
    EXPECT_EQ(error, kErrorFileNotFound);
    EXPECT_TRUE(FindAll(dir / "none", &error).empty());
    EXPECT_EQ(error, kErrorFileNotFound);
    EXPECT_TRUE(FindAll(dir / "none" + kSeparator + "*.*", &error).empty());
    EXPECT_EQ(error, kErrorPathNotFound);

    // What each entry reports.
    Finder finder;
    FindData data;
    ASSERT_TRUE(finder.First(dir / "sub", &data));
    EXPECT_EQ(data.name, "sub");
    EXPECT_NE(data.attributes & kAttrDirectory, 0u);
    EXPECT_FALSE(finder.Next(&data));
    EXPECT_EQ(LastError(), kNoMoreFiles);
    ASSERT_TRUE(finder.First(dir / "data.*", &data));
    EXPECT_EQ(data.name, "data.bin");
    EXPECT_EQ(data.size, 5u);
    EXPECT_NE(data.attributes & kAttrArchive, 0u);
    ASSERT_TRUE(finder.First(dir / "*.*", &data));
    bool sawDots = false;
    do {
        if (data.name == "." || data.name == "..") {
            EXPECT_NE(data.attributes & kAttrDirectory, 0u);
            sawDots = true;
        }
    } while (finder.Next(&data));
    EXPECT_TRUE(sawDots);

#ifndef _WIN32
    // The finer Windows rules, and case counts on Linux.
    EXPECT_EQ(FindAll(dir / "*.", &error), (Names{".", "..", "abc", "abcd", "ac", "sub"}));
    EXPECT_EQ(FindAll(dir / "abc.*", &error), (Names{"abc"}));
    EXPECT_EQ(FindAll(dir / "a??", &error), (Names{"abc", "ac"}));
    EXPECT_EQ(FindAll(dir / "*.t?t", &error), (Names{"a.txt", "b.txt"}));
    EXPECT_TRUE(FindAll(dir / "A.TXT", &error).empty());
    WriteText(dir / "x.txt.bak", "");
    WriteText(dir / "y.tar.txt", "");
    EXPECT_EQ(FindAll(dir / "*.txt", &error), (Names{"a.txt", "b.txt", "y.tar.txt"}));
#endif
}

TEST(Files, SystemAndProgramFolders) {
    TempFolder dir;
    EXPECT_FALSE(IsInsideSystemFolder(dir.path()));
    EXPECT_FALSE(IsInsideSystemFolder(""));
#ifdef _WIN32
    const std::string windows = WindowsFolder();
    EXPECT_TRUE(IsInsideSystemFolder(windows + "\\system32\\kernel32.dll"));
    EXPECT_FALSE(IsInsideSystemFolder(windows + "x\\y"));
#else
    EXPECT_EQ(WindowsFolder(), "/usr");
    EXPECT_TRUE(IsInsideSystemFolder("/usr/bin/x"));
    EXPECT_TRUE(IsInsideSystemFolder("/usr"));
    EXPECT_TRUE(IsInsideSystemFolder("/var/tmp/x"));
    EXPECT_TRUE(IsInsideSystemFolder("//etc//passwd"));
    EXPECT_TRUE(IsInsideSystemFolder("/home/../etc/x"));
    EXPECT_FALSE(IsInsideSystemFolder("/usrx/y"));
    EXPECT_FALSE(IsInsideSystemFolder("/usr/../home/x"));
    EXPECT_FALSE(IsInsideSystemFolder("/home/usr/bin"));
    EXPECT_FALSE(IsInsideSystemFolder("/"));
#endif
    const std::string program = ProgramFolder();
    ASSERT_FALSE(program.empty());
    EXPECT_NE(program.back(), kSeparator);
    EXPECT_NE(GetAttributes(program) & kAttrDirectory, 0u);
    EXPECT_NE(GetAttributes(program), kInvalidAttributes);
}

// New files are the owner's alone until their final permissions are given; the bits carry over
// to another file, links keep theirs, and 0 changes nothing. Windows has no such bits.
TEST(Files, PermissionsOfNewFilesAndTheirHandOver) {
    TempFolder dir;
    const std::string file = dir / "new.txt";
    ASSERT_TRUE(File::Open(file, kAccessWrite, kShareNone, kCreateNew).IsOpen());
#ifdef _WIN32
    EXPECT_EQ(GetPermissions(file), 0u);
    EXPECT_TRUE(SetPermissions(file, 0640));
#else
    EXPECT_EQ(GetPermissions(file), 0600u);
    EXPECT_TRUE(SetPermissions(file, 0640));
    EXPECT_EQ(GetPermissions(file), 0640u);
    EXPECT_TRUE(SetPermissions(file, 0));
    EXPECT_EQ(GetPermissions(file), 0640u);
    std::filesystem::create_symlink(file, dir / "link");
    EXPECT_EQ(GetPermissions(dir / "link"), 0u);
    EXPECT_TRUE(SetPermissions(dir / "link", 0777));
    EXPECT_EQ(GetPermissions(file), 0640u) << "a link's target keeps its bits";
    EXPECT_EQ(GetPermissions(dir / "missing"), 0u);
#endif
}

// The current folder as the process sees it, including one longer than a first guess at its
// length would hold.
TEST(Files, CurrentFolderFollowsTheProcess) {
    namespace fs = std::filesystem;
    TempFolder dir;
    const fs::path before = fs::current_path();
    fs::path deep = fs::u8path(dir.path());
#ifndef _WIN32
    for (int k = 0; k < 6; ++k)
        deep /= std::string(60, static_cast<char>('a' + k));
#endif
    fs::create_directories(deep);
    fs::current_path(deep);
    const std::string current = CurrentFolder();
    fs::current_path(before);
    EXPECT_TRUE(fs::equivalent(fs::u8path(current), deep)) << current;
    EXPECT_EQ(CurrentFolder(), before.string());
}

}  // namespace
