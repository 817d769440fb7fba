// Fuzz target: the grid file reader. A refused file must leave the model as
// it was; an accepted one must be consistent, list and print without an
// infinity or NaN, and survive being written and read back unchanged.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz_common.h"
#include "model/grid_file.h"
#include "model_dump.h"
#include "output/result_lines.h"

using namespace tabulor;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::LimitMemory();
  return 0;
}

namespace {

void CheckLines(const Dimension& model) {
  ResultLines list(model);
  // The title, an empty line, a line per point and the heading lines of the
  // variables 1 to 3 that have more than one point.
  std::int64_t headings = 0, outer = 1;
  for (int v = 3; v >= 1; --v) {
    outer *= model.LastPt[v] + 1;
    if (model.LastPt[v] != 0) headings += outer;
  }
  FUZZ_CHECK(list.count() == model.PointProduct() + 2 + headings, "number of list lines");
  for (std::int64_t i = 0; i < list.count(); ++i) (void)list.line(i);
  ReportLines report(model);
  for (std::int64_t i = 0; i < report.count(); ++i) (void)report.line(i);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  Dimension model;
  {
    // A model holding results, read from a grid file of its own.
    static const char kSeed[] =
        " 1 \r\nx\r\n 0 \r\n 1 \r\n 2 \r\n 0 \r\n#TRUE#\r\ny\r\n-1 \r\n 1 \r\n 1 \r\n 1 \r\n#FALSE#\r\n"
        " 1 \r\n 2.75 \r\n 6 \r\n-1 \r\n 0.5 \r\n 1E-300 \r\n 0 \r\n 0.5 \r\n 1 \r\n-1 \r\n 1 \r\n";
    GridFileResult seed = ReadGridText(model, kSeed, "seed");
    FUZZ_CHECK(seed.ok, seed.message);
  }
  const std::string before = reliability::ModelDump(model);

  GridFileResult r = ReadGridText(model, text, "fuzz");
  if (!r.ok) {
    FUZZ_CHECK(
        reliability::ModelDump(model) == before,
        "a refused file changed the model:\n" + reliability::FirstDifference(before, reliability::ModelDump(model)));
    FUZZ_CHECK(r.message.rfind("Grid file \"fuzz.grd\": ", 0) == 0, r.message);
    return 0;
  }
  FUZZ_CHECK(model.LastVar >= 0 && model.LastVar <= 3 && model.ResultsReady && model.FileName == "fuzz", "state");
  FUZZ_CHECK(model.TotalCount == model.PointProduct(), "TotalCount");
  for (int v = 0; v < kSlots; ++v) {
    const bool present = v <= model.LastVar;
    FUZZ_CHECK(model.LastPoint[v] >= 0 && (present || model.LastPoint[v] == 0), "LastPoint");
    FUZZ_CHECK(model.DerOrder[v] >= 0, "DerOrder");
    FUZZ_CHECK(model.LastPt[v] == model.LastPoint[v], "LastPt");
    FUZZ_CHECK(model.Results.dims()[v] == static_cast<std::int64_t>(model.LastPoint[v]) + 1, "Results dims");
    FUZZ_CHECK(model.GridX[v].size() == static_cast<std::size_t>(model.LastPoint[v]) + 1, "grid size");
    for (double x : model.GridX[v]) FUZZ_CHECK(std::isfinite(x), "a grid value is not finite");
    FUZZ_CHECK(
        std::isfinite(model.LowerLimit[v]) && std::isfinite(model.UpperLimit[v]) && std::isfinite(model.GridStep[v]),
        "a limit or the grid step is not finite");
    FUZZ_CHECK(model.LastTerm[v] == 0 && !model.IsPower[v] && model.Center[v] == 0 && model.Period[v] == 0,
               "the series fields are not cleared");
  }
  for (std::size_t i = 0; i < model.Results.size(); ++i)
    FUZZ_CHECK(std::isfinite(model.Results.data()[i]), "a value is not finite");
  CheckLines(model);

  // Written and read back, the file must come out the same: a second
  // writing gives the very same text.
  const std::string written = GridFileText(model);
  FUZZ_CHECK(!written.empty(), "the model read cannot be written");
  bool names_look_non_finite = false;
  for (int v = 0; v <= model.LastVar; ++v) names_look_non_finite |= fuzz::ShowsNonFinite(model.VarName[v]);
  FUZZ_CHECK(names_look_non_finite || !fuzz::ShowsNonFinite(written), "the grid file text shows an infinity or NaN");
  Dimension again;
  GridFileResult back = ReadGridText(again, written, "again");
  FUZZ_CHECK(back.ok, "the written file cannot be read back: " + back.message);
  for (int v = 0; v < kSlots; ++v) {
    FUZZ_CHECK(again.VarName[v] == model.VarName[v], "name of variable " + std::to_string(v) + " changed: <" +
                                                         model.VarName[v] + "> became <" + again.VarName[v] + ">");
    FUZZ_CHECK(again.LastPoint[v] == model.LastPoint[v] && again.DerOrder[v] == model.DerOrder[v] &&
                   again.EvenlySpaced[v] == model.EvenlySpaced[v],
               "grid description of variable " + std::to_string(v) + " changed");
  }
  FUZZ_CHECK(GridFileText(again) == written, "writing the file read back gives another text");
  return 0;
}
