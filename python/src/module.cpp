// zarntrade._core: the library driven from Python. The batch run hands whole
// columns to the replay tool's driving loop (the same calls, in the same
// order, as zarn-replay makes) with the interpreter lock released; the chart
// objects make the platform's calls one at a time. Checking the input and
// shaping the results into pandas objects is the Python package's part.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "python/src/library_host.h"
#include "replay/driver/bars.h"
#include "replay/driver/replay.h"
#include "replay/driver/study_table.h"

namespace py = pybind11;
using namespace zt::replay;
using zt::python::CoreExports;

namespace zt::python {
void BindSignals(py::module_& m);  // signals_module.cpp
}

namespace {

using Doubles = py::array_t<double, py::array::c_style | py::array::forcecast>;
using Ints = py::array_t<std::int32_t, py::array::c_style | py::array::forcecast>;

const StudyInfo& StudyNamed(const std::string& name) {
    const StudyInfo* s = FindStudy(name);
    if (s == nullptr) throw py::value_error("unknown study \"" + name + "\"");
    return *s;
}

// Bars straight from the caller's columns, which the Python side has checked
// (same length, finite, dates and times in range).
class ColumnBars : public BarSource {
public:
    ColumnBars(const std::int32_t* date, const std::int32_t* time, const double* const* prices, std::size_t n)
        : date_(date), time_(time), prices_(prices), n_(n) {}

    bool Next(Bar& bar) override {
        if (i_ == n_) return false;
        bar.date = date_[i_];
        bar.time = time_[i_];
        bar.open = prices_[0][i_];
        bar.high = prices_[1][i_];
        bar.low = prices_[2][i_];
        bar.close = prices_[3][i_];
        bar.volume = prices_[4][i_];
        ++i_;
        return true;
    }
    const std::string& Name() const override { return name_; }
    double Done() const override { return n_ == 0 ? 1.0 : static_cast<double>(i_) / static_cast<double>(n_); }

private:
    const std::int32_t* date_;
    const std::int32_t* time_;
    const double* const* prices_;
    std::size_t n_, i_ = 0;
    std::string name_ = "arrays";
};

// Rows into a C-ordered (bars x columns) block.
class BlockSink : public RowSink {
public:
    BlockSink(double* out, std::size_t columns) : out_(out), columns_(columns) {}
    void Row(const Bar&, const double* values) override {
        if (columns_ != 0) std::memcpy(out_ + row_ * columns_, values, columns_ * sizeof(double));
        ++row_;
    }

private:
    double* out_;
    std::size_t columns_;
    std::size_t row_ = 0;
};

std::vector<const StudyInfo*> Selected(const std::vector<std::string>& names) {
    std::vector<const StudyInfo*> studies;
    for (const std::string& n : names) studies.push_back(&StudyNamed(n));
    return studies;
}

std::vector<std::string> ColumnNames(const std::vector<const StudyInfo*>& studies) {
    std::vector<std::string> names;
    for (const Column& c : ColumnsOf(studies)) names.push_back(c.name);
    return names;
}

// The batch run: (column names, values as a bars x columns array).
py::tuple Run(const Ints& date, const Ints& time, const Doubles& open, const Doubles& high, const Doubles& low,
              const Doubles& close, const Doubles& volume, const std::vector<std::string>& names, int ticks,
              std::int32_t bandsPeriod, std::int32_t bandsSmoothing) {
    const auto n = static_cast<std::size_t>(date.size());
    for (const auto* a : {&open, &high, &low, &close, &volume})
        if (static_cast<std::size_t>(a->size()) != n) throw py::value_error("columns of different lengths");
    if (static_cast<std::size_t>(time.size()) != n) throw py::value_error("columns of different lengths");
    if (ticks < 0) throw py::value_error("ticks must not be negative");

    ReplayOptions options;
    options.studies = Selected(names);
    options.ticks = ticks;
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
    const std::vector<Column> columns = ColumnsOf(options.studies);

    Doubles values({n, columns.size()});
    double* out = values.mutable_data();
    const double* prices[5] = {open.data(), high.data(), low.data(), close.data(), volume.data()};
    ColumnBars bars(date.data(), time.data(), prices, n);
    BlockSink sink(out, columns.size());
    {
        py::gil_scoped_release released;
        options.context = zt::python::NewContextId();
        const zt::python::Reservation room(options.studies.size(), true);
        Replay(CoreExports(), bars, options, sink);
    }
    return py::make_tuple(ColumnNames(options.studies), values);
}

// One chart of the platform: its own context, the states created on it, and
// every state freed with the context when the chart is closed.
class Chart {
public:
    Chart() : id_(zt::python::NewContextId()) {
        const std::lock_guard lock(zt::python::SelectionLock());
        CoreExports().Dll_Add(id_);
    }
    ~Chart() { Close(); }
    Chart(const Chart&) = delete;
    Chart& operator=(const Chart&) = delete;

    std::int32_t context() const { return id_; }
    bool closed() const { return closed_; }

    std::int32_t AddState() {
        Open();
        // Kept until the chart is closed; throws when open charts hold all
        // the room.
        {
            py::gil_scoped_release released;  // batch runs may have to end first
            zt::python::Reserve(1, false);
        }
        std::int32_t state = 0;
        {
            const std::lock_guard lock(zt::python::SelectionLock());
            CoreExports().Dll_Context(id_);
            state = CoreExports().E_CREATESTATE2(1);
        }
        if (state == 0) {
            zt::python::Release(1, false);
            throw std::runtime_error("the library could not create a study state");
        }
        ++states_;
        return state;
    }

