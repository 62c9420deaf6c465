// The generic entry DLL: the host passes an operation name and up to eight
// VARIANT arguments; the dispatcher converts the arguments the operation
// uses, calls the export and writes its result back as a VARIANT.
#include <cstddef>
#include <cstring>
#include <string_view>

#include "platform/variant.h"
#include "include/zarntrade.h"
#include "studies/catalogue.h"

namespace zt {

static_assert(sizeof(ZtVariant) == 16, "the host's VARIANT record is 16 bytes");
static_assert(offsetof(ZtVariant, value) == 8, "the value sits at offset 8");

double VariantToNumber(const ZtVariant* v) noexcept {
    if (v == nullptr) return 0.0;
    switch (v->vt) {
        case ZT_VT_I2: return v->value.i2;
        case ZT_VT_I4:
        case ZT_VT_INT: return v->value.i4;
        case ZT_VT_R4: return v->value.r4;
        case ZT_VT_R8: return v->value.r8;
        case ZT_VT_I1: return v->value.i1;
        case ZT_VT_UI1: return v->value.ui1;
        case ZT_VT_UI2: return v->value.ui2;
        case ZT_VT_UI4:
        case ZT_VT_UINT: return v->value.ui4;
        case ZT_VT_I8: return static_cast<double>(v->value.i8);
        default: return 0.0;
    }
}

std::int32_t TruncateToInt32(double d) noexcept {
    // -2^63 <= d < 2^63; NaN fails both comparisons.
    if (!(d >= -9223372036854775808.0 && d < 9223372036854775808.0)) return 0;
    const auto wide = static_cast<std::int64_t>(d);
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(static_cast<std::uint64_t>(wide)));
}

namespace {

using StudyEntry = double(ZT_CALL*)(std::int32_t);

struct NamedStudy {
    std::string_view name;
    StudyEntry entry;
};

// The studies the dispatcher reaches, in the order in which it tries them.
#define ZT_CONTROL(name)
#define ZT_STUDY_ONLY(name)
#define ZT_STUDY(name) {#name, &name},
#define ZT_EXPORT(kind, result, name, params) kind(name)
constexpr NamedStudy kStudies[] = {
#include "include/zarntrade_exports.inc"
    {{}, nullptr}};
#undef ZT_EXPORT
#undef ZT_STUDY
#undef ZT_STUDY_ONLY
#undef ZT_CONTROL

using catalogue::SameName;

std::int32_t IntArg(const ZtVariant* v) noexcept { return TruncateToInt32(VariantToNumber(v)); }

// Prices and volumes through the dispatcher are whole numbers.
double RealArg(const ZtVariant* v) noexcept { return static_cast<double>(IntArg(v)); }

void WriteInt(ZtVariant* result, std::int32_t value) noexcept {
    if (result == nullptr) return;
    result->vt = ZT_VT_I4;
    result->value.i4 = value;
}

void WriteReal(ZtVariant* result, double value) noexcept {
    if (result == nullptr) return;
    result->vt = ZT_VT_R8;
    result->value.r8 = value;
}

// P3 carries date * 10000 + HHMM. The product is truncated first; the time
// is then taken from the unrounded argument and becomes HHMMSS.
std::int32_t StoreBar(const ZtVariant* const p[8]) noexcept {
    const double stamp = VariantToNumber(p[2]);
    const std::int32_t date = TruncateToInt32(stamp * 0.0001);
    const std::int32_t hhmm = TruncateToInt32(stamp - static_cast<double>(date) * 10000.0);
    const auto time = static_cast<std::int32_t>(static_cast<std::uint32_t>(hhmm) * 100u);
    return E_BARVALUES(IntArg(p[0]), IntArg(p[1]), date, time, RealArg(p[3]), RealArg(p[4]),
                       RealArg(p[5]), RealArg(p[6]), RealArg(p[7]));
}

}  // namespace
}  // namespace zt

using namespace zt;

extern "C" ZT_API std::int32_t ZT_CALL DLL(ZtVariant* result, const unsigned char* name,
                                            const ZtVariant* p1, const ZtVariant* p2,
                                            const ZtVariant* p3, const ZtVariant* p4,
                                            const ZtVariant* p5, const ZtVariant* p6,
                                            const ZtVariant* p7, const ZtVariant* p8) {
    try {
        if (name == nullptr) return 0;
        char buffer[256];
        const std::size_t length = name[0];
        std::memcpy(buffer, name + 1, length);
        buffer[length] = '\0';
        const std::string_view op(buffer);  // up to the first NUL
        const ZtVariant* const p[8] = {p1, p2, p3, p4, p5, p6, p7, p8};

        if (SameName(op, "E_BARVALUES")) {
            WriteInt(result, StoreBar(p));
        } else if (SameName(op, "E_CREATESTATE")) {
            WriteInt(result, E_CREATESTATE2(IntArg(p1)));
        } else if (SameName(op, "E_CHECKSTATE")) {
            WriteInt(result, E_CHECKSTATE(IntArg(p1)));
        } else if (SameName(op, "E_DESTROYSTATE")) {
            E_DESTROYSTATE(IntArg(p1));  // the result record is left as it was
        } else if (SameName(op, "E_GETRETURN")) {
            WriteReal(result, E_GETRETURN(IntArg(p1), IntArg(p2)));
        } else {
            for (const NamedStudy* s = kStudies; s->entry != nullptr; ++s) {
                if (SameName(op, s->name)) {
                    WriteReal(result, s->entry(IntArg(p1)));
                    break;
                }
            }
            // No match: nothing is called and the result record is untouched.
        }
    } catch (...) {
    }
    return 0;
}
