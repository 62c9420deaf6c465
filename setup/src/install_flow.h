// The install run: agreement, install folder, payload, workspaces, read-me.
// Everything here reaches the system through Platform only.
#ifndef ZARNSETUP_INSTALL_FLOW_H
#define ZARNSETUP_INSTALL_FLOW_H

#include <string>

#include "payload_reader.h"
#include "platform.h"

namespace zarnsetup {

inline constexpr int kExitSuccess = 0; // installed, or agreement declined
inline constexpr int kExitFailure = 1;

// The last answer of the Overwrite File dialog; it starts as OVERWRITE_NO.
enum OverwriteModeValue : int {
  OVERWRITE_YES = 0,
  OVERWRITE_NO = 1,
  OVERWRITE_YES_TO_ALL = 2,
  OVERWRITE_NO_TO_ALL = 3,
};
extern int OverwriteMode;

// The first drive from C to Z that can be made the current drive (C when
// none can); the current drive is put back afterwards.
char InstallDriveLetter(Platform& platform);

// "L:\Program Files\Zarnik for TradeStation" for the install drive L.
std::string InstallFolderPath(Platform& platform);

// Creates every missing folder along the path. False for an empty path, one
// of 260 characters or more, or a folder that cannot be created.
bool CreateInstallFolder(Platform& platform, const std::string& path);

// The overwrite decision: a file that cannot be opened is written; otherwise
// Yes To All / No To All answer for it, or dialog 109 asks.
OverwriteChoice ConfirmOverwrite(Platform& platform, WindowHandle owner, const std::string& name);

// Copies every "*.TSW" of the install folder into the "MyWork" folder of
// every TradeStation installation under both program folders, never
// replacing a file there. Failures are ignored.
void DistributeWorkspaces(Platform& platform);

// The whole run, as the program entry performs it; returns the exit code.
int RunInstaller(Platform& platform);

} // namespace zarnsetup

#endif
