// `ls`: read one volume and print its tree in the chosen view.

#include <cstdio>

#include "base/text.h"
#include "cli/commands.h"
#include "cli/found_volume.h"
#include "cli/json.h"
#include "cli/table.h"
#include "cli/volume_source.h"
#include "fs/tree/node_text.h"
#include "fs/tree/volume_set.h"

namespace kestrum::cli {

namespace {

const char* TypeName(NodeType type) {
  switch (type) {
    case kDeletedFile: return "DeletedFile";
    case kFile: return "File";
    case kDeletedFolder: return "DeletedFolder";
    case kFolder: return "Folder";
  }
  return "Unknown";
}

const char16_t* TypeText(NodeType type) {
  switch (type) {
    case kDeletedFile: return u"已删除文件";
    case kFile: return u"文件";
    case kDeletedFolder: return u"已删除目录";
    case kFolder: return u"目录";
  }
  return u"?";
}

void AddTime(JsonLine& line, const char* key, std::uint64_t fileTime) {
  std::string iso = FileTimeToIsoUtc(fileTime);
  if (iso.empty()) {
    line.AddNull(key);
  } else {
    line.Add(key, iso);
  }
}

struct Pending {
  std::uint32_t node;
  std::u16string path;
};

// Every visible node below the root, depth first in child-list order.
template <typename Visit>
void WalkVisible(const VolumeSet& set, Visit visit) {
  const NodeArray* nodes = set.NodesOfVolume(kCurrentVolume);
  if (nodes == nullptr) return;
  std::vector<Pending> stack;
  std::vector<std::uint32_t> children;
  auto pushChildren = [&](std::uint32_t folder, const std::u16string& prefix) {
    set.ListVisibleChildren(kCurrentVolume, folder, children, false);
    for (auto it = children.rbegin(); it != children.rend(); ++it) {
      stack.push_back({*it, prefix + nodes->nodes[*it].name});
    }
  };
  pushChildren(kRootNodeId, u"");
  while (!stack.empty()) {
    Pending item = stack.back();
    stack.pop_back();
    const FileNode& node = nodes->nodes[item.node];
    visit(item.node, node, item.path);
    if (node.IsFolder()) pushChildren(item.node, item.path + u"/");
  }
}

}  // namespace

int RunList(const Arguments& args) {
  VolumeDescriptor volume;
  int status = kExitOk;
  VolumeSet set;
  if (args.values.count("--scan") != 0) {
    if (!FoundVolumeIntoSet(args, set, volume, status)) return status;
  } else {
    if (!ResolveVolumeSource(args, volume, status)) return status;
    if (!ReadIntoVolumeSet(args, volume, set, status)) return status;
  }

  bool json = args.Has("--json");
  std::vector<std::vector<std::u16string>> rows = {{u"类型", u"大小", u"修改日期", u"路径"}};
  WalkVisible(set, [&](std::uint32_t index, const FileNode& node, const std::u16string& path) {
    if (json) {
      JsonLine line;
      line.Add("path", path).Add("type", TypeName(node.type)).Add("size", node.size);
      AddTime(line, "created", node.creationTime);
      AddTime(line, "modified", node.lastWriteTime);
      line.Add("node", index);
      // Only where a reader or the scan could tell: listings of volumes
      // that say nothing about it stay as they were.
      if (node.recovery != kRecoveryUnknown) line.Add("recovery", RecoveryName(node.recovery));
      std::printf("%s\n", line.Text().c_str());
    } else {
      rows.push_back({TypeText(node.type), node.IsFile() ? SizeText(node.size) : u"",
                      FileTimeToLocalText(node.lastWriteTime), path});
    }
  });
  if (!json) PrintTable(rows);
  return kExitOk;
}

}  // namespace kestrum::cli
