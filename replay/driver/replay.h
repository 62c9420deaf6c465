// The replay loop: drives the library as the charting host does (one chart
// context, one study state per study instance, and for every bar and every
// intrabar update of the forming bar E_BARVALUES, the study entry and
// E_GETRETURN for each slot the study fills), through a table of the
// library's exports (`Exports`, library.h): the replay tool fills it from the
// shared library it loads, the Python module from the core linked into it.
//
// One streaming pass: a bar is read, sent to every state, and its row of
// final values handed to a row sink before the next bar is read, so a replay
// holds one bar and one row whatever the length of the input. Besides the
// loop this header holds what it hands on: the columns of a replay and the
// row sinks that receive them (a CSV file, the drawing, a test's table).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

#include "replay/driver/bars.h"
#include "replay/driver/library.h"
#include "replay/driver/study_table.h"

namespace zt::replay {

struct ReplayOptions {
    std::vector<const StudyInfo*> studies;  // in column order
    int ticks = 0;               // intrabar updates sent before a bar's final values
    bool viaDll = false;         // route what the DLL entry knows through it
    std::int32_t bandsPeriod = 80;
    std::int32_t bandsSmoothing = 14;
    // Study states on the chart: the studies are assigned to them in turn.
    // 0 means one state per study.
    int states = 0;
    std::int32_t context = 1;
    // The library keeps one process-wide context selection, and a new state
    // joins whichever context is selected. A host that replays several
    // charts at once in one process passes one lock for all of them: it is
    // held from selecting the chart's context until its states exist, and
    // while the context is freed. Null: the replay is alone.
    std::mutex* selection = nullptr;
    // Called after every bar with the number of bars done.
    std::function<void(std::size_t)> progress;
};

struct Column {
    const StudyInfo* study;
    int slot;
    std::string name;  // "E_ZARNMP.position"
    // The study's warm-up in this replay: the catalogue's, the error bands'
    // following their lengths (period + smoothing - 2).
    int warmup = 0;
};

// Where the rows go (a CSV file, the drawing, a test's table).
class RowSink {
public:
    virtual ~RowSink() = default;
    // A bar as read and the values every column held after its final
    // evaluation; called once per bar, oldest first. values is valid for
    // the call only.
    virtual void Row(const Bar& bar, const double* values) = 0;
};

// Hands every row to several sinks in turn.
class RowFanOut : public RowSink {
public:
    explicit RowFanOut(std::vector<RowSink*> sinks) : sinks_(std::move(sinks)) {}
    void Row(const Bar& bar, const double* values) override {
        for (RowSink* s : sinks_) s->Row(bar, values);
    }

private:
    std::vector<RowSink*> sinks_;
};

struct ReplayStats {
    std::size_t bars = 0;
    std::size_t updates = 0;      // bars and intrabar updates sent, each to every state
    std::size_t evaluations = 0;  // study entry calls in all
    double seconds = 0.0;         // the whole pass: reading, the library, handing rows on
};

// Raised when the library does not behave as its contract says (a state
// not created, a bar not stored, the DLL entry not answering a study it
// lists, or two states of the same study disagreeing).
class ReplayError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The columns of the selected studies, in order.
std::vector<Column> ColumnsOf(const std::vector<const StudyInfo*>& studies);
// The columns a replay with these options writes (fewer states than
// studies leave the last studies out).
std::vector<Column> ReplayColumns(const ReplayOptions& options);

// Sees every update a replay sends, intrabar ones included (the confirmation
// report, the chart's record of what a forming bar showed).
class UpdateObserver {
public:
    virtual ~UpdateObserver() = default;
    // values: every column after the update's evaluation (valid for the
    // call only); last: the bar's final update, whose values are the row.
    virtual void Update(const Bar& update, const double* values, bool last) = 0;
};

// Throws ReplayError, what the source throws (InputError), what the sink
// throws, and os::Stopped when a stop signal arrives. Each bar is sent
// options.ticks times as it forms (FormingBar), then with its final values.
// Without an observer no update costs more than the library's calls.
ReplayStats Replay(const Exports& library, BarSource& bars, const ReplayOptions& options, RowSink& sink,
                   UpdateObserver* observer = nullptr);
// The updates as the source sends them (options.ticks is not used).
ReplayStats Replay(const Exports& library, UpdateSource& updates, const ReplayOptions& options, RowSink& sink,
                   UpdateObserver* observer = nullptr);

// A bar source sent as a live chart sends it: ticks intrabar updates
// (FormingBar) before each bar's final values.
class TickedBars : public UpdateSource {
public:
    TickedBars(BarSource& bars, int ticks) : bars_(bars), ticks_(ticks < 0 ? 0 : ticks) {}
    bool Next(Bar& update, bool& last) override {
        if (k_ == 0 && !bars_.Next(bar_)) return false;
        last = k_ == ticks_;
        update = last ? bar_ : FormingBar(bar_, k_, ticks_);
        k_ = last ? 0 : k_ + 1;
        return true;
    }
    const std::string& Name() const override { return bars_.Name(); }
    double Done() const override { return bars_.Done(); }

private:
    BarSource& bars_;
    int ticks_;
    int k_ = 0;
    Bar bar_{};
};

}  // namespace zt::replay
