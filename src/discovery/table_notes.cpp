#include "discovery/table_notes.h"

#include "base/catalog.h"
#include "base/text.h"

namespace kestrum {

std::u16string GptFaultText(GptFault fault) {
  switch (fault) {
    case GptFault::kNone: return Tr(u"完好");
    case GptFault::kUnreadable: return Tr(u"无法读取");
    case GptFault::kSignature: return Tr(u"没有 GPT 签名");
    case GptFault::kRevision: return Tr(u"版本不受支持");
    case GptFault::kHeaderSize: return Tr(u"头部大小不对");
    case GptFault::kHeaderCrc: return Tr(u"头部 CRC32 校验失败");
    case GptFault::kWrongLba: return Tr(u"头部所在的扇区与其记录不符");
    case GptFault::kUsableArea: return Tr(u"可用区域超出磁盘");
    case GptFault::kEntrySize: return Tr(u"分区项大小不对");
    case GptFault::kEntryCount: return Tr(u"分区项数目过多");
    case GptFault::kEntryArrayPlace: return Tr(u"分区项数组的位置不对");
    case GptFault::kEntriesCrc: return Tr(u"分区项数组 CRC32 校验失败");
  }
  return u"";
}

namespace {

std::u16string EntryProblemText(const GptEntryProblem& p) {
  switch (p.fault) {
    case GptEntryFault::kReversed: return Tr(u"的结束扇区在起始扇区之前");
    case GptEntryFault::kPastDiskEnd: return Tr(u"超出磁盘末尾");
    case GptEntryFault::kOutsideUsable: return Tr(u"与 GPT 自身的扇区重叠");
    case GptEntryFault::kOverlap: return TrFormat("与分区项 %u 重叠", p.other);
  }
  return u"";
}

}  // namespace

std::vector<std::u16string> TableNoteLines(const PartitionTableNotes& notes, const std::u16string& disk) {
  std::vector<std::u16string> lines;
  switch (notes.gpt) {
    case GptRead::kPrimary: break;
    case GptRead::kBackup: {
      const std::u16string where = notes.backupAtEnd
                                       ? Tr(u"磁盘末尾")
                                       : TrFormat("扇区 %llu ", static_cast<unsigned long long>(notes.backupLba));
      lines.push_back(disk + TrFormat("：主 GPT 已损坏（%s），分区取自%s的备份 GPT",
                                      ToUtf8(GptFaultText(notes.primaryFault)).c_str(), ToUtf8(where).c_str()));
      break;
    }
    case GptRead::kDamaged:
      lines.push_back(disk + Tr(u"：GPT 已损坏（主 GPT：") + GptFaultText(notes.primaryFault) + Tr(u"；备份 GPT：") +
                      GptFaultText(notes.backupFault) + Tr(u"），无法从中读取分区，请用“恢复丢失的分区”查找"));
      break;
    case GptRead::kAbsent:
      if (notes.protectiveMbr) {
        lines.push_back(disk + Tr(u"：保护性 MBR 表明磁盘使用 GPT，但主 GPT 和备份 GPT 都没有找到，请用“恢复丢失的分区”查找"));
      }
      break;
  }
  for (const GptEntryProblem& p : notes.entryProblems) {
    lines.push_back(disk + TrFormat("：GPT 分区项 %u ", p.index) + EntryProblemText(p) + Tr(u"，未列出"));
  }
  return lines;
}

}  // namespace kestrum
