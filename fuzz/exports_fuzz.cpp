// Call sequences over every export of the library, as a host gone wrong
// might make them: live, stale and absurd state ids; NaN, infinities, huge
// and tiny prices; any bar number; error-band lengths of every size;
// contexts added, selected and freed in any order; creation past the
// 1000-state limit; the memory report; and allocation failures wherever the
// library allocates.
//
// Every answer is checked against a model of the registry (states, contexts,
// the selected context, the recent-state ring and the live-state limit) and
// of each state's return slots: a lost, leaked or wrongly evicted state, a
// slot changed by a call that must not touch it, a value that differs from
// slot 0, a re-evaluation that differs from the first, or a non-finite
// result from bars of ordinary prices stops the fuzzer. After every input a
// new state must compute exactly what a new state computes in a fresh
// library, whatever the input did before.
//
// Input: a header (allocation failure plan, the study of the final check),
// then operations, one byte each followed by their arguments, until the
// input ends.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <deque>
#include <iterator>
#include <limits>
#include <map>
#include <string>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "include/zarntrade.h"
#include "store/registry.h"
#include "tests/study_calls.h"

namespace zt::fuzz {
namespace {

constexpr int kSlots = 10;
constexpr int kBandLimit = 200;

struct Study {
    const char* name;
    test::StudyCallWithLengths call;
    int slots;
    bool bands;
};

// The tests' table, in the export list's order (the inputs pick a study by
// its place in it).
std::vector<Study> MakeStudies() {
    std::vector<Study> v;
    for (const test::StudyInfo& s : test::ExportedStudies())
        v.push_back({s.name, test::StudyWithLengthsByName(s.name), s.slots, s.bands});
    return v;
}

const std::vector<Study>& Studies() {
    static const std::vector<Study> studies = MakeStudies();
    return studies;
}

// ---------------------------------------------------------------------------
// Numbers as a host might send them.

const double kSpecial[] = {
    std::numeric_limits<double>::quiet_NaN(),
    -std::numeric_limits<double>::quiet_NaN(),
    std::numeric_limits<double>::infinity(),
    -std::numeric_limits<double>::infinity(),
    std::numeric_limits<double>::max(),
    -std::numeric_limits<double>::max(),
    std::numeric_limits<double>::min(),
    std::numeric_limits<double>::denorm_min(),
    -std::numeric_limits<double>::denorm_min(),
    0.0,
    -0.0,
    1e308,
    -1e308,
    0.9e308,
    1e15,
    -1e15,
    1e-300,
    4294967296.0,
    -2147483649.0,
    9007199254740993.0,
    0.1,
    -3600.25,
};

// Prices in quarter points from 0.25 to 1e6 and whole volumes up to 1e9:
// bars of such numbers must give finite results in every slot, in any order
// of open, high, low and close and with flat or empty bars.
bool OrdinaryPrice(double x) { return x >= 0.25 && x <= 1e6 && std::floor(x * 4.0) == x * 4.0; }
bool OrdinaryVolume(double x) { return x >= 0.0 && x <= 1e9 && std::floor(x) == x; }

double Price(ByteReader& in) {
    const std::uint8_t m = in.Byte();
    if (m < 176) return 0.25 * (1.0 + in.Uint16());
    if (m < 240) return kSpecial[m % std::size(kSpecial)];
    return in.Raw<double>();
}

double Volume(ByteReader& in) {
    const std::uint8_t m = in.Byte();
    if (m < 176) return static_cast<double>(in.Uint16()) * (m % 2 == 0 ? 1.0 : 1000.0);
    if (m < 240) return kSpecial[m % std::size(kSpecial)];
    return in.Raw<double>();
}

// ---------------------------------------------------------------------------
// The model of the registry and the return slots.

struct ModelState {
    std::uint8_t gc = 0;
    std::int32_t lastBar = 0;
    bool ordinary = true;  // every bar stored so far was of ordinary numbers
    double slots[kSlots] = {};
};

class Model {
public:
    Model() : ring_(kMaxLiveStates, 0) {}

