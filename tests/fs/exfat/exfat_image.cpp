#include "exfat_image.h"

#include "base/text.h"

namespace kestrum::test {

namespace {

void Put16(std::vector<std::uint8_t>& b, std::size_t at, std::uint16_t v) {
  b[at] = static_cast<std::uint8_t>(v);
  b[at + 1] = static_cast<std::uint8_t>(v >> 8);
}
void Put32(std::vector<std::uint8_t>& b, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}
void Put64(std::vector<std::uint8_t>& b, std::size_t at, std::uint64_t v) {
  Put32(b, at, static_cast<std::uint32_t>(v));
  Put32(b, at + 4, static_cast<std::uint32_t>(v >> 32));
}

}  // namespace

DosStamp MakeDosStamp(int year, int month, int day, int hour, int minute, int second) {
  DosStamp s;
  s.date = static_cast<std::uint16_t>(((year - 1980) << 9) | (month << 5) | day);
  s.time = static_cast<std::uint16_t>((hour << 11) | (minute << 5) | (second / 2));
  return s;
}

std::vector<std::uint8_t> EntrySetBytes(const EntrySetFields& set) {
  std::u16string name = FromUtf8(set.name);
  std::size_t nameEntries = (name.size() + 14) / 15;
  if (nameEntries == 0) nameEntries = 1;
  std::vector<std::uint8_t> b(32 * (2 + nameEntries), 0);
  b[0] = set.deleted ? 0x05 : 0x85;
  b[1] = static_cast<std::uint8_t>(1 + nameEntries);
  Put16(b, 4, set.folder ? 0x10 : 0x20);
  Put16(b, 8, set.created.time);
  Put16(b, 10, set.created.date);
  Put16(b, 12, set.modified.time);
  Put16(b, 14, set.modified.date);
  std::size_t s = 32;
  b[s] = set.deleted ? 0x40 : 0xC0;
  b[s + 1] = static_cast<std::uint8_t>(0x01 | (set.noFatChain ? 0x02 : 0));
  b[s + 3] = static_cast<std::uint8_t>(name.size());
  Put64(b, s + 8, set.size);
  Put32(b, s + 20, set.firstCluster);
  Put64(b, s + 24, set.size);
  for (std::size_t k = 0; k < nameEntries; ++k) {
    std::size_t e = 64 + 32 * k;
    b[e] = set.deleted ? 0x41 : 0xC1;
    for (std::size_t i = 0; i < 15 && k * 15 + i < name.size(); ++i) Put16(b, e + 2 + 2 * i, name[k * 15 + i]);
  }
  return b;
}

std::vector<std::uint8_t> LabelEntry(const std::string& label, bool deleted) {
  std::u16string text = FromUtf8(label);
  std::vector<std::uint8_t> b(32, 0);
  b[0] = deleted ? 0x03 : 0x83;
  b[1] = static_cast<std::uint8_t>(text.size());
  for (std::size_t i = 0; i < text.size() && i < 15; ++i) Put16(b, 2 + 2 * i, text[i]);
  return b;
}

std::vector<std::uint8_t> BitmapEntry(std::uint32_t firstCluster, std::uint64_t length) {
  std::vector<std::uint8_t> b(32, 0);
  b[0] = 0x81;
  Put32(b, 20, firstCluster);
  Put64(b, 24, length);
  return b;
}

std::vector<std::uint8_t> UpcaseEntry(std::uint32_t firstCluster) {
  std::vector<std::uint8_t> b(32, 0);
  b[0] = 0x82;
  Put32(b, 20, firstCluster);
  Put64(b, 24, 512);
  return b;
}

std::vector<std::uint8_t> Join(const std::vector<std::vector<std::uint8_t>>& parts) {
  std::vector<std::uint8_t> out;
  for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

std::vector<std::uint8_t> Pattern(std::size_t size, std::uint8_t seed) {
  std::vector<std::uint8_t> out(size);
  for (std::size_t i = 0; i < size; ++i) out[i] = static_cast<std::uint8_t>(seed + i * 7 + (i >> 9));
  return out;
}

ExfatImage::ExfatImage(const ExfatLayout& layout)
    : layout_(layout),
      image_(std::uint64_t{layout.startSector} + layout.heapOffset +
             (std::uint64_t{layout.clusterCount} << layout.clusterShift)) {
  const std::uint64_t boot = layout.startSector;
  image_.Put8(boot, 0, 0xEB);
  image_.Put8(boot, 1, 0x76);
  image_.Put8(boot, 2, 0x90);
  image_.PutText(boot, 3, "EXFAT   ");
  image_.Put64(boot, 72, std::uint64_t{layout.heapOffset} + (std::uint64_t{layout.clusterCount} << layout.clusterShift));
  image_.Put32(boot, 80, layout.fatOffset);
  image_.Put32(boot, 84, layout.fatLength);
  image_.Put32(boot, 88, layout.heapOffset);
  image_.Put32(boot, 92, layout.clusterCount);
  image_.Put32(boot, 96, layout.rootCluster);
  image_.Put8(boot, 108, 9);
  image_.Put8(boot, 109, static_cast<std::uint8_t>(layout.clusterShift));
  image_.Put8(boot, 110, 1);
  image_.Put8(boot, 510, 0x55);
  image_.Put8(boot, 511, 0xAA);
  SetFat(0, 0xFFFFFFF8);
  SetFat(1, 0xFFFFFFFF);
  Chain({layout.bitmapCluster});
  Chain({layout.upcaseCluster});
}

std::uint64_t ExfatImage::ClusterSector(std::uint32_t cluster) const {
  return std::uint64_t{layout_.startSector} + layout_.heapOffset +
         (std::uint64_t{cluster - 2} << layout_.clusterShift);
}

void ExfatImage::SetFat(std::uint32_t cluster, std::uint32_t value) {
  std::uint64_t at = (std::uint64_t{layout_.startSector} + layout_.fatOffset) * 512 + std::uint64_t{cluster} * 4;
  std::uint8_t b[4];
  for (int i = 0; i < 4; ++i) b[i] = static_cast<std::uint8_t>(value >> (8 * i));
  image_.PutAt(at, b, 4);
}

void ExfatImage::MarkAllocated(std::uint32_t cluster) {
  std::uint64_t bit = cluster - 2;
  std::uint64_t at = ClusterSector(layout_.bitmapCluster) * 512 + bit / 8;
  image_.Sector(at / 512)[at % 512] |= static_cast<std::uint8_t>(1u << (bit % 8));
}

void ExfatImage::Chain(const std::vector<std::uint32_t>& clusters) {
  for (std::size_t i = 0; i < clusters.size(); ++i) {
    SetFat(clusters[i], i + 1 < clusters.size() ? clusters[i + 1] : 0xFFFFFFFF);
    MarkAllocated(clusters[i]);
  }
}

void ExfatImage::PutInClusters(const std::vector<std::uint32_t>& clusters, const std::vector<std::uint8_t>& bytes) {
  const std::size_t per = ClusterBytes();
  for (std::size_t i = 0; i < clusters.size() && i * per < bytes.size(); ++i) {
    std::size_t n = std::min(per, bytes.size() - i * per);
    image_.PutAt(ClusterSector(clusters[i]) * 512, bytes.data() + i * per, n);
  }
}

void ExfatImage::WriteRoot(const std::vector<std::uint8_t>& entries, const std::vector<std::uint32_t>& clusters) {
  std::vector<std::uint32_t> where = clusters.empty() ? std::vector<std::uint32_t>{layout_.rootCluster} : clusters;
  std::vector<std::uint8_t> bytes =
      Join({LabelEntry("TESTVOL"), BitmapEntry(layout_.bitmapCluster, (layout_.clusterCount + 7) / 8),
            UpcaseEntry(layout_.upcaseCluster), entries});
  Chain(where);
  PutInClusters(where, bytes);
}

void ExfatImage::WriteTo(const std::string& path) { image_.WriteTo(path); }

VolumeDescriptor ExfatImage::Descriptor(const std::string& path) {
  VolumeDescriptor v;
  v.diskPath = FromUtf8(path);
  v.startSector = layout_.startSector;
  v.sectorCount = static_cast<Sector64>(layout_.heapOffset + (std::uint64_t{layout_.clusterCount} << layout_.clusterShift));
  v.fsKind = kFsExfat;
  v.partitionType = 7;
  const auto& boot = image_.Sector(layout_.startSector);
  std::copy(boot.begin(), boot.end(), v.bootSector.begin());
  return v;
}

}  // namespace kestrum::test
