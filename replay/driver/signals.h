// The confirmation report: for every signal slot, what the forming bar
// showed against what the closed bar kept, counted over every update sent.
#pragma once

#include <cstddef>
#include <initializer_list>
#include <string>
#include <vector>

#include "replay/driver/replay.h"

namespace zt::replay {

// The counts of one signal slot. A signal is the sign of the slot's value
// (NaN counts as none); a bar's updates are all those sent for it, its
// final one included.
struct SignalCounts {
    std::string slot;            // "E_ZARNUPSELL.signal"
    std::size_t bars = 0;        // bars closed
    std::size_t shown = 0;       // bars on which some update showed a signal
    std::size_t confirmed = 0;   // of those, a signal at the close
    std::size_t vanished = 0;    // of those, none at the close (shown = confirmed + vanished)
    std::size_t flipped = 0;     // bars on which both signs showed
    std::size_t late = 0;        // bars whose final signal showed on the final update only
    // The median over the confirmed bars of the share of the bar's updates
    // that showed its final signal; NaN when none was confirmed.
    double medianShare = 0.0;
};

// Whether a column counts in the report: the slots a chart draws as +1/-1
// marks (the catalogue's signal role).
bool IsSignalColumn(const Column& column);

// Watches a replay's updates and counts. Costs a few comparisons per signal
// column and update, and one number per confirmed signal.
class SignalReport : public UpdateObserver {
public:
    explicit SignalReport(const std::vector<Column>& columns);
    void Update(const Bar& update, const double* values, bool last) override;
    // The counts so far, one per signal column in column order.
    std::vector<SignalCounts> Counts() const;

private:
    struct Track {
        std::size_t column;
        SignalCounts counts;
        std::size_t positive = 0, negative = 0;  // updates of the forming bar showing each sign
        std::vector<double> shares;
    };
    std::vector<Track> tracks_;
    std::size_t updates_ = 0;  // of the forming bar
};

// What every signal slot showed while each of the newest bars formed, for a
// chart: per bar and signal column the signs in the order they showed, each
// change once ('+', '0', '-'; "0+0" appeared and vanished, "+-" flipped),
// the last the final one. At most kTrailLength signs: a longer trail keeps
// its first kTrailLength - 2 signs, '~', and the final sign.
class SignalTrail : public UpdateObserver {
public:
    static constexpr std::size_t kTrailLength = 12;
    // lastBars 0 keeps every bar.
    SignalTrail(const std::vector<Column>& columns, std::size_t lastBars);
    void Update(const Bar& update, const double* values, bool last) override;
    // The signal columns, in column order.
    const std::vector<std::size_t>& Columns() const { return columns_; }
    // The bars kept, oldest first: one trail per signal column each.
    std::vector<std::vector<std::string>> Trails() const;

private:
    std::vector<std::size_t> columns_;
    std::vector<std::string> forming_;              // per signal column
    std::vector<std::vector<std::string>> bars_;    // a ring once full
    std::size_t keep_;
    std::size_t next_ = 0;
};

// Hands every update to the observers given (null ones left out).
class UpdateFanOut : public UpdateObserver {
public:
    explicit UpdateFanOut(std::initializer_list<UpdateObserver*> observers) {
        for (UpdateObserver* o : observers)
            if (o != nullptr) observers_.push_back(o);
    }
    void Update(const Bar& update, const double* values, bool last) override {
        for (UpdateObserver* o : observers_) o->Update(update, values, last);
    }
    // This, or null when there is no observer: the replay then costs nothing more.
    UpdateObserver* OrNull() { return observers_.empty() ? nullptr : this; }

private:
    std::vector<UpdateObserver*> observers_;
};

// The report as CSV: a header line, then one line per signal slot.
std::string SignalReportCsv(const std::vector<SignalCounts>& counts);
// A short table for a terminal.
std::string SignalReportTable(const std::vector<SignalCounts>& counts);

}  // namespace zt::replay
