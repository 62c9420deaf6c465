/*
 * zarntrade: trading-chart studies for a charting host.
 *
 * The host creates one study state per study instance on a chart, hands it
 * every bar with E_BARVALUES, asks a study entry (E_ZARN...) for the value
 * on the newest bar and reads secondary results from ten return slots with
 * E_GETRETURN. Every export uses the Windows standard calling convention
 * under its undecorated name, takes 32-bit integers and doubles, and never
 * lets an error cross into the host: failures answer 0, 0.0 or nothing.
 */
#ifndef ZARNTRADE_H
#define ZARNTRADE_H

#include <stdint.h>

#if defined(_WIN32)
#define ZT_CALL __stdcall
#if defined(ZT_BUILDING_LIBRARY)
#define ZT_API /* exported by name through the .def file */
#else
#define ZT_API __declspec(dllimport)
#endif
#else
#define ZT_CALL
#define ZT_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* The host's OLE Automation VARIANT as the DLL entry reads it: the type code
 * at offset 0, the value at offset 8. Bytes 2 to 7 are never read and never
 * written by the library. */
typedef struct ZtVariant {
    uint16_t vt;
    uint16_t reserved1;
    uint16_t reserved2;
    uint16_t reserved3;
    union {
        int8_t i1;
        uint8_t ui1;
        int16_t i2;
        uint16_t ui2;
        int32_t i4;
        uint32_t ui4;
        int64_t i8;
        float r4;
        double r8;
    } value;
} ZtVariant;

/* VARTYPE codes the DLL entry converts; any other code reads as 0.0. */
enum {
    ZT_VT_I2 = 2,
    ZT_VT_I4 = 3,
    ZT_VT_R4 = 4,
    ZT_VT_R8 = 5,
    ZT_VT_BSTR = 8,
    ZT_VT_I1 = 16,
    ZT_VT_UI1 = 17,
    ZT_VT_UI2 = 18,
    ZT_VT_UI4 = 19,
    ZT_VT_I8 = 20,
    ZT_VT_INT = 22,
    ZT_VT_UINT = 23
};

/* The generic entry DLL(result, lengthPrefixedName, p1, ..., p8) reaches the
 * state, bar and slot exports and 30 of the studies by name, for hosts that
 * pass VARIANT arguments; EasyLanguage studies call the exports directly.
 * The name is NOT a C string: its first byte is the length n (0 to 255) and
 * the n characters follow, no terminator needed. A C caller writes
 *     static const unsigned char name[] = "\x0a" "E_ZARNA900";
 * (the separate literals keep the length byte apart from the characters). A
 * plain "E_ZARNA900" would have 'E' (69) taken as the length, and the entry
 * would read 69 bytes from it. The arguments it uses are read from p1, p2,
 * ... as numbers; the result comes back in *result as ZT_VT_I4 or ZT_VT_R8
 * (untouched when the name matches nothing); DLL itself always returns 0. */

#define ZT_EXPORT(kind, result, name, params) ZT_API result ZT_CALL name params;
#include "zarntrade_exports.inc"
#undef ZT_EXPORT

#ifdef __cplusplus
}
#endif

#endif /* ZARNTRADE_H */
