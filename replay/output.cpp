#include "replay/output.h"

#include <charconv>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <system_error>

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#endif

namespace zt::replay {

void AppendNumber(std::string& out, double value) {
    char buf[32];
    const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, value);
    out.append(buf, ec == std::errc{} ? end : buf);
}

std::string CsvText(const Series& series, const ReplayResult& result) {
    std::string out = "date,time,open,high,low,close,volume";
    for (const Column& c : result.columns) out += ',' + c.name;
    out += '\n';
    out.reserve(out.size() * 2 + series.bars.size() * (48 + 20 * result.columns.size()));
    for (std::size_t b = 0; b < series.bars.size(); ++b) {
        const Bar& bar = series.bars[b];
        out += std::to_string(bar.date);
        out += ',';
        out += std::to_string(bar.time);
        for (const double v : {bar.open, bar.high, bar.low, bar.close, bar.volume}) {
            out += ',';
            AppendNumber(out, v);
        }
        const double* row = result.Row(b);
        for (std::size_t c = 0; c < result.columns.size(); ++c) {
            out += ',';
            AppendNumber(out, row[c]);
        }
        out += '\n';
    }
    return out;
}

void WriteOutput(const std::string& path, const std::string& text) {
    if (path == "-") {
#if defined(_WIN32)
        _setmode(_fileno(stdout), _O_BINARY);  // "\n" stays "\n"
#endif
        if (std::fwrite(text.data(), 1, text.size(), stdout) != text.size() || std::fflush(stdout) != 0)
            throw std::runtime_error("standard output: write error");
        return;
    }
    namespace fs = std::filesystem;
    const fs::path target(path);
    std::error_code ec;
    const fs::file_status status = fs::status(target, ec);
    if (fs::exists(status) && !fs::is_regular_file(status)) {
        // A device or a pipe (/dev/null, a FIFO): written in place, never replaced.
        std::ofstream out(target, std::ios::binary);
        out.write(text.data(), static_cast<std::streamsize>(text.size()));
        out.close();
        if (!out) throw std::runtime_error(path + ": write error");
        return;
    }
    fs::path temp = target;
    temp += ".part";
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        if (!out) throw std::runtime_error(path + ": cannot create " + temp.string());
        out.write(text.data(), static_cast<std::streamsize>(text.size()));
        out.close();
        if (!out) {
            std::error_code ignored;
            fs::remove(temp, ignored);
            throw std::runtime_error(path + ": write error");
        }
    }
    fs::rename(temp, target, ec);
    if (ec) {
        std::error_code ignored;
        fs::remove(temp, ignored);
        throw std::runtime_error(path + ": cannot replace the file: " + ec.message());
    }
}

}  // namespace zt::replay
