// Windows harness: loads zarntrade.dll the way the host does, finds every
// export by its undecorated name, runs a registry and bar scenario through
// the real Windows code paths (DllMain, the critical section, the .def
// exports), and checks the attach and detach lines the DLL traces. Exits
// non-zero on any failure, 77 (skipped) when the native values are missing.
// Built by both Windows builds, run under wine.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "include/zarntrade.h"
#include "tests/study_values.h"

namespace {

int failures = 0;

void Check(bool ok, const std::string& what) {
    if (!ok) {
        ++failures;
        std::fprintf(stdout, "FAILED: %s\n", what.c_str());
    }
}

template <class F>
F Find(HMODULE lib, const char* name) {
    return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(lib, name)));
}

const char* const kExportNames[] = {
#define ZT_EXPORT(kind, result, name, params) #name,
#include "include/zarntrade_exports.inc"
#undef ZT_EXPORT
};

DWORD WINAPI Worker(LPVOID) { return 0; }

std::string ReadFile(const char* path) {
    std::string text;
    if (FILE* f = std::fopen(path, "rb")) {
        char buf[4096];
        for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, f)) > 0;) text.append(buf, n);
        std::fclose(f);
    }
    return text;
}

// Evaluates every study in a freshly loaded DLL over the synthetic series and
// compares each slot's bits with what the native build wrote. False when
// there is nothing to compare with.
bool CompareStudyValues(const char* dllPath, const char* nativePath) {
    const std::string native = ReadFile(nativePath);
    if (native.empty()) return false;
    HMODULE lib = LoadLibraryA(dllPath);
    Check(lib != nullptr, "reload for the study values");
    if (lib == nullptr) return true;
    using Study = double(ZT_CALL*)(std::int32_t);
    using Bands = double(ZT_CALL*)(std::int32_t, std::int32_t, std::int32_t);
    zt::test::LibraryCalls<decltype(&E_CREATESTATE2), decltype(&E_BARVALUES), decltype(&E_GETRETURN),
                           decltype(&E_DESTROYSTATE)>
        calls{Find<decltype(&E_CREATESTATE2)>(lib, "E_CREATESTATE2"), Find<decltype(&E_BARVALUES)>(lib, "E_BARVALUES"),
              Find<decltype(&E_GETRETURN)>(lib, "E_GETRETURN"), Find<decltype(&E_DESTROYSTATE)>(lib, "E_DESTROYSTATE")};
    const std::string windows = zt::test::StudyValues(calls, [lib](const zt::test::StudyInfo& info, std::int32_t id) {
        if (info.bands)
            Find<Bands>(lib, info.name)(id, zt::test::kTestBandPeriod, zt::test::kTestBandSmoothing);
        else
            Find<Study>(lib, info.name)(id);
    });
    FreeLibrary(lib);
    if (windows == native) {
        std::fprintf(stdout, "study values: %zu studies bit-identical to the native build\n",
                     zt::test::ExportedStudies().size());
        return true;
    }
    // Name the first line that differs.
    std::size_t at = 0;
    while (at < windows.size() && at < native.size() && windows[at] == native[at]) ++at;
    const std::size_t start = windows.rfind('\n', at) == std::string::npos ? 0 : windows.rfind('\n', at) + 1;
    Check(false, "study values differ from the native build at: " + windows.substr(start, windows.find('\n', start) - start));
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    const char* dllPath = argc > 1 ? argv[1] : "zarntrade.dll";
    const char* tracePath = "zt_harness_trace.txt";

    // The DLL writes its trace to the C runtime's standard error, shared with
    // this program: send it to a file while the DLL is loaded.
    std::fflush(stderr);
    const int saved = _dup(2);
    const int file = _open(tracePath, _O_CREAT | _O_TRUNC | _O_WRONLY | _O_BINARY, 0600);
    _dup2(file, 2);

    HMODULE lib = LoadLibraryA(dllPath);
    if (lib == nullptr) {
        _dup2(saved, 2);
        std::fprintf(stdout, "FAILED: cannot load %s (error %lu)\n", dllPath, GetLastError());
        return 1;
    }
    for (const char* name : kExportNames)
        Check(GetProcAddress(lib, name) != nullptr, std::string("export ") + name);

    auto create = Find<decltype(&E_CREATESTATE2)>(lib, "E_CREATESTATE2");
    auto check = Find<decltype(&E_CHECKSTATE)>(lib, "E_CHECKSTATE");
    auto destroy = Find<decltype(&E_DESTROYSTATE)>(lib, "E_DESTROYSTATE");
    auto bars = Find<decltype(&E_BARVALUES)>(lib, "E_BARVALUES");
    auto get = Find<decltype(&E_GETRETURN)>(lib, "E_GETRETURN");
    auto add = Find<decltype(&Dll_Add)>(lib, "Dll_Add");
    auto select = Find<decltype(&Dll_Context)>(lib, "Dll_Context");
    auto freeContext = Find<decltype(&Dll_Free)>(lib, "Dll_Free");
    auto report = Find<decltype(&LogMemoryReport)>(lib, "LogMemoryReport");
    auto dll = Find<decltype(&DLL)>(lib, "DLL");

    add(7);
    select(7);
    const std::int32_t a = create(1);
    const std::int32_t b = create(0);
    Check(a == 1 && b == 2, "state ids start at 1");
    Check(bars(a, 1, 1230107, 930, 10, 11, 9, 10.5, 100) == 1, "bar stored");
    Check(bars(a, 1, 1230107, 930, 10, 12, 9, 11.5, 150) == 1, "bar replaced");
    Check(get(a, 0) == 0.0 && get(a, 10) == 0.0, "slots of a new state");
    Check(check(b) == 1 && check(99) == 0, "check state");

    ZtVariant result{};
    ZtVariant p[8] = {};
    unsigned char name[] = {13, 'e', '_', 'c', 'r', 'e', 'a', 't', 'e', 's', 't', 'a', 't', 'e'};
    p[0].vt = ZT_VT_I4;
    p[0].value.i4 = 1;
    Check(dll(&result, name, &p[0], &p[1], &p[2], &p[3], &p[4], &p[5], &p[6], &p[7]) == 0, "DLL returns 0");
    Check(result.vt == ZT_VT_I4 && result.value.i4 == 3, "DLL creates state 3");

    // A thread started while the DLL is loaded is announced to it.
    HANDLE thread = CreateThread(nullptr, 0, Worker, nullptr, 0, nullptr);
    WaitForSingleObject(thread, 10000);
    CloseHandle(thread);

    report();
    destroy(a);
    freeContext(7);
    Check(check(b) == 0 && check(3) == 0, "freeing the context destroys its states");
    FreeLibrary(lib);

    std::fflush(stderr);
    _dup2(saved, 2);
    _close(file);
    const std::string trace = ReadFile(tracePath);
    auto has = [&trace](const char* line) { return trace.find(std::string(line) + "\n") != std::string::npos; };
    Check(trace.rfind("DLL_PROCESS_ATTACH\n", 0) == 0, "trace starts with DLL_PROCESS_ATTACH");
    Check(trace.size() >= 19 && trace.compare(trace.size() - 19, 19, "DLL_PROCESS_DETACH\n") == 0,
          "trace ends with DLL_PROCESS_DETACH");
    Check(has("DLL_THREAD_ATTACH") && has("DLL_THREAD_DETACH"), "thread attach and detach traced");
    for (const char* line : {"Add Context 7", "Set Context 7", "Create State: 1", "Add State 1 to Context 7",
                             "Context 7 with 3 states", "  state 2", "state 2, gc = 0", "Destroy State: 1",
                             "FindState failed for id 99", "FindState failed for id 2", "Delete Context 7"})
        Check(has(line), std::string("trace line ") + line);

    const bool compared = argc > 2 && CompareStudyValues(dllPath, argv[2]);

    if (failures != 0) {
        std::fprintf(stdout, "trace was:\n%s", trace.c_str());
        std::fprintf(stdout, "%d check(s) failed\n", failures);
        return 1;
    }
    if (!compared) {
        // The comparison is half of this test: without it the run is not a pass.
        std::fprintf(stdout, "SKIPPED: no native study values at %s to compare with (run the native preset's "
                             "tests first); every other check passed\n", argc > 2 ? argv[2] : "(none given)");
        return 77;
    }
    std::fprintf(stdout, "windows harness: all checks passed\n");
    return 0;
}