    void Store(std::int32_t state, std::int32_t number, std::int32_t date, std::int32_t time, double open,
               double high, double low, double close, double volume) {
        Open();
        if (CoreExports().E_BARVALUES(state, number, HostDate(date), time, open, high, low, close, volume) != 1)
            throw std::runtime_error("the library did not store bar " + std::to_string(number));
    }

    py::tuple Evaluate(std::int32_t state, const std::string& name, std::int32_t period, std::int32_t smoothing) {
        Open();
        const StudyInfo& s = StudyNamed(name);
        const Exports& x = CoreExports();
        if (s.bands != nullptr)
            (x.*(s.bands))(state, period, smoothing);
        else
            (x.*(s.entry))(state);
        py::tuple slots(s.about->slots);
        for (int k = 0; k < s.about->slots; ++k) slots[k] = x.E_GETRETURN(state, k);
        return slots;
    }

    void Close() {
        if (closed_) return;
        closed_ = true;
        {
            const std::lock_guard lock(zt::python::SelectionLock());
            CoreExports().Dll_Free(id_);
        }
        zt::python::Release(states_, false);
        states_ = 0;
    }

private:
    void Open() const {
        if (closed_) throw std::runtime_error("the chart is closed");
    }

    std::int32_t id_;
    std::size_t states_ = 0;
    bool closed_ = false;
};

// Bars a study needs before its values settle (the error bands' at their
// default lengths), as the catalogue gives it.
std::optional<int> WarmUp(const CatalogueEntry& e) { return e.warmup; }

py::list CatalogueList() {
    py::list out;
    for (const CatalogueEntry& e : zt::replay::Catalogue()) {
        py::list slots;
        for (int k = 0; k < e.slots; ++k) slots.append(std::string(e.slotNames[k]));
        const StudyInfo* exported = FindStudy(e.name);
        py::dict d;
        d["name"] = std::string(e.name);
        d["slots"] = slots;
        d["scale"] = e.scale == Scale::Price ? "price" : "panel";
        d["description"] = std::string(e.description);
        d["exported"] = exported != nullptr;
        d["via_dll"] = e.viaDll;
        d["warmup"] = WarmUp(e);
        out.append(d);
    }
    return out;
}

py::dict Synthetic(std::size_t count, std::uint64_t seed) {
    const Series s = SyntheticSeries(count, seed);
    Ints date(s.bars.size()), time(s.bars.size());
    Doubles columns[5] = {Doubles(s.bars.size()), Doubles(s.bars.size()), Doubles(s.bars.size()),
                          Doubles(s.bars.size()), Doubles(s.bars.size())};
    for (std::size_t i = 0; i < s.bars.size(); ++i) {
        const Bar& b = s.bars[i];
        date.mutable_at(i) = b.date;
        time.mutable_at(i) = b.time;
        columns[0].mutable_at(i) = b.open;
        columns[1].mutable_at(i) = b.high;
        columns[2].mutable_at(i) = b.low;
        columns[3].mutable_at(i) = b.close;
        columns[4].mutable_at(i) = b.volume;
    }
    py::dict d;
    d["date"] = date;
    d["time"] = time;
    d["open"] = columns[0];
    d["high"] = columns[1];
    d["low"] = columns[2];
    d["close"] = columns[3];
    d["volume"] = columns[4];
    return d;
}

py::list TakeTrace() {
    py::list lines;
    if (!zt::python::TracePending()) return lines;
    for (const zt::python::TraceLine& l : zt::python::TakeTrace()) lines.append(py::make_tuple(l.level, l.text));
    return lines;
}

}  // namespace

PYBIND11_MODULE(_core, m) {
    m.doc() = "The zarntrade library, linked in; use the zarntrade package rather than this module.";
    // The CMake project's version, which the library, the tool and the
    // packages carry too.
    m.attr("__version__") = ZT_VERSION;
    zt::python::StartLibrary();

    py::register_exception<zt::python::StateLimitError>(m, "StateLimitError", PyExc_RuntimeError);
    py::register_exception<ReplayError>(m, "LibraryError", PyExc_RuntimeError);

    m.def("run", &Run, py::arg("date"), py::arg("time"), py::arg("open"), py::arg("high"), py::arg("low"),
          py::arg("close"), py::arg("volume"), py::arg("studies"), py::arg("ticks"), py::arg("bands_period"),
          py::arg("bands_smoothing"));
    m.def("columns", [](const std::vector<std::string>& names) { return ColumnNames(Selected(names)); });
    m.def("default_studies", [] {
        std::vector<std::string> names;
        for (const StudyInfo* s : AllStudies()) names.emplace_back(s->name());
        return names;
    });
    m.def("canonical_name", [](const std::string& name) { return std::string(StudyNamed(name).name()); });
    m.def("slot_names", [](const std::string& name) {
        const StudyInfo& s = StudyNamed(name);
        std::vector<std::string> slots;
        for (int k = 0; k < s.about->slots; ++k) slots.emplace_back(s.about->slotNames[k]);
        return slots;
    });
    m.def("catalogue", &CatalogueList);
    zt::python::BindSignals(m);
    m.def("synthetic", &Synthetic, py::arg("count"), py::arg("seed"));
    // E_CHECKSTATE: whether the library still holds the state (for tests).
    m.def("state_exists", [](std::int32_t id) { return CoreExports().E_CHECKSTATE(id) != 0; });
    m.def("set_trace_level", &zt::python::SetTraceLevel);
    m.def("take_trace", &TakeTrace);

    py::class_<Chart>(m, "Chart")
        .def(py::init<>())
        .def_property_readonly("context", &Chart::context)
        .def_property_readonly("closed", &Chart::closed)
        .def("add_state", &Chart::AddState)
        .def("store", &Chart::Store)
        .def("evaluate", &Chart::Evaluate)
        .def("close", &Chart::Close);
}
