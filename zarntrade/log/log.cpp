#include "log/log.h"

#include <atomic>
#include <cstdio>
#include <iostream>

namespace zt {

namespace {
// A plain word read without a lock; atomic only so that concurrent readers
// and the shutdown store are well defined.
std::atomic<std::uint32_t> LogMask{LOG_WARNING | LOG_ERROR};

const char* LevelPrefix(std::int32_t level) {
    switch (level) {
        case LOG_TRACE: return "trace: ";
        case LOG_DBG: return "dbg: ";
        case LOG_INFO: return "info: ";
        case LOG_MEM: return "mem: ";
        case LOG_WARNING: return "warning: ";
        case LOG_ERROR: return "error: ";
        case LOG_ASSERT: return "assert: ";
        default: return "";  // combinations of bits, 0, 128 and above
    }
}
}  // namespace

TraceSink TraceHook = DefaultTraceSink;
LogSink LogHook = DefaultLogSink;
std::uint32_t LogHookContext = 0;

// Three separate writes to the unbuffered standard error stream; the result
// is that of the last one (1 when the line end was written).
std::int32_t DefaultTraceSink(unsigned severity, const char* format, std::va_list args) {
    if (severity == kTraceWarning) std::fprintf(stderr, "Warning: ");
    if (severity == kTraceError) std::fprintf(stderr, "Error: ");
    std::vfprintf(stderr, format, args);
    return std::fprintf(stderr, "\n");
}

std::int32_t DefaultLogSink(std::int32_t level, std::uint32_t, const char* format,
                            std::va_list args) {
    char text[512];
    std::vsnprintf(text, sizeof text, format, args);  // cut at 511, always terminated
    text[sizeof text - 1] = '\0';
    std::cout << LevelPrefix(level) << text << "\n";
    return 0;
}

std::int32_t TraceLog(const char* format, ...) {
    TraceSink hook = TraceHook;
    if (hook == nullptr) return 0;
    std::va_list args;
    va_start(args, format);
    std::int32_t result = hook(kTraceSeverity, format, args);
    va_end(args);
    return result;
}

std::int32_t LogPrintf(std::int32_t level, const char* format, ...) {
    LogSink hook = LogHook;
    if ((static_cast<std::uint32_t>(level) & LogMask.load(std::memory_order_relaxed)) == 0 ||
        hook == nullptr)
        return 0;
    std::va_list args;
    va_start(args, format);
    std::int32_t result = hook(level, LogHookContext, format, args);
    va_end(args);
    return result;
}

std::uint32_t LogSetMask(std::uint32_t mask) { return LogMask.exchange(mask); }

std::uint32_t LogGetMask() { return LogMask.load(); }

// The levelled channel falls silent; the trace channel goes on. The library
// keeps no log file, so there is nothing to close.
void LogShutdown() noexcept {
    try {
        LogSetMask(0);
    } catch (...) {
    }
}

}  // namespace zt
