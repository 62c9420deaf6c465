// The file of a saved run: "ZARNRUN" and a zero byte, format version 1, the
// last bar number, the last bar (date, time, open, high, low, close,
// volume), the error bands' period and smoothing, the state count, then per
// state its study's name (u16 length, text) and its snapshot (u32 length,
// bytes; each snapshot carries its own checksum). Numbers little-endian.
#include <bit>
#include <cstring>

#include "replay/driver/replay.h"

namespace zt::replay {
namespace {

constexpr char kMagic[8] = {'Z', 'A', 'R', 'N', 'R', 'U', 'N', '\0'};
constexpr std::uint32_t kVersion = 1;

void Put(std::string& out, std::uint64_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<char>(v >> (8 * i)));
}

class Reader {
public:
    Reader(const std::string& bytes, const std::string& file) : bytes_(bytes), file_(file) {}
    std::uint64_t Get(int n, const char* what) {
        if (bytes_.size() - at_ < static_cast<std::size_t>(n)) Fail(std::string("it ends inside ") + what);
        std::uint64_t v = 0;
        for (int i = 0; i < n; ++i) v |= static_cast<std::uint64_t>(static_cast<unsigned char>(bytes_[at_ + i])) << (8 * i);
        at_ += static_cast<std::size_t>(n);
        return v;
    }
    std::int32_t I32(const char* what) { return static_cast<std::int32_t>(static_cast<std::uint32_t>(Get(4, what))); }
    double F64(const char* what) { return std::bit_cast<double>(Get(8, what)); }
    std::string Take(std::size_t n, const char* what) {
        if (bytes_.size() - at_ < n) Fail(std::string("it ends inside ") + what);
        std::string s = bytes_.substr(at_, n);
        at_ += n;
        return s;
    }
    bool AtEnd() const { return at_ == bytes_.size(); }
    [[noreturn]] void Fail(const std::string& why) const {
        throw InputError(file_ + ": not a saved run of zarn-replay: " + why);
    }

private:
    const std::string& bytes_;
    const std::string& file_;
    std::size_t at_ = 0;
};

}  // namespace

std::string EncodeRunSnapshot(const RunSnapshot& run) {
    std::string out(kMagic, sizeof kMagic);
    Put(out, kVersion, 4);
    Put(out, static_cast<std::uint32_t>(run.lastBarNumber), 4);
    const Bar& b = run.lastBar;
    Put(out, static_cast<std::uint32_t>(b.date), 4);
    Put(out, static_cast<std::uint32_t>(b.time), 4);
    for (double v : {b.open, b.high, b.low, b.close, b.volume}) Put(out, std::bit_cast<std::uint64_t>(v), 8);
    Put(out, static_cast<std::uint32_t>(run.bandsPeriod), 4);
    Put(out, static_cast<std::uint32_t>(run.bandsSmoothing), 4);
    Put(out, run.states.size(), 4);
    for (std::size_t i = 0; i < run.states.size(); ++i) {
        Put(out, run.studies[i].size(), 2);
        out += run.studies[i];
        Put(out, run.states[i].size(), 4);
        out.append(reinterpret_cast<const char*>(run.states[i].data()), run.states[i].size());
    }
    return out;
}

RunSnapshot DecodeRunSnapshot(const std::string& bytes, const std::string& file) {
    Reader in(bytes, file);
    if (bytes.size() < sizeof kMagic || std::memcmp(bytes.data(), kMagic, sizeof kMagic) != 0)
        in.Fail("no \"ZARNRUN\" at its start");
    in.Take(sizeof kMagic, "the magic");
    if (const std::uint64_t version = in.Get(4, "the header"); version != kVersion)
        in.Fail("format version " + std::to_string(version) + ", this tool reads version 1");
    RunSnapshot run;
    run.lastBarNumber = in.I32("the header");
    run.lastBar.date = in.I32("the last bar");
    run.lastBar.time = in.I32("the last bar");
    for (double* v : {&run.lastBar.open, &run.lastBar.high, &run.lastBar.low, &run.lastBar.close, &run.lastBar.volume})
        *v = in.F64("the last bar");
    run.bandsPeriod = in.I32("the header");
    run.bandsSmoothing = in.I32("the header");
    const std::uint64_t count = in.Get(4, "the header");
    if (count > 1000) in.Fail(std::to_string(count) + " states (at most 1000)");
    for (std::uint64_t i = 0; i < count; ++i) {
        const std::size_t nameSize = static_cast<std::size_t>(in.Get(2, "a state"));
        run.studies.push_back(in.Take(nameSize, "a state's study"));
        const std::size_t size = static_cast<std::size_t>(in.Get(4, "a state"));
        const std::string state = in.Take(size, "a state's snapshot");
        run.states.emplace_back(state.begin(), state.end());
    }
    if (!in.AtEnd()) in.Fail("bytes after the last state");
    return run;
}

}  // namespace zt::replay
