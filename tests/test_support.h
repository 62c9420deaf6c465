// Shared helpers of the native tests: a fresh library state per test and a
// capture of the trace lines.
#pragma once

#include <gtest/gtest.h>

#include <cstdarg>
#include <cstdio>
#include <initializer_list>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "include/zarntrade.h"
#include "log/log.h"
#include "store/registry.h"
#include "store/series_ring.h"

namespace zt::test {

// Builds a ring whose values, newest first, are `newestFirst`.
template <std::uint32_t Cap>
Ring<Cap> RingOf(std::initializer_list<double> newestFirst) {
    Ring<Cap> r{};
    const double* v = newestFirst.end();
    while (v != newestFirst.begin()) r.push(*--v);
    return r;
}

// Forgets every state and context, as if the library had just been loaded.
inline void ResetLibrary() {
    RegistryGuard guard;
    ResetRegistries();
}

// Collects the trace lines written while it lives instead of printing them.
class TraceCapture {
public:
    TraceCapture() : previous_(TraceHook) {
        active_ = this;
        TraceHook = &Sink;
    }
    ~TraceCapture() {
        TraceHook = previous_;
        active_ = nullptr;
    }
    TraceCapture(const TraceCapture&) = delete;
    TraceCapture& operator=(const TraceCapture&) = delete;

    const std::vector<std::string>& lines() const { return lines_; }
    bool contains(const std::string& line) const {
        for (const auto& l : lines_)
            if (l == line) return true;
        return false;
    }
    void clear() { lines_.clear(); }

private:
    static std::int32_t Sink(unsigned, const char* format, std::va_list args) {
        char text[1024];
        std::vsnprintf(text, sizeof text, format, args);
        active_->lines_.emplace_back(text);
        return 1;
    }
    static inline TraceCapture* active_ = nullptr;
    TraceSink previous_;
    std::vector<std::string> lines_;
};

// Keeps the trace quiet in tests that create many states.
class QuietTrace {
public:
    QuietTrace() : previous_(TraceHook) { TraceHook = nullptr; }
    ~QuietTrace() { TraceHook = previous_; }
    QuietTrace(const QuietTrace&) = delete;
    QuietTrace& operator=(const QuietTrace&) = delete;

private:
    TraceSink previous_;
};

// A fixture with a fresh library and one state created in it.
class FreshState : public ::testing::Test {
protected:
    void SetUp() override {
        ResetLibrary();
        id_ = E_CREATESTATE2(1);
        state_ = TheRegistries().states.at(id_).get();
    }
    void TearDown() override { ResetLibrary(); }
    std::int32_t id_ = 0;
    StudyState* state_ = nullptr;
};

}  // namespace zt::test
