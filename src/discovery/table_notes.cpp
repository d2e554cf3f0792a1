#include "discovery/table_notes.h"

#include "base/text.h"

namespace kestrum {

std::u16string GptFaultText(GptFault fault) {
  switch (fault) {
    case GptFault::kNone: return u"完好";
    case GptFault::kUnreadable: return u"无法读取";
    case GptFault::kSignature: return u"没有 GPT 签名";
    case GptFault::kRevision: return u"版本不受支持";
    case GptFault::kHeaderSize: return u"头部大小不对";
    case GptFault::kHeaderCrc: return u"头部 CRC32 校验失败";
    case GptFault::kWrongLba: return u"头部所在的扇区与其记录不符";
    case GptFault::kUsableArea: return u"可用区域超出磁盘";
    case GptFault::kEntrySize: return u"分区项大小不对";
    case GptFault::kEntryCount: return u"分区项数目过多";
    case GptFault::kEntryArrayPlace: return u"分区项数组的位置不对";
    case GptFault::kEntriesCrc: return u"分区项数组 CRC32 校验失败";
  }
  return u"";
}

namespace {

std::u16string EntryProblemText(const GptEntryProblem& p) {
  switch (p.fault) {
    case GptEntryFault::kReversed: return u"的结束扇区在起始扇区之前";
    case GptEntryFault::kPastDiskEnd: return u"超出磁盘末尾";
    case GptEntryFault::kOutsideUsable: return u"与 GPT 自身的扇区重叠";
    case GptEntryFault::kOverlap: return FormatText("与分区项 %u 重叠", p.other);
  }
  return u"";
}

}  // namespace

std::vector<std::u16string> TableNoteLines(const PartitionTableNotes& notes, const std::u16string& disk) {
  std::vector<std::u16string> lines;
  switch (notes.gpt) {
    case GptRead::kPrimary: break;
    case GptRead::kBackup:
      lines.push_back(disk + u"：主 GPT 已损坏（" + GptFaultText(notes.primaryFault) + u"），分区取自" +
                      (notes.backupAtEnd ? std::u16string(u"磁盘末尾")
                                         : FormatText("扇区 %llu ", static_cast<unsigned long long>(notes.backupLba))) +
                      u"的备份 GPT");
      break;
    case GptRead::kDamaged:
      lines.push_back(disk + u"：GPT 已损坏（主 GPT：" + GptFaultText(notes.primaryFault) + u"；备份 GPT：" +
                      GptFaultText(notes.backupFault) + u"），无法从中读取分区，请用“恢复丢失的分区”查找");
      break;
    case GptRead::kAbsent:
      if (notes.protectiveMbr) {
        lines.push_back(disk + u"：保护性 MBR 表明磁盘使用 GPT，但主 GPT 和备份 GPT 都没有找到，请用“恢复丢失的分区”查找");
      }
      break;
  }
  for (const GptEntryProblem& p : notes.entryProblems) {
    lines.push_back(disk + FormatText("：GPT 分区项 %u ", p.index) + EntryProblemText(p) + u"，未列出");
  }
  return lines;
}

}  // namespace kestrum
