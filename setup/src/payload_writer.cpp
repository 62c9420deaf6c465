#include "payload_writer.h"

#include <stdexcept>
#include <utility>

#include "payload_format.h"

namespace zarnsetup {
namespace {

constexpr std::uint64_t kMaxLength = 0xFFFFFFFFull;

void AppendBigEndian32(Bytes& out, std::uint32_t value) {
  unsigned char bytes[kLengthBytes];
  EncodeBigEndian32(value, bytes);
  out.insert(out.end(), bytes, bytes + kLengthBytes);
}

std::uint32_t BigEndian32At(const Bytes& file, std::uint64_t at) {
  if (at + kLengthBytes > file.size()) throw std::runtime_error("archive ends inside a length");
  return DecodeBigEndian32(&file[at]);
}

// Lists one segment occupying [begin, end) of the file.
void ListSegment(const Bytes& file, std::uint64_t begin, std::uint64_t end, int segment,
                 std::vector<ListedEntry>& out) {
  std::uint64_t at = begin;
  for (;;) {
    if (at >= end) throw std::runtime_error("segment has no end byte");
    const std::uint8_t type = file[at++];
    if (type == ENTRY_END) break;
    if (type > ENTRY_LAST_TYPE) throw std::runtime_error("unknown entry type");
    ListedEntry entry{segment, type, {}, 0};
    while (at < end && file[at] != 0 && entry.name.size() < kNameFieldMax - 1) {
      entry.name.push_back(static_cast<char>(file[at++]));
    }
    if (at >= end || file[at] != 0) throw std::runtime_error("entry name is not ended");
    ++at;
    if (at + kLengthBytes > end) throw std::runtime_error("segment ends inside a size");
    entry.size = BigEndian32At(file, at);
    at += kLengthBytes;
    if (entry.size > end - at) throw std::runtime_error("entry data runs past its segment");
    at += entry.size;
    out.push_back(std::move(entry));
  }
  if (at + kLengthBytes != end) throw std::runtime_error("segment length does not match its entries");
}

} // namespace

Bytes BuildSegment(const std::vector<ArchiveEntry>& entries) {
  Bytes out;
  for (const ArchiveEntry& entry : entries) {
    if (entry.type == ENTRY_END || entry.type > ENTRY_LAST_TYPE) {
      throw std::invalid_argument("entry type must be 1, 2 or 3");
    }
    if (!IsPlainFileName(entry.name)) {
      throw std::invalid_argument("not a plain file name shorter than 260 characters: \"" +
                                  entry.name + "\"");
    }
    if (entry.data.size() > kMaxLength) throw std::length_error(entry.name + " is 4 GiB or larger");
    out.push_back(entry.type);
    out.insert(out.end(), entry.name.begin(), entry.name.end());
    out.push_back(0);
    AppendBigEndian32(out, static_cast<std::uint32_t>(entry.data.size()));
    out.insert(out.end(), entry.data.begin(), entry.data.end());
    if (out.size() + kEmptySegmentLength > kMaxLength) {
      throw std::length_error("segment is 4 GiB or larger");
    }
  }
  out.push_back(ENTRY_END);
  AppendBigEndian32(out, static_cast<std::uint32_t>(out.size() + kLengthBytes));
  return out;
}

Bytes BuildArchive(const std::vector<ArchiveEntry>& files, const ArchiveEntry& agreement) {
  for (const ArchiveEntry& file : files) {
    if (file.type != ENTRY_FILE) throw std::invalid_argument("file entries must have type 1");
  }
  if (agreement.type != ENTRY_TEXT) throw std::invalid_argument("the agreement must have type 3");
  Bytes archive = BuildSegment(files);
  const Bytes text = BuildSegment({agreement});
  archive.insert(archive.end(), text.begin(), text.end());
  return archive;
}

std::vector<ListedEntry> ListArchive(const Bytes& file) {
  const std::uint64_t size = file.size();
  if (size < kLengthBytes) throw std::runtime_error("file too short for an archive");
  const std::uint64_t textLength = BigEndian32At(file, size - kLengthBytes);
  if (textLength < kEmptySegmentLength || textLength + kLengthBytes > size) {
    throw std::runtime_error("text segment length out of range");
  }
  const std::uint64_t textBegin = size - textLength;
  const std::uint64_t fileLength = BigEndian32At(file, textBegin - kLengthBytes);
  if (fileLength < kEmptySegmentLength || fileLength > textBegin) {
    throw std::runtime_error("file segment length out of range");
  }
  std::vector<ListedEntry> entries;
  ListSegment(file, textBegin - fileLength, textBegin, 0, entries);
  ListSegment(file, textBegin, size, 1, entries);
  return entries;
}

} // namespace zarnsetup
