#include "replay/driver/replay.h"

#include <algorithm>
#include <bit>
#include <chrono>
#include <cstring>
#include <sstream>

#include "replay/driver/os.h"

namespace zt::replay {
namespace {

// An operation name for the DLL entry: length byte, then the characters.
struct OpName {
    unsigned char bytes[256];
    explicit OpName(std::string_view name) {
        const std::size_t n = std::min<std::size_t>(name.size(), 255);
        bytes[0] = static_cast<unsigned char>(n);
        std::memcpy(bytes + 1, name.data(), n);
    }
};

ZtVariant I4(std::int32_t v) {
    ZtVariant x{};
    x.vt = ZT_VT_I4;
    x.value.i4 = v;
    return x;
}

ZtVariant R8(double v) {
    ZtVariant x{};
    x.vt = ZT_VT_R8;
    x.value.r8 = v;
    return x;
}

bool SameBits(double a, double b) { return std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b); }

std::string Text(double v) {
    std::ostringstream s;
    s.precision(17);
    s << v;
    return s.str();
}

const OpName kCreateName("E_CREATESTATE");
const OpName kBarName("E_BARVALUES");
const OpName kReturnName("E_GETRETURN");

struct Instance {
    const StudyInfo* study;
    std::int32_t id = 0;
    OpName dllName{""};
    std::size_t firstColumn = 0;  // of the study's columns
    bool primary = false;          // the study's first state: its values go to the result
};

// Frees the chart context however the replay ends. With a selection lock
// the context stays selected, under the lock, until Selected() says the
// chart's states exist.
class ChartContext {
public:
    ChartContext(const Exports& x, std::int32_t id, std::mutex* selection) : x_(x), id_(id), selection_(selection) {
        if (selection_ != nullptr) held_ = std::unique_lock(*selection_);
        x_.Dll_Add(id_);
        x_.Dll_Context(id_);
    }
    ~ChartContext() {
        if (selection_ != nullptr && !held_.owns_lock()) held_.lock();
        x_.Dll_Free(id_);
    }
    ChartContext(const ChartContext&) = delete;
    ChartContext& operator=(const ChartContext&) = delete;

    void Selected() {
        if (held_.owns_lock()) held_.unlock();
    }

private:
    const Exports& x_;
    std::int32_t id_;
    std::mutex* selection_;
    std::unique_lock<std::mutex> held_;
};

class Host {
public:
    Host(const Exports& x, const ReplayOptions& o) : x_(x), o_(o) {}

    std::int32_t Create() const {
        if (!o_.viaDll) return x_.E_CREATESTATE2(1);
        ZtVariant result{};
        const ZtVariant gc = I4(1);
        Call(result, kCreateName, {&gc});
        return result.vt == ZT_VT_I4 ? result.value.i4 : 0;
    }

    void Store(const Instance& s, std::int32_t number, const Bar& b) const {
        std::int32_t stored = 0;
        if (!o_.viaDll) {
            stored = x_.E_BARVALUES(s.id, number, HostDate(b.date), b.time, b.open, b.high, b.low, b.close, b.volume);
        } else {
            // The DLL entry takes the date and time as one number and keeps
            // whole prices only.
            ZtVariant result{};
            const ZtVariant id = I4(s.id), n = I4(number),
                            stamp = R8(static_cast<double>(HostDate(b.date)) * 10000.0 + b.time),
                            open = R8(b.open), high = R8(b.high), low = R8(b.low), close = R8(b.close),
                            volume = R8(b.volume);
            Call(result, kBarName, {&id, &n, &stamp, &open, &high, &low, &close, &volume});
            stored = result.vt == ZT_VT_I4 ? result.value.i4 : 0;
        }
        if (stored != 1) {
            throw ReplayError("E_BARVALUES did not store bar " + std::to_string(number) + " for state " +
                              std::to_string(s.id) + " (" + std::string(s.study->name()) + ")");
        }
    }

    double Evaluate(const Instance& s) const {
        if (s.study->bands != nullptr) return (x_.*(s.study->bands))(s.id, o_.bandsPeriod, o_.bandsSmoothing);
        if (!o_.viaDll || !s.study->viaDll) return (x_.*(s.study->entry))(s.id);
        ZtVariant result{};
        const ZtVariant id = I4(s.id);
        Call(result, s.dllName, {&id});
        if (result.vt != ZT_VT_R8)
            throw ReplayError("the DLL entry did not answer \"" + std::string(s.study->name()) + "\"");
        return result.value.r8;
    }

    double Slot(const Instance& s, int slot) const {
        if (!o_.viaDll) return x_.E_GETRETURN(s.id, slot);
        ZtVariant result{};
        const ZtVariant id = I4(s.id), index = I4(slot);
        Call(result, kReturnName, {&id, &index});
        return result.vt == ZT_VT_R8 ? result.value.r8 : 0.0;
    }

private:
    // The host passes all eight argument records; those it does not use are
    // empty variants.
    void Call(ZtVariant& result, const OpName& name, std::initializer_list<const ZtVariant*> args) const {
        static const ZtVariant empty{};
        const ZtVariant* p[8] = {&empty, &empty, &empty, &empty, &empty, &empty, &empty, &empty};
        std::copy(args.begin(), args.end(), p);
        x_.DLL(&result, name.bytes, p[0], p[1], p[2], p[3], p[4], p[5], p[6], p[7]);
    }

