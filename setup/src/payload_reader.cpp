#include "payload_reader.h"

#include <array>
#include <new>
#include <optional>
#include <utility>
#include <vector>

#include "payload_format.h"

namespace zarnsetup {
namespace {

OverwriteDecision& DecisionHook() {
  static OverwriteDecision decision;
  return decision;
}

// The executable opened for reading, with its size taken once so that every
// size field can be checked against the bytes that are really there.
class ArchiveFile {
public:
  explicit ArchiveFile(const std::string& path) {
    if (path.empty() || path.size() >= kPathBufferSize) return;
    file_ = std::fopen(path.c_str(), "rb");
    if (file_ == nullptr) return;
    const long end = std::fseek(file_, 0, SEEK_END) == 0 ? std::ftell(file_) : -1;
    if (end < 0) {
      Close();
      return;
    }
    size_ = static_cast<std::uint64_t>(end);
  }
  ~ArchiveFile() { Close(); }
  ArchiveFile(const ArchiveFile&) = delete;
  ArchiveFile& operator=(const ArchiveFile&) = delete;

  bool IsOpen() const { return file_ != nullptr; }
  std::FILE* Get() const { return file_; }
  std::uint64_t Size() const { return size_; }

  // Positions the file `back` bytes before its end; false if that lies
  // before the start of the file.
  bool SeekFromEnd(std::uint64_t back) {
    if (back > size_) return false;
    return std::fseek(file_, static_cast<long>(size_ - back), SEEK_SET) == 0;
  }

  std::uint64_t Remaining() const {
    const long at = std::ftell(file_);
    if (at < 0 || static_cast<std::uint64_t>(at) > size_) return 0;
    return size_ - static_cast<std::uint64_t>(at);
  }

  // Skips bytes that are known to be present (sizes are checked against
  // Remaining() first, so the count fits the file's long offsets).
  bool Skip(std::uint32_t count) { return std::fseek(file_, static_cast<long>(count), SEEK_CUR) == 0; }

  std::optional<std::uint8_t> ReadByte() {
    const int c = std::fgetc(file_);
    if (c == EOF) return std::nullopt;
    return static_cast<std::uint8_t>(c);
  }

  std::optional<std::uint32_t> ReadBigEndian32() {
    unsigned char bytes[kLengthBytes];
    if (std::fread(bytes, 1, kLengthBytes, file_) != kLengthBytes) return std::nullopt;
    return DecodeBigEndian32(bytes);
  }

  enum class NameResult { Ok, EndOfFile, TooLong };

  // Reads a NUL-ended name field of at most kNameFieldMax bytes.
  NameResult ReadName(std::string& name) {
    name.clear();
    for (std::size_t i = 0; i < kNameFieldMax; ++i) {
      const auto byte = ReadByte();
      if (!byte) return NameResult::EndOfFile;
      if (*byte == 0) return NameResult::Ok;
      name.push_back(static_cast<char>(*byte));
    }
    return NameResult::TooLong;
  }

private:
  void Close() {
    if (file_ != nullptr) std::fclose(file_);
    file_ = nullptr;
  }

  std::FILE* file_ = nullptr;
  std::uint64_t size_ = 0;
};

// Copies exactly `count` bytes from the archive to `out`.
bool CopyBytes(std::FILE* in, std::FILE* out, std::uint32_t count) {
  std::array<unsigned char, 64 * 1024> buffer;
  while (count > 0) {
    const std::size_t chunk = count < buffer.size() ? count : buffer.size();
    if (std::fread(buffer.data(), 1, chunk, in) != chunk) return false;
    if (std::fwrite(buffer.data(), 1, chunk, out) != chunk) return false;
    count -= static_cast<std::uint32_t>(chunk);
  }
  return true;
}

// Writes one entry's data as `installFolder\name` by way of a temporary file
// in the same folder, so the old file (if any) stays intact until the new one
// is complete.
bool WriteEntry(Platform& platform, ArchiveFile& archive, const std::string& installFolder,
                const std::string& name, std::uint32_t size) {
  const std::string temp = platform.CreateTempFile(installFolder);
  if (temp.empty()) return false;
  std::FILE* out = platform.OpenFile(temp, "wb");
  bool ok = out != nullptr && CopyBytes(archive.Get(), out, size);
  if (out != nullptr && std::fclose(out) != 0) ok = false;
  ok = ok && platform.MoveReplacing(temp, installFolder + "\\" + name);
  if (!ok) platform.RemoveFile(temp);
  return ok;
}

} // namespace

void SetOverwriteDecision(OverwriteDecision decision) {
  DecisionHook() = std::move(decision);
}

AgreementText ReadAgreementText(const std::string& executablePath) {
  AgreementText result;
  ArchiveFile archive(executablePath);
  if (!archive.IsOpen() || !archive.SeekFromEnd(kLengthBytes)) return result;
  const auto textLength = archive.ReadBigEndian32();
  if (!textLength) return result;
  result.textSegmentLength = *textLength;
  if (!archive.SeekFromEnd(*textLength)) return result;

  std::string name;
  for (;;) {
    const auto type = archive.ReadByte();
    if (!type || *type == ENTRY_END || *type > ENTRY_LAST_TYPE) break;
    if (archive.ReadName(name) != ArchiveFile::NameResult::Ok) break;
    if (HasFolderPart(name)) break;
    const auto size = archive.ReadBigEndian32();
    if (!size || *size > archive.Remaining()) break;
    if (*type != ENTRY_TEXT) {
      if (!archive.Skip(*size)) break;
      continue;
    }
    std::vector<char> data;
    try {
      data.resize(*size);
    } catch (const std::bad_alloc&) {
      if (!archive.Skip(*size)) break;
      continue;
    }
    if (std::fread(data.data(), 1, data.size(), archive.Get()) != data.size()) break;
    // The text ends at its first NUL byte, if it has one.
    std::string text(data.data(), data.size());
    result.text = text.substr(0, text.find('\0'));
  }
  return result;
}

bool UnpackPayload(Platform& platform, const std::string& executablePath, WindowHandle owner,
                   const std::string& installFolder, std::uint32_t textSegmentLength) {
  ArchiveFile archive(executablePath);
  if (!archive.IsOpen()) return false;
  if (!archive.SeekFromEnd(std::uint64_t{textSegmentLength} + kLengthBytes)) return false;
  const auto fileLength = archive.ReadBigEndian32();
  if (!fileLength) return false;
  if (!archive.SeekFromEnd(std::uint64_t{textSegmentLength} + *fileLength)) return false;

  std::string name;
  for (;;) {
    const auto type = archive.ReadByte();
    if (!type) return false; // the end byte is missing
    if (*type == ENTRY_END) return true;
    if (*type > ENTRY_LAST_TYPE) return false;
    if (archive.ReadName(name) != ArchiveFile::NameResult::Ok) return false;
    if (!IsPlainFileName(name)) return false;
    if (*type == ENTRY_FILE && installFolder.size() + 1 + name.size() >= kPathBufferSize) {
      return false;
    }
    const auto size = archive.ReadBigEndian32();
    if (!size || *size > archive.Remaining()) return false;
    if (!platform.SetCurrentFolder(installFolder)) return false;

    const OverwriteDecision& decide = DecisionHook();
    const OverwriteChoice choice = decide ? decide(owner, name) : OverwriteChoice::Write;
    if (choice == OverwriteChoice::Write) {
      if (!WriteEntry(platform, archive, installFolder, name, *size)) return false;
    } else if (!archive.Skip(*size)) {
      return false;
    }
  }
}

} // namespace zarnsetup