    std::map<std::int32_t, ModelState> states;
    std::map<std::int32_t, std::vector<std::int32_t>> contexts;
    std::vector<std::int32_t> stale;  // destroyed ids
    std::int32_t currentId = 0;
    bool currentHasRecord = false;
    std::int32_t liveCount = 0;
    std::int32_t nextId = 1;
    bool nextIdKnown = true;  // false after a creation that failed part-way
    std::int32_t highestId = 0;

    bool Live(std::int32_t id) const { return states.count(id) != 0; }

    void Created(std::int32_t id, std::int32_t gcArgument) {
        ZT_FUZZ_CHECK(id > highestId, "ids are never reused: got " + std::to_string(id) + " after " +
                                          std::to_string(highestId));
        if (nextIdKnown) ZT_FUZZ_CHECK(id == nextId, "expected id " + std::to_string(nextId) + ", got " + std::to_string(id));
        highestId = id;
        nextId = id + 1;
        nextIdKnown = true;
        ++liveCount;
        if (liveCount > kMaxLiveStates) {
            const std::int32_t oldest = ring_[kMaxLiveStates - 1];
            if (Live(oldest)) Destroyed(oldest);
        }
        states[id].gc = gcArgument != 0 ? 1 : 0;
        if (currentHasRecord) contexts[currentId].push_back(id);
        ring_.push_front(id);
        ring_.pop_back();
    }

    void Destroyed(std::int32_t id) {
        if (currentHasRecord) {
            auto& ids = contexts[currentId];
            ids.erase(std::remove(ids.begin(), ids.end(), id), ids.end());
        }
        if (states[id].gc == 1) --liveCount;
        states.erase(id);
        stale.push_back(id);
    }

    void Checked(std::int32_t id) {
        ring_.erase(std::remove(ring_.begin(), ring_.end(), id), ring_.end());
        ring_.push_front(id);
        while (ring_.size() > static_cast<std::size_t>(kMaxLiveStates)) ring_.pop_back();
    }

    void Selected(std::int32_t context) {
        if (context == currentId) return;
        currentId = context;
        currentHasRecord = contexts.count(context) != 0;
    }

    void Freed(std::int32_t context) {
        auto it = contexts.find(context);
        if (it == contexts.end()) return;
        const std::vector<std::int32_t> ids = it->second;
        for (std::int32_t id : ids)
            if (Live(id)) Destroyed(id);
        contexts.erase(context);
        if (currentHasRecord && currentId == context) {
            currentId = 0;
            currentHasRecord = false;
        }
    }

    // The memory report's lines, each ended by "\n".
    std::string Report() const {
        std::string text;
        const auto line = [&text](auto... parts) {
            ((text += parts), ...);
            text += '\n';
        };
        for (const auto& [id, ids] : contexts) {
            line("Context ", std::to_string(id), " with ", std::to_string(ids.size()), " states");
            for (std::int32_t s : ids) line("  state ", std::to_string(s));
        }
        for (const auto& [id, s] : states) line("state ", std::to_string(id), ", gc = ", std::to_string(s.gc));
        return text;
    }

private:
    std::deque<std::int32_t> ring_;  // most recent first, kMaxLiveStates entries
};

// ---------------------------------------------------------------------------
// The final check: a new state after any input computes what a new state
// computes in a fresh library.

constexpr int kProbeBars = 40;
constexpr std::int32_t kProbePeriod = 80;
constexpr std::int32_t kProbeSmoothing = 14;

struct ProbeBar {
    double open, high, low, close, volume;
};

ProbeBar Probe(int i) {
    const double base = 3600.0 + 0.25 * static_cast<double>((i * 37) % 23) - 0.5 * (i % 5);
    const double volume = i % 7 == 6 ? 0.0 : 100.0 + 13.0 * i;
    if (i % 9 == 8) return {base, base, base, base, volume};  // a flat bar
    return {base, base + 1.5, base - 1.25, base + 0.75, volume};
}

using ProbeValues = std::vector<double>;  // kProbeBars x kSlots

ProbeValues RunProbe(const Study& study, std::int32_t id) {
    ProbeValues values;
    for (int i = 1; i <= kProbeBars; ++i) {
        const ProbeBar b = Probe(i);
        E_BARVALUES(id, i, 1260102, 930 + i, b.open, b.high, b.low, b.close, b.volume);
        study.call(id, kProbePeriod, kProbeSmoothing);
        for (int k = 0; k < kSlots; ++k) values.push_back(E_GETRETURN(id, k));
    }
    return values;
}

const std::vector<ProbeValues>& FreshProbes() {
    static const std::vector<ProbeValues> probes = [] {
        std::vector<ProbeValues> all;
        ResetLibrary();
        for (const Study& s : Studies()) {
            const std::int32_t id = E_CREATESTATE2(1);
            all.push_back(RunProbe(s, id));
            E_DESTROYSTATE(id);
        }
        ResetLibrary();
        return all;
    }();
    return probes;
}

// ---------------------------------------------------------------------------
// One input.

class Session {
public:
    explicit Session(ByteReader& in) : in_(in) {}

