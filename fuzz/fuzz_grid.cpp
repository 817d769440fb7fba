// Fuzz target: the grid file reader. A refused file leaves the model as it was; an accepted one
// replaces all of it, is finite, and written and read back gives the same report and file again.
#include "fuzz_common.h"
#include "model/grid_file.h"
#include "output/result_lines.h"

using namespace tabulor;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Dimension model, fresh, again;
  const std::string before = fuzz::LoadSeed(model);
  const GridFileResult r = ReadGridText(model, fuzz::Text(data, size), "fuzz");
  if (!r.ok) {
    fuzz::CheckUnchanged(model, before);
    FUZZ_CHECK(r.message.starts_with("Grid file \"fuzz.grd\": "), r.message);
    return 0;
  }
  ReadGridText(fresh, fuzz::Text(data, size), "fuzz");
  FUZZ_CHECK(reliability::ModelDump(model) == reliability::ModelDump(fresh) && model.ResultsReady &&
             model.TotalCount == model.PointProduct() && fuzz::Finite(model) && model.FileName == "fuzz" &&
             *std::min_element(model.DerOrder.begin(), model.DerOrder.end()) >= 0);
  const std::string written = GridFileText(model);
  const GridFileResult back = ReadGridText(again, written, "fuzz");
  FUZZ_CHECK(back.ok && GridFileText(again) == written && again.EvenlySpaced == model.EvenlySpaced, back.message);
  const ReportLines report(model), report_again(again);  // names, grid, orders and values to 15 digits
  for (std::int64_t i = 0; i < std::max(report.count(), report_again.count()); ++i)
    FUZZ_CHECK(report.line(i) == report_again.line(i), report.line(i) + "\nread back as\n" + report_again.line(i));
  return 0;
}