    const Exports& x_;
    const ReplayOptions& o_;
};

}  // namespace

std::vector<Column> ColumnsOf(const std::vector<const StudyInfo*>& studies) {
    std::vector<Column> columns;
    for (const StudyInfo* s : studies)
        for (int slot = 0; slot < s->about->slots; ++slot)
            columns.push_back({s, slot, std::string(s->name()) + "." + std::string(s->about->slotNames[slot])});
    return columns;
}

std::vector<Column> ReplayColumns(const ReplayOptions& options) {
    std::vector<const StudyInfo*> studies = options.studies;
    if (options.states > 0 && static_cast<std::size_t>(options.states) < studies.size())
        studies.resize(static_cast<std::size_t>(options.states));
    std::vector<Column> columns = ColumnsOf(studies);
    for (Column& c : columns) {
        c.warmup = c.study->about->warmup;
        // A regression over the period, averaged over the smoothing.
        if (c.study->bands != nullptr) c.warmup = options.bandsPeriod + options.bandsSmoothing - 2;
    }
    return columns;
}

namespace {

// One pass over the updates; with kObserve every intrabar update's values
// are gathered for the observer as well.
template <bool kObserve>
ReplayStats Run(const Exports& library, UpdateSource& updates, const ReplayOptions& options, RowSink& sink,
                UpdateObserver* observer) {
    std::vector<const StudyInfo*> studies = options.studies;
    const std::size_t stateCount = options.states > 0 ? static_cast<std::size_t>(options.states) : studies.size();
    if (stateCount < studies.size()) studies.resize(stateCount);

    ReplayStats stats;
    const std::vector<Column> columns = ColumnsOf(studies);
    std::vector<double> row(columns.size(), 0.0);

    std::vector<std::size_t> firstColumn(studies.size());
    for (std::size_t i = 0, c = 0; i < studies.size(); c += static_cast<std::size_t>(studies[i]->about->slots), ++i)
        firstColumn[i] = c;

    const auto start = std::chrono::steady_clock::now();
    const Host host(library, options);
    ChartContext chart(library, options.context, options.selection);
    std::vector<Instance> states;
    states.reserve(studies.empty() ? 0 : stateCount);
    for (std::size_t i = 0; !studies.empty() && i < stateCount; ++i) {
        Instance s{studies[i % studies.size()]};
        s.dllName = OpName(s.study->name());
        s.firstColumn = firstColumn[i % studies.size()];
        s.primary = i < studies.size();
        s.id = host.Create();
        if (s.id == 0) throw ReplayError("E_CREATESTATE failed for state " + std::to_string(i + 1));
        states.push_back(s);
    }
    chart.Selected();

    double slots[kSlotCount];
    const auto evaluate = [&](const Instance& s) {
        const double value = host.Evaluate(s);
        for (int k = 0; k < s.study->about->slots; ++k) slots[k] = host.Slot(s, k);
        if (!SameBits(value, slots[0])) {
            throw ReplayError(std::string(s.study->name()) + " returned " + Text(value) + " but left " +
                              Text(slots[0]) + " in slot 0");
        }
        ++stats.evaluations;
    };

    Bar bar{};
    bool last = false;
    bool opened = false;  // a bar number taken for the forming bar
    while (updates.Next(bar, last)) {
        if (os::StopSignal() != 0) throw os::Stopped();
        if (!opened) ++stats.bars, opened = true;
        ++stats.updates;
        const auto number = static_cast<std::int32_t>(stats.bars);
        if (!last) {
            for (const Instance& s : states) {
                host.Store(s, number, bar);
                evaluate(s);
                if constexpr (kObserve) {
                    if (s.primary) std::copy(slots, slots + s.study->about->slots, row.data() + s.firstColumn);
                }
            }
            if constexpr (kObserve) observer->Update(bar, row.data(), false);
            continue;
        }
        for (const Instance& s : states) {
            host.Store(s, number, bar);
            evaluate(s);
            double* out = row.data() + s.firstColumn;
            for (int k = 0; k < s.study->about->slots; ++k) {
                if (s.primary) {
                    out[k] = slots[k];
                } else if (!SameBits(out[k], slots[k])) {
                    throw ReplayError("two states of " + std::string(s.study->name()) + " disagree on bar " +
                                      std::to_string(number) + ", slot " + std::to_string(k) + ": " +
                                      Text(out[k]) + " and " + Text(slots[k]) + " (state " +
                                      std::to_string(s.id) + ")");
                }
            }
        }
        if constexpr (kObserve) observer->Update(bar, row.data(), true);
        opened = false;
        sink.Row(bar, row.data());
        if (options.progress) options.progress(stats.bars);
    }
    stats.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return stats;
}

}  // namespace

ReplayStats Replay(const Exports& library, UpdateSource& updates, const ReplayOptions& options, RowSink& sink,
                   UpdateObserver* observer) {
    return observer != nullptr ? Run<true>(library, updates, options, sink, observer)
                               : Run<false>(library, updates, options, sink, nullptr);
}

ReplayStats Replay(const Exports& library, BarSource& bars, const ReplayOptions& options, RowSink& sink,
                   UpdateObserver* observer) {
    TickedBars updates(bars, options.ticks);
    return Replay(library, updates, options, sink, observer);
}

}  // namespace zt::replay
