// Every field of the model as text, doubles by their bits, so that two dumps
// are equal exactly when the models are. Used to show that a refused file or
// a failed operation changed nothing.
#pragma once

#include <algorithm>
#include <bit>
#include <cstdint>
#include <string>
#include <type_traits>

#include "model/dimension.h"

namespace tabulor::reliability {

template <class T>
void DumpValues(std::string& out, const char* name, const T* p, std::size_t n) {
  out += std::string(name) + "[" + std::to_string(n) + "]:";
  for (std::size_t i = 0; i < n; ++i) {
    if constexpr (std::is_same_v<T, double>)
      out += " " + std::to_string(std::bit_cast<std::uint64_t>(p[i]));
    else
      out += " " + std::to_string(static_cast<long long>(p[i]));
  }
  out += "\n";
}

inline std::string ModelDump(const Dimension& m) {
  std::string out = "LastVar " + std::to_string(m.LastVar) + " CurVar " + std::to_string(m.CurVar) + " ResultsReady " +
                    std::to_string(m.ResultsReady) + " Loading " + std::to_string(m.Loading) + " TotalCount " +
                    std::to_string(m.TotalCount) + "\nFileName <" + m.FileName + ">\n";
  DumpValues(out, "Pi", &m.Pi, 1);
  for (int v = 0; v < kSlots; ++v) {
    out += "VarName <" + m.VarName[v] + "> CenterText <" + m.CenterText[v] + "> PeriodText <" + m.PeriodText[v] + ">\n";
    DumpValues(out, "GridX", m.GridX[v].data(), m.GridX[v].size());
  }
  DumpValues(out, "IsPower", m.IsPower.data(), kSlots);
  DumpValues(out, "EvenlySpaced", m.EvenlySpaced.data(), kSlots);
  DumpValues(out, "LastTerm", m.LastTerm.data(), kSlots);
  DumpValues(out, "LastPoint", m.LastPoint.data(), kSlots);
  DumpValues(out, "DerOrder", m.DerOrder.data(), kSlots);
  DumpValues(out, "Extent", m.Extent.data(), kSlots);
  DumpValues(out, "LastPt", m.LastPt.data(), kSlots);
  DumpValues(out, "LowerLimit", m.LowerLimit.data(), kSlots);
  DumpValues(out, "UpperLimit", m.UpperLimit.data(), kSlots);
  DumpValues(out, "Center", m.Center.data(), kSlots);
  DumpValues(out, "Period", m.Period.data(), kSlots);
  DumpValues(out, "GridStep", m.GridStep.data(), kSlots);
  DumpValues(out, "Coefficients", m.Coefficients.data(), m.Coefficients.size());
  DumpValues(out, "Results dims", m.Results.dims().data(), kSlots);
  DumpValues(out, "Results", m.Results.data(), m.Results.size());
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
