// Clocks, entropy records, programs, libraries and the environment.
#include <gtest/gtest.h>
#include <qor/platform/files.h>
#include <qor/platform/system.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <thread>
#include <vector>

#include "temp_folder.h"

namespace {

using namespace qor::platform;

uint32_t Get32(const uint8_t* at) {
    return uint32_t{at[0]} | uint32_t{at[1]} << 8 | uint32_t{at[2]} << 16 | uint32_t{at[3]} << 24;
}

TEST(System, Clocks) {
    const uint32_t before = TickCount();
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    const uint32_t elapsed = TickCount() - before;  // modular, so a wrap in between is harmless
    EXPECT_GE(elapsed, 25u);
    EXPECT_LT(elapsed, 10000u);

    const int64_t now = static_cast<int64_t>(std::time(nullptr));
    EXPECT_LE(std::abs(CalendarSeconds() - now), 2);
    SetCalendarClockForTesting([]() -> int64_t { return 1234567890; });
    EXPECT_EQ(CalendarSeconds(), 1234567890);
    SetCalendarClockForTesting(nullptr);
    EXPECT_LE(std::abs(CalendarSeconds() - now), 2);
}

TEST(System, EntropySources) {
    uint8_t memory[32];
    std::fill(std::begin(memory), std::end(memory), 0xee);
    MemoryStatusRecord(memory);
    EXPECT_EQ(Get32(memory), 32u);                     // dwLength
    EXPECT_LE(Get32(memory + 4), 100u);                // dwMemoryLoad, a percentage
    EXPECT_GT(Get32(memory + 8), 0u);                  // dwTotalPhys
    EXPECT_LE(Get32(memory + 12), Get32(memory + 8));  // available within total

    uint8_t info[36];
    std::fill(std::begin(info), std::end(info), 0xee);
    SystemInfoRecord(info);
    const uint32_t page = Get32(info + 4);
    EXPECT_GE(page, 4096u);
    EXPECT_EQ(page & (page - 1), 0u);   // a power of two
    EXPECT_GE(Get32(info + 20), 1u);    // dwNumberOfProcessors
    EXPECT_GE(Get32(info + 28), page);  // dwAllocationGranularity

    // Every byte asked for is filled, also where the source answers in parts.
    std::vector<uint8_t> a(100000, 0), b(64, 0);
    ASSERT_TRUE(OsRandom(a.data(), a.size()));
    ASSERT_TRUE(OsRandom(b.data(), b.size()));
    EXPECT_TRUE(OsRandom(nullptr, 0));
    EXPECT_NE(std::vector<uint8_t>(a.end() - 64, a.end()), std::vector<uint8_t>(64, 0));
    EXPECT_NE(std::vector<uint8_t>(a.begin(), a.begin() + 64), b);
    EXPECT_NE(b, std::vector<uint8_t>(64, 0));
}

TEST(System, Libraries) {
    EXPECT_EQ(LoadLibrary("qor-no-such-library-7f3a"), nullptr);
    EXPECT_EQ(LastError(), 126u);  // ERROR_MOD_NOT_FOUND
#ifdef _WIN32
    const char* const library = "kernel32.dll";
    const char* const symbol = "GetTickCount";
#else
    const char* const library = "libc.so.6";
    const char* const symbol = "getpid";
#endif
    LibraryHandle handle = LoadLibrary(library);
    ASSERT_NE(handle, nullptr);
    EXPECT_NE(LibrarySymbol(handle, symbol), nullptr);
    EXPECT_EQ(LibrarySymbol(handle, "qor_no_such_symbol"), nullptr);
    EXPECT_EQ(LastError(), 127u);  // ERROR_PROC_NOT_FOUND
    EXPECT_EQ(LibrarySymbol(nullptr, symbol), nullptr);
    EXPECT_EQ(LastError(), kErrorInvalidHandle);
    FreeLibrary(handle);
    FreeLibrary(nullptr);
}

TEST(System, ProgramsAndEnvironment) {
    qor::test::TempFolder dir;
    EXPECT_FALSE(StartProgram(dir / "no-such-program"));
    EXPECT_EQ(LastError(), kErrorFileNotFound);

#ifndef _WIN32
    // The argument text is split as a Windows program would split its command line: quotes
    // group words, \" is a quote inside them.
    const std::string out = dir / "out.txt";
    ASSERT_TRUE(StartProgram("/bin/sh", "-c \"printf '%s|%s' \\\"$1\\\" \\\"$2\\\" > " + out +
                                            ".tmp && mv " + out + ".tmp " + out +
                                            "\" sh \"two words\" "
                                            "a\\\\b"));
    std::string text;
    for (int i = 0; i < 500 && text.empty(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        text = qor::test::ReadText(out);
    }
    EXPECT_EQ(text, "two words|a\\\\b");

    // A started program may run for the whole session: it holds none of this process's
    // terminal or pipes (a test runner would wait for them to close).
    const std::string fds = dir / "fds.txt";
    // (Read before the redirection of the last command, which the shell may apply to itself.)
    ASSERT_TRUE(StartProgram("/bin/sh",
                             "-c \"a=$(readlink /proc/$$/fd/0); "
                             "b=$(readlink /proc/$$/fd/1); c=$(readlink /proc/$$/fd/2); "
                             "echo $a $b $c > " +
                                 fds + ".tmp && mv " + fds + ".tmp " + fds + "\""));
    std::string links;
    for (int i = 0; i < 500 && links.empty(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        links = qor::test::ReadText(fds);
    }
    EXPECT_EQ(links, "/dev/null /dev/null /dev/null\n");

    // RunProgram waits: the file is there as soon as it returns, and so is the exit status; a
    // program not found along the PATH is -1.
    const std::string waited = dir / "waited.txt";
    EXPECT_EQ(RunProgram("sh", "-c \"echo done > " + waited + "; exit 3\""), 3);
    EXPECT_EQ(qor::test::ReadText(waited), "done\n");
    EXPECT_EQ(RunProgram("qor-no-such-program-7f3a", "x"), -1);
    EXPECT_EQ(RunProgram(dir / "no-such-program"), -1);
    EXPECT_EQ(LastError(), kErrorFileNotFound);

    setenv("QOR_PLATFORM_TEST_VARIABLE", "value = x", 1);
#else
    _putenv_s("QOR_PLATFORM_TEST_VARIABLE", "value = x");
#endif
    EXPECT_EQ(EnvironmentVariable("QOR_PLATFORM_TEST_VARIABLE"), "value = x");
    EXPECT_EQ(EnvironmentVariable("QOR_PLATFORM_TEST_UNSET_7f3a"), "");
}

}  // namespace
