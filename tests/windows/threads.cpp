// The DLL's lock-free repeat look-up under Windows threads: the state a
// thread found last is kept in the thread's own TLS copy, so
// - a thread that was running before the DLL was loaded gets its copy too;
// - a state released since a thread found it is not found again by it
//   (answers 0.0, as an unknown id does);
// - workers feeding and evaluating states of their own while another thread
//   creates, destroys and frees other states and contexts get, bit for bit,
//   what the same work gives on one thread.
// Exits non-zero on any failure. Built by both Windows builds, run under wine.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "include/zarntrade.h"

namespace {

int failures = 0;

void Check(bool ok, const std::string& what) {
    if (!ok) {
        ++failures;
        std::printf("FAILED: %s\n", what.c_str());
    }
}

template <class F>
F Find(HMODULE lib, const char* name) {
    return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(lib, name)));
}

using Study = double(ZT_CALL*)(std::int32_t);

struct Calls {
    decltype(&E_CREATESTATE2) create;
    decltype(&E_DESTROYSTATE) destroy;
    decltype(&E_BARVALUES) bars;
    decltype(&E_GETRETURN) get;
    decltype(&Dll_Add) add;
    decltype(&Dll_Context) select;
    decltype(&Dll_Free) freeContext;
    Study upsell;
    Study a900;
};
Calls lib;

constexpr int kWorkers = 4;
constexpr int kBars = 1000;

// One bar of a worker's own price path (exact in binary, so every build
// starts from the same inputs).
void SendBar(std::int32_t id, int bar, int seed, bool forming) {
    const double base = 4000.0 + 0.25 * ((bar * 37 + seed * 11) % 97) - 0.5 * ((bar * 13) % 41);
    const double high = base + 0.25 * ((bar + seed) % 7 + 1);
    const double low = base - 0.25 * ((bar * 3 + seed) % 5 + 1);
    const double close = forming ? base : base + 0.25 * ((bar + 2 * seed) % 5 - 2);
    lib.bars(id, bar + 1, 1060102, 900 + bar % 60, base, high, low, close, forming ? 50.0 : 100.0 + bar % 17);
}

// A worker's work on two fresh states of its own: every value it saw.
std::vector<double> Work(int seed, std::int32_t a, std::int32_t b) {
    std::vector<double> out;
    for (int bar = 0; bar < kBars; ++bar) {
        SendBar(a, bar, seed, true);
        out.push_back(lib.upsell(a));
        SendBar(a, bar, seed, false);
        out.push_back(lib.upsell(a));
        for (int k = 1; k < 3; ++k) out.push_back(lib.get(a, k));
        SendBar(b, bar, seed + 1, false);
        out.push_back(lib.a900(b));
        out.push_back(lib.get(b, 0));
    }
    lib.destroy(a);
    lib.destroy(b);
    return out;
}

// The selected chart context is the process's, so a state created while the
// churn has its own context selected would join that context and go when
// the churn frees it: the workers' states are made before the churn starts.
struct Worker {
    int seed = 0;
    std::vector<std::int32_t> states;  // two for each pass
    std::vector<double> want;
    int differing = 0;  // passes that did not give `want`
};

constexpr int kPasses = 25;

std::atomic<bool> churning{true};
std::atomic<int> churnRounds{0};

DWORD WINAPI RunWorker(LPVOID p) {
    auto* w = static_cast<Worker*>(p);
    while (churnRounds.load() == 0) Sleep(0);
    for (std::size_t i = 0; i + 1 < w->states.size(); i += 2) {
        const std::vector<double> got = Work(w->seed, w->states[i], w->states[i + 1]);
        if (got.size() != w->want.size() || std::memcmp(got.data(), w->want.data(), got.size() * sizeof(double)) != 0)
            ++w->differing;
    }
    return 0;
}

// Creates, feeds, destroys states and frees contexts of its own until told
// to stop: every release starts a new generation. Its states are made with
// the gc flag and all released, so the live-state limit never evicts a
// worker's state.
DWORD WINAPI Churn(LPVOID) {
    for (int round = 0; churning.load(); ++round) {
        const std::int32_t context = 1000 + round % 5;
        lib.add(context);
        lib.select(context);
        const std::int32_t id = lib.create(1);
        SendBar(id, 0, round, false);
        lib.a900(id);
        lib.select(0);
        if (round % 2 == 0) lib.destroy(id);
        lib.freeContext(context);
        churnRounds.store(round + 1);
    }
    return 0;
}

