// zarn-replay: drives the zarntrade studies over a series of bars exactly as
// the charting host does, and writes what they computed as a CSV (and, if
// asked, an SVG chart).
#include <charconv>
#include <cstdio>
#include <exception>
#include <string>
#include <string_view>
#include <vector>

#include "replay/bars.h"
#include "replay/chart.h"
#include "replay/output.h"
#include "replay/progress.h"
#include "replay/replay.h"
#include "replay/study_table.h"

using namespace zt::replay;

namespace {

constexpr const char* kUsage = R"(usage: zarn-replay [options] [BARS.csv]

Replays bars through the zarntrade studies as the charting host does and
writes one CSV row per bar: the bar, then every slot of every study.
Without BARS.csv it replays a built-in synthetic series.

  -o, --output FILE    write the CSV to FILE (default: standard output)
      --chart FILE     also draw an SVG chart of the bars and studies
      --chart-bars N   bars shown in the chart, newest last (default 250, 0: all)
      --studies LIST   comma-separated studies to run (default: all); names
                       are case-insensitive, E_ZARN may be left out (mp,fast104)
      --ebands P,S     period and smoothing of E_ZARNEBANDS (default 80,14)
      --ticks N        send every forming bar N times with intrabar values
                       before its final values, evaluating each time
      --via-dll        call through the DLL entry with VARIANT arguments
                       wherever it knows the operation (prices become whole)
      --states N       N study states on the chart, the studies assigned in
                       turn (at most 1000); every state of a study must agree
      --bars N         length of the built-in series (default 3000)
      --seed N         seed of the built-in series (default 1)
      --stats          report the replay's speed on standard error
      --list           list the studies and exit
  -h, --help           show this help

Input CSV: header date,time,open,high,low,close,volume; dates YYYYMMDD,
times HHMM (0 for daily bars); oldest bar first.
)";

class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

long long Number(std::string_view option, std::string_view text, long long lo, long long hi) {
    long long v = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
    if (text.empty() || ec != std::errc{} || end != text.data() + text.size() || v < lo || v > hi) {
        throw UsageError(std::string(option) + " takes a whole number from " + std::to_string(lo) + " to " +
                         std::to_string(hi) + ", not \"" + std::string(text) + "\"");
    }
    return v;
}

struct Arguments {
    std::string input;  // empty: the built-in series
    std::string output = "-";
    std::string chart;
    std::size_t chartBars = 250;
    std::vector<const StudyInfo*> studies;
    ReplayOptions replay;
    std::size_t syntheticBars = 3000;
    std::uint64_t seed = 1;
    bool stats = false;
    bool list = false;
    bool help = false;
};

std::vector<const StudyInfo*> ParseStudies(std::string_view list) {
    std::vector<const StudyInfo*> chosen;
    while (!list.empty()) {
        const std::size_t comma = list.find(',');
        const std::string_view name = list.substr(0, comma);
        list = comma == std::string_view::npos ? std::string_view{} : list.substr(comma + 1);
        if (name.empty()) continue;
        const StudyInfo* s = FindStudy(name);
        if (s == nullptr) {
            std::string problem = "--studies: ";
            problem.append(name);
            problem += FindCatalogueEntry(name) != nullptr ? " is not in this build of the library"
                                                           : " is not a study (zarn-replay --list shows them)";
            throw UsageError(problem);
        }
        chosen.push_back(s);
    }
    if (chosen.empty()) throw UsageError("--studies: no study named");
    return chosen;
}

