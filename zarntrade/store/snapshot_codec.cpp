#include "store/snapshot_codec.h"

#include <array>
#include <cstring>

namespace zt::snapshot {

namespace {

constexpr std::array<std::uint32_t, 256> MakeCrcTable() {
    std::array<std::uint32_t, 256> table{};
    for (std::uint32_t i = 0; i < 256; ++i) {
        std::uint32_t c = i;
        for (int k = 0; k < 8; ++k) c = (c & 1u) != 0 ? 0x82F63B78u ^ (c >> 1) : c >> 1;
        table[i] = c;
    }
    return table;
}

constexpr std::array<std::uint32_t, 256> kCrcTable = MakeCrcTable();

std::uint32_t Crc32cBytes(std::uint32_t crc, const unsigned char* data, std::size_t size) noexcept {
    for (std::size_t i = 0; i < size; ++i) crc = kCrcTable[(crc ^ data[i]) & 0xFFu] ^ (crc >> 8);
    return crc;
}

#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#define ZT_CRC32C_INSTRUCTION 1
// The processor's CRC32 instruction computes the same polynomial, eight (or
// four) bytes at a time: a snapshot of every study is checked in a few
// microseconds instead of some eighty.
__attribute__((target("sse4.2"))) std::uint32_t Crc32cInstruction(std::uint32_t crc, const unsigned char* data,
                                                                   std::size_t size) noexcept {
    std::size_t i = 0;
#if defined(__x86_64__)
    std::uint64_t c = crc;
    for (; i + 8 <= size; i += 8) {
        std::uint64_t word;
        std::memcpy(&word, data + i, 8);
        c = __builtin_ia32_crc32di(c, word);
    }
    crc = static_cast<std::uint32_t>(c);
#else
    for (; i + 4 <= size; i += 4) {
        std::uint32_t word;
        std::memcpy(&word, data + i, 4);
        crc = __builtin_ia32_crc32si(crc, word);
    }
#endif
    for (; i < size; ++i) crc = __builtin_ia32_crc32qi(crc, data[i]);
    return crc;
}
#endif

}  // namespace

std::uint32_t Crc32c(const unsigned char* data, std::size_t size) noexcept {
#if defined(ZT_CRC32C_INSTRUCTION)
    static const bool instruction = __builtin_cpu_supports("sse4.2");
    if (instruction) return Crc32cInstruction(0xFFFFFFFFu, data, size) ^ 0xFFFFFFFFu;
#endif
    return Crc32cBytes(0xFFFFFFFFu, data, size) ^ 0xFFFFFFFFu;
}

// The table's path, for the test that both paths agree.
std::uint32_t Crc32cPortable(const unsigned char* data, std::size_t size) noexcept {
    return Crc32cBytes(0xFFFFFFFFu, data, size) ^ 0xFFFFFFFFu;
}

}  // namespace zt::snapshot
