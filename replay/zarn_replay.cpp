// zarn-replay: drives the zarntrade studies over a series of bars exactly as
// the charting host does, and writes what they computed as a CSV (and, if
// asked, a drawing of the newest bars: an SVG picture or a self-contained
// HTML page with a crosshair readout, panels to hide and a zoom).
//
// The library is loaded only once its output has somewhere to go: it writes
// its trace to the process's standard error (and its levelled log to
// standard output), so while it is loaded both descriptors point at the
// trace file or the null device, and the tool speaks through private
// duplicates of the originals.
#include <algorithm>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <exception>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "replay/driver/bars.h"
#include "replay/drawing/drawing.h"
#include "replay/driver/library.h"
#include "replay/driver/os.h"
#include "replay/output.h"
#include "replay/progress.h"
#include "replay/driver/replay.h"
#include "replay/driver/signals.h"
#include "replay/driver/study_table.h"
#include "replay/driver/trades.h"

using namespace zt::replay;

namespace {

constexpr const char* kUsage = R"(usage: zarn-replay [options] [BARS.csv]

Replays bars through the zarntrade studies as the charting host does and
writes one CSV row per bar: the bar, then every slot of every study.
Without BARS.csv it replays a built-in synthetic series; - reads standard
input.

  -o, --output FILE    write the CSV to FILE (default: standard output)
      --chart FILE     also draw the bars and studies: an SVG file,
                       or with FILE.html a page with a crosshair and zoom
      --chart-bars N   bars drawn, newest last (default 250, 0: all)
      --trace FILE     keep the library's trace lines in FILE (default: dropped)
      --studies LIST   comma-separated studies to run (default: all); names
                       are case-insensitive, E_ZARN may be left out (mp,fast104)
      --ebands P,S     period and smoothing of E_ZARNEBANDS (default 80,14)
      --ticks N        send every forming bar N times with intrabar values
                       before its final values, evaluating each time
      --tick-file FILE read trades (date, time, price, size) instead of bars
                       and send every trade as an update of the forming bar
      --timeframe TF   the bars the trades form: 1m, 5m, 15m, 1h or 1d
      --signal-report FILE
                       with --ticks or --tick-file: write the confirmation
                       report, one row per signal slot: what the forming bar
                       showed against what the closed bar kept
      --via-dll        call through the DLL entry with VARIANT arguments
                       wherever it knows the operation (prices become whole)
      --states N       N study states on the chart, the studies assigned in
                       turn (at most 1000); every state of a study must agree
      --bars N         length of the built-in series (default 3000)
      --seed N         seed of the built-in series (default 1)
      --library FILE   the zarntrade library to load (default: the build's)
      --stats          report the replay's speed on standard error
      --list           list the studies and exit
      --version        print the version and exit
  -h, --help           show this help
Options take their value as --name VALUE or --name=VALUE. Files are
replaced only when the whole run succeeds.

Input CSV: a header line naming the columns, in any order: date, time,
open, high, low, close, volume (or one date-time column; time and volume
may be left out; other columns are not used). Comma, semicolon or tab;
dates YYYYMMDD, YYYY-MM-DD, MM/DD/YYYY or DD.MM.YYYY; times HHMM, HH:MM or
HH:MM:SS (seconds are dropped); oldest bar first.

Trade file (--tick-file): date and time with seconds (or one date-time
column), price and size, oldest first, same layouts; intraday bars are
stamped with the end of their interval (09:00:00 to 09:00:59 form 0901).

Exit codes: 0 done, 1 bad input or an output that cannot be written,
2 bad options, 3 the library could not be loaded or broke its contract.
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
    std::string drawing;  // --chart
    std::string trace;
    std::string library;
    std::string tickFile;
    std::optional<Timeframe> timeframe;
    std::string signalReport;
    std::size_t drawingBars = 250;  // --chart-bars
    std::vector<const StudyInfo*> studies;
    ReplayOptions replay;
    std::size_t syntheticBars = 3000;
    std::uint64_t seed = 1;
    bool stats = false;
    bool list = false;
    bool version = false;
    bool help = false;
};

std::string_view Trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

// Names trimmed; a study named twice runs once, where it was first named.
std::vector<const StudyInfo*> ParseStudies(std::string_view list) {
    std::vector<const StudyInfo*> chosen;
    while (!list.empty()) {
        const std::size_t comma = list.find(',');
        const std::string_view name = Trim(list.substr(0, comma));
        list = comma == std::string_view::npos ? std::string_view{} : list.substr(comma + 1);
        if (name.empty()) continue;
        const StudyInfo* s = FindStudy(name);
        if (s == nullptr) {
            std::string problem = "--studies: ";
            problem.append(name);
            problem += " is not a study (zarn-replay --list shows them)";
            throw UsageError(problem);
        }
        if (std::find(chosen.begin(), chosen.end(), s) == chosen.end()) chosen.push_back(s);
    }
    if (chosen.empty()) throw UsageError("--studies: no study named");
    return chosen;
}

Arguments Parse(int argc, char** argv) {
    Arguments a;
    bool studiesGiven = false;
    for (int i = 1; i < argc; ++i) {
        std::string_view arg = argv[i];
        // --name=value as well as --name value.
        std::optional<std::string_view> inlineValue;
        if (arg.size() > 2 && arg.substr(0, 2) == "--") {
            if (const std::size_t eq = arg.find('='); eq != std::string_view::npos) {
                inlineValue = arg.substr(eq + 1);
                arg = arg.substr(0, eq);
            }
        }
        const auto value = [&]() -> std::string_view {
            if (inlineValue) return *inlineValue;
            if (i + 1 >= argc) throw UsageError(std::string(arg) + " needs a value");
            return argv[++i];
        };
        const auto file = [&]() -> std::string {
            const std::string_view v = value();
            if (v.empty()) throw UsageError(std::string(arg) + " needs a file name");
            return std::string(v);
        };
        const auto flag = [&](bool& f) {
            if (inlineValue) throw UsageError(std::string(arg) + " takes no value");
            f = true;
        };
        if (arg == "-h" || arg == "--help") flag(a.help);
        else if (arg == "--list") flag(a.list);
        else if (arg == "--version") flag(a.version);
        else if (arg == "--stats") flag(a.stats);
        else if (arg == "--via-dll") flag(a.replay.viaDll);
        else if (arg == "-o" || arg == "--output") a.output = file();
        else if (arg == "--chart") a.drawing = file();
        else if (arg == "--trace") a.trace = file();
        else if (arg == "--library") a.library = file();
        else if (arg == "--tick-file") a.tickFile = file();
        else if (arg == "--signal-report") a.signalReport = file();
        else if (arg == "--timeframe") {
            const std::string_view v = value();
            a.timeframe = ParseTimeframe(v);
            if (!a.timeframe) throw UsageError("--timeframe takes 1m, 5m, 15m, 1h or 1d, not \"" + std::string(v) + "\"");
        }
        else if (arg == "--chart-bars") a.drawingBars = static_cast<std::size_t>(Number(arg, value(), 0, 100000000));
        else if (arg == "--ticks") a.replay.ticks = static_cast<int>(Number(arg, value(), 0, 1000));
        else if (arg == "--states") a.replay.states = static_cast<int>(Number(arg, value(), 1, 1000));
        else if (arg == "--bars") a.syntheticBars = static_cast<std::size_t>(Number(arg, value(), 1, 100000000));
        else if (arg == "--seed") a.seed = static_cast<std::uint64_t>(Number(arg, value(), 0, (1ll << 62)));
        else if (arg == "--studies") a.studies = ParseStudies(value()), studiesGiven = true;
        else if (arg == "--ebands") {
            const std::string_view v = value();
            const std::size_t comma = v.find(',');
            if (comma == std::string_view::npos) throw UsageError("--ebands takes PERIOD,SMOOTHING, e.g. 80,14");
            a.replay.bandsPeriod = static_cast<std::int32_t>(Number("--ebands period", Trim(v.substr(0, comma)), 1, 200));
            a.replay.bandsSmoothing =
                static_cast<std::int32_t>(Number("--ebands smoothing", Trim(v.substr(comma + 1)), 1, 200));
        } else if (arg.size() > 1 && arg[0] == '-') {
            throw UsageError("unknown option " + std::string(arg));
        } else if (a.input.empty()) {
            a.input = arg;
        } else {
            throw UsageError("one input file only (also given: " + std::string(arg) + ")");
        }
    }
    if (!a.tickFile.empty()) {
        if (!a.input.empty()) throw UsageError("--tick-file replaces the bars file: give one or the other");
        if (a.replay.ticks > 0) throw UsageError("--tick-file sends every trade: --ticks does not go with it");
        if (!a.timeframe) throw UsageError("--tick-file needs --timeframe (1m, 5m, 15m, 1h or 1d)");
    } else if (a.timeframe) {
        throw UsageError("--timeframe goes with --tick-file");
    }
    if (!a.signalReport.empty() && a.tickFile.empty() && a.replay.ticks == 0 && !a.help && !a.list)
        throw UsageError("--signal-report needs intrabar updates: --ticks N or --tick-file");
    if (!studiesGiven) a.studies = AllStudies();
    a.replay.studies = a.studies;
    return a;
}

bool IsHtmlName(const std::string& path) {
    const auto endsWith = [&](std::string_view suffix) {
        if (path.size() < suffix.size()) return false;
        for (std::size_t i = 0; i < suffix.size(); ++i) {
            const char c = path[path.size() - suffix.size() + i];
            if ((c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c) != suffix[i]) return false;
        }
        return true;
    };
    return endsWith(".html") || endsWith(".htm");
}

void List(std::FILE* out) {
    std::fprintf(out, "%-31s %-6s %-5s %-7s %-4s %s\n", "study", "scale", "slots", "warm-up", "DLL",
                 "slot names / what it computes");
    for (const StudyInfo& s : Studies()) {
        const CatalogueEntry& e = *s.about;
        std::string names;
        for (int k = 0; k < e.slots; ++k) {
            if (k > 0) names += ',';
            names.append(e.slotNames[k]);
        }
        std::fprintf(out, "%-31.*s %-6s %-5d %-7d %-4s %s\n", static_cast<int>(e.name.size()), e.name.data(),
                     e.scale == Scale::Price ? "price" : "panel", e.slots, e.warmup, s.viaDll ? "yes" : "no",
                     names.c_str());
        std::fprintf(out, "%-57s%.*s\n", "", static_cast<int>(e.description.size()), e.description.data());
    }
    std::fprintf(out, "%zu studies\n", Studies().size());
}

std::string Describe(const Arguments& a) {
    const std::size_t n = a.replay.states > 0 ? std::min<std::size_t>(a.studies.size(), a.replay.states) : a.studies.size();
    std::string d = std::to_string(n) + (n == 1 ? " study" : " studies");
    if (a.replay.states > 0) d += " on " + std::to_string(a.replay.states) + " states";
    if (a.timeframe) {
        d += ", trades formed into " + std::to_string(a.timeframe->seconds / 60) + "-minute bars";
        if (a.timeframe->daily()) d += " (daily)";
    } else {
        d += ", ticks " + std::to_string(a.replay.ticks);
    }
    d += a.replay.viaDll ? ", through DLL" : ", direct calls";
    return d;
}

// The tool's own standard output and error: duplicates of the descriptors
// the process started with, which the library's lines never reach.
class Console {
public:
    Console() {
        outFd_ = os::Duplicate(os::kStandardOutput);
        os::BinaryMode(outFd_);  // the CSV's "\n" stays "\n"
        const int errFd = os::Duplicate(os::kStandardError);
        err_ = errFd >= 0 ? os::StreamOn(errFd) : nullptr;
        if (err_ == nullptr) err_ = stderr;
        std::setvbuf(err_, nullptr, _IONBF, 0);
        errTerminal_ = errFd >= 0 && os::IsTerminal(errFd);
        const int outCopy = os::Duplicate(os::kStandardOutput);
        out_ = outCopy >= 0 ? os::StreamOn(outCopy) : nullptr;
        if (out_ == nullptr) out_ = stdout;
    }
    int outFd() const { return outFd_; }
    std::FILE* out() const { return out_; }
    std::FILE* err() const { return err_; }
    bool errIsTerminal() const { return errTerminal_; }

