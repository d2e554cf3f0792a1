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

std::vector<std::uint8_t> Entry(std::uint8_t type) {
  std::vector<std::uint8_t> e(32, 0);
  e[0] = type;
  return e;
}

// Every secondary counts against the file entry's count; a set is given when
// the count is met, or, damaged, when a primary entry or the end comes
// first with a stream and a name in it.
TEST(ParseEntrySets, SetsEndAtTheirCountOrAtWhatComesFirst) {
  auto set = [](const std::string& name) { return EntrySetBytes(Fields(name, false, false, 1, 5)); };
  auto with = [](std::vector<std::uint8_t> bytes, std::size_t at, const std::vector<std::uint8_t>& entry,
                 int countChange) {
    bytes.insert(bytes.begin() + static_cast<std::ptrdiff_t>(at), entry.begin(), entry.end());
    bytes[1] = static_cast<std::uint8_t>(bytes[1] + countChange);
    return bytes;
  };
  auto cut = set("cut-short-by-the-next");  // file, stream and the first of two name entries
  cut.resize(3 * 32);
  auto stray = set("stray");
  stray.erase(stray.begin(), stray.begin() + 32);
  auto mixed = set("mixed");
  mixed[32] = 0x40;  // a deleted stream in a live set
  auto noName = set("no-name");
  noName.resize(2 * 32);
  struct Case {
    const char* what;
    std::vector<std::uint8_t> bytes;
    std::vector<std::pair<std::u16string, bool>> sets;  // name, damaged
  };
  const Case cases[] = {
      {"a set cut short by the next file entry", Join({cut, set("next")}),
       {{u"cut-short-by-th", true}, {u"next", false}}},
      {"vendor extension and allocation, counted", with(with(set("vendor"), 64, Entry(0xE0), 1), 96, Entry(0xE1), 1),
       {{u"vendor", false}}},
      {"an unknown secondary the count leaves out", Join({with(set("uncounted"), 64, Entry(0xE1), 0), set("after")}),
       {{u"uncounted", true}, {u"after", false}}},
      {"a GUID entry ends the set before its name", Join({with(set("guid"), 64, Entry(0xA0), 0), set("after")}),
       {{u"after", false}}},
      {"a count too high ends at the end of the directory", Join({with(set("at-end"), 0, {}, 1), Entry(0)}),
       {{u"at-end", true}}},
      {"... and at the end of the bytes", with(set("bytes-end"), 0, {}, 1), {{u"bytes-end", true}}},
      {"a stream without a name is no set", Join({noName, set("after")}), {{u"after", false}}},
      {"stream and name entries outside a set", Join({stray, set("after")}), {{u"after", false}}},
      {"live and deleted secondaries mix; the file entry decides", mixed, {{u"mixed", false}}},
  };
  for (const Case& c : cases) {
    std::vector<std::pair<std::u16string, bool>> got;
    for (const FileNode& n : ParseEntrySets(c.bytes, test::TestStrings())) {
      got.emplace_back(n.name, n.damagedSet != 0);
      EXPECT_EQ(n.type, kFile) << c.what;
    }
    EXPECT_EQ(got, c.sets) << c.what;
  }
}

TEST(ParseEntrySets, AnOverlongNameIsCutAtTheBufferAndNothingIsReadPastTheBytes) {
  // A damaged set: 255 secondaries, 254 of them name entries of 15 'x'.
  std::vector<std::uint8_t> set = EntrySetBytes(Fields("x", false, false, 1, 5));
  set.resize(64);
  set[1] = 255;
  set[32 + 3] = 0;  // no length: the name runs to the buffer's end
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
  EXPECT_TRUE(ParseEntrySets(partial, test::TestStrings()).empty()) << "a stream, and no whole name entry";
  EXPECT_TRUE(ParseEntrySets({}, test::TestStrings()).empty());
}

}  // namespace
}  // namespace kestrum