    void Run() {
        AllocationFailure::PlanFrom(in_);
        const std::size_t probeStudy = in_.Byte() % Studies().size();
        for (int ops = 0; !in_.Empty() && ops < 4096; ++ops) Step();
        AllocationFailure::Plan(AllocationFailure::Mode::None, 0, 0);
        FinalProbe(Studies()[probeStudy], probeStudy);
    }

private:
    // Runs one library call with the input's allocation failures armed and
    // tells whether any allocation failed inside it.
    template <class F>
    bool Library(F&& f) {
        const std::uint32_t before = AllocationFailure::Failures();
        {
            AllocationFailure::Armed armed;
            f();
        }
        return AllocationFailure::Failures() != before;
    }

    std::int32_t ChooseId() {
        const std::uint8_t m = in_.Byte();
        switch (m % 8) {
            case 0: case 1: case 2: case 3:
                if (!model_.states.empty()) {
                    auto it = model_.states.begin();
                    std::advance(it, static_cast<long>(in_.Uint16() % model_.states.size()));
                    return it->first;
                }
                return 1;
            case 4:
                if (!model_.stale.empty()) return model_.stale[in_.Uint16() % model_.stale.size()];
                return 0;
            case 5: return model_.highestId + 1 + in_.Byte() % 3;
            case 6: {
                const std::int32_t odd[] = {0, -1, 1, std::numeric_limits<std::int32_t>::min(),
                                            std::numeric_limits<std::int32_t>::max(), 1000, 1001};
                return odd[in_.Byte() % std::size(odd)];
            }
            default: return in_.Int32();
        }
    }

    std::int32_t ChooseContext() {
        const std::uint8_t m = in_.Byte();
        return m < 224 ? m % 8 : in_.Int32();
    }

    void ExpectMissTraced(std::int32_t id) {
        ZT_FUZZ_CHECK(TraceSink::Contains("FindState failed for id " + std::to_string(id)),
                      "no trace line for the unknown id " + std::to_string(id));
    }

    void Step() {
        TraceSink::Clear();
        switch (in_.Byte() % 14) {
            case 0: Create(in_.Byte() % 2 == 0, in_.Byte()); break;
            case 1: {
                // A few states, or (255) enough to pass the limit: each state
                // is 120 KiB, so those are the slow inputs.
                const std::uint8_t m = in_.Byte();
                const std::size_t count = m == 255 ? 1100 : m % 16;
                const std::uint8_t gc = in_.Byte();
                for (std::size_t i = 0; i < count && created_ < kCreationBudget; ++i) {
                    TraceSink::Clear();
                    Create(true, gc);
                }
                break;
            }
            case 2: Destroy(ChooseId()); break;
            case 3: Check(ChooseId()); break;
            case 4: StoreBar(); break;
            case 5: Evaluate(ChooseId(), Studies()[in_.Byte() % Studies().size()], 0, 0); break;
            case 6: {
                const std::int32_t id = ChooseId();
                const std::uint8_t m = in_.Byte();
                const std::int32_t period = m < 128 ? m % 210 : in_.Int32();
                const std::int32_t smoothing = m % 2 == 0 ? in_.Byte() % 210 : in_.Int32();
                Evaluate(id, Studies()[BandsIndex()], period, smoothing);
                break;
            }
            case 7: GetReturn(ChooseId(), in_.Byte() < 200 ? in_.Byte() % 12 : in_.Int32()); break;
            case 8: AddContext(ChooseContext()); break;
            case 9: {
                const std::int32_t c = ChooseContext();
                Library([&] { Dll_Context(c); });
                model_.Selected(c);
                break;
            }
            case 10: {
                const std::int32_t c = ChooseContext();
                Library([&] { Dll_Free(c); });
                model_.Freed(c);
                break;
            }
            case 11: CheckReport(); break;
            case 12: FeedMany(); break;
            default: ResendAndEvaluate(); break;
        }
    }

