#include "win32_platform.h"

#include <windows.h>
#include <shellapi.h>
#include <direct.h>

#include "payload_format.h"

namespace zarnsetup {
namespace {

HWND Window(WindowHandle handle) { return static_cast<HWND>(handle); }

struct AgreementDialogData {
  const std::string* caption;
  const std::string* text;
};

struct OverwriteDialogData {
  const std::string* caption;
  const std::string* fileName;
};

// Dialog 101 closes through its two buttons only: id 1 ("&Yes") and id 2
// ("&No", which is also what Escape and the close box send).
INT_PTR CALLBACK AgreementDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
  case WM_INITDIALOG: {
    const auto* data = reinterpret_cast<const AgreementDialogData*>(lParam);
    SetWindowTextA(dialog, data->caption->c_str());
    SetDlgItemTextA(dialog, IDC_AGREEMENT_TEXT, data->text->c_str());
    // Focus the agreement with the caret at its start; the dialog manager
    // would otherwise select the whole text.
    const HWND agreement = GetDlgItem(dialog, IDC_AGREEMENT_TEXT);
    SetFocus(agreement);
    SendMessageA(agreement, EM_SETSEL, 0, 0);
    return FALSE;
  }
  case WM_COMMAND: {
    const int id = LOWORD(wParam);
    if (id == ID_ACCEPT || id == ID_DECLINE) {
      EndDialog(dialog, id);
      return TRUE;
    }
    return FALSE;
  }
  default:
    return FALSE;
  }
}

// Dialog 109 closes through its four buttons only; Escape and the close box
// send IDCANCEL, which is ignored here.
INT_PTR CALLBACK OverwriteDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
  case WM_INITDIALOG: {
    const auto* data = reinterpret_cast<const OverwriteDialogData*>(lParam);
    SetWindowTextA(dialog, data->caption->c_str());
    SetDlgItemTextA(dialog, IDC_OVERWRITE_TEXT, ("Overwrite " + *data->fileName).c_str());
    return TRUE;
  }
  case WM_COMMAND: {
    const int id = LOWORD(wParam);
    if (id == IDC_ANSWER_YES || id == IDC_ANSWER_YES_TO_ALL || id == IDC_ANSWER_NO || id == IDC_ANSWER_NO_TO_ALL) {
      EndDialog(dialog, id);
      return TRUE;
    }
    return FALSE;
  }
  default:
    return FALSE;
  }
}

// DialogBoxParam answers 0 or -1 when the dialog could not be made.
int DialogResult(INT_PTR result) { return result <= 0 ? -1 : static_cast<int>(result); }

} // namespace

std::string Win32Platform::ExecutablePath() {
  char buffer[kPathBufferSize];
  const DWORD length = GetModuleFileNameA(nullptr, buffer, sizeof buffer);
  if (length == 0 || length >= sizeof buffer) return {};
  return std::string(buffer, length);
}

WindowHandle Win32Platform::DesktopWindow() { return GetDesktopWindow(); }

int Win32Platform::ShowAgreementDialog(WindowHandle owner, const std::string& caption,
                                       const std::string& text) {
  AgreementDialogData data{&caption, &text};
  return DialogResult(DialogBoxParamA(static_cast<HINSTANCE>(instance_), MAKEINTRESOURCEA(IDD_AGREEMENT),
                                      Window(owner), AgreementDialogProc, reinterpret_cast<LPARAM>(&data)));
}

int Win32Platform::ShowOverwriteDialog(WindowHandle owner, const std::string& caption,
                                       const std::string& fileName) {
  OverwriteDialogData data{&caption, &fileName};
  return DialogResult(DialogBoxParamA(static_cast<HINSTANCE>(instance_), MAKEINTRESOURCEA(IDD_OVERWRITE),
                                      Window(owner), OverwriteDialogProc, reinterpret_cast<LPARAM>(&data)));
}

void Win32Platform::ShowMessage(WindowHandle owner, const std::string& text, const std::string& caption,
                                MessageKind kind) {
  const UINT style = kind == MessageKind::Error ? MB_OK | MB_ICONERROR : MB_OK;
  MessageBoxA(Window(owner), text.c_str(), caption.c_str(), style);
}

void Win32Platform::ShellOpen(WindowHandle parent, const std::string& path) {
  ShellExecuteA(Window(parent), "open", path.c_str(), nullptr, nullptr, SW_SHOW);
}

char Win32Platform::CurrentDrive() { return static_cast<char>('A' + _getdrive() - 1); }

bool Win32Platform::SelectDrive(char letter) { return _chdrive(letter - 'A' + 1) == 0; }

bool Win32Platform::SetCurrentFolder(const std::string& path) { return SetCurrentDirectoryA(path.c_str()) != 0; }

bool Win32Platform::CreateFolder(const std::string& path) { return CreateDirectoryA(path.c_str(), nullptr) != 0; }

std::vector<std::string> Win32Platform::FindNames(const std::string& pattern) {
  std::vector<std::string> names;
  WIN32_FIND_DATAA found;
  const HANDLE search = FindFirstFileA(pattern.c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return names;
  do {
    names.emplace_back(found.cFileName);
  } while (FindNextFileA(search, &found));
  FindClose(search);
  return names;
}

bool Win32Platform::CopyFileNoReplace(const std::string& from, const std::string& to) {
  return CopyFileA(from.c_str(), to.c_str(), TRUE) != 0;
}

std::FILE* Win32Platform::OpenFile(const std::string& path, const char* mode) {
  return std::fopen(path.c_str(), mode);
}

std::string Win32Platform::CreateTempFile(const std::string& folder) {
  char buffer[MAX_PATH];
  if (GetTempFileNameA(folder.c_str(), "zst", 0, buffer) == 0) return {};
  return buffer;
}

bool Win32Platform::MoveReplacing(const std::string& from, const std::string& to) {
  return MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

bool Win32Platform::RemoveFile(const std::string& path) { return DeleteFileA(path.c_str()) != 0; }

} // namespace zarnsetup
