#pragma once
// The five text lines of the progress display, and how each kind of status
// message rewrites them. Shared by the dialog and the terminal line.

#include <string>

#include "run/worker_state.h"

namespace kestrum {

struct ProgressLines {
  std::u16string heading;  // the top line
  std::u16string line1;
  std::u16string line2;
  std::u16string line3;
  std::u16string line4;
};

// Rewrites the lines that `message`'s kind owns; other lines stay as they were.
// Returns false for messages that show nothing.
bool ApplyStatus(const StatusMessage& message, ProgressLines& lines);

}  // namespace kestrum