    static std::size_t BandsIndex() {
        static const std::size_t index = [] {
            for (std::size_t i = 0; i < Studies().size(); ++i)
                if (Studies()[i].bands) return i;
            return std::size_t{0};
        }();
        return index;
    }

    void Create(bool direct, std::uint8_t gcByte) {
        const std::int32_t gc = gcByte < 200 ? gcByte % 2 : static_cast<std::int32_t>(gcByte) - 228;
        std::int32_t id = 0;
        ++created_;
        const bool failed = Library([&] { id = direct ? E_CREATESTATE2(gc) : E_CREATESTATE(12345, gc); });
        if (id == 0) {
            // Only an allocation failure may refuse a state, and it must then
            // leave the registry as it was (the report is compared later).
            ZT_FUZZ_CHECK(failed, "E_CREATESTATE returned 0 without an allocation failure");
            model_.nextIdKnown = false;
            return;
        }
        model_.Created(id, gc);
    }

    void Destroy(std::int32_t id) {
        Library([&] { E_DESTROYSTATE(id); });
        if (model_.Live(id))
            model_.Destroyed(id);
        else
            ExpectMissTraced(id);
    }

    void Check(std::int32_t id) {
        std::int32_t r = -1;
        Library([&] { r = E_CHECKSTATE(id); });
        ZT_FUZZ_CHECK(r == (model_.Live(id) ? 1 : 0), "E_CHECKSTATE(" + std::to_string(id) + ") = " + std::to_string(r));
        if (r == 1)
            model_.Checked(id);
        else
            ExpectMissTraced(id);
    }

    std::int32_t ChooseBarNumber(std::int32_t id) {
        const std::int32_t last = model_.Live(id) ? model_.states[id].lastBar : 0;
        const std::uint8_t m = in_.Byte();
        if (m < 128) return last + 1;  // a new bar
        if (m < 224) return last;      // the forming bar again
        return in_.Int32();
    }

    bool Store(std::int32_t id, std::int32_t number, std::int32_t date, std::int32_t time, double open, double high,
               double low, double close, double volume) {
        std::int32_t r = -1;
        Library([&] { r = E_BARVALUES(id, number, date, time, open, high, low, close, volume); });
        ZT_FUZZ_CHECK(r == (model_.Live(id) ? 1 : 0), "E_BARVALUES(" + std::to_string(id) + ") = " + std::to_string(r));
        if (r == 0) {
            ExpectMissTraced(id);
            return false;
        }
        ModelState& s = model_.states[id];
        s.lastBar = number;
        s.ordinary = s.ordinary && OrdinaryPrice(open) && OrdinaryPrice(high) && OrdinaryPrice(low) &&
                     OrdinaryPrice(close) && OrdinaryVolume(volume);
        return true;
    }

    void StoreBar() {
        const std::int32_t id = ChooseId();
        const std::int32_t number = ChooseBarNumber(id);
        const std::uint8_t stamp = in_.Byte();
        const std::int32_t date = stamp < 200 ? 1260102 : in_.Int32();
        const std::int32_t time = stamp < 200 ? stamp : in_.Int32();
        const double open = Price(in_), high = Price(in_), low = Price(in_), close = Price(in_);
        Store(id, number, date, time, open, high, low, close, Volume(in_));
    }

