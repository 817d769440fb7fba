// Small helpers shared by the core tests.
#pragma once

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "model/dimension.h"

namespace tabulor::testing {

// A fresh folder under /tmp, removed with everything in it at the end.
class TempDir {
 public:
  TempDir() {
    char tmpl[] = "/tmp/tabulor_testXXXXXX";
    path_ = mkdtemp(tmpl);
  }
  ~TempDir() { std::filesystem::remove_all(path_); }
  std::string file(const std::string& name) const { return path_ + "/" + name; }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

inline void WriteFile(const std::string& path, const std::string& content) {
  std::ofstream out(path, std::ios::binary);
  out << content;
}

inline std::string ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

// Every field of the model that a reader may change, in one text, so that
// "the model is exactly as before" is one comparison.
inline std::string Snapshot(const Dimension& m) {
  std::ostringstream s;
  s.precision(17);
  s << m.LastVar << '|' << m.ResultsReady << '|' << m.FileName << '|' << m.TotalCount << '|';
  for (int v = 0; v < kSlots; ++v) {
    s << m.VarName[v] << ',' << m.IsPower[v] << ',' << m.LowerLimit[v] << ',' << m.UpperLimit[v] << ',' << m.Center[v]
      << ',' << m.Period[v] << ',' << m.LastTerm[v] << ',' << m.LastPoint[v] << ',' << m.DerOrder[v] << ','
      << m.EvenlySpaced[v] << ',' << m.Extent[v] << ',' << m.GridStep[v] << ',' << m.CenterText[v] << ','
      << m.PeriodText[v] << ',' << m.LastPt[v] << ":";
    for (double x : m.GridX[v]) s << x << ' ';
    s << '|';
  }
  for (double c : m.Coefficients) s << c << ' ';
  s << '|' << m.Results.size() << ':';
  for (std::size_t i = 0; i < m.Results.size(); ++i) s << m.Results.data()[i] << ' ';
  return s.str();
}

}  // namespace tabulor::testing
