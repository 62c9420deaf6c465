// The generic entry DLL(result, name, P1..P8) with arbitrary length-prefixed
// names (known ones in any letter case, with trailing bytes, or any bytes at
// all) and arbitrary VARIANT records (every type code, any value, missing
// records), with allocation failures wherever the library allocates.
//
// Each call is checked against the dispatch table and the VARIANT
// conversion as the host relies on them: DLL returns 0; a name that matches
// nothing, or E_DESTROYSTATE, leaves the result record untouched, and no call
// ever writes bytes 2 to 7 of it; the result has the type code of its
// operation; a stored bar holds exactly the converted date, time (HHMMSS)
// and whole-number prices; E_CHECKSTATE, E_GETRETURN and every study answer
// what the direct export answers for the converted arguments.
//
// Input: a header (allocation failure plan), then calls until the input
// ends: a name, then eight argument records.
#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "platform/platform.h"
#include "include/zarntrade.h"
#include "store/registry.h"

namespace zt::fuzz {
namespace {

using StudyEntry = double(ZT_CALL*)(std::int32_t);

enum class Op { BarValues, CreateState, CheckState, DestroyState, GetReturn, Study, None };

struct Name {
    std::string_view text;
    Op op;
    StudyEntry study;
};

// What the entry knows, and names it must not know.
std::vector<Name> MakeNames() {
    std::vector<Name> v = {
        {"E_BARVALUES", Op::BarValues, nullptr},     {"E_CREATESTATE", Op::CreateState, nullptr},
        {"E_CHECKSTATE", Op::CheckState, nullptr},   {"E_DESTROYSTATE", Op::DestroyState, nullptr},
        {"E_GETRETURN", Op::GetReturn, nullptr},
    };
#define ZT_CONTROL(name) v.push_back({#name, Op::None, nullptr});
#define ZT_STUDY(name) v.push_back({#name, Op::Study, &name});
#define ZT_STUDY_ONLY(name) v.push_back({#name, Op::None, nullptr});
#define ZT_EXPORT(kind, result, name, params) kind(name)
#include "include/zarntrade_exports.inc"
#undef ZT_EXPORT
#undef ZT_STUDY_ONLY
#undef ZT_STUDY
#undef ZT_CONTROL
    v.push_back({"E_CREATESTATE2", Op::None, nullptr});
    v.push_back({"", Op::None, nullptr});
    return v;
}

const std::vector<Name>& Names() {
    static const std::vector<Name> names = MakeNames();
    return names;
}

char Upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

// The entry compares the name up to its first NUL, ignoring ASCII case.
const Name* Lookup(std::string_view raw) {
    const std::string_view name = raw.substr(0, raw.find('\0'));
    for (const Name& n : Names()) {
        if (n.op == Op::None || n.text.size() != name.size()) continue;
        bool same = true;
        for (std::size_t i = 0; same && i < name.size(); ++i) same = Upper(name[i]) == Upper(n.text[i]);
        if (same) return &n;
    }
    return nullptr;
}

// ---------------------------------------------------------------------------
// The host's VARIANT as the entry reads it.

double Number(const ZtVariant* v) {
    if (v == nullptr) return 0.0;
    switch (v->vt) {
        case 2: return v->value.i2;
        case 3: case 22: return v->value.i4;
        case 4: return v->value.r4;
        case 5: return v->value.r8;
        case 16: return v->value.i1;
        case 17: return v->value.ui1;
        case 18: return v->value.ui2;
        case 19: case 23: return v->value.ui4;
        case 20: return static_cast<double>(v->value.i8);
        default: return 0.0;
    }
}

// Truncated toward zero, low 32 bits; what has no such value (NaN,
// infinities, beyond 64 bits) is 0.
std::int32_t Truncate(double d) {
    if (std::isnan(d) || d < -9223372036854775808.0 || d >= 9223372036854775808.0) return 0;
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(static_cast<std::uint64_t>(static_cast<std::int64_t>(d))));
}

std::int32_t Int(const ZtVariant* v) { return Truncate(Number(v)); }

const std::uint16_t kTypes[] = {2, 3, 4, 5, 16, 17, 18, 19, 20, 22, 23, 0, 1, 8, 11, 7, 6, 0x4005, 0x2003};

// A record holding `x` as the type code chosen (lossy where the type is).
ZtVariant Holding(std::uint16_t vt, double x) {
    ZtVariant v{};
    v.vt = vt;
    const double t = std::isnan(x) ? 0.0 : std::fmax(-9.2e18, std::fmin(9.2e18, x));
    const auto wide = static_cast<std::int64_t>(t);
    switch (vt) {
        case 4: v.value.r4 = std::fabs(x) < 3e38 || !std::isfinite(x) ? static_cast<float>(x) : 0.0f; break;
        case 5: v.value.r8 = x; break;
        case 20: v.value.i8 = wide; break;
        default: v.value.ui4 = static_cast<std::uint32_t>(static_cast<std::uint64_t>(wide)); break;
    }
    return v;
}

// ---------------------------------------------------------------------------

class Session {
public:
    explicit Session(ByteReader& in) : in_(in) {}

