// `ls`: read one volume and print its tree in the chosen view.

#include <charconv>
#include <cstdio>
#include <string>
#include <vector>

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

// Output is gathered here and written in large pieces: a listing has a line
// for every file of the volume.
class OutputBuffer {
 public:
  static constexpr std::size_t kFlushBytes = 64 * 1024;
  OutputBuffer() { text_.reserve(kFlushBytes + 4096); }
  ~OutputBuffer() { Flush(); }
  std::string& Text() { return text_; }
  void LineDone() {
    text_ += '\n';
    if (text_.size() >= kFlushBytes) Flush();
  }
  void Flush() {
    std::fwrite(text_.data(), 1, text_.size(), stdout);
    text_.clear();
  }

 private:
  std::string text_;
};

void AppendTime(std::string& out, const char* key, IsoUtcFormatter& format,
                std::uint64_t fileTime) {
  out += key;
  char iso[kIsoUtcChars];
  if (format.Put(fileTime, iso)) {
    out += '"';
    out.append(iso, kIsoUtcChars);
    out += '"';
  } else {
    out += "null";
  }
}

void AppendNumber(std::string& out, std::uint64_t value) {
  char digits[20];
  auto [end, ec] = std::to_chars(digits, digits + sizeof digits, value);
  out.append(digits, end);
}

// Every visible node below the root, depth first in child-list order, with
// its path. The path is kept once, in the caller's form (`appendName` adds a
// node's name to it), and each node's name replaces the name of the node
// before it at the same depth. The walk keeps one cursor per open folder,
// never a copy of a folder's children: a folder may hold millions.
template <typename Path, typename AppendName, typename Visit>
void WalkVisible(const VolumeSet& set, AppendName appendName, Visit visit) {
  const NodeArray* array = set.NodesOfVolume(kCurrentVolume);
  if (array == nullptr) return;
  struct Level {
    ChildRange::Iterator next;  // the next child to visit
    std::size_t nameStart;      // where its name begins in the path
  };
  std::vector<Level> levels = {{ChildrenOf(array->nodes, kRootNodeId).begin(), 0}};
  Path path;
  while (!levels.empty()) {
    if (levels.back().next == ChildRange::Iterator{}) {
      levels.pop_back();
      continue;
    }
    const std::uint32_t index = *levels.back().next++;
    const FileNode* node = set.IsNodeVisible(kCurrentVolume, index, false);
    if (node == nullptr) continue;
    path.resize(levels.back().nameStart);
    appendName(path, node->name);
    visit(index, *node, path);
    if (node->IsFolder()) {
      path.push_back('/');
      levels.push_back({ChildrenOf(array->nodes, index).begin(), path.size()});
    }
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

  if (args.Has("--json")) {
    OutputBuffer output;
    IsoUtcFormatter createdText, modifiedText;
    // The path is kept as JSON text already, so each name is converted once.
    auto appendJsonName = [](std::string& path, std::u16string_view name) {
      AppendJsonChars(path, name);
    };
    WalkVisible<std::string>(set, appendJsonName, [&](std::uint32_t index, const FileNode& node,
                                                      const std::string& path) {
      std::string& out = output.Text();
      out += "{\"path\":\"";
      out += path;
      out += "\",\"type\":\"";
      out += TypeName(node.type);
      out += "\",\"size\":";
      AppendNumber(out, node.size);
      AppendTime(out, ",\"created\":", createdText, node.creationTime);
      AppendTime(out, ",\"modified\":", modifiedText, node.lastWriteTime);
      out += ",\"node\":";
      AppendNumber(out, index);
      // Only where a reader or the scan could tell, and for deleted files:
      // listings of existing files stay as they were (the LostFile folder
      // is a deleted folder on FAT and exFAT).
      if ((node.IsDeleted() && node.id != kLostFileId) || node.recovery != kRecoveryUnknown) {
        out += ",\"recovery\":\"";
        out += RecoveryName(node.recovery);
        out += '"';
      }
      if (node.damagedSet != 0) out += ",\"damaged\":true";
      out += '}';
      output.LineDone();
    });
    return kExitOk;
  }
  std::vector<std::vector<std::u16string>> rows = {{u"类型", u"大小", u"修改日期", u"路径"}};
  auto appendName = [](std::u16string& path, std::u16string_view name) { path += name; };
  WalkVisible<std::u16string>(set, appendName, [&](std::uint32_t, const FileNode& node,
                                                   const std::u16string& path) {
    rows.push_back({TypeText(node.type), node.IsFile() ? SizeText(node.size) : u"",
                    FileTimeToLocalText(node.lastWriteTime), path});
  });
  PrintTable(rows);
  return kExitOk;
}

}  // namespace kestrum::cli
