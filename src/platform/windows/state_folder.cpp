#include "platform/state_folder.h"

#include "platform/windows/win32.h"

#include <shlobj.h>

namespace kestrum {

std::string StateFolder() {
  const wchar_t* local = _wgetenv(L"LOCALAPPDATA");
  std::wstring folder;
  if (local != nullptr && local[0] != L'\0') {
    folder = local;
  } else {
    wchar_t* known = nullptr;
    if (SHGetKnownFolderPath(FOLDERID_LocalAppData, 0, nullptr, &known) == S_OK) folder = known;
    CoTaskMemFree(known);
  }
  if (folder.empty()) folder = L".";
  return platform::win32::Utf8(folder) + "\\Kestrum";
}

std::string StateFile(const std::string& name) { return StateFolder() + "\\" + name; }

}  // namespace kestrum
