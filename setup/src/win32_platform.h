// The real Windows layer: 8-bit (A) Win32 calls behind Platform.
#ifndef ZARNSETUP_WIN32_PLATFORM_H
#define ZARNSETUP_WIN32_PLATFORM_H

#include "platform.h"

namespace zarnsetup {

class Win32Platform final : public Platform {
public:
  explicit Win32Platform(InstanceHandle instance) : instance_(instance) {}

  std::string ExecutablePath() override;
  InstanceHandle Instance() override { return instance_; }
  WindowHandle DesktopWindow() override;
  int ShowAgreementDialog(WindowHandle owner, const std::string& caption, const std::string& text) override;
  int ShowOverwriteDialog(WindowHandle owner, const std::string& caption, const std::string& fileName) override;
  void ShowMessage(WindowHandle owner, const std::string& text, const std::string& caption,
                   MessageKind kind) override;
  void ShellOpen(WindowHandle parent, const std::string& path) override;
  char CurrentDrive() override;
  bool SelectDrive(char letter) override;
  bool SetCurrentFolder(const std::string& path) override;
  bool CreateFolder(const std::string& path) override;
  std::vector<std::string> FindNames(const std::string& pattern) override;
  bool CopyFileNoReplace(const std::string& from, const std::string& to) override;
  std::FILE* OpenFile(const std::string& path, const char* mode) override;
  std::string CreateTempFile(const std::string& folder) override;
  bool MoveReplacing(const std::string& from, const std::string& to) override;
  bool RemoveFile(const std::string& path) override;

private:
  InstanceHandle instance_;
};

} // namespace zarnsetup

#endif
