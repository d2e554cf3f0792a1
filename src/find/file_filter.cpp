#include "find/file_filter.h"

#include "base/catalog.h"
#include "find/visible_walk.h"
#include "fs/tree/node_text.h"

namespace kestrum {

bool FileFilter::IsEmpty() const {
  return name.empty() && !AsksFileProperties() && !since && !until && !deletedOnly;
}

FilterProblem CheckFilter(const FileFilter& filter) {
  if (filter.minSize && filter.maxSize && *filter.minSize > *filter.maxSize) return FilterProblem::kSizesReversed;
  if (filter.since && filter.until && *filter.since > *filter.until) return FilterProblem::kDatesReversed;
  return FilterProblem::kNone;
}

std::u16string FilterProblemText(FilterProblem problem) {
  switch (problem) {
    case FilterProblem::kSizesReversed: return Tr(u"最小大小大于最大大小，请检查大小范围");
    case FilterProblem::kDatesReversed: return Tr(u"开始日期晚于结束日期，请检查日期范围");
    case FilterProblem::kNone: break;
  }
  return u"";
}

FilterMatcher::FilterMatcher(const FileFilter& filter) : filter_(filter), glob_(filter.name) {}

bool FilterMatcher::Matches(const FileNode& node) const {
  if (filter_.deletedOnly && !node.IsDeleted()) return false;
  if (filter_.since || filter_.until) {
    if (node.lastWriteTime == 0) return false;
    const std::int64_t modified = FileTimeToUnixSeconds(node.lastWriteTime);
    if ((filter_.since && modified < *filter_.since) || (filter_.until && modified > *filter_.until)) return false;
  }
  if (node.IsFolder()) {
    if (filter_.AsksFileProperties()) return false;
  } else {
    if (filter_.minSize && node.size < *filter_.minSize) return false;
    if (filter_.maxSize && node.size > *filter_.maxSize) return false;
    if (filter_.groups != 0 &&
        (filter_.groups & (1u << static_cast<unsigned>(TypeGroupOfName(node.name)))) == 0) {
      return false;
    }
    if (filter_.chances != 0 && (!ShowsRecoveryChance(node) || (filter_.chances & (1u << node.recovery)) == 0)) {
      return false;
    }
  }
  return glob_.Empty() || glob_.Matches(node.name);
}

std::vector<std::uint32_t> FindMatches(const VolumeSet& set, int volume, const FileFilter& filter) {
  std::vector<std::uint32_t> matches;
  const FilterMatcher matcher(filter);
  // Only the nodes are wanted: no path is built.
  auto noPath = [](std::string&, std::u16string_view) {};
  WalkVisibleTree<std::string>(set, volume, noPath, [&](std::uint32_t index, const FileNode& node, const std::string&) {
    if (matcher.Matches(node)) matches.push_back(index);
  });
  return matches;
}

}  // namespace kestrum