    void Slots(std::int32_t id, double (&s)[kSlots]) {
        for (int k = 0; k < kSlots; ++k) Library([&] { s[k] = E_GETRETURN(id, k); });
    }

    void Evaluate(std::int32_t id, const Study& study, std::int32_t period, std::int32_t smoothing,
                  bool again = true) {
        double value = 1.0;
        const bool failed = Library([&] { value = study.call(id, period, smoothing); });
        const bool refused = study.bands && (period < 1 || period > kBandLimit || smoothing < 1 || smoothing > kBandLimit);
        if (refused || !model_.Live(id)) {
            // Nothing found or nothing to compute: 0.0, and no slot anywhere
            // changes (GetReturn compares with the model later).
            ZT_FUZZ_CHECK(SameBits(value, 0.0), std::string(study.name) + " answered an unknown id or refused lengths with " +
                                                    std::to_string(value));
            if (!refused) ExpectMissTraced(id);
            return;
        }
        ModelState& m = model_.states[id];
        double s[kSlots];
        Slots(id, s);
        std::copy(std::begin(s), std::end(s), std::begin(m.slots));
        if (failed) {
            ZT_FUZZ_CHECK(SameBits(value, 0.0) || SameBits(value, s[0]),
                          std::string(study.name) + " after an allocation failure");
            return;
        }
        ZT_FUZZ_CHECK(SameBits(value, s[0]), std::string(study.name) + " returned a value other than slot 0");
        for (int k = study.slots; k < kSlots; ++k)
            ZT_FUZZ_CHECK(SameBits(s[k], 0.0), std::string(study.name) + " left slot " + std::to_string(k) + " non-zero");
        if (m.ordinary) {
            for (int k = 0; k < kSlots; ++k)
                ZT_FUZZ_CHECK(std::isfinite(s[k]), std::string(study.name) + " slot " + std::to_string(k) +
                                                       " not finite over bars of ordinary prices");
        }
        if (!again) return;
        // Evaluating again on the same bar starts from the same committed
        // memory: the same value and slots, bit for bit.
        double again2 = 0.0;
        if (Library([&] { again2 = study.call(id, period, smoothing); })) {
            Slots(id, m.slots);
            return;
        }
        double t[kSlots];
        Slots(id, t);
        ZT_FUZZ_CHECK(SameBits(again2, value), std::string(study.name) + " gave another value when evaluated again");
        for (int k = 0; k < kSlots; ++k)
            ZT_FUZZ_CHECK(SameBits(t[k], s[k]), std::string(study.name) + " slot " + std::to_string(k) +
                                                    " changed when evaluated again");
    }

    void GetReturn(std::int32_t id, std::int32_t slot) {
        double v = 1.0;
        Library([&] { v = E_GETRETURN(id, slot); });
        if (!model_.Live(id)) {
            ZT_FUZZ_CHECK(SameBits(v, 0.0), "E_GETRETURN of an unknown id");
            ExpectMissTraced(id);
            return;
        }
        const double expected = slot >= 0 && slot < kSlots ? model_.states[id].slots[slot] : 0.0;
        ZT_FUZZ_CHECK(SameBits(v, expected), "E_GETRETURN(" + std::to_string(id) + ", " + std::to_string(slot) +
                                                 ") differs from what the last evaluation left");
    }

    void AddContext(std::int32_t c) {
        const bool failed = Library([&] { Dll_Add(c); });
        if (model_.contexts.count(c) != 0) return;
        const bool added = TraceSink::Contains("Add Context " + std::to_string(static_cast<unsigned>(c)));
        ZT_FUZZ_CHECK(added || failed, "Dll_Add(" + std::to_string(c) + ") added nothing");
        if (added) model_.contexts[c];
    }

