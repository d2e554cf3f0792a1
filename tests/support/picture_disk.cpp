#include "support/picture_disk.h"

#include <gtest/gtest.h>

#include "support/run_command.h"

namespace kestrum::test {

namespace {

bool Run(const std::vector<std::string>& argv) {
  CommandResult r = RunCommand(argv);
  if (r.exitCode != 0) ADD_FAILURE() << argv[0] << " failed: " << r.err;
  return r.exitCode == 0;
}

}  // namespace

bool MakePictureDisk(const std::string& dir, PictureDisk& out) {
  out = PictureDisk{};
  for (int i = 1; i <= 5; ++i) {
    const std::string f = dir + "/photo" + std::to_string(i) + ".jpg";
    const std::string size = std::to_string(200 * i) + "x" + std::to_string(150 * i);
    if (!Run({"convert", "-size", size, "plasma:fractal", "-quality", "85", f})) return false;
    out.files.push_back(f);
    ++out.jpg;
  }
  for (int i = 1; i <= 4; ++i) {
    const std::string f = dir + "/chart" + std::to_string(i) + ".png";
    const std::string size = std::to_string(100 * i) + "x" + std::to_string(90 * i);
    if (!Run({"convert", "-size", size, "gradient:red-blue", f})) return false;
    out.files.push_back(f);
    ++out.png;
  }
  for (int i = 1; i <= 3; ++i) {
    const std::string f = dir + "/text" + std::to_string(i) + ".pdf";
    if (!Run({"gs", "-q", "-dNOPAUSE", "-dBATCH", "-sDEVICE=pdfwrite", "-o", f, "-c",
              "/Helvetica findfont 20 scalefont setfont 72 720 moveto (Kestrum " + std::to_string(i) +
                  ") show showpage"})) {
      return false;
    }
    out.files.push_back(f);
    ++out.pdf;
  }
  out.image = dir + "/pictures.img";
  if (!Run({"truncate", "-s", "64M", out.image})) return false;
  if (!Run({"sh", "-c", "printf 'label: dos\\n2048,,c\\n' | sfdisk -q '" + out.image + "'"})) return false;
  if (!Run({"mkfs.vfat", "-F", "32", "--offset", "2048", out.image, "64512"})) return false;
  std::vector<std::string> copy = {"mcopy", "-i", out.image + "@@1048576"};
  copy.insert(copy.end(), out.files.begin(), out.files.end());
  copy.push_back("::/");
  return Run(copy);
}

}  // namespace kestrum::test
