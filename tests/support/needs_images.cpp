// Linked into every suite that reads the fixture images. The images need root
// to build (loop devices, FUSE mounts); without them and without root the
// whole suite is skipped with the reason instead of failing test by test.
// After each test no image may have been written (its change time and size
// are as before); the fixtures.unchanged test compares their hashes at the end.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <utility>

namespace kestrum::test {
namespace {

using Stamp = std::pair<std::int64_t, std::int64_t>;  // change time (ns), size

std::map<std::string, Stamp> ImageStamps() {
  std::map<std::string, Stamp> stamps;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(KESTRUM_FIXTURE_DIR, ec)) {
    if (entry.path().extension() != ".img") continue;
    struct stat st {};
    if (::stat(entry.path().c_str(), &st) != 0) continue;
    stamps[entry.path().filename().string()] = {std::int64_t{st.st_ctim.tv_sec} * 1000000000 + st.st_ctim.tv_nsec,
                                                std::int64_t{st.st_size}};
  }
  return stamps;
}

class FixtureImages : public ::testing::Environment {
 public:
  void SetUp() override {
    before_ = ImageStamps();
    const std::string stamp = std::string(KESTRUM_FIXTURE_DIR) + "/stamp";
    if (std::filesystem::exists(stamp) || ::geteuid() == 0) return;
    GTEST_SKIP() << "no fixture images in " << KESTRUM_FIXTURE_DIR
                 << ": building them needs root (loop devices and FUSE mounts); run the tests as root, "
                    "or build the images once as root with tests/fixtures/build_fixtures.sh";
  }
  void TearDown() override {
    for (const auto& [name, stamp] : ImageStamps()) {
      auto it = before_.find(name);
      if (it != before_.end()) {
        EXPECT_EQ(stamp, it->second) << "the fixture image " << name << " was written to";
      }
    }
  }

 private:
  std::map<std::string, Stamp> before_;
};

[[maybe_unused]] const auto* const kRegistered = ::testing::AddGlobalTestEnvironment(new FixtureImages);

}  // namespace
}  // namespace kestrum::test
