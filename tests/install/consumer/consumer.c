/* A C program using the installed library: it replays a CSV of bars
 * (date,time,open,high,low,close,volume, dates YYYYMMDD) through the
 * exports as a charting host does, evaluating E_ZARNMP and E_ZARNUPSELL on
 * every bar, and writes date, time and their slots (%.17g, exact) as CSV. */
#include <stdio.h>

#include <zarntrade.h>

int main(int argc, char** argv) {
    FILE* in;
    char header[256];
    long date, time;
    double open, high, low, close, volume;
    int32_t id, bar = 0;
    if (argc != 2 || (in = fopen(argv[1], "r")) == NULL) {
        fprintf(stderr, "usage: consumer_c BARS.csv\n");
        return 2;
    }
    if (fgets(header, sizeof header, in) == NULL) return 1;
    Dll_Add(1);
    Dll_Context(1);
    id = E_CREATESTATE2(1);
    if (id == 0) return 1;
    printf("date,time,E_ZARNMP.midpoint,E_ZARNMP.position,E_ZARNMP.above,E_ZARNMP.below,"
           "E_ZARNUPSELL.signal,E_ZARNUPSELL.line,E_ZARNUPSELL.smoothed\n");
    while (fscanf(in, "%ld,%ld,%lf,%lf,%lf,%lf,%lf", &date, &time, &open, &high, &low, &close, &volume) == 7) {
        double mp, upsell;
        double mpSlots[3], upsellSlots[2];
        int s;
        ++bar;
        if (E_BARVALUES(id, bar, (int32_t)(date - 19000000), (int32_t)time, open, high, low, close, volume) != 1)
            return 1;
        mp = E_ZARNMP(id);
        for (s = 0; s < 3; ++s) mpSlots[s] = E_GETRETURN(id, s + 1);
        upsell = E_ZARNUPSELL(id);
        for (s = 0; s < 2; ++s) upsellSlots[s] = E_GETRETURN(id, s + 1);
        printf("%ld,%ld,%.17g,%.17g,%.17g,%.17g,%.17g,%.17g,%.17g\n", date, time, mp, mpSlots[0], mpSlots[1],
               mpSlots[2], upsell, upsellSlots[0], upsellSlots[1]);
    }
    fclose(in);
    Dll_Free(1);
    return bar > 0 ? 0 : 1;
}
