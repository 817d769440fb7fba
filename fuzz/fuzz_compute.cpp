// Fuzz target: read a series file, take a small fuzzed grid (limits, points, orders),
// compute. The engine must agree to the last bit with a plain evaluation that
// follows the order of operations literally (sums over terms in increasing
// order from 0.0, the highest variable innermost), and must refuse exactly
// when that evaluation meets an infinity or a NaN. No infinity or NaN may
// reach the list, the report or the grid file.
//
// Input: 16 bytes of grid settings (4 per variable), then the series.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "engine/compute.h"
#include "fuzz_common.h"
#include "model/grid_capture.h"
#include "model/grid_file.h"
#include "model_dump.h"
#include "output/result_lines.h"
#include "reference_basis.h"

using namespace tabulor;

namespace {

constexpr std::size_t kSpecBytes = 16;
constexpr std::int64_t kMaxCoefficients = 4096;

const char* const kLimits[] = {"0",     "1",      "-1",    "0.5",   "3",      "-2.5", "10",     "1e-310",
                               "1e154", "-1e154", "1e300", "1e308", "-1e308", "abc",  "5e-324", "100"};
const char* const kDerOrders[] = {"0", "0", "0",  "1",   "1",    "2",  "3",   "4",
                                  "5", "7", "31", "400", "1000", "-1", "2.5", "x"};

// Evaluates the whole grid; false when an infinity or NaN turns up anywhere.
bool Reference(const Dimension& m, std::vector<double>& values, std::array<std::int64_t, 4>& dims) {
  std::array<std::int64_t, 4> terms{1, 1, 1, 1}, points{1, 1, 1, 1};
  for (int v = 0; v <= m.LastVar; ++v) {
    terms[v] = m.LastTerm[v] + 1;
    points[v] = m.LastPoint[v] + 1;
  }
  // R holds the coefficients, then the partial sums: dims grow from terms to points.
  dims = terms;
  values = m.Coefficients;
  bool finite = true;
  for (int v = m.LastVar; v >= 0; --v) {
    std::vector<double> u(static_cast<std::size_t>(points[v]));
    for (std::int64_t j = 0; j < points[v]; ++j) {
      u[static_cast<std::size_t>(j)] = m.GridX[v][static_cast<std::size_t>(j)] - m.Center[v];
      finite &= std::isfinite(u[static_cast<std::size_t>(j)]);
    }
    const std::vector<double> basis = reference::Basis(m, v, u, terms[v]);
    for (double x : basis) finite &= std::isfinite(x);
    std::array<std::int64_t, 4> out_dims = dims;
    out_dims[v] = points[v];
    std::vector<double> out(static_cast<std::size_t>(out_dims[0] * out_dims[1] * out_dims[2] * out_dims[3]));
    auto index = [](const std::array<std::int64_t, 4>& n, std::array<std::int64_t, 4> j) {
      return static_cast<std::size_t>(j[0] + n[0] * (j[1] + n[1] * (j[2] + n[2] * j[3])));
    };
    std::array<std::int64_t, 4> j{};
    for (j[3] = 0; j[3] < out_dims[3]; ++j[3])
      for (j[2] = 0; j[2] < out_dims[2]; ++j[2])
        for (j[1] = 0; j[1] < out_dims[1]; ++j[1])
          for (j[0] = 0; j[0] < out_dims[0]; ++j[0]) {
            std::array<std::int64_t, 4> src = j;
            double s = 0.0;
            for (std::int64_t k = 0; k < terms[v]; ++k) {
              src[v] = k;
              s = basis[static_cast<std::size_t>(j[v] * terms[v] + k)] * values[index(dims, src)] + s;
            }
            finite &= std::isfinite(s);
            out[index(out_dims, j)] = s;
          }
    values.swap(out);
    dims = out_dims;
  }
  return finite;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::LimitMemory();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < kSpecBytes) return 0;
  const std::string_view text(reinterpret_cast<const char*>(data + kSpecBytes), size - kSpecBytes);
  Dimension model;
  if (ReadSeriesText(model, text, "fuzz.ser").outcome != SeriesReadOutcome::Ok) return 0;
  if (model.TermProduct() > kMaxCoefficients) return 0;
  // Names of our own, so that a name cannot look like an infinity in a line.
  for (int v = 0; v <= model.LastVar; ++v) model.VarName[v] = "v" + std::to_string(v);

