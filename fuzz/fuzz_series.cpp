// Fuzz target: the series file reader. A refused file leaves the model as it was and says why; an
// accepted one replaces all of it with a whole, finite series on its default grid.
#include "fuzz_common.h"

using namespace tabulor;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Dimension model, fresh;
  const std::string before = fuzz::LoadSeed(model);
  const SeriesReadResult r = ReadSeriesText(model, fuzz::Text(data, size), "fuzz.ser");
  if (r.outcome != SeriesReadOutcome::Ok) {
    fuzz::CheckUnchanged(model, before);
    FUZZ_CHECK(r.outcome == SeriesReadOutcome::Error ? r.message.starts_with("Series file \"fuzz.ser\": ")
                                                     : r.message == "NO COEFFICIENTS IN FILE.",
               r.message);
    return 0;
  }
  ReadSeriesText(fresh, fuzz::Text(data, size), "fuzz.ser");
  FUZZ_CHECK(reliability::ModelDump(model) == reliability::ModelDump(fresh) && model.LastVar < kSlots &&
             !model.ResultsReady && fuzz::Finite(model) && model.TotalCount == model.TermProduct() &&
             model.PointProduct() == model.TotalCount &&
             model.Coefficients.size() == static_cast<std::size_t>(model.TotalCount));
  return 0;
}
