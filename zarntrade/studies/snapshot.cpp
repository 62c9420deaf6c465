#include "studies/snapshot.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <new>
#include <string_view>
#include <type_traits>

#include "include/zarntrade.h"
#include "include/zarntrade_snapshot.h"
#include "log/log.h"
#include "store/registry.h"
#include "store/snapshot_codec.h"
#include "studies/bar/blend_lines.h"
#include "studies/bar/stop_lines.h"
#include "studies/bar/trend_bias.h"
#include "studies/bar/volume_bands.h"
#include "studies/composite/colour_template.h"
#include "studies/composite/composite_signal.h"
#include "studies/composite/scorecard.h"
#include "studies/composite/signal_studies.h"
#include "studies/composite/split_lines.h"
#include "studies/composite/swing_line.h"
#include "studies/composite/volume_flow.h"
#include "studies/composite/water_level.h"
#include "studies/study_entry.h"

#ifndef ZT_LIBRARY_VERSION_MAJOR
#define ZT_LIBRARY_VERSION_MAJOR 0
#define ZT_LIBRARY_VERSION_MINOR 0
#define ZT_LIBRARY_VERSION_PATCH 0
#define ZT_LIBRARY_VERSION_TWEAK 0
#endif

namespace zt {

void SnapshotError::operator()(const char* format, ...) noexcept {
    if (set()) return;
    std::va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    if (!set()) std::snprintf(text, sizeof text, "refused");
}

namespace {

using snapshot::Fingerprint;
using snapshot::Reader;
using snapshot::Writer;

// Walks a record's members as its Fields lists them, handing each to Op:
// numbers, flags, arrays and rings directly, embedded records member by
// member. Rings go out oldest-independent: element k back for k = 0, 1, ...,
// whatever place in memory it occupies.
template <class Op>
struct Walk {
    Op& op;