// Started before the DLL is loaded; finds a state once the DLL is there,
// waits while the main thread destroys it, then looks it up again.
struct EarlyThread {
    HANDLE loaded;
    HANDLE found;
    HANDLE destroyed;
    std::int32_t id = 0;
    double before = 0.0;
    double after = 1.0;
    double slotAfter = 1.0;
};

DWORD WINAPI RunEarly(LPVOID p) {
    auto* e = static_cast<EarlyThread*>(p);
    WaitForSingleObject(e->loaded, INFINITE);
    e->id = lib.create(1);
    for (int bar = 0; bar < 10; ++bar) SendBar(e->id, bar, 3, false);
    e->before = lib.a900(e->id);
    SetEvent(e->found);
    WaitForSingleObject(e->destroyed, INFINITE);
    e->after = lib.a900(e->id);
    e->slotAfter = lib.get(e->id, 0);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: zt_windows_threads ZARNTRADE.DLL\n");
        return 2;
    }
    EarlyThread early;
    early.loaded = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    early.found = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    early.destroyed = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HANDLE earlyThread = CreateThread(nullptr, 0, RunEarly, &early, 0, nullptr);
    Sleep(20);

    HMODULE dll = LoadLibraryA(argv[1]);
    if (dll == nullptr) {
        std::printf("FAILED: cannot load %s\n", argv[1]);
        return 1;
    }
    lib = {Find<decltype(&E_CREATESTATE2)>(dll, "E_CREATESTATE2"), Find<decltype(&E_DESTROYSTATE)>(dll, "E_DESTROYSTATE"),
           Find<decltype(&E_BARVALUES)>(dll, "E_BARVALUES"),       Find<decltype(&E_GETRETURN)>(dll, "E_GETRETURN"),
           Find<decltype(&Dll_Add)>(dll, "Dll_Add"),               Find<decltype(&Dll_Context)>(dll, "Dll_Context"),
           Find<decltype(&Dll_Free)>(dll, "Dll_Free"),             Find<Study>(dll, "E_ZARNUPSELL"),
           Find<Study>(dll, "E_ZARNA900")};

    // The thread that ran before the load, and a state released behind its back.
    SetEvent(early.loaded);
    WaitForSingleObject(early.found, INFINITE);
    const std::int32_t mine = lib.create(1);
    SendBar(mine, 0, 5, false);
    Check(lib.a900(mine) != 0.0, "the main thread's own state");
    lib.destroy(early.id);
    SetEvent(early.destroyed);
    WaitForSingleObject(earlyThread, INFINITE);
    Check(early.id != 0 && early.before != 0.0 && std::isfinite(early.before),
          "a thread started before the load finds its state");
    Check(early.after == 0.0 && early.slotAfter == 0.0, "a state destroyed since a thread found it is not found again");
    Check(lib.a900(mine) != 0.0 && lib.get(mine, 0) == lib.a900(mine), "the main thread's state after the other's release");
    lib.destroy(mine);
    Check(lib.a900(mine) == 0.0, "the main thread's state once destroyed");

    // Workers beside the churn, against the same work on one thread.
    Worker workers[kWorkers];
    for (int i = 0; i < kWorkers; ++i) {
        workers[i].seed = 7 * i + 1;
        workers[i].want = Work(workers[i].seed, lib.create(1), lib.create(1));
    }
    for (Worker& w : workers)
        for (int i = 0; i < 2 * kPasses; ++i) w.states.push_back(lib.create(1));
    HANDLE churn = CreateThread(nullptr, 0, Churn, nullptr, 0, nullptr);
    HANDLE threads[kWorkers];
    for (int i = 0; i < kWorkers; ++i) threads[i] = CreateThread(nullptr, 0, RunWorker, &workers[i], 0, nullptr);
    WaitForMultipleObjects(kWorkers, threads, TRUE, INFINITE);
    churning.store(false);
    WaitForSingleObject(churn, INFINITE);
    std::printf("%d churn rounds beside the workers\n", churnRounds.load());
    for (int i = 0; i < kWorkers; ++i)
        Check(workers[i].differing == 0, "worker " + std::to_string(i) + " under the churn gives what it gives alone (" +
                                             std::to_string(workers[i].differing) + " of " + std::to_string(kPasses) +
                                             " passes differ)");
    std::printf("%s\n", failures == 0 ? "all passed" : "failures");
    return failures == 0 ? 0 : 1;
}
