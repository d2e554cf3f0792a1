#include "scan/scan_state_file.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <sstream>

#include "base/catalog.h"
#include "base/byte_order.h"
#include "base/text.h"
#include "scan/scan_category.h"
#include "scan/scan_state_layout.h"

namespace kestrum {

namespace {

using namespace statefile;

std::uint64_t Fnv1a(const std::string& bytes, std::size_t from) {
  std::uint64_t hash = 0xcbf29ce484222325ull;
  for (std::size_t i = from; i < bytes.size(); ++i) {
    hash ^= static_cast<std::uint8_t>(bytes[i]);
    hash *= 0x100000001b3ull;
  }
  return hash;
}

class Writer {
 public:
  void U8(std::uint8_t v) { out_.push_back(static_cast<char>(v)); }
  void U16(std::uint16_t v) { Le(v, 2); }
  void U32(std::uint32_t v) { Le(v, 4); }
  void U64(std::uint64_t v) { Le(v, 8); }
  void Bytes(const void* data, std::size_t size) {
    U32(static_cast<std::uint32_t>(size));
    out_.append(static_cast<const char*>(data), size);
  }
  void Text(std::u16string_view text) {
    U32(static_cast<std::uint32_t>(text.size()));
    for (char16_t c : text) U16(static_cast<std::uint16_t>(c));
  }
  std::string& Out() { return out_; }

 private:
  void Le(std::uint64_t v, int width) {
    for (int i = 0; i < width; ++i) out_.push_back(static_cast<char>(v >> (8 * i)));
  }
  std::string out_;
};

// Every read is checked against the end; the first one that does not fit
// fails the whole parse.
class Reader {
 public:
  Reader(const std::string& bytes, std::size_t at) : view_(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()), at_(at) {}

  bool ok() const { return ok_; }
  bool AtEnd() const { return at_ == view_.size(); }
  void Fail() { ok_ = false; }

  std::uint8_t U8() { return static_cast<std::uint8_t>(Take(1) ? ReadLe8(view_, at_ - 1) : 0); }
  std::uint16_t U16() { return Take(2) ? ReadLe16(view_, at_ - 2) : 0; }
  std::uint32_t U32() { return Take(4) ? ReadLe32(view_, at_ - 4) : 0; }
  std::uint64_t U64() { return Take(8) ? ReadLe64(view_, at_ - 8) : 0; }
  bool Bytes(std::vector<std::uint8_t>& out, std::uint32_t max) {
    const std::uint32_t size = U32();
    if (!ok_ || size > max || !Take(size)) return Fail(), false;
    out.assign(view_.begin() + static_cast<std::ptrdiff_t>(at_ - size), view_.begin() + static_cast<std::ptrdiff_t>(at_));
    return true;
  }
  bool Text(std::u16string& out, std::uint32_t max) {
    const std::uint32_t units = U32();
    if (!ok_ || units > max || !Take(std::size_t{units} * 2)) return Fail(), false;
    out.resize(units);
    for (std::uint32_t i = 0; i < units; ++i) out[i] = static_cast<char16_t>(ReadLe16(view_, at_ - 2 * (units - i)));
    return true;
  }
  // A count of items of at least `minBytes` each must fit in what is left.
  bool Count(std::uint32_t& out, std::size_t minBytes) {
    out = U32();
    if (ok_ && std::uint64_t{out} * minBytes > view_.size() - at_) Fail();
    return ok_;
  }