    void Say(const char* kind, const std::string& text) const {
        std::fprintf(err_, "zarn-replay: %s%s\n", kind, text.c_str());
    }

private:
    int outFd_ = -1;
    std::FILE* out_ = nullptr;
    std::FILE* err_ = nullptr;
    bool errTerminal_ = false;
};

// Points the process's standard output and error at the library's trace
// target while the library is loaded; afterwards at the null device, so
// that a late line goes nowhere and the trace file is closed before it is
// moved into place.
class LibraryStreams {
public:
    LibraryStreams(int target, int nullDevice) : null_(nullDevice) {
        std::fflush(stdout);
        std::fflush(stderr);
        if (!os::Redirect(target, os::kStandardOutput) || !os::Redirect(target, os::kStandardError))
            throw OutputError("cannot redirect the library's output: " + os::ErrorText(errno));
    }
    ~LibraryStreams() {
        std::fflush(stdout);
        std::fflush(stderr);
        os::Redirect(null_, os::kStandardOutput);
        os::Redirect(null_, os::kStandardError);
    }
    LibraryStreams(const LibraryStreams&) = delete;
    LibraryStreams& operator=(const LibraryStreams&) = delete;

private:
    int null_;
};

class NullDevice {
public:
    NullDevice() : fd_(os::OpenNullDevice()) {
        if (fd_ < 0) throw OutputError("cannot open the null device: " + os::ErrorText(errno));
    }
    ~NullDevice() { os::Close(fd_); }
    NullDevice(const NullDevice&) = delete;
    NullDevice& operator=(const NullDevice&) = delete;
    int fd() const { return fd_; }

private:
    int fd_;
};

int Run(const Arguments& args, const Console& console) {
    os::CatchStopSignals();
    int code = 0;
    std::string message;
    try {
        const std::string same = SameFileProblem(
            {{"-o", args.output}, {"--chart", args.drawing}, {"--trace", args.trace}, {"--signal-report", args.signalReport}},
            args.tickFile.empty() ? args.input : args.tickFile);
        if (!same.empty()) throw UsageError(same);

        std::unique_ptr<BarSource> bars;
        std::vector<std::string> notes;
        CsvBars* csvBars = nullptr;
        std::unique_ptr<CsvTrades> trades;
        std::unique_ptr<UpdateSource> updates;
        if (!args.tickFile.empty()) {
            trades = std::make_unique<CsvTrades>(args.tickFile);
            for (const std::string& n : trades->Notes()) console.Say("note: ", n);
            updates = std::make_unique<TradeBars>(*trades, *args.timeframe);
        } else if (args.input.empty()) {
            bars = std::make_unique<SyntheticBars>(args.syntheticBars, args.seed);
        } else {
            auto reader = std::make_unique<CsvBars>(args.input);
            csvBars = reader.get();
            for (const std::string& n : reader->Notes()) console.Say("note: ", n);
            bars = std::move(reader);
        }
        if (!updates) updates = std::make_unique<TickedBars>(*bars, args.replay.ticks);

        // Every output exists under its temporary name before the replay
        // starts: a folder that cannot be written stops the run here.
        OutputFile csv(args.output, console.outFd());
        std::optional<OutputFile> drawingFile, traceFile;
        if (!args.drawing.empty()) drawingFile.emplace(args.drawing, console.outFd());
        if (!args.trace.empty()) traceFile.emplace(args.trace, console.outFd());
        std::optional<OutputFile> reportFile;
        if (!args.signalReport.empty()) reportFile.emplace(args.signalReport, console.outFd());
        const NullDevice null;
        auto streams = std::make_unique<LibraryStreams>(traceFile ? traceFile->fd() : null.fd(), null.fd());
        auto library = std::make_unique<Library>(args.library.empty() ? DefaultLibraryFile() : std::filesystem::path(args.library));

        const std::vector<Column> columns = ReplayColumns(args.replay);
        CsvWriter writer(csv, columns);
        std::optional<DrawingRecorder> recorder;
        std::vector<RowSink*> sinks{&writer};
        if (drawingFile) sinks.push_back(&recorder.emplace(updates->Name(), columns, args.drawingBars));
        std::optional<SignalReport> report;
        if (reportFile) report.emplace(columns);
        // The page shows what the signals did while the bars formed.
        std::optional<SignalTrail> trail;
        if (drawingFile && IsHtmlName(args.drawing) && (trades || args.replay.ticks > 0))
            trail.emplace(columns, args.drawingBars);
        UpdateFanOut observers{report ? &*report : nullptr, trail ? &*trail : nullptr};
        RowFanOut rows(sinks);

        ProgressBar progress("replaying", console.err(), console.errIsTerminal());
        ReplayOptions options = args.replay;
        options.progress = [&](std::size_t n) { progress.Update(n, updates->Done()); };
        const auto start = std::chrono::steady_clock::now();
        const ReplayStats stats =
            Replay(library->exports(), *updates, options, rows, observers.OrNull());
        writer.Finish();
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        progress.Finish();
        if (reportFile) reportFile->Write(SignalReportCsv(report->Counts()));
        if (drawingFile) {
            // FILE.html (or .htm) gets the interactive page, anything else the SVG.
            const DrawingOptions drawingOptions{args.drawingBars, Describe(args)};
            DrawingData data = recorder->Data();
            if (trail) data.trailColumns = trail->Columns(), data.trails = trail->Trails();
            drawingFile->Write(IsHtmlName(args.drawing) ? DrawingHtml(data, drawingOptions) : DrawingSvg(data, drawingOptions));
        }

        library.reset();  // its last trace lines
        streams.reset();  // the trace file closed by every descriptor but its own
        if (os::StopSignal() != 0) throw os::Stopped();
        csv.Commit();
        if (drawingFile) drawingFile->Commit();
        if (traceFile) traceFile->Commit();
        if (reportFile) reportFile->Commit();

        if (csvBars != nullptr)
            for (const std::string& w : csvBars->Warnings()) console.Say("warning: ", w);
        if (args.stats) {
            const double n = static_cast<double>(stats.bars);
            std::fprintf(console.err(),
                         "zarn-replay: %zu bars, %s: %zu evaluations in %.3f s, %.0f bars/s, %.3f us per evaluation\n",
                         stats.bars, Describe(args).c_str(), stats.evaluations, seconds,
                         seconds > 0 ? n / seconds : 0.0,
                         stats.evaluations ? seconds * 1e6 / static_cast<double>(stats.evaluations) : 0.0);
            if (trades) {
                std::fprintf(console.err(), "zarn-replay: %zu trades sent as updates, %.0f trades/s\n", stats.updates,
                             seconds > 0 ? static_cast<double>(stats.updates) / seconds : 0.0);
            }
            if (report) std::fputs(SignalReportTable(report->Counts()).c_str(), console.err());
        }
        return 0;
    } catch (const os::Stopped&) {
        code = -1;
    } catch (const UsageError& e) {
        code = 2, message = std::string(e.what()) + "\n(zarn-replay --help shows the options)";
    } catch (const InputError& e) {
        code = 1, message = e.what();
    } catch (const OutputError& e) {
        code = 1, message = e.what();
    } catch (const LibraryError& e) {
        code = 3, message = e.what();
    } catch (const ReplayError& e) {
        code = 3, message = std::string("library fault: ") + e.what();
    } catch (const std::exception& e) {
        code = 1, message = e.what();
    }
    // Everything above is undone by now: temporary files removed, the
    // library unloaded.
    if (const int signal = os::StopSignal(); signal != 0) {
        console.Say("", "stopped by a signal: no file written or replaced");
        os::DieBySignal(signal);
    }
    console.Say("", message);
    return code;
}

}  // namespace

int main(int argc, char** argv) {
    const Console console;
    Arguments args;
    try {
        args = Parse(argc, argv);
    } catch (const UsageError& e) {
        console.Say("", std::string(e.what()) + "\n(zarn-replay --help shows the options)");
        return 2;
    }
    if (args.help) {
        std::fputs(kUsage, console.out());
        std::fflush(console.out());
        return 0;
    }
    if (args.version) {
        std::fputs("zarn-replay " ZT_VERSION "\n", console.out());
        std::fflush(console.out());
        return 0;
    }
    if (args.list) {
        List(console.out());
        std::fflush(console.out());
        return 0;
    }
    return Run(args, console);
}
