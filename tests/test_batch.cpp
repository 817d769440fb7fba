#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <filesystem>

#include "test_helpers.h"

using namespace tabulor::testing;

namespace {

struct RunResult {
  int status = -1;
  std::string out, err;
};

std::string Quote(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

RunResult Batch(const std::vector<std::string>& args) {
  static TempDir dir;
  std::string cmd = Quote(TABULOR_BATCH);
  for (const auto& a : args) cmd += " " + Quote(a);
  cmd += " >" + dir.file("out") + " 2>" + dir.file("err") + " </dev/null";
  int raw = std::system(cmd.c_str());
  RunResult r;
  r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  r.out = ReadWholeFile(dir.file("out"));
  r.err = ReadWholeFile(dir.file("err"));
  return r;
}

std::string Example(const char* name) { return std::string(TABULOR_EXAMPLES_DIR) + "/" + name; }

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> out;
  std::size_t start = 0;
  for (std::size_t p; (p = text.find('\n', start)) != std::string::npos; start = p + 1)
    out.push_back(text.substr(start, p - start));
  return out;
}

std::string Values(const std::string& out) {
  std::string v;
  for (const auto& line : Lines(out))
    if (line.size() > 45 && line.compare(39, 6, "VALUE=") == 0) {
      std::string s = line.substr(45);
      s.erase(s.find_last_not_of(' ') + 1);
      v += s + ";";
    }
  return v;
}

}  // namespace

