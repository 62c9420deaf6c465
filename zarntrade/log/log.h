// The library's two diagnostic channels.
//
// TraceLog: always on, one unprefixed line per call on standard error. Every
// diagnostic line of the library (attach/detach, contexts, states, failed
// look-ups) goes through it.
// LogPrintf: levelled; a message is written only when its level bit is in
// LogMask, as one prefixed line on standard output.
//
// The log takes no lock of its own: each write is serialised by the stream.
#pragma once

#include <cstdarg>
#include <cstdint>

namespace zt {

enum LogLevel : std::int32_t {
    LOG_TRACE = 1,
    LOG_DBG = 2,
    LOG_INFO = 4,
    LOG_MEM = 8,
    LOG_WARNING = 16,
    LOG_ERROR = 32,
    LOG_ASSERT = 64,
};

// Trace sink severities: 5 and 6 carry a capitalised prefix; TraceLog always
// passes 4 (no prefix).
inline constexpr unsigned kTraceSeverity = 4;
inline constexpr unsigned kTraceWarning = 5;
inline constexpr unsigned kTraceError = 6;

using TraceSink = std::int32_t (*)(unsigned severity, const char* format, std::va_list args);
using LogSink = std::int32_t (*)(std::int32_t level, std::uint32_t context, const char* format,
                                 std::va_list args);

// Process-wide, set at load and never changed by the library itself; tests
// swap the hooks to capture or silence output.
extern TraceSink TraceHook;
extern LogSink LogHook;
extern std::uint32_t LogHookContext;

std::int32_t DefaultTraceSink(unsigned severity, const char* format, std::va_list args);
std::int32_t DefaultLogSink(std::int32_t level, std::uint32_t context, const char* format,
                            std::va_list args);

std::int32_t TraceLog(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::int32_t LogPrintf(std::int32_t level, const char* format, ...)
    __attribute__((format(printf, 2, 3)));
std::uint32_t LogSetMask(std::uint32_t mask);
std::uint32_t LogGetMask();
void LogShutdown() noexcept;

}  // namespace zt
