// kestrum-cli: the recovery functions for scripts, servers and tests.

#include <clocale>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <string>
#include <vector>

#include "base/catalog.h"
#include "base/text.h"
#include "cli/commands.h"
#include "cli/filter_options.h"
#include "cli/terminal_presenter.h"
#include "platform/console.h"
#include "platform/crash_reporter.h"
#include "platform/user_locale.h"
#include "export/export_report.h"

namespace {

using kestrum::ToUtf8;
using kestrum::Tr;

constexpr const char* kSyntax =
    "  kestrum-cli disks    [--json] [IMAGE...]\n"
    "  kestrum-cli volumes  [--json] [DISK_OR_IMAGE...]\n"
    "  kestrum-cli ls       [--deleted] [--json] [FILTER...] SOURCE [--partition N] [--scan FILE --found N]\n"
    "  kestrum-cli export   [--deleted] [FILTER...] SOURCE TARGET [PATH...] [--partition N] [--scan FILE --found N]\n"
    "  kestrum-cli image    SOURCE TARGET [--map MAPFILE] [--retries N] [--json]\n"
    "  kestrum-cli classify [--json] DEVICE_OR_IMAGE [--partition N] [--from SECTOR] [--count N]\n"
    "  kestrum-cli scan     [--json] [--priority START_GB:SIZE_GB] [--state FILE] [--fresh] SOURCE [--partition N]\n"
    "  kestrum-cli scan     --lost-partitions [--json] [--state FILE] DISK\n"
    "  kestrum-cli repair   DISK --scan FILE --select I,J,... [--table gpt|mbr] [--yes] [--history FILE]\n"
    "  kestrum-cli repair   DISK --gpt-from-backup [--yes] [--history FILE]\n"
    "  kestrum-cli history  [--json] [DISK] [--history FILE]\n"
    "  kestrum-cli undo     DISK --record K [--yes] [--history FILE]\n"
    "  kestrum-cli --help | --version\n";

// The help's words are catalog texts: Chinese as written here, English
// from the catalog.
struct HelpItem {
  const char* term;
  const char16_t* text;
};

constexpr HelpItem kVerbs[] = {
    {"disks", u"列出磁盘，以及作为磁盘加入的镜像文件"},
    {"volumes", u"列出每个磁盘的分区，或只列出给出的磁盘和镜像的分区"},
    {"ls", u"读取一个分区，列出其中的文件和目录"},
    {"export", u"把 PATH（写法同 ls 的输出，视图相同；不给出则导出全部）复制到已有的目录 TARGET，\n"
               u"该目录不能在正在恢复的磁盘上"},
    {"image", u"把磁盘、分区或镜像一次复制到镜像文件 TARGET，先读好的区域，最后读坏的区域；\n"
              u"MAPFILE（默认为 TARGET.map，GNU ddrescue 的 mapfile 格式）记录已救出的部分：\n"
              u"再次执行同一命令时从中继续"},
    {"classify", u"按深度扫描的方式判断每个扇区的内容"},
    {"scan", u"深度扫描一个磁盘（搜索整个磁盘）或一个分区，列出找到的分区，每行一个，\n"
             u"按内容找到的文件在前；加 --lost-partitions 时列出找到引导扇区的分区"},
    {"repair", u"按 --select 选中的候选分区（scan --lost-partitions 的行，用 --state 保存）\n"
               u"重写 DISK 的分区表；原来的扇区保存在修复历史中；加 --gpt-from-backup 时，\n"
               u"用磁盘末尾的备份重写损坏的主 GPT"},
    {"history", u"列出已记录的分区表重建，从 0 开始编号，最早的在前"},
    {"undo", u"写回第 K 条及之后各条重建记录改写过的扇区"},
};

constexpr HelpItem kOptions[] = {
    {"--json", u"每行输出一个 JSON 对象"},
    {"--deleted", u"显示已删除的文件，而不是现有的文件"},
    {"--partition N", u"volumes 为该磁盘列出的第 N 个分区（从 1 开始）"},
    {"--sector-size N", u"给出的磁盘或镜像的逻辑扇区大小（512、1024、2048、4096），代替设备报告的\n"
                       u"或镜像中记录的大小；无论它是多少，扇区号都以 512 字节为单位"},
    {"--from SECTOR, --count N", u"classify 只判断这些扇区"},
    {"--priority START_GB:SIZE_GB", u"先扫描这一区域（单位 GB，与扫描设置相同）"},
    {"--state FILE", u"把扫描状态保存在 FILE 中：同一设备和范围的扫描从中继续，\n"
                     u"ls/export --scan 从中读取找到的分区"},
    {"--fresh", u"即使 FILE 中是另一个设备的扫描状态，也重新开始扫描"},
    {"--lost-partitions", u"在整个磁盘上扫描丢失分区的引导扇区"},
    {"--scan FILE --found N", u"ls/export 处理 FILE 中保存的扫描找到的第 N 个分区"},
    {"--map MAPFILE", u"image：救援映射文件（默认为 TARGET.map）"},
    {"--retries N", u"image：每个坏扇区一共尝试的次数（默认 1）"},
    {"--select I,J,...", u"repair 用来建立新分区表的候选分区"},
    {"--record K", u"undo 从这条记录开始撤销"},
    {"--yes", u"对 repair 和 undo 的每个问题都回答“是”；没有它又没有终端时，\n"
              u"它们拒绝执行，不写入任何内容"},
    {"--history FILE", u"修复历史文件（默认为 $XDG_STATE_HOME/kestrum/FixPartTable.dat）"},
    {"--table gpt|mbr", u"repair 写入的分区表；默认在磁盘原来是 GPT 或 MBR 无法描述该磁盘时写 GPT，\n"
                        u"否则写 MBR 和 EBR"},
    {"--progress", u"即使标准错误输出不是终端，也显示进度"},
    {"--lang zh|en", u"消息、用法和 JSON 值的语言：中文或英文（默认按系统区域设置）"},
    {"--help, --version", u"显示本帮助或版本"},
};

constexpr HelpItem kFilters[] = {
    {"--name GLOB", u"名称，可用 * 和 ?（拉丁字母不区分大小写）"},
    {"--type GROUP[,GROUP...]", u"picture、document、video、audio、archive、other（按扩展名）"},
    {"--min-size SIZE, --max-size SIZE", u"字节数，或带 K、M、G、T（按 1024 计）：10M、1.5G"},
    {"--since DATE, --until DATE", u"在此时间或之后 / 之前修改：YYYY-MM-DD [HH:MM[:SS]]，本地时间"},
    {"--recovery CHANCE[,CHANCE...]", u"good、partial、overwritten、unknown、unverified"},
};

std::string Usage() { return ToUtf8(Tr(u"用法：")) + "\n" + kSyntax; }

void AppendItems(std::string& out, const char16_t* heading, const HelpItem* items, std::size_t count,
                 std::size_t width) {
  out += "\n" + ToUtf8(Tr(heading)) + "\n";
  for (std::size_t i = 0; i < count; ++i) {
    std::string term = std::string("  ") + items[i].term;
    std::string text = ToUtf8(Tr(items[i].text));
    // A term wider than its column stands on its own line.
    std::string indent(width, ' ');
    out += term.size() + 1 < width ? term + std::string(width - term.size(), ' ') : term + "\n" + indent;
    for (std::size_t at = 0; at < text.size();) {
      std::size_t nl = text.find('\n', at);
      out += text.substr(at, nl == std::string::npos ? std::string::npos : nl - at) + "\n";
      if (nl == std::string::npos) break;
      out += indent;
      at = nl + 1;
    }
  }
}

std::string Help() {
  std::string out = Usage();
  AppendItems(out, u"命令：", kVerbs, std::size(kVerbs), 12);
  out += "\n" + ToUtf8(Tr(u"SOURCE：分区设备、文件系统镜像，或者磁盘或磁盘镜像加 --partition N；\n"
                           u"scan 不加 --partition 时搜索整个磁盘或磁盘镜像")) + "\n";
  AppendItems(out, u"选项：", kOptions, std::size(kOptions), 30);
  out += "\n" + ToUtf8(Tr(u"FILTER（ls、export；给出的每一条都须满足）：ls 只列出符合的文件，各带路径；\n"
                           u"export 只复制（PATH 处或其下）符合的文件，各在其目录之下")) + "\n";
  AppendItems(out, u"筛选：", kFilters, std::size(kFilters), 36);
  out += ToUtf8(kestrum::TrFormat("每次导出都在 TARGET 中写入 %s 和 %s：\n每个文件的路径、大小、恢复可能性和结果",
                                  kestrum::kReportCsvName, kestrum::kReportJsonName)) + "\n";
  out += "\n" + ToUtf8(Tr(u"Ctrl-C 停止耗时的操作；scan 时第一次 Ctrl-C 停止读取并保留已找到的结果，第二次中止。\n"
                           u"退出状态：0 成功，1 失败，2 用法错误。")) + "\n";
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace kestrum::cli;
  // The language before the crash reporter, whose message is made up front.
  kestrum::SetLanguage(kestrum::ChosenLanguage(argc, argv, kestrum::platform::UserLocaleName()));
  kestrum::InstallCrashReporter();  // a crash names its dump on stderr
  std::setlocale(LC_ALL, "");
  kestrum::platform::PrepareConsole();
  // The arguments as UTF-8 whatever the system hands over.
  std::vector<std::string> given = kestrum::platform::Utf8Arguments(argc, argv);
  std::vector<char*> pointers;
  for (std::string& arg : given) pointers.push_back(arg.data());
  pointers.push_back(nullptr);
  argv = pointers.data();
  Arguments args;
  std::u16string error;
  const std::set<std::string> flags = {"--json", "--deleted", "--progress", "--help", "--version", "--fresh",
                                       "--lost-partitions", "--yes", "--gpt-from-backup"};
  std::set<std::string> valued = {"--partition", "--from", "--count", "--priority",
                                  "--state", "--scan", "--found",
                                  "--select", "--history", "--record", "--table",
                                  "--sector-size", "--map", "--retries", "--lang"};
  valued.insert(std::begin(kFilterOptions), std::end(kFilterOptions));
  const bool parsed = ParseArguments(argc, argv, flags, valued, args, error);
  if (auto lang = args.values.find("--lang"); lang != args.values.end() && !kestrum::ParseLanguage(lang->second)) {
    std::fprintf(stderr, "kestrum-cli: %s\n%s", kestrum::ToUtf8(Tr(u"--lang 只能是 zh 或 en")).c_str(),
                 Usage().c_str());
    return kExitUsage;
  }
  if (!parsed) {
    std::fprintf(stderr, "kestrum-cli: %s\n%s", kestrum::ToUtf8(error).c_str(), Usage().c_str());
    return kExitUsage;
  }
  if (args.Has("--help")) {
    std::printf("%s", Help().c_str());
    return kExitOk;
  }
  if (args.Has("--version")) {
    std::printf("kestrum-cli %s\n", KESTRUM_VERSION);
    return kExitOk;
  }
  std::uint32_t sectorSize = 0;
  int status = kExitOk;
  if (!SectorSizeOption(args, sectorSize, status)) return status;
  InstallInterruptHandler();
  if (args.verb == "disks") return RunDisks(args);
  if (args.verb == "volumes") return RunVolumes(args);
  if (args.verb == "ls") return RunList(args);
  if (args.verb == "classify") return RunClassify(args);
  if (args.verb == "export") return RunExportFiles(args);
  if (args.verb == "image") return RunImage(args);
  if (args.verb == "scan" && args.Has("--lost-partitions")) return RunLostPartitionScan(args);
  if (args.verb == "scan") return RunScan(args);
  if (args.verb == "repair") return RunRepair(args);
  if (args.verb == "history") return RunHistory(args);
  if (args.verb == "undo") return RunUndo(args);
  if (!args.verb.empty()) {
    std::fprintf(stderr, "kestrum-cli: %s\n", kestrum::ToUtf8(kestrum::TrFormat("未知的命令 %s", args.verb.c_str())).c_str());
  }
  std::fprintf(stderr, "%s", Usage().c_str());
  return kExitUsage;
}
