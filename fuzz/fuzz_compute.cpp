// Fuzz target: a series on a fuzzed grid (16 bytes first, 4 per variable) is computed to the bits of a plain
// sum in the engine's order, or refused, the model left as it was, exactly when that sum meets an inf or NaN.
#include "engine/compute.h"
#include "fuzz_common.h"
#include "model/grid_capture.h"
#include "reference_basis.h"

using namespace tabulor;
using Index = std::array<std::int64_t, kSlots>;
using Tables = std::array<std::vector<double>, kSlots>;  // the basis table of every variable

// The value at grid point j: the terms of the highest variable innermost, each sum from 0.0 upwards.
static double Plain(const Dimension& m, const Tables& tables, const Index& j, Index& k, int v) {
  const auto terms = [&m](int u) { return m.LastTerm[u] + 1; };  // k[u] = 0 for an absent variable u
  if (v == kSlots || v > m.LastVar)
    return m.Coefficients[static_cast<std::size_t>(k[0] + terms(0) * (k[1] + terms(1) * (k[2] + terms(2) * k[3])))];
  double s = 0.0;
  for (k[v] = 0; k[v] <= m.LastTerm[v]; ++k[v])
    s = tables[v][static_cast<std::size_t>(j[v] * terms(v) + k[v])] * Plain(m, tables, j, k, v + 1) + s;
  return s;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const char* const kLimits[] = {"0",     "1",      "-1",    "0.5",   "3",      "-2.5", "10",     "1e-310",
                                        "1e154", "-1e154", "1e300", "1e308", "-1e308", "abc",  "5e-324", "100"};
  static const char* const kOrders[] = {"0", "0", "0",  "1",   "1",    "2",  "3",   "4",
                                        "5", "7", "31", "400", "1000", "-1", "2.5", "x"};
  Dimension model;
  if (size < 16 || !ReadSeriesText(model, fuzz::Text(data + 16, size - 16), "s").message.empty()) return 0;
  auto spec = DefaultGridSpec(model);
  for (int v = 0; v <= model.LastVar; ++v) {
    const std::uint8_t* b = data + 4 * v;
    if (b[0] & 0x80) spec[v].points = std::to_string(b[0] & 0x0F);
    if (b[1] & 0x80) spec[v].lower = kLimits[b[1] & 0x0F];
    if (b[2] & 0x80) spec[v].upper = kLimits[b[2] & 0x0F];
    spec[v].der = kOrders[b[3] & 0x0F];
    spec[v].power ^= (b[3] & 0x10) != 0;
  }
  const std::string before = reliability::ModelDump(model);
  if (!CaptureGridSpecs(model, spec).empty()) return fuzz::CheckUnchanged(model, before), 0;
  if (model.PointProduct() * model.TermProduct() > 1000000) return 0;  // the plain sums would take too long

  bool finite = CheckComputable(model).empty();
  const std::string ready = reliability::ModelDump(model);
  const ComputeResult r = Compute(model);
  const bool ok = r.outcome == ComputeOutcome::Ok;
  if (!ok) fuzz::CheckUnchanged(model, ready);
  Tables tables;
  for (int v = 0; v <= model.LastVar && finite; ++v) {
    const std::vector<double> u = reference::Offsets(model, v);
    tables[v] = reference::Basis(model, v, u, model.LastTerm[v] + 1);
    finite = fuzz::Finite(u.data(), u.size()) && fuzz::Finite(tables[v].data(), tables[v].size());
  }
  Index j{}, k{};
  for (j[3] = 0; finite && j[3] <= model.LastPoint[3]; ++j[3])
    for (j[2] = 0; j[2] <= model.LastPoint[2]; ++j[2])
      for (j[1] = 0; j[1] <= model.LastPoint[1]; ++j[1])
        for (j[0] = 0; j[0] <= model.LastPoint[0]; ++j[0]) {
          const double x = Plain(model, tables, j, k, 0);
          finite = finite && std::isfinite(x);
          FUZZ_CHECK(!ok || std::bit_cast<std::uint64_t>(model.Results(j[0], j[1], j[2], j[3])) ==
                                std::bit_cast<std::uint64_t>(x));
        }
  FUZZ_CHECK(ok == finite && r.message.empty() == ok && model.ResultsReady == ok, r.message);
  return 0;
}