    void Run() {
        AllocationFailure::PlanFrom(in_);
        for (int calls = 0; !in_.Empty() && calls < 2048; ++calls) Call();
    }

private:
    std::vector<std::int32_t> LiveIds() {
        std::vector<std::int32_t> ids;
        RegistryGuard guard;
        for (const auto& entry : TheRegistries().states) ids.push_back(entry.first);
        return ids;
    }

    bool Live(std::int32_t id) {
        RegistryGuard guard;
        return TheRegistries().states.count(id) != 0;
    }

    std::vector<unsigned char> ChooseName() {
        const std::uint8_t m = in_.Byte();
        std::string text;
        if (m < 208) {
            text = std::string(Names()[in_.Byte() % Names().size()].text);
            const std::uint8_t caseMask = m % 4 == 0 ? in_.Byte() : 0;
            for (std::size_t i = 0; i < text.size(); ++i)
                if ((caseMask >> (i % 8)) & 1u && text[i] >= 'A' && text[i] <= 'Z') text[i] = static_cast<char>(text[i] + 32);
            if (m % 16 == 1) text.push_back('\0');  // a terminator the host added
            if (m % 16 == 2) text += std::string(in_.Bytes(in_.Byte() % 8));  // trailing bytes
            if (m % 16 == 3 && !text.empty()) text.pop_back();
        } else {
            text = std::string(in_.Bytes(in_.Byte()));
        }
        if (text.size() > 255) text.resize(255);
        // Exactly the length byte and the characters: reading past them is a
        // finding.
        std::vector<unsigned char> name(1 + text.size());
        name[0] = static_cast<unsigned char>(text.size());
        std::memcpy(name.data() + 1, text.data(), text.size());
        return name;
    }

    // An argument as the host might pass it, aimed at what the position
    // usually carries: a state id, a slot, a date and time, a price.
    ZtVariant Argument(int position, const std::vector<std::int32_t>& live) {
        const std::uint8_t m = in_.Byte();
        if (m >= 224) {  // anything at all
            ZtVariant v;
            unsigned char bytes[sizeof v];
            for (auto& b : bytes) b = in_.Byte();
            std::memcpy(&v, bytes, sizeof v);
            return v;
        }
        const std::uint16_t vt = kTypes[m % std::size(kTypes)];
        const std::uint8_t pick = in_.Byte();
        double x = 0.0;
        if (pick < 32) {
            const double odd[] = {std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity(),
                                  -std::numeric_limits<double>::infinity(), 1e300, -1e300, 4294967295.0,
                                  4294967296.0, -2147483649.0, 9.3e18, -0.5, 0.999999, 2147483647.5};
            x = odd[pick % std::size(odd)];
        } else if (position == 0 && !live.empty()) {
            x = live[in_.Byte() % live.size()] + (pick % 4 == 0 ? 0.75 : 0.0);
        } else if (position == 1) {
            x = static_cast<double>(static_cast<int>(in_.Byte()) - 4);  // bar numbers and slots
        } else if (position == 2) {
            x = 1260102.0 * 10000.0 + static_cast<double>(in_.Uint16() % 2400) + (pick % 2 ? 0.5 : 0.0);
        } else {
            x = 3600.0 + 0.25 * static_cast<double>(static_cast<std::int16_t>(in_.Uint16()));
        }
        ZtVariant v = Holding(vt, x);
        v.reserved1 = 0xA5A5;
        return v;
    }

