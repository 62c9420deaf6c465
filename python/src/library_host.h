// The Python package as a host of the library, which it links in (the static
// core) and calls through the same export table the replay tool fills from
// the shared library, so that both drive the studies with the same calls.
//
// What a process-wide host must look after when Python code runs many charts
// at once (batch runs on several threads, incremental charts side by side):
// - the library's context selection is process-wide, and a new state joins
//   whichever context is selected: every chart selects its own context and
//   creates its states under one lock;
// - the library keeps at most 1000 states and destroys the least recently
//   used one to make room for another, even while a thread is working on it:
//   the package never asks for more than 1000 at once;
// - the library's trace and levelled log write to the process's standard
//   error and output: both go to a buffer instead, which the bindings hand
//   to the logger "zarntrade" while they hold the interpreter lock.
#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

#include "replay/driver/library.h"

namespace zt::python {

// The library's exports as the replay tool's table, filled from the core.
const replay::Exports& CoreExports();

// Held while a chart's context is selected and its states created, and while
// a context is freed.
std::mutex& SelectionLock();

// A context id of its own for every chart and every batch run.
std::int32_t NewContextId();

// More states asked for than the library can hold beside those already held
// by open charts.
class StateLimitError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The library's live states, counted: Reserve(n) before creating n states
// waits while batch runs hold the room it needs and throws StateLimitError
// when open charts hold it; Release(n) after they are destroyed.
// `batch` says whether the holder is a batch run (its room comes back by
// itself) or a chart (back only when the chart is closed).
inline constexpr std::size_t kMaxStates = 1000;
void Reserve(std::size_t n, bool batch);
void Release(std::size_t n, bool batch);

class Reservation {
public:
    Reservation(std::size_t n, bool batch) : n_(n), batch_(batch) { Reserve(n_, batch_); }
    ~Reservation() { Release(n_, batch_); }
    Reservation(const Reservation&) = delete;
    Reservation& operator=(const Reservation&) = delete;

private:
    std::size_t n_;
    bool batch_;
};

// Trace lines at logging levels (10 debug ... 40 error).
struct TraceLine {
    int level;
    std::string text;
};

// Installs the buffering sinks as the library's trace and log hooks and runs
// the library's start-up step. Called once, when the module is imported.
void StartLibrary();
// Lines below this logging level are not kept (the logger would drop them).
void SetTraceLevel(int level);
// The lines buffered so far, oldest first; empties the buffer. Cheap when
// there are none.
bool TracePending();
std::vector<TraceLine> TakeTrace();

}  // namespace zt::python
