// FAT directory bytes: short entries, long-name sets, labels, deleted entries.
#include "fs/fat/directory_entries.h"
#include "fs/fat/fat_checks.h"
#include "fs/tree/node_array.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace kestrum;
  ByteView bytes(data, size);
  for (bool fat32 : {false, true}) {
    for (DeletedEntries deleted : {DeletedEntries::kSkip, DeletedEntries::kList, DeletedEntries::kAll}) {
      VolumeDescriptor volume;
      volume.fsKind = fat32 ? kFsFat32 : kFsFat16;
      AddRootNode(volume);
      ParseDirEntries(bytes, volume, kRootNodeId, deleted);
    }
  }
  for (std::size_t i = 0; i * 32 < size; ++i) {
    AssembleLongName(bytes, i);
    ByteView entry = DirEntryAt(bytes, i);
    if (entry.size() == 32) {
      FormatShortName(entry);
      IsVolumeLabelEntry(entry);
    }
  }
  return 0;
}
