// Bars as the tool replays them: read from a CSV file one at a time or
// generated, and the intrabar snapshots that a live chart sends while a bar
// is forming.
#pragma once

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace zt::replay {

struct Bar {
    std::int32_t date;  // YYYYMMDD
    std::int32_t time;  // HHMM, 0 for daily bars
    double open, high, low, close, volume;
};

// Input that cannot be used. what() names the file, and for a bad row the
// line and the column.
class InputError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Bars, oldest first, one at a time.
class BarSource {
public:
    virtual ~BarSource() = default;
    // The next bar; false after the last one.
    virtual bool Next(Bar& bar) = 0;
    // The file name, or a description of the built-in series.
    virtual const std::string& Name() const = 0;
    // Share of the input done, 0 to 1; negative when the whole is not known
    // (a pipe).
    virtual double Done() const = 0;
};

// The CSV reader. The first line names the columns, in any order and any
// letter case: date, time, open, high, low, close and volume (or vol), or one
// combined date-time column (datetime, timestamp, or a date column whose
// values carry the time). Other columns are not used. Separators: comma,
// semicolon or tab, whichever the header uses; fields may be double-quoted;
// a UTF-8 byte-order mark, CR LF line ends, blank lines and spaces around
// fields are accepted. Dates: YYYYMMDD, YYYY-MM-DD, YYYY/MM/DD, MM/DD/YYYY,
// DD.MM.YYYY (1900 to 2099). Times: HHMM, HHMMSS, HH:MM, HH:MM:SS (seconds
// are dropped: the library's bar time is HHMM); no time column means daily
// bars (time 0). No volume column means volume 0.
//
// Errors (InputError, naming file, line and column): a row not later than the
// one before, a price or volume that is not a number, not finite or absurd
// (magnitude above 1e15), a negative volume, a bad date or time. Bars whose
// high is below the low, whose open or close lies outside the low to high, or
// with a negative price are read as they are (the library takes them) and
// counted in Warnings().
class CsvBars : public BarSource {
public:
    // "-" reads standard input. Reads the header line; throws InputError.
    explicit CsvBars(const std::string& path, std::size_t chunk = std::size_t{1} << 20);
    // Over text held in memory, named as a file.
    CsvBars(std::string text, std::string name, std::size_t chunk = std::size_t{1} << 20);
    ~CsvBars() override;
    CsvBars(const CsvBars&) = delete;
    CsvBars& operator=(const CsvBars&) = delete;

    bool Next(Bar& bar) override;
    const std::string& Name() const override { return name_; }
    double Done() const override;

    // Known after the header: columns not used, no volume column.
    const std::vector<std::string>& Notes() const { return notes_; }
    // After the last bar: bars replayed although inconsistent, seconds
    // dropped.
    std::vector<std::string> Warnings() const;

private:
    enum Role : unsigned char { kUnused, kDate, kTime, kDateTime, kOpen, kHigh, kLow, kClose, kVolume, kRoles };
    struct Column {
        Role role = kUnused;
        std::string name;  // as the header writes it
    };

    void ReadHeader();
    bool NextLine(std::string_view& line);
    void Split(std::string_view line);
    [[noreturn]] void Fail(std::size_t column, std::string_view text, const std::string& problem) const;
    double Number(std::size_t column) const;
    void Refill();

    std::string name_;
    int fd_ = -1;
    bool ownFd_ = false;
    bool eof_ = false;
    std::vector<char> buffer_;
    std::size_t begin_ = 0, end_ = 0;  // unread bytes in buffer_
    std::size_t chunk_;
    long long size_ = -1;              // of the whole input, -1 if not known
    long long consumed_ = 0;           // bytes of the lines handed out
    std::size_t lineNo_ = 0;

    char separator_ = ',';
    std::vector<Column> columns_;
    std::size_t at_[kRoles] = {};  // column of each role; columns_.size() when absent
    std::vector<std::string_view> fields_;
    std::string unquoted_;  // quoted fields with doubled quotes, unescaped

    std::vector<std::string> notes_;
    bool havePrevious_ = false;
    std::int64_t previousStamp_ = 0;
    std::size_t previousLine_ = 0;
    bool previousSeconds_ = false;
    std::size_t inconsistent_ = 0, withSeconds_ = 0;
    std::string firstInconsistent_, firstSeconds_;
};

// A whole series in memory, for tests and small tools.
struct Series {
    std::string source;
    std::vector<Bar> bars;
};
Series ReadAll(BarSource& source);
Series ParseBarsCsv(std::string text, const std::string& name);
Series ReadBarsCsv(const std::string& path);

// The built-in series: 5-minute bars of a made-up index future (09:35 to
// 16:00, weekdays from 2 January 2024) with trends, ranges, quiet and wild
// stretches, opening gaps, and bars without trades (zero volume, flat at
// the last price). Prices are quarter points, volumes whole. It uses its own
// generator and only exactly rounded arithmetic, so a seed gives the same
// bars on every platform.
class SyntheticBars : public BarSource {
public:
    SyntheticBars(std::size_t count, std::uint64_t seed);
    ~SyntheticBars() override;
    bool Next(Bar& bar) override;
    const std::string& Name() const override { return name_; }
    double Done() const override;

private:
    struct State;
    std::string name_;
    std::unique_ptr<State> s_;
};
Series SyntheticSeries(std::size_t count, std::uint64_t seed);

// The bars of a series held in memory, in order; the series must outlive it.
class SeriesBars : public BarSource {
public:
    explicit SeriesBars(const Series& s) : s_(s) {}
    bool Next(Bar& bar) override {
        if (i_ >= s_.bars.size()) return false;
        bar = s_.bars[i_++];
        return true;
    }
    const std::string& Name() const override { return s_.source; }
    double Done() const override {
        return s_.bars.empty() ? 1.0 : static_cast<double>(i_) / static_cast<double>(s_.bars.size());
    }

private:
    const Series& s_;
    std::size_t i_ = 0;
};

// The bar as the chart shows it after the first k of n equal steps along
// its price path, which runs from the open to the high, the low and the
// close (k = 0: just opened, every price the open). High and low are those
// reached so far; volume grows with the steps, in whole units. Every
// snapshot of a finite bar is finite and never beyond the bar's extremes or
// volume, however large its prices.
Bar FormingBar(const Bar& bar, int k, int n);

// The date as the host passes it to the library: YYYMMDD, years counted
// from 1900 (20240102 -> 1240102).
inline std::int32_t HostDate(std::int32_t yyyymmdd) { return yyyymmdd - 19000000; }

}  // namespace zt::replay
