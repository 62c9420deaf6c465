// The byte level of a state snapshot: numbers written little-endian whatever
// the machine, a reader that never reads past its buffer, the CRC-32C that
// closes a snapshot and the 64-bit fingerprint of a layout description.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace zt::snapshot {

// CRC-32C (Castagnoli, reflected, as iSCSI and ext4 use it) of `size` bytes.
std::uint32_t Crc32c(const unsigned char* data, std::size_t size) noexcept;
// The same without the processor's CRC32 instruction (the tests compare).
std::uint32_t Crc32cPortable(const unsigned char* data, std::size_t size) noexcept;

// FNV-1a over the tokens of a layout description, each token ended by a
// separator so that ("ab", "c") and ("a", "bc") differ.
class Fingerprint {
public:
    void add(std::string_view token) noexcept {
        for (char c : token) mix(static_cast<unsigned char>(c));
        mix(0);
    }
    void add(std::uint64_t number) noexcept {
        for (int i = 0; i < 8; ++i) mix(static_cast<unsigned char>(number >> (8 * i)));
        mix(0);
    }
    std::uint64_t value() const noexcept { return hash_; }

private:
    void mix(unsigned char c) noexcept {
        hash_ ^= c;
        hash_ *= 1099511628211ull;
    }
    std::uint64_t hash_ = 14695981039346656037ull;
};

// Writes into `out` while it has room and counts every byte either way: a
// pass with no buffer measures the snapshot.
class Writer {
public:
    Writer(unsigned char* out, std::size_t capacity) noexcept : out_(out), capacity_(capacity) {}

    void u8(std::uint8_t v) noexcept { put(v, 1); }
    void u16(std::uint16_t v) noexcept { put(v, 2); }
    void u32(std::uint32_t v) noexcept { put(v, 4); }
    void i32(std::int32_t v) noexcept { put(static_cast<std::uint32_t>(v), 4); }
    void u64(std::uint64_t v) noexcept { put(v, 8); }
    void f64(double v) noexcept { put(std::bit_cast<std::uint64_t>(v), 8); }
    void bytes(const void* data, std::size_t n) noexcept {
        const auto* p = static_cast<const unsigned char*>(data);
        for (std::size_t i = 0; i < n; ++i) put(p[i], 1);
    }
    // Overwrites four bytes written before (a size known only at the end).
    void patchU32(std::size_t at, std::uint32_t v) noexcept {
        if (out_ != nullptr && at + 4 <= capacity_)
            for (int i = 0; i < 4; ++i) out_[at + i] = static_cast<unsigned char>(v >> (8 * i));
    }
    std::size_t size() const noexcept { return pos_; }

private:
    void put(std::uint64_t v, int n) noexcept {
        if (out_ != nullptr && pos_ + static_cast<std::size_t>(n) <= capacity_) {
            if constexpr (std::endian::native == std::endian::little)
                std::memcpy(out_ + pos_, &v, static_cast<std::size_t>(n));  // the low bytes first already
            else
                for (int i = 0; i < n; ++i) out_[pos_ + i] = static_cast<unsigned char>(v >> (8 * i));
        }
        pos_ += static_cast<std::size_t>(n);
    }
    unsigned char* out_;
    std::size_t capacity_;
    std::size_t pos_ = 0;
};

// Reads little-endian numbers; a read past the end yields 0 and marks the
// reader failed, and every later read fails too.
class Reader {
public:
    Reader(const unsigned char* data, std::size_t size) noexcept : data_(data), size_(size) {}

    std::uint8_t u8() noexcept { return static_cast<std::uint8_t>(get(1)); }
    std::uint16_t u16() noexcept { return static_cast<std::uint16_t>(get(2)); }
    std::uint32_t u32() noexcept { return static_cast<std::uint32_t>(get(4)); }
    std::int32_t i32() noexcept { return static_cast<std::int32_t>(static_cast<std::uint32_t>(get(4))); }
    std::uint64_t u64() noexcept { return get(8); }
    double f64() noexcept { return std::bit_cast<double>(get(8)); }
    // The next n bytes, or null when fewer are left.
    const unsigned char* take(std::size_t n) noexcept {
        if (failed_ || n > size_ - pos_) {
            failed_ = true;
            return nullptr;
        }
        const unsigned char* p = data_ + pos_;
        pos_ += n;
        return p;
    }
    bool failed() const noexcept { return failed_; }
    std::size_t position() const noexcept { return pos_; }
    std::size_t remaining() const noexcept { return size_ - pos_; }

private:
    std::uint64_t get(int n) noexcept {
        const unsigned char* p = take(static_cast<std::size_t>(n));
        if (p == nullptr) return 0;
        std::uint64_t v = 0;
        if constexpr (std::endian::native == std::endian::little)
            std::memcpy(&v, p, static_cast<std::size_t>(n));
        else
            for (int i = 0; i < n; ++i) v |= static_cast<std::uint64_t>(p[i]) << (8 * i);
        return v;
    }
    const unsigned char* data_;
    std::size_t size_;
    std::size_t pos_ = 0;
    bool failed_ = false;
};

}  // namespace zt::snapshot
