#include "replay/driver/os.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <cwctype>

#if defined(_WIN32)
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#else
#include <dlfcn.h>
#include <pthread.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace zt::replay::os {
namespace fs = std::filesystem;

namespace {

std::atomic<int> stopSignal{0};
static_assert(std::atomic<int>::is_always_lock_free, "the signal flag is set from a signal handler");

extern "C" void OnStopSignal(int signal) {
    int none = 0;
    stopSignal.compare_exchange_strong(none, signal);
#if defined(_WIN32)
    std::signal(signal, OnStopSignal);  // the runtime resets the handler before calling it
#endif
}

}  // namespace

std::string ErrorText(int error) { return std::strerror(error); }

int StopSignal() { return stopSignal.load(std::memory_order_relaxed); }

#if defined(_WIN32)

namespace {
std::string WindowsError(DWORD code) {
    char text[512] = {};
    const DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0,
                                   text, sizeof text, nullptr);
    std::string s(text, n);
    while (!s.empty() && (s.back() == '\n' || s.back() == '\r' || s.back() == ' ' || s.back() == '.')) s.pop_back();
    return s.empty() ? "error " + std::to_string(code) : s;
}
}  // namespace

int Duplicate(int fd) { return _dup(fd); }
bool Redirect(int from, int to) { return _dup2(from, to) == 0; }
void Close(int fd) { _close(fd); }
bool IsTerminal(int fd) { return _isatty(fd) != 0; }
void BinaryMode(int fd) {
    if (fd >= 0) _setmode(fd, _O_BINARY);
}
std::FILE* StreamOn(int fd) { return _fdopen(fd, "wb"); }

int OpenNullDevice() { return _open("NUL", _O_WRONLY | _O_BINARY); }

int OpenForReading(const fs::path& path, int& error) {
    const int fd = _wopen(path.c_str(), _O_RDONLY | _O_BINARY);
    error = fd < 0 ? errno : 0;
    return fd;
}

int CreateNew(const fs::path& path, int& error) {
    const int fd = _wopen(path.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _S_IREAD | _S_IWRITE);
    error = fd < 0 ? errno : 0;
    return fd;
}

int OpenForWriting(const fs::path& path, int& error) {
    const int fd = _wopen(path.c_str(), _O_WRONLY | _O_BINARY);
    error = fd < 0 ? errno : 0;
    return fd;
}

void CopyPermissions(const fs::path&, int) {}

long long Read(int fd, char* buffer, std::size_t size, int& error) {
    const int n = _read(fd, buffer, static_cast<unsigned>(size > INT_MAX ? INT_MAX : size));
    error = n < 0 ? errno : 0;
    return n;
}

