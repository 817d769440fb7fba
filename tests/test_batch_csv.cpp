// tabulor-batch --csv FILE.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "engine/compute.h"
#include "model/grid_capture.h"
#include "model/number_text.h"
#include "model/series_file.h"
#include "output/csv_export.h"

namespace {

namespace fs = std::filesystem;

class CsvBatch : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string templ = (fs::temp_directory_path() / "batch_csv_XXXXXX").string();
    dir_ = ::mkdtemp(templ.data());
  }
  void TearDown() override {
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }
  std::string File(const std::string& name) const { return (fs::path(dir_) / name).string(); }

  static std::string Quote(const std::string& s) {
    std::string q = "'";
    for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
  }
  static std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
  }
  // Runs tabulor-batch; returns the exit status, standard error in err_.
  int Run(const std::vector<std::string>& args) {
    std::string cmd = Quote(TABULOR_BATCH);
    for (const auto& a : args) cmd += " " + Quote(a);
    cmd += " >" + Quote(File("stdout")) + " 2>" + Quote(File("stderr")) + " </dev/null";
    int raw = std::system(cmd.c_str());
    err_ = ReadAll(File("stderr"));
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  }
  static std::string Example(const char* name) { return std::string(TABULOR_EXAMPLES_DIR) + "/" + name; }

  std::string dir_;
  std::string err_;
};

TEST_F(CsvBatch, WritesTheSameTextAsTheExportOfTheComputedModel) {
  ASSERT_EQ(Run({Example("wave.ser"), "--points", "0=4", "--points", "1=3", "--der", "1=1", "--csv", File("wave.csv")}),
            0)
      << err_;
  tabulor::Dimension m;
  ASSERT_EQ(tabulor::ReadSeriesFile(m, Example("wave.ser")).outcome, tabulor::SeriesReadOutcome::Ok);
  auto spec = tabulor::DefaultGridSpec(m);
  spec[0].points = "4";
  spec[1].points = "3";
  spec[1].der = "1";
  ASSERT_EQ(tabulor::CaptureGridSpecs(m, spec), "");
  ASSERT_EQ(tabulor::Compute(m).outcome, tabulor::ComputeOutcome::Ok);
  std::string text = ReadAll(File("wave.csv"));
  EXPECT_EQ(text, tabulor::CsvText(m));
  EXPECT_EQ(text.substr(0, 13), "t,y,value\r\n0,");
}

TEST_F(CsvBatch, ConvertsAGridFile) {
  ASSERT_EQ(Run({Example("poly.ser"), "--save", File("poly")}), 0) << err_;
  ASSERT_EQ(Run({"--open-grid", File("poly"), "--csv", File("poly.csv")}), 0) << err_;
  EXPECT_EQ(ReadAll(File("poly.csv")), "x,value\r\n0,1\r\n0.5,2.75\r\n1,6\r\n");
}

TEST_F(CsvBatch, RefusedOrFailedWritesNothing) {
  const std::string target = File("keep.csv");
  { std::ofstream(target, std::ios::binary) << "old\n"; }

  // Refused input: no series file, a file without coefficients, a bad
  // command line.
  EXPECT_EQ(Run({Example("missing.ser"), "--csv", target}), 1);
  EXPECT_NE(err_.find("missing.ser"), std::string::npos) << err_;
  EXPECT_EQ(ReadAll(target), "old\n");
  { std::ofstream(File("none.ser"), std::ios::binary) << "0\r\nx\r\n0\r\n1\r\n0\r\n#TRUE#\r\n*\r\n2\r\n#FALSE#\r\n"; }
  EXPECT_EQ(Run({File("none.ser"), "--csv", target}), 1);
  EXPECT_NE(err_.find("NO COEFFICIENTS IN FILE."), std::string::npos) << err_;
  EXPECT_EQ(ReadAll(target), "old\n");
  EXPECT_EQ(Run({Example("poly.ser"), "--der", "0=-1", "--csv", target}), 2);
  EXPECT_EQ(ReadAll(target), "old\n");
  // A variable the series does not have.
  EXPECT_EQ(Run({Example("poly.ser"), "--points", "1=3", "--csv", target}), 1);
  EXPECT_EQ(ReadAll(target), "old\n");

  // The file itself cannot be written.
  fs::create_directory(File("folder.csv"));
  EXPECT_EQ(Run({Example("poly.ser"), "--csv", File("folder.csv")}), 1);
  EXPECT_NE(err_.find("folder.csv"), std::string::npos) << err_;
  EXPECT_EQ(Run({Example("poly.ser"), "--csv", File("no/such/dir.csv")}), 1);
  EXPECT_NE(err_.find("no/such/dir.csv"), std::string::npos) << err_;
  EXPECT_FALSE(fs::exists(File("no")));

  // Usage errors.
  EXPECT_EQ(Run({Example("poly.ser"), "--csv"}), 2);
  EXPECT_EQ(Run({Example("poly.ser"), "--csv", ""}), 2);
  std::vector<std::string> left;
  for (const auto& e : fs::directory_iterator(dir_)) left.push_back(e.path().filename().string());
  std::sort(left.begin(), left.end());
  EXPECT_EQ(left, (std::vector<std::string>{"folder.csv", "keep.csv", "none.ser", "stderr", "stdout"}));
}

TEST_F(CsvBatch, HelpNamesTheOption) {
  ASSERT_EQ(Run({"--help"}), 0);
  EXPECT_NE(ReadAll(File("stdout")).find("--csv FILE"), std::string::npos);
}

}  // namespace
