#include "python/src/library_host.h"

#include "include/zarntrade_snapshot.h"

#include <atomic>
#include <condition_variable>
#include <cstdarg>
#include <cstdio>

#include "platform/platform.h"
#include "include/zarntrade.h"
#include "log/log.h"

namespace zt::python {
namespace {

// Logging levels of Python's logging module.
constexpr int kDebug = 10, kInfo = 20, kWarning = 30, kError = 40;

std::atomic<int> traceLevel{kDebug};
std::atomic<bool> pending{false};
std::mutex traceMutex;
std::vector<TraceLine> traceLines;

void Keep(int level, const char* format, std::va_list args) {
    if (level < traceLevel.load(std::memory_order_relaxed)) return;
    char text[512];
    std::vsnprintf(text, sizeof text, format, args);  // a line longer than that is cut
    text[sizeof text - 1] = '\0';
    const std::lock_guard lock(traceMutex);
    traceLines.push_back({level, text});
    pending.store(true, std::memory_order_release);
}

// The library's trace lines carry severity 4 (no prefix); 5 and 6 would be
// its warnings and errors.
std::int32_t TraceSink(unsigned severity, const char* format, std::va_list args) {
    try {
        Keep(severity == kTraceWarning ? kWarning : severity == kTraceError ? kError : kDebug, format, args);
        return 1;
    } catch (...) {
        return -1;  // no memory for the line: it is lost, the library goes on
    }
}

std::int32_t LogSink(std::int32_t level, std::uint32_t, const char* format, std::va_list args) {
    int python = kDebug;
    switch (level) {
        case LOG_INFO: python = kInfo; break;
        case LOG_WARNING: python = kWarning; break;
        case LOG_ERROR:
        case LOG_ASSERT: python = kError; break;
        default: break;
    }
    try {
        Keep(python, format, args);
    } catch (...) {
    }
    return 0;
}

std::mutex budgetMutex;
std::condition_variable budgetFreed;
std::size_t statesHeld = 0;       // by charts and batch runs together
std::size_t statesHeldByRuns = 0;  // of those, by batch runs

}  // namespace

const replay::Exports& CoreExports() {
    static const replay::Exports exports = [] {
        replay::Exports x;
#define ZT_EXPORT(kind, result, name, params) x.name = &::name;
#include "include/zarntrade_exports.inc"
#undef ZT_EXPORT
        x.zt_state_save = &::zt_state_save;
        x.zt_state_restore = &::zt_state_restore;
        return x;
    }();
    return exports;
}

std::mutex& SelectionLock() {
    static std::mutex lock;
    return lock;
}

std::int32_t NewContextId() {
    static std::atomic<std::int32_t> last{0};
    std::int32_t id = last.load(std::memory_order_relaxed), next = 0;
    do {
        next = id == INT32_MAX ? 1 : id + 1;
    } while (!last.compare_exchange_weak(id, next, std::memory_order_relaxed));
    return next;
}

void Reserve(std::size_t n, bool batch) {
    std::unique_lock lock(budgetMutex);
    // Batch runs give their states back when they end; charts only when
    // they are closed, which no waiting brings about.
    while (statesHeld + n > kMaxStates) {
        if (statesHeldByRuns == 0 || statesHeld - statesHeldByRuns + n > kMaxStates) {
            throw StateLimitError("the library holds at most " + std::to_string(kMaxStates) +
                                  " study states at once: open charts hold " +
                                  std::to_string(statesHeld - statesHeldByRuns) + ", " + std::to_string(n) +
                                  " more asked for (close charts that are done)");
        }
        budgetFreed.wait(lock);
    }
    statesHeld += n;
    if (batch) statesHeldByRuns += n;
}

void Release(std::size_t n, bool batch) {
    {
        const std::lock_guard lock(budgetMutex);
        statesHeld -= n;
        if (batch) statesHeldByRuns -= n;
    }
    budgetFreed.notify_all();
}

void StartLibrary() {
    TraceHook = TraceSink;
    LogHook = LogSink;
    LibraryEntry(kProcessAttach);
}

void SetTraceLevel(int level) { traceLevel.store(level, std::memory_order_relaxed); }

bool TracePending() { return pending.load(std::memory_order_acquire); }

std::vector<TraceLine> TakeTrace() {
    std::vector<TraceLine> lines;
    const std::lock_guard lock(traceMutex);
    lines.swap(traceLines);
    pending.store(false, std::memory_order_relaxed);
    return lines;
}

}  // namespace zt::python
