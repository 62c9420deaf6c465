// The memory records of the studies evaluated on one state, held by slot.
//
// The store knows no study: the studies number their records and name their
// types (studies/study_records.h). A record is made on the study's first
// evaluation on the state, as one allocation holding its two copies,
// committed and working; a state that never runs a study holds nothing for
// it. Which copy is the committed one is decided for the whole state by one
// index, so appending a bar commits every record the state holds at once.
#pragma once

#include <cstddef>
#include <cstdint>

namespace zt {

class RecordTable {
public:
    // Room for the studies' list of records.
    static constexpr std::uint32_t kSlots = 32;

    RecordTable() = default;
    ~RecordTable();
    RecordTable(const RecordTable&) = delete;
    RecordTable& operator=(const RecordTable&) = delete;

    // The storage of the record in `slot`, or null while none was made.
    void* find(std::uint32_t slot) const { return records_[slot]; }
    // Hands the table a record made with AllocateRecordStorage for an empty
    // slot; the table releases it with the state.
    void adopt(std::uint32_t slot, void* storage) { records_[slot] = storage; }

    // Which of a record's two copies is committed (0 or 1), and which is the
    // working copy.
    unsigned committed() const { return committed_; }
    unsigned working() const { return committed_ ^ 1u; }
    // Appending a bar commits the working copies: the two swap roles.
    void commit() { committed_ ^= 1u; }

private:
    void* records_[kSlots] = {};
    unsigned committed_ = 0;
};

// The one place where record storage is allocated: null when the memory
// cannot be had (never an exception). Aligned for any record.
void* AllocateRecordStorage(std::size_t bytes) noexcept;

}  // namespace zt
