// Every field of the model as text, doubles by their bits, so that two dumps
// are equal exactly when the models are. Used to show that a refused file or
// a failed operation changed nothing.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "model/dimension.h"

namespace tabulor::reliability {

inline void DumpBits(std::string& out, double x) {
  std::uint64_t bits;
  std::memcpy(&bits, &x, sizeof bits);
  static const char hex[] = "0123456789abcdef";
  for (int s = 60; s >= 0; s -= 4) out.push_back(hex[(bits >> s) & 15]);
  out.push_back(' ');
}

inline void DumpDoubles(std::string& out, const char* name, const double* p, std::size_t n) {
  out += name;
  out += "[" + std::to_string(n) + "]: ";
  for (std::size_t i = 0; i < n; ++i) DumpBits(out, p[i]);
  out += "\n";
}

template <class T>
void DumpInts(std::string& out, const char* name, const T& a) {
  out += name;
  out += ": ";
  for (auto x : a) out += std::to_string(static_cast<long long>(x)) + " ";
  out += "\n";
}

inline std::string ModelDump(const Dimension& m) {
  std::string out;
  out += "LastVar " + std::to_string(m.LastVar) + " CurVar " + std::to_string(m.CurVar) + " ResultsReady " +
         std::to_string(m.ResultsReady) + " Loading " + std::to_string(m.Loading) + " TotalCount " +
         std::to_string(m.TotalCount) + "\n";
  out += "FileName <" + m.FileName + ">\n";
  DumpDoubles(out, "Pi", &m.Pi, 1);
  for (int v = 0; v < kSlots; ++v) {
    out += "VarName <" + m.VarName[v] + "> CenterText <" + m.CenterText[v] + "> PeriodText <" + m.PeriodText[v] + ">\n";
    DumpDoubles(out, "GridX", m.GridX[v].data(), m.GridX[v].size());
  }
  DumpInts(out, "IsPower", m.IsPower);
  DumpInts(out, "EvenlySpaced", m.EvenlySpaced);
  DumpInts(out, "LastTerm", m.LastTerm);
  DumpInts(out, "LastPoint", m.LastPoint);
  DumpInts(out, "DerOrder", m.DerOrder);
  DumpInts(out, "Extent", m.Extent);
  DumpInts(out, "LastPt", m.LastPt);
  DumpDoubles(out, "LowerLimit", m.LowerLimit.data(), kSlots);
  DumpDoubles(out, "UpperLimit", m.UpperLimit.data(), kSlots);
  DumpDoubles(out, "Center", m.Center.data(), kSlots);
  DumpDoubles(out, "Period", m.Period.data(), kSlots);
  DumpDoubles(out, "GridStep", m.GridStep.data(), kSlots);
  DumpDoubles(out, "Coefficients", m.Coefficients.data(), m.Coefficients.size());
  DumpInts(out, "Results dims", m.Results.dims());
  DumpDoubles(out, "Results", m.Results.data(), m.Results.size());
  return out;
}

// The first line in which two dumps differ, for a readable failure.
inline std::string FirstDifference(const std::string& a, const std::string& b) {
  std::size_t i = 0;
  while (i < a.size() && i < b.size() && a[i] == b[i]) ++i;
  if (i == a.size() && i == b.size()) return {};
  std::size_t start = a.rfind('\n', i == 0 ? 0 : i - 1);
  start = start == std::string::npos ? 0 : start + 1;
  auto line = [&](const std::string& s) {
    std::size_t end = s.find('\n', start);
    return s.substr(start, std::min<std::size_t>(end == std::string::npos ? s.size() : end, start + 200) - start);
  };
  return "before: " + line(a) + "\nafter:  " + line(b);
}

}  // namespace tabulor::reliability
