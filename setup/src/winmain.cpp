// Program entry of zarnsetup: no command line, no settings; the exit code
// is 0 after a complete or declined installation and 1 after a failure.
#include <windows.h>

#include "install_flow.h"
#include "win32_platform.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  zarnsetup::Win32Platform platform(instance);
  return zarnsetup::RunInstaller(platform);
}
