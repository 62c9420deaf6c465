#include "install_flow.h"

#include "app.h"
#include "payload_format.h"

namespace zarnsetup {

int OverwriteMode = OVERWRITE_NO;

namespace {

constexpr const char* kInstallFolderBelowDrive = "\\Program Files\\Zarnik for TradeStation";
constexpr const char* kProgramFolders[] = {"\\Program Files", "\\Program Files (x86)"};
constexpr const char* kReadMeName = "README.rtf";

bool FitsPathBuffer(const std::string& path) { return path.size() < kPathBufferSize; }

std::string DriveRoot(Platform& platform) { return std::string(1, InstallDriveLetter(platform)) + ":"; }

const char* CurrentCaption() {
  const WApp* app = WApp::Current();
  return app != nullptr ? app->Caption() : "";
}

// Resets the overwrite hook when the run ends, since it refers to the run's
// platform.
struct OverwriteHookScope {
  explicit OverwriteHookScope(Platform& platform) {
    SetOverwriteDecision([&platform](WindowHandle owner, const std::string& name) {
      return ConfirmOverwrite(platform, owner, name);
    });
  }
  ~OverwriteHookScope() { SetOverwriteDecision(nullptr); }
  OverwriteHookScope(const OverwriteHookScope&) = delete;
  OverwriteHookScope& operator=(const OverwriteHookScope&) = delete;
};

} // namespace

char InstallDriveLetter(Platform& platform) {
  const char saved = platform.CurrentDrive();
  char found = 'C';
  for (char letter = 'C'; letter <= 'Z'; ++letter) {
    if (platform.SelectDrive(letter)) {
      found = letter;
      break;
    }
  }
  platform.SelectDrive(saved);
  return found;
}

std::string InstallFolderPath(Platform& platform) { return DriveRoot(platform) + kInstallFolderBelowDrive; }

bool CreateInstallFolder(Platform& platform, const std::string& path) {
  if (path.empty() || !FitsPathBuffer(path)) return false;
  for (std::size_t end = path.find('\\');; end = path.find('\\', end + 1)) {
    const std::string prefix = path.substr(0, end);
    // A prefix that can be made current already exists (a drive, a folder).
    if (!prefix.empty() && !platform.SetCurrentFolder(prefix) && !platform.CreateFolder(prefix)) {
      return false;
    }
    if (end == std::string::npos) return true;
  }
}

OverwriteChoice ConfirmOverwrite(Platform& platform, WindowHandle owner, const std::string& name) {
  std::FILE* existing = platform.OpenFile(name, "rb");
  if (existing == nullptr) return OverwriteChoice::Write;
  std::fclose(existing);

  if (OverwriteMode == OVERWRITE_YES_TO_ALL) return OverwriteChoice::Write;
  if (OverwriteMode == OVERWRITE_NO_TO_ALL) return OverwriteChoice::Skip;

  // A dialog that cannot be shown leaves the mode as it was.
  switch (platform.ShowOverwriteDialog(owner, CurrentCaption(), name)) {
  case IDC_ANSWER_YES: OverwriteMode = OVERWRITE_YES; break;
  case IDC_ANSWER_YES_TO_ALL: OverwriteMode = OVERWRITE_YES_TO_ALL; break;
  case IDC_ANSWER_NO: OverwriteMode = OVERWRITE_NO; break;
  case IDC_ANSWER_NO_TO_ALL: OverwriteMode = OVERWRITE_NO_TO_ALL; break;
  default: break;
  }
  return OverwriteMode == OVERWRITE_YES || OverwriteMode == OVERWRITE_YES_TO_ALL ? OverwriteChoice::Write
                                                                              : OverwriteChoice::Skip;
}

void DistributeWorkspaces(Platform& platform) {
  for (const char* programFolderBelowDrive : kProgramFolders) {
    const std::string programFolder = DriveRoot(platform) + programFolderBelowDrive;
    const std::string installationPattern = programFolder + "\\TradeStation*.*";
    if (!FitsPathBuffer(installationPattern)) continue;
    for (const std::string& installation : platform.FindNames(installationPattern)) {
      const std::string installFolder = InstallFolderPath(platform);
      const std::string workspacePattern = installFolder + "\\*.TSW";
      if (!FitsPathBuffer(workspacePattern)) continue;
      for (const std::string& workspace : platform.FindNames(workspacePattern)) {
        const std::string source = installFolder + "\\" + workspace;
        const std::string target = programFolder + "\\" + installation + "\\MyWork\\" + workspace;
        // Paths that do not fit the 260-character buffers are skipped.
        if (!FitsPathBuffer(source) || !FitsPathBuffer(target)) continue;
        platform.CopyFileNoReplace(source, target);
      }
    }
  }
}

int RunInstaller(Platform& platform) {
  Install application(platform.Instance());
  OverwriteMode = OVERWRITE_NO;
  const WindowHandle desktop = platform.DesktopWindow();
  const std::string executable = platform.ExecutablePath();

  const AgreementText agreement = ReadAgreementText(executable);
  if (!agreement.text.empty() &&
      platform.ShowAgreementDialog(desktop, CurrentCaption(), agreement.text) != ID_ACCEPT) {
    return kExitSuccess;
  }

  OverwriteHookScope hook(platform);

  const std::string installFolder = InstallFolderPath(platform);
  if (!CreateInstallFolder(platform, installFolder)) {
    platform.ShowMessage(desktop, "Could not create install folder... ", "Error", MessageKind::Error);
    return kExitFailure;
  }
  if (!UnpackPayload(platform, executable, desktop, installFolder, agreement.textSegmentLength)) {
    platform.ShowMessage(desktop, "Error unpacking files", "Fatal Error", MessageKind::Error);
    return kExitFailure;
  }

  DistributeWorkspaces(platform);

  platform.ShowMessage(desktop, "Zarnik for TradeStation successfully installed", "Installation Complete",
                       MessageKind::Information);
  platform.ShellOpen(desktop, InstallFolderPath(platform) + "\\" + kReadMeName);
  return kExitSuccess;
}

} // namespace zarnsetup
