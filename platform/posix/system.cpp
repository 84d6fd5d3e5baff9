// Clocks, entropy records, programs and libraries on Linux.
#include <dlfcn.h>
#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <spawn.h>
#include <sys/random.h>
#include <sys/resource.h>
#include <sys/sysinfo.h>
#include <sys/wait.h>
#include <unistd.h>

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#endif

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <vector>

#include "qor/platform/files.h"
#include "qor/platform/system.h"

namespace qor::platform {

namespace posix {  // defined in files.cpp
bool FailWith(uint32_t error);
uint32_t ErrorFromErrno(int err, const std::string& path);
}  // namespace posix

namespace {

// Windows' numbers for a module or an exported name that is not there (ERROR_MOD_NOT_FOUND,
// ERROR_PROC_NOT_FOUND), so that callers see the same on both platforms.
constexpr uint32_t kModuleNotFound = 126;
constexpr uint32_t kProcedureNotFound = 127;

std::atomic<ClockFunction> g_clock{nullptr};

// The records keep the 32-bit Win32 structures' layout, little-endian, so that the bytes mixed
// into the seed have one shape everywhere.
void Put16(uint8_t* at, uint32_t value) {
    at[0] = static_cast<uint8_t>(value);
    at[1] = static_cast<uint8_t>(value >> 8);
}

void Put32(uint8_t* at, uint32_t value) {
    for (int i = 0; i < 4; ++i)
        at[i] = static_cast<uint8_t>(value >> (8 * i));
}

uint32_t Saturate32(uint64_t value) {
    return value > 0xffffffffu ? 0xffffffffu : static_cast<uint32_t>(value);
}

// The processor as GetSystemInfo names it: PROCESSOR_ARCHITECTURE_*, PROCESSOR_* type numbers,
// and on x86 the family as level and model/stepping as revision.
struct Processor {
    uint32_t architecture = 0xffff;  // unknown
    uint32_t type = 0;
    uint32_t level = 0;
    uint32_t revision = 0;
};

Processor ThisProcessor() {
    Processor p;
#if defined(__x86_64__) || defined(__i386__)
#if defined(__x86_64__)
    p.architecture = 9;  // AMD64
    p.type = 8664;
#else
    p.architecture = 0;  // INTEL
    p.type = 586;
#endif
    unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
    if (__get_cpuid(1, &eax, &ebx, &ecx, &edx)) {
        unsigned family = (eax >> 8) & 0xf;
        unsigned model = (eax >> 4) & 0xf;
        if (family == 0xf) family += (eax >> 20) & 0xff;
        if (family >= 6) model |= ((eax >> 16) & 0xf) << 4;
        p.level = family;
        p.revision = (model << 8) | (eax & 0xf);
    }
#elif defined(__aarch64__)
    p.architecture = 12;  // ARM64
#elif defined(__arm__)
    p.architecture = 5;  // ARM
#endif
    return p;
}

// WinExec hands its command line to the program, which splits it by the C runtime's rules:
// blanks separate, double quotes group, backslashes are literal except before a quote.
std::vector<std::string> SplitCommandLine(const std::string& line) {
    std::vector<std::string> words;
    std::string word;
    bool inWord = false;
    bool quoted = false;
    for (size_t i = 0; i < line.size();) {
        char c = line[i];
        if (!quoted && (c == ' ' || c == '\t')) {
            if (inWord) words.push_back(std::move(word));
            word.clear();
            inWord = false;
            ++i;
            continue;
        }
        inWord = true;
        if (c == '\\') {
            size_t count = 0;
            while (i < line.size() && line[i] == '\\') {
                ++count;
                ++i;
            }
            if (i < line.size() && line[i] == '"') {
                word.append(count / 2, '\\');
                if (count % 2 == 1) {
                    word.push_back('"');
                    ++i;
                }
            } else {
                word.append(count, '\\');
            }
            continue;
        }
        if (c == '"') {
            if (quoted && i + 1 < line.size() && line[i + 1] == '"') {
                word.push_back('"');
                i += 2;
                continue;
            }
            quoted = !quoted;
            ++i;
            continue;
        }
        word.push_back(c);
        ++i;
    }
    if (inWord) words.push_back(std::move(word));
    return words;
}

void* Open(const std::string& path) {
    return dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
}

}  // namespace

uint32_t TickCount() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    uint64_t ms =
        static_cast<uint64_t>(now.tv_sec) * 1000u + static_cast<uint64_t>(now.tv_nsec) / 1000000u;
    return static_cast<uint32_t>(ms);  // wraps at 2^32 as GetTickCount does
}

int64_t CalendarSeconds() {
    ClockFunction clock = g_clock.load();
    if (clock) return clock();
    return static_cast<int64_t>(std::time(nullptr));
}

void SetCalendarClockForTesting(ClockFunction clock) {
    g_clock.store(clock);
}