Arguments Parse(int argc, char** argv) {
    Arguments a;
    bool studiesGiven = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        const auto value = [&]() -> std::string_view {
            if (i + 1 >= argc) throw UsageError(std::string(arg) + " needs a value");
            return argv[++i];
        };
        if (arg == "-h" || arg == "--help") a.help = true;
        else if (arg == "--list") a.list = true;
        else if (arg == "--stats") a.stats = true;
        else if (arg == "--via-dll") a.replay.viaDll = true;
        else if (arg == "-o" || arg == "--output") a.output = value();
        else if (arg == "--chart") a.chart = value();
        else if (arg == "--chart-bars") a.chartBars = static_cast<std::size_t>(Number(arg, value(), 0, 100000000));
        else if (arg == "--ticks") a.replay.ticks = static_cast<int>(Number(arg, value(), 0, 1000));
        else if (arg == "--states") a.replay.states = static_cast<int>(Number(arg, value(), 1, 1000));
        else if (arg == "--bars") a.syntheticBars = static_cast<std::size_t>(Number(arg, value(), 1, 100000000));
        else if (arg == "--seed") a.seed = static_cast<std::uint64_t>(Number(arg, value(), 0, (1ll << 62)));
        else if (arg == "--studies") a.studies = ParseStudies(value()), studiesGiven = true;
        else if (arg == "--ebands") {
            const std::string_view v = value();
            const std::size_t comma = v.find(',');
            if (comma == std::string_view::npos) throw UsageError("--ebands takes PERIOD,SMOOTHING, e.g. 80,14");
            a.replay.bandsPeriod = static_cast<std::int32_t>(Number("--ebands period", v.substr(0, comma), 1, 200));
            a.replay.bandsSmoothing = static_cast<std::int32_t>(Number("--ebands smoothing", v.substr(comma + 1), 1, 200));
        } else if (arg.size() > 1 && arg[0] == '-') {
            throw UsageError("unknown option " + std::string(arg));
        } else if (a.input.empty()) {
            a.input = arg;
        } else {
            throw UsageError("one input file only (also given: " + std::string(arg) + ")");
        }
    }
    if (!studiesGiven) a.studies = AllStudies();
    a.replay.studies = a.studies;
    return a;
}

void List() {
    std::printf("%-31s %-6s %-5s %-4s %s\n", "study", "scale", "slots", "DLL", "slot names / what it computes");
    for (const CatalogueEntry& e : Catalogue()) {
        const StudyInfo* s = FindStudy(e.name);
        std::string names;
        for (int k = 0; k < e.slots; ++k) {
            if (k > 0) names += ',';
            names.append(e.slotNames[k]);
        }
        std::printf("%-31.*s %-6s %-5d %-4s %s%s\n", static_cast<int>(e.name.size()), e.name.data(),
                    e.scale == Scale::Price ? "price" : "panel", e.slots,
                    s == nullptr ? "-" : s->viaDll ? "yes" : "no", names.c_str(),
                    s == nullptr ? "  (not in this build)" : "");
        std::printf("%-49s%.*s\n", "", static_cast<int>(e.description.size()), e.description.data());
    }
    std::printf("%zu of %zu studies in this build\n", Studies().size(), Catalogue().size());
}

std::string Describe(const Arguments& a) {
    std::string d = std::to_string(a.studies.size()) + (a.studies.size() == 1 ? " study" : " studies");
    if (a.replay.states > 0) d += " on " + std::to_string(a.replay.states) + " states";
    d += ", ticks " + std::to_string(a.replay.ticks);
    d += a.replay.viaDll ? ", through DLL" : ", direct calls";
    return d;
}

}  // namespace

int main(int argc, char** argv) {
    Arguments args;
    try {
        args = Parse(argc, argv);
    } catch (const UsageError& e) {
        std::fprintf(stderr, "zarn-replay: %s\n(zarn-replay --help shows the options)\n", e.what());
        return 2;
    }
    if (args.help) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (args.list) {
        List();
        return 0;
    }
    try {
        const Series series = args.input.empty() ? SyntheticSeries(args.syntheticBars, args.seed)
                                                 : ReadBarsCsv(args.input);
        ProgressBar progress("replaying");
        args.replay.progress = [&](std::size_t done, std::size_t total) { progress.Update(done, total); };
        const ReplayResult result = Replay(series, args.replay);
        progress.Finish();

        std::string csv = CsvText(series, result);
        std::string svg;
        if (!args.chart.empty()) svg = ChartSvg(series, result, {args.chartBars, Describe(args)});
        WriteOutput(args.output, csv);
        if (!args.chart.empty()) WriteOutput(args.chart, svg);

        if (args.stats) {
            const double bars = static_cast<double>(series.bars.size());
            std::fprintf(stderr,
                         "zarn-replay: %zu bars, %s: %zu evaluations in %.3f s, %.0f bars/s, %.3f us per evaluation\n",
                         series.bars.size(), Describe(args).c_str(), result.evaluations, result.seconds,
                         result.seconds > 0 ? bars / result.seconds : 0.0,
                         result.evaluations ? result.seconds * 1e6 / static_cast<double>(result.evaluations) : 0.0);
        }
        return 0;
    } catch (const InputError& e) {
        std::fprintf(stderr, "zarn-replay: %s\n", e.what());
        return 1;
    } catch (const ReplayError& e) {
        std::fprintf(stderr, "zarn-replay: library fault: %s\n", e.what());
        return 3;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "zarn-replay: %s\n", e.what());
        return 1;
    }
}