 private:
  bool Take(std::size_t n) {
    if (!ok_ || n > view_.size() - at_) return ok_ = false;
    at_ += n;
    return true;
  }
  ByteView view_;
  std::size_t at_;
  bool ok_ = true;
};

void WriteFinding(Writer& w, const ScanFinding& f) {
  w.U32(static_cast<std::uint32_t>(f.category));
  w.U64(f.sector);
  w.U32(f.wordA);
  w.U32(f.wordB);
  const ByteView copy = f.SectorCopy(), runs = f.Runs();
  w.Bytes(copy.data(), copy.size());
  w.Text(f.Name());
  w.Bytes(runs.data(), runs.size());
  w.U16(f.dataLength);
  w.U64(f.size);
  w.U64(f.allocatedSize);
  w.U8(f.flags);
}

bool KnownCategory(std::int32_t c) { return IsFileCategory(c) || (c >= kCategoryMbr && c <= kNoCategory); }

bool ReadFinding(Reader& r, ScanFinding& f) {
  const auto category = static_cast<std::int32_t>(r.U32());
  f.category = static_cast<ScanCategory>(category);
  f.sector = r.U64();
  f.wordA = r.U32();
  f.wordB = r.U32();
  std::vector<std::uint8_t> copy, data;
  std::u16string name;
  r.Bytes(copy, kMaxSectorCopy);
  r.Text(name, kMaxNameUnits);
  r.Bytes(data, kMaxFindingData);
  f.dataLength = r.U16();
  f.size = r.U64();
  f.allocatedSize = r.U64();
  f.flags = r.U8();
  if (!r.ok() || !KnownCategory(category) || !(copy.empty() || copy.size() == kSectorSize) ||
      f.dataLength > data.size()) {
    return false;
  }
  // Only the run list is kept: bytes past it are a resident value an
  // earlier build saved, which is read from its record where it is needed.
  f.bytes = FindingBytes(copy, name, ByteView(data).first(f.dataLength));
  return true;
}

// The range holds whole blocks of the scanned area, lies after the previous
// one, every block of it was analysed, and its findings lie inside it in
// ascending order.
bool SoundRange(const ScanRange& range, const ScanRange* previous, const ScanState& state, std::string& why) {
  if (range.first % kBlockSectors != 0 || (range.last + 1) % kBlockSectors != 0 ||
      range.last < range.first || range.findings.empty()) {
    return why = "range bounds", false;
  }
  if (range.first < state.firstBlock || range.last >= state.lastBlock + kBlockSectors) {
    return why = "range outside the scanned area", false;
  }
  if (previous != nullptr && range.first <= previous->last) return why = "range order", false;
  Sector64 last = range.first;
  for (const ScanFinding& f : range.findings) {
    if (f.sector < last || f.sector > range.last) return why = "finding outside its range", false;
    last = f.sector;
  }
  for (Sector64 block = range.first; block <= range.last; block += kBlockSectors) {
    if (!state.map.Holds(block) || state.map.Get(block) != kBlockAnalysed) return why = "range not analysed", false;
  }
  return true;
}

bool ParseBody(Reader& r, SavedScan& saved, ScanState& state, std::string& why) {
  r.Text(saved.device.description, kMaxTextUnits);
  saved.device.sectors = r.U64();
  std::vector<std::uint8_t> token;
  r.Bytes(token, kMaxTokenBytes);
  saved.device.token.assign(token.begin(), token.end());
  saved.area.startSector = r.U64();
  saved.area.sectorCount = r.U64();
  saved.area.diskSectors = r.U64();
  saved.request.mode = static_cast<std::int32_t>(r.U32());
  saved.request.priorityStart = r.U64();
  saved.request.priorityLength = r.U64();
  r.Text(saved.area.diskPath, kMaxTextUnits);
  saved.area.diskDescription = saved.device.description;
  saved.area.fsKind = kFsScanArea;
  state.identity = saved.device.description;
  state.firstBlock = r.U64();
  state.lastBlock = r.U64();
  state.nextBlock = r.U64();
  if (!r.ok()) return why = "header fields", false;
  if (saved.request.mode < kScanPartition || saved.request.mode > kScanLostPartitions) return why = "mode", false;
  // The area lies on the device the file names (its size when known).
  const Sector64 deviceLimit = saved.device.sectors != 0 ? saved.device.sectors : saved.area.diskSectors;
  if (saved.area.sectorCount > deviceLimit || saved.area.startSector > deviceLimit - saved.area.sectorCount ||
      saved.area.diskSectors > deviceLimit) {
    return why = "area beyond the device", false;
  }
  Sector64 first = 0, last = 0;
  ScanBlockRange(saved.area, first, last);
  if (state.firstBlock != first || state.lastBlock != last || state.nextBlock < first ||
      state.nextBlock > last + kBlockSectors || state.nextBlock % kBlockSectors != 0) {
    return why = "block range", false;
  }
  const Sector64 deviceSectors =
      std::max<Sector64>(saved.area.diskSectors, saved.area.startSector + saved.area.sectorCount);
  // The stored map is checked against the device's size before a map of
  // that size is made: a damaged size must not ask for terabytes.
  std::vector<std::uint8_t> map;
  if (!r.Bytes(map, 0xFFFFFFFFu) || map.size() != BlockMap::BlocksFor(deviceSectors)) return why = "block map", false;
  state.map.Reset(deviceSectors);
  for (std::size_t i = 0; i < map.size(); ++i) {
    if (map[i] > kBlockAnalysed) return why = "block state", false;
    // A scan marks only the blocks of its area.
    const Sector64 start = Sector64{i} * kBlockSectors;
    if (map[i] != kBlockUnread && (start < first || start > last)) return why = "block outside the scanned area", false;
    // Claimed but never analysed: read again, as a stopped scan does.
    if (map[i] == kBlockClaimed) {
      map[i] = kBlockUnread;
      state.nextBlock = std::min(state.nextBlock, start);
    }
  }
  state.map.Bytes() = std::move(map);
  std::uint32_t count = 0;
  if (!r.Count(count, 8)) return why = "priority list", false;
  std::vector<Sector64> priority(count);
  for (Sector64& p : priority) {
    p = r.U64();
    // Read before anything else on resume: each must be a block of the area.
    if (p % kBlockSectors != 0 || p < first || p > last) return why = "priority block", false;
  }
  state.SetPriorityBlocks(priority);
  std::uint32_t ranges = 0;
  if (!r.Count(ranges, 20)) return why = "ranges", false;
  std::vector<ScanRange>& out = state.store.MutableRanges();
  out.reserve(ranges);
  for (std::uint32_t i = 0; i < ranges; ++i) {
    ScanRange range;
    range.first = r.U64();
    range.last = r.U64();
    std::uint32_t findings = 0;
    if (!r.Count(findings, 49)) return why = "findings", false;
    range.findings.resize(findings);
    for (ScanFinding& f : range.findings) {
      if (!ReadFinding(r, f)) return why = "finding", false;
    }
    if (!SoundRange(range, out.empty() ? nullptr : &out.back(), state, why)) return false;
    out.push_back(std::move(range));
  }
  if (!r.AtEnd()) return why = "trailing bytes", false;
  state.prepared = true;
  return true;
}

}  // namespace

std::uint64_t ScanStateChecksum(const std::string& bytes) { return Fnv1a(bytes, kBodyOffset); }

std::string SerializeScanState(const SavedScan& saved, const ScanState& state) {
  Writer w;
  w.Out().append(kMagic, 4);
  w.U32(kVersion);
  w.U64(0);  // length and checksum, filled in below
  w.U64(0);
  w.Text(saved.device.description);
  w.U64(saved.device.sectors);
  w.Bytes(saved.device.token.data(), saved.device.token.size());
  w.U64(saved.area.startSector);
  w.U64(saved.area.sectorCount);
  w.U64(saved.area.diskSectors);
  w.U32(static_cast<std::uint32_t>(saved.request.mode));
  w.U64(saved.request.priorityStart);
  w.U64(saved.request.priorityLength);
  w.Text(saved.area.diskPath);
  w.U64(state.firstBlock);
  w.U64(state.lastBlock);
  w.U64(state.nextBlock);
  const std::vector<std::uint8_t>& map = state.map.Bytes();
  w.Bytes(map.data(), map.size());
  const std::vector<Sector64> priority = state.PriorityBlocks();
  w.U32(static_cast<std::uint32_t>(priority.size()));
  for (Sector64 p : priority) w.U64(p);
  const std::vector<ScanRange>& ranges = state.store.Ranges();
  w.U32(static_cast<std::uint32_t>(ranges.size()));
  for (const ScanRange& range : ranges) {
    w.U64(range.first);
    w.U64(range.last);
    w.U32(static_cast<std::uint32_t>(range.findings.size()));
    for (const ScanFinding& f : range.findings) WriteFinding(w, f);
  }
  std::string& out = w.Out();
  auto bytes = std::span<std::uint8_t>(reinterpret_cast<std::uint8_t*>(out.data()), out.size());
  WriteLe64(bytes, kLengthOffset, out.size());
  WriteLe64(bytes, kChecksumOffset, ScanStateChecksum(out));
  return out;
}

bool ParseScanState(const std::string& bytes, SavedScan& saved, ScanState& state, std::u16string& error) {
  const ByteView view(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
  if (bytes.size() < kBodyOffset || !HasTag(view, kMagicOffset, kMagic)) {
    error = Tr(u"不是本程序的扫描状态文件");
    return false;
  }
  const std::uint32_t version = ReadLe32(view, kVersionOffset);
  if (version < kVersion) {
    // Its sector numbers are 32-bit: read as this version, they would be misplaced.
    error = TrFormat("扫描状态文件是本程序的旧版本写的（版本 %u），无法再使用，请重新扫描", version);
    return false;
  }
  if (version != kVersion) {
    error = TrFormat("扫描状态文件的版本 %u 不受支持", version);
    return false;
  }
  if (ReadLe64(view, kLengthOffset) != bytes.size()) {
    error = Tr(u"扫描状态文件不完整（长度不符）");
    return false;
  }
  if (ReadLe64(view, kChecksumOffset) != ScanStateChecksum(bytes)) {
    error = Tr(u"扫描状态文件已损坏（校验和不符）");
    return false;
  }
  SavedScan loadedScan;
  ScanState loaded;
  Reader reader(bytes, kBodyOffset);
  std::string why;
  if (!ParseBody(reader, loadedScan, loaded, why)) {
    error = Tr(u"扫描状态文件已损坏（") + FromUtf8(why) + Tr(u"）");
    return false;
  }
  saved = loadedScan;
  state.DiscardScanState();
  state.identity = loaded.identity;
  state.firstBlock = loaded.firstBlock;
  state.lastBlock = loaded.lastBlock;
  state.nextBlock = loaded.nextBlock;
  state.prepared = true;
  state.map.Bytes() = std::move(loaded.map.Bytes());
  state.SetPriorityBlocks(loaded.PriorityBlocks());
  state.store.MutableRanges() = std::move(loaded.store.MutableRanges());
  return true;
}

bool SaveScanState(const std::string& path, const SavedScan& saved, const ScanState& state,
                   std::u16string& error) {
  const std::string bytes = SerializeScanState(saved, state);
  const std::string temporary = path + ".tmp";
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.flush();
    if (!out) {
      error = Tr(u"无法写入扫描状态文件：") + FromUtf8(path);
      std::remove(temporary.c_str());
      return false;
    }
  }
  if (std::rename(temporary.c_str(), path.c_str()) != 0) {
    error = Tr(u"无法写入扫描状态文件：") + FromUtf8(path);
    std::remove(temporary.c_str());
    return false;
  }
  return true;
}

bool LoadScanState(const std::string& path, SavedScan& saved, ScanState& state, std::u16string& error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    error = Tr(u"无法读取扫描状态文件：") + FromUtf8(path);
    return false;
  }
  std::ostringstream content;
  content << in.rdbuf();
  if (!ParseScanState(content.str(), saved, state, error)) {
    error += Tr(u"：") + FromUtf8(path);
    return false;
  }
  return true;
}

}  // namespace kestrum
