/* A C program calling the library as a C host would, the generic DLL entry
 * included (README.md, "The generic entry", shows the same call). Over a run
 * of bars it evaluates E_ZARNA900 directly and through DLL and requires the
 * same bits, reads a return slot through DLL, and checks that a name the
 * entry does not know leaves the result untouched. Exits 0 when all agree. */
#include <stdio.h>
#include <string.h>

#include "include/zarntrade.h"

static int failures = 0;

static void check(int ok, const char* what) {
    if (!ok) {
        ++failures;
        printf("FAILED: %s\n", what);
    }
}

/* The DLL entry reads the operation name as a length byte followed by that
 * many characters (no terminator needed): "E_ZARNA900" is 10 characters. */
static const unsigned char kA900[] = "\x0a" "E_ZARNA900";
static const unsigned char kGetReturn[] = "\x0b" "E_GETRETURN";
static const unsigned char kUnknown[] = "\x08" "E_NOSUCH";

/* Calls DLL with up to two whole-number arguments; P3 to P8 stay empty. */
static ZtVariant call_dll(const unsigned char* name, int32_t a, int32_t b) {
    ZtVariant result, p[8];
    memset(&result, 0, sizeof result);
    memset(p, 0, sizeof p);
    p[0].vt = ZT_VT_I4;
    p[0].value.i4 = a;
    p[1].vt = ZT_VT_I4;
    p[1].value.i4 = b;
    check(DLL(&result, name, &p[0], &p[1], &p[2], &p[3], &p[4], &p[5], &p[6], &p[7]) == 0, "DLL returns 0");
    return result;
}

int main(void) {
    const int32_t id = E_CREATESTATE2(1);
    int bar;
    check(id != 0, "a state is created");
    for (bar = 1; bar <= 60; ++bar) {
        const double close = 100.0 + (double)((bar * 37) % 23) - 0.25 * bar;
        double direct;
        ZtVariant through;
        check(E_BARVALUES(id, bar, 1230107, 930, close - 1.0, close + 2.0, close - 3.0, close, 1000.0 + bar) == 1,
              "bar stored");
        direct = E_ZARNA900(id);
        through = call_dll(kA900, id, 0);
        check(through.vt == ZT_VT_R8 && memcmp(&through.value.r8, &direct, sizeof direct) == 0,
              "E_ZARNA900 through DLL gives the direct call's bits");
        through = call_dll(kGetReturn, id, 0);
        check(through.vt == ZT_VT_R8 && memcmp(&through.value.r8, &direct, sizeof direct) == 0,
              "slot 0 through DLL holds the study value");
    }
    {
        ZtVariant result, p[8];
        memset(&result, 0, sizeof result);
        memset(p, 0, sizeof p);
        result.vt = 0x7777;
        DLL(&result, kUnknown, &p[0], &p[1], &p[2], &p[3], &p[4], &p[5], &p[6], &p[7]);
        check(result.vt == 0x7777, "an unknown name leaves the result untouched");
    }
    E_DESTROYSTATE(id);
    check(E_CHECKSTATE(id) == 0, "the state is gone");
    if (failures == 0) printf("C caller: direct and DLL calls agree on 60 bars\n");
    return failures == 0 ? 0 : 1;
}
