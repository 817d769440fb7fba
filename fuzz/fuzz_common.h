// Shared by the fuzz targets: a check that stops the run with a message, and
// the seed model a refused input must leave untouched.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "model/dimension.h"
#include "model/series_file.h"
#include "platform/memory_limit.h"

#define FUZZ_CHECK(cond, what)                                                                                       \
  do {                                                                                                               \
    if (!(cond)) {                                                                                                   \
      std::fprintf(stderr, "%s:%d: check failed: %s\n  %s\n", __FILE__, __LINE__, #cond, std::string(what).c_str()); \
      std::abort();                                                                                                  \
    }                                                                                                                \
  } while (0)

namespace tabulor::fuzz {

// Arrays are capped at 64 MB so that a file announcing billions of values is
// refused by the limit check instead of tripping the fuzzer's own malloc limit.
inline void LimitMemory() { SetMemoryLimit(64ull << 20); }

// A two-variable series (Trigonometric and Power) to start each input from.
inline void LoadSeedSeries(Dimension& model) {
  static const char kSeed[] =
      "1,\"t\",0,6.28318530717959,0,#FALSE#,*,2\r\n"
      "y,-1,1,*,#TRUE#,*,1\r\n"
      "#TRUE#\r\n1,2,3,4,5,6\r\n";
  SeriesReadResult r = ReadSeriesText(model, kSeed, "seed.ser");
  FUZZ_CHECK(r.outcome == SeriesReadOutcome::Ok, r.message);
}

// True when a text shows an infinity or a NaN the way the number text would.
inline bool ShowsNonFinite(std::string_view s) {
  for (std::size_t i = 0; i + 3 <= s.size(); ++i) {
    char a = static_cast<char>(s[i] | 0x20), b = static_cast<char>(s[i + 1] | 0x20),
         c = static_cast<char>(s[i + 2] | 0x20);
    if ((a == 'i' && b == 'n' && c == 'f') || (a == 'n' && b == 'a' && c == 'n')) return true;
  }
  return false;
}

}  // namespace tabulor::fuzz
