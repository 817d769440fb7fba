// tabulor-batch: its output bytes, the files it writes, exit statuses and
// messages; a refused or failed run writes nothing.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "model/grid_file.h"
#include "output/csv_export.h"
#include "reliability_helpers.h"
#include "test_helpers.h"

using namespace tabulor;
using namespace tabulor::reliability;
using namespace tabulor::testing;
namespace fs = std::filesystem;

namespace {

const std::string kPoly = Example("poly.ser"), kWave = Example("wave.ser"), kFour = Example("four.ser");

// `text` with the names of tests/data/tables/batch_runs.tsv filled in.
std::string Fill(std::string text, const std::string& dir) {
  const std::map<std::string, std::string> names = {
      {"{poly}", kPoly}, {"{wave}", kWave}, {"{data}", TABULOR_TEST_DATA_DIR}, {"{dir}", dir}};
  for (const auto& [name, value] : names)
    for (std::size_t at; (at = text.find(name)) != std::string::npos;) text.replace(at, name.size(), value);
  return text;
}

// Whether `text` is `pattern`, in which {any} stands for any text.
bool Matches(const std::string& text, const std::string& pattern) {
  const std::size_t any = pattern.find("{any}");
  if (any == std::string::npos) return text == pattern;
  return text.size() >= pattern.size() - 5 && text.starts_with(pattern.substr(0, any)) &&
         text.ends_with(pattern.substr(any + 5));
}

}  // namespace

TEST(Batch, RunsOfTheTable) {
  ScratchDir dir;
  const std::string series = ReadBytes(kPoly);
  WriteBytes(dir.file("p.ser"), series);
  WriteBytes(dir.file("s.grd"), series);
  WriteBytes(dir.file("keep.csv"), "old");
  fs::create_symlink(dir.file("p.ser"), dir.file("link.csv"));
  ASSERT_EQ(RunBatch({kPoly, "--save", dir.file("g")}).exit_code, 0);
  const std::string grid = ReadBytes(dir.file("g.grd"));
  for (const auto& c : Table("batch_runs.tsv")) {
    std::vector<std::string> args;
    for (std::size_t i = 3; i < c.size(); ++i) args.push_back(Fill(c[i], dir.path()));
    SCOPED_TRACE(::testing::PrintToString(args));
    const ProcessResult r = RunBatch(args);
    EXPECT_EQ(IntegerText(r.exit_code), c[0]);
    EXPECT_TRUE(Matches(r.out, Fill(c[1], dir.path()))) << r.out;
    EXPECT_TRUE(Matches(r.err, Fill(c[2], dir.path()))) << r.err;
  }
  EXPECT_EQ(dir.Names(), (std::vector<std::string>{"g.grd", "keep.csv", "link.csv", "p.ser", "s.grd"}));
  EXPECT_EQ(ReadBytes(dir.file("p.ser")) + ReadBytes(dir.file("s.grd")) + ReadBytes(dir.file("keep.csv")),
            series + series + "old");
  EXPECT_EQ(ReadBytes(dir.file("g.grd")), grid);
}

// --save writes what --csv exports, and --open-grid lists it again by its
// base name or its own name.
TEST(Batch, SavesOpensAndExports) {
  ScratchDir dir;
  const std::vector<std::string> runs[] = {{kPoly},
                                           {kWave, "--points", "0=4", "--points", "1=3", "--der", "1=1"},
                                           {kFour, "--points", "3=2", "--values", "1=-1,0.5,1"},
                                           {std::string(TABULOR_TEST_DATA_DIR) + "/series/largest.ser"}};
  for (std::vector<std::string> args : runs) {
    SCOPED_TRACE(args[0]);
    args.insert(args.end(), {"--save", dir.file("g"), "--csv", dir.file("c.csv")});
    const ProcessResult direct = RunBatch(args);
    ASSERT_EQ(direct.exit_code, 0) << direct.err;
    Dimension m;
    ASSERT_EQ(ReadGridFile(m, dir.file("g")).message, "");
    EXPECT_EQ(ReadBytes(dir.file("c.csv")), CsvText(m));
    for (const std::string& name : {dir.file("g"), dir.file("g.grd")}) {
      const ProcessResult opened = RunBatch({"--open-grid", name, "--csv", dir.file("again.csv")});
      EXPECT_EQ(opened.out, direct.out);
      EXPECT_EQ(ReadBytes(dir.file("again.csv")), ReadBytes(dir.file("c.csv")));
    }
  }
}

// Standard output and devices are written through, not replaced.
TEST(Batch, StandardStreamsAndDevices) {
  ScratchDir dir;
  WriteBytes(dir.file("log.txt"), "EARLIER LINE\n");
  const std::string batch = ShellQuote(TABULOR_BATCH);
  ASSERT_EQ(
      RunShell(batch + " " + ShellQuote(kPoly) + " --csv /dev/stdout --summary >>" + ShellQuote(dir.file("log.txt")))
          .exit_code,
      0);
  const std::string log = ReadBytes(dir.file("log.txt"));
  EXPECT_EQ(log.rfind("EARLIER LINE\nx,value\r\n0,1\r\n0.5,2.75\r\n1,6\r\npoints=3 ", 0), 0u) << log;
  const ProcessResult piped = RunShell(batch + " /dev/stdin --csv /dev/null --summary <" + ShellQuote(kPoly));
  EXPECT_EQ(piped.out.rfind("points=3 ", 0), 0u) << piped.err;
}

// Sines, cosines and powers are the correctly rounded ones, not the C
// library's: the same bytes whatever code path the C library takes.
TEST(Batch, ResultsDoNotDependOnTheCLibrarysCodePath) {
  const std::string command =
      ShellQuote(TABULOR_BATCH) + " " + ShellQuote(std::string(TABULOR_TEST_DATA_DIR) + "/series/trig40.ser");
  for (const std::string options : {" --points 0=20000", " --points 0=5000 --der 0=3"}) {
    const ProcessResult plain = RunShell(command + options);
    const ProcessResult other = RunShell("GLIBC_TUNABLES=glibc.cpu.hwcaps=-AVX2,-FMA,-AVX512F " + command + options);
    ASSERT_EQ(plain.exit_code, 0) << plain.err;
    EXPECT_GT(plain.out.size(), 5000u * 76);
    EXPECT_TRUE(plain.out == other.out) << "the output depends on the C library's code path";
  }
}