    void Call() {
        const std::vector<unsigned char> name = ChooseName();
        const std::vector<std::int32_t> live = LiveIds();
        std::array<ZtVariant, 8> records{};
        std::array<const ZtVariant*, 8> p{};
        const std::uint8_t missing = in_.Byte();
        for (int i = 0; i < 8; ++i) {
            records[static_cast<std::size_t>(i)] = Argument(i, live);
            p[static_cast<std::size_t>(i)] = (missing & 0xC0) == 0xC0 && (missing & 7) == i ? nullptr : &records[static_cast<std::size_t>(i)];
        }
        const bool noResult = missing == 0xFF;
        ZtVariant result;
        std::memset(&result, 0x5C, sizeof result);
        ZtVariant before = result;

        const Name* n = Lookup(std::string_view(reinterpret_cast<const char*>(name.data()) + 1, name.size() - 1));
        const std::int32_t id = Int(p[0]);
        const bool wasLive = Live(id);

        std::int32_t r = -1;
        const std::uint32_t failuresBefore = AllocationFailure::Failures();
        {
            AllocationFailure::Armed armed;
            r = DLL(noResult ? nullptr : &result, name.data(), p[0], p[1], p[2], p[3], p[4], p[5], p[6], p[7]);
        }
        const bool failed = AllocationFailure::Failures() != failuresBefore;
        const std::string what = n != nullptr ? std::string(n->text) : std::string("an unknown name");
        ZT_FUZZ_CHECK(r == 0, "DLL returned " + std::to_string(r) + " for " + what);
        if (noResult) return;
        ZT_FUZZ_CHECK(std::memcmp(reinterpret_cast<unsigned char*>(&result) + 2, reinterpret_cast<unsigned char*>(&before) + 2, 6) == 0,
                      "DLL wrote bytes 2 to 7 of the result record for " + what);
        if (n == nullptr || n->op == Op::DestroyState) {
            ZT_FUZZ_CHECK(std::memcmp(&result, &before, sizeof result) == 0, "DLL wrote the result record for " + what);
            if (n != nullptr) ZT_FUZZ_CHECK(!Live(id), "E_DESTROYSTATE left state " + std::to_string(id));
            return;
        }

        switch (n->op) {
            case Op::BarValues: {
                ZT_FUZZ_CHECK(result.vt == ZT_VT_I4 && result.value.i4 == (wasLive ? 1 : 0),
                              "E_BARVALUES answered " + std::to_string(result.value.i4));
                if (wasLive) CheckStoredBar(id, p);
                break;
            }
            case Op::CreateState: {
                ZT_FUZZ_CHECK(result.vt == ZT_VT_I4, "E_CREATESTATE did not answer an integer");
                const std::int32_t made = result.value.i4;
                if (made == 0) {
                    ZT_FUZZ_CHECK(failed, "E_CREATESTATE failed without an allocation failure");
                    break;
                }
                RegistryGuard guard;
                const auto it = TheRegistries().states.find(made);
                ZT_FUZZ_CHECK(it != TheRegistries().states.end(), "E_CREATESTATE answered an id it did not register");
                ZT_FUZZ_CHECK(it->second->gc == (id != 0 ? 1 : 0), "the gc flag does not follow P1");
                break;
            }
            case Op::CheckState:
                ZT_FUZZ_CHECK(result.vt == ZT_VT_I4 && result.value.i4 == (wasLive ? 1 : 0),
                              "E_CHECKSTATE answered " + std::to_string(result.value.i4));
                break;
            case Op::GetReturn: {
                ZT_FUZZ_CHECK(result.vt == ZT_VT_R8, "E_GETRETURN did not answer a double");
                const double direct = E_GETRETURN(id, Int(p[1]));
                ZT_FUZZ_CHECK(SameBits(result.value.r8, direct), "E_GETRETURN through DLL differs from the export");
                break;
            }
            case Op::Study: {
                ZT_FUZZ_CHECK(result.vt == ZT_VT_R8, what + " did not answer a double");
                const double value = result.value.r8;
                if (!wasLive) {
                    ZT_FUZZ_CHECK(SameBits(value, 0.0), what + " answered an unknown id with " + std::to_string(value));
                    break;
                }
                if (failed) break;
                ZT_FUZZ_CHECK(SameBits(value, E_GETRETURN(id, 0)), what + " through DLL left another value in slot 0");
                // The same study called directly on the same bar gives the
                // same value: the entry reached that study and that state.
                const double direct = n->study(id);
                ZT_FUZZ_CHECK(SameBits(value, direct), what + " through DLL differs from the export");
                break;
            }
            default: break;
        }
    }

    // P3 = date * 10000 + HHMM: the date is the truncated product, the time
    // taken from the unrounded argument becomes HHMMSS; prices and the
    // volume are truncated to whole numbers.
    void CheckStoredBar(std::int32_t id, const std::array<const ZtVariant*, 8>& p) {
        const double stamp = Number(p[2]);
        const std::int32_t date = Truncate(stamp * 0.0001);
        const std::int32_t hhmm = Truncate(stamp - static_cast<double>(date) * 10000.0);
        const auto time = static_cast<std::int32_t>(static_cast<std::uint32_t>(hhmm) * 100u);
        RegistryGuard guard;
        const StudyState& s = *TheRegistries().states.at(id);
        ZT_FUZZ_CHECK(s.lastBarNumber == Int(p[1]), "the bar number is not P2");
        ZT_FUZZ_CHECK(s.bars.date.at(0) == date, "date " + std::to_string(s.bars.date.at(0)) + ", expected " + std::to_string(date));
        ZT_FUZZ_CHECK(s.bars.time.at(0) == time, "time " + std::to_string(s.bars.time.at(0)) + ", expected " + std::to_string(time));
        const double fields[] = {s.bars.open.at(0), s.bars.high.at(0), s.bars.low.at(0), s.bars.close.at(0),
                                 s.bars.volume.at(0)};
        for (int i = 0; i < 5; ++i)
            ZT_FUZZ_CHECK(SameBits(fields[i], static_cast<double>(Int(p[static_cast<std::size_t>(3 + i)]))),
                          "bar field " + std::to_string(i) + " is not the whole number of P" + std::to_string(4 + i));
    }

    ByteReader& in_;
};

}  // namespace
}  // namespace zt::fuzz

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    zt::fuzz::TraceSink::Install();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    zt::fuzz::ResetLibrary();
    zt::fuzz::ByteReader in(data, size);
    zt::fuzz::Session session(in);
    session.Run();
    return 0;
}
