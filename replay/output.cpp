#include "replay/output.h"

#include <cerrno>
#include <charconv>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <system_error>
#include <thread>

#include "replay/driver/os.h"

namespace zt::replay {
namespace fs = std::filesystem;

void AppendNumber(std::string& out, double value) {
    char buf[32];
    const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, value);
    out.append(buf, ec == std::errc{} ? end : buf);
}

std::string CsvHeader(const std::vector<Column>& columns) {
    std::string out = "date,time,open,high,low,close,volume";
    for (const Column& c : columns) out += ',' + c.name;
    out += '\n';
    return out;
}

void AppendCsvRow(std::string& out, const Bar& bar, const double* values, std::size_t count) {
    char buf[16];
    out.append(buf, std::to_chars(buf, buf + sizeof buf, bar.date).ptr);
    out += ',';
    out.append(buf, std::to_chars(buf, buf + sizeof buf, bar.time).ptr);
    for (const double v : {bar.open, bar.high, bar.low, bar.close, bar.volume}) {
        out += ',';
        AppendNumber(out, v);
    }
    for (std::size_t c = 0; c < count; ++c) {
        out += ',';
        AppendNumber(out, values[c]);
    }
    out += '\n';
}

// ---------------------------------------------------------------------------

OutputFile::OutputFile(const std::string& target, int standardOutput) : target_(target) {
    if (target == "-") {
        target_ = "standard output";
        fd_ = standardOutput;
        return;
    }
    std::error_code ec;
    final_ = target;
    // A link is followed: the file it points to is the one replaced.
    if (fs::is_symlink(final_, ec)) final_ = fs::weakly_canonical(final_, ec);
    const fs::file_status status = fs::status(final_, ec);
    if (fs::is_directory(status)) throw OutputError(target + ": is a folder");
    int error = 0;
    if (os::IsDevice(final_) || (fs::exists(status) && !fs::is_regular_file(status))) {
        // A device or a FIFO: written in place, never replaced.
        fd_ = os::OpenForWriting(final_, error);
        if (fd_ < 0) throw OutputError(target + ": cannot open: " + os::ErrorText(error));
        own_ = true;
        return;
    }
    fs::path folder = final_.parent_path();
    const fs::path name = final_.filename();
    for (int n = 1; n <= 100; ++n) {
        std::string suffix;
        if (n > 1) (suffix += '.') += std::to_string(n);
        suffix += ".part";
        fs::path temp = folder / name;
        temp += suffix;
        fd_ = os::CreateNew(temp, error);
        if (fd_ >= 0) {
            temp_ = temp;
            own_ = true;
            if (fs::exists(status)) os::CopyPermissions(final_, fd_);
            return;
        }
        if (error != EEXIST) {
            throw OutputError(target + ": cannot create " + temp.string() + ": " + os::ErrorText(error));
        }
    }
    throw OutputError(target + ": cannot create a temporary file beside it (" + target + ".part and 99 more exist)");
}

OutputFile::~OutputFile() { Abandon(); }

void OutputFile::Write(const char* data, std::size_t size) {
    int error = 0;
    if (fd_ < 0) throw OutputError(target_ + ": write after close");
    if (!os::WriteAll(fd_, data, size, error)) {
        if (error == EINTR) throw os::Stopped();
        throw OutputError(target_ + ": write error: " + os::ErrorText(error));
    }
}

void OutputFile::CloseFile() {
    if (own_ && fd_ >= 0) os::Close(fd_);
    fd_ = -1;
}

void OutputFile::Commit() {
    CloseFile();
    if (temp_.empty()) return;
    std::string problem;
    if (!os::Replace(temp_, final_, problem)) {
        Abandon();
        throw OutputError(target_ + ": cannot replace the file: " + problem);
    }
    temp_.clear();
}

void OutputFile::Abandon() noexcept {
    CloseFile();
    if (!temp_.empty()) {
        std::error_code ignored;
        fs::remove(temp_, ignored);
        temp_.clear();
    }
}

std::string SameFileProblem(const std::vector<std::pair<std::string, std::string>>& outputs, const std::string& input) {
    struct Entry {
        std::string option, file;
        os::FileKey key;
    };
    std::vector<Entry> seen;
    if (!input.empty() && input != "-") seen.push_back({"the input", input, os::KeyOf(input)});
    for (const auto& [option, file] : outputs) {
        if (file.empty()) continue;
        if (file != "-" && os::IsDevice(file)) continue;  // /dev/null twice overwrites nothing
        const os::FileKey key = file == "-" ? os::FileKey{0, 0, "-"} : os::KeyOf(file);
        for (const Entry& e : seen) {
            if (e.key == key) {
                const std::string what = file == "-" ? "standard output" : e.file == file ? file : e.file + " and " + file;
                return e.option + " and " + option + " name the same file (" + what +
                       "): one would overwrite the other";
            }
        }
        seen.push_back({option, file, key});
    }
    return {};
}

