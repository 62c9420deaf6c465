#include "test_support.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>

#include "payload_format.h"

namespace zarnsetup::testing {
namespace fs = std::filesystem;

TempFolder::TempFolder() {
  std::random_device random;
  for (int attempt = 0; attempt < 100; ++attempt) {
    const fs::path candidate = fs::temp_directory_path() / ("zarnsetup-test-" + std::to_string(random()));
    if (fs::create_directory(candidate)) {
      path_ = candidate;
      return;
    }
  }
  throw std::runtime_error("cannot create a temporary folder");
}

TempFolder::~TempFolder() {
  std::error_code error;
  fs::remove_all(path_, error);
}

void WriteWholeFile(const fs::path& path, const std::string& contents) {
  fs::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << contents;
  if (!out) throw std::runtime_error("cannot write " + path.string());
}

void WriteWholeFile(const fs::path& path, const Bytes& contents) {
  WriteWholeFile(path, std::string(contents.begin(), contents.end()));
}

std::string ReadWholeFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path.string());
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::vector<std::string> FilesBelow(const fs::path& folder) {
  std::vector<std::string> files;
  for (const auto& entry : fs::recursive_directory_iterator(folder)) {
    if (entry.is_regular_file()) files.push_back(fs::relative(entry.path(), folder).generic_string());
  }
  std::sort(files.begin(), files.end());
  return files;
}

Bytes BigEndian(std::uint32_t value) {
  unsigned char bytes[kLengthBytes];
  EncodeBigEndian32(value, bytes);
  return Bytes(bytes, bytes + kLengthBytes);
}

Bytes ToBytes(const std::string& text) { return Bytes(text.begin(), text.end()); }

Bytes Concat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& part : parts) out.insert(out.end(), part.begin(), part.end());
  return out;
}

Bytes RawEntry(std::uint8_t type, const std::string& name, const std::string& data,
               std::optional<std::uint32_t> declaredSize) {
  Bytes out{type};
  out.insert(out.end(), name.begin(), name.end());
  out.push_back(0);
  return Concat({out, BigEndian(declaredSize.value_or(static_cast<std::uint32_t>(data.size()))),
                 ToBytes(data)});
}

Bytes RawSegment(const Bytes& entries, std::optional<std::uint32_t> length) {
  const auto real = static_cast<std::uint32_t>(entries.size() + kEmptySegmentLength);
  return Concat({entries, Bytes{ENTRY_END}, BigEndian(length.value_or(real))});
}

Bytes FakeImage() {
  static const char image[] = "MZ\x90\0stand-in for the linked installer image\n";
  return Bytes(image, image + sizeof image - 1);
}

} // namespace zarnsetup::testing
