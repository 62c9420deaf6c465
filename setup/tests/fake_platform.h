// A scripted stand-in for the Windows layer. A temporary folder stands for
// the machine: its sub-folders "C" to "Z" are the drives, so "C:\Program
// Files" is <root>/C/Program Files. A drive whose folder exists can be
// selected. Dialog answers are scripted; everything shown is recorded.
#ifndef ZARNSETUP_TESTS_FAKE_PLATFORM_H
#define ZARNSETUP_TESTS_FAKE_PLATFORM_H

#include <deque>
#include <map>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "platform.h"

namespace zarnsetup::testing {

struct ShownMessage {
  std::string text;
  std::string caption;
  MessageKind kind;
};

class FakePlatform final : public Platform {
public:
  explicit FakePlatform(std::filesystem::path root);

  // Native path of a Windows path (absolute, drive-relative or relative to
  // the current folder).
  std::filesystem::path Native(const std::string& windowsPath) const;

  // --- script ---
  std::string executable;                // native path of the archive to read
  int agreementAnswer = ID_ACCEPT;       // what dialog 101 returns
  std::deque<int> overwriteAnswers;      // what dialog 109 returns, in turn; -1 when empty
  int failTempWriteNumber = 0;           // the n-th temporary file (1-based) fills the disk
  std::set<std::string> refuseMoveOnto;  // bare names that cannot be replaced

  // --- record ---
  int agreementShown = 0;
  std::string agreementCaption;
  std::string agreementText;
  std::vector<std::string> overwriteAsked; // file names, in order
  std::vector<std::string> overwriteCaptions;
  std::vector<ShownMessage> messages;
  std::vector<std::string> shellOpened;
  std::string currentFolder;               // Windows path

  std::string ExecutablePath() override { return executable; }
  InstanceHandle Instance() override { return nullptr; }
  WindowHandle DesktopWindow() override { return Desktop(); }
  int ShowAgreementDialog(WindowHandle owner, const std::string& caption, const std::string& text) override;
  int ShowOverwriteDialog(WindowHandle owner, const std::string& caption, const std::string& fileName) override;
  void ShowMessage(WindowHandle owner, const std::string& text, const std::string& caption,
                   MessageKind kind) override;
  void ShellOpen(WindowHandle parent, const std::string& path) override;
  char CurrentDrive() override { return currentDrive_; }
  bool SelectDrive(char letter) override;
  bool SetCurrentFolder(const std::string& path) override;
  bool CreateFolder(const std::string& path) override;
  std::vector<std::string> FindNames(const std::string& pattern) override;
  bool CopyFileNoReplace(const std::string& from, const std::string& to) override;
  std::FILE* OpenFile(const std::string& path, const char* mode) override;
  std::string CreateTempFile(const std::string& folder) override;
  bool MoveReplacing(const std::string& from, const std::string& to) override;
  bool RemoveFile(const std::string& path) override;

  // The handle that stands for the desktop window.
  static WindowHandle Desktop();

private:
  std::string Absolute(const std::string& windowsPath) const;

  std::filesystem::path root_;
  char currentDrive_ = 'C';
  int tempFilesMade_ = 0;
  std::map<std::string, int> tempFileNumbers_; // absolute Windows path -> n
};

// Case-insensitive match of a name against a pattern with "*" and "?", as
// the system matches file names (a trailing ".*" also matches no extension).
bool MatchesPattern(const std::string& pattern, const std::string& name);

} // namespace zarnsetup::testing

#endif
