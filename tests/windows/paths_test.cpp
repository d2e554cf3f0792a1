// Paths on the Windows side: the core's UTF-16 and UTF-8 against the
// system's own conversions, the device forms, paths made absolute, and files
// of Chinese and non-BMP names opened by absolute and relative paths.

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "base/text.h"
#include "platform/files.h"
#include "platform/state_folder.h"
#include "platform/windows/device_paths.h"
#include "platform/windows/win32.h"
#include "windows_test.h"

namespace kestrum::wintest {
namespace {

using platform::win32::Narrow16;
using platform::win32::Utf8;
using platform::win32::Wide;
using platform::win32::WideFromUtf8;

std::u16string Cwd() {
  wchar_t cwd[MAX_PATH + 1] = {};
  GetCurrentDirectoryW(MAX_PATH, cwd);
  return Narrow16(cwd);
}

TEST(WindowsPaths, TheCoresTextIsTheSystemsWideText) {
  const struct {
    const char* utf8;
    std::u16string utf16;
  } cases[] = {
      {"disk.img", u"disk.img"},
      {"D:\\恢复\\恢复报告.csv", u"D:\\恢复\\恢复报告.csv"},
      {"\\\\.\\PhysicalDrive0", u"\\\\.\\PhysicalDrive0"},
      {"\xF0\xA0\x80\x80\xF0\x9D\x84\x9E.jpg", u"\U00020000\U0001D11E.jpg"},  // outside the BMP: surrogate pairs
      {"", u""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.utf8);
    EXPECT_EQ(Narrow16(WideFromUtf8(c.utf8)), c.utf16) << "the system's UTF-8 to wide";
    EXPECT_EQ(FromUtf8(c.utf8), c.utf16) << "the core's UTF-8 to UTF-16";
    EXPECT_EQ(Utf8(Wide(c.utf16)), c.utf8) << "the system's wide to UTF-8";
    EXPECT_EQ(ToUtf8(c.utf16), c.utf8) << "the core's UTF-16 to UTF-8";
  }
}

TEST(WindowsPaths, DeviceFormsAndTheRootsTheSystemNames) {
  const struct {
    std::u16string path;
    bool device;
    std::optional<std::uint32_t> disk;
    std::u16string root;
  } cases[] = {
      {u"\\\\.\\PhysicalDrive0", true, 0, u""},
      {u"\\\\.\\PhysicalDrive12", true, 12, u""},
      {u"\\\\.\\physicaldrive3", true, 3, u""},  // the system takes any case
      {u"\\\\.\\PhysicalDrive", true, std::nullopt, u""},
      {u"\\\\.\\PhysicalDrive1x", true, std::nullopt, u""},
      {u"\\\\.\\C:", true, std::nullopt, u"C:\\"},
      {u"\\\\.\\d:", true, std::nullopt, u"d:\\"},
      {u"\\\\.\\1:", true, std::nullopt, u""},
      {u"\\\\?\\Volume{0b1c2d3e-0000-0000-0000-100000000000}", true, std::nullopt,
       u"\\\\?\\Volume{0b1c2d3e-0000-0000-0000-100000000000}\\"},
      {u"\\\\?\\C:\\images\\disk.img", false, std::nullopt, u""},  // a file past MAX_PATH
      {u"\\\\?\\UNC\\server\\share\\disk.img", false, std::nullopt, u""},
      {u"\\\\server\\share\\disk.img", false, std::nullopt, u""},
      {u"C:\\disk.img", false, std::nullopt, u""},
      {u"\\\\.\\", false, std::nullopt, u""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(ToUtf8(c.path));
    EXPECT_EQ(platform::IsDevicePath(c.path), c.device);
    EXPECT_EQ(platform::win32::DiskNumberOf(c.path), c.disk);
    EXPECT_EQ(platform::win32::VolumeRootOf(c.path), c.root);
  }
}

TEST(WindowsPaths, FullPathsAndFolders) {
  const std::u16string cwd = Cwd();
  const std::u16string drive = cwd.substr(0, 2);
  std::u16string parent = platform::FolderOfPath(cwd);
  if (parent.back() != u'\\') parent += u'\\';
  const struct {
    std::u16string given;
    std::u16string full;
    std::u16string folder;  // FolderOfPath of the full path
  } cases[] = {
      {u"\\\\.\\PhysicalDrive1", u"\\\\.\\PhysicalDrive1", u""},
      {u"\\\\.\\C:", u"\\\\.\\C:", u""},
      {u"\\\\?\\Volume{0b1c2d3e-0000-0000-0000-100000000000}", u"\\\\?\\Volume{0b1c2d3e-0000-0000-0000-100000000000}",
       u""},
      {u"C:\\镜像\\..\\磁盘.img", u"C:\\磁盘.img", u"C:\\"},
      {u"C:/images/./disk.img", u"C:\\images\\disk.img", u"C:\\images"},
      {u"\\\\server\\share\\恢复\\disk.img", u"\\\\server\\share\\恢复\\disk.img", u"\\\\server\\share\\恢复"},
      {u"镜像\\\U00020000.img", cwd + u"\\镜像\\\U00020000.img", cwd + u"\\镜像"},
      {u"..\\disk.img", parent + u"disk.img", u""},
      {u"\\root.img", drive + u"\\root.img", drive + u"\\"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(ToUtf8(c.given));
    EXPECT_EQ(platform::FullPath(c.given), c.full);
    if (!c.folder.empty()) {
      EXPECT_EQ(platform::FolderOfPath(c.full), c.folder);
    }
  }
}

// A file of a Chinese and non-BMP name, made and read back through the
// platform's calls by its absolute and its relative path: the name the system
// stores is the one the core asked for.
TEST(WindowsFiles, NamesOutsideAsciiByAbsoluteAndRelativePaths) {
  TempFolder folder;
  ASSERT_FALSE(folder.path().empty());
  const std::u16string name = u"恢复报告 \U00020000.bin";
  const std::u16string absolute = Narrow16(folder.path()) + u"\\" + name;
  const std::string content = "恢复的内容";
  int fd = platform::OpenFile(absolute, platform::OpenMode::kCreate);
  ASSERT_GE(fd, 0) << platform::ErrorText(errno);
  EXPECT_TRUE(platform::WriteAll(fd, content.data(), content.size()));
  EXPECT_TRUE(platform::CloseFile(fd));
  EXPECT_EQ(FilesIn(folder.path()), std::vector<std::wstring>{Wide(name)});

  const std::u16string before = Cwd();
  ASSERT_TRUE(SetCurrentDirectoryW(folder.path().c_str()));
  for (const std::u16string& path : {absolute, name, u".\\" + name}) {
    SCOPED_TRACE(ToUtf8(path));
    const platform::PathInfo info = platform::ExaminePath(path, true);
    EXPECT_EQ(info.kind, platform::PathKind::kFile);
    EXPECT_EQ(info.bytes, content.size());
    EXPECT_EQ(platform::FullPath(path), absolute);
    fd = platform::OpenFile(path, platform::OpenMode::kRead);
    ASSERT_GE(fd, 0) << platform::ErrorText(errno);
    std::string back(content.size(), '\0');
    EXPECT_TRUE(platform::ReadAt(fd, reinterpret_cast<std::uint8_t*>(back.data()), back.size(), 0));
    EXPECT_EQ(back, content);
    platform::CloseFile(fd);
  }
  SetCurrentDirectoryW(Wide(before).c_str());
}

TEST(WindowsState, TheStateFolderIsKestrumUnderLocalAppData) {
  const wchar_t* saved = _wgetenv(L"LOCALAPPDATA");
  const std::wstring kept = saved != nullptr ? saved : L"";
  _wputenv_s(L"LOCALAPPDATA", L"C:\\Users\\测试\\AppData\\Local");
  EXPECT_EQ(StateFolder(), "C:\\Users\\测试\\AppData\\Local\\Kestrum");
  EXPECT_EQ(StateFile("FixPartTable.dat"), "C:\\Users\\测试\\AppData\\Local\\Kestrum\\FixPartTable.dat");
  _wputenv_s(L"LOCALAPPDATA", kept.c_str());
}

}  // namespace
}  // namespace kestrum::wintest
