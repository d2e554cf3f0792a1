#include "imaging/rescue_map.h"

#include <algorithm>
#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <sstream>

#include "base/text.h"
#include "platform/files.h"

namespace kestrum {

namespace {

bool IsBlockState(char c) { return c == '?' || c == '*' || c == '/' || c == '-' || c == '+'; }

bool ParseNumber(const std::string& word, std::uint64_t& out) {
  if (word.empty() || word[0] == '-' || word[0] == '+') return false;
  errno = 0;
  char* end = nullptr;
  out = std::strtoull(word.c_str(), &end, 0);
  return errno == 0 && end != nullptr && *end == '\0';
}

std::string Hex(std::uint64_t value) {
  char text[24];
  std::snprintf(text, sizeof text, "0x%08" PRIX64, value);
  return text;
}

}  // namespace

RescueMap::RescueMap(Sector64 sectors) : sectors_(sectors) {
  if (sectors > 0) blocks_[0] = MapBlock{0, sectors, RescueState::kNonTried};
}

void RescueMap::Set(Sector64 first, Sector64 count, RescueState state) {
  if (first >= sectors_ || count == 0) return;
  count = std::min(count, sectors_ - first);
  const Sector64 end = first + count;
  // Split the blocks that hold the range's two ends.
  for (Sector64 at : {first, end}) {
    if (at >= sectors_) continue;
    auto it = std::prev(blocks_.upper_bound(at));
    if (it->first == at) continue;
    MapBlock tail{at, it->second.first + it->second.count - at, it->second.state};
    it->second.count = at - it->second.first;
    blocks_[at] = tail;
  }
  blocks_.erase(blocks_.lower_bound(first), blocks_.lower_bound(end));
  auto it = blocks_.emplace(first, MapBlock{first, count, state}).first;
  if (it != blocks_.begin()) {
    auto before = std::prev(it);
    if (before->second.state == state) {
      before->second.count += it->second.count;
      blocks_.erase(it);
      it = before;
    }
  }
  auto after = std::next(it);
  if (after != blocks_.end() && after->second.state == state) {
    it->second.count += after->second.count;
    blocks_.erase(after);
  }
}

RescueState RescueMap::StateAt(Sector64 sector) const {
  if (sector >= sectors_) return RescueState::kNonTried;
  return std::prev(blocks_.upper_bound(sector))->second.state;
}

std::vector<MapBlock> RescueMap::Blocks() const {
  std::vector<MapBlock> out;
  out.reserve(blocks_.size());
  for (const auto& [first, block] : blocks_) out.push_back(block);
  return out;
}

bool RescueMap::NextOf(RescueState state, Sector64 from, MapBlock& out) const {
  if (from >= sectors_) return false;
  for (auto it = std::prev(blocks_.upper_bound(from)); it != blocks_.end(); ++it) {
    if (it->second.state != state) continue;
    const Sector64 start = std::max(from, it->second.first);
    out = MapBlock{start, it->second.first + it->second.count - start, state};
    return true;
  }
  return false;
}

bool RescueMap::PreviousOf(RescueState state, Sector64 end, MapBlock& out) const {
  end = std::min(end, sectors_);
  if (end == 0) return false;
  auto it = std::prev(blocks_.upper_bound(end - 1));
  for (;; --it) {
    if (it->second.state == state) {
      const Sector64 stop = std::min(end, it->second.first + it->second.count);
      out = MapBlock{it->second.first, stop - it->second.first, state};
      return true;
    }
    if (it == blocks_.begin()) return false;
  }
}

Sector64 RescueMap::CountOf(RescueState state) const {
  Sector64 n = 0;
  for (const auto& [first, block] : blocks_) n += block.state == state ? block.count : 0;
  return n;
}

std::uint64_t RescueMap::AreasOf(RescueState state) const {
  return static_cast<std::uint64_t>(std::count_if(blocks_.begin(), blocks_.end(),
                                                  [state](const auto& b) { return b.second.state == state; }));
}

std::string FormatMapfile(const RescueMap& map, const std::vector<std::string>& header) {
  std::string text;
  for (const std::string& line : header) text += "# " + line + "\n";
  text += "# current_pos  current_status  current_pass\n";
  char line[96];
  std::snprintf(line, sizeof line, "%s     %c               %u\n", Hex(map.position * kSectorSize).c_str(),
                static_cast<char>(map.phase), map.pass);
  text += line;
  text += "#      pos        size  status\n";
  for (const MapBlock& b : map.Blocks()) {
    text += Hex(b.first * kSectorSize) + "  " + Hex(b.count * kSectorSize) + "  " + static_cast<char>(b.state) + "\n";
  }
  return text;
}

bool ParseMapfile(const std::string& text, Sector64 sectors, RescueMap& out, std::string& error) {
  std::istringstream lines(text);
  std::string line;
  bool haveStatus = false;
  std::uint64_t next = 0;  // bytes covered so far
  RescueMap map(sectors);
  std::vector<MapBlock> blocks;
  for (unsigned number = 1; std::getline(lines, line); ++number) {
    const std::size_t start = line.find_first_not_of(" \t\r");
    if (start == std::string::npos || line[start] == '#') continue;
    std::istringstream words(line);
    std::vector<std::string> w;
    for (std::string word; words >> word;) w.push_back(word);
    const std::string where = "line " + std::to_string(number);
    if (!haveStatus) {
      std::uint64_t position = 0, pass = 1;
      if (w.size() < 2 || w.size() > 3 || !ParseNumber(w[0], position) || w[1].size() != 1 ||
          !IsBlockState(w[1][0]) || (w.size() == 3 && (!ParseNumber(w[2], pass) || pass == 0 || pass > 99))) {
        error = where + ": not a status line (position, status, pass)";
        return false;
      }
      map.position = std::min<std::uint64_t>(position / kSectorSize, sectors);
      map.phase = static_cast<CopyPhase>(w[1][0]);
      map.pass = static_cast<std::uint32_t>(pass);
      haveStatus = true;
      continue;
    }
    std::uint64_t position = 0, size = 0;
    if (w.size() != 3 || !ParseNumber(w[0], position) || !ParseNumber(w[1], size) || w[2].size() != 1 ||
        !IsBlockState(w[2][0])) {
      error = where + ": not a block line (position, size, status)";
      return false;
    }
    if (position != next) {
      error = where + (position < next ? ": blocks overlap" : ": a gap before this block");
      return false;
    }
    if (size == 0 || position % kSectorSize != 0 || size % kSectorSize != 0) {
      error = where + ": a block that is not whole 512-byte sectors";
      return false;
    }
    if (size / kSectorSize > sectors || position / kSectorSize > sectors - size / kSectorSize) {
      error = where + ": a block past the end of the source";
      return false;
    }
    blocks.push_back({position / kSectorSize, size / kSectorSize, static_cast<RescueState>(w[2][0])});
    next = position + size;
  }
  if (!haveStatus) {
    error = "no status line";
    return false;
  }
  if (next != sectors * kSectorSize) {
    error = "the blocks end at byte " + std::to_string(next) + ", the source at " +
            std::to_string(sectors * kSectorSize);
    return false;
  }
  for (const MapBlock& b : blocks) map.Set(b.first, b.count, b.state);
  out = std::move(map);
  return true;
}

bool ReplaceFileAtomically(const std::string& path, const std::string& text, int& error) {
  const std::u16string target = FromUtf8(path);
  const std::u16string temporary = target + u".new";
  int fd = platform::OpenFile(temporary, platform::OpenMode::kCreateNoLink);
  if (fd < 0) {
    error = errno;
    return false;
  }
  bool ok = platform::WriteAll(fd, text.data(), text.size()) && platform::FlushFile(fd);
  error = ok ? 0 : errno;
  ok = platform::CloseFile(fd) && ok;
  if (ok && !platform::ReplaceFile(temporary, target)) {
    error = errno;
    ok = false;
  }
  if (!ok) {
    platform::RemoveFile(temporary);
    return false;
  }
  platform::FlushFolder(platform::FolderOfPath(target));
  return true;
}

}  // namespace kestrum
