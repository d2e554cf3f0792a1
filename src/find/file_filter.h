#pragma once
// Which files of a recovered tree the user is looking for: by name, kind,
// size, modification date, deletion and recovery chance, every criterion
// given having to hold. The browser's filter bar and `ls`/`export` share it.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "find/name_glob.h"
#include "find/type_groups.h"
#include "fs/tree/file_node.h"
#include "fs/tree/volume_set.h"

namespace kestrum {

struct FileFilter {
  std::u16string name;  // a NameGlob pattern; empty: any name
  std::uint8_t groups = 0;  // one bit per TypeGroup; 0: any kind
  std::optional<std::uint64_t> minSize, maxSize;  // bytes, both inclusive
  std::optional<std::int64_t> since, until;       // modification time, Unix seconds, inclusive
  bool deletedOnly = false;
  std::uint8_t chances = 0;  // one bit per RecoveryChance; 0: any

  void AddGroup(TypeGroup group) { groups |= static_cast<std::uint8_t>(1u << static_cast<unsigned>(group)); }
  void AddChance(RecoveryChance chance) { chances |= static_cast<std::uint8_t>(1u << chance); }
  // Nothing asked: every node passes.
  bool IsEmpty() const;
  // Criteria only files have: a folder never passes a filter that holds one.
  bool AsksFileProperties() const { return groups != 0 || minSize || maxSize || chances != 0; }
};

// A filter that cannot match anything because it contradicts itself.
enum class FilterProblem { kNone, kSizesReversed, kDatesReversed };
FilterProblem CheckFilter(const FileFilter& filter);
// The message for the user; empty for kNone.
std::u16string FilterProblemText(FilterProblem problem);

// The filter made ready to test many nodes.
class FilterMatcher {
 public:
  explicit FilterMatcher(const FileFilter& filter);
  // A folder passes on its name, date and deletion alone, and only when no
  // file property is asked. A file without a modification time fails any
  // date range; a recovery chance is that of the file list, so a live file,
  // which shows none, fails any chance asked.
  bool Matches(const FileNode& node) const;

 private:
  FileFilter filter_;
  NameGlob glob_;
};

// Every visible node of the volume below its root that the filter matches,
// depth first in child-list order (as `ls` lists them).
std::vector<std::uint32_t> FindMatches(const VolumeSet& set, int volume, const FileFilter& filter);

}  // namespace kestrum
