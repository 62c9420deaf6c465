// zarntrade._core, trades and signals: a batch run over trades formed into
// bars (every trade an update of the forming bar), and the confirmation
// report over trades or over bars sent with intrabar snapshots. The same
// driving loop as zarn-replay, with the interpreter lock released; the
// Python side checks the input.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "python/src/library_host.h"
#include "replay/driver/bars.h"
#include "replay/driver/replay.h"
#include "replay/driver/signals.h"
#include "replay/driver/study_table.h"
#include "replay/driver/trades.h"

namespace py = pybind11;
using namespace zt::replay;

namespace {

using Doubles = py::array_t<double, py::array::c_style | py::array::forcecast>;
using Ints = py::array_t<std::int32_t, py::array::c_style | py::array::forcecast>;

std::vector<const StudyInfo*> Selected(const std::vector<std::string>& names) {
    std::vector<const StudyInfo*> studies;
    for (const std::string& n : names) {
        const StudyInfo* s = FindStudy(n);
        if (s == nullptr) throw py::value_error("unknown study \"" + n + "\"");
        studies.push_back(s);
    }
    return studies;
}

// Trades straight from the caller's columns, checked by the Python side
// (same length, in order, prices above zero, sizes not negative).
class ColumnTrades : public TradeSource {
public:
    ColumnTrades(const std::int32_t* date, const std::int32_t* second, const double* price, const double* size,
                 std::size_t n)
        : date_(date), second_(second), price_(price), size_(size), n_(n) {}
    bool Next(Trade& t) override {
        if (i_ == n_) return false;
        t = {date_[i_], second_[i_], price_[i_], size_[i_]};
        ++i_;
        return true;
    }
    const std::string& Name() const override { return name_; }
    double Done() const override { return n_ == 0 ? 1.0 : static_cast<double>(i_) / static_cast<double>(n_); }

private:
    const std::int32_t* date_;
    const std::int32_t* second_;
    const double *price_, *size_;
    std::size_t n_, i_ = 0;
    std::string name_ = "trades";
};

// Every row kept: the bars formed and the values.
struct Rows : RowSink {
    std::vector<Bar> bars;
    std::vector<double> values;
    std::size_t width = 0;
    void Row(const Bar& bar, const double* v) override {
        bars.push_back(bar);
        values.insert(values.end(), v, v + width);
    }
};

ReplayOptions Options(const std::vector<std::string>& names, std::int32_t bandsPeriod, std::int32_t bandsSmoothing) {
    ReplayOptions options;
    options.studies = Selected(names);
    options.bandsPeriod = bandsPeriod;
    options.bandsSmoothing = bandsSmoothing;
    options.selection = &zt::python::SelectionLock();
    // Ctrl-C stops a long run: now and then the loop takes the interpreter
    // lock back to let Python look at its signals.
    options.progress = [](std::size_t done) {
        if (done % 8192 != 0) return;
        const py::gil_scoped_acquire held;
        if (PyErr_CheckSignals() != 0) throw py::error_already_set();
    };
    return options;
}

void Drive(UpdateSource& updates, ReplayOptions& options, RowSink& sink, UpdateObserver* observer) {
    py::gil_scoped_release released;
    options.context = zt::python::NewContextId();
    const zt::python::Reservation room(options.studies.size(), true);
    Replay(zt::python::CoreExports(), updates, options, sink, observer);
}

py::list ReportRows(const SignalReport& report) {
    py::list rows;
    for (const SignalCounts& c : report.Counts())
        rows.append(py::make_tuple(c.slot, c.bars, c.shown, c.confirmed, c.vanished, c.flipped, c.late, c.medianShare));
    return rows;
}

// (column names, bars as n x 7 [date, time, open, high, low, close, volume],
// values as n x columns, report rows or None).
py::tuple RunTrades(const Ints& date, const Ints& second, const Doubles& price, const Doubles& size,
                    const std::string& timeframeName,
                    const std::vector<std::string>& names, bool withReport, std::int32_t bandsPeriod,
                    std::int32_t bandsSmoothing) {
    const auto n = static_cast<std::size_t>(date.size());
    if (static_cast<std::size_t>(second.size()) != n || static_cast<std::size_t>(price.size()) != n ||
        static_cast<std::size_t>(size.size()) != n)
        throw py::value_error("columns of different lengths");
    const std::optional<Timeframe> timeframe = ParseTimeframe(timeframeName);
    if (!timeframe)
        throw py::value_error("timeframe is one of \"1min\", \"5min\", \"15min\", \"1h\" or \"1d\", not \"" +
                              timeframeName + "\"");

    ReplayOptions options = Options(names, bandsPeriod, bandsSmoothing);
    const std::vector<Column> columns = ColumnsOf(options.studies);
    ColumnTrades trades(date.data(), second.data(), price.data(), size.data(), n);
    TradeBars updates(trades, *timeframe);
    Rows rows;
    rows.width = columns.size();
    SignalReport report(columns);
    Drive(updates, options, rows, withReport ? &report : nullptr);

    const std::size_t bars = rows.bars.size();
    Doubles barArray({bars, std::size_t{7}});
    double* b = barArray.mutable_data();
    for (const Bar& x : rows.bars) {
        const double v[7] = {static_cast<double>(x.date), static_cast<double>(x.time), x.open, x.high, x.low, x.close,
                             x.volume};
        std::memcpy(b, v, sizeof v);
        b += 7;
    }
    Doubles values({bars, columns.size()});
    if (!rows.values.empty()) std::memcpy(values.mutable_data(), rows.values.data(), rows.values.size() * sizeof(double));
    std::vector<std::string> names_;
    for (const Column& c : columns) names_.push_back(c.name);
    return py::make_tuple(names_, barArray, values, withReport ? py::object(ReportRows(report)) : py::object(py::none()));
}

// The report over bars, each sent ticks times as it forms before its final values.
py::list BarsReport(const Ints& date, const Ints& time, const Doubles& open, const Doubles& high, const Doubles& low,
                    const Doubles& close, const Doubles& volume, const std::vector<std::string>& names, int ticks,
                    std::int32_t bandsPeriod, std::int32_t bandsSmoothing) {
    const auto n = static_cast<std::size_t>(date.size());
    for (const auto* a : {&open, &high, &low, &close, &volume})
        if (static_cast<std::size_t>(a->size()) != n) throw py::value_error("columns of different lengths");
    if (static_cast<std::size_t>(time.size()) != n) throw py::value_error("columns of different lengths");
    if (ticks < 0) throw py::value_error("ticks must not be negative");
    Series series{"arrays", std::vector<Bar>(n)};
    for (std::size_t i = 0; i < n; ++i)
        series.bars[i] = {date.data()[i], time.data()[i], open.data()[i], high.data()[i], low.data()[i],
                          close.data()[i], volume.data()[i]};
    ReplayOptions options = Options(names, bandsPeriod, bandsSmoothing);
    SeriesBars source(series);
    TickedBars updates(source, ticks);
    struct NoRows : RowSink {
        void Row(const Bar&, const double*) override {}
    } none;
    SignalReport report(ColumnsOf(options.studies));
    Drive(updates, options, none, &report);
    return ReportRows(report);
}

}  // namespace

namespace zt::python {

void BindSignals(py::module_& m) {
    m.def("run_trades", &RunTrades, py::arg("date"), py::arg("second"), py::arg("price"), py::arg("size"),
          py::arg("timeframe"), py::arg("studies"), py::arg("report"), py::arg("bands_period"),
          py::arg("bands_smoothing"));
    m.def("bars_signal_report", &BarsReport, py::arg("date"), py::arg("time"), py::arg("open"), py::arg("high"),
          py::arg("low"), py::arg("close"), py::arg("volume"), py::arg("studies"), py::arg("ticks"),
          py::arg("bands_period"), py::arg("bands_smoothing"));
}

}  // namespace zt::python
