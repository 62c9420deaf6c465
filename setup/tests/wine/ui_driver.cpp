// Drives the real zarnsetup.exe through its dialogs, as a person would, and
// checks what it shows. Built by both Windows builds, runs under wine.
//
//   zarnsetup_ui_driver SCENARIO INSTALLER AGREEMENT_FILE SHOTS_FOLDER [NAME=yes|no ...]
//
// Scenarios:
//   decline         Escape in the agreement dialog; exit code 0.
//   folder-failure  accept; the "Error" message box; exit code 1.
//   install         accept; answer dialog 109 for each NAME in turn (and
//                   for no other file); the completion box; exit code 0.
//
// A screenshot of each dialog is asked for by creating SHOTS_FOLDER\NAME.request;
// the test script takes it and deletes the request.
#include <windows.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "resource.h"

namespace {

constexpr DWORD kWaitMilliseconds = 60000;
constexpr const char* kCaption = "Zarnik for TradeStation Installer 1.0";
constexpr int kMessageBoxTextId = 0xFFFF; // the static text of a message box

int failures = 0;

void Check(bool ok, const std::string& what) {
  std::printf("%s: %s\n", ok ? "ok" : "FAILED", what.c_str());
  std::fflush(stdout);
  if (!ok) ++failures;
}

std::string TextOf(HWND window) {
  DWORD_PTR length = 0;
  if (!SendMessageTimeoutA(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 5000, &length)) return "<no answer>";
  std::string text(length + 1, '\0');
  DWORD_PTR copied = 0;
  if (!SendMessageTimeoutA(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()),
                           SMTO_ABORTIFHUNG, 5000, &copied)) {
    return "<no answer>";
  }
  text.resize(copied);
  return text;
}

std::string ItemText(HWND dialog, int id) {
  const HWND item = GetDlgItem(dialog, id);
  return item != nullptr ? TextOf(item) : "<no control " + std::to_string(id) + ">";
}

struct Search {
  DWORD processId;
  HWND found;
};

BOOL CALLBACK FindDialogOfProcess(HWND window, LPARAM parameter) {
  auto* search = reinterpret_cast<Search*>(parameter);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  char className[64] = {};
  GetClassNameA(window, className, sizeof className);
  if (owner == search->processId && IsWindowVisible(window) && std::string(className) == "#32770") {
    search->found = window;
    return FALSE;
  }
  return TRUE;
}

// Waits for a visible dialog of the process other than `previous`; nullptr
// if the process ends or the time runs out first.
HWND WaitForDialog(const PROCESS_INFORMATION& process, HWND previous = nullptr) {
  for (DWORD waited = 0; waited < kWaitMilliseconds; waited += 100) {
    if (previous == nullptr || !IsWindow(previous)) {
      Search search{process.dwProcessId, nullptr};
      EnumWindows(FindDialogOfProcess, reinterpret_cast<LPARAM>(&search));
      if (search.found != nullptr && search.found != previous) {
        Sleep(300); // let it finish painting before it is photographed
        return search.found;
      }
    }
    if (WaitForSingleObject(process.hProcess, 100) == WAIT_OBJECT_0) return nullptr;
  }
  return nullptr;
}

void Screenshot(const std::string& folder, const std::string& name) {
  const std::string request = folder + "\\" + name + ".request";
  std::ofstream(request).close();
  for (DWORD waited = 0; waited < 20000; waited += 100) {
    if (GetFileAttributesA(request.c_str()) == INVALID_FILE_ATTRIBUTES) return;
    Sleep(100);
  }
  Check(false, "screenshot " + name + " taken");
}

void Click(HWND dialog, int id) { PostMessageA(GetDlgItem(dialog, id), BM_CLICK, 0, 0); }