bool WriteAll(int fd, const char* data, std::size_t size, int& error) {
    while (size > 0) {
        const int n = _write(fd, data, static_cast<unsigned>(size > (1u << 30) ? (1u << 30) : size));
        if (n < 0) {
            error = errno;
            if (error == EINTR && StopSignal() == 0) continue;
            return false;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

long long RegularFileSize(int fd) {
    struct _stat64 st {};
    if (_fstat64(fd, &st) != 0 || (st.st_mode & _S_IFMT) != _S_IFREG) return -1;
    return st.st_size;
}

bool Replace(const fs::path& from, const fs::path& to, std::string& message) {
    if (MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING)) return true;
    message = WindowsError(GetLastError());
    return false;
}

FileKey KeyOf(const fs::path& path) {
    const auto identify = [](const fs::path& p, FileKey& key) {
        const HANDLE h = CreateFileW(p.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                     OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        if (h == INVALID_HANDLE_VALUE) return false;
        BY_HANDLE_FILE_INFORMATION info{};
        const bool ok = GetFileInformationByHandle(h, &info) != 0;
        CloseHandle(h);
        if (ok) {
            key.device = info.dwVolumeSerialNumber;
            key.number = (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
        }
        return ok;
    };
    FileKey key;
    if (identify(path, key)) return key;
    fs::path folder = path.parent_path();
    if (folder.empty()) folder = ".";
    // Windows file names compare without regard to case.
    std::wstring name = path.filename().wstring();
    for (wchar_t& c : name) c = static_cast<wchar_t>(std::towlower(static_cast<wint_t>(c)));
    if (!identify(folder, key)) name = fs::absolute(path).lexically_normal().wstring();
    for (const wchar_t c : name) {
        key.name.push_back(static_cast<char>(c & 0xff));
        key.name.push_back(static_cast<char>((c >> 8) & 0xff));
    }
    return key;
}

bool IsDevice(const fs::path& path) {
    std::wstring name = path.filename().wstring();
    for (wchar_t& c : name) c = static_cast<wchar_t>(std::towupper(static_cast<wint_t>(c)));
    return name == L"NUL" || name == L"CON";
}

fs::path ProgramPath() {
    std::wstring buffer(32768, L'\0');
    const DWORD n = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    buffer.resize(n);
    return buffer;
}

void* LoadLibraryFile(const fs::path& path, std::string& message) {
    HMODULE lib = LoadLibraryW(path.c_str());
    if (lib == nullptr) message = WindowsError(GetLastError());
    return reinterpret_cast<void*>(lib);
}

void* FindExport(void* library, const char* name) {
    return reinterpret_cast<void*>(GetProcAddress(reinterpret_cast<HMODULE>(library), name));
}

void UnloadLibraryFile(void* library) { FreeLibrary(reinterpret_cast<HMODULE>(library)); }

void CatchStopSignals() {
    std::signal(SIGINT, OnStopSignal);
    std::signal(SIGTERM, OnStopSignal);
    std::signal(SIGBREAK, OnStopSignal);
}

void BlockStopSignalsInThisThread() {}

void DieBySignal(int signal) {
    std::signal(signal, SIG_DFL);
    std::raise(signal);
    std::_Exit(128 + signal);
}

#else  // POSIX

int Duplicate(int fd) { return fcntl(fd, F_DUPFD_CLOEXEC, 3); }
bool Redirect(int from, int to) {
    while (dup2(from, to) < 0)
        if (errno != EINTR) return false;
    return true;
}
void Close(int fd) { close(fd); }
bool IsTerminal(int fd) { return isatty(fd) != 0; }
void BinaryMode(int) {}
std::FILE* StreamOn(int fd) { return fdopen(fd, "w"); }

int OpenNullDevice() { return open("/dev/null", O_WRONLY | O_CLOEXEC); }

int OpenForReading(const fs::path& path, int& error) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    error = fd < 0 ? errno : 0;
    return fd;
}

int CreateNew(const fs::path& path, int& error) {
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    error = fd < 0 ? errno : 0;
    return fd;
}

int OpenForWriting(const fs::path& path, int& error) {
    const int fd = open(path.c_str(), O_WRONLY | O_CLOEXEC);
    error = fd < 0 ? errno : 0;
    return fd;
}

void CopyPermissions(const fs::path& from, int toFd) {
    struct stat st {};
    if (stat(from.c_str(), &st) == 0) (void)fchmod(toFd, st.st_mode & 07777);
}

long long Read(int fd, char* buffer, std::size_t size, int& error) {
    const ssize_t n = read(fd, buffer, size);
    error = n < 0 ? errno : 0;
    return n;
}

bool WriteAll(int fd, const char* data, std::size_t size, int& error) {
    while (size > 0) {
        const ssize_t n = write(fd, data, size);
        if (n < 0) {
            error = errno;
            if (error == EINTR && StopSignal() == 0) continue;
            return false;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

long long RegularFileSize(int fd) {
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) return -1;
    return st.st_size;
}

bool Replace(const fs::path& from, const fs::path& to, std::string& message) {
    if (std::rename(from.c_str(), to.c_str()) == 0) return true;
    message = ErrorText(errno);
    return false;
}

FileKey KeyOf(const fs::path& path) {
    struct stat st {};
    if (stat(path.c_str(), &st) == 0) return {static_cast<std::uint64_t>(st.st_dev), st.st_ino, {}};
    fs::path folder = path.parent_path();
    if (folder.empty()) folder = ".";
    if (stat(folder.c_str(), &st) == 0)
        return {static_cast<std::uint64_t>(st.st_dev), st.st_ino, path.filename().string()};
    return {0, 0, fs::absolute(path).lexically_normal().string()};
}

bool IsDevice(const fs::path& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && S_ISCHR(st.st_mode);
}

fs::path ProgramPath() {
    std::error_code ec;
    fs::path p = fs::read_symlink("/proc/self/exe", ec);
    return ec ? fs::path{} : p;
}

void* LoadLibraryFile(const fs::path& path, std::string& message) {
    void* lib = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (lib == nullptr) {
        const char* e = dlerror();
        message = e != nullptr ? e : "cannot load";
    }
    return lib;
}

void* FindExport(void* library, const char* name) { return dlsym(library, name); }

void UnloadLibraryFile(void* library) { dlclose(library); }

void CatchStopSignals() {
    struct sigaction stop {};
    stop.sa_handler = OnStopSignal;
    sigemptyset(&stop.sa_mask);
    stop.sa_flags = 0;  // no SA_RESTART: a blocked read or write returns and sees the flag
    for (const int s : {SIGINT, SIGTERM, SIGHUP}) {
        // A signal ignored from the start (a background job's Ctrl-C, nohup)
        // stays ignored.
        struct sigaction before {};
        if (sigaction(s, nullptr, &before) == 0 && before.sa_handler == SIG_IGN) continue;
        sigaction(s, &stop, nullptr);
    }
    // A closed pipe or the file size limit: the write fails and the run
    // ends as a failure, cleaning up, instead of dying on the spot.
    std::signal(SIGPIPE, SIG_IGN);
    std::signal(SIGXFSZ, SIG_IGN);
}

void BlockStopSignalsInThisThread() {
    sigset_t set;
    sigemptyset(&set);
    for (const int s : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&set, s);
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

void DieBySignal(int signal) {
    std::signal(signal, SIG_DFL);
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, signal);
    sigprocmask(SIG_UNBLOCK, &set, nullptr);
    std::raise(signal);
    std::_Exit(128 + signal);
}

#endif

}  // namespace zt::replay::os
