#include "platform/elevation.h"

#include "platform/files.h"
#include "platform/process.h"
#include "platform/windows/win32.h"

#include <shellapi.h>

namespace kestrum::platform {

std::string ElevationProgram() { return ExecutablePath(); }

ElevatedRun RunElevated(const std::vector<std::string>& arguments, std::string& why) {
  const std::wstring program = win32::WideFromUtf8(ElevationProgram());
  std::wstring parameters;
  for (const std::string& a : arguments) {
    if (!parameters.empty()) parameters += L' ';
    parameters += win32::QuoteArgument(win32::WideFromUtf8(a));
  }
  SHELLEXECUTEINFOW run{};
  run.cbSize = sizeof run;
  run.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI;
  run.lpVerb = L"runas";  // the consent prompt, or the password of an administrator
  run.lpFile = program.c_str();
  run.lpParameters = parameters.c_str();
  run.nShow = SW_SHOWNORMAL;
  if (!ShellExecuteExW(&run)) {
    const DWORD error = GetLastError();
    if (error == ERROR_CANCELLED) return ElevatedRun::kRefused;
    why = ErrorText(win32::ErrnoFromError(error));
    return ElevatedRun::kNotStarted;
  }
  if (run.hProcess != nullptr) {
    WaitForSingleObject(run.hProcess, INFINITE);
    CloseHandle(run.hProcess);
  }
  return ElevatedRun::kEnded;
}

}  // namespace kestrum::platform
