// The name-dispatching DLL entry and its VARIANT conversion.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>

#include "platform/variant.h"
#include "tests/test_support.h"

namespace zt {
namespace {

ZtVariant Real(double v) {
    ZtVariant x{};
    x.vt = ZT_VT_R8;
    x.value.r8 = v;
    return x;
}

// A length-prefixed operation name as the host passes it (no terminator).
struct OpName {
    explicit OpName(const std::string& s) {
        bytes[0] = static_cast<unsigned char>(s.size());
        std::memcpy(bytes + 1, s.data(), s.size());
        bytes[1 + s.size()] = 'Z';  // not a terminator: the length rules
    }
    unsigned char bytes[260] = {};
};

// Calls DLL with the given name and up to eight arguments; the result record
// starts filled with a marker so that untouched bytes show.
struct Call {
    explicit Call(const std::string& name, std::initializer_list<ZtVariant> args = {}) {
        std::memset(&result, 0xAB, sizeof result);
        ZtVariant p[8] = {};
        int i = 0;
        for (const auto& a : args) p[i++] = a;
        OpName op(name);
        returned = DLL(&result, op.bytes, &p[0], &p[1], &p[2], &p[3], &p[4], &p[5], &p[6], &p[7]);
    }
    bool untouched() const {
        const auto* b = reinterpret_cast<const unsigned char*>(&result);
        for (std::size_t i = 0; i < sizeof result; ++i)
            if (b[i] != 0xAB) return false;
        return true;
    }
    ZtVariant result;
    std::int32_t returned = -1;
};

class Dispatcher : public ::testing::Test {
protected:
    void SetUp() override { test::ResetLibrary(); }
    void TearDown() override { test::ResetLibrary(); }
    test::QuietTrace quiet_;
};

TEST_F(Dispatcher, CreatesAndChecksStatesWithTheGcFlagFromP1) {
    Call create("E_CREATESTATE", {Real(0)});
    EXPECT_EQ(create.returned, 0);
    EXPECT_EQ(create.result.vt, ZT_VT_I4);
    EXPECT_EQ(create.result.value.i4, 1);
    EXPECT_EQ(TheRegistries().states.at(1)->gc, 0);
    // Only the type code and the value are written: bytes 2 to 7 keep theirs.
    const auto* raw = reinterpret_cast<const unsigned char*>(&create.result);
    for (int i = 2; i < 8; ++i) EXPECT_EQ(raw[i], 0xAB);

    Call check("e_checkstate", {Real(1)});  // names ignore letter case
    EXPECT_EQ(check.result.vt, ZT_VT_I4);
    EXPECT_EQ(check.result.value.i4, 1);
    Call missing("E_CheckState", {Real(2)});
    EXPECT_EQ(missing.result.value.i4, 0);

    Call destroy("E_DESTROYSTATE", {Real(1)});
    EXPECT_TRUE(destroy.untouched());
    EXPECT_TRUE(TheRegistries().states.empty());
}

TEST_F(Dispatcher, UnknownNamesCallNothingAndLeaveTheResultAlone) {
    for (const char* name : {"E_CREATESTATE2", "", "E_BARVALUE", "E_BARVALUESX", "Dll_Add",
                             "LogMemoryReport", "E_ZARNEBANDS", "E_ZARNWATERLEVEL",
                             "E_ZARNSHADOW", "E_ZARNCOLORTMPL"}) {
        Call c(name, {Real(1)});
        EXPECT_EQ(c.returned, 0) << name;
        EXPECT_TRUE(c.untouched()) << name;
    }
    EXPECT_TRUE(TheRegistries().states.empty());
    EXPECT_TRUE(TheRegistries().contexts.empty());
}

TEST_F(Dispatcher, BarValuesSplitsTheStampAndTruncatesPrices) {
    const std::int32_t id = E_CREATESTATE2(1);
    Call bar("E_BARVALUES", {Real(id), Real(1), Real(1230107.0 * 10000 + 1530), Real(12.75), Real(13.9),
                             Real(-11.5), Real(12.2), Real(1500.99)});
    EXPECT_EQ(bar.result.vt, ZT_VT_I4);
    EXPECT_EQ(bar.result.value.i4, 1);
    const BarHistory& b = TheRegistries().states.at(id)->bars;
    EXPECT_EQ(b.date.at(0), 1230107);
    EXPECT_EQ(b.time.at(0), 153000);
    EXPECT_EQ(b.open.at(0), 12.0);
    EXPECT_EQ(b.high.at(0), 13.0);
    EXPECT_EQ(b.low.at(0), -11.0);
    EXPECT_EQ(b.close.at(0), 12.0);
    EXPECT_EQ(b.volume.at(0), 1500.0);

    // Directly, the same prices are stored unchanged.
    E_BARVALUES(id, 2, 1230107, 1530, 12.75, 13.9, -11.5, 12.2, 1500.99);
    EXPECT_EQ(b.open.at(0), 12.75);

    Call unknown("E_BARVALUES", {Real(id + 1), Real(3)});
    EXPECT_EQ(unknown.result.vt, ZT_VT_I4);
    EXPECT_EQ(unknown.result.value.i4, 0);
}

TEST_F(Dispatcher, StampsMapToDateAndHhmmss) {
    const std::int32_t id = E_CREATESTATE2(1);
    const BarHistory& b = TheRegistries().states.at(id)->bars;
    struct Case {
        double date, hhmm;
    };
    int n = 1;
    for (Case c : {Case{1230107, 0}, Case{1230107, 1530}, Case{1991231, 2359}, Case{1000101, 1},
                   Case{1250630, 930}, Case{990104, 1200}, Case{1, 0}}) {
        Call("E_BARVALUES", {Real(id), Real(n++), Real(c.date * 10000 + c.hhmm)});
        EXPECT_EQ(b.date.at(0), c.date) << c.date;
        EXPECT_EQ(b.time.at(0), c.hhmm * 100) << c.date << " " << c.hhmm;
    }
}

TEST_F(Dispatcher, GetReturnAnswersADouble) {
    const std::int32_t id = E_CREATESTATE2(1);
    TheRegistries().states.at(id)->slots.values[3] = -2.25;
    Call get("E_GETRETURN", {Real(id), Real(3.9)});
    EXPECT_EQ(get.result.vt, ZT_VT_R8);
    EXPECT_EQ(get.result.value.r8, -2.25);
    Call outOfRange("E_GETRETURN", {Real(id), Real(10)});
    EXPECT_EQ(outOfRange.result.vt, ZT_VT_R8);
    EXPECT_EQ(outOfRange.result.value.r8, 0.0);
}

TEST_F(Dispatcher, MissingPointersDoNotCrash) {
    ZtVariant result{};
    unsigned char name[] = {13, 'E', '_', 'C', 'R', 'E', 'A', 'T', 'E', 'S', 'T', 'A', 'T', 'E'};
    EXPECT_EQ(DLL(nullptr, name, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr), 0);
    EXPECT_EQ(DLL(&result, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr), 0);
    EXPECT_EQ(DLL(&result, name, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr), 0);
    EXPECT_EQ(result.vt, ZT_VT_I4);
    EXPECT_EQ(result.value.i4, 2);  // the first call created state 1 without writing a result
    EXPECT_EQ(TheRegistries().states.at(2)->gc, 0);  // a missing P1 reads as 0
}

TEST(VariantConversion, EveryTypeCodeOfTheTable) {
    ZtVariant v{};
    auto as = [&v](std::uint16_t vt) {
        v.vt = vt;
        return VariantToNumber(&v);
    };
    v.value.i8 = 0;
    v.value.i2 = -300;
    EXPECT_EQ(as(ZT_VT_I2), -300.0);
    v.value.i8 = 0;
    v.value.i4 = -70000;
    EXPECT_EQ(as(ZT_VT_I4), -70000.0);
    EXPECT_EQ(as(ZT_VT_INT), -70000.0);
    v.value.r4 = 1.5f;
    EXPECT_EQ(as(ZT_VT_R4), 1.5);
    v.value.r8 = -2.75;
    EXPECT_EQ(as(ZT_VT_R8), -2.75);
    v.value.i8 = 0;
    v.value.i1 = -1;
    EXPECT_EQ(as(ZT_VT_I1), -1.0);
    v.value.ui1 = 255;
    EXPECT_EQ(as(ZT_VT_UI1), 255.0);
    v.value.i8 = 0;
    v.value.ui2 = 65535;
    EXPECT_EQ(as(ZT_VT_UI2), 65535.0);
    v.value.ui4 = 0xFFFFFFFFu;
    EXPECT_EQ(as(ZT_VT_UI4), 4294967295.0);
    EXPECT_EQ(as(ZT_VT_UINT), 4294967295.0);
    v.value.i8 = -5000000000LL;
    EXPECT_EQ(as(ZT_VT_I8), -5000000000.0);
    for (std::uint16_t other : {0, 1, 6, 7, 8, 11, 21, 0x4005, 0x2005}) EXPECT_EQ(as(other), 0.0) << other;
    EXPECT_EQ(VariantToNumber(nullptr), 0.0);
}

TEST(VariantConversion, TruncationKeepsTheLow32BitsAndRejectsWhatHasNoInteger) {
    EXPECT_EQ(TruncateToInt32(12.75), 12);
    EXPECT_EQ(TruncateToInt32(-1.9), -1);
    EXPECT_EQ(TruncateToInt32(4294967297.0), 1);
    EXPECT_EQ(TruncateToInt32(2147483648.0), std::numeric_limits<std::int32_t>::min());
    EXPECT_EQ(TruncateToInt32(-4294967295.0), 1);
    EXPECT_EQ(TruncateToInt32(std::nan("")), 0);
    EXPECT_EQ(TruncateToInt32(std::numeric_limits<double>::infinity()), 0);
    EXPECT_EQ(TruncateToInt32(-std::numeric_limits<double>::infinity()), 0);
    EXPECT_EQ(TruncateToInt32(1e19), 0);
    EXPECT_EQ(TruncateToInt32(-9223372036854775808.0), 0);  // low 32 bits of -2^63
    EXPECT_EQ(TruncateToInt32(9223372036854775808.0), 0);   // just out of range
}

}  // namespace
}  // namespace zt
