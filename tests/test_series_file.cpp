// Good series files and the model they give; the refused ones are in
// tests/data/bad_series (test_bad_input.cpp).
#include <gtest/gtest.h>

#include "model/series_file.h"
#include "test_helpers.h"

using namespace tabulor;
using namespace tabulor::testing;

// Each file is read into a model that held a computed four-variable series.
TEST(SeriesFile, ReadsEveryFieldIntoTheModel) {
  for (const auto& c : Table("series_file.tsv")) {
    SCOPED_TRACE(c[0]);
    Dimension m = Computed(ReadWholeFile(TABULOR_EXAMPLES_DIR "/four.ser"), [](auto& spec) {
      spec[1].spaced = false;
      spec[2].der = "1";
    });
    const SeriesReadResult r = ReadSeriesText(m, c[0], "f");
    ASSERT_EQ(r.outcome, SeriesReadOutcome::Ok) << r.message;
    EXPECT_EQ(Describe(m), c[1]);
  }
}
