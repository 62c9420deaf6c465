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

// What a live chart sends: every update of the forming bar, the last of them
// its final values.
class UpdateSource {
public:
    virtual ~UpdateSource() = default;
    // The next update; last is true on the bar's final one. False after the
    // last bar.
    virtual bool Next(Bar& update, bool& last) = 0;
    virtual const std::string& Name() const = 0;
    // Share of the input done, 0 to 1; negative when not known.
    virtual double Done() const = 0;
};

// What the bar and trade readers share: the input read in chunks (a file,
// standard input or text in memory), a header line naming the columns,
// fields split and unquoted, numbers, dates and times read, and every
// problem named by file, line and column. Separators: comma, semicolon or
// tab, whichever the header uses; fields may be double-quoted; a UTF-8
// byte-order mark, CR LF line ends, blank lines and spaces around fields are
// accepted. Dates: YYYYMMDD, YYYY-MM-DD, YYYY/MM/DD, MM/DD/YYYY, DD.MM.YYYY
// (1900 to 2099). Times: HHMM, HHMMSS, HH:MM, HH:MM:SS (fractions of a
// second and a UTC offset are read and not used); either a date column and a
// time column, or one column with both (datetime, timestamp, or a date column
// whose values carry the time). Numbers: finite, magnitude at most 1e15.
class CsvFile {
public:
    CsvFile(const CsvFile&) = delete;
    CsvFile& operator=(const CsvFile&) = delete;

    // Known after the header: columns not used, columns left out.
    const std::vector<std::string>& Notes() const { return notes_; }

protected:
    // Roles every layout knows; a layout numbers its own from kFirstValue.
    enum : unsigned char { kUnused, kDate, kTime, kDateTime, kFirstValue, kRoles = 12 };
    struct Column {
        unsigned char role = kUnused;
        std::string name;  // as the header writes it
    };
    // A date and a time of day as a row gives them.
    struct Stamp {
        std::int32_t date = 0;  // YYYYMMDD
        std::int32_t time = 0;  // HHMM, 0 without a time
        int second = 0;         // 0 to 59
        bool seconds = false;   // the text carried seconds (or fractions) other than zero
        bool timed = false;     // a time was given
        std::size_t column = 0; // where the time (or, without one, the date) was read
    };

    // "-" reads standard input. what names the rows in messages ("bars").
    CsvFile(const std::string& path, std::size_t chunk, std::string_view what);
    CsvFile(std::string text, std::string name, std::size_t chunk, std::string_view what);
    virtual ~CsvFile();

    // Reads the header line; the derived reader calls it from its
    // constructor. ownHeader is the layout's own header, quoted in messages.
    void ReadHeader(std::string_view ownHeader);
    // The role of a header name: lower case, without spaces, underscores,
    // hyphens and surrounding <>; kUnused for columns the layout does not use.
    virtual unsigned char RoleOf(std::string_view key) const = 0;
    // After the roles are known: throws for a column missing.
    virtual void CheckColumns(const std::string& headerText) const = 0;

    // The next non-blank line split into fields_, as many as the header
    // names; false at the end of the input.
    bool NextRow();
    Stamp ReadStamp() const;
    [[noreturn]] void Fail(std::size_t column, std::string_view text, const std::string& problem) const;
    double Number(std::size_t column) const;
    bool Has(unsigned char role) const { return at_[role] != columns_.size(); }
    std::string Line() const { return name_ + ":" + std::to_string(lineNo_); }

    std::string name_;
    std::string what_;
    std::size_t lineNo_ = 0;
    std::vector<Column> columns_;
    std::size_t at_[kRoles] = {};  // column of each role; columns_.size() when absent
    std::vector<std::string_view> fields_;
    std::vector<std::string> notes_;

    double DoneShare() const;

private:
    bool NextLine(std::string_view& line);
    void Split(std::string_view line);
    void Refill();

    int fd_ = -1;
    bool ownFd_ = false;
    bool eof_ = false;
    std::vector<char> buffer_;
    std::size_t begin_ = 0, end_ = 0;  // unread bytes in buffer_
    std::size_t chunk_;
    long long size_ = -1;              // of the whole input, -1 if not known
    long long consumed_ = 0;           // bytes of the lines handed out
    char separator_ = ',';
    std::string unquoted_;  // quoted fields with doubled quotes, unescaped
};

// The bar reader. The first line names the columns, in any order and any
// letter case: date, time, open, high, low, close and volume (or vol), or one
// combined date-time column (datetime, timestamp, or a date column whose
// values carry the time). Other columns are not used. Layout as CsvFile
// reads it; seconds are dropped (the library's bar time is HHMM); no time
// column means daily bars (time 0). No volume column means volume 0.
//
// Errors (InputError, naming file, line and column): a row not later than the
// one before, a price or volume that is not a number, not finite or absurd
// (magnitude above 1e15), a negative volume, a bad date or time. Bars whose
// high is below the low, whose open or close lies outside the low to high, or
// with a negative price are read as they are (the library takes them) and
// counted in Warnings().
class CsvBars : public BarSource, public CsvFile {
public:
    // "-" reads standard input. Reads the header line; throws InputError.
    explicit CsvBars(const std::string& path, std::size_t chunk = std::size_t{1} << 20);
    // Over text held in memory, named as a file.
    CsvBars(std::string text, std::string name, std::size_t chunk = std::size_t{1} << 20);

    bool Next(Bar& bar) override;
    const std::string& Name() const override { return name_; }
    double Done() const override { return DoneShare(); }

    // After the last bar: bars replayed although inconsistent, seconds
    // dropped.
    std::vector<std::string> Warnings() const;

private:
    enum : unsigned char { kOpen = kFirstValue, kHigh, kLow, kClose, kVolume };
    void Start();
    unsigned char RoleOf(std::string_view key) const override;
    void CheckColumns(const std::string& headerText) const override;

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

// The day after a date YYYYMMDD.
std::int32_t NextDay(std::int32_t yyyymmdd);

// The date as the host passes it to the library: YYYMMDD, years counted
// from 1900 (20240102 -> 1240102).
inline std::int32_t HostDate(std::int32_t yyyymmdd) { return yyyymmdd - 19000000; }

}  // namespace zt::replay