void MemoryStatusRecord(uint8_t record[32]) {
    struct sysinfo info {};
    sysinfo(&info);
    const uint64_t unit = info.mem_unit ? info.mem_unit : 1;
    const uint64_t totalPhys = uint64_t{info.totalram} * unit;
    // Buffers are given back on demand, as Windows counts its standby pages available.
    const uint64_t availPhys = (uint64_t{info.freeram} + info.bufferram) * unit;
    const uint64_t totalPage = (uint64_t{info.totalram} + info.totalswap) * unit;
    const uint64_t availPage = (uint64_t{info.freeram} + info.bufferram + info.freeswap) * unit;
    // The address space a program may use: its limit, or the 47 bits of a user space.
    uint64_t totalVirtual = uint64_t{1} << 47;
    rlimit limit{};
    if (getrlimit(RLIMIT_AS, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY) {
        totalVirtual = limit.rlim_cur;
    }
    const uint32_t load =
        totalPhys == 0 ? 0 : static_cast<uint32_t>((totalPhys - availPhys) * 100 / totalPhys);

    Put32(record + 0, 32);  // dwLength
    Put32(record + 4, load);
    Put32(record + 8, Saturate32(totalPhys));
    Put32(record + 12, Saturate32(availPhys));
    Put32(record + 16, Saturate32(totalPage));
    Put32(record + 20, Saturate32(availPage));
    Put32(record + 24, Saturate32(totalVirtual));
    Put32(record + 28, Saturate32(totalVirtual));
}

void SystemInfoRecord(uint8_t record[36]) {
    const Processor processor = ThisProcessor();
    long pageSize = sysconf(_SC_PAGESIZE);
    if (pageSize <= 0) pageSize = 4096;
    long count = sysconf(_SC_NPROCESSORS_ONLN);
    if (count <= 0) count = 1;
    uint32_t mask = 0;
    cpu_set_t set;
    CPU_ZERO(&set);
    if (sched_getaffinity(0, sizeof set, &set) == 0) {
        for (int cpu = 0; cpu < 32; ++cpu) {
            if (CPU_ISSET(cpu, &set)) mask |= uint32_t{1} << cpu;
        }
    }
    const uint64_t page = static_cast<uint64_t>(pageSize);

    Put16(record + 0, processor.architecture);
    Put16(record + 2, 0);                            // wReserved
    Put32(record + 4, static_cast<uint32_t>(page));  // dwPageSize
    Put32(record + 8, 0x10000);                      // lowest address a program gets
    Put32(record + 12, static_cast<uint32_t>(((uint64_t{1} << 47) - page - 1) & 0xffffffffu));
    Put32(record + 16, mask);                          // dwActiveProcessorMask
    Put32(record + 20, static_cast<uint32_t>(count));  // dwNumberOfProcessors
    Put32(record + 24, processor.type);
    Put32(record + 28, static_cast<uint32_t>(page));  // mappings are made page by page here
    Put16(record + 32, processor.level);
    Put16(record + 34, processor.revision);
}

bool OsRandom(uint8_t* out, size_t length) {
    while (length > 0) {
        // Large requests may be answered in parts, and a signal may cut one short.
        ssize_t n = getrandom(out, length, 0);
        if (n < 0) {
            if (errno == EINTR) continue;
            return posix::FailWith(kErrorGeneric);
        }
        out += n;
        length -= static_cast<size_t>(n);
    }
    return true;
}

namespace {

// Starts the program; its process number, or 0 with the error recorded.
pid_t Spawn(const std::string& path, const std::string& arguments) {
    std::vector<std::string> words = SplitCommandLine(arguments);
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(path.c_str()));
    for (std::string& word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);

    // The program starts with no blocked and no ignored signals, whatever this one set up.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &all);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

    // The program may outlive this one (the AutoCrypt start-up program runs for the session): it
    // gets none of this process's terminal or pipes, which would otherwise stay open while it runs.
    posix_spawn_file_actions_t files;
    posix_spawn_file_actions_init(&files);
    for (int fd = 0; fd <= 2; ++fd)
        posix_spawn_file_actions_addopen(&files, fd, "/dev/null", fd == 0 ? O_RDONLY : O_WRONLY, 0);

    pid_t pid = 0;
    const bool searched = path.find('/') == std::string::npos;
    int rc = searched ? posix_spawnp(&pid, path.c_str(), &files, &attributes, argv.data(), environ)
                      : posix_spawn(&pid, path.c_str(), &files, &attributes, argv.data(), environ);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&files);
    if (rc != 0) {
        posix::FailWith(posix::ErrorFromErrno(rc, path));
        return 0;
    }
    return pid;
}

}  // namespace

bool StartProgram(const std::string& path, const std::string& arguments) {
    // Not waited for, as WinExec does not wait. The product's programs are short-lived, so the
    // finished child is reaped once this process exits rather than by a SIGCHLD handler that
    // would change the whole process's behaviour.
    return Spawn(path, arguments) != 0;
}

int RunProgram(const std::string& path, const std::string& arguments) {
    const pid_t pid = Spawn(path, arguments);
    if (pid == 0) return -1;
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) return -1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

LibraryHandle LoadLibrary(const std::string& name) {
    void* library = nullptr;
    if (name.find('/') == std::string::npos) {
        // The program's own folder first, so that the library installed beside it wins.
        std::string folder = ProgramFolder();
        if (!folder.empty()) library = Open(folder + "/" + name);
    }
    if (!library) library = Open(name);
    if (!library) posix::FailWith(kModuleNotFound);
    return library;
}

void* LibrarySymbol(LibraryHandle library, const char* name) {
    if (!library) {
        posix::FailWith(kErrorInvalidHandle);
        return nullptr;
    }
    void* symbol = dlsym(library, name);
    if (!symbol) posix::FailWith(kProcedureNotFound);
    return symbol;
}

std::string LibraryPathOf(const void* address) {
    Dl_info info{};
    if (dladdr(address, &info) == 0 || info.dli_fname == nullptr) return std::string();
    char* real = realpath(info.dli_fname, nullptr);
    if (real == nullptr) return info.dli_fname;
    std::string path(real);
    free(real);
    return path;
}

void FreeLibrary(LibraryHandle library) {
    if (library) dlclose(library);
}

std::string EnvironmentVariable(const std::string& name) {
    const char* value = std::getenv(name.c_str());
    return value ? std::string(value) : std::string();
}

}  // namespace qor::platform