// ---------------------------------------------------------------------------
// The CSV writer's thread. The state it uses is shared, so that a writer
// stuck on a pipe nobody reads can be left behind when the run is abandoned.

namespace {
constexpr std::size_t kBlockRows = 128;
constexpr int kBlocks = 4;
constexpr auto kPoll = std::chrono::milliseconds(100);
}  // namespace

struct CsvWriter::Shared {
    struct Block {
        std::vector<Bar> bars;
        std::vector<double> values;
        std::size_t rows = 0;
    };
    int fd;
    std::string target;
    std::size_t width;
    Block blocks[kBlocks];
    std::mutex m;
    std::condition_variable toWriter, toReplay;
    std::deque<int> full, free;
    bool last = false, abort = false, failed = false, exited = false;
    bool stopped = false;  // the failure was a stop signal
    std::string error;
    std::thread thread;

    void Run() {
        os::BlockStopSignalsInThisThread();
        std::string text;
        for (;;) {
            int b = -1;
            {
                std::unique_lock lock(m);
                toWriter.wait(lock, [&] { return abort || last || !full.empty(); });
                if (abort || full.empty()) break;
                b = full.front();
                full.pop_front();
            }
            Block& block = blocks[b];
            bool ok = true;
            int code = 0;
            bool isFailed = false;
            {
                std::lock_guard lock(m);
                isFailed = failed;
            }
            if (!isFailed) {
                text.clear();
                for (std::size_t r = 0; r < block.rows; ++r)
                    AppendCsvRow(text, block.bars[r], block.values.data() + r * width, width);
                ok = os::WriteAll(fd, text.data(), text.size(), code);
            }
            {
                std::lock_guard lock(m);
                if (!ok && !failed) {
                    failed = true;
                    stopped = code == EINTR;
                    error = target + ": write error: " + os::ErrorText(code);
                }
                block.rows = 0;
                free.push_back(b);
            }
            toReplay.notify_one();
        }
        {
            std::lock_guard lock(m);
            exited = true;
        }
        toReplay.notify_all();
    }

    // Waits, under the lock, until ready() holds; a stop signal ends the wait.
    template <class Ready>
    void Wait(std::unique_lock<std::mutex>& lock, Ready ready) {
        while (!toReplay.wait_for(lock, kPoll, ready))
            if (os::StopSignal() != 0) throw os::Stopped();
    }

    void ThrowIfFailed() {
        if (!failed) return;
        if (stopped) throw os::Stopped();
        throw OutputError(error);
    }
};

CsvWriter::CsvWriter(OutputFile& out, const std::vector<Column>& columns)
    : shared_(std::make_shared<Shared>()), width_(columns.size()) {
    out.Write(CsvHeader(columns));
    Shared& s = *shared_;
    s.fd = out.fd();
    s.target = out.target();
    s.width = width_;
    for (int b = 0; b < kBlocks; ++b) {
        s.blocks[b].bars.resize(kBlockRows);
        s.blocks[b].values.resize(kBlockRows * width_);
        s.free.push_back(b);
    }
    s.thread = std::thread([shared = shared_] { shared->Run(); });
}

CsvWriter::~CsvWriter() {
    Shared& s = *shared_;
    if (!s.thread.joinable()) return;
    std::unique_lock lock(s.m);
    s.abort = true;
    s.toWriter.notify_all();
    // A writer blocked on a pipe nobody reads is left behind: it holds the
    // shared state and ends with the process.
    const bool done = s.toReplay.wait_for(lock, std::chrono::seconds(2), [&] { return s.exited; });
    lock.unlock();
    if (done) s.thread.join();
    else s.thread.detach();
}

void CsvWriter::Hand(bool last) {
    Shared& s = *shared_;
    {
        std::lock_guard lock(s.m);
        if (current_ >= 0) {
            if (s.blocks[current_].rows > 0) s.full.push_back(current_);
            else s.free.push_back(current_);
        }
        s.last = last;
        s.ThrowIfFailed();
    }
    current_ = -1;
    s.toWriter.notify_one();
}

void CsvWriter::Row(const Bar& bar, const double* values) {
    Shared& s = *shared_;
    if (current_ < 0) {
        std::unique_lock lock(s.m);
        s.Wait(lock, [&] { return !s.free.empty() || s.failed; });
        s.ThrowIfFailed();
        current_ = s.free.front();
        s.free.pop_front();
    }
    Shared::Block& block = s.blocks[current_];
    block.bars[block.rows] = bar;
    std::copy(values, values + width_, block.values.data() + block.rows * width_);
    if (++block.rows == kBlockRows) Hand(false);
}

void CsvWriter::Finish() {
    Shared& s = *shared_;
    Hand(true);
    {
        std::unique_lock lock(s.m);
        s.Wait(lock, [&] { return s.exited; });
    }
    s.thread.join();
    std::lock_guard lock(s.m);
    s.ThrowIfFailed();
}

}  // namespace zt::replay
