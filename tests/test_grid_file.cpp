// The grid file: its exact bytes, reading back, its name, and saves that
// never lose the file there was. Refused files are in tests/data/bad_grid.
#include <gtest/gtest.h>

#include <filesystem>

#include "model/grid_file.h"
#include "test_helpers.h"

using namespace tabulor;
using namespace tabulor::testing;

const char kPoly[] = "0,x,0,1,0,#TRUE#,*,2,#TRUE#,1,2,3";

// The exact bytes written, and the model read back into one that held
// another series: the grid and the values as they were, kind, centre,
// period and terms cleared.
TEST(GridFile, WritesAndReadsBack) {
  for (const auto& c : Table("grid_file.tsv")) {
    SCOPED_TRACE(c[1]);
    Dimension back = Computed(kPoly);
    ASSERT_TRUE(ReadGridText(back, c[1], "res").ok);
    EXPECT_EQ(Describe(back), c[2]);
    if (c[0].empty()) continue;
    const Dimension m = Computed(c[0], [&](auto& spec) {
      for (std::size_t i = 3; i < c.size(); ++i) spec[1].values.push_back(Double(c[i]));
      spec[1].spaced = c.size() == 3;
    });
    EXPECT_EQ(GridFileText(m), c[1]);
    EXPECT_EQ(GridFileText(back), c[1]);
    EXPECT_EQ(back.LastPt, m.LastPt);
  }
}

TEST(GridFile, TheNameAndItsFile) {
  for (const auto& c : Table("grid_file_names.tsv")) EXPECT_EQ(GridFilePath(c[0]), c[1]) << c[0];
  ScratchDir dir;
  const Dimension poly = Computed(kPoly);
  const Dimension five = Computed(kPoly, [](auto& spec) { spec[0].points = "5"; });
  ASSERT_TRUE(WriteGridFile(poly, dir.file("a")).ok);
  ASSERT_TRUE(WriteGridFile(five, dir.file("a.grd")).ok);
  ASSERT_TRUE(WriteGridFile(poly, dir.file("old.grd.grd")).ok);
  EXPECT_EQ(dir.Names(), (std::vector<std::string>{"a.grd", "old.grd.grd"}));
  for (const auto& [name, content] :
       {std::pair{dir.file("a"), &five}, {dir.file("a.grd"), &five}, {dir.file("old.grd.grd"), &poly}}) {
    Dimension back;
    ASSERT_TRUE(ReadGridFile(back, name).ok) << name;
    EXPECT_EQ(GridFileText(back), GridFileText(*content)) << name;
    EXPECT_EQ(back.FileName, name);
  }
}

// Refused, failed and cancelled saves leave the file there was; a save tells
// its progress, for one long row as well.
TEST(GridFile, SavesNeverLoseTheFileThereWas) {
  ScratchDir dir;
  const std::string base = dir.file("keep"), file = base + ".grd", head = "Grid file \"" + file + "\": ";
  WriteFile(file, "precious");
  Dimension stale = Computed(kPoly);
  stale.LastPoint[0] = 5;
  EXPECT_EQ(GridFileText(stale), "");
  EXPECT_EQ(WriteGridFile(stale, base).message,
            head + "cannot be written: the results do not match the grid of variable 0");
  EXPECT_EQ(WriteGridFile(Dimension(), base).message, head + "cannot be written: there are no results to save");
  const Dimension row = Computed(kPoly, [](auto& spec) { spec[0].points = "200000"; });
  std::vector<std::uint64_t> told;
  EXPECT_EQ(WriteGridFile(row, base,
                          [&](std::uint64_t done, std::uint64_t all) {
                            told.push_back(done);
                            return all == 200000 && told.size() < 3;
                          })
                .message,
            head + "saving was cancelled; nothing was written");
  EXPECT_EQ(told, (std::vector<std::uint64_t>{65536, 131072, 196608}));
  EXPECT_EQ(ReadWholeFile(file), "precious");
  EXPECT_EQ(dir.Names(), std::vector<std::string>{"keep.grd"});
  ASSERT_TRUE(WriteGridFile(row, base).ok);
  EXPECT_EQ(ReadWholeFile(file), GridFileText(row));
}
