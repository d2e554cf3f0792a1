#include "ntfs_builder.h"

#include <algorithm>
#include <stdexcept>

#include "base/byte_order.h"
#include "base/text.h"
#include "fs/dos_time.h"

namespace kestrum::test {

namespace {

void Put16(Bytes& b, std::size_t at, std::uint16_t v) { WriteLe16(b, at, v); }
void Put32(Bytes& b, std::size_t at, std::uint32_t v) { WriteLe32(b, at, v); }
void Put64(Bytes& b, std::size_t at, std::uint64_t v) { WriteLe64(b, at, v); }

std::size_t Align8(std::size_t n) { return (n + 7) & ~std::size_t{7}; }

// Bytes needed for a signed value (offset fields).
std::size_t SignedWidth(std::int64_t v) {
  for (std::size_t n = 1; n < 8; ++n) {
    std::int64_t lo = -(std::int64_t{1} << (8 * n - 1));
    std::int64_t hi = (std::int64_t{1} << (8 * n - 1)) - 1;
    if (v >= lo && v <= hi) return n;
  }
  return 8;
}

std::size_t UnsignedWidth(std::uint64_t v) {
  std::size_t n = 1;
  while (n < 8 && (v >> (8 * n)) != 0) ++n;
  return n;
}

Bytes FileNameValue(std::uint32_t parent, const std::u16string& name, std::uint8_t nameSpace,
                    std::uint16_t parentSequence = 1) {
  Bytes v(0x42 + 2 * name.size(), 0);
  Put64(v, 0, parent | (std::uint64_t{parentSequence} << 48));  // the sequence in the top bits
  v[0x40] = static_cast<std::uint8_t>(name.size());
  v[0x41] = nameSpace;
  for (std::size_t i = 0; i < name.size(); ++i) Put16(v, 0x42 + 2 * i, name[i]);
  return v;
}

Bytes ResidentAttribute(std::uint32_t type, const Bytes& value) {
  Bytes a(Align8(0x18 + value.size()), 0);
  Put32(a, 0, type);
  Put32(a, 4, static_cast<std::uint32_t>(a.size()));
  Put32(a, 0x10, static_cast<std::uint32_t>(value.size()));
  Put16(a, 0x14, 0x18);
  std::copy(value.begin(), value.end(), a.begin() + 0x18);
  return a;
}

Bytes NonResidentAttribute(std::uint32_t type, const Bytes& runList, std::uint64_t realSize) {
  Bytes a(Align8(0x40 + runList.size()), 0);
  Put32(a, 0, type);
  Put32(a, 4, static_cast<std::uint32_t>(a.size()));
  a[8] = 1;
  Put16(a, 0x20, 0x40);
  Put64(a, 0x28, (realSize + 4095) & ~std::uint64_t{4095});
  Put64(a, 0x30, realSize);
  Put64(a, 0x38, realSize);
  std::copy(runList.begin(), runList.end(), a.begin() + 0x40);
  return a;
}

}  // namespace

std::uint64_t FileTimeOf(std::int64_t unixSeconds) {
  return kUnixEpochAsFileTime + static_cast<std::uint64_t>(unixSeconds) * 10000000ULL;
}

Bytes EncodeRuns(const std::vector<TestRun>& runs, bool terminate) {
  Bytes out;
  for (const TestRun& run : runs) {
    std::size_t l = UnsignedWidth(run.length);
    std::size_t o = run.sparse ? 0 : SignedWidth(run.delta);
    out.push_back(static_cast<std::uint8_t>(l | (o << 4)));
    for (std::size_t i = 0; i < l; ++i) out.push_back(static_cast<std::uint8_t>(run.length >> (8 * i)));
    auto delta = static_cast<std::uint64_t>(run.delta);
    for (std::size_t i = 0; i < o; ++i) out.push_back(static_cast<std::uint8_t>(delta >> (8 * i)));
  }
  if (terminate) out.push_back(0);
  return out;
}

Bytes EncodeIndexEntries(const std::vector<TestIndexEntry>& entries) {
  Bytes out;
  for (const TestIndexEntry& e : entries) {
    Bytes key = FileNameValue(5, e.name, e.nameSpace);
    Bytes entry(Align8(0x10 + key.size()), 0);
    Put64(entry, 0, e.record | (std::uint64_t{1} << 48));
    Put16(entry, 8, static_cast<std::uint16_t>(entry.size()));
    Put16(entry, 10, static_cast<std::uint16_t>(key.size()));
    std::copy(key.begin(), key.end(), entry.begin() + 0x10);
    out.insert(out.end(), entry.begin(), entry.end());
  }
  Bytes last(0x10, 0);
  Put16(last, 8, 0x10);
  Put16(last, 12, 2);  // the last entry
  out.insert(out.end(), last.begin(), last.end());
  return out;
}

Bytes EncodeIndxBlock(const std::vector<TestIndexEntry>& entries, std::size_t size) {
  Bytes block(size, 0);
  block[0] = 'I';
  block[1] = 'N';
  block[2] = 'D';
  block[3] = 'X';
  Bytes e = EncodeIndexEntries(entries);
  const std::size_t first = 0x40;
  Put32(block, 0x18, first - 0x18);
  Put32(block, 0x1C, static_cast<std::uint32_t>(first - 0x18 + e.size()));
  Put32(block, 0x20, static_cast<std::uint32_t>(size - 0x18));
  if (first + e.size() > size) throw std::length_error("INDX block too small");
  std::copy(e.begin(), e.end(), block.begin() + first);
  return block;
}

RecordBuilder::RecordBuilder(std::uint32_t number, std::uint8_t flags)
    : number_(number), flags_(flags) {}

void RecordBuilder::Append(const Bytes& attribute) {
  offsets_.push_back(0x38 + attributes_.size());
  attributes_.insert(attributes_.end(), attribute.begin(), attribute.end());
}

RecordBuilder& RecordBuilder::StandardInfo(std::uint64_t created, std::uint64_t modified) {
  Bytes v(0x48, 0);
  Put64(v, 0, created);
  Put64(v, 8, modified);
  Put64(v, 16, modified);
  Put64(v, 24, modified);
  Append(ResidentAttribute(0x10, v));
  return *this;
}

RecordBuilder& RecordBuilder::FileName(std::uint32_t parent, const std::u16string& name,
                                       std::uint8_t nameSpace, std::uint16_t parentSequence) {
  Append(ResidentAttribute(0x30, FileNameValue(parent, name, nameSpace, parentSequence)));
  return *this;
}

RecordBuilder& RecordBuilder::ResidentData(const std::string& content) {
  Append(ResidentAttribute(0x80, Bytes(content.begin(), content.end())));
  return *this;
}

RecordBuilder& RecordBuilder::NonResidentData(const Bytes& runList, std::uint64_t realSize) {
  Append(NonResidentAttribute(0x80, runList, realSize));
  return *this;
}

RecordBuilder& RecordBuilder::VolumeName(const std::u16string& label) {
  Bytes v(2 * label.size(), 0);
  for (std::size_t i = 0; i < label.size(); ++i) Put16(v, 2 * i, label[i]);
  Append(ResidentAttribute(0x60, v));
  return *this;
}

RecordBuilder& RecordBuilder::IndexRoot(const std::vector<TestIndexEntry>& entries) {
  Bytes e = EncodeIndexEntries(entries);
  Bytes v(0x20 + e.size(), 0);
  Put32(v, 0, 0x30);    // indexed attribute: $FILE_NAME
  Put32(v, 4, 1);       // collation by file name
  Put32(v, 8, 4096);    // index block size
  v[12] = 1;            // clusters per index block
  Put32(v, 0x10, 0x10);  // entries start 0x10 after the node header
  Put32(v, 0x14, static_cast<std::uint32_t>(0x10 + e.size()));
  Put32(v, 0x18, static_cast<std::uint32_t>(0x10 + e.size()));
  std::copy(e.begin(), e.end(), v.begin() + 0x20);
  Append(ResidentAttribute(0x90, v));
  return *this;
}

RecordBuilder& RecordBuilder::IndexAllocation(const Bytes& runList) {
  Append(NonResidentAttribute(0xA0, runList, 4096));
  return *this;
}

RecordBuilder& RecordBuilder::Resident(std::uint32_t type, const Bytes& value) {
  Append(ResidentAttribute(type, value));
  return *this;
}

Bytes RecordBuilder::Build() const {
  Bytes r(1024, 0);
  r[0] = 'F';
  r[1] = 'I';
  r[2] = 'L';
  r[3] = 'E';
  Put16(r, 4, 0x30);  // update sequence array offset
  Put16(r, 6, 3);     // its length: the number and two tails
  Put16(r, 0x10, sequence_);
  Put16(r, 0x12, 1);  // links
  Put16(r, 0x14, 0x38);
  Put16(r, 0x16, flags_);
  Put32(r, 0x1C, 1024);
  Put32(r, 0x2C, number_);
  if (0x38 + attributes_.size() + 8 > r.size()) throw std::length_error("record too full");
  std::copy(attributes_.begin(), attributes_.end(), r.begin() + 0x38);
  std::size_t end = 0x38 + attributes_.size();
  Put32(r, end, 0xFFFFFFFF);
  Put32(r, 0x18, static_cast<std::uint32_t>(end + 8));
  // The update sequence array as it stands after the fixup: number 1 and
  // the two sector tails.
  Put16(r, 0x30, 1);
  r[0x32] = r[0x1FE];
  r[0x33] = r[0x1FF];
  r[0x34] = r[0x3FE];
  r[0x35] = r[0x3FF];
  return r;
}

Bytes RecordBuilder::OnDisk(std::uint16_t sequence) const {
  Bytes r = Build();
  Put16(r, 0x30, sequence);
  Put16(r, 0x1FE, sequence);
  Put16(r, 0x3FE, sequence);
  return r;
}

TestVolume::TestVolume(std::uint32_t sectors, std::uint32_t start, std::uint8_t clusterSectors,
                       std::uint32_t mftCluster, std::uint32_t mirrorCluster)
    : image_(std::uint64_t{start} + sectors),
      sectors_(sectors),
      start_(start),
      spc_(clusterSectors),
      mftCluster_(mftCluster),
      mirrorCluster_(mirrorCluster) {
  image_.PutText(start_, 3, "NTFS    ");
  image_.Put16(start_, 11, 512);
  image_.Put8(start_, 13, clusterSectors);
  image_.Put64(start_, 0x28, sectors - 1);
  image_.Put64(start_, 0x30, mftCluster);
  image_.Put64(start_, 0x38, mirrorCluster);
  image_.Put8(start_, 0x40, 0xF6);  // 1024-byte records
  image_.Put8(start_, 0x44, 0xF4);  // 4096-byte index blocks
  image_.Put16(start_, 510, 0xAA55);
}

RecordBuilder TestVolume::MftRecord(std::uint32_t clusters) const {
  RecordBuilder r(0, 1);
  r.StandardInfo(FileTimeOf(1577836800), FileTimeOf(1577836800))
      .FileName(5, u"$MFT", 3)
      .NonResidentData(EncodeRuns({{mftCluster_, clusters}}),
                       std::uint64_t{clusters} * spc_ * 512);
  return r;
}

void TestVolume::PutRawRecord(std::uint64_t sector, const Bytes& onDisk) {
  image_.PutAt(sector * 512, onDisk.data(), onDisk.size());
}

void TestVolume::PutRecord(std::uint32_t number, const RecordBuilder& record) {
  PutRawRecord(MftSector() + 2ull * number, record.OnDisk());
}

void TestVolume::PutMirrorRecord(std::uint32_t number, const RecordBuilder& record) {
  PutRawRecord(MirrorSector() + 2ull * number, record.OnDisk());
}

void TestVolume::PutBytesAtCluster(std::uint64_t cluster, const std::string& bytes) {
  image_.PutAt(ClusterSector(cluster) * 512, bytes.data(), bytes.size());
}

VolumeDescriptor TestVolume::Write(const std::string& path) {
  image_.WriteTo(path);
  VolumeDescriptor volume;
  volume.fsKind = kFsNtfs;
  volume.partitionType = 7;
  volume.diskPath = FromUtf8(path);
  volume.startSector = start_;
  volume.sectorCount = sectors_;
  const auto& boot = image_.Sector(start_);
  std::copy(boot.begin(), boot.end(), volume.bootSector.begin());
  return volume;
}

}  // namespace kestrum::test
