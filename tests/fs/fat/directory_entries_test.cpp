#include "fs/fat/directory_entries.h"

#include <algorithm>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "base/text.h"
#include "fat_test_support.h"
#include "fs/tree/node_array.h"

namespace kestrum {
namespace {

using test::DirBytes;
using test::ShortEntry;

constexpr std::uint8_t kArchive = 0x20;
constexpr std::uint8_t kDir = 0x10;

// A tree to parse into: the root at 5, the volume of the given kind.
class ParseInto : public ::testing::Test {
 protected:
  void Use(FsKind kind) {
    volume = VolumeDescriptor{};
    volume.fsKind = kind;
    AddRootNode(volume);
  }
  void SetUp() override { Use(kFsFat32); }

  std::uint32_t Parse(const DirBytes& dir, std::uint32_t parent = kRootNodeId) {
    return ParseDirEntries(dir.bytes, volume, parent);
  }
  std::vector<std::u16string> Names() const {
    std::vector<std::u16string> names;
    const auto& nodes = NodesOf(volume)->nodes;
    for (std::size_t i = kRootNodeId + 1; i < nodes.size(); ++i) names.emplace_back(nodes[i].name);
    return names;
  }
  const FileNode& Node(std::size_t i) const { return NodesOf(volume)->nodes.at(i); }

