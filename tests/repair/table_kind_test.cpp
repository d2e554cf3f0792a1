#include "repair/table_kind.h"

#include <gtest/gtest.h>

#include "scripted_prompts.h"

namespace kestrum::repair {
namespace {

// Which table a rebuild writes, and when the page asks.
TEST(TableKind, AGptWhereTheDiskHadOneOrNeedsItElseMbrUnlessAsked) {
  struct Case {
    const char* what;
    TableChoice asked;
    bool ask;
    bool hadGpt;
    std::uint64_t diskLbas;
    std::deque<int> answers;
    bool chosen;
    TableKind kind;
    std::size_t questions;
  };
  const std::uint64_t small = 1 << 20, huge = std::uint64_t{6} << 30;
  const std::vector<Case> cases = {
      {"an MBR disk", TableChoice::kAuto, false, false, small, {}, true, TableKind::kMbr, 0},
      {"a disk that had a GPT", TableChoice::kAuto, false, true, small, {}, true, TableKind::kGpt, 0},
      {"a disk over 2^32 sectors", TableChoice::kAuto, false, false, huge, {}, true, TableKind::kGpt, 0},
      {"MBR asked for on a GPT disk", TableChoice::kMbr, false, true, small, {}, true, TableKind::kMbr, 0},
      {"GPT asked for", TableChoice::kGpt, true, false, small, {}, true, TableKind::kGpt, 0},
      {"the page: MBR offered first, GPT chosen", TableChoice::kAuto, true, false, small, {0}, true, TableKind::kGpt, 1},
      {"the page: GPT offered first and taken", TableChoice::kAuto, true, true, small, {}, true, TableKind::kGpt, 1},
      {"the page: the question closed", TableChoice::kAuto, true, true, small, {-1}, false, TableKind::kMbr, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    test::ScriptedPrompts prompts;
    prompts.choices = c.answers;
    DiskTableFacts facts{c.hadGpt, kSectorSize, c.diskLbas};
    FoundPartition p;
    p.index = 0;
    p.startSector = 2048;
    p.endSector = 4095;
    TableKind kind = TableKind::kMbr;
    EXPECT_EQ(ChooseTableKind(c.asked, c.ask, {p}, facts, prompts, kind), c.chosen);
    if (c.chosen) {
      EXPECT_EQ(kind, c.kind);
    }
    EXPECT_EQ(prompts.chosen.size(), c.questions);
    EXPECT_TRUE(prompts.shown.empty());
  }
}

}  // namespace
}  // namespace kestrum::repair
