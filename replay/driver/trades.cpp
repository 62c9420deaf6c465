#include "replay/driver/trades.h"

#include <string>

namespace zt::replay {
namespace {

constexpr std::string_view kOwnHeader = "date,time,price,size";

std::int64_t Key(std::int32_t date, std::int32_t second) { return static_cast<std::int64_t>(date) * 100000 + second; }

std::string Lowered(std::string_view text) {
    std::string s;
    for (const char c : text) s += c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    return s;
}

}  // namespace

CsvTrades::CsvTrades(const std::string& path, std::size_t chunk) : CsvFile(path, chunk, "trades") { Start(); }

CsvTrades::CsvTrades(std::string text, std::string name, std::size_t chunk)
    : CsvFile(std::move(text), std::move(name), chunk, "trades") {
    Start();
}

void CsvTrades::Start() {
    ReadHeader(kOwnHeader);
    if (!Has(kSize))
        notes_.push_back(name_ + ": no size column: every trade gets size 0 (studies that weigh by volume see none)");
}

unsigned char CsvTrades::RoleOf(std::string_view key) const {
    if (key == "price" || key == "last") return kPrice;
    if (key == "size" || key == "volume" || key == "vol" || key == "qty" || key == "quantity") return kSize;
    return kUnused;
}

void CsvTrades::CheckColumns(const std::string& header) const {
    std::string missing;
    if (!Has(kDateTime) && !Has(kDate)) missing = "date";
    if (!Has(kPrice)) missing += missing.empty() ? "price" : ", price";
    if (!missing.empty()) {
        throw InputError(Line() + ": no column for " + missing + " " + header +
                         "; the columns of a trade file are date and time (or one date-time column), price and size, "
                         "in any order");
    }
}

bool CsvTrades::Next(Trade& trade) {
    if (!NextRow()) {
        if (!havePrevious_) throw InputError(name_ + ": no trades after the header line");
        return false;
    }
    const Stamp t = ReadStamp();
    if (!t.timed) Fail(t.column, fields_[t.column], "no time: a trade needs its date and time (HH:MM:SS)");
    trade.date = t.date;
    trade.second = t.time / 100 * 3600 + t.time % 100 * 60 + t.second;
    trade.price = Number(at_[kPrice]);
    if (!(trade.price > 0.0)) Fail(at_[kPrice], fields_[at_[kPrice]], "a trade price must be above zero");
    trade.size = Has(kSize) ? Number(at_[kSize]) : 0.0;
    if (trade.size < 0.0) Fail(at_[kSize], fields_[at_[kSize]], "negative size");

    const std::int64_t key = Key(trade.date, trade.second);
    if (havePrevious_ && key < previous_) {
        std::size_t column = t.column;
        // An earlier day is the date's fault when the date has a column of its own.
        if (Has(kTime) && trade.date < previous_ / 100000) column = at_[kDate];
        Fail(column, fields_[column],
             "earlier than the trade before (line " + std::to_string(previousLine_) + "): trades go oldest first");
    }
    havePrevious_ = true;
    previous_ = key;
    previousLine_ = lineNo_;
    return true;
}

std::optional<Timeframe> ParseTimeframe(std::string_view text) {
    const std::string t = Lowered(text);
    if (t == "1m" || t == "1min") return Timeframe{60};
    if (t == "5m" || t == "5min") return Timeframe{300};
    if (t == "15m" || t == "15min") return Timeframe{900};
    if (t == "1h" || t == "60m" || t == "60min") return Timeframe{3600};
    if (t == "1d" || t == "d" || t == "1day") return Timeframe{86400};
    return std::nullopt;
}

Bar BarOfTrade(const Trade& trade, Timeframe timeframe) {
    Bar b{};
    b.date = trade.date;
    if (!timeframe.daily()) {
        const std::int32_t end = (trade.second / timeframe.seconds + 1) * timeframe.seconds;
        if (end >= 86400) {
            b.date = NextDay(trade.date);
        } else {
            b.time = end / 3600 * 100 + end % 3600 / 60;
        }
    }
    b.open = b.high = b.low = b.close = trade.price;
    b.volume = trade.size;
    return b;
}

TradeBars::TradeBars(TradeSource& trades, Timeframe timeframe) : trades_(trades), timeframe_(timeframe) {}

bool TradeBars::Next(Bar& update, bool& last) {
    if (!started_) {
        started_ = true;
        haveNext_ = trades_.Next(next_);
    }
    if (!haveNext_) return false;
    const Trade trade = next_;
    if (closed_) {
        forming_ = BarOfTrade(trade, timeframe_);
        closed_ = false;
    } else {
        forming_.high = trade.price > forming_.high ? trade.price : forming_.high;
        forming_.low = trade.price < forming_.low ? trade.price : forming_.low;
        forming_.close = trade.price;
        forming_.volume += trade.size;
    }
    haveNext_ = trades_.Next(next_);
    if (haveNext_) {
        const Bar nextBar = BarOfTrade(next_, timeframe_);
        closed_ = nextBar.date != forming_.date || nextBar.time != forming_.time;
    } else {
        closed_ = true;
    }
    update = forming_;
    last = closed_;
    return true;
}

}  // namespace zt::replay