  VolumeDescriptor volume;
};

TEST(ShortNames, FormatsNameAndExtensionAsStoredByteByByte) {
  EXPECT_EQ(FormatShortName(ShortEntry("README  TXT", kArchive)), u"README.TXT");
  EXPECT_EQ(FormatShortName(ShortEntry("NOEXT      ", kArchive)), u"NOEXT");
  EXPECT_EQ(FormatShortName(ShortEntry("A       B  ", kArchive)), u"A.B");
  EXPECT_EQ(FormatShortName(ShortEntry("FULLNAMEEXT", kArchive)), u"FULLNAME.EXT");
  // Only the padding goes: spaces inside a part belong to the name.
  EXPECT_EQ(FormatShortName(ShortEntry("AB CD   E F", kArchive)), u"AB CD.E F");
  EXPECT_EQ(FormatShortName(ShortEntry("PAD 0000 PD", kArchive)), u"PAD 0000. PD");
  // No code page: a GBK pair becomes two characters of the same values.
  test::Entry gbk = ShortEntry("\xC4\xE3      TXT", kArchive);
  EXPECT_EQ(FormatShortName(gbk), (std::u16string{char16_t(0xC4), char16_t(0xE3), u'.', u'T', u'X', u'T'}));
  // A zero byte ends the name like the end of a string.
  EXPECT_EQ(FormatShortName(ShortEntry(std::string_view("AB\0DEFGHTXT", 11), kArchive)), u"AB");
}

TEST(ShortNames, LowerCaseFlagsApplyToNameAndExtensionSeparately) {
  test::Entry e = ShortEntry("README  TXT", kArchive);
  e[12] = 0x18;
  EXPECT_EQ(FormatShortName(e), u"readme.txt");
  e[12] = 0x08;
  EXPECT_EQ(FormatShortName(e), u"readme.TXT");
  e[12] = 0x10;
  EXPECT_EQ(FormatShortName(e), u"README.txt");
  test::Entry digits = ShortEntry("F0001~1 BIN", kArchive);
  digits[12] = 0x18;
  EXPECT_EQ(FormatShortName(digits), u"f0001~1.bin") << "only A-Z change";
}

TEST(ShortNames, ChecksumMatchesWhatMtoolsWrote) {
  // mtools wrote checksum 0xD4 into the long-name entries of "LONGFI~1TXT".
  EXPECT_EQ(ShortNameChecksum(ShortEntry("LONGFI~1TXT", kArchive)), 0xD4);
  EXPECT_NE(ShortNameChecksum(ShortEntry("LONGFI~2TXT", kArchive)), 0xD4);
}

TEST_F(ParseInto, LongNameSplitOverEntriesIsJoinedInOrdinalOrder) {
  const std::u16string name = u"A long file name that needs three entries";  // 41 characters
  ASSERT_GT(name.size(), 26u);
  DirBytes dir;
  dir.AddLong(name, ShortEntry("ALONGF~1   ", kArchive, 7, 123));
  ASSERT_EQ(dir.EntryCount(), 5u);  // four long-name parts and the short entry
  EXPECT_EQ(Parse(dir), 1u);
  EXPECT_EQ(Names(), std::vector<std::u16string>{name});

  // Exactly 13 characters: the part has no terminator of its own.
  Use(kFsFat32);
  DirBytes exact;
  exact.AddLong(u"thirteen_char", ShortEntry("THIRTE~1   ", kArchive));
  ASSERT_EQ(exact.EntryCount(), 2u);
  Parse(exact);
  EXPECT_EQ(Names(), std::vector<std::u16string>{u"thirteen_char"});

  // Chinese names are UTF-16 in the long-name entries.
  Use(kFsFat32);
  DirBytes zh;
  zh.AddLong(u"季度总结.txt", ShortEntry("~1      TXT", kArchive));
  Parse(zh);
  EXPECT_EQ(Names(), std::vector<std::u16string>{u"季度总结.txt"});
}

TEST_F(ParseInto, BrokenLongNameSetsFallBackToTheShortName) {
  const std::u16string name = u"Quarterly report for the board.docx";  // 3 parts
  const test::Entry shortEntry = ShortEntry("QUARTE~1DOC", kArchive, 9, 10);
  struct Case {
    const char* what;
    void (*damage)(DirBytes&);
  };
  const Case cases[] = {
      {"checksum of the set differs from the short entry",
       [](DirBytes& d) {
         for (std::size_t i = 0; i < 3; ++i) d.EntryData(i)[13] ^= 0x01;
       }},
      {"one part has another checksum", [](DirBytes& d) { d.EntryData(1)[13] ^= 0x55; }},
      {"a part is missing (ordinal 3 followed by 1)",
       [](DirBytes& d) { d.EntryData(1)[0] = 0x01; }},
      {"the last part lacks its 0x40 mark", [](DirBytes& d) { d.EntryData(0)[0] = 0x03; }},
      {"ordinal above 20", [](DirBytes& d) { d.EntryData(0)[0] = 0x40 | 21; }},
      {"ordinal 0", [](DirBytes& d) { d.EntryData(0)[0] = 0x40; }},
  };
  for (const Case& c : cases) {
    Use(kFsFat32);
    DirBytes dir;
    dir.AddLong(name, shortEntry);
    ASSERT_EQ(dir.EntryCount(), 4u);
    c.damage(dir);
    EXPECT_EQ(Parse(dir), 1u) << c.what;
    EXPECT_EQ(Names(), std::vector<std::u16string>{u"QUARTE~1.DOC"}) << c.what;
  }

  // Intact, the same bytes give the long name.
  Use(kFsFat32);
  DirBytes good;
  good.AddLong(name, shortEntry);
  Parse(good);
  EXPECT_EQ(Names(), std::vector<std::u16string>{name});
}

TEST_F(ParseInto, ASetBrokenOffByAnotherSetTakesTheLaterOne) {
  DirBytes dir;
  auto first = test::LongNameEntries(u"first name that is long", ShortEntry("FIRST~1    ", kArchive));
  dir.Add(first[0]);  // the start of a set that never finishes
  dir.AddLong(u"second long name", ShortEntry("SECOND~1   ", kArchive));
  dir.Add(ShortEntry("AFTER   TXT", kArchive));
  EXPECT_EQ(Parse(dir), 2u);
  EXPECT_EQ(Names(), (std::vector<std::u16string>{u"second long name", u"AFTER.TXT"}));
}

TEST_F(ParseInto, OrphanedLongNamePartsAreDropped) {
  DirBytes dir;
  auto parts = test::LongNameEntries(u"orphan part of a long name", ShortEntry("ORPHAN~1   ", kArchive));
  ASSERT_EQ(parts.size(), 2u);
  dir.Add(parts[1]);  // ordinal 1 without its last part
  dir.Add(ShortEntry("NEXT    TXT", kArchive));
  dir.Add(parts[0]).Add(parts[1]);  // a complete set whose short entry is the end marker
  dir.Add(test::Entry{});
  dir.Add(ShortEntry("HIDDEN  TXT", kArchive));
  EXPECT_EQ(Parse(dir), 1u);
  EXPECT_EQ(Names(), std::vector<std::u16string>{u"NEXT.TXT"});
}

TEST_F(ParseInto, DeletedEntriesAreNeverListed) {
  DirBytes dir;
  test::Entry deleted = ShortEntry("\xE5" "ONE    TXT", kArchive, 5, 200);
  dir.Add(deleted);  // without long name
  // With a long name whose parts are deleted too (their ordinal becomes 0xE5).
  test::Entry deletedLong = ShortEntry("\xE5" "EMOVE~1DOC", kArchive, 6, 300);
  auto parts = test::LongNameEntries(u"removed document.doc", ShortEntry("REMOVE~1DOC", kArchive));
  for (auto& p : parts) p[0] = 0xE5;
  for (auto& p : parts) dir.Add(p);
  dir.Add(deletedLong);
  // A live-looking set in front of a deleted short entry.
  auto liveParts = test::LongNameEntries(u"stale long name.bin", deleted);
  for (auto& p : liveParts) dir.Add(p);
  dir.Add(deleted);
  dir.Add(ShortEntry("KEPT    TXT", kArchive, 8, 1));
  EXPECT_EQ(Parse(dir), 1u);
  EXPECT_EQ(Names(), std::vector<std::u16string>{u"KEPT.TXT"});
}

TEST_F(ParseInto, LabelsDotsAndTheEndMarkerAreSkippedAttributeZeroIsAFile) {
  DirBytes dir;
  dir.AddDots(12, 0);
  dir.Add(ShortEntry("MYVOLUME   ", 0x08));
  dir.Add(ShortEntry("NOATTR  TXT", 0x00, 3, 1));
  dir.Add(ShortEntry("FILE    TXT", kArchive, 4, 2));
  dir.Add(ShortEntry("SUBDIR     ", kDir, 5));
  dir.Add(ShortEntry("RO      TXT", 0x01, 6, 3));  // read-only is an ordinary file
  dir.Add(test::Entry{});                          // end of directory
  dir.Add(ShortEntry("BEYOND  TXT", kArchive, 7, 4));
  EXPECT_EQ(Parse(dir, 42), 4u);
  EXPECT_EQ(Names(), (std::vector<std::u16string>{u"NOATTR.TXT", u"FILE.TXT", u"SUBDIR", u"RO.TXT"}));
  EXPECT_EQ(Node(6).type, kFile) << "no attribute bits: an ordinary file";
  EXPECT_EQ(Node(8).type, kFolder);
  EXPECT_EQ(Node(7).parentId, 42u);
}

TEST_F(ParseInto, NodeFieldsComeFromTheShortEntry) {
  test::Entry e = ShortEntry("DATA    BIN", kArchive, 0x00012345, 0xFEDCBA98);
  WriteLe16(e, 14, test::DosTime(8, 30, 10));
  WriteLe16(e, 16, test::DosDate(2020, 2, 29));
  WriteLe16(e, 22, test::DosTime(23, 59, 58));
  WriteLe16(e, 24, test::DosDate(2021, 12, 31));
  DirBytes dir;
  dir.Add(e);

  Parse(dir);  // FAT32: the cluster keeps its high word
  const FileNode& n = Node(6);
  EXPECT_EQ(n.location, 0x00012345u);
  EXPECT_EQ(n.size, 0xFEDCBA98u);
  EXPECT_EQ(n.id, 6u);
  EXPECT_EQ(n.deletedMark, 0);
  EXPECT_TRUE(n.data.empty());
  EXPECT_EQ(test::FileTimeToUnix(n.creationTime), 1582965010);   // 2020-02-29 08:30:10 UTC
  EXPECT_EQ(test::FileTimeToUnix(n.lastWriteTime), 1640995198);  // 2021-12-31 23:59:58 UTC

  Use(kFsFat16);  // FAT16: bytes 20–21 are not part of the cluster
  Parse(dir);
  EXPECT_EQ(Node(6).location, 0x2345u);

  // FAT32's top four bits are reserved.
  Use(kFsFat32);
  DirBytes top;
  top.Add(ShortEntry("TOP     BIN", kArchive, 0xF0000010));
  Parse(top);
  EXPECT_EQ(Node(6).location, 0x00000010u);
}

TEST_F(ParseInto, PartialEntriesAndEmptyInputStayInBounds) {
  DirBytes dir;
  dir.Add(ShortEntry("ONE     TXT", kArchive));
  dir.bytes.resize(dir.bytes.size() + 16, 0x41);  // half an entry of 'A's
  EXPECT_EQ(Parse(dir), 1u);
  EXPECT_EQ(ParseDirEntries(ByteView(), volume, kRootNodeId), 0u);
  // A long-name set cut off by the end of the data.
  DirBytes cut;
  for (const auto& p : test::LongNameEntries(u"cut off by the end", ShortEntry("CUT~1      ", kArchive))) cut.Add(p);
  EXPECT_EQ(Parse(cut), 0u);
  EXPECT_FALSE(AssembleLongName(cut.bytes, 0).found);
}


// Every node a parse appended: its fields as one line, to compare parses.
std::vector<std::string> NodeLines(const VolumeDescriptor& volume) {
  std::vector<std::string> lines;
  const auto& nodes = NodesOf(volume)->nodes;
  for (std::size_t i = kRootNodeId + 1; i < nodes.size(); ++i) {
    const FileNode& n = nodes[i];
    lines.push_back(ToUtf8(n.name) + " type " + std::to_string(n.type) + " size " + std::to_string(n.size) +
                    " at " + std::to_string(n.location) + " in " + std::to_string(n.parentId) + " mark " +
                    std::to_string(n.deletedMark));
  }
  return lines;
}

TEST(DirEntryStreams, PiecesGiveTheNodesOfTheWholeDirectory) {
  DirBytes dir;
  dir.AddDots(9, 0);
  dir.Add(ShortEntry("PLAIN   TXT", kArchive, 3, 10));
  // The longest set (20 parts), live, and again deleted: its parts lie in
  // the 20 entries before the short entry.
  const std::u16string longest(250, u'n');
  dir.AddLong(longest, ShortEntry("NNNNNN~1   ", kArchive, 4, 20));
  auto deletedParts = test::LongNameEntries(longest + u"d", ShortEntry("NNNNNN~2   ", kArchive));
  ASSERT_EQ(deletedParts.size(), 20u);
  for (auto& p : deletedParts) dir.Add(p).EntryData(dir.EntryCount() - 1)[0] = 0xE5;
  dir.Add(ShortEntry("\xE5NNNNN~2   ", kArchive, 5, 30));
  // Sets that start over again and again before one completes, longer than
  // a piece.
  auto restarted = test::LongNameEntries(u"started over many times", ShortEntry("START~1    ", kArchive));
  for (int k = 0; k < 40; ++k) dir.Add(restarted[0]);
  dir.AddLong(u"completed after all", ShortEntry("COMPLE~1   ", kArchive, 6, 40));
  dir.Add(ShortEntry("SUBDIR     ", kDir, 7));
  dir.AddLong(u"deleted without its name.txt", ShortEntry("\xE5" "ELETE~1TXT", kArchive, 8, 50));
  dir.AddLong(u"季度总结.txt", ShortEntry("~1      TXT", kArchive, 10, 60));
  dir.Add(test::Entry{});  // the end of the directory, and what lies past it
  dir.AddLong(u"never listed", ShortEntry("NEVER~1    ", kArchive, 11, 70));

  for (DeletedEntries deleted : {DeletedEntries::kSkip, DeletedEntries::kList, DeletedEntries::kAll}) {
    VolumeDescriptor whole;
    whole.fsKind = kFsFat32;
    AddRootNode(whole);
    const std::uint32_t added = ParseDirEntries(dir.bytes, whole, 42, deleted);
    const std::vector<std::string> expected = NodeLines(whole);
    ASSERT_GE(expected.size(), 5u);
    // One entry, a long-name set's worth, not a whole number of entries,
    // a cluster, and all of it at once.
    for (std::size_t piece : {std::size_t{32}, std::size_t{96}, std::size_t{100}, std::size_t{512},
                              std::size_t{4096}, dir.bytes.size()}) {
      VolumeDescriptor streamed;
      streamed.fsKind = kFsFat32;
      AddRootNode(streamed);
      DirEntryStream stream(streamed, 42, deleted);
      for (std::size_t at = 0; at < dir.bytes.size(); at += piece) {
        stream.Add(ByteView(dir.bytes).subspan(at, std::min(piece, dir.bytes.size() - at)));
      }
      EXPECT_EQ(stream.Finish(), added) << "pieces of " << piece;
      EXPECT_EQ(NodeLines(streamed), expected) << "pieces of " << piece;
    }
  }
}

}  // namespace
}  // namespace kestrum
