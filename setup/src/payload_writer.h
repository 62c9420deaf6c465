// Build-side half of the payload archive: writing it after a linked
// executable, and listing what a finished installer carries.
#ifndef ZARNSETUP_PAYLOAD_WRITER_H
#define ZARNSETUP_PAYLOAD_WRITER_H

#include <cstdint>
#include <string>
#include <vector>

namespace zarnsetup {

using Bytes = std::vector<unsigned char>;

struct ArchiveEntry {
  std::uint8_t type = 0;
  std::string name;
  Bytes data;
};

// One segment: the entries, the end byte and the big-endian segment length.
// Throws std::invalid_argument for a type outside 1..3 or a name that is not
// a plain file name shorter than 260 characters, and std::length_error for
// data or a segment of 4 GiB or more.
Bytes BuildSegment(const std::vector<ArchiveEntry>& entries);

// The whole archive: the file segment (type-1 entries in the given order)
// followed by the text segment holding the one agreement entry (type 3).
Bytes BuildArchive(const std::vector<ArchiveEntry>& files, const ArchiveEntry& agreement);

struct ListedEntry {
  int segment = 0; // 0 the file segment, 1 the text segment
  std::uint8_t type = 0;
  std::string name;
  std::uint32_t size = 0;
};

// Lists the entries of the archive at the end of `file`, checking that both
// segments are complete and end exactly where their lengths say. Throws
// std::runtime_error describing the first fault.
std::vector<ListedEntry> ListArchive(const Bytes& file);

} // namespace zarnsetup

#endif
