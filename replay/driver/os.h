// What the tool needs from the operating system, in one place: C runtime
// file descriptors (POSIX descriptors, or the _open/_dup family on Windows),
// file identities, replacing a file by renaming, loading the library at run
// time, and the stop signals (Ctrl-C, SIGTERM).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <stdexcept>
#include <string>

namespace zt::replay::os {

inline constexpr int kStandardOutput = 1;
inline constexpr int kStandardError = 2;

// The text of a C runtime error number.
std::string ErrorText(int error);

int Duplicate(int fd);  // -1 on failure
bool Redirect(int from, int to);
void Close(int fd);
bool IsTerminal(int fd);
// Bytes written as they are (Windows descriptors translate "\n" otherwise).
void BinaryMode(int fd);
// A stdio stream on a descriptor of its own; null on failure.
std::FILE* StreamOn(int fd);

// Write-only null device; -1 on failure.
int OpenNullDevice();
// Reading, binary. -1 on failure with the error number in error.
int OpenForReading(const std::filesystem::path& path, int& error);
// Creates a file that must not exist yet, write-only, binary. -1 on failure
// with the error number in error (EEXIST when it exists).
int CreateNew(const std::filesystem::path& path, int& error);
// Opens an existing file or device for writing in place (a FIFO, a terminal).
int OpenForWriting(const std::filesystem::path& path, int& error);
// Gives a new file the permission bits of the file it will replace.
void CopyPermissions(const std::filesystem::path& from, int toFd);

// One read; -1 with the error number in error (EINTR included, so that a
// stop signal is seen while waiting for a pipe).
long long Read(int fd, char* buffer, std::size_t size, int& error);
// Writes everything; false with the error number in error. An interrupted
// write is retried unless a stop signal has arrived.
bool WriteAll(int fd, const char* data, std::size_t size, int& error);
// Size of a regular file, -1 for anything else (a pipe, a terminal).
long long RegularFileSize(int fd);

// Renames from over to (replacing it). False with a message on failure.
bool Replace(const std::filesystem::path& from, const std::filesystem::path& to, std::string& message);

// Where a file lives: device and file number for an existing file; for a
// name not created yet, its folder's and the name. Two paths with equal
// keys name one file, whatever links or spelling lead there.
struct FileKey {
    std::uint64_t device = 0, number = 0;
    std::string name;  // empty for an existing file
    bool operator==(const FileKey&) const = default;
};
FileKey KeyOf(const std::filesystem::path& path);
// The null device or another character device: writing there replaces nothing.
bool IsDevice(const std::filesystem::path& path);

std::filesystem::path ProgramPath();

// The shared library, loaded at run time. Null with a message on failure.
void* LoadLibraryFile(const std::filesystem::path& path, std::string& message);
void* FindExport(void* library, const char* name);
void UnloadLibraryFile(void* library);

// Thrown where a stop signal is noticed: the run ends, cleaning up.
class Stopped : public std::runtime_error {
public:
    Stopped() : std::runtime_error("stopped by a signal") {}
};

// SIGINT, SIGTERM (and SIGHUP where there is one) set a flag that the work
// loops poll; SIGPIPE and SIGXFSZ become write errors. StopSignal() is the
// first signal received, 0 while none has been.
void CatchStopSignals();
int StopSignal();
// For helper threads: stop signals go to the main thread, whose reads and
// waits they interrupt.
void BlockStopSignalsInThisThread();
// Ends the process by the signal, with the default action, so that the
// shell sees how it ended.
[[noreturn]] void DieBySignal(int signal);

}  // namespace zt::replay::os
