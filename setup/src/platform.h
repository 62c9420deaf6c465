// The Windows calls the installer makes, behind one interface.
//
// The install flow and the unpacker reach the system only through Platform,
// so that they run unchanged against the real Win32 layer (win32_platform.cpp)
// and against a scripted stand-in in the tests. Paths are 8-bit Windows paths
// ("C:\Program Files\..."); a relative path is taken from the current folder.
#ifndef ZARNSETUP_PLATFORM_H
#define ZARNSETUP_PLATFORM_H

#include <cstdio>
#include <string>
#include <vector>

#include "resource.h"

namespace zarnsetup {

// Opaque window and module handles (HWND and HINSTANCE on Windows).
using WindowHandle = void*;
using InstanceHandle = void*;

enum class MessageKind {
  Error,       // error icon, OK button
  Information, // no icon, OK button
};

class Platform {
public:
  virtual ~Platform() = default;

  // Path of the running program's executable; empty when it cannot be had
  // in a 260-character buffer.
  virtual std::string ExecutablePath() = 0;
  virtual InstanceHandle Instance() = 0;
  virtual WindowHandle DesktopWindow() = 0;

  // Dialog 101: shows the agreement text; returns the id of the control that
  // closed it (ID_ACCEPT, ID_DECLINE), or -1 when it could not be shown.
  virtual int ShowAgreementDialog(WindowHandle owner, const std::string& caption,
                                  const std::string& text) = 0;
  // Dialog 109 for one file name; returns IDC_ANSWER_YES, IDC_ANSWER_YES_TO_ALL, IDC_ANSWER_NO,
  // IDC_ANSWER_NO_TO_ALL, or -1 when it could not be shown.
  virtual int ShowOverwriteDialog(WindowHandle owner, const std::string& caption,
                                  const std::string& fileName) = 0;
  virtual void ShowMessage(WindowHandle owner, const std::string& text,
                           const std::string& caption, MessageKind kind) = 0;
  // The shell's "open" verb on a document; the result is not reported.
  virtual void ShellOpen(WindowHandle parent, const std::string& path) = 0;

  // Drive letters are upper case 'A' to 'Z'.
  virtual char CurrentDrive() = 0;
  virtual bool SelectDrive(char letter) = 0;
  virtual bool SetCurrentFolder(const std::string& path) = 0;
  virtual bool CreateFolder(const std::string& path) = 0;

  // Names (without folder) matching a pattern such as "C:\Program
  // Files\TradeStation*.*", folders and files alike, in the system's order.
  virtual std::vector<std::string> FindNames(const std::string& pattern) = 0;
  // Copies a file; fails when the target already exists.
  virtual bool CopyFileNoReplace(const std::string& from, const std::string& to) = 0;

  // Byte-stream file access; nullptr on failure. The caller closes the file.
  virtual std::FILE* OpenFile(const std::string& path, const char* mode) = 0;
  // Creates a new empty file with a unique name in the folder and returns its
  // path; empty on failure.
  virtual std::string CreateTempFile(const std::string& folder) = 0;
  // Moves a file onto a name in the same folder, replacing a file there.
  virtual bool MoveReplacing(const std::string& from, const std::string& to) = 0;
  virtual bool RemoveFile(const std::string& path) = 0;
};

} // namespace zarnsetup

#endif
