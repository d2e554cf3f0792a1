#include "fs/exfat/exfat_sectors.h"

#include "disk/sector.h"
#include "fs/exfat/exfat_layout.h"

namespace kestrum {

namespace {

ByteView Entry(ByteView sector, unsigned index) {
  return sector.subspan(std::size_t{index} * exfatentry::kSize, exfatentry::kSize);
}

bool IsLabelType(std::uint8_t type) { return type == exfatentry::kLabel || type == exfatentry::kDeletedLabel; }

}  // namespace

bool IsLabelEntryShape(ByteView entry) {
  if (entry.size() < exfatentry::kSize) return false;
  std::size_t count = ReadLe8(entry, exfatlabel::kCharCount);
  if (count > exfatlabel::kMaxChars) return false;
  for (std::size_t i = 0; i < count; ++i) {
    if (ReadLe16(entry, exfatlabel::kChars + 2 * i) == 0) return false;
  }
  for (std::size_t at = exfatlabel::kChars + 2 * count; at < exfatentry::kSize; ++at) {
    if (entry[at] != 0) return false;
  }
  return true;
}

bool IsExfatRootSector(ByteView sector) {
  if (sector.size() < kSectorSize) return false;
  if (!IsLabelType(ReadLe8(sector, exfatentry::kType)) || !IsLabelEntryShape(Entry(sector, 0))) return false;
  if (ReadLe8(Entry(sector, 1), exfatentry::kType) != exfatentry::kBitmap) return false;
  if (ReadLe8(Entry(sector, 2), exfatentry::kType) != exfatentry::kUpcase) return false;
  return IsEntrySetSector(3, sector);
}

bool IsEntrySetSector(unsigned firstEntry, ByteView sector) {
  if (sector.size() < kSectorSize || firstEntry >= exfatentry::kPerSector) return false;
  enum class State { kNone, kExpectStream, kExpectNames };
  State state = State::kNone;
  int remaining = 0;
  unsigned completed = 0;
  for (unsigned i = firstEntry; i < exfatentry::kPerSector; ++i) {
    ByteView entry = Entry(sector, i);
    std::uint8_t type = ReadLe8(entry, exfatentry::kType);
    switch (type) {
      case exfatentry::kEndOfDirectory:
        return completed > 0;
      case exfatentry::kLabel:
      case exfatentry::kDeletedLabel:
        if (!IsLabelEntryShape(entry) || state != State::kNone) return false;
        break;
      case exfatentry::kFile:
      case exfatentry::kDeletedFile:
        if (state != State::kNone) return false;
        remaining = ReadLe8(entry, exfatfile::kSecondaryCount);
        state = State::kExpectStream;
        break;
      case exfatentry::kStream:
      case exfatentry::kDeletedStream:
        if (state == State::kExpectNames) return false;
        if (state == State::kExpectStream) {
          --remaining;
          state = State::kExpectNames;
        }
        break;
      case exfatentry::kName:
      case exfatentry::kDeletedName:
        if (state == State::kExpectStream) return false;
        if (state == State::kExpectNames) {
          if (remaining == 1) {
            ++completed;
            state = State::kNone;
          }
          --remaining;
        }
        break;
      default:
        return false;
    }
  }
  return completed > 0;
}

}  // namespace kestrum
