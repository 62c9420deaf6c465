// What the tool writes, and how: every file under a temporary name beside
// its target, moved into place only when the whole run has succeeded; the
// CSV streamed row by row as the replay computes it.
#pragma once

#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "replay/driver/bars.h"
#include "replay/driver/replay.h"

namespace zt::replay {

// An output that cannot be created or written; what() names the file.
class OutputError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Shortest text that reads back as the same double (std::to_chars), so the
// CSV is byte-identical on every platform whatever its C runtime's printf
// does. Appends to out.
void AppendNumber(std::string& out, double value);

// The CSV header line: `date,time,open,high,low,close,volume,<study.slot>...`.
std::string CsvHeader(const std::vector<Column>& columns);
// One row: the bar (date YYYYMMDD, time HHMM, prices and volume) and the
// values; "\n" alone ends it.
void AppendCsvRow(std::string& out, const Bar& bar, const double* values, std::size_t count);

// One output file. A regular file (or a name not yet taken) is written to a
// new file beside it, FILE.part (FILE.2.part, ... when that name is taken),
// and Commit() renames it over FILE; a symbolic link is followed, so the
// file it points to is replaced. "-" is the given standard output, and a
// device or a FIFO (/dev/null) is written in place: nothing to replace.
// Without Commit() the temporary file is removed.
class OutputFile {
public:
    // Throws OutputError when the temporary file cannot be created.
    OutputFile(const std::string& target, int standardOutput);
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    int fd() const { return fd_; }
    const std::string& target() const { return target_; }
    const std::filesystem::path& temporary() const { return temp_; }  // empty when written in place

    // Throws OutputError naming the target.
    void Write(const char* data, std::size_t size);
    void Write(const std::string& text) { Write(text.data(), text.size()); }
    // Closes the file and moves it into place; throws OutputError.
    void Commit();
    // Closes the file and removes the temporary file; never throws.
    void Abandon() noexcept;

private:
    void CloseFile();
    std::string target_;
    std::filesystem::path final_, temp_;
    int fd_ = -1;
    bool own_ = false;  // the descriptor is this object's to close
};

// Two outputs naming one file (by the file they reach: another spelling, a
// link), or an output naming the input, would overwrite one with the other:
// refused before anything runs. Entries are (option, file); "-" is standard
// output, devices (/dev/null) may repeat. Returns the problem, empty if none.
std::string SameFileProblem(const std::vector<std::pair<std::string, std::string>>& outputs, const std::string& input);

// Formats and writes CSV rows on a thread of its own, so that the text costs
// the replay no time: rows travel in a few fixed blocks, so memory does not
// grow with the input.
class CsvWriter : public RowSink {
public:
    CsvWriter(OutputFile& out, const std::vector<Column>& columns);
    ~CsvWriter() override;
    CsvWriter(const CsvWriter&) = delete;
    CsvWriter& operator=(const CsvWriter&) = delete;

    // Throws the writer's OutputError once a write has failed, and
    // os::Stopped when a stop signal arrives while it waits for the writer.
    void Row(const Bar& bar, const double* values) override;
    // Writes what is still queued and stops the thread; throws the first
    // write error.
    void Finish();

private:
    struct Shared;
    void Hand(bool last);
    std::shared_ptr<Shared> shared_;
    std::size_t width_;
    int current_ = -1;  // block being filled
};

}  // namespace zt::replay
