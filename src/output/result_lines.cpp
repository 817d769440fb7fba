#include "output/result_lines.h"

#include <vector>

#include "model/number_text.h"

namespace tabulor {

namespace {
constexpr std::size_t kValueColumn = 39;  // column 40, counting from 1
const char kTitle[] = "VALUES AT GRID POINTS:";
}  // namespace

namespace {

// The length of the UTF-8 sequence that starts at s[i], or 0 when none
// starts there (a stray continuation byte, an overlong form, a surrogate, a
// code point beyond U+10FFFF, or a sequence cut short).
std::size_t Utf8Length(const std::string& s, std::size_t i) {
  const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
  const unsigned char b = byte(i);
  if (b < 0x80) return 1;
  std::size_t n;
  unsigned char lo = 0x80, hi = 0xBF;  // the allowed range of the second byte
  if (b >= 0xC2 && b <= 0xDF) {
    n = 2;
  } else if (b >= 0xE0 && b <= 0xEF) {
    n = 3;
    if (b == 0xE0) lo = 0xA0;
    if (b == 0xED) hi = 0x9F;
  } else if (b >= 0xF0 && b <= 0xF4) {
    n = 4;
    if (b == 0xF0) lo = 0x90;
    if (b == 0xF4) hi = 0x8F;
  } else {
    return 0;
  }
  if (i + n > s.size()) return 0;
  if (byte(i + 1) < lo || byte(i + 1) > hi) return 0;
  for (std::size_t k = 2; k < n; ++k)
    if (byte(i + k) < 0x80 || byte(i + k) > 0xBF) return 0;
  return n;
}

// Where each character of `s` starts, or nothing when `s` is not UTF-8
// (then each byte is a character of its own, as the window shows it).
bool Utf8Starts(const std::string& s, std::vector<std::size_t>& starts) {
  starts.clear();
  for (std::size_t i = 0; i < s.size();) {
    const std::size_t n = Utf8Length(s, i);
    if (n == 0) return false;
    starts.push_back(i);
    i += n;
  }
  return true;
}

}  // namespace

std::string ValueLine(const std::string& name, double x, double value) {
  std::string line;
  line.reserve(name.size() + 110);
  line.append("   ");
  line.append(name);
  line.push_back('=');
  AppendNumberText(line, x);
  line.append(70, ' ');
  char buf[40] = "VALUE=";
  std::size_t n = 6 + FormatNumber(buf + 6, value);
  // Columns are characters. A name in UTF-8 holds characters of several
  // bytes: the value then goes where the 40th character starts, over as
  // many characters as it has.
  bool ascii = true;
  for (char c : name) ascii &= static_cast<unsigned char>(c) < 0x80;
  std::vector<std::size_t> starts;
  if (ascii || !Utf8Starts(line, starts)) {
    line.replace(kValueColumn, n, buf, n);
    return line;
  }
  const std::size_t from = starts[kValueColumn];
  const std::size_t to = kValueColumn + n < starts.size() ? starts[kValueColumn + n] : line.size();
  line.replace(from, to - from, buf, n);
  return line;
}

GridWalk::GridWalk(const Dimension& model, bool report_blanks) : model_(&model) {
  for (int v = 0; v < kSlots; ++v) {
    std::int64_t last = model.IsPresent(v) ? model.LastPt[v] : 0;
    points_[v] = last + 1;
    heading_[v] = last != 0;
  }
  blank_ = report_blanks ? 1 : 0;
  block1_ = (heading_[1] ? 1 : 0) + points_[0] + blank_;
  block2_ = (heading_[2] ? 1 : 0) + points_[1] * block1_ + blank_;
  block3_ = (heading_[3] ? 1 : 0) + points_[2] * block2_ + blank_;
  count_ = points_[3] * block3_;
}

std::string GridWalk::line(std::int64_t i) const {
  const Dimension& m = *model_;
  auto heading = [&](int v, std::int64_t j, int indent) {
    std::string s(static_cast<std::size_t>(indent), ' ');
    s += m.VarName[v];
    s.push_back('=');
    AppendNumberText(s, m.GridX[v][static_cast<std::size_t>(j)]);
    return s;
  };
  if (i < 0 || i >= count_) return {};
  const std::int64_t j3 = i / block3_;
  std::int64_t r = i % block3_;
  if (heading_[3]) {
    if (r == 0) return heading(3, j3, 0);
    --r;
  }
  if (r == points_[2] * block2_) return {};
  const std::int64_t j2 = r / block2_;
  r %= block2_;
  if (heading_[2]) {
    if (r == 0) return heading(2, j2, 1);
    --r;
  }
  if (r == points_[1] * block1_) return {};
  const std::int64_t j1 = r / block1_;
  r %= block1_;
  if (heading_[1]) {
    if (r == 0) return heading(1, j1, 2);
    --r;
  }
  if (r == points_[0]) return {};
  const std::int64_t j0 = r;
  return ValueLine(m.VarName[0], m.GridX[0][static_cast<std::size_t>(j0)], m.Results(j0, j1, j2, j3));
}

ResultLines::ResultLines(const Dimension& model)
    : ready_(model.ResultsReady && !model.Results.empty()), walk_(model, false) {}

std::string ResultLines::line(std::int64_t i) const {
  if (!ready_ || i < 0 || i >= count()) return {};
  if (i == 0) return kTitle;
  if (i == 1) return {};
  return walk_.line(i - 2);
}

ReportLines::ReportLines(const Dimension& model)
    : model_(&model),
      ready_(model.ResultsReady && !model.Results.empty()),
      head_(2 + 5 * (static_cast<std::int64_t>(model.LastVar) + 1)),
      walk_(model, true) {}

std::string ReportLines::line(std::int64_t i) const {
  const Dimension& m = *model_;
  if (i < 0 || i >= count()) return {};
  if (i == 0) return "FILE NAME: " + m.FileName;
  if (i == 1) return {};
  if (i < head_) {
    const int v = static_cast<int>((i - 2) / 5);
    switch ((i - 2) % 5) {
      case 0: return "                       VARIABLE: " + m.VarName[v];
      case 1: return "               # OF GRID POINTS:" + PrintForm(static_cast<std::int64_t>(m.LastPoint[v]) + 1);
      case 2:
        return "                    GRID LIMITS: [" + PrintForm(m.LowerLimit[v]) + "," + PrintForm(m.UpperLimit[v]) +
               "]";
      case 3: return "DERIVATIVE W.R.T. THIS VARIABLE:" + PrintForm(static_cast<std::int64_t>(m.DerOrder[v]));
      default: return {};
    }
  }
  if (i == head_) return kTitle;
  if (i == head_ + 1) return {};
  return walk_.line(i - head_ - 2);
}

}  // namespace tabulor
