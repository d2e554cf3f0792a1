// `image`: copy a disk, a partition or an image into an image file with a
// rescue map, behind the terminal progress line; run again, it resumes.

#include <cstdio>
#include <string>
#include <vector>

#include "base/catalog.h"
#include "base/text.h"
#include "cli/commands.h"
#include "cli/json.h"
#include "cli/terminal_presenter.h"
#include "imaging/disk_imager.h"

namespace kestrum::cli {

int RunImage(const Arguments& args) {
  if (args.operands.size() != 2) {
    return UsageError(args.operands.size() < 2 ? Tr(u"image 需要 SOURCE 和 TARGET") : Tr(u"image 只接受 SOURCE 和 TARGET"));
  }
  bool bad = false;
  const std::optional<std::uint64_t> retries = args.Number("--retries", bad);
  if (bad || (retries && (*retries == 0 || *retries > 100))) return UsageError(Tr(u"--retries 只能是 1 到 100"));
  ImagingJob job;
  job.source = FromUtf8(args.operands[0]);
  job.target = args.operands[1];
  if (auto it = args.values.find("--map"); it != args.values.end()) job.mapPath = it->second;
  job.retries = static_cast<std::uint32_t>(retries.value_or(1));
  job.mapHeader = {"Mapfile. Created by kestrum-cli image",
                   "Command line: kestrum-cli image " + args.operands[0] + " " + args.operands[1]};

  DiskImager imager;
  std::u16string problem;
  if (!imager.Open(job, problem)) {
    Tell(problem);
    return kExitFailure;
  }
  if (imager.Resumed()) Tell(Tr(u"按映射文件继续复制：") + FromUtf8(imager.MapPath()));
  TerminalPresenter presenter(WantProgress(args.Has("--progress")));
  RunImaging(imager, presenter);
  if (!imager.Problem().empty()) Tell(imager.Problem());
  const bool complete = imager.Complete() && imager.Problem().empty();
  Tell(Tr(complete ? u"镜像文件创建完成！" : u"镜像文件尚未完成。") + u"\n" + ImagingSummaryText(imager));
  if (args.Has("--json")) {
    const ImagingStatus s = imager.Status();
    std::printf("%s\n", JsonLine()
                            .Add("source", args.operands[0])
                            .Add("target", args.operands[1])
                            .Add("map", imager.MapPath())
                            .Add("sourceBytes", s.sourceBytes)
                            .Add("rescuedBytes", s.rescuedBytes)
                            .Add("badSectors", s.badSectors)
                            .Add("badAreas", s.badAreas)
                            .Add("pendingBytes", s.pendingBytes)
                            .AddBool("complete", complete)
                            .Text()
                            .c_str());
  }
  return complete ? kExitOk : kExitFailure;
}

}  // namespace kestrum::cli
