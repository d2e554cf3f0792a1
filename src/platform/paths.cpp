#include "platform/files.h"
#include "platform/process.h"

#include <string>

namespace kestrum::platform {

std::u16string FolderOfPath(std::u16string_view path) {
  const std::string separators = PathSeparators();
  std::size_t cut = std::u16string_view::npos;
  for (std::size_t i = path.size(); i-- > 0;) {
    if (path[i] < 0x80 && separators.find(static_cast<char>(path[i])) != std::string::npos) {
      cut = i;
      break;
    }
  }
  if (cut == std::u16string_view::npos) return u".";
  // "/x" and "C:\x" keep their root.
  if (cut == 0 || (cut == 2 && path[1] == u':')) return std::u16string(path.substr(0, cut + 1));
  return std::u16string(path.substr(0, cut));
}

}  // namespace kestrum::platform
