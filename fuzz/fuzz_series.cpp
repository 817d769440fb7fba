// Fuzz target: the series file reader, head and coefficients.
// A refused file must leave the model exactly as it was and name the file;
// an accepted one must give a model the engine can rely on.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz_common.h"
#include "model/series_file.h"
#include "model_dump.h"

using namespace tabulor;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::LimitMemory();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  Dimension model;
  fuzz::LoadSeedSeries(model);
  const std::string before = reliability::ModelDump(model);

  SeriesReadResult r = ReadSeriesText(model, text, "fuzz.ser");
  if (r.outcome != SeriesReadOutcome::Ok) {
    FUZZ_CHECK(
        reliability::ModelDump(model) == before,
        "a refused file changed the model:\n" + reliability::FirstDifference(before, reliability::ModelDump(model)));
    if (r.outcome == SeriesReadOutcome::Error)
      FUZZ_CHECK(r.message.rfind("Series file \"fuzz.ser\": ", 0) == 0, r.message);
    else
      FUZZ_CHECK(r.outcome == SeriesReadOutcome::NoCoefficients && r.message == "NO COEFFICIENTS IN FILE.", r.message);
    return 0;
  }

  FUZZ_CHECK(model.LastVar >= 0 && model.LastVar <= 3, "LastVar");
  FUZZ_CHECK(model.FileName == "fuzz.ser" && !model.ResultsReady && model.Results.empty(), "state after reading");
  const std::int64_t count = model.TermProduct();
  FUZZ_CHECK(count >= 1 && static_cast<std::int64_t>(model.Coefficients.size()) == count, "coefficient count");
  FUZZ_CHECK(model.TotalCount == count, "TotalCount");
  for (double c : model.Coefficients) FUZZ_CHECK(std::isfinite(c), "a coefficient is not finite");
  for (int v = 0; v < kSlots; ++v) {
    const bool present = v <= model.LastVar;
    FUZZ_CHECK(std::isfinite(model.LowerLimit[v]) && std::isfinite(model.UpperLimit[v]) &&
                   std::isfinite(model.Center[v]) && std::isfinite(model.Period[v]),
               "a limit, centre or period of variable " + std::to_string(v) + " is not finite");
    if (!present) {
      FUZZ_CHECK(model.LastTerm[v] == 0 && model.LastPoint[v] == 0 && model.GridX[v].empty() &&
                     model.VarName[v].empty() && !model.EvenlySpaced[v],
                 "absent variable " + std::to_string(v) + " is not cleared");
      continue;
    }
    FUZZ_CHECK(model.LastTerm[v] >= 0 && model.LastPoint[v] == model.LastTerm[v] && model.EvenlySpaced[v] &&
                   model.DerOrder[v] == 0,
               "default grid of variable " + std::to_string(v));
    FUZZ_CHECK(model.GridX[v].size() == static_cast<std::size_t>(model.LastPoint[v]) + 1, "grid size");
    FUZZ_CHECK(model.GridX[v][0] == model.LowerLimit[v], "first grid value is not the lower limit");
    for (double x : model.GridX[v]) FUZZ_CHECK(std::isfinite(x), "a default grid value is not finite");
    for (char c : model.VarName[v]) FUZZ_CHECK(c != '\0', "a name holds a NUL byte");
  }
  return 0;
}
