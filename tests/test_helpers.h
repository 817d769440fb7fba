// Helpers shared by the core tests: a scratch folder, whole files, the
// tables of tests/data/tables, a series read and computed from its text, and
// the model in a readable form.
#pragma once

#include <gtest/gtest.h>

#include <bit>
#include <charconv>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "engine/compute.h"
#include "model/grid_capture.h"
#include "model/number_text.h"
#include "model/series_file.h"
#include "scratch_dir.h"

namespace tabulor::testing {

inline void WriteFile(const std::string& path, const std::string& content) {
  std::ofstream(path, std::ios::binary) << content;
}

inline std::string ReadWholeFile(const std::string& path) {
  std::ostringstream s;
  s << std::ifstream(path, std::ios::binary).rdbuf();
  return s.str();
}

// The cases of tests/data/tables/NAME, one a line, their fields parted by
// tabs, with the escapes \r \n \t \0 \\ and \xHH; empty lines and comments,
// lines that begin with "# ", are left out.
inline std::vector<std::vector<std::string>> Table(const std::string& name) {
  std::ifstream in(std::string(TABULOR_TEST_DATA_DIR) + "/tables/" + name, std::ios::binary);
  std::vector<std::vector<std::string>> rows;
  for (std::string line; std::getline(in, line);) {
    if (line.empty() || line.starts_with("# ")) continue;
    rows.emplace_back(1);
    for (std::size_t i = 0; i < line.size(); ++i) {
      std::string& field = rows.back().back();
      if (line[i] == '\t') {
        rows.back().emplace_back();
      } else if (line[i] != '\\') {
        field += line[i];
      } else if (line[++i] == 'x') {
        field += static_cast<char>(std::stoi(line.substr(i + 1, 2), nullptr, 16));
        i += 2;
      } else {
        const std::size_t k = std::string_view("rnt0").find(line[i]);
        field += k == std::string_view::npos ? line[i] : "\r\n\t"[k];
      }
    }
  }
  EXPECT_FALSE(rows.empty()) << name;
  return rows;
}

// A double from its decimal text, by the standard library, in any locale.
inline double Double(const std::string& text) {
  double value = 0;
  EXPECT_EQ(std::from_chars(text.data(), text.data() + text.size(), value).ec, std::errc()) << text;
  return value;
}

// A double's bits as text: equal exactly when the doubles are.
inline std::string Bits(double x) { return std::to_string(std::bit_cast<std::uint64_t>(x)); }

// The series of `text`, read under the file name `name`.
inline Dimension Loaded(const std::string& text, const std::string& name = "run.ser") {
  Dimension m;
  EXPECT_EQ(ReadSeriesText(m, text, name).message, "");
  return m;
}

// The series computed on its default grid as `edit` changes it.
using SpecEdit = std::function<void(std::array<GridSpecText, kSlots>&)>;
inline Dimension Computed(const std::string& text, const SpecEdit& edit = nullptr,
                          const std::string& name = "run.ser") {
  Dimension m = Loaded(text, name);
  auto spec = DefaultGridSpec(m);
  if (edit) edit(spec);
  EXPECT_EQ(CaptureGridSpecs(m, spec), "");
  EXPECT_EQ(Compute(m).message, "");
  return m;
}

// The model as the files and the capture leave it: a head line (last
// variable index, grid points, "ready" with results, file name, the
// coefficients), then per variable slot that holds anything: name, kind
// (P or T), limits, centre (its text), period (its text), last term, last
// point, derivative order, spacing (E or U), step, and the grid values.
inline std::string Describe(const Dimension& m) {
  auto list = [](const std::vector<double>& xs) {
    std::string s;
    for (double x : xs) s += " " + NumberText(x);
    return s;
  };
  auto slot = [&](const Dimension& d, int v) {
    return d.VarName[v] + (d.IsPower[v] ? " P " : " T ") + NumberText(d.LowerLimit[v]) + " " +
           NumberText(d.UpperLimit[v]) + " " + NumberText(d.Center[v]) + "(" + d.CenterText[v] + ") " +
           NumberText(d.Period[v]) + "(" + d.PeriodText[v] + ") " + IntegerText(d.LastTerm[v]) + " " +
           IntegerText(d.LastPoint[v]) + " " + IntegerText(d.DerOrder[v]) + (d.EvenlySpaced[v] ? " E " : " U ") +
           NumberText(d.GridStep[v]) + ":" + list(d.GridX[v]) + "\n";
  };
  std::string s = IntegerText(m.LastVar) + " " + IntegerText(m.TotalCount) + (m.ResultsReady ? " ready " : " ") +
                  m.FileName + ":" + list(m.Coefficients) + "\n";
  for (int v = 0; v < kSlots; ++v)
    if (slot(m, v) != slot(Dimension(), v)) s += slot(m, v);
  return s;
}

}  // namespace tabulor::testing
