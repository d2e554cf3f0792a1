// kestrum-cli: the recovery functions for scripts, servers and tests.

#include <clocale>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/filter_options.h"
#include "cli/terminal_presenter.h"
#include "platform/console.h"
#include "platform/crash_reporter.h"

namespace {

constexpr const char* kVersion = "2.16";

constexpr const char* kUsage =
    "usage:\n"
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

constexpr const char* kHelp =
    "\n"
    "verbs:\n"
    "  disks     the disks, plus the given image files as disks\n"
    "  volumes   the volumes of every disk, or only of the given disks and images\n"
    "  ls        read one volume and print its tree\n"
    "  export    copy PATHs (as ls prints them, in the same view; none = everything) into the\n"
    "            existing folder TARGET, which must not lie on the disk being recovered\n"
    "  image     copy a disk, partition or image once into the image file TARGET, good areas\n"
    "            first, bad areas last; MAPFILE (default TARGET.map, GNU ddrescue's mapfile\n"
    "            format) says what was rescued: the same command again resumes from it\n"
    "  classify  what every sector is, as the deep scan sees it\n"
    "  scan      deep-scan a disk (whole-disk search) or one volume (partition search) and print\n"
    "            the volumes found: the files found by content first, one volume a line;\n"
    "            with --lost-partitions, the partitions whose boot sectors it found\n"
    "  repair    rewrite DISK's partition table from the candidates --select names (rows of\n"
    "            scan --lost-partitions, kept with --state); the old sectors go to the history;\n"
    "            with --gpt-from-backup, write a damaged primary GPT again from the backup\n"
    "  history   the recorded rebuilds, numbered from 0, oldest first\n"
    "  undo      write back what record K and every later record of DISK overwrote\n"
    "\n"
    "SOURCE: a partition device, a file-system image, or a disk or disk image with --partition N;\n"
    "        for scan, a disk or disk image without --partition is searched whole\n"
    "\n"
    "options:\n"
    "  --json            one JSON object per line\n"
    "  --deleted         the deleted-files view instead of the existing files\n"
    "  --partition N     the N-th volume `volumes` lists for the disk (from 1)\n"
    "  --sector-size N   the logical sector size of the named disks or images (512, 1024,\n"
    "                    2048, 4096), instead of what the device reports or the image holds;\n"
    "                    sector numbers are 512-byte units whatever it is\n"
    "  --from SECTOR, --count N   classify only these sectors\n"
    "  --priority START_GB:SIZE_GB   scan this region first (GiB, as the scan settings take it)\n"
    "  --state FILE      keep the scan's state in FILE: a scan of the same device and area\n"
    "                    resumes from it, and ls/export --scan read the found volumes from it\n"
    "  --fresh           start the scan afresh even when FILE holds another device's state\n"
    "  --scan FILE --found N   ls/export work on found volume N of the scan saved in FILE\n"
    "  --map MAPFILE     image: the rescue map (default TARGET.map)\n"
    "  --retries N       image: tries of each bad sector in all (default 1)\n"
    "  --yes             answer Yes to every question of repair and undo; without it and\n"
    "                    without a terminal they refuse and write nothing\n"
    "  --history FILE    the repair history (default $XDG_STATE_HOME/kestrum/FixPartTable.dat)\n"
    "  --table gpt|mbr   the table repair writes; by default a GPT where the disk had one or an\n"
    "                    MBR cannot describe it, else MBR and EBRs\n"
    "  --progress        draw progress on stderr even when it is not a terminal\n"
    "  --help, --version\n"
    "\n"
    "FILTER (ls, export; every one given must hold): ls lists only the matches, each with its\n"
    "path; export copies only the matches (at or below the PATHs), each below its folders\n"
    "  --name GLOB       the name, with * and ? (Latin letters in either case)\n"
    "  --type GROUP[,GROUP...]   picture, document, video, audio, archive, other (by extension)\n"
    "  --min-size SIZE, --max-size SIZE   bytes, or with K, M, G, T (1024-based): 10M, 1.5G\n"
    "  --since DATE, --until DATE   modified on or after / on or before: YYYY-MM-DD [HH:MM[:SS]], local time\n"
    "  --recovery CHANCE[,CHANCE...]   good, partial, overwritten, unknown, unverified\n"
    "every export writes 恢复报告.csv and recovery-report.jsonl into TARGET: each file's path,\n"
    "size, recovery chance and result\n"
    "\n"
    "Ctrl-C stops a long operation; during scan the first Ctrl-C stops reading and keeps what\n"
    "was found, the second aborts. Exit status: 0 success, 1 failure, 2 wrong usage.\n";

}  // namespace

int main(int argc, char** argv) {
  using namespace kestrum::cli;
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
  std::string error;
  const std::set<std::string> flags = {"--json", "--deleted", "--progress", "--help", "--version", "--fresh",
                                       "--lost-partitions", "--yes", "--gpt-from-backup"};
  std::set<std::string> valued = {"--partition", "--from", "--count", "--priority",
                                  "--state", "--scan", "--found",
                                  "--select", "--history", "--record", "--table",
                                  "--sector-size", "--map", "--retries"};
  valued.insert(std::begin(kFilterOptions), std::end(kFilterOptions));
  if (!ParseArguments(argc, argv, flags, valued, args, error)) {
    std::fprintf(stderr, "kestrum-cli: %s\n%s", error.c_str(), kUsage);
    return kExitUsage;
  }
  if (args.Has("--help")) {
    std::printf("%s%s", kUsage, kHelp);
    return kExitOk;
  }
  if (args.Has("--version")) {
    std::printf("kestrum-cli %s\n", kVersion);
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
  if (!args.verb.empty()) std::fprintf(stderr, "kestrum-cli: unknown verb %s\n", args.verb.c_str());
  std::fprintf(stderr, "%s", kUsage);
  return kExitUsage;
}
