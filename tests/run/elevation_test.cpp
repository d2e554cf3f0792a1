// The restart with administrator rights goes through the kestrum-pkexec
// launcher beside the program: what pkexec's exit statuses mean, and the
// arguments handed on whole. A stand-in launcher is put beside this test
// program for the run.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/elevation.h"
#include "support/temp_dir.h"

namespace kestrum {
namespace {

namespace fs = std::filesystem;

TEST(Elevation, TheLaunchersStatusSaysWhetherTheRightsWereGiven) {
  const fs::path launcher = platform::ElevationProgram();
  ASSERT_EQ(launcher.filename(), "kestrum-pkexec");
  ASSERT_FALSE(fs::exists(launcher)) << "a launcher is already beside the test program";
  test::TempDir dir;
  const std::string argsFile = dir.File("args");
  const std::vector<std::string> arguments = {"--lang", "en", "两 个 词.img", ""};
  const struct {
    const char* script;  // none: no launcher
    platform::ElevatedRun run;
  } cases[] = {
      {nullptr, platform::ElevatedRun::kNotStarted},
      {"exit 126", platform::ElevatedRun::kRefused},  // the password dialog dismissed
      {"exit 127", platform::ElevatedRun::kRefused},  // not allowed
      {"exit 1", platform::ElevatedRun::kEnded},      // it ran, and failed on its own
      {"printf '%s\\n' \"$@\" >\"$ARGS\"", platform::ElevatedRun::kEnded},
  };
  ::setenv("ARGS", argsFile.c_str(), 1);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.script != nullptr ? c.script : "no launcher");
    if (c.script != nullptr) {
      std::ofstream(launcher) << "#!/bin/sh\n" << c.script << "\n";
      fs::permissions(launcher, fs::perms::owner_all);
    }
    std::string why;
    EXPECT_EQ(platform::RunElevated(arguments, why), c.run);
    EXPECT_EQ(why.empty(), c.run != platform::ElevatedRun::kNotStarted) << why;
    fs::remove(launcher);
  }
  EXPECT_EQ(test::ReadWholeFile(argsFile), "--lang\nen\n两 个 词.img\n\n");
}

}  // namespace
}  // namespace kestrum
