// One snapshot across builds: `write DIR` runs every study over a fixed
// series, saves the state right after a re-sent forming bar and writes the
// snapshot with the values the rest of the run gives; `resume DIR` restores
// that snapshot, runs the rest and compares every slot bit for bit. The
// native build writes, the Windows builds resume (under wine): the format and
// the arithmetic agree across machines. `seeds DIR` writes the snapshot fuzz
// target's seed snapshots.
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "include/zarntrade.h"
#include "include/zarntrade_snapshot.h"
#include "platform/platform.h"
#include "tests/snapshot_script.h"
#include "tests/study_table.h"

namespace {

using namespace zt::test;

std::vector<Step> TheScript() {
    std::vector<StudyCall> all;
    for (const StudyInfo& s : ExportedStudies()) all.push_back(StudyByName(s.name));
    return Script(SyntheticBars(400, 2024), all);
}

// The step after the push that re-sends the 290th bar.
std::size_t TheCut(const std::vector<Step>& steps) {
    for (std::size_t i = 1; i < steps.size(); ++i)
        if (steps[i].kind == Step::Push && steps[i].barNumber >= 290) {
            for (std::size_t j = i + 1; j < steps.size(); ++j)
                if (steps[j].kind == Step::Push && steps[j].barNumber == steps[i].barNumber) return j + 1;
        }
    return steps.size() / 2;
}

int Write(const std::string& dir) {
    const std::vector<Step> steps = TheScript();
    const std::size_t cut = TheCut(steps);
    const std::int32_t id = E_CREATESTATE2(1);
    std::vector<double> head, rest;
    Run(id, steps, 0, cut, head);
    std::vector<unsigned char> bytes(static_cast<std::size_t>(zt_state_save(id, nullptr, 0)));
    zt_state_save(id, bytes.data(), static_cast<std::int32_t>(bytes.size()));
    Run(id, steps, cut, steps.size(), rest);
    std::ofstream(dir + "/snapshot.bin", std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    std::FILE* f = std::fopen((dir + "/snapshot_rest.txt").c_str(), "w");
    if (f == nullptr) return 1;
    for (double v : rest) {
        std::uint64_t bits;
        std::memcpy(&bits, &v, sizeof bits);
        std::fprintf(f, "%016" PRIx64 "\n", bits);
    }
    std::fclose(f);
    std::printf("wrote %zu snapshot bytes and %zu values after step %zu of %zu\n", bytes.size(), rest.size(), cut,
                steps.size());
    return 0;
}

int Resume(const std::string& dir) {
    std::ifstream in(dir + "/snapshot.bin", std::ios::binary);
    const std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::FILE* f = std::fopen((dir + "/snapshot_rest.txt").c_str(), "r");
    if (bytes.empty() || f == nullptr) {
        std::printf("no snapshot in %s: run the native build's snapshot_files_write first\n", dir.c_str());
        return 1;
    }
    std::vector<std::uint64_t> expected;
    for (std::uint64_t bits; std::fscanf(f, "%" SCNx64, &bits) == 1;) expected.push_back(bits);
    std::fclose(f);

    char error[200];
    const std::int32_t id = zt_state_restore(bytes.data(), static_cast<std::int32_t>(bytes.size()), error, sizeof error);
    if (id == 0) {
        std::printf("restore refused: %s\n", error);
        return 1;
    }
    const std::vector<Step> steps = TheScript();
    std::vector<double> rest;
    Run(id, steps, TheCut(steps), steps.size(), rest);
    if (rest.size() != expected.size()) {
        std::printf("%zu values, the native run wrote %zu\n", rest.size(), expected.size());
        return 1;
    }
    for (std::size_t i = 0; i < rest.size(); ++i) {
        std::uint64_t bits;
        std::memcpy(&bits, &rest[i], sizeof bits);
        if (bits != expected[i]) {
            std::printf("value %zu: %016" PRIx64 ", the native run %016" PRIx64 "\n", i, bits, expected[i]);
            return 1;
        }
    }
    std::printf("restored %zu bytes and matched %zu values bit for bit\n", bytes.size(), rest.size());
    return 0;
}

void WriteFile(const std::string& path, const std::vector<unsigned char>& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

std::vector<unsigned char> Snapshot(std::int32_t id) {
    std::vector<unsigned char> bytes(static_cast<std::size_t>(zt_state_save(id, nullptr, 0)));
    zt_state_save(id, bytes.data(), static_cast<std::int32_t>(bytes.size()));
    return bytes;
}

// Seeds of the snapshot fuzz target: a new state, one running only the error
// bands, and one running every study.
int Seeds(const std::string& dir) {
    WriteFile(dir + "/fresh.bin", Snapshot(E_CREATESTATE2(1)));
    std::vector<double> ignored;
    const std::vector<Step> bands = Script(SyntheticBars(40, 3), {StudyByName("E_ZARNEBANDS")});
    const std::int32_t b = E_CREATESTATE2(0);
    Run(b, bands, 0, bands.size(), ignored);
    WriteFile(dir + "/bands.bin", Snapshot(b));
    const std::vector<Step> all = TheScript();
    const std::int32_t a = E_CREATESTATE2(1);
    Run(a, all, 0, all.size() / 2, ignored);
    WriteFile(dir + "/all.bin", Snapshot(a));
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    // The static core has no DllMain: the program makes the load step itself.
    zt::LibraryEntry(zt::kProcessAttach);
    if (argc == 3 && std::strcmp(argv[1], "write") == 0) return Write(argv[2]);
    if (argc == 3 && std::strcmp(argv[1], "resume") == 0) return Resume(argv[2]);
    if (argc == 3 && std::strcmp(argv[1], "seeds") == 0) return Seeds(argv[2]);
    std::fprintf(stderr, "usage: %s write|resume|seeds DIR\n", argv[0]);
    return 2;
}