std::string ReadFileText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void CheckAgreementDialog(HWND dialog, const std::string& agreement) {
  Check(TextOf(dialog) == kCaption, "agreement dialog title is the caption (\"" + TextOf(dialog) + "\")");
  Check(ItemText(dialog, IDC_INTRO) == "This program will install Zarnik", "text 1015");
  Check(ItemText(dialog, IDC_READ_AGREEMENT) == "Please read the entirety of the following license agreement.",
        "text 1016");
  Check(ItemText(dialog, IDC_ACCEPT_LINE1) ==
            "Do you accept all of the terms of the License Agreement?  You must accept all terms of the "
            "License Agreement",
        "text 1017");
  Check(ItemText(dialog, IDC_ACCEPT_LINE2) ==
            "to install the software.  Chose \"No\" to terminate the installation.",
        "text 1018 (\"" + ItemText(dialog, IDC_ACCEPT_LINE2) + "\")");
  Check(ItemText(dialog, ID_DECLINE) == "&No", "button 2 is &No");
  Check(ItemText(dialog, ID_ACCEPT) == "&Yes", "button 1 is &Yes");
  Check(!agreement.empty() && ItemText(dialog, IDC_AGREEMENT_TEXT) == agreement, "control 1000 holds the agreement");
}

void CheckMessageBox(HWND box, const std::string& caption, const std::string& text) {
  Check(box != nullptr, "message box \"" + caption + "\" shown");
  if (box == nullptr) return;
  Check(TextOf(box) == caption, "message box caption \"" + TextOf(box) + "\"");
  Check(ItemText(box, kMessageBoxTextId) == text, "message box text \"" + ItemText(box, kMessageBoxTextId) + "\"");
}

BOOL CALLBACK FindReadMeWindow(HWND window, LPARAM parameter) {
  char title[256] = {};
  GetWindowTextA(window, title, sizeof title);
  if (IsWindowVisible(window) && std::string(title).find("README.rtf") != std::string::npos) {
    *reinterpret_cast<HWND*>(parameter) = window;
    return FALSE;
  }
  return TRUE;
}

// The shell opens the read-me in whatever program shows rich text.
HWND WaitForReadMeWindow() {
  for (DWORD waited = 0; waited < 30000; waited += 200) {
    HWND found = nullptr;
    EnumWindows(FindReadMeWindow, reinterpret_cast<LPARAM>(&found));
    if (found != nullptr) {
      Sleep(1000);
      return found;
    }
    Sleep(200);
  }
  return nullptr;
}

DWORD WaitForExit(const PROCESS_INFORMATION& process) {
  if (WaitForSingleObject(process.hProcess, kWaitMilliseconds) != WAIT_OBJECT_0) {
    Check(false, "installer ended");
    TerminateProcess(process.hProcess, 99);
    return 99;
  }
  DWORD code = 99;
  GetExitCodeProcess(process.hProcess, &code);
  return code;
}

int Usage() {
  std::fprintf(stderr,
               "usage: zarnsetup_ui_driver decline|folder-failure|install INSTALLER AGREEMENT SHOTS "
               "[NAME=yes|no ...]\n");
  return 2;
}

} // namespace

