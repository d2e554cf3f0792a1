#include "fs/exfat/entry_sets.h"

#include <gtest/gtest.h>

#include "base/text.h"
#include "exfat_image.h"
#include "fs/dos_time.h"
#include "support/tree_builder.h"

namespace kestrum {
namespace {

using test::EntrySetBytes;
using test::Join;
using test::EntrySetFields;

EntrySetFields Fields(const std::string& name, bool folder, bool deleted, std::uint64_t size, std::uint32_t cluster) {
  EntrySetFields s;
  s.name = name;
  s.folder = folder;
  s.deleted = deleted;
  s.size = size;
  s.firstCluster = cluster;
  return s;
}

TEST(ParseEntrySets, EachCompleteSetBecomesANodeWithItsFields) {
  EntrySetFields live = Fields("report.txt", false, false, 12345, 17);
  live.noFatChain = true;
  EntrySetFields gone = Fields("gone.txt", false, true, 0x123456789ULL, 40);
  gone.created = test::MakeDosStamp(2019, 1, 2, 3, 4, 6);
  gone.modified = test::MakeDosStamp(2020, 11, 30, 23, 58, 58);
  EntrySetFields dir = Fields("docs", true, false, 4096, 50);
  EntrySetFields trash = Fields("trash", true, true, 1024, 60);
  auto bytes = Join({EntrySetBytes(live), EntrySetBytes(gone), EntrySetBytes(dir), EntrySetBytes(trash)});

  std::vector<FileNode> nodes = ParseEntrySets(bytes, test::TestStrings());
  ASSERT_EQ(nodes.size(), 4u);
  EXPECT_EQ(nodes[0].name, u"report.txt");
  EXPECT_EQ(nodes[0].type, kFile);
  EXPECT_EQ(nodes[0].deletedMark, 0);
  EXPECT_EQ(nodes[0].size, 12345u);
  EXPECT_EQ(nodes[0].location, 17u);
  EXPECT_EQ(nodes[0].noFatChain, 1);

  EXPECT_EQ(nodes[1].name, u"gone.txt");
  EXPECT_EQ(nodes[1].type, kDeletedFile);
  EXPECT_EQ(nodes[1].deletedMark, 1);
  EXPECT_EQ(nodes[1].size, 0x123456789ULL) << "the valid data length is 64 bits";
  EXPECT_EQ(nodes[1].location, 40u);
  EXPECT_EQ(nodes[1].noFatChain, 0);
  EXPECT_EQ(nodes[1].creationTime, DosTimeToFileTime(gone.created.date, gone.created.time));
  EXPECT_EQ(nodes[1].lastWriteTime, DosTimeToFileTime(gone.modified.date, gone.modified.time));
  EXPECT_NE(nodes[1].creationTime, nodes[1].lastWriteTime);

  EXPECT_EQ(nodes[2].type, kFolder);
  EXPECT_EQ(nodes[3].type, kDeletedFolder);
  EXPECT_EQ(nodes[3].deletedMark, 1);
  EXPECT_EQ(nodes[3].name, u"trash");
}

TEST(ParseEntrySets, NamesJoinOverEntriesAndEndAtTheirFirstZero) {
  const std::string longName = "a name of forty-one characters, for three";
  ASSERT_EQ(FromUtf8(longName).size(), 41u);
  auto nodes = ParseEntrySets(Join({EntrySetBytes(Fields(longName, false, false, 1, 5)),
                                    EntrySetBytes(Fields("报告-二〇二四.doc", false, false, 1, 6))}),
                              test::TestStrings());
  ASSERT_EQ(nodes.size(), 2u);
  EXPECT_EQ(nodes[0].name, FromUtf8(longName));
  EXPECT_EQ(nodes[1].name, u"报告-二〇二四.doc");
}

TEST(ParseEntrySets, TheWalkEndsAtTheEndOfDirectoryEntry) {
  auto bytes = Join({EntrySetBytes(Fields("first", false, false, 1, 5)), std::vector<std::uint8_t>(32, 0),
                     EntrySetBytes(Fields("after-the-end", false, true, 1, 6))});
  auto nodes = ParseEntrySets(bytes, test::TestStrings());
  ASSERT_EQ(nodes.size(), 1u);
  EXPECT_EQ(nodes[0].name, u"first");
}

TEST(ParseEntrySets, BrokenSetsAndStrayEntries) {
  // A set cut short by the next file entry is dropped; the new set counts.
  auto cut = EntrySetBytes(Fields("cut-short-by-the-next", false, false, 1, 5));
  cut.resize(3 * 32);  // file, stream, first name entry of two
  // Stream and name entries outside a set, and other types inside one, are ignored.
  auto stray = EntrySetBytes(Fields("stray", false, false, 1, 7));
  std::vector<std::uint8_t> strayTail(stray.begin() + 32, stray.end());
  auto withGuid = EntrySetBytes(Fields("with-guid", false, false, 9, 8));
  std::vector<std::uint8_t> guid(32, 0);
  guid[0] = 0xA0;
  withGuid.insert(withGuid.begin() + 64, guid.begin(), guid.end());
  // Live and deleted secondaries mixed in one set.
  auto mixed = EntrySetBytes(Fields("mixed", false, false, 3, 9));
  mixed[32] = 0x40;
  auto nodes = ParseEntrySets(Join({cut, EntrySetBytes(Fields("next", false, false, 2, 6)), strayTail, withGuid,
                                    mixed}), test::TestStrings());
  ASSERT_EQ(nodes.size(), 3u);
  EXPECT_EQ(nodes[0].name, u"next");
  EXPECT_EQ(nodes[1].name, u"with-guid");
  EXPECT_EQ(nodes[1].size, 9u);
  EXPECT_EQ(nodes[2].name, u"mixed");
  EXPECT_EQ(nodes[2].type, kFile) << "the file entry decides live or deleted";
}

TEST(ParseEntrySets, AnOverlongNameIsCutAtTheBufferAndAnUnfinishedSetIsDropped) {
  // A damaged set: 255 secondaries, 254 of them name entries of 15 'x'.
  std::vector<std::uint8_t> set = EntrySetBytes(Fields("x", false, false, 1, 5));
  set.resize(64);
  set[1] = 255;
  std::vector<std::uint8_t> name(32, 0);
  name[0] = 0xC1;
  for (int i = 0; i < 15; ++i) name[2 + 2 * i] = 'x';
  for (int k = 0; k < 254; ++k) set.insert(set.end(), name.begin(), name.end());
  auto nodes = ParseEntrySets(set, test::TestStrings());
  ASSERT_EQ(nodes.size(), 1u);
  EXPECT_EQ(nodes[0].name, std::u16string(259, u'x'));

  // The buffer ends inside a set, mid-entry: nothing is read past it.
  auto partial = EntrySetBytes(Fields("partial-name-entries", false, false, 1, 5));
  partial.resize(partial.size() - 40);
  EXPECT_TRUE(ParseEntrySets(partial, test::TestStrings()).empty());
  EXPECT_TRUE(ParseEntrySets({}, test::TestStrings()).empty());
}

}  // namespace
}  // namespace kestrum
