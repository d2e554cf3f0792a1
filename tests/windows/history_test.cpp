// The repair history on Windows: a new file takes the history's place while
// its lock is held (the system refuses to rename over an open file), and a
// second writer is refused meanwhile.

#include <gtest/gtest.h>

#include "platform/windows/win32.h"
#include "repair/repair_history.h"
#include "windows_test.h"

namespace kestrum::wintest {
namespace {

using namespace repair;

TEST(WindowsHistory, SavedInPlaceUnderItsLock) {
  TempFolder folder;
  const std::string path = platform::win32::Utf8(folder.File(L"修复\\FixPartTable.dat"));
  RebuildRecord record;
  record.time = u"2026-12-10 09:00:00";
  record.sectors.push_back({0, std::vector<std::uint8_t>(512, 0xAB)});
  ASSERT_TRUE(AddRebuildRecord(path, u"disk", record));
  {
    HistoryFile held;
    ASSERT_TRUE(OpenHistoryFile(path, held));
    RepairHistory history;
    ASSERT_TRUE(LoadHistory(held, history));
    EXPECT_FALSE(AddRebuildRecord(path, u"disk", record)) << "a second writer while the lock is held";
    AddRebuildRecord(history, u"other disk", record);
    EXPECT_TRUE(SaveHistory(held, history)) << "renamed over while locked";
  }
  RepairHistory back;
  ASSERT_TRUE(LoadHistory(path, back));
  ASSERT_EQ(back.devices.size(), 2u);
  EXPECT_EQ(back.devices[1].description, u"other disk");
  ASSERT_EQ(back.devices[0].records.size(), 1u);
  EXPECT_EQ(back.devices[0].records[0].sectors[0].data, record.sectors[0].data);
}

}  // namespace
}  // namespace kestrum::wintest
