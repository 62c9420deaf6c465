// The payload archive appended to the installer's executable.
//
// Two segments follow the executable image and end exactly at the end of the
// file: the file segment, then the text segment. Each segment is a run of
// entries, the end byte ENTRY_END and the segment's total length (from its
// first entry byte up to and including the length itself). An entry is a
// type byte, a NUL-ended name of at most 259 characters, a size and the data.
// Every number is an unsigned 32-bit big-endian value.
//
// This header is the one definition of the format: the build tool that writes
// the archive and the two readers inside the installer both use it.
#ifndef ZARNSETUP_PAYLOAD_FORMAT_H
#define ZARNSETUP_PAYLOAD_FORMAT_H

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace zarnsetup {

// Entry type bytes.
inline constexpr std::uint8_t ENTRY_END = 0;   // ends a segment, not an entry
inline constexpr std::uint8_t ENTRY_FILE = 1;  // file, with the path-length test
inline constexpr std::uint8_t ENTRY_PLAIN = 2; // file, without the path-length test
inline constexpr std::uint8_t ENTRY_TEXT = 3;  // agreement text (file segment: a file)
inline constexpr std::uint8_t ENTRY_LAST_TYPE = ENTRY_TEXT;

// A name field is at most this many bytes including its NUL.
inline constexpr std::size_t kNameFieldMax = 260;
// Paths are built in buffers of this many characters; a path must be shorter.
inline constexpr std::size_t kPathBufferSize = 260;

inline constexpr std::size_t kLengthBytes = 4;
// Smallest possible segment: the end byte and the length.
inline constexpr std::uint32_t kEmptySegmentLength = 1 + kLengthBytes;

// The name of the agreement entry written by the build.
inline constexpr std::string_view kAgreementEntryName = "eula.txt";

inline std::uint32_t DecodeBigEndian32(const unsigned char bytes[4]) {
  return (std::uint32_t{bytes[0]} << 24) | (std::uint32_t{bytes[1]} << 16) |
         (std::uint32_t{bytes[2]} << 8) | std::uint32_t{bytes[3]};
}

inline void EncodeBigEndian32(std::uint32_t value, unsigned char bytes[4]) {
  bytes[0] = static_cast<unsigned char>(value >> 24);
  bytes[1] = static_cast<unsigned char>(value >> 16);
  bytes[2] = static_cast<unsigned char>(value >> 8);
  bytes[3] = static_cast<unsigned char>(value);
}

// True for a name that would leave the install folder or address something
// other than a file in it: a folder separator, a drive colon, "." or "..".
inline bool HasFolderPart(std::string_view name) {
  return name.find_first_of("\\/:") != std::string_view::npos || name == "." ||
         name == "..";
}

// True for a name that can be written as a file of the install folder.
inline bool IsPlainFileName(std::string_view name) {
  return !name.empty() && name.size() < kNameFieldMax &&
         name.find('\0') == std::string_view::npos && !HasFolderPart(name);
}

} // namespace zarnsetup

#endif
