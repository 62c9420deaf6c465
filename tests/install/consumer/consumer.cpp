// A C++ program using the installed library: the same replay as consumer.c
// (E_ZARNMP and E_ZARNUPSELL on every bar of a CSV), its chart and state
// held by a small owner, its numbers written by std::to_chars.
#include <zarntrade.h>

#include <charconv>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

namespace {

class Chart {
public:
    explicit Chart(std::int32_t id) : id_(id) {
        Dll_Add(id_);
        Dll_Context(id_);
    }
    ~Chart() { Dll_Free(id_); }
    Chart(const Chart&) = delete;
    Chart& operator=(const Chart&) = delete;

private:
    std::int32_t id_;
};

std::string Number(double v) {
    char buf[32];
    const auto r = std::to_chars(buf, buf + sizeof buf, v);
    return std::string(buf, r.ptr);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: consumer_cpp BARS.csv\n";
        return 2;
    }
    std::ifstream in(argv[1]);
    std::string line;
    if (!std::getline(in, line)) return 1;
    const Chart chart(1);
    const std::int32_t id = E_CREATESTATE2(1);
    if (id == 0) return 1;
    std::cout << "date,time,E_ZARNMP.midpoint,E_ZARNMP.position,E_ZARNMP.above,E_ZARNMP.below,"
                 "E_ZARNUPSELL.signal,E_ZARNUPSELL.line,E_ZARNUPSELL.smoothed\n";
    std::int32_t bar = 0;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string f;
        std::vector<std::string> v;
        while (std::getline(fields, f, ',')) v.push_back(f);
        if (v.size() != 7) return 1;
        const long date = std::stol(v[0]), time = std::stol(v[1]);
        if (E_BARVALUES(id, ++bar, static_cast<std::int32_t>(date - 19000000), static_cast<std::int32_t>(time),
                        std::stod(v[2]), std::stod(v[3]), std::stod(v[4]), std::stod(v[5]), std::stod(v[6])) != 1)
            return 1;
        std::string row = std::to_string(date) + ',' + std::to_string(time);
        row += ',' + Number(E_ZARNMP(id));
        for (std::int32_t s = 1; s <= 3; ++s) row += ',' + Number(E_GETRETURN(id, s));
        row += ',' + Number(E_ZARNUPSELL(id));
        for (std::int32_t s = 1; s <= 2; ++s) row += ',' + Number(E_GETRETURN(id, s));
        std::cout << row << '\n';
    }
    return bar > 0 ? 0 : 1;
}
