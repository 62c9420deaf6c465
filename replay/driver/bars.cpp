#include "replay/driver/bars.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "replay/driver/os.h"

namespace zt::replay {
namespace {

constexpr std::string_view kOwnHeader = "date,time,open,high,low,close,volume";
constexpr std::size_t kLongestLine = std::size_t{1} << 20;
// Prices and volumes beyond this are a unit or export error, not a market:
// studies would overflow to infinities on them.
constexpr double kAbsurd = 1e15;

bool IsLeapYear(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int DaysInMonth(int y, int m) {
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && IsLeapYear(y) ? 29 : kDays[m - 1];
}

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Text as it may be shown in a message: bytes that would not print (a
// byte-order mark, control characters) as \xNN.
std::string Shown(std::string_view text) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string s;
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (c >= 0x20 && c < 0x7F) {
            s += ch;
        } else {
            s += "\\x";
            s += kHex[c >> 4];
            s += kHex[c & 15];
        }
    }
    return s;
}

// A run of digits at text[i...], from min to max of them.
bool ReadDigits(std::string_view text, std::size_t& i, std::size_t min, std::size_t max, int& value,
                std::size_t* count = nullptr) {
    std::size_t n = 0;
    int v = 0;
    while (i + n < text.size() && IsDigit(text[i + n]) && n < max) v = v * 10 + (text[i + n++] - '0');
    if (n < min || (i + n < text.size() && IsDigit(text[i + n]))) return false;
    i += n;
    value = v;
    if (count != nullptr) *count = n;
    return true;
}

bool Is(std::string_view text, std::size_t i, char c) { return i < text.size() && text[i] == c; }

// YYYYMMDD, YYYY-MM-DD, YYYY/MM/DD, MM/DD/YYYY or DD.MM.YYYY at text[i...].
bool ReadDate(std::string_view text, std::size_t& i, std::int32_t& yyyymmdd) {
    int first = 0, y = 0, m = 0, d = 0;
    std::size_t digits = 0;
    if (!ReadDigits(text, i, 1, 8, first, &digits)) return false;
    if (digits == 8) {
        y = first / 10000, m = first / 100 % 100, d = first % 100;
    } else if (digits == 4 && (Is(text, i, '-') || Is(text, i, '/'))) {
        const char sep = text[i++];
        y = first;
        if (!ReadDigits(text, i, 1, 2, m) || !Is(text, i++, sep) || !ReadDigits(text, i, 1, 2, d)) return false;
    } else if (digits <= 2 && Is(text, i, '/')) {
        m = first;
        ++i;
        if (!ReadDigits(text, i, 1, 2, d) || !Is(text, i++, '/') || !ReadDigits(text, i, 4, 4, y)) return false;
    } else if (digits <= 2 && Is(text, i, '.')) {
        d = first;
        ++i;
        if (!ReadDigits(text, i, 1, 2, m) || !Is(text, i++, '.') || !ReadDigits(text, i, 4, 4, y)) return false;
    } else {
        return false;
    }
    if (y < 1900 || y > 2099 || m < 1 || m > 12 || d < 1 || d > DaysInMonth(y, m)) return false;
    yyyymmdd = y * 10000 + m * 100 + d;
    return true;
}

// HHMM, HHMMSS, H:MM, HH:MM or HH:MM:SS (with fractions of a second), then
// an optional UTC offset (Z, +HH:MM, -HHMM), which is not used: the clock
// time as written is the bar's time.
bool ReadTime(std::string_view text, std::size_t& i, std::int32_t& hhmm, int& second, bool& seconds) {
    int first = 0, h = 0, m = 0, s = 0;
    std::size_t digits = 0;
    if (!ReadDigits(text, i, 1, 6, first, &digits)) return false;
    if (Is(text, i, ':')) {
        if (digits > 2) return false;
        h = first;
        ++i;
        if (!ReadDigits(text, i, 2, 2, m)) return false;
        if (Is(text, i, ':')) {
            ++i;
            if (!ReadDigits(text, i, 2, 2, s)) return false;
            if (Is(text, i, '.') || Is(text, i, ',')) {  // fractions of a second
                const std::size_t from = ++i;
                while (i < text.size() && IsDigit(text[i])) ++i;
                if (i == from) return false;
                for (std::size_t j = from; j < i; ++j) seconds |= text[j] != '0';
            }
        }
    } else if (digits <= 4) {
        h = first / 100, m = first % 100;
    } else {
        h = first / 10000, m = first / 100 % 100, s = first % 100;
    }
    if (Is(text, i, 'Z')) {
        ++i;
    } else if (Is(text, i, '+') || Is(text, i, '-')) {
        int oh = 0, om = 0;
        ++i;
        if (!ReadDigits(text, i, 2, 2, oh)) return false;
        if (Is(text, i, ':')) ++i;
        if (!ReadDigits(text, i, 2, 2, om) || oh > 14 || om > 59) return false;
    }
    if (h > 23 || m > 59 || s > 59) return false;
    hhmm = h * 100 + m;
    second = s;
    seconds |= s != 0;
    return true;
}

std::string_view TrimSpaces(std::string_view s, bool tabs) {
    const auto blank = [tabs](char c) { return c == ' ' || (tabs && c == '\t') || c == '\r'; };
    while (!s.empty() && blank(s.front())) s.remove_prefix(1);
    while (!s.empty() && blank(s.back())) s.remove_suffix(1);
    return s;
}

std::string OpenProblem(const std::string& path, int error) {
    switch (error) {
        case ENOENT: return path + ": no such file";
        case EACCES: case EPERM: return path + ": cannot be read: " + os::ErrorText(error);
        default: return path + ": cannot open the file: " + os::ErrorText(error);
    }
}

}  // namespace

// ---------------------------------------------------------------------------
// The CSV layer.

CsvFile::CsvFile(const std::string& path, std::size_t chunk, std::string_view what)
    : name_(path), what_(what), chunk_(std::max<std::size_t>(chunk, 1)) {
    namespace fs = std::filesystem;
    if (path == "-") {
        name_ = "standard input";
        fd_ = 0;
    } else {
        std::error_code ec;
        if (fs::is_directory(path, ec)) throw InputError(path + ": is a folder, not a CSV file of " + what_);
        int error = 0;
        fd_ = os::OpenForReading(path, error);
        if (fd_ < 0) throw InputError(OpenProblem(path, error));
        ownFd_ = true;
    }
    size_ = os::RegularFileSize(fd_);
    buffer_.resize(chunk_);
}

CsvFile::CsvFile(std::string text, std::string name, std::size_t chunk, std::string_view what)
    : name_(std::move(name)), what_(what), eof_(true), chunk_(std::max<std::size_t>(chunk, 1)) {
    size_ = static_cast<long long>(text.size());
    buffer_.assign(text.begin(), text.end());
    end_ = buffer_.size();
}

CsvFile::~CsvFile() {
    if (ownFd_) os::Close(fd_);
}

double CsvFile::DoneShare() const {
    return size_ > 0 ? static_cast<double>(consumed_) / static_cast<double>(size_) : size_ == 0 ? 1.0 : -1.0;
}

// More bytes after the unread ones, growing the buffer for a long line.
void CsvFile::Refill() {
    if (begin_ > 0) {
        std::memmove(buffer_.data(), buffer_.data() + begin_, end_ - begin_);
        end_ -= begin_;
        begin_ = 0;
    }
    if (end_ == buffer_.size()) {
        if (end_ >= kLongestLine) {
            throw InputError(name_ + ":" + std::to_string(lineNo_ + 1) + ": a line longer than " +
                             std::to_string(kLongestLine) + " bytes: not a CSV file of " + what_);
        }
        buffer_.resize(std::min(buffer_.size() * 2, kLongestLine));
    }
    for (;;) {
        int error = 0;
        const long long n = os::Read(fd_, buffer_.data() + end_, std::min(buffer_.size() - end_, chunk_), error);
        if (n > 0) {
            end_ += static_cast<std::size_t>(n);
            return;
        }
        if (n == 0) {
            eof_ = true;
            return;
        }
        if (error == EINTR) {
            if (os::StopSignal() != 0) throw os::Stopped();
            continue;
        }
        if (error == EISDIR) throw InputError(name_ + ": is a folder, not a CSV file of " + what_);
        throw InputError(name_ + ": read error: " + os::ErrorText(error));
    }
}

bool CsvFile::NextLine(std::string_view& line) {
    for (;;) {
        const char* start = buffer_.data() + begin_;
        const auto* nl =
            begin_ < end_ ? static_cast<const char*>(std::memchr(start, '\n', end_ - begin_)) : nullptr;
        if (nl != nullptr || (eof_ && begin_ < end_)) {
            const std::size_t length = nl != nullptr ? static_cast<std::size_t>(nl - start) : end_ - begin_;
            line = std::string_view(start, length);
            const std::size_t used = length + (nl != nullptr ? 1 : 0);
            begin_ += used;
            consumed_ += static_cast<long long>(used);
            ++lineNo_;
            return true;
        }
        if (eof_) return false;
        Refill();
    }
}

// Fields of one line into fields_, quoted fields unquoted.
void CsvFile::Split(std::string_view line) {
    fields_.clear();
    unquoted_.clear();
    unquoted_.reserve(line.size());  // views into it stay valid
    const bool tabs = separator_ != '\t';
    std::size_t i = 0;
    for (;;) {
        while (i < line.size() && (line[i] == ' ' || (tabs && line[i] == '\t'))) ++i;
        if (i < line.size() && line[i] == '"') {
            const std::size_t from = unquoted_.size();
            std::size_t j = i + 1;
            for (;;) {
                const std::size_t q = line.find('"', j);
                if (q == std::string_view::npos) Fail(fields_.size(), line.substr(i), "a quote that is never closed");
                unquoted_.append(line.substr(j, q - j));
                if (q + 1 < line.size() && line[q + 1] == '"') {  // "" stands for one quote
                    unquoted_ += '"';
                    j = q + 2;
                    continue;
                }
                i = q + 1;
                break;
            }
            fields_.push_back(TrimSpaces(std::string_view(unquoted_).substr(from), tabs));
            while (i < line.size() && line[i] != separator_ && (line[i] == ' ' || line[i] == '\r' || (tabs && line[i] == '\t')))
                ++i;
            if (i < line.size() && line[i] != separator_)
                Fail(fields_.size() - 1, line.substr(i), "text after the closing quote");
        } else {
            const std::size_t sep = line.find(separator_, i);
            fields_.push_back(TrimSpaces(line.substr(i, sep == std::string_view::npos ? sep : sep - i), tabs));
            i = sep == std::string_view::npos ? line.size() : sep;
        }
        if (i >= line.size()) return;
        ++i;  // the separator; a line ending in one ends with an empty field
        if (i == line.size()) {
            fields_.push_back({});
            return;
        }
    }
}

void CsvFile::Fail(std::size_t column, std::string_view text, const std::string& problem) const {
    std::string m = name_ + ":" + std::to_string(lineNo_) + ": column " + std::to_string(column + 1);
    if (column < columns_.size() && !columns_[column].name.empty()) m += " '" + Shown(columns_[column].name) + "'";
    if (!text.empty()) m += " (\"" + Shown(text) + "\")";
    throw InputError(m + ": " + problem);
}

double CsvFile::Number(std::size_t column) const {
    const std::string_view text = fields_[column];
    if (text.empty()) Fail(column, text, "empty");
    const char* first = text.data();
    const char* last = text.data() + text.size();
    if (*first == '+') ++first;
    double v = 0.0;
    const auto [end, ec] = std::from_chars(first, last, v);
    if (ec == std::errc::result_out_of_range) Fail(column, text, "beyond the range of a number");
    if (ec != std::errc{} || end != last) {
        std::string problem = "not a number";
        if (separator_ != ',' && text.find(',') != std::string_view::npos) problem += " (a decimal comma is not read: export with a decimal point)";
        Fail(column, text, problem);
    }
    if (!std::isfinite(v)) Fail(column, text, "not a finite number");
    if (std::fabs(v) > kAbsurd) Fail(column, text, "absurd magnitude (above 1e15)");
    return v;
}

void CsvFile::ReadHeader(std::string_view ownHeader) {
    std::string_view line;
    bool any = false;
    while (NextLine(line)) {
        if (lineNo_ == 1 && line.substr(0, 3) == "\xEF\xBB\xBF") line.remove_prefix(3);  // UTF-8 byte-order mark
        line = TrimSpaces(line, true);
        if (!line.empty()) {
            any = true;
            break;
        }
    }
    if (!any) {
        throw InputError(name_ + ": empty file (expected a header line such as " + std::string(ownHeader) +
                         ", then one of the " + what_ + " per line)");
    }

    // The separator is whichever of comma, semicolon and tab the header uses
    // most, outside quotes.
    std::size_t counts[3] = {};
    bool quoted = false;
    for (const char c : line) {
        if (c == '"') quoted = !quoted;
        if (!quoted) counts[0] += c == ',', counts[1] += c == ';', counts[2] += c == '\t';
    }
    separator_ = counts[0] >= counts[1] && counts[0] >= counts[2] ? ',' : counts[1] >= counts[2] ? ';' : '\t';

    const std::string header = "(the header line reads \"" + Shown(line) + "\")";
    Split(line);
    for (std::size_t c = 0; c < fields_.size(); ++c) {
        if (!fields_[c].empty() && (IsDigit(fields_[c][0]) || fields_[c][0] == '-' || fields_[c][0] == '.')) {
            throw InputError(name_ + ":" + std::to_string(lineNo_) + ": the first line is not a header: it must name the columns, such as " +
                             std::string(ownHeader) + " " + header);
        }
    }
    columns_.assign(fields_.size(), {});
    std::fill(std::begin(at_), std::end(at_), fields_.size());
    for (std::size_t c = 0; c < fields_.size(); ++c) {
        Column& col = columns_[c];
        col.name = std::string(fields_[c]);
        // Letter case, surrounding <> (<DATE>, as some platforms write
        // them), spaces, underscores and hyphens do not matter.
        std::string key;
        std::string_view n = fields_[c];
        if (n.size() >= 2 && n.front() == '<' && n.back() == '>') n = n.substr(1, n.size() - 2);
        for (const char ch : n)
            if (ch != ' ' && ch != '_' && ch != '-') key += Lower(ch);
        if (key == "date") col.role = kDate;
        else if (key == "time") col.role = kTime;
        else if (key == "datetime" || key == "timestamp") col.role = kDateTime;
        else col.role = RoleOf(key);
        if (col.role == kUnused) continue;
        if (at_[col.role] != fields_.size()) {
            throw InputError(name_ + ":" + std::to_string(lineNo_) + ": columns " + std::to_string(at_[col.role] + 1) +
                             " and " + std::to_string(c + 1) + " both name the " + std::string(key) + " " + header);
        }
        at_[col.role] = c;
    }
    if (Has(kDateTime) && (Has(kDate) || Has(kTime))) {
        throw InputError(name_ + ":" + std::to_string(lineNo_) +
                         ": a date-time column and a date or time column as well: which one holds the time? " + header);
    }
    CheckColumns(header);

    std::string unused;
    for (std::size_t c = 0; c < columns_.size(); ++c) {
        if (columns_[c].role != kUnused) continue;
        unused += unused.empty() ? "" : ", ";
        unused += columns_[c].name.empty() ? "(unnamed column " + std::to_string(c + 1) + ")" : Shown(columns_[c].name);
    }
    if (!unused.empty()) notes_.push_back(name_ + ": columns not used: " + unused);
    fields_.reserve(columns_.size() + 1);
}

bool CsvFile::NextRow() {
    std::string_view line;
    do {
        if (!NextLine(line)) return false;
        line = TrimSpaces(line, separator_ != '\t');
    } while (line.empty());
    Split(line);
    const std::size_t width = columns_.size();
    if (fields_.size() < width) Fail(fields_.size(), {}, "missing (the header names " + std::to_string(width) + " columns)");
    if (fields_.size() > width) {
        throw InputError(name_ + ":" + std::to_string(lineNo_) + ": " + std::to_string(fields_.size()) +
                         " fields, but the header names " + std::to_string(width) + " columns");
    }
    return true;
}

CsvFile::Stamp CsvFile::ReadStamp() const {
    Stamp t;
    const std::size_t width = columns_.size();
    if (at_[kDateTime] != width || at_[kTime] == width) {
        // One column with the date and maybe a time (a date column without a
        // time column may carry the time as well).
        t.column = at_[kDateTime] != width ? at_[kDateTime] : at_[kDate];
        const std::string_view text = fields_[t.column];
        std::size_t i = 0;
        if (!ReadDate(text, i, t.date)) {
            Fail(t.column, text, "not a date (YYYYMMDD, YYYY-MM-DD, MM/DD/YYYY or DD.MM.YYYY, years 1900 to 2099)");
        }
        if (i < text.size()) {
            if (text[i] != ' ' && text[i] != 'T') Fail(t.column, text, "not a date, or a date and a time");
            while (i < text.size() && (text[i] == ' ' || text[i] == 'T')) ++i;
            if (!ReadTime(text, i, t.time, t.second, t.seconds) || i != text.size())
                Fail(t.column, text, "not a date and time (the time as HH:MM, HH:MM:SS or HHMM)");
            t.timed = true;
        }
    } else {
        const std::string_view date = fields_[at_[kDate]];
        std::size_t i = 0;
        if (!ReadDate(date, i, t.date) || i != date.size()) {
            Fail(at_[kDate], date, "not a date (YYYYMMDD, YYYY-MM-DD, MM/DD/YYYY or DD.MM.YYYY, years 1900 to 2099)");
        }
        t.column = at_[kTime];
        const std::string_view time = fields_[t.column];
        i = 0;
        if (time.empty() || !ReadTime(time, i, t.time, t.second, t.seconds) || i != time.size())
            Fail(t.column, time, "not a time (HHMM, HH:MM or HH:MM:SS)");
        t.timed = true;
    }
    return t;
}

// ---------------------------------------------------------------------------
// The bar reader.

CsvBars::CsvBars(const std::string& path, std::size_t chunk) : CsvFile(path, chunk, "bars") { Start(); }

CsvBars::CsvBars(std::string text, std::string name, std::size_t chunk)
    : CsvFile(std::move(text), std::move(name), chunk, "bars") {
    Start();
}

void CsvBars::Start() {
    ReadHeader(kOwnHeader);
    if (!Has(kVolume))
        notes_.push_back(name_ + ": no volume column: every bar gets volume 0 (studies that weigh by volume see none)");
}

unsigned char CsvBars::RoleOf(std::string_view key) const {
    if (key == "open") return kOpen;
    if (key == "high") return kHigh;
    if (key == "low") return kLow;
    if (key == "close") return kClose;
    if (key == "volume" || key == "vol") return kVolume;
    return kUnused;
}

void CsvBars::CheckColumns(const std::string& header) const {
    std::string missing;
    const auto need = [&](unsigned char r, const char* what) {
        if (!Has(r)) missing += (missing.empty() ? "" : ", ") + std::string(what);
    };
    if (!Has(kDateTime)) need(kDate, "date");
    need(kOpen, "open");
    need(kHigh, "high");
    need(kLow, "low");
    need(kClose, "close");
    if (!missing.empty()) {
        throw InputError(Line() + ": no column for " + missing + " " + header +
                         "; the columns are date (or one date-time column), time, open, high, low, close and volume, "
                         "in any order; time and volume may be left out");
    }
}

bool CsvBars::Next(Bar& b) {
    if (!NextRow()) {
        if (!havePrevious_) throw InputError(name_ + ": no bars after the header line");
        return false;
    }
    const std::size_t width = columns_.size();
    const Stamp t = ReadStamp();
    b.date = t.date;
    b.time = t.time;
    const bool seconds = t.seconds;
    std::size_t stampColumn = t.column;

    b.open = Number(at_[kOpen]);
    b.high = Number(at_[kHigh]);
    b.low = Number(at_[kLow]);
    b.close = Number(at_[kClose]);
    b.volume = at_[kVolume] != width ? Number(at_[kVolume]) : 0.0;
    if (b.volume < 0.0) Fail(at_[kVolume], fields_[at_[kVolume]], "negative volume");

    const std::int64_t stamp = static_cast<std::int64_t>(b.date) * 10000 + b.time;
    if (havePrevious_ && stamp <= previousStamp_) {
        // An earlier day is the date's fault when the date has a column of its own.
        if (at_[kTime] != width && b.date < previousStamp_ / 10000) stampColumn = at_[kDate];
        std::string problem = std::string(stamp == previousStamp_ ? "the same time as" : "earlier than") +
                              " the bar before (line " + std::to_string(previousLine_) + "): bars go oldest first, one per time";
        if (seconds || previousSeconds_) problem += "; the library's bar time is HHMM, so seconds are dropped";
        Fail(stampColumn, fields_[stampColumn], problem);
    }
    havePrevious_ = true;
    previousStamp_ = stamp;
    previousLine_ = lineNo_;
    previousSeconds_ = seconds;

    if (seconds && withSeconds_++ == 0)
        firstSeconds_ = "line " + std::to_string(lineNo_) + ": \"" + Shown(fields_[stampColumn]) + "\"";
    const bool negative = b.open < 0.0 || b.high < 0.0 || b.low < 0.0 || b.close < 0.0;
    if (b.high < b.low || b.open < b.low || b.open > b.high || b.close < b.low || b.close > b.high || negative) {
        if (inconsistent_++ == 0) {
            firstInconsistent_ = "line " + std::to_string(lineNo_) + ": ";
            if (b.high < b.low) firstInconsistent_ += "the high below the low";
            else if (negative) firstInconsistent_ += "a negative price";
            else firstInconsistent_ += std::string(b.open < b.low || b.open > b.high ? "the open" : "the close") +
                                       " outside the low to high";
        }
    }
    return true;
}

std::vector<std::string> CsvBars::Warnings() const {
    std::vector<std::string> w;
    if (inconsistent_ > 0) {
        w.push_back(name_ + ": " + std::to_string(inconsistent_) + (inconsistent_ == 1 ? " bar" : " bars") +
                    " with the high below the low, the open or close outside the low to high, or a negative price, "
                    "replayed as read (first at " + firstInconsistent_ + ")");
    }
    if (withSeconds_ > 0) {
        w.push_back(name_ + ": " + std::to_string(withSeconds_) + (withSeconds_ == 1 ? " time" : " times") +
                    " with seconds, dropped: the library's bar time is HHMM (first at " + firstSeconds_ + ")");
    }
    return w;
}

Series ReadAll(BarSource& source) {
    Series s{source.Name(), {}};
    for (Bar b{}; source.Next(b);) s.bars.push_back(b);
    return s;
}

Series ParseBarsCsv(std::string text, const std::string& name) {
    CsvBars bars(std::move(text), name);
    return ReadAll(bars);
}

Series ReadBarsCsv(const std::string& path) {
    CsvBars bars(path);
    return ReadAll(bars);
}

// ---------------------------------------------------------------------------
// The built-in series.

namespace {

// SplitMix64: small, fast, and the same on every platform.
class Random {
public:
    explicit Random(std::uint64_t seed) : state_(seed) {}
    std::uint64_t Next() {
        std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    double Uniform() { return static_cast<double>(Next() >> 11) * 0x1.0p-53; }  // [0, 1)
    // Sum of four uniforms, centred and scaled to unit variance: bell-shaped
    // without log or trigonometry, whose results differ between C runtimes.
    double Normal() {
        const double s = Uniform() + Uniform() + Uniform() + Uniform();
        return (s - 2.0) * 1.7320508075688772;  // sqrt(3)
    }
    bool Chance(double p) { return Uniform() < p; }
    int Between(int lo, int hi) { return lo + static_cast<int>(Next() % static_cast<std::uint64_t>(hi - lo + 1)); }

private:
    std::uint64_t state_;
};

struct Regime {
    double drift = 0.0;       // per bar, in units of the bar's volatility
    double volatility = 1.0;  // multiple of the base volatility
    double pull = 0.0;        // share of the distance to the anchor recovered per bar
    double anchor = 0.0;      // in ticks
    int bars = 0;
};

constexpr double kTick = 0.25;
constexpr double kStartPrice = 4800.0;
constexpr int kSessionBars = 78;  // 09:35 .. 16:00 in 5-minute bars

Regime NextRegime(Random& rng, double price) {
    Regime r;
    r.bars = rng.Between(40, 300);
    int kind = rng.Between(0, 5);
    if (price < kStartPrice / kTick * 0.6) kind = 0;  // keep the series in a plausible band
    if (price > kStartPrice / kTick * 1.6) kind = 1;
    switch (kind) {
        case 0: r.drift = 0.10 + 0.10 * rng.Uniform(); break;                  // rally
        case 1: r.drift = -(0.12 + 0.12 * rng.Uniform()); break;               // sell-off
        case 2: case 3: r.pull = 0.03 + 0.05 * rng.Uniform(); r.anchor = price; break;  // range
        case 4: r.volatility = 0.45; break;                                    // quiet drift
        default: r.volatility = 2.2; r.drift = rng.Chance(0.5) ? 0.08 : -0.08; break;  // wild
    }
    return r;
}

// U-shaped intraday activity: busy at the open and the close.
double Activity(int barOfSession) {
    const double x = (barOfSession - 38.5) / 38.5;
    return 0.75 + 0.85 * x * x;
}

}  // namespace

struct SyntheticBars::State {
    explicit State(std::size_t n, std::uint64_t seed) : count(n), rng(seed), regime(NextRegime(rng, price)) {}
    std::size_t count;
    std::size_t i = 0;
    Random rng;
    int year = 2024, month = 1, day = 2, weekday = 1;  // Tuesday
    double price = kStartPrice / kTick;                 // in ticks
    Regime regime;
    int deadBars = 0;
    double lastClose = 0.0;
};

SyntheticBars::SyntheticBars(std::size_t count, std::uint64_t seed)
    : name_("built-in series (seed " + std::to_string(seed) + ", " + std::to_string(count) + " bars)"),
      s_(std::make_unique<State>(count, seed)) {}

SyntheticBars::~SyntheticBars() = default;

double SyntheticBars::Done() const {
    return s_->count == 0 ? 1.0 : static_cast<double>(s_->i) / static_cast<double>(s_->count);
}

bool SyntheticBars::Next(Bar& b) {
    State& s = *s_;
    if (s.i >= s.count) return false;
    const std::size_t i = s.i++;
    Random& rng = s.rng;
    const double stepScale = 1.0 / std::sqrt(6.0);  // six path steps per bar

    const int barOfSession = static_cast<int>(i % kSessionBars);
    if (barOfSession == 0 && i > 0) {
        do {  // next weekday
            s.weekday = (s.weekday + 1) % 7;
            if (++s.day > DaysInMonth(s.year, s.month)) {
                s.day = 1;
                if (++s.month > 12) s.month = 1, ++s.year;
            }
        } while (s.weekday >= 5);
    }
    if (--s.regime.bars <= 0) s.regime = NextRegime(rng, s.price);

    const int minutes = 9 * 60 + 35 + 5 * barOfSession;
    b = Bar{};
    b.date = s.year * 10000 + s.month * 100 + s.day;
    b.time = minutes / 60 * 100 + minutes % 60;

    // No trade: a lunchtime lull now and then, and single empty bars.
    if (barOfSession == 30 && rng.Chance(0.05)) s.deadBars = rng.Between(4, 12);
    const bool dead = i > 0 && barOfSession > 0 && (s.deadBars-- > 0 || rng.Chance(0.015));
    if (dead) {
        b.open = b.high = b.low = b.close = s.lastClose;
        b.volume = 0.0;
        return true;
    }

    const Regime& regime = s.regime;
    const double price = s.price;
    const double sigma = price * 0.0009 * regime.volatility * Activity(barOfSession);
    double open = price;
    if (barOfSession == 0 && i > 0) {  // overnight gap
        open += rng.Chance(0.08) ? (rng.Chance(0.5) ? 1.0 : -1.0) * price * (0.01 + 0.015 * rng.Uniform())
                                 : rng.Normal() * price * 0.003;
    }
    open = std::floor(open + 0.5);
    double p = open, hi = open, lo = open;
    for (int k = 0; k < 6; ++k) {
        const double pull = regime.pull * (regime.anchor - p) / 6.0;
        p += (regime.drift * sigma) / 6.0 + pull + rng.Normal() * sigma * stepScale;
        hi = std::max(hi, p);
        lo = std::min(lo, p);
    }
    const double close = std::floor(p + 0.5);
    hi = std::max(std::floor(hi + std::fabs(rng.Normal()) * sigma * 0.25 + 0.5), std::max(open, close));
    lo = std::min(std::floor(lo - std::fabs(rng.Normal()) * sigma * 0.25 + 0.5), std::min(open, close));
    if (lo < 1.0) lo = 1.0;  // never reached at these levels; keeps prices positive whatever the seed

    b.open = open * kTick;
    b.high = hi * kTick;
    b.low = lo * kTick;
    b.close = close * kTick;
    const double move = sigma > 0.0 ? std::fabs(close - open) / sigma : 0.0;
    b.volume = std::floor(1200.0 * Activity(barOfSession) * (0.4 + rng.Uniform() + 0.4 * move)) + 1.0;
    s.lastClose = b.close;
    s.price = close;
    return true;
}

Series SyntheticSeries(std::size_t count, std::uint64_t seed) {
    SyntheticBars bars(count, seed);
    Series s{bars.Name(), {}};
    s.bars.reserve(count);
    for (Bar b{}; bars.Next(b);) s.bars.push_back(b);
    return s;
}

// ---------------------------------------------------------------------------

std::int32_t NextDay(std::int32_t yyyymmdd) {
    int y = yyyymmdd / 10000, m = yyyymmdd / 100 % 100, d = yyyymmdd % 100 + 1;
    if (d > DaysInMonth(y, m)) {
        d = 1;
        if (++m > 12) m = 1, ++y;
    }
    return y * 10000 + m * 100 + d;
}

Bar FormingBar(const Bar& bar, int k, int n) {
    if (n <= 0 || k >= n) return bar;
    const double way[4] = {bar.open, bar.high, bar.low, bar.close};
    const double share = static_cast<double>(k) / static_cast<double>(n);
    // The path's length overflows on bars spanning most of the double range;
    // such bars walk it at an eighth of the scale (exact: a power of two),
    // where every sum stays finite, and clamp to their extremes.
    const double total = std::fabs(way[1] - way[0]) + std::fabs(way[2] - way[1]) + std::fabs(way[3] - way[2]);
    const double scale = std::isfinite(total) ? 1.0 : 0.125;
    double remaining = std::isfinite(total)
                           ? total * static_cast<double>(k) / static_cast<double>(n)
                           : (std::fabs(way[1] * scale - way[0] * scale) + std::fabs(way[2] * scale - way[1] * scale) +
                              std::fabs(way[3] * scale - way[2] * scale)) *
                                 share;
    double p = bar.open, hi = bar.open, lo = bar.open;
    // Nothing of the way walked (the first snapshot, or a bar with all four
    // prices equal) leaves the open as it is, a signed zero included.
    for (int j = 0; j < 3 && remaining != 0.0; ++j) {
        const double segment = scale == 1.0 ? std::fabs(way[j + 1] - way[j]) : std::fabs(way[j + 1] * scale - way[j] * scale);
        if (remaining >= segment) {
            p = way[j + 1];
            remaining -= segment;
        } else if (scale == 1.0) {
            p = way[j] + (way[j + 1] >= way[j] ? remaining : -remaining);
            remaining = 0.0;
        } else {
            // Back to full scale directly where that stays finite, so that
            // a short way from the open keeps the open's every digit.
            const double step = remaining / scale;
            const bool up = way[j + 1] >= way[j];
            p = std::isfinite(step) ? way[j] + (up ? step : -step)
                                    : (way[j] * scale + (up ? remaining : -remaining)) / scale;
            p = std::clamp(p, std::min(way[j], way[j + 1]), std::max(way[j], way[j + 1]));
            remaining = 0.0;
        }
        hi = std::max(hi, p);
        lo = std::min(lo, p);
    }
    Bar f = bar;
    f.high = hi;
    f.low = lo;
    f.close = p;
    // The share of a volume near the top of the range, taken as volume * k
    // first, would overflow.
    double volume = bar.volume * static_cast<double>(k) / static_cast<double>(n);
    if (!std::isfinite(volume)) volume = bar.volume * share;
    f.volume = std::min(std::floor(volume), bar.volume);
    return f;
}

}  // namespace zt::replay
