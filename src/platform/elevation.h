#pragma once
// Starting the program again with the rights to read disks, the way the
// system asks the user for them: pkexec through the kestrum-pkexec launcher
// installed beside the program on Linux, the consent prompt ("runas") for
// the program itself on Windows.

#include <string>
#include <vector>

namespace kestrum::platform {

enum class ElevatedRun {
  kEnded,       // it ran with the rights, and has ended
  kRefused,     // the user did not give the rights
  kNotStarted,  // `why` says why
};

// What RunElevated starts; empty when the system does not say where the
// program lies.
std::string ElevationProgram();
// Starts ElevationProgram() with `arguments` (UTF-8), asking for the rights,
// and waits for it to end; its output goes where this program's goes.
ElevatedRun RunElevated(const std::vector<std::string>& arguments, std::string& why);

}  // namespace kestrum::platform