    void CheckReport() {
        TraceSink::Clear();
        Library([] { LogMemoryReport(); });
        const std::string expected = model_.Report();
        const std::string& got = TraceSink::Text();
        if (got != expected) {
            // Name the first line that differs.
            std::size_t line = 1, at = 0;
            while (at < got.size() && at < expected.size() && got[at] == expected[at]) line += got[at++] == '\n';
            const auto lineAt = [](const std::string& t, std::size_t n) {
                std::size_t start = 0;
                for (std::size_t i = 1; i < n && start != std::string::npos; ++i) {
                    start = t.find('\n', start);
                    if (start != std::string::npos) ++start;
                }
                if (start == std::string::npos || start >= t.size()) return std::string("(nothing)");
                return t.substr(start, t.find('\n', start) - start);
            };
            Fail("memory report", "line " + std::to_string(line) + ": expected \"" + lineAt(expected, line) +
                                      "\", got \"" + lineAt(got, line) + "\"");
        }
        TraceSink::Clear();
    }

    // Many bars of a walk on one state, a study evaluated after each: the
    // way to reach the memory of a long chart.
    void FeedMany() {
        const std::int32_t id = ChooseId();
        const std::uint8_t m = in_.Byte();
        const int count = m < 192 ? 1 + m % 32 : (m - 191) * 8;  // now and then past the 200-bar history
        const Study& study = Studies()[in_.Byte() % Studies().size()];
        std::uint32_t x = 1u + in_.Byte();
        double p = 0.25 * (400 + in_.Byte());
        for (int i = 0; i < count; ++i) {
            x = x * 1103515245u + 12345u;
            p += 0.25 * static_cast<double>(static_cast<int>((x >> 16) % 9) - 4);
            if (p < 1.0) p = 1.0;
            const double high = p + 0.25 * ((x >> 8) % 5), low = p - 0.25 * ((x >> 4) % 3);
            const double close = (x >> 24) % 11 == 0 ? p : low + 0.25 * ((x >> 12) % 4);
            const double volume = (x >> 20) % 13 == 0 ? 0.0 : static_cast<double>((x >> 20) % 4000);
            const std::int32_t number = model_.Live(id) ? model_.states[id].lastBar + 1 : i + 1;
            if (!Store(id, number, 1260102, i, p, std::max(high, close), std::min(low, close), close, volume)) return;
            Evaluate(id, study, kProbePeriod, kProbeSmoothing, false);
        }
    }

    // The host's intrabar updates: the forming bar re-sent with other values
    // and evaluated each time, then its final values.
    void ResendAndEvaluate() {
        const std::int32_t id = ChooseId();
        const Study& study = Studies()[in_.Byte() % Studies().size()];
        const int ticks = 1 + in_.Byte() % 4;
        const std::int32_t number = ChooseBarNumber(id);
        for (int t = 0; t < ticks; ++t) {
            const double open = Price(in_), high = Price(in_), low = Price(in_), close = Price(in_);
            if (!Store(id, number, 1260102, 1000, open, high, low, close, Volume(in_))) return;
            Evaluate(id, study, kProbePeriod, kProbeSmoothing, t + 1 == ticks);
        }
    }

    void FinalProbe(const Study& study, std::size_t index) {
        std::int32_t id = 0;
        Library([&] { id = E_CREATESTATE2(1); });
        ZT_FUZZ_CHECK(id != 0, "no state could be created after the input");
        model_.Created(id, 1);
        ProbeValues values;
        {
            AllocationFailure::Armed armed;
            values = RunProbe(study, id);
        }
        const ProbeValues& fresh = FreshProbes()[index];
        for (std::size_t i = 0; i < fresh.size(); ++i) {
            ZT_FUZZ_CHECK(SameBits(values[i], fresh[i]),
                          std::string(study.name) + " on a new state differs from a fresh library at bar " +
                              std::to_string(i / kSlots + 1) + " slot " + std::to_string(i % kSlots));
        }
        Library([&] { E_DESTROYSTATE(id); });
        model_.Destroyed(id);
        CheckReport();
    }

    static constexpr int kCreationBudget = 1300;

    ByteReader& in_;
    Model model_;
    int created_ = 0;
};

}  // namespace
}  // namespace zt::fuzz

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    zt::fuzz::TraceSink::Install();
    zt::fuzz::TraceSink::Capture(true);
    zt::fuzz::FreshProbes();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    zt::fuzz::ResetLibrary();
    zt::fuzz::ByteReader in(data, size);
    zt::fuzz::Session session(in);
    session.Run();
    return 0;
}