  auto spec = DefaultGridSpec(model);
  for (int v = 0; v <= model.LastVar; ++v) {
    const std::uint8_t* b = data + 4 * v;
    if (b[0] & 0x80) spec[v].points = std::to_string(b[0] & 0x0F);  // 0 to 15 points
    if (b[1] & 0x80) spec[v].lower = kLimits[b[1] & 0x0F];
    if (b[2] & 0x80) spec[v].upper = kLimits[b[2] & 0x0F];
    spec[v].der = kDerOrders[b[3] & 0x0F];
    if (b[3] & 0x10) spec[v].power = !spec[v].power;
  }
  // A derivative order beyond the terms of a large Power variable is all
  // zeros and quick; keep the factor loops of huge orders short otherwise.
  const std::string before = reliability::ModelDump(model);
  if (std::string why = CaptureGridSpecs(model, spec); !why.empty()) {
    FUZZ_CHECK(reliability::ModelDump(model) == before, "a refused grid changed the model");
    return 0;
  }
  if (model.PointProduct() > 20000) return 0;

  const bool computable = CheckComputable(model).empty();
  std::vector<double> expected;
  std::array<std::int64_t, 4> dims{};
  const bool finite = computable && Reference(model, expected, dims);

  const auto extent_before = model.Extent;
  const auto last_pt_before = model.LastPt;
  ComputeResult r = Compute(model);
  if (r.outcome != ComputeOutcome::Ok) {
    FUZZ_CHECK(r.outcome == ComputeOutcome::Error && !r.message.empty(), "a failure without a message");
    FUZZ_CHECK(!finite, "refused although every value is finite: " + r.message);
    FUZZ_CHECK(
        !model.ResultsReady && model.Results.empty() && model.Extent == extent_before && model.LastPt == last_pt_before,
        "a failed computation left results behind");
    FUZZ_CHECK(ResultLines(model).count() == 0 && GridFileText(model).empty(), "lines or a file without results");
    return 0;
  }
  FUZZ_CHECK(finite, "computed although the plain evaluation meets an infinity or NaN");
  FUZZ_CHECK(model.ResultsReady, "ResultsReady");
  for (std::int64_t j3 = 0; j3 < dims[3]; ++j3)
    for (std::int64_t j2 = 0; j2 < dims[2]; ++j2)
      for (std::int64_t j1 = 0; j1 < dims[1]; ++j1)
        for (std::int64_t j0 = 0; j0 < dims[0]; ++j0) {
          const double want = expected[static_cast<std::size_t>(j0 + dims[0] * (j1 + dims[1] * (j2 + dims[2] * j3)))];
          const double got = model.Results(j0, j1, j2, j3);
          FUZZ_CHECK(std::memcmp(&want, &got, sizeof got) == 0,
                     "value at (" + std::to_string(j0) + "," + std::to_string(j1) + "," + std::to_string(j2) + "," +
                         std::to_string(j3) + ") differs from the plain evaluation");
        }

  ResultLines list(model);
  for (std::int64_t i = 0; i < list.count(); ++i)
    FUZZ_CHECK(!fuzz::ShowsNonFinite(list.line(i)), "list line: " + list.line(i));
  ReportLines report(model);
  for (std::int64_t i = 0; i < report.count(); ++i)
    FUZZ_CHECK(!fuzz::ShowsNonFinite(report.line(i)) || i == 0, "report line: " + report.line(i));
  const std::string file = GridFileText(model);
  FUZZ_CHECK(!file.empty() && !fuzz::ShowsNonFinite(file), "grid file text");
  Dimension back;
  GridFileResult read = ReadGridText(back, file, "back");
  FUZZ_CHECK(read.ok, "the grid file written cannot be read: " + read.message);
  return 0;
}
