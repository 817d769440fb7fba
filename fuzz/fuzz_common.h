// Shared by the fuzz targets, each one source file that includes this once.
#pragma once

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

#include "model/dimension.h"
#include "model/series_file.h"
#include "model_dump.h"
#include "platform/memory_limit.h"

// FUZZ_CHECK(condition) or FUZZ_CHECK(condition, text that tells more).
#define FUZZ_CHECK(c, ...) ((c) ? void(0) : tabulor::fuzz::Fail(__FILE__, __LINE__, #c, {__VA_ARGS__}))

// Arrays of at most 64 MB: a file announcing billions of values is refused, not a failed malloc of the fuzzer.
extern "C" int LLVMFuzzerInitialize(int*, char***) {
  tabulor::SetMemoryLimit(64ull << 20);
  return 0;
}

namespace tabulor::fuzz {

[[noreturn]] inline void Fail(const char* file, int line, const char* cond, const std::string& what) {
  std::fprintf(stderr, "%s:%d: check failed: %s\n  %s\n", file, line, cond, what.c_str());
  std::abort();
}

inline std::string_view Text(const std::uint8_t* p, std::size_t n) { return {reinterpret_cast<const char*>(p), n}; }

inline bool Finite(const double* p, std::size_t n) {
  return std::all_of(p, p + n, [](double x) { return std::isfinite(x); });
}

// Every double a series or grid file puts into the model.
inline bool Finite(const Dimension& m) {
  bool ok = Finite(m.Coefficients.data(), m.Coefficients.size()) && Finite(m.Results.data(), m.Results.size());
  for (const auto* a : {&m.LowerLimit, &m.UpperLimit, &m.Center, &m.Period, &m.GridStep}) ok &= Finite(a->data(), 4);
  for (const auto& g : m.GridX) ok &= Finite(g.data(), g.size());
  return ok;
}

// The model a refused file must leave as it was: a Trigonometric and a Power variable.
inline std::string LoadSeed(Dimension& m) {
  ReadSeriesText(m, "1,t,0,6.3,0,#FALSE#,*,2\ny,-1,1,*,#TRUE#,*,1\n#TRUE#\n1,2,3,4,5,6", "s");
  return reliability::ModelDump(m);
}

inline void CheckUnchanged(const Dimension& m, const std::string& before) {
  const std::string after = reliability::ModelDump(m);
  FUZZ_CHECK(after == before, "a refused input changed the model:\n" + reliability::FirstDifference(before, after));
}

}  // namespace tabulor::fuzz

#ifdef TABULOR_FUZZ_REPLAY  // without libFuzzer: once on each file given
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);
int main(int argc, char** argv) {
  LLVMFuzzerInitialize(&argc, &argv);
  for (int i = 1; i < argc; ++i) {
    std::fprintf(stderr, "%s\n", argv[i]);  // names the input that fails
    std::ifstream in(argv[i], std::ios::binary);
    const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
  }
  return argc > 1 ? 0 : 2;
}
#endif
