// `ls`: read one volume and print its tree in the chosen view.

#include <charconv>
#include <cstdio>
#include <string>
#include <vector>

#include "base/text.h"
#include "base/catalog.h"
#include "cli/commands.h"
#include "cli/filter_options.h"
#include "cli/found_volume.h"
#include "cli/json.h"
#include "cli/table.h"
#include "cli/volume_source.h"
#include "find/visible_walk.h"
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

}  // namespace

int RunList(const Arguments& args) {
  VolumeDescriptor volume;
  int status = kExitOk;
  VolumeSet set;
  FileFilter filter;
  if (!FilterFromArguments(args, filter, status)) return status;
  if (args.values.count("--scan") != 0) {
    if (!FoundVolumeIntoSet(args, set, volume, status)) return status;
  } else {
    if (!ResolveVolumeSource(args, volume, status)) return status;
    if (!ReadIntoVolumeSet(args, volume, set, status)) return status;
  }
  // With a filter only the matches are listed, each with its whole path.
  const FilterMatcher matcher(filter);
  const bool filtered = !filter.IsEmpty();
  std::size_t listed = 0;
  auto shown = [&](const FileNode& node) {
    if (filtered && !matcher.Matches(node)) return false;
    ++listed;
    return true;
  };
  auto tellIfNone = [&] {
    if (filtered && listed == 0) Tell(Tr(u"没有符合筛选条件的文件或目录"));
  };

  if (args.Has("--json")) {
    OutputBuffer output;
    IsoUtcFormatter createdText, modifiedText;
    // The path is kept as JSON text already, so each name is converted once.
    auto appendJsonName = [](std::string& path, std::u16string_view name) {
      AppendJsonChars(path, name);
    };
    WalkVisibleTree<std::string>(set, kCurrentVolume, appendJsonName,
                                 [&](std::uint32_t index, const FileNode& node, const std::string& path) {
      if (!shown(node)) return;
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
    output.Flush();
    tellIfNone();
    return kExitOk;
  }
  std::vector<std::vector<std::u16string>> rows = {{Tr(u"类型"), Tr(u"大小"), Tr(u"修改日期"), Tr(u"路径")}};
  auto appendName = [](std::u16string& path, std::u16string_view name) { path += name; };
  WalkVisibleTree<std::u16string>(set, kCurrentVolume, appendName,
                                  [&](std::uint32_t, const FileNode& node, const std::u16string& path) {
    if (!shown(node)) return;
    rows.push_back({Tr(TypeText(node.type)), node.IsFile() ? SizeText(node.size) : u"",
                    FileTimeToLocalText(node.lastWriteTime), path});
  });
  if (filtered && listed == 0) {
    tellIfNone();
    return kExitOk;
  }
  PrintTable(rows);
  return kExitOk;
}

}  // namespace kestrum::cli
