#pragma once
// Where the program keeps its own files (the repair history, crash dumps
// when the program's folder is not writable).

#include <string>

namespace kestrum {

// $XDG_STATE_HOME/kestrum (by default ~/.local/state/kestrum) on Linux,
// %LOCALAPPDATA%\Kestrum on Windows. UTF-8.
std::string StateFolder();
// A file of that folder.
std::string StateFile(const std::string& name);

}  // namespace kestrum
