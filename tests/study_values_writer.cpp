// Writes the native build's study values for the Windows harness to compare
// against (scripts/check.sh builds and tests the native preset first).
#include <cstdio>

#include "log/log.h"
#include "tests/study_calls.h"
#include "tests/study_values.h"

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s OUTPUT\n", argv[0]);
        return 2;
    }
    zt::TraceHook = nullptr;
    zt::test::LibraryCalls<decltype(&E_CREATESTATE2), decltype(&E_BARVALUES), decltype(&E_GETRETURN),
                           decltype(&E_DESTROYSTATE)>
        lib{&E_CREATESTATE2, &E_BARVALUES, &E_GETRETURN, &E_DESTROYSTATE};
    const std::string text = zt::test::StudyValues(
        lib, [](const zt::test::StudyInfo& info, std::int32_t id) { zt::test::StudyByName(info.name)(id); });
    std::FILE* f = std::fopen(argv[1], "wb");
    if (f == nullptr || std::fwrite(text.data(), 1, text.size(), f) != text.size() || std::fclose(f) != 0) {
        std::fprintf(stderr, "cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
