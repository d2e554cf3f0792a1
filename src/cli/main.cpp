// kestrum-cli: the recovery functions for scripts, servers and tests.

#include <clocale>
#include <cstdio>
#include <cstring>

#include "cli/commands.h"
#include "cli/terminal_presenter.h"

namespace {

constexpr const char* kUsage =
    "usage:\n"
    "  kestrum-cli disks   [--json] [IMAGE...]\n"
    "  kestrum-cli volumes [--json] [DISK_OR_IMAGE...]\n"
    "  kestrum-cli ls      [--deleted] [--json] SOURCE [--partition N]\n"
    "  kestrum-cli export  [--deleted] SOURCE TARGET [PATH...] [--partition N]\n"
    "  kestrum-cli classify [--json] DEVICE_OR_IMAGE [--partition N] [--from SECTOR] [--count N]\n"
    "SOURCE: a partition device, a file-system image, or a disk or disk image with --partition N\n"
    "export: copies PATHs (as ls prints them, in the same view; none = everything) into the\n"
    "        existing folder TARGET, which must not lie on the disk being recovered\n"
    "options: --progress draws progress on stderr even when it is not a terminal\n";

}  // namespace

int main(int argc, char** argv) {
  using namespace kestrum::cli;
  std::setlocale(LC_ALL, "");
  Arguments args;
  std::string error;
  const std::set<std::string> flags = {"--json", "--deleted", "--progress", "--help"};
  const std::set<std::string> valued = {"--partition", "--from", "--count"};
  if (!ParseArguments(argc, argv, flags, valued, args, error)) {
    std::fprintf(stderr, "kestrum-cli: %s\n%s", error.c_str(), kUsage);
    return kExitUsage;
  }
  if (args.Has("--help")) {
    std::printf("%s", kUsage);
    return kExitOk;
  }
  InstallInterruptHandler();
  if (args.verb == "disks") return RunDisks(args);
  if (args.verb == "volumes") return RunVolumes(args);
  if (args.verb == "ls") return RunList(args);
  if (args.verb == "classify") return RunClassify(args);
  if (args.verb == "export") return RunExportFiles(args);
  std::fprintf(stderr, "%s", kUsage);
  return kExitUsage;
}
