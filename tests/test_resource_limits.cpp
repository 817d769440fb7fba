// Sizes whose arrays cannot be held are refused before anything is
// allocated, with a message giving the size asked and the limit; the batch
// command never dies on an allocation failure. The limit is the process's
// address-space limit when there is one, so the batch command is run under
// `ulimit -v`; the readers and the engine are also tried in the process with
// a limit set for the test.
#include <gtest/gtest.h>

#include <string>

#include "engine/compute.h"
#include "model/grid_file.h"
#include "model/series_file.h"
#include "model_dump.h"
#include "platform/memory_limit.h"
#include "reliability_helpers.h"

using namespace tabulor;
using namespace tabulor::reliability;

namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kAddressSanitizer = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kAddressSanitizer = true;
#else
constexpr bool kAddressSanitizer = false;
#endif
#else
constexpr bool kAddressSanitizer = false;
#endif

// 256 MB of address space: the batch command's limit is then 192 MB.
constexpr const char* kAddressSpaceKb = "262144";

class UnderAddressSpaceLimit : public ::testing::Test {
 protected:
  void SetUp() override {
    if (kAddressSanitizer)
      GTEST_SKIP() << "AddressSanitizer reserves terabytes of address space at start, so no sanitized "
                      "program runs under ulimit -v; the plain build runs these tests";
  }
  ProcessResult Batch(const std::string& args) {
    return RunShell(std::string("ulimit -v ") + kAddressSpaceKb + "; exec " + ShellQuote(TABULOR_BATCH) + " " + args);
  }
  // Refused by the size check: status 1, nothing on standard output, and a
  // message with the size asked and the limit.
  void ExpectRefused(const ProcessResult& r, const std::string& asked) {
    EXPECT_EQ(r.signal, 0) << r.err;
    EXPECT_EQ(r.exit_code, 1) << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find(asked), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("more than the memory limit of 192 MB"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << "one line: " << r.err;
  }
  ScratchDir dir_;
};

TEST_F(UnderAddressSpaceLimit, GridOfOneVariableTooLargeIsRefused) {
  ExpectRefused(Batch(ShellQuote(Example("poly.ser")) + " --points 0=50000000"), "50000000 values (381 MB)");
}

TEST_F(UnderAddressSpaceLimit, ProductOfGridSizesTooLargeIsRefused) {
  // 20000 x 20000 points: each grid is small, the results array is 3 GB.
  ExpectRefused(Batch(ShellQuote(Example("wave.ser")) + " --points 0=20000 --points 1=20000"),
                "The results array with the computation's working memory needs");
}

TEST_F(UnderAddressSpaceLimit, ProductBeyond32BitsIsRefused) {
  ProcessResult r = Batch(ShellQuote(Example("wave.ser")) + " --points 0=50000 --points 1=50000");
  EXPECT_EQ(r.signal, 0);
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_NE(r.err.find("2147483647"), std::string::npos) << r.err;
}

TEST_F(UnderAddressSpaceLimit, SeriesAnnouncingTooManyCoefficientsIsRefused) {
  WriteBytes(dir_.file("big.ser"), "0,x,0,1,0,#TRUE#,*,99999999,#TRUE#,1,2,3\r\n");
  ExpectRefused(Batch(ShellQuote(dir_.file("big.ser"))),
                "The coefficient block with its default grid needs 200000000 values (1.5 GB)");
}

TEST_F(UnderAddressSpaceLimit, GridFileAnnouncingTooManyPointsIsRefused) {
  WriteBytes(dir_.file("big.grd"), " 0 \r\nx\r\n 0 \r\n 1 \r\n 99999999 \r\n 0 \r\n#TRUE#\r\n 1 \r\n");
  ExpectRefused(Batch("--open-grid " + ShellQuote(dir_.file("big"))), "The grid needs 200000000 values");
}

TEST_F(UnderAddressSpaceLimit, SizesAroundTheLimitAreComputedOrRefusedNeverCrash) {
  // The computation's arrays and working memory take about a dozen doubles
  // a point of a 3-term series: the edge lies near 2 million points.
  for (const char* points :
       {"1000000", "1500000", "1800000", "2000000", "2100000", "2300000", "2600000", "3000000", "24000000"}) {
    SCOPED_TRACE(points);
    ProcessResult r = Batch(ShellQuote(Example("poly.ser")) + " --summary --points 0=" + points);
    EXPECT_EQ(r.signal, 0) << r.err;
    if (r.exit_code == 0) {
      EXPECT_EQ(r.out.rfind("points=" + std::string(points) + " ", 0), 0u) << r.out;
    } else {
      EXPECT_EQ(r.exit_code, 1);
      EXPECT_NE(r.err.find("more than the memory limit of 192 MB"), std::string::npos)
          << "an allocation failed that the size check let through: " << r.err;
    }
  }
  // The smallest of them is well within the limit.
  ProcessResult small = Batch(ShellQuote(Example("poly.ser")) + " --summary --points 0=1000000");
  EXPECT_EQ(small.exit_code, 0) << small.err;
}

// In the process, with the limit set by the test.
class WithMemoryLimit : public ::testing::Test {
 protected:
  void TearDown() override { SetMemoryLimit(0); }
};

TEST_F(WithMemoryLimit, SeriesReaderRefusesACoefficientBlockBeyondTheLimit) {
  Dimension model;
  LoadComputed(model, "wave.ser");
  const std::string before = ModelDump(model);
  SetMemoryLimit(1 << 20);
  SeriesReadResult r = ReadSeriesText(model, "0,x,0,1,0,#TRUE#,*,199999,#TRUE#,1,2,3", "big.ser");
  EXPECT_EQ(r.outcome, SeriesReadOutcome::Error);
  EXPECT_NE(r.message.find("\"big.ser\""), std::string::npos) << r.message;
  EXPECT_NE(r.message.find("needs 400000 values (3.1 MB), more than the memory limit of 1.0 MB"), std::string::npos)
      << r.message;
  EXPECT_TRUE(ModelDump(model) == before);
  // The default grid takes as much room as the coefficients of one variable:
  // a block that fits only without it is refused before the model changes.
  SetMemoryLimit(2 << 20);
  r = ReadSeriesText(model, "0,x,0,1,0,#TRUE#,*,149999,#TRUE#,1,2,3", "big.ser");
  EXPECT_EQ(r.outcome, SeriesReadOutcome::Error);
  EXPECT_NE(r.message.find("The coefficient block with its default grid needs 300000 values (2.3 MB)"),
            std::string::npos)
      << r.message;
  EXPECT_TRUE(ModelDump(model) == before);
}

TEST_F(WithMemoryLimit, GridReaderRefusesAGridBeyondTheLimit) {
  Dimension model;
  LoadComputed(model, "wave.ser");
  const std::string before = ModelDump(model);
  SetMemoryLimit(1 << 20);
  GridFileResult r = ReadGridText(model, " 0 \r\nx\r\n 0 \r\n 1 \r\n 99999 \r\n 0 \r\n#TRUE#\r\n 1 \r\n", "big");
  EXPECT_FALSE(r.ok);
  EXPECT_NE(r.message.find("needs 200000 values (1.5 MB), more than the memory limit of 1.0 MB"), std::string::npos)
      << r.message;
  EXPECT_TRUE(ModelDump(model) == before);
}

TEST_F(WithMemoryLimit, ComputationRefusesResultsBeyondTheLimit) {
  Dimension model;
  LoadComputed(model, "poly.ser");
  auto spec = DefaultGridSpec(model);
  spec[0].points = "200000";
  ASSERT_EQ(CaptureGridSpecs(model, spec), "");
  SetMemoryLimit(4 << 20);
  ComputeResult r = Compute(model);
  EXPECT_EQ(r.outcome, ComputeOutcome::Error);
  // 200000 results, a basis table of 3 x 200000, 3 x 200000 for the offsets
  // and 4 << 20 for the blocks of the transforms.
  EXPECT_NE(r.message.find("The results array with the computation's working memory needs 5594304 values"),
            std::string::npos)
      << r.message;
  EXPECT_NE(r.message.find("more than the memory limit of 4.0 MB"), std::string::npos) << r.message;
  EXPECT_FALSE(model.ResultsReady);
  EXPECT_TRUE(model.Results.empty());
  // With room enough, the same grid computes.
  SetMemoryLimit(64 << 20);
  EXPECT_EQ(Compute(model).outcome, ComputeOutcome::Ok);
}

TEST(MemoryLimit, FollowsTheAddressSpaceLimit) {
  if (kAddressSanitizer) GTEST_SKIP() << "a sanitized program cannot start under ulimit -v";
  // The batch command states the limit it works with when it refuses.
  ProcessResult r = RunShell("ulimit -v 524288; exec " + ShellQuote(TABULOR_BATCH) + " " +
                             ShellQuote(Example("poly.ser")) + " --points 0=100000000");
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_NE(r.err.find("more than the memory limit of 448 MB"), std::string::npos) << r.err;
}

}  // namespace
