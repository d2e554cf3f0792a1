#include "disk/disk_info.h"

#include "base/text.h"

namespace kestrum {

std::u16string FormatDiskSize(std::uint64_t sectors) {
  constexpr std::uint64_t kSectorsPerGiB = 2097152;
  if (sectors < kSectorsPerGiB) return FormatText("%0.2f MB", static_cast<double>(sectors) / 2048.0);
  return FormatText("%0.2f GB", static_cast<double>(sectors) / static_cast<double>(kSectorsPerGiB));
}

std::string ComposeDiskDescription(const std::string& vendor, const std::string& product) {
  auto trimmed = [](std::string s) {
    while (!s.empty() && s.back() == ' ') s.pop_back();
    return s;
  };
  std::string text = trimmed(vendor);
  if (!text.empty()) text += ' ';
  text += product;
  return trimmed(text);
}

}  // namespace kestrum
