// kestrum-cli image on an image file whose chosen sectors fail (the test
// build's fault hook), with GNU ddrescue's ddrescuelog reading the map.

#include <gtest/gtest.h>

#include <random>

#include "support/run_command.h"
#include "support/temp_dir.h"

namespace kestrum {
namespace {

using test::RunCliWith;

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

TEST(ImageCommand, CopiesWithAMapDdrescuelogReadsAndResumesWithoutReading) {
  test::TempDir dir;
  std::mt19937 random(5);
  std::string source(2048 * 512, '\0');
  for (auto& b : source) b = static_cast<char>(random());
  const std::string src = dir.File("failing.img"), image = dir.File("copy.img"), map = dir.File("copy.map");
  test::WriteWholeFile(src, source);
  const std::string faults = "KESTRUM_TEST_FAULTS=read:300:20:" + src + ";read:1500:1:" + src;

  auto r = RunCliWith({faults}, {"image", src, image, "--map", map, "--json"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_TRUE(Contains(r.err, "镜像文件创建完成！")) << r.err;
  EXPECT_TRUE(Contains(r.err, "无法读取的扇区 21 个（2 处）")) << r.err;
  EXPECT_TRUE(Contains(r.out, "\"rescuedBytes\":1037824,\"badSectors\":21,\"badAreas\":2,\"pendingBytes\":0,"
                              "\"complete\":true")) << r.out;
  std::string expected = source;
  std::fill(expected.begin() + 300 * 512, expected.begin() + 320 * 512, '\0');
  std::fill(expected.begin() + 1500 * 512, expected.begin() + 1501 * 512, '\0');
  EXPECT_TRUE(test::ReadWholeFile(image) == expected);

  // Another program reads the map as its own: the bad sectors, one a line.
  auto listed = test::RunCommand({"ddrescuelog", "--list-blocks=-", "--block-size=512", map});
  ASSERT_EQ(listed.exitCode, 0) << listed.err;
  std::vector<std::string> want;
  for (int s = 300; s < 320; ++s) want.push_back(std::to_string(s));
  want.push_back("1500");
  EXPECT_EQ(test::Lines(listed.out), want);

  // Run again: the map says everything was tried, so nothing is read.
  const std::string log = dir.File("reads.log");
  r = RunCliWith({faults, "KESTRUM_TEST_READ_LOG=" + log}, {"image", src, image, "--map", map});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_TRUE(Contains(r.err, "按映射文件继续复制")) << r.err;
  EXPECT_EQ(test::ReadWholeFile(log), "");
  EXPECT_TRUE(test::ReadWholeFile(image) == expected);
}

TEST(ImageCommand, WrongUsageAndTargetsItWillNotOverwrite) {
  test::TempDir dir;
  const std::string src = dir.File("disk.img"), other = dir.File("other.bin");
  test::WriteWholeFile(src, std::string(64 * 512, 'x'));
  test::WriteWholeFile(other, "keep me");
  EXPECT_EQ(RunCliWith({}, {"image", src}).exitCode, 2);
  EXPECT_EQ(RunCliWith({}, {"image", src, dir.File("a.img"), "--retries", "0"}).exitCode, 2);
  auto r = RunCliWith({}, {"image", src, other});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_TRUE(Contains(r.err, "镜像文件已存在")) << r.err;
  EXPECT_EQ(test::ReadWholeFile(other), "keep me");
  r = RunCliWith({}, {"image", dir.File("missing.img"), dir.File("b.img")});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_TRUE(Contains(r.err, "无法打开设备")) << r.err;
}

}  // namespace
}  // namespace kestrum
