// zarnpack: the build tool that makes the finished installer.
//
//   zarnpack --image LINKED.exe --output INSTALLER.exe
//            --file NAME=PATH [--file NAME=PATH ...] --text NAME=PATH
//   zarnpack --list INSTALLER.exe
//
// The first form copies the linked executable and appends the payload archive
// to the copy: one type-1 entry per --file, in the order given, then the
// agreement as the single type-3 entry of the text segment. The output is
// written under a temporary name and renamed when complete. The second form
// prints the entries an installer carries, one per line.
#include <cstdio>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

#include "payload_format.h"
#include "payload_writer.h"

namespace {

using zarnsetup::ArchiveEntry;
using zarnsetup::Bytes;

Bytes ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot open " + path);
  Bytes bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) throw std::runtime_error("cannot read " + path);
  return bytes;
}

ArchiveEntry EntryFromArgument(std::uint8_t type, const std::string& argument) {
  const auto equals = argument.find('=');
  if (equals == std::string::npos || equals == 0 || equals + 1 == argument.size()) {
    throw std::invalid_argument("expected NAME=PATH, got \"" + argument + "\"");
  }
  return ArchiveEntry{type, argument.substr(0, equals), ReadWholeFile(argument.substr(equals + 1))};
}

int List(const std::string& path) {
  for (const auto& entry : zarnsetup::ListArchive(ReadWholeFile(path))) {
    std::cout << (entry.segment == 0 ? "file" : "text") << ' ' << int{entry.type} << ' '
              << entry.name << ' ' << entry.size << '\n';
  }
  return 0;
}

int Pack(const std::string& image, const std::string& output, const std::vector<ArchiveEntry>& files,
         const ArchiveEntry& agreement) {
  Bytes installer = ReadWholeFile(image);
  const Bytes archive = zarnsetup::BuildArchive(files, agreement);
  installer.insert(installer.end(), archive.begin(), archive.end());

  const std::string temp = output + ".part";
  {
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(installer.data()),
              static_cast<std::streamsize>(installer.size()));
    out.close();
    if (!out) {
      std::filesystem::remove(temp);
      throw std::runtime_error("cannot write " + temp);
    }
  }
  std::filesystem::permissions(temp, std::filesystem::perms::owner_exec | std::filesystem::perms::group_exec |
                                         std::filesystem::perms::others_exec,
                               std::filesystem::perm_options::add);
  std::filesystem::rename(temp, output);
  return 0;
}

int Usage() {
  std::cerr << "usage: zarnpack --image LINKED.exe --output INSTALLER.exe --file NAME=PATH... "
               "--text NAME=PATH\n"
               "       zarnpack --list INSTALLER.exe\n";
  return 2;
}

} // namespace

int main(int argc, char** argv) {
  try {
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() == 2 && args[0] == "--list") return List(args[1]);

    std::string image, output;
    std::vector<ArchiveEntry> files;
    std::vector<ArchiveEntry> texts;
    for (std::size_t i = 0; i < args.size(); ++i) {
      if (i + 1 == args.size()) return Usage();
      const std::string& value = args[++i];
      if (args[i - 1] == "--image") {
        image = value;
      } else if (args[i - 1] == "--output") {
        output = value;
      } else if (args[i - 1] == "--file") {
        files.push_back(EntryFromArgument(zarnsetup::ENTRY_FILE, value));
      } else if (args[i - 1] == "--text") {
        texts.push_back(EntryFromArgument(zarnsetup::ENTRY_TEXT, value));
      } else {
        return Usage();
      }
    }
    if (image.empty() || output.empty() || texts.size() != 1) return Usage();
    return Pack(image, output, files, texts.front());
  } catch (const std::exception& e) {
    std::cerr << "zarnpack: " << e.what() << '\n';
    return 1;
  }
}
