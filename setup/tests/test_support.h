// Helpers shared by the installer tests: temporary folders, whole-file I/O
// and hand-made archive bytes (including damaged ones the build tool would
// refuse to write).
#ifndef ZARNSETUP_TESTS_TEST_SUPPORT_H
#define ZARNSETUP_TESTS_TEST_SUPPORT_H

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "payload_writer.h"

namespace zarnsetup::testing {

// A fresh folder under the system's temporary folder, removed afterwards.
class TempFolder {
public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  const std::filesystem::path& Path() const { return path_; }

private:
  std::filesystem::path path_;
};

void WriteWholeFile(const std::filesystem::path& path, const std::string& contents);
void WriteWholeFile(const std::filesystem::path& path, const Bytes& contents);
std::string ReadWholeFile(const std::filesystem::path& path);

// Every regular file below a folder, as paths relative to it ("C/x/y").
std::vector<std::string> FilesBelow(const std::filesystem::path& folder);

Bytes BigEndian(std::uint32_t value);
Bytes ToBytes(const std::string& text);
Bytes Concat(std::initializer_list<Bytes> parts);

// One entry; `declaredSize` replaces the real data size in the size field.
Bytes RawEntry(std::uint8_t type, const std::string& name, const std::string& data,
               std::optional<std::uint32_t> declaredSize = std::nullopt);
// Entries followed by the end byte and the segment length (or `length`).
Bytes RawSegment(const Bytes& entries, std::optional<std::uint32_t> length = std::nullopt);

// Bytes standing for the linked executable image in front of an archive.
Bytes FakeImage();

} // namespace zarnsetup::testing

#endif
