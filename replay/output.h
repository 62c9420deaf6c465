// The replay's CSV and how files are written: whole or not at all.
#pragma once

#include <string>

#include "replay/bars.h"
#include "replay/replay.h"

namespace zt::replay {

// Shortest text that reads back as the same double (std::to_chars), so the
// CSV is byte-identical on every platform whatever its C runtime's printf
// does. Appends to out.
void AppendNumber(std::string& out, double value);

// Header `date,time,open,high,low,close,volume,<study.slot>...`, then one
// row per bar: the bar as read (date YYYYMMDD, time HHMM) and the final
// values of every study slot on it. Lines end with "\n" alone.
std::string CsvText(const Series& series, const ReplayResult& result);

// Writes text to path through a temporary file in the same folder that is
// renamed over path at the end, so a failed run leaves no partial file.
// "-" writes to standard output (in binary mode on Windows). Throws
// std::runtime_error naming the file on failure.
void WriteOutput(const std::string& path, const std::string& text);

}  // namespace zt::replay
