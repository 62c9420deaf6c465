// Trades in, bars out as a live chart forms them: every trade is an update
// of the forming bar of its interval (open the first trade, high and low
// running, close the last, volume the running sum of the sizes).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include <vector>

#include "replay/driver/bars.h"

namespace zt::replay {

struct Trade {
    std::int32_t date;    // YYYYMMDD
    std::int32_t second;  // of the day, 0 to 86399
    double price, size;
};

// Trades, oldest first, one at a time.
class TradeSource {
public:
    virtual ~TradeSource() = default;
    // The next trade; false after the last one.
    virtual bool Next(Trade& trade) = 0;
    virtual const std::string& Name() const = 0;
    virtual double Done() const = 0;
};

// Trades held in memory, in order; the vector must outlive it.
class TradesInMemory : public TradeSource {
public:
    explicit TradesInMemory(const std::vector<Trade>& trades) : t_(trades) {}
    bool Next(Trade& trade) override {
        if (i_ >= t_.size()) return false;
        trade = t_[i_++];
        return true;
    }
    const std::string& Name() const override { return name_; }
    double Done() const override {
        return t_.empty() ? 1.0 : static_cast<double>(i_) / static_cast<double>(t_.size());
    }

private:
    const std::vector<Trade>& t_;
    std::size_t i_ = 0;
    std::string name_ = "trades";
};

// The trade file reader: a header naming the columns in any order and letter
// case: date and time (or one date-time column, the time with seconds), price
// (or last) and size (or volume, vol, qty, quantity). Other columns are not
// used; separators, quoting and date forms as CsvFile reads them. Trades in
// the same second keep their order in the file.
//
// Errors (InputError, naming file, line and column): a trade earlier than the
// one before, a price that is not above zero, a negative size, a row without
// a time, numbers and dates that are not.
class CsvTrades : public TradeSource, public CsvFile {
public:
    explicit CsvTrades(const std::string& path, std::size_t chunk = std::size_t{1} << 20);
    CsvTrades(std::string text, std::string name, std::size_t chunk = std::size_t{1} << 20);

    bool Next(Trade& trade) override;
    const std::string& Name() const override { return name_; }
    double Done() const override { return DoneShare(); }

private:
    enum : unsigned char { kPrice = kFirstValue, kSize };
    void Start();
    unsigned char RoleOf(std::string_view key) const override;
    void CheckColumns(const std::string& headerText) const override;

    bool havePrevious_ = false;
    std::int64_t previous_ = 0;  // date * 100000 + second
    std::size_t previousLine_ = 0;
};

// The bar length: 1m, 5m, 15m, 1h or 1d.
struct Timeframe {
    int seconds;  // 60, 300, 900, 3600; 86400 for daily bars
    bool daily() const { return seconds == 86400; }
};
// "1m", "5m", "15m", "1h", "1d" (also "1min", "5min", "15min", "60min",
// "60m", "1day", "D"); letter case does not matter. Empty when not one of them.
std::optional<Timeframe> ParseTimeframe(std::string_view text);

// The bar a trade falls in: an intraday bar is stamped with the end of its
// interval (trades from 09:00:00 up to but not including 09:01:00 form the
// one-minute bar stamped 0901; the interval ending at midnight is stamped
// 0000 of the next day); a daily bar with the trade's date and time 0.
Bar BarOfTrade(const Trade& trade, Timeframe timeframe);

// Every trade sent as an update of the forming bar; the final update of a
// bar is its last trade.
class TradeBars : public UpdateSource {
public:
    // The source must outlive it.
    TradeBars(TradeSource& trades, Timeframe timeframe);
    bool Next(Bar& update, bool& last) override;
    const std::string& Name() const override { return trades_.Name(); }
    double Done() const override { return trades_.Done(); }

private:
    TradeSource& trades_;
    Timeframe timeframe_;
    Trade next_{};
    bool haveNext_ = false;
    bool started_ = false;
    bool closed_ = true;  // the forming bar took its last trade
    Bar forming_{};
};

}  // namespace zt::replay
