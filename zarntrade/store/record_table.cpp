#include "store/record_table.h"

#include <new>

namespace zt {

RecordTable::~RecordTable() {
    // Records are plain values: releasing the storage is all there is to it.
    for (void* r : records_) ::operator delete(r);
}

void* AllocateRecordStorage(std::size_t bytes) noexcept { return ::operator new(bytes, std::nothrow); }

}  // namespace zt
