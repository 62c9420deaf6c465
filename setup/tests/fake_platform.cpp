#include "fake_platform.h"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <system_error>

namespace zarnsetup::testing {
namespace fs = std::filesystem;

namespace {

bool IsDriveSpec(const std::string& path) {
  return path.size() >= 2 && path[1] == ':' && std::isalpha(static_cast<unsigned char>(path[0]));
}

char Upper(char c) { return static_cast<char>(std::toupper(static_cast<unsigned char>(c))); }

std::string BareName(const std::string& windowsPath) {
  const auto slash = windowsPath.find_last_of('\\');
  return slash == std::string::npos ? windowsPath : windowsPath.substr(slash + 1);
}

bool MatchFrom(const std::string& pattern, std::size_t p, const std::string& name, std::size_t n) {
  for (; p < pattern.size(); ++p, ++n) {
    if (pattern[p] == '*') {
      for (std::size_t rest = n; rest <= name.size(); ++rest) {
        if (MatchFrom(pattern, p + 1, name, rest)) return true;
      }
      return false;
    }
    if (n >= name.size()) return false;
    if (pattern[p] != '?' && Upper(pattern[p]) != Upper(name[n])) return false;
  }
  return n == name.size();
}

} // namespace

bool MatchesPattern(const std::string& pattern, const std::string& name) {
  if (MatchFrom(pattern, 0, name, 0)) return true;
  const bool anyExtension = pattern.size() >= 2 && pattern.compare(pattern.size() - 2, 2, ".*") == 0;
  return anyExtension && name.find('.') == std::string::npos &&
         MatchFrom(pattern.substr(0, pattern.size() - 2), 0, name, 0);
}

FakePlatform::FakePlatform(fs::path root) : root_(std::move(root)) {}

WindowHandle FakePlatform::Desktop() {
  static char desktop;
  return &desktop;
}

std::string FakePlatform::Absolute(const std::string& path) const {
  if (IsDriveSpec(path)) {
    if (path.size() == 2) return path;
    if (path[2] == '\\') return path;
    return path.substr(0, 2) + "\\" + path.substr(2);
  }
  if (!path.empty() && path[0] == '\\') return std::string(1, currentDrive_) + ":" + path;
  const std::string base = currentFolder.empty() ? std::string(1, currentDrive_) + ":" : currentFolder;
  return base + "\\" + path;
}

fs::path FakePlatform::Native(const std::string& windowsPath) const {
  const std::string absolute = Absolute(windowsPath);
  fs::path native = root_ / std::string(1, Upper(absolute[0]));
  std::size_t at = 2;
  while (at < absolute.size()) {
    const auto next = absolute.find('\\', at);
    const std::string part = absolute.substr(at, next == std::string::npos ? std::string::npos : next - at);
    if (!part.empty()) native /= part;
    if (next == std::string::npos) break;
    at = next + 1;
  }
  return native;
}

int FakePlatform::ShowAgreementDialog(WindowHandle, const std::string& caption, const std::string& text) {
  ++agreementShown;
  agreementCaption = caption;
  agreementText = text;
  return agreementAnswer;
}

int FakePlatform::ShowOverwriteDialog(WindowHandle, const std::string& caption, const std::string& fileName) {
  overwriteAsked.push_back(fileName);
  overwriteCaptions.push_back(caption);
  if (overwriteAnswers.empty()) return -1;
  const int answer = overwriteAnswers.front();
  overwriteAnswers.pop_front();
  return answer;
}

void FakePlatform::ShowMessage(WindowHandle, const std::string& text, const std::string& caption,
                               MessageKind kind) {
  messages.push_back({text, caption, kind});
}

void FakePlatform::ShellOpen(WindowHandle, const std::string& path) { shellOpened.push_back(path); }

bool FakePlatform::SelectDrive(char letter) {
  letter = Upper(letter);
  if (letter < 'A' || letter > 'Z' || !fs::is_directory(root_ / std::string(1, letter))) return false;
  if (letter != currentDrive_) currentFolder = std::string(1, letter) + ":";
  currentDrive_ = letter;
  return true;
}

bool FakePlatform::SetCurrentFolder(const std::string& path) {
  std::error_code error;
  if (!fs::is_directory(Native(path), error)) return false;
  currentFolder = Absolute(path);
  currentDrive_ = Upper(currentFolder[0]);
  return true;
}

bool FakePlatform::CreateFolder(const std::string& path) {
  const std::string absolute = Absolute(path);
  if (absolute.size() <= 3) return false; // a drive cannot be created
  std::error_code error;
  const fs::path native = Native(path);
  if (!fs::is_directory(native.parent_path(), error)) return false;
  return fs::create_directory(native, error);
}

std::vector<std::string> FakePlatform::FindNames(const std::string& pattern) {
  const std::string absolute = Absolute(pattern);
  const auto slash = absolute.find_last_of('\\');
  const std::string namePattern = absolute.substr(slash + 1);
  std::vector<std::string> names;
  std::error_code error;
  for (const auto& entry : fs::directory_iterator(Native(absolute.substr(0, slash)), error)) {
    const std::string name = entry.path().filename().string();
    if (MatchesPattern(namePattern, name)) names.push_back(name);
  }
  std::sort(names.begin(), names.end());
  return names;
}

bool FakePlatform::CopyFileNoReplace(const std::string& from, const std::string& to) {
  std::error_code error;
  const fs::path source = Native(from);
  const fs::path target = Native(to);
  if (!fs::is_regular_file(source, error) || fs::exists(target, error) ||
      !fs::is_directory(target.parent_path(), error)) {
    return false;
  }
  return fs::copy_file(source, target, error);
}

std::FILE* FakePlatform::OpenFile(const std::string& path, const char* mode) {
  const auto temp = tempFileNumbers_.find(Absolute(path));
  const bool writing = std::string(mode).find_first_of("wa") != std::string::npos;
  if (writing && temp != tempFileNumbers_.end() && temp->second == failTempWriteNumber) {
    // Every write to this file fails as on a full disk.
    return std::fopen("/dev/full", mode);
  }
  return std::fopen(Native(path).c_str(), mode);
}

std::string FakePlatform::CreateTempFile(const std::string& folder) {
  std::error_code error;
  if (!fs::is_directory(Native(folder), error)) return {};
  for (int n = 0;; ++n) {
    const std::string path = Absolute(folder) + "\\zst" + std::to_string(n) + ".tmp";
    if (fs::exists(Native(path), error)) continue;
    std::ofstream(Native(path)).close();
    tempFileNumbers_[path] = ++tempFilesMade_;
    return path;
  }
}

bool FakePlatform::MoveReplacing(const std::string& from, const std::string& to) {
  if (refuseMoveOnto.count(BareName(to)) != 0) return false;
  std::error_code error;
  fs::rename(Native(from), Native(to), error);
  return !error;
}

bool FakePlatform::RemoveFile(const std::string& path) {
  std::error_code error;
  return fs::remove(Native(path), error);
}

} // namespace zarnsetup::testing