int main(int argc, char** argv) {
  if (argc < 5) return Usage();
  const std::string scenario = argv[1];
  const std::string installer = argv[2];
  const std::string agreement = ReadFileText(argv[3]);
  const std::string shots = argv[4];
  std::vector<std::pair<std::string, bool>> answers;
  for (int i = 5; i < argc; ++i) {
    const std::string answer = argv[i];
    const auto equals = answer.find('=');
    if (equals == std::string::npos) return Usage();
    answers.emplace_back(answer.substr(0, equals), answer.substr(equals + 1) == "yes");
  }

  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  std::string commandLine = "\"" + installer + "\"";
  if (!CreateProcessA(installer.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &process)) {
    std::printf("FAILED: cannot start %s (error %lu)\n", installer.c_str(), GetLastError());
    return 1;
  }
  // The installer is of the driver's kind. On 64-bit Windows a 32-bit one runs
  // under WOW64, where "Program Files (x86)" is the program folder of 32-bit
  // programs: the test script checks it still writes where its drive rule says.
  BOOL wow64 = FALSE;
  IsWow64Process(process.hProcess, &wow64);
  if (sizeof(void*) == 4) {
    Check(wow64 != FALSE, "the 32-bit installer runs on 64-bit Windows (WOW64)");
  } else {
    Check(wow64 == FALSE, "the 64-bit installer runs natively");
  }

  HWND dialog = WaitForDialog(process);
  Check(dialog != nullptr && GetDlgItem(dialog, IDC_AGREEMENT_TEXT) != nullptr, "agreement dialog shown");
  if (dialog != nullptr) {
    CheckAgreementDialog(dialog, agreement);
    Screenshot(shots, scenario + "-1-agreement");
    if (scenario == "decline") {
      // Escape in the agreement text, as a person would press it.
      PostMessageA(GetDlgItem(dialog, IDC_AGREEMENT_TEXT), WM_KEYDOWN, VK_ESCAPE, 0x00010001);
    } else {
      Click(dialog, ID_ACCEPT);
    }
  }

  DWORD expectedExit = 0;
  if (scenario == "folder-failure") {
    expectedExit = 1;
    const HWND box = WaitForDialog(process, dialog);
    CheckMessageBox(box, "Error", "Could not create install folder... ");
    if (box != nullptr) {
      Screenshot(shots, scenario + "-2-error");
      Click(box, IDOK);
    }
  } else if (scenario == "install") {
    HWND previous = dialog;
    int shot = 2;
    for (const auto& [name, replace] : answers) {
      const HWND overwrite = WaitForDialog(process, previous);
      Check(overwrite != nullptr && GetDlgItem(overwrite, IDC_OVERWRITE_TEXT) != nullptr,
            "overwrite dialog shown for " + name);
      if (overwrite == nullptr) break;
      Check(TextOf(overwrite) == kCaption, "overwrite dialog title is the caption");
      Check(ItemText(overwrite, IDC_OVERWRITE_TEXT) == "Overwrite " + name,
            "overwrite text \"" + ItemText(overwrite, IDC_OVERWRITE_TEXT) + "\"");
      Check(ItemText(overwrite, IDC_ANSWER_YES) == "Yes" && ItemText(overwrite, IDC_ANSWER_YES_TO_ALL) == "Yes To All" &&
                ItemText(overwrite, IDC_ANSWER_NO) == "No" && ItemText(overwrite, IDC_ANSWER_NO_TO_ALL) == "No To All",
            "overwrite buttons");
      if (shot == 2) {
        // Escape must not close it.
        PostMessageA(overwrite, WM_COMMAND, IDCANCEL, 0);
        Sleep(500);
        Check(IsWindowVisible(overwrite) != FALSE, "Escape leaves the overwrite dialog open");
      }
      Screenshot(shots, scenario + "-" + std::to_string(shot++) + "-overwrite-" + name);
      Click(overwrite, replace ? IDC_ANSWER_YES : IDC_ANSWER_NO);
      previous = overwrite;
    }
    const HWND box = WaitForDialog(process, previous);
    CheckMessageBox(box, "Installation Complete", "Zarnik for TradeStation successfully installed");
    if (box != nullptr) {
      Screenshot(shots, scenario + "-" + std::to_string(shot) + "-complete");
      Click(box, IDOK);
    }
  }

  const DWORD code = WaitForExit(process);
  Check(code == expectedExit, "exit code " + std::to_string(code));
  if (scenario == "install") {
    const HWND readMe = WaitForReadMeWindow();
    Check(readMe != nullptr, "the read-me was opened");
    if (readMe != nullptr) {
      Screenshot(shots, scenario + "-9-readme");
      PostMessageA(readMe, WM_CLOSE, 0, 0);
    }
  }
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  std::printf("%s: %d failure(s)\n", scenario.c_str(), failures);
  return failures == 0 ? 0 : 1;
}
