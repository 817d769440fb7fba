// Malformed series and grid files, kept in tests/data/bad_series and
// tests/data/bad_grid beside the message each must give ("{file}" stands
// for its path; sizes told under a memory limit of 1 GB), and a folder: the
// readers refuse each with its message and leave a computed model as it was.
#include <gtest/gtest.h>

#include <filesystem>

#include "model/grid_file.h"
#include "model_dump.h"
#include "platform/memory_limit.h"
#include "reliability_helpers.h"

using namespace tabulor;
using namespace tabulor::reliability;
namespace fs = std::filesystem;

namespace {

std::string Refusal(const std::string& path, bool series) {
  Dimension model;
  LoadComputed(model, "wave.ser");
  const std::string before = ModelDump(model);
  std::string message;
  if (series) {
    const SeriesReadResult r = ReadSeriesFile(model, path);
    EXPECT_EQ(r.outcome,
              r.message == "NO COEFFICIENTS IN FILE." ? SeriesReadOutcome::NoCoefficients : SeriesReadOutcome::Error);
    message = r.message;
  } else {
    message = ReadGridFile(model, path).message;
  }
  EXPECT_EQ(FirstDifference(before, ModelDump(model)), "");
  return message;
}

}  // namespace

TEST(BadFiles, AreRefusedWithTheirMessageAndChangeNothing) {
  SetMemoryLimit(std::uint64_t{1} << 30);
  int files = 0;
  for (const char* kind : {"/bad_series", "/bad_grid"}) {
    for (const auto& entry : fs::directory_iterator(TABULOR_TEST_DATA_DIR + std::string(kind))) {
      const std::string path = entry.path().string();
      if (entry.path().extension() == ".expected") continue;
      SCOPED_TRACE(path);
      std::string expected = ReadBytes(fs::path(path).replace_extension(".expected").string());
      expected = expected.substr(0, expected.find('\n'));
      if (const std::size_t at = expected.find("{file}"); at != std::string::npos) expected.replace(at, 6, path);
      EXPECT_EQ(Refusal(path, kind[5] == 's'), expected);
      ++files;
    }
  }
  SetMemoryLimit(0);
  EXPECT_EQ(files, 72);
  ScratchDir dir;
  fs::create_directory(dir.file("folder.grd"));
  const std::string folder = dir.file("folder.grd");
  EXPECT_EQ(Refusal(folder, true), "Series file \"" + folder + "\": is a folder, not a file");
  EXPECT_EQ(Refusal(dir.file("folder"), false), "Grid file \"" + folder + "\": is a folder, not a file");
}
