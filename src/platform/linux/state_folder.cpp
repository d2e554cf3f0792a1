#include "platform/state_folder.h"

#include <cstdlib>

namespace kestrum {

std::string StateFolder() {
  const char* state = std::getenv("XDG_STATE_HOME");
  if (state != nullptr && state[0] == '/') return std::string(state) + "/kestrum";
  const char* home = std::getenv("HOME");
  return std::string(home != nullptr && home[0] != '\0' ? home : "/tmp") + "/.local/state/kestrum";
}

std::string StateFile(const std::string& name) { return StateFolder() + "/" + name; }

}  // namespace kestrum