    template <class... Members>
    void operator()(const char* names, Members&... members) {
        op.open(names);
        (field(members), ...);
        op.close();
    }
    void field(double& x) { op.f64(x); }
    void field(std::int32_t& x) { op.i32(x); }
    void field(std::uint32_t& x) { op.u32(x); }
    void field(std::uint8_t& x) { op.flag(x); }  // the started flags
    template <std::size_t N>
    void field(double (&a)[N]) {
        op.array(a, N);
    }
    template <std::uint32_t N>
    void field(RecordRing<double, N>& r) {
        op.ring(r);
    }
    template <std::uint32_t N>
    void field(SeriesRing<double, N>& r) {
        op.ring(r);
    }
    template <std::uint32_t N>
    void field(BoundedRing<double, N>& r) {
        op.ring(r);
    }
    template <class Record>
    void field(Record& r) {
        r.Fields(*this);
    }
};

// The layout: every member's name and kind, every ring's capacity.
struct Describer {
    Fingerprint& fp;
    void open(const char* names) { fp.add("{"), fp.add(names); }
    void close() { fp.add("}"); }
    void f64(double&) { fp.add("f64"); }
    void i32(std::int32_t&) { fp.add("i32"); }
    void u32(std::uint32_t&) { fp.add("u32"); }
    void flag(std::uint8_t&) { fp.add("flag"); }
    void array(double*, std::size_t n) { fp.add("f64[]"), fp.add(std::uint64_t{n}); }
    template <std::uint32_t N>
    void ring(RecordRing<double, N>&) {
        fp.add("ring"), fp.add(std::uint64_t{N});
    }
    template <std::uint32_t N>
    void ring(SeriesRing<double, N>&) {
        fp.add("ring"), fp.add(std::uint64_t{N});
    }
    template <std::uint32_t N>
    void ring(BoundedRing<double, N>&) {
        fp.add("ring up to"), fp.add(std::uint64_t{N});
    }
};

struct Saver {
    Writer& w;
    void open(const char*) {}
    void close() {}
    void f64(double& x) { w.f64(x); }
    void i32(std::int32_t& x) { w.i32(x); }
    void u32(std::uint32_t& x) { w.u32(x); }
    void flag(std::uint8_t& x) { w.u8(x); }
    void array(double* a, std::size_t n) {
        for (std::size_t i = 0; i < n; ++i) w.f64(a[i]);
    }
    template <class Ring>
    void ring(Ring& r) {
        if constexpr (requires { r.reset(1u); }) w.u32(r.capacity);  // a ring sized at run time
        for (std::uint32_t k = 0; k < r.capacity; ++k) w.f64(r.at(k));
    }
};

struct Loader {
    Reader& r;
    SnapshotError& error;
    const char* record;
    void open(const char*) {}
    void close() {}
    void f64(double& x) { x = r.f64(); }
    void i32(std::int32_t& x) { x = r.i32(); }
    void u32(std::uint32_t& x) { x = r.u32(); }
    void flag(std::uint8_t& x) {
        x = r.u8();
        if (x > 1) error("record %s: a started flag reads %u (0 or 1)", record, static_cast<unsigned>(x));
    }
    void array(double* a, std::size_t n) {
        for (std::size_t i = 0; i < n; ++i) a[i] = r.f64();
    }
    template <std::uint32_t N>
    void ring(RecordRing<double, N>& ring) {
        for (std::uint32_t k = 0; k < N; ++k) ring.values[k] = r.f64();
    }
    template <std::uint32_t N>
    void ring(SeriesRing<double, N>& ring) {
        ring.head = 0;
        for (std::uint32_t k = 0; k < N; ++k) ring.values[k] = r.f64();
    }
    template <std::uint32_t N>
    void ring(BoundedRing<double, N>& ring) {
        const std::uint32_t capacity = r.u32();
        if (capacity < 1 || capacity > N) {
            error("record %s: a ring of %u elements (1 to %u)", record, static_cast<unsigned>(capacity),
                  static_cast<unsigned>(N));
            return;
        }
        ring.reset(capacity);
        for (std::uint32_t k = 0; k < capacity; ++k) ring.values[k] = r.f64();
    }
};

// What a record's members must satisfy beyond their kinds: only the error
// bands hold numbers that size their reads.
template <class Record>
void CheckRecord(const Record&, SnapshotError&, const char*) {}

void CheckRecord(const ErrorBandsMemory& m, SnapshotError& error, const char* record) {
    if (m.period < 1 || m.period > kMaxBandLength || m.smoothing < 1 || m.smoothing > kMaxBandLength)
        error("record %s: band lengths %d and %d (1 to %d)", record, m.period, m.smoothing, kMaxBandLength);
    else if (m.lineRing.capacity != static_cast<std::uint32_t>(m.smoothing) ||
             m.errorRing.capacity != static_cast<std::uint32_t>(m.smoothing))
        error("record %s: rings of %u and %u elements for a smoothing of %d", record,
              static_cast<unsigned>(m.lineRing.capacity), static_cast<unsigned>(m.errorRing.capacity), m.smoothing);
    else if (m.count < 0)
        error("record %s: a bar count of %d", record, m.count);
}

template <RecordSlot Slot>
void DescribeRecord(Fingerprint& fp) {
    RecordType<Slot> record{};
    Describer d{fp};
    Walk<Describer> walk{d};
    record.Fields(walk);
}

// The committed copy, then the working copy.
template <RecordSlot Slot>
void SaveRecord(Writer& w, void* storage, unsigned committed) {
    auto* copies = static_cast<RecordCopies<RecordType<Slot>>*>(storage);
    Saver s{w};
    Walk<Saver> walk{s};
    copies->copy[committed].Fields(walk);
    copies->copy[committed ^ 1u].Fields(walk);
}

// The bytes SaveRecord writes: fixed by the type, but for the error bands,
// whose rings are as long as their smoothing.
template <RecordSlot Slot>
std::size_t RecordSize(void* storage, unsigned committed) {
    if constexpr (std::is_same_v<RecordType<Slot>, ErrorBandsMemory>) {
        Writer measure(nullptr, 0);
        SaveRecord<Slot>(measure, storage, committed);
        return measure.size();
    } else {
        static const std::size_t size = [] {
            RecordCopies<RecordType<Slot>> fresh{};
            Writer measure(nullptr, 0);
            SaveRecord<Slot>(measure, &fresh, 0);
            return measure.size();
        }();
        return size;
    }
}

// Into a state whose committed copies are the first (a new state's).
template <RecordSlot Slot>
void LoadRecord(Reader& r, StudyState& state, const char* name, SnapshotError& error) {
    using Copies = RecordCopies<RecordType<Slot>>;
    void* storage = AllocateRecordStorage(sizeof(Copies));
    if (storage == nullptr) {
        error("no memory for record %s", name);
        return;
    }
    auto* copies = new (storage) Copies{};
    state.records.adopt(static_cast<std::uint32_t>(Slot), copies);  // released with the state
    Loader l{r, error, name};
    Walk<Loader> walk{l};
    for (auto& copy : copies->copy) {
        copy.Fields(walk);
        if (!error.set() && !r.failed()) CheckRecord(copy, error, name);
    }
}

struct RecordCodec {
    const char* name;
    void (*describe)(Fingerprint&);
    void (*save)(Writer&, void*, unsigned);
    std::size_t (*size)(void*, unsigned);
    void (*load)(Reader&, StudyState&, const char*, SnapshotError&);
};

constexpr RecordCodec kRecords[] = {
#define ZT_RECORD_CODEC(slot, type) \
    {#slot, &DescribeRecord<RecordSlot::slot>, &SaveRecord<RecordSlot::slot>, &RecordSize<RecordSlot::slot>, \
     &LoadRecord<RecordSlot::slot>},
    ZT_STUDY_RECORDS(ZT_RECORD_CODEC)
#undef ZT_RECORD_CODEC
};
constexpr std::uint32_t kRecordCount = static_cast<std::uint32_t>(RecordSlot::count);
static_assert(std::size(kRecords) == kRecordCount);

// Header: magic, format version, library version (four u16), the catalogue
// and layout fingerprints, the total size; then the state; then the CRC-32C
// of everything before it.
constexpr std::size_t kHeaderSize = 8 + 4 + 8 + 8 + 8 + 4;
constexpr std::size_t kSizeAt = kHeaderSize - 4;
constexpr std::size_t kChecksumSize = 4;
constexpr std::size_t kMaxRecordName = 32;

void WriteSnapshot(Writer& w, StudyState& state) {
    w.bytes(kSnapshotMagic, sizeof kSnapshotMagic);
    w.u32(kSnapshotFormatVersion);
    w.u16(ZT_LIBRARY_VERSION_MAJOR);
    w.u16(ZT_LIBRARY_VERSION_MINOR);
    w.u16(ZT_LIBRARY_VERSION_PATCH);
    w.u16(ZT_LIBRARY_VERSION_TWEAK);
    w.u64(CatalogueFingerprint());
    w.u64(LayoutFingerprint());
    w.u32(0);  // the size, patched below

    w.u8(state.gc);
    w.i32(state.lastBarNumber);
    for (double v : state.slots.values) w.f64(v);
    const BarHistory& b = state.bars;
    for (std::uint32_t k = 0; k < BarHistoryCapacity; ++k) w.i32(b.date.at(k));
    for (std::uint32_t k = 0; k < BarHistoryCapacity; ++k) w.i32(b.time.at(k));
    for (const BarRing* ring : {&b.open, &b.high, &b.low, &b.close, &b.volume})
        for (std::uint32_t k = 0; k < BarHistoryCapacity; ++k) w.f64(ring->at(k));

    std::uint32_t present = 0;
    for (std::uint32_t slot = 0; slot < kRecordCount; ++slot) present += state.records.find(slot) != nullptr;
    w.u32(present);
    for (std::uint32_t slot = 0; slot < kRecordCount; ++slot) {
        void* storage = state.records.find(slot);
        if (storage == nullptr) continue;
        const std::string_view name = kRecords[slot].name;
        w.u8(static_cast<std::uint8_t>(name.size()));
        w.bytes(name.data(), name.size());
        const std::size_t sizeAt = w.size();
        w.u32(0);
        kRecords[slot].save(w, storage, state.records.committed());
        w.patchU32(sizeAt, static_cast<std::uint32_t>(w.size() - sizeAt - 4));
    }
}

// The state after the header, into a new unregistered state.
void ReadState(Reader& r, StudyState& state, SnapshotError& error) {
    const std::uint8_t gc = r.u8();
    if (gc > 1) error("the gc flag reads %u (0 or 1)", static_cast<unsigned>(gc));
    state.gc = gc;
    state.lastBarNumber = r.i32();
    for (double& v : state.slots.values) v = r.f64();
    BarHistory& b = state.bars;
    // Oldest first, so that element k back ends where it was.
    std::int32_t dates[BarHistoryCapacity];
    std::int32_t times[BarHistoryCapacity];
    for (auto& d : dates) d = r.i32();
    for (auto& t : times) t = r.i32();
    for (std::uint32_t k = BarHistoryCapacity; k-- > 0;) b.date.push(dates[k]), b.time.push(times[k]);
    for (BarRing* ring : {&b.open, &b.high, &b.low, &b.close, &b.volume}) {
        double values[BarHistoryCapacity];
        for (double& v : values) v = r.f64();
        for (std::uint32_t k = BarHistoryCapacity; k-- > 0;) ring->push(values[k]);
    }
    if (r.failed() || error.set()) return;

    const std::uint32_t count = r.u32();
    if (count > kRecordCount) {
        error("%u records; a state holds at most %u", static_cast<unsigned>(count), static_cast<unsigned>(kRecordCount));
        return;
    }
    // In the order of the record list, each once: one snapshot per state.
    std::uint32_t next = 0;
    for (std::uint32_t i = 0; i < count && !error.set() && !r.failed(); ++i) {
        const std::uint8_t length = r.u8();
        const unsigned char* nameBytes = r.take(length);
        const std::uint32_t payloadSize = r.u32();
        const unsigned char* payload = r.take(payloadSize);
        if (r.failed()) break;
        const std::string_view name(reinterpret_cast<const char*>(nameBytes), length);
        std::uint32_t slot = 0;
        while (slot < kRecordCount && name != kRecords[slot].name) ++slot;
        char shown[kMaxRecordName + 1] = {};
        for (std::size_t c = 0; c < name.size() && c < kMaxRecordName; ++c)
            shown[c] = name[c] >= 0x20 && name[c] < 0x7F ? name[c] : '?';
        if (slot == kRecordCount) {
            error("record \"%s\": no study uses it", shown);
            return;
        }
        if (state.records.find(slot) != nullptr) {
            error("record %s appears twice", shown);
            return;
        }
        if (slot < next) {
            error("record %s out of order: it comes before %s", shown, kRecords[next - 1].name);
            return;
        }
        next = slot + 1;
        Reader fields(payload, payloadSize);
        kRecords[slot].load(fields, state, kRecords[slot].name, error);
        if (!error.set() && (fields.failed() || fields.remaining() != 0))
            error("record %s: %u bytes where its fields take %s", kRecords[slot].name,
                  static_cast<unsigned>(payloadSize), fields.failed() ? "more" : "fewer");
    }
    if (!error.set() && r.failed()) error("the records run past the end of the snapshot");
}

}  // namespace

std::uint64_t CatalogueFingerprint() noexcept {
    static const std::uint64_t value = [] {
        Fingerprint fp;
        fp.add("studies");
#define ZT_EXPORT(kind, result, name, params) \
    if (std::string_view(#kind) != "ZT_CONTROL") fp.add(#name);
#include "include/zarntrade_exports.inc"
#undef ZT_EXPORT
        fp.add("records");
#define ZT_RECORD_NAME(slot, type) fp.add(#slot), fp.add(#type);
        ZT_STUDY_RECORDS(ZT_RECORD_NAME)
#undef ZT_RECORD_NAME
        return fp.value();
    }();
    return value;
}

std::uint64_t LayoutFingerprint() noexcept {
    static const std::uint64_t value = [] {
        Fingerprint fp;
        fp.add("bars"), fp.add(std::uint64_t{BarHistoryCapacity});
        fp.add("slots"), fp.add(std::uint64_t{kReturnSlotCount});
        for (const RecordCodec& codec : kRecords) {
            fp.add(codec.name);
            codec.describe(fp);
        }
        return fp.value();
    }();
    return value;
}

std::size_t SaveState(StudyState& state, unsigned char* out, std::size_t capacity) noexcept {
    // The size without a pass over the records: what the header, the bars and
    // each record take.
    constexpr std::size_t kBars = BarHistoryCapacity * (2 * 4 + 5 * 8);
    std::size_t size = kHeaderSize + 1 + 4 + 8 * kReturnSlotCount + kBars + 4 + kChecksumSize;
    for (std::uint32_t slot = 0; slot < kRecordCount; ++slot)
        if (void* storage = state.records.find(slot))
            size += 1 + std::strlen(kRecords[slot].name) + 4 + kRecords[slot].size(storage, state.records.committed());
    if (out == nullptr || capacity < size) return size;
    Writer w(out, capacity);
    WriteSnapshot(w, state);
    if (w.size() + kChecksumSize != size) return 0;  // never: the sizes above are the writer's
    w.patchU32(kSizeAt, static_cast<std::uint32_t>(size));
    w.u32(snapshot::Crc32c(out, size - kChecksumSize));
    return size;
}

std::unique_ptr<StudyState> ReadSnapshot(const unsigned char* data, std::size_t size, SnapshotError& error) noexcept {
    if (data == nullptr && size != 0) size = 0;
    if (size < sizeof kSnapshotMagic || std::memcmp(data, kSnapshotMagic, sizeof kSnapshotMagic) != 0) {
        error("not a zarntrade state snapshot (no \"ZARNSNAP\" at its start)");
        return nullptr;
    }
    Reader r(data, size);
    r.take(sizeof kSnapshotMagic);
    const std::uint32_t version = r.u32();
    if (r.failed()) {
        error("truncated: %u bytes, the header alone takes %u", static_cast<unsigned>(size), static_cast<unsigned>(kHeaderSize));
        return nullptr;
    }
    if (version != kSnapshotFormatVersion) {
        error("snapshot format version %u; this library reads version %u", static_cast<unsigned>(version),
              static_cast<unsigned>(kSnapshotFormatVersion));
        return nullptr;
    }
    const unsigned major = r.u16(), minor = r.u16(), patch = r.u16(), tweak = r.u16();
    const std::uint64_t catalogue = r.u64();
    const std::uint64_t layout = r.u64();
    const std::uint32_t declared = r.u32();
    if (r.failed()) {
        error("truncated: %u bytes, the header alone takes %u", static_cast<unsigned>(size), static_cast<unsigned>(kHeaderSize));
        return nullptr;
    }
    if (declared < kHeaderSize + kChecksumSize) {
        error("the header gives a size of %u bytes, less than a snapshot takes", static_cast<unsigned>(declared));
        return nullptr;
    }
    if (size < declared) {
        error("truncated: %u bytes of the %u the snapshot holds", static_cast<unsigned>(size), static_cast<unsigned>(declared));
        return nullptr;
    }
    if (size > declared) {
        error("%u bytes follow the end of the snapshot (%u bytes)", static_cast<unsigned>(size - declared),
              static_cast<unsigned>(declared));
        return nullptr;
    }
    Reader tail(data + declared - kChecksumSize, kChecksumSize);
    if (tail.u32() != snapshot::Crc32c(data, declared - kChecksumSize)) {
        error("checksum mismatch: the snapshot is damaged");
        return nullptr;
    }
    if (catalogue != CatalogueFingerprint()) {
        error("written by zarntrade %u.%u.%u.%u with another study catalogue", major, minor, patch, tweak);
        return nullptr;
    }
    if (layout != LayoutFingerprint()) {
        error("written by zarntrade %u.%u.%u.%u with other record layouts", major, minor, patch, tweak);
        return nullptr;
    }

    std::unique_ptr<StudyState> state(new (std::nothrow) StudyState());
    if (!state) {
        error("no memory for the restored state");
        return nullptr;
    }
    Reader body(data + kHeaderSize, declared - kHeaderSize - kChecksumSize);
    ReadState(body, *state, error);
    if (!error.set() && body.failed()) error("truncated state: the bar history runs past the end");
    if (!error.set() && body.remaining() != 0)
        error("%u bytes after the last record", static_cast<unsigned>(body.remaining()));
    if (error.set()) return nullptr;
    return state;
}

std::int32_t RestoreState(const unsigned char* data, std::size_t size, SnapshotError& error) noexcept {
    std::unique_ptr<StudyState> state = ReadSnapshot(data, size, error);
    if (!state) {
        TraceLog("Restore refused: %s", error.text);
        return 0;
    }
    try {
        const std::int32_t id = RegisterState(std::move(state));
        TraceLog("Restored State: %d", id);
        return id;
    } catch (...) {
        error("no memory to register the restored state");
        return 0;
    }
}

}  // namespace zt

using namespace zt;

extern "C" {

ZT_SNAPSHOT_API int32_t zt_state_save(int32_t stateId, unsigned char* buffer, int32_t capacity) {
    try {
        StudyState* state = FindState(stateId);
        if (state == nullptr) return 0;
        const std::size_t room = buffer == nullptr || capacity < 0 ? 0 : static_cast<std::size_t>(capacity);
        const std::size_t size = SaveState(*state, buffer, room);
        return size > 0x7FFFFFFF ? 0 : static_cast<int32_t>(size);
    } catch (...) {
        return 0;
    }
}

ZT_SNAPSHOT_API int32_t zt_state_restore(const unsigned char* data, int32_t size, char* error,
                                         int32_t errorCapacity) {
    SnapshotError reason;
    std::int32_t id = 0;
    try {
        if (size < 0)
            reason("a negative size");
        else
            id = RestoreState(data, static_cast<std::size_t>(size), reason);
    } catch (...) {
        reason("refused");
        id = 0;
    }
    if (error != nullptr && errorCapacity > 0) {
        const char* text = id != 0 ? "" : reason.text;
        std::snprintf(error, static_cast<std::size_t>(errorCapacity), "%s", text);
    }
    return id;
}

}  // extern "C"