TEST(Batch, EvaluatesThePolynomialAndItsDerivative) {
  RunResult r = Batch({Example("poly.ser")});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(Values(r.out), "1;2.75;6;");
  auto lines = Lines(r.out);
  ASSERT_EQ(lines.size(), 5u);
  EXPECT_EQ(lines[0], "VALUES AT GRID POINTS:");
  EXPECT_EQ(lines[2].size(), 76u);  // trailing blanks kept
  r = Batch({Example("poly.ser"), "--der", "0=1"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(Values(r.out), "2;5;8;");
}

TEST(Batch, GridOptions) {
  RunResult r = Batch({Example("poly.ser"), "--points", "0=5", "--limits", "0=-1,1"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(Values(r.out), "2;0.75;1;2.75;6;");
  r = Batch({Example("poly.ser"), "--values", "0=2,0.5,-1"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(Values(r.out), "17;2.75;2;");
  EXPECT_NE(r.out.find("   x=0.5 "), std::string::npos);
  r = Batch({Example("poly.ser"), "--report"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(Lines(r.out)[0], "FILE NAME: " + Example("poly.ser"));
  EXPECT_EQ(Lines(r.out)[3], "               # OF GRID POINTS: 3 ");
  r = Batch({Example("poly.ser"), "--summary"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out.substr(0, 9), "points=3 ");
  EXPECT_NE(r.out.find(" min=1 max=6\n"), std::string::npos) << r.out;
}

TEST(Batch, SaveAndOpenGridRoundTripForOneToFourVariables) {
  TempDir dir;
  for (const char* name : {"poly.ser", "wave.ser", "four.ser"}) {
    const std::string base = dir.file(name);
    RunResult direct = Batch({Example(name), "--save", base});
    ASSERT_EQ(direct.status, 0) << direct.err;
    ASSERT_TRUE(std::filesystem::exists(base + ".grd"));
    RunResult reopened = Batch({"--open-grid", base});
    ASSERT_EQ(reopened.status, 0) << reopened.err;
    EXPECT_EQ(reopened.out, direct.out) << name;
    EXPECT_FALSE(direct.out.empty());
  }
  // The grid file's own name opens it too.
  RunResult by_file_name = Batch({"--open-grid", dir.file("poly.ser") + ".grd"});
  ASSERT_EQ(by_file_name.status, 0) << by_file_name.err;
  EXPECT_EQ(by_file_name.out, Batch({"--open-grid", dir.file("poly.ser")}).out);
  // Three variables: take four.ser down to fewer points to keep it quick.
  RunResult three = Batch({Example("four.ser"), "--points", "3=2", "--save", dir.file("three")});
  ASSERT_EQ(three.status, 0) << three.err;
  EXPECT_EQ(Batch({"--open-grid", dir.file("three")}).out, three.out);
}

// --save and --open-grid name files as the window does: NAME.grd for a base
// name, the name itself when it ends in .grd.
TEST(Batch, GridFileNamesAgreeWithTheWindow) {
  TempDir dir;
  const RunResult poly = Batch({Example("poly.ser"), "--save", dir.file("a")});
  ASSERT_EQ(poly.status, 0) << poly.err;
  const RunResult wave = Batch({Example("wave.ser"), "--save", dir.file("a.grd")});
  ASSERT_EQ(wave.status, 0) << wave.err;
  EXPECT_FALSE(std::filesystem::exists(dir.file("a.grd.grd")));
  // Both names reach the one file, which holds the last save.
  EXPECT_EQ(Batch({"--open-grid", dir.file("a.grd")}).out, wave.out);
  EXPECT_EQ(Batch({"--open-grid", dir.file("a")}).out, wave.out);
  EXPECT_NE(poly.out, wave.out);
  // A doubled name made by an earlier version is opened by its own name.
  std::filesystem::copy_file(dir.file("a.grd"), dir.file("old.grd.grd"));
  EXPECT_EQ(Batch({"--open-grid", dir.file("old.grd.grd")}).out, wave.out);
  // Writing over the file read is refused under either of its names.
  const std::string grid = ReadWholeFile(dir.file("a.grd"));
  for (const std::string& name : {dir.file("a"), dir.file("a.grd")}) {
    const RunResult same = Batch({"--open-grid", name, "--csv", dir.file("a.grd")});
    EXPECT_EQ(same.status, 2) << name;
    EXPECT_NE(same.err.find("would write over the grid file"), std::string::npos) << same.err;
  }
  std::filesystem::copy_file(Example("poly.ser"), dir.file("s.grd"));
  EXPECT_EQ(Batch({dir.file("s.grd"), "--save", dir.file("s.grd")}).status, 2);
  EXPECT_EQ(ReadWholeFile(dir.file("a.grd")), grid);
}

TEST(Batch, UsageErrorsExitWithTwo) {
  for (const auto& args : std::vector<std::vector<std::string>>{{},
                                                                {"--bogus"},
                                                                {Example("poly.ser"), "--points"},
                                                                {Example("poly.ser"), "--points", "0=1"},
                                                                {Example("poly.ser"), "--points", "0=2.5"},
                                                                {Example("poly.ser"), "--points", "7=3"},
                                                                {Example("poly.ser"), "--der", "0=x"},
                                                                {Example("poly.ser"), "--der", "0=-1"},
                                                                {Example("poly.ser"), "--limits", "0=1"},
                                                                {Example("poly.ser"), "--values", "0=1"},
                                                                {Example("poly.ser"), "--values", "0=1,abc"},
                                                                {"--open-grid", "x", "--der", "0=1"},
                                                                {Example("poly.ser"), "--csv", "--summary"},
                                                                {Example("poly.ser"), "--save", "--report"},
                                                                {"--open-grid", "--report"},
                                                                {Example("poly.ser"), Example("wave.ser")}}) {
    RunResult r = Batch(args);
    EXPECT_EQ(r.status, 2) << (args.empty() ? "" : args.back());
    EXPECT_TRUE(r.out.empty());
    EXPECT_NE(r.err.find("tabulor-batch: "), std::string::npos);
  }
  RunResult help = Batch({"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("--open-grid BASE"), std::string::npos);
}

TEST(Batch, AFileWrittenIsNeitherTheFileReadNorTheOtherFileWritten) {
  TempDir dir;
  const std::string series = ReadWholeFile(Example("poly.ser"));
  WriteFile(dir.file("p.ser"), series);
  WriteFile(dir.file("s.grd"), series);  // a series file under a grid file's name
  ASSERT_EQ(Batch({dir.file("p.ser"), "--save", dir.file("g")}).status, 0);
  const std::string grid = ReadWholeFile(dir.file("g.grd"));
  struct Case {
    std::vector<std::string> args;
    std::string says;
  };
  const Case cases[] = {
      {{dir.file("p.ser"), "--csv", dir.file("p.ser")}, "--csv would write over the series file it reads"},
      {{dir.file("p.ser"), "--csv", dir.path() + "/./p.ser"}, "--csv would write over the series file"},
      {{dir.file("s.grd"), "--save", dir.file("s")}, "--save would write over the series file it reads"},
      {{"--open-grid", dir.file("g"), "--csv", dir.file("g.grd")}, "--csv would write over the grid file it reads"},
      {{dir.file("p.ser"), "--save", dir.file("new"), "--csv", dir.file("new.grd")},
       "--save and --csv name the same file"},
  };
  for (const Case& c : cases) {
    RunResult r = Batch(c.args);
    EXPECT_EQ(r.status, 2) << c.says << ": " << r.err;
    EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
    EXPECT_TRUE(r.out.empty());
  }
  EXPECT_EQ(ReadWholeFile(dir.file("p.ser")), series);
  EXPECT_EQ(ReadWholeFile(dir.file("g.grd")), grid);
  EXPECT_EQ(ReadWholeFile(dir.file("s.grd")), series);
  EXPECT_FALSE(std::filesystem::exists(dir.file("new.grd")));
  // A link to the file read is the file read.
  std::filesystem::create_symlink(dir.file("p.ser"), dir.file("link.csv"));
  EXPECT_EQ(Batch({dir.file("p.ser"), "--csv", dir.file("link.csv")}).status, 2);
  EXPECT_EQ(ReadWholeFile(dir.file("p.ser")), series);
}

TEST(Batch, StandardStreamsAndDevicesAreWrittenThroughNotReplaced) {
  TempDir dir;
  // --csv /dev/stdout with standard output appended to a file: the CSV goes
  // after what the file held, through the redirection.
  WriteFile(dir.file("log.txt"), "EARLIER LINE\n");
  const std::string run = Quote(TABULOR_BATCH) + " " + Quote(Example("poly.ser")) + " --csv /dev/stdout --summary >>" +
                          Quote(dir.file("log.txt"));
  ASSERT_EQ(std::system(run.c_str()), 0);
  const std::string log = ReadWholeFile(dir.file("log.txt"));
  EXPECT_EQ(log.rfind("EARLIER LINE\nx,value\r\n0,1\r\n", 0), 0u) << log;
  EXPECT_NE(log.find("points=3 "), std::string::npos) << log;
  // Reading standard input and writing to /dev/null is no clash.
  const std::string piped = Quote(TABULOR_BATCH) + " /dev/stdin --csv /dev/null --summary <" +
                            Quote(Example("poly.ser")) + " >" + Quote(dir.file("out.txt"));
  EXPECT_EQ(std::system(piped.c_str()), 0);
  EXPECT_EQ(ReadWholeFile(dir.file("out.txt")).rfind("points=3 ", 0), 0u);
}

TEST(Batch, RefusedInputExitsWithOneAndWritesNothing) {
  TempDir dir;
  WriteFile(dir.file("short.ser"), "0,x,0,1,0,#TRUE#,*,2,#TRUE#,1,2");
  WriteFile(dir.file("none.ser"), "0,x,0,1,0,#TRUE#,*,2,#FALSE#");
  WriteFile(dir.file("zero.ser"), "0,x,0,1,0,#FALSE#,0,2,#TRUE#,1,2,3");
  struct Case {
    std::vector<std::string> args;
    std::string says;
  };
  const Case cases[] = {
      {{dir.file("missing.ser"), "--save", dir.file("out")}, "cannot be opened"},
      {{dir.file("short.ser"), "--save", dir.file("out")}, "field 12 on line 1 (coefficient 3 of 3)"},
      {{dir.file("none.ser"), "--save", dir.file("out")}, "NO COEFFICIENTS IN FILE."},
      {{dir.file("zero.ser"), "--save", dir.file("out")}, "period is 0"},
      {{Example("poly.ser"), "--der", "2=1", "--save", dir.file("out")}, "variable 2 is not in the series"},
      {{Example("poly.ser"), "--save", dir.file("no/such/dir/out")}, "cannot be written"},
      {{"--open-grid", dir.file("missing")}, "missing.grd"},
  };
  for (const Case& c : cases) {
    RunResult r = Batch(c.args);
    EXPECT_EQ(r.status, 1) << c.says << ": " << r.err;
    EXPECT_TRUE(r.out.empty());
    EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    EXPECT_FALSE(std::filesystem::exists(dir.file("out.grd")));
  }
}

namespace {

// The output of one run with the C library told to take the code path of a
// processor without FMA or AVX2 (its sin, cos and pow then differ in the
// last bit for some arguments).
RunResult BatchWithoutFma(const std::vector<std::string>& args) {
  ::setenv("GLIBC_TUNABLES", "glibc.cpu.hwcaps=-AVX2,-FMA,-AVX512F", 1);
  RunResult r = Batch(args);
  ::unsetenv("GLIBC_TUNABLES");
  return r;
}

}  // namespace

// Sines, cosines and powers are the correctly rounded ones, not the C
// library's: the same bytes whatever code path the C library takes.
TEST(Batch, ResultsDoNotDependOnTheCLibrarysCodePath) {
  TempDir dir;
  std::string series = "0\n\"t\"\n-100\n100\n*\n#FALSE#\n*\n40\n#TRUE#\n";
  for (int k = 0; k <= 40; ++k) series += std::to_string(1.0 / (1 + k)) + "\n";
  WriteFile(dir.file("trig.ser"), series);
  for (const std::vector<std::string>& options :
       {std::vector<std::string>{"--points", "0=20000"}, {"--points", "0=5000", "--der", "0=3"}}) {
    std::vector<std::string> args{dir.file("trig.ser")};
    args.insert(args.end(), options.begin(), options.end());
    const RunResult plain = Batch(args);
    ASSERT_EQ(plain.status, 0) << plain.err;
    ASSERT_GT(Lines(plain.out).size(), 5000u);
    const RunResult other = BatchWithoutFma(args);
    ASSERT_EQ(other.status, 0) << other.err;
    EXPECT_TRUE(plain.out == other.out) << "the output depends on the C library's code path";
  }
}
