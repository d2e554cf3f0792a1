// FILE records in memory: the fixup, the attribute walk and the summary of a
// record as a node, on good records and on records with one field broken.

#include "fs/ntfs/file_record.h"

#include <gtest/gtest.h>

#include "base/byte_order.h"
#include "ntfs_builder.h"
#include "support/tree_builder.h"

namespace kestrum {
namespace {

using test::Bytes;
using test::FileTimeOf;
using test::RecordBuilder;

constexpr std::uint64_t kCreated = 0x01D5C0F0A0B0C0D0;
constexpr std::uint64_t kModified = 0x01D6112233445566;

// A live file in folder 40 with a DOS alias and resident content.
RecordBuilder GoodFile() {
  RecordBuilder r(77, 1);
  r.StandardInfo(kCreated, kModified)
      .FileName(40, u"REPORT~1.TXT", 2)
      .FileName(40, u"Report for 2026.txt", 1)
      .ResidentData("hello, resident world");
  return r;
}

FileNode Parse(const Bytes& record, bool expect = true) {
  FileNode node;
  EXPECT_EQ(ParseFileRecord(record, node, test::TestStrings()), expect);
  return node;
}

// The resident content of `node` as `record` holds it now; "<none>" when it
// no longer does.
std::string ContentIn(const Bytes& record, const FileNode& node) {
  auto value = ResidentContent(record, node);
  return value ? std::string(value->begin(), value->end()) : "<none>";
}

TEST(NtfsFixup, PutsTheSavedTailsBackAtTheSectorEnds) {
  // Content that runs across the end of the first sector.
  std::string content;
  for (int i = 0; content.size() < 700; ++i) content += static_cast<char>('a' + i % 26);
  RecordBuilder r(90, 1);
  r.FileName(5, u"across.txt", 1).ResidentData(content);
  Bytes disk = r.OnDisk(0x0777);
  EXPECT_EQ(ReadLe16(disk, 0x1FE), 0x0777);
  EXPECT_EQ(ReadLe16(disk, 0x3FE), 0x0777);
  ApplyFixup(disk);
  WriteLe16(disk, 0x30, 1);  // the number itself stays; compare the rest
  EXPECT_EQ(disk, r.Build());
  FileNode node;
  ASSERT_TRUE(ParseFileRecord(disk, node, test::TestStrings()));
  EXPECT_EQ(ContentIn(disk, node), content);

  // A torn record (sequence numbers that do not match) is taken as it stands.
  Bytes torn = r.OnDisk();
  WriteLe16(torn, 0x3FE, 0x0999);
  ApplyFixup(torn);
  EXPECT_EQ(torn, r.Build());

  Bytes shortBuffer(1000, 0xAB);
  ApplyFixup(shortBuffer);
  EXPECT_EQ(shortBuffer, Bytes(1000, 0xAB)) << "a buffer shorter than a record is left alone";
}

TEST(ParseFileRecord, SummarisesALiveFile) {
  FileNode node = Parse(GoodFile().Build());
  EXPECT_EQ(node.id, 77u);
  EXPECT_EQ(node.parentId, 40u);
  EXPECT_EQ(node.type, kFile);
  EXPECT_EQ(node.deletedMark, 0);
  EXPECT_EQ(node.creationTime, kCreated);
  EXPECT_EQ(node.lastWriteTime, kModified);
  EXPECT_EQ(node.name, u"Report for 2026.txt");
  EXPECT_EQ(node.size, 21u);
  EXPECT_EQ(node.residentData, 1);
  EXPECT_TRUE(node.data.empty()) << "resident content stays in its record";
  EXPECT_EQ(node.ResidentAttributeOffset(), GoodFile().AttributeOffset(3));
  EXPECT_EQ(ContentIn(GoodFile().Build(), node), "hello, resident world");
}

// The record read again at export: only the value the node was parsed from
// counts, never what the record holds in its place now.
TEST(ResidentContent, ComesOnlyFromTheRecordAsItWasParsed) {
  const FileNode node = Parse(GoodFile().Build());
  Bytes notFile = GoodFile().Build();
  notFile[0] = 'B';
  Bytes longer = GoodFile().Build();
  WriteLe32(longer, GoodFile().AttributeOffset(3) + 0x10, 22);
  const struct {
    const char* what;
    Bytes record;
  } kChanged[] = {
      {"no FILE record", notFile},
      {"freed since: another sequence number", GoodFile().Sequence(2).Build()},
      {"freed since, the sequence number kept", RecordBuilder(77, 0).StandardInfo(kCreated, kModified)
                                                    .FileName(40, u"REPORT~1.TXT", 2)
                                                    .FileName(40, u"Report for 2026.txt", 1)
                                                    .ResidentData("hello, resident world").Build()},
      {"another value size", longer},
      {"the attribute elsewhere", RecordBuilder(77, 1).FileName(40, u"Report for 2026.txt", 1)
                                      .ResidentData("hello, resident world").Build()},
      {"no $DATA there", RecordBuilder(77, 1).StandardInfo(kCreated, kModified)
                             .FileName(40, u"REPORT~1.TXT", 2).FileName(40, u"Report for 2026.txt", 1)
                             .Resident(0x100, Bytes(21, 'x')).Build()},
      {"non-resident now", RecordBuilder(77, 1).StandardInfo(kCreated, kModified)
                               .FileName(40, u"REPORT~1.TXT", 2).FileName(40, u"Report for 2026.txt", 1)
                               .NonResidentData(test::EncodeRuns({{100, 1}}), 21).Build()},
  };
  for (const auto& c : kChanged) EXPECT_EQ(ContentIn(c.record, node), "<none>") << c.what;
  FileNode notResident = node;
  notResident.residentData = 0;
  EXPECT_EQ(ContentIn(GoodFile().Build(), notResident), "<none>");

  // A deleted file's record that a new file took: in use again.
  RecordBuilder deleted(77, 0);
  deleted.FileName(40, u"old.txt", 1).ResidentData("hello, deleted world!");
  const FileNode gone = Parse(deleted.Build());
  EXPECT_EQ(ContentIn(deleted.Build(), gone), "hello, deleted world!");
  RecordBuilder taken(77, 1);
  taken.FileName(40, u"new.txt", 1).ResidentData("hello, another world!");
  EXPECT_EQ(ContentIn(taken.Build(), gone), "<none>");
}

TEST(ParseFileRecord, TypeAndDeletedMarkComeFromTheFlags) {
  const std::pair<std::uint8_t, NodeType> cases[] = {
      {0, kDeletedFile}, {1, kFile}, {2, kDeletedFolder}, {3, kFolder}};
  for (auto [flags, type] : cases) {
    RecordBuilder r(30, flags);
    r.FileName(5, u"x", 1);
    FileNode node = Parse(r.Build());
    EXPECT_EQ(node.type, type);
    EXPECT_EQ(node.deletedMark, (type == kDeletedFile || type == kDeletedFolder) ? 1 : 0) << int(flags);
  }
}

TEST(ParseFileRecord, ChoosesTheLongName) {
  struct Case {
    const char* what;
    std::vector<std::pair<std::u16string, std::uint8_t>> names;
    std::u16string expected;
  };
  const Case cases[] = {
      {"DOS alias only", {{u"ABC~1.TXT", 2}}, u""},
      {"Win32 and DOS in one", {{u"both.txt", 3}}, u"both.txt"},
      {"POSIX only, as Linux writes", {{u"posix name", 0}}, u"posix name"},
      {"first POSIX name", {{u"one", 0}, {u"two", 0}}, u"one"},
      {"Win32 after POSIX wins", {{u"posix", 0}, {u"win32", 1}}, u"win32"},
      {"POSIX after Win32 ignored", {{u"win32", 1}, {u"posix", 0}}, u"win32"},
      {"last Win32 name wins", {{u"first", 1}, {u"ALIAS~1", 2}, {u"second", 3}}, u"second"},
      {"empty Win32 name ignored", {{u"kept", 1}, {u"", 1}}, u"kept"},
  };
  for (const Case& c : cases) {
    RecordBuilder r(30, 1);
    for (const auto& [name, space] : c.names) r.FileName(5, name, space);
    FileNode node = Parse(r.Build());
    EXPECT_EQ(node.name, c.expected) << c.what;
  }
}

TEST(ParseFileRecord, ParentComesFromTheFirstFileName) {
  RecordBuilder r(30, 1);
  r.FileName(41, u"SHORT~1", 2).FileName(42, u"long name", 1).FileName(43, u"other link", 1);
  FileNode node = Parse(r.Build());
  EXPECT_EQ(node.parentId, 41u) << "even when that name is a DOS alias";
  EXPECT_EQ(node.name, u"other link");
}

TEST(ParseFileRecord, NameStopsAtAnEmbeddedNul) {
  RecordBuilder r(30, 1);
  r.FileName(5, std::u16string(u"ab\0cd", 5), 1);
  EXPECT_EQ(Parse(r.Build()).name, u"ab");
}

TEST(ParseFileRecord, DataBeforeAnyNameRejectsTheRecord) {
  RecordBuilder noName(30, 1);
  noName.StandardInfo(kCreated, kModified).ResidentData("x").FileName(5, u"late.txt", 1);
  Parse(noName.Build(), false);

  RecordBuilder dosOnly(31, 1);
  dosOnly.FileName(5, u"DOS~1.TXT", 2).ResidentData("x");
  Parse(dosOnly.Build(), false);

  // A folder has no $DATA and keeps its name.
  RecordBuilder folder(32, 3);
  folder.FileName(5, u"folder", 1).IndexRoot({});
  FileNode node = Parse(folder.Build());
  EXPECT_EQ(node.name, u"folder");
  EXPECT_EQ(node.size, 0u);
  EXPECT_TRUE(node.data.empty());
}

TEST(ParseFileRecord, NonResidentDataKeepsTheRunList) {
  Bytes runs = test::EncodeRuns({{100, 3}, {-20, 2}});
  RecordBuilder r(30, 1);
  r.FileName(5, u"big.bin", 1).NonResidentData(runs, 20000).ResidentData("second stream");
  FileNode node = Parse(r.Build());
  EXPECT_EQ(node.size, 20000u);
  EXPECT_EQ(node.residentData, 0);
  // The copy runs to the end of the attribute: the run list and its padding.
  ASSERT_GE(node.data.size(), runs.size());
  EXPECT_EQ(Bytes(node.data.begin(), node.data.begin() + runs.size()), runs);
  EXPECT_EQ(node.location, node.data.size());
  EXPECT_EQ(node.data.size() % 8, 0u);
}

TEST(ParseFileRecord, OnlyTheFirstDataAttributeCounts) {
  RecordBuilder r(30, 1);
  r.FileName(5, u"a.txt", 1).ResidentData("main").ResidentData("alternate stream");
  FileNode node = Parse(r.Build());
  EXPECT_EQ(ContentIn(r.Build(), node), "main");
  EXPECT_EQ(node.size, 4u);
}

// Corruption: take the good record, change one field, expect the outcome.
class NtfsDamagedRecord : public ::testing::Test {
 protected:
  Bytes good = GoodFile().Build();
  RecordBuilder builder = GoodFile();
  // Attributes: 0 $STANDARD_INFORMATION, 1 DOS name, 2 Win32 name, 3 $DATA.
  std::size_t At(std::size_t i) const { return builder.AttributeOffset(i); }
};

TEST_F(NtfsDamagedRecord, WithoutMagicNothingIsRead) {
  good[0] = 'B';
  FileNode node;
  node.name = u"left over";
  EXPECT_FALSE(ParseFileRecord(good, node, test::TestStrings()));
  EXPECT_TRUE(node.name.empty()) << "the node is cleared first";
}

TEST_F(NtfsDamagedRecord, AttributeLengthZeroEndsTheWalk) {
  WriteLe32(good, At(2) + 4, 0);  // the Win32 name
  FileNode node = Parse(good);
  EXPECT_TRUE(node.name.empty()) << "the DOS alias alone gives no name";
  EXPECT_EQ(node.parentId, 40u);
  EXPECT_EQ(node.size, 0u) << "$DATA after the break is never reached";
}

TEST_F(NtfsDamagedRecord, AttributeReachingPastTheRecordEndsTheWalk) {
  for (std::uint32_t length : {1024u - static_cast<std::uint32_t>(At(3)) + 8, 0x10000u, 0xFFFFFFF0u}) {
    Bytes r = good;
    WriteLe32(r, At(3) + 4, length);
    FileNode node = Parse(r);
    EXPECT_EQ(node.name, u"Report for 2026.txt");
    EXPECT_EQ(node.residentData, 0) << length;
    EXPECT_TRUE(node.data.empty()) << length;
  }
}

TEST_F(NtfsDamagedRecord, EndMarkerEarlyEndsTheWalk) {
  WriteLe32(good, At(1), 0xFFFFFFFF);
  FileNode node = Parse(good);
  EXPECT_TRUE(node.name.empty());
  EXPECT_EQ(node.creationTime, kCreated);
}

TEST_F(NtfsDamagedRecord, FirstAttributeOffsetOutsideTheRecord) {
  WriteLe16(good, 0x14, 0x3F8);  // header would end past 1024
  FileNode node = Parse(good);
  EXPECT_EQ(node.id, 77u);
  EXPECT_TRUE(node.name.empty());
}

TEST_F(NtfsDamagedRecord, NameLongerThanItsValueIsNotTaken) {
  good[At(2) + 0x18 + 0x40] = 200;  // name length in characters
  FileNode node = Parse(good, false);  // no name left before $DATA
  EXPECT_TRUE(node.name.empty());
}

TEST_F(NtfsDamagedRecord, ResidentValueOutsideItsAttributeGivesNoContent) {
  WriteLe16(good, At(3) + 0x14, 0x200);  // value offset
  FileNode node = Parse(good);
  EXPECT_EQ(node.size, 21u) << "the size the record claims is kept";
  EXPECT_EQ(node.residentData, 0);
  EXPECT_TRUE(node.data.empty());
  // A value length beyond the attribute is the same damage.
  Bytes r = GoodFile().Build();
  WriteLe32(r, At(3) + 0x10, 5000);
  EXPECT_EQ(Parse(r).residentData, 0);
}

TEST_F(NtfsDamagedRecord, RunListOffsetPastTheAttributeKeepsNoRunList) {
  Bytes runs = test::EncodeRuns({{100, 3}});
  RecordBuilder r(30, 1);
  r.FileName(5, u"big.bin", 1).NonResidentData(runs, 9000);
  Bytes bytes = r.Build();
  WriteLe16(bytes, r.AttributeOffset(1) + 0x20, 0x400);
  FileNode node = Parse(bytes);
  EXPECT_EQ(node.size, 9000u);
  EXPECT_TRUE(node.data.empty());
  EXPECT_EQ(node.location, 0u);
}

TEST_F(NtfsDamagedRecord, ShortStandardInformationLeavesTheTimes) {
  WriteLe32(good, At(0) + 0x10, 12);  // value length below the two times
  FileNode node = Parse(good);
  EXPECT_EQ(node.creationTime, 0u);
  EXPECT_EQ(node.name, u"Report for 2026.txt");
}

TEST(FindAttribute, FindsByTypeFromAnOffset) {
  RecordBuilder r = GoodFile();
  Bytes bytes = r.Build();
  auto first = FindAttribute(bytes, 0x30);
  ASSERT_TRUE(first);
  EXPECT_EQ(first->offset, r.AttributeOffset(1));
  auto second = FindAttribute(bytes, 0x30, first->offset + 1);
  ASSERT_TRUE(second);
  EXPECT_EQ(second->offset, r.AttributeOffset(2));
  EXPECT_FALSE(FindAttribute(bytes, 0x30, second->offset + 1));
  EXPECT_FALSE(FindAttribute(bytes, 0x90));
  auto data = FindAttribute(bytes, 0x80);
  ASSERT_TRUE(data);
  EXPECT_TRUE(data->IsResident());
  EXPECT_EQ(data->bytes.size(), ReadLe32(bytes, r.AttributeOffset(3) + 4));
  auto value = ResidentValue(*data);
  ASSERT_TRUE(value);
  EXPECT_EQ(std::string(value->begin(), value->end()), "hello, resident world");
}

TEST(FindAttribute, StopsAtDamage) {
  RecordBuilder r = GoodFile();
  const std::size_t data = r.AttributeOffset(3);
  struct Case {
    const char* what;
    std::size_t at;
    std::uint32_t value;
  };
  const Case cases[] = {
      {"length 0 before it", r.AttributeOffset(2) + 4, 0},
      {"length above 1024 before it", r.AttributeOffset(2) + 4, 1025},
      {"its own length past the record", data + 4, 2048},
      {"end marker before it", r.AttributeOffset(1), 0xFFFFFFFF},
      {"type 0 before it", r.AttributeOffset(1), 0},
      {"length below a header", r.AttributeOffset(2) + 4, 8},
  };
  for (const Case& c : cases) {
    Bytes bytes = r.Build();
    ASSERT_TRUE(FindAttribute(bytes, 0x80));
    WriteLe32(bytes, c.at, c.value);
    EXPECT_FALSE(FindAttribute(bytes, 0x80)) << c.what;
  }
  Bytes noMagic = r.Build();
  noMagic[3] = 0;
  EXPECT_FALSE(FindAttribute(noMagic, 0x10)) << "only FILE records are walked";
  // A buffer that ends inside the record: nothing is read beyond it.
  Bytes full = r.Build();
  ByteView cut(full.data(), data + 0x10);
  EXPECT_TRUE(FindAttribute(cut, 0x30));
  EXPECT_FALSE(FindAttribute(cut, 0x80));
}

}  // namespace
}  // namespace kestrum
