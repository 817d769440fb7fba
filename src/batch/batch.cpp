#include "batch/batch.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <map>
#include <new>
#include <optional>
#include <system_error>
#include <tuple>
#include <vector>

#include "engine/compute.h"
#include "evaluation/evaluation.h"
#include "model/grid_capture.h"
#include "model/grid_file.h"
#include "model/number_text.h"
#include "model/series_file.h"
#include "output/csv_export.h"
#include "output/result_lines.h"
#include "platform/file_io.h"

namespace tabulor {

namespace {

const char kHelp[] =
    "Usage:\n"
    "  tabulor-batch SERIESFILE [options]\n"
    "  tabulor-batch --open-grid BASE [--report] [--csv FILE]\n"
    "  tabulor-batch --help\n"
    "\n"
    "Evaluates the series of SERIESFILE, or the mixed derivative that --der asks\n"
    "for, at every point of a grid and prints one line per grid point, as the\n"
    "results list of the window shows them. With no options the grid is the one\n"
    "the window computes when the file is opened and \"Compute\" pressed at once:\n"
    "for every variable as many evenly spaced points as terms between the\n"
    "series' limits, derivative order 0.\n"
    "\n"
    "K is a variable's index: 0 for the first variable, up to 3.\n"
    "  --points K=N        N evenly spaced grid points (a whole number, at least 2)\n"
    "  --limits K=LO,HI    grid lower and upper limit\n"
    "  --der K=D           take the D-th derivative with respect to variable K\n"
    "  --values K=x0,x1,.. the grid values of variable K, typed one by one (not\n"
    "                      evenly spaced; the number of points is their number)\n"
    "  --save NAME         also write the grid file NAME.grd, or NAME itself when\n"
    "                      it ends in .grd\n"
    "  --csv FILE          also write the values to FILE as comma-separated values:\n"
    "                      a header line with the variable names and \"value\",\n"
    "                      then one line per grid point (variable 0 fastest), each\n"
    "                      line ended by CR LF; also with --open-grid\n"
    "  --report            print the lines of the printed report instead of the list\n"
    "  --summary           print only: points=N seconds=T min=A max=B\n"
    "  --open-grid NAME    read the grid file NAME.grd, or NAME itself when it ends\n"
    "                      in .grd, and print its list\n"
    "  --help              show this text\n"
    "\n"
    "Exit status: 0 done; 1 the file or the grid was refused, the computation\n"
    "failed or a file could not be written (one line on standard error says why;\n"
    "when the computation fails no file is written, and a grid or CSV file that\n"
    "cannot be written is left as it was);\n"
    "2 the command line is wrong.\n";

// The lines of standard output, written in large blocks.
class Output {
 public:
  explicit Output(int fd) : sink_(fd) {}
  ~Output() { sink_.Flush(); }
  void Line(const std::string& s) {
    sink_.Write(s);
    sink_.Write("\n", 1);
  }
  bool Flush() { return sink_.Flush(); }
  bool ok() const { return sink_.ok(); }

 private:
  FileSink sink_;
};

void Say(int fd, const std::string& text) {
  const std::string s = text + "\n";
  // Nothing more can be told when standard error is gone.
  WriteAll(fd, s.data(), s.size());
}

// Shows "what... NN%" on a terminal, at most a few times a second.
class TerminalProgress {
 public:
  TerminalProgress(int fd, std::string what) : fd_(fd), what_(std::move(what)), tty_(::isatty(fd) == 1) {}
  ~TerminalProgress() { Done(); }
  bool operator()(std::uint64_t done, std::uint64_t total) {
    if (!tty_ || total == 0) return true;
    auto now = std::chrono::steady_clock::now();
    if (shown_ && now - last_ < std::chrono::milliseconds(200)) return true;
    last_ = now;
    shown_ = true;
    int percent = static_cast<int>(100.0 * static_cast<double>(done) / static_cast<double>(total));
    std::string s = "\r" + what_ + "... " + IntegerText(std::min(percent, 100)) + "%";
    if (::write(fd_, s.data(), s.size()) < 0) tty_ = false;
    return true;
  }
  void Done() {
    if (tty_ && shown_) {
      std::string s = "\r" + std::string(what_.size() + 10, ' ') + "\r";
      if (::write(fd_, s.data(), s.size()) < 0) tty_ = false;
      shown_ = false;
    }
  }
  ProgressFn fn() {
    return [this](std::uint64_t d, std::uint64_t t) { return (*this)(d, t); };
  }

 private:
  int fd_;
  std::string what_;
  bool tty_;
  bool shown_ = false;
  std::chrono::steady_clock::time_point last_{};
};

struct UsageError {
  std::string message;
};

// "K=REST": the variable index and the text behind "=".
std::pair<int, std::string> SplitKey(const std::string& option, const std::string& value) {
  std::size_t eq = value.find('=');
  if (eq == 0 || eq == std::string::npos || eq > 1 || value[0] < '0' || value[0] > '3')
    throw UsageError{option + " takes K=..., K a variable index from 0 to 3 (got \"" + value + "\")"};
  return {value[0] - '0', value.substr(eq + 1)};
}

// A number given on the command line: all of the text must be the number.
double StrictNumber(const std::string& option, const std::string& text) {
  const std::optional<double> value = WholeTextNumber(text);
  if (!value) throw UsageError{option + ": \"" + text + "\" is not a finite number"};
  return *value;
}

struct Options {
  std::string series_file;
  std::string open_grid;
  std::string save_base;
  std::string csv_file;
  bool report = false;
  bool summary = false;
  bool help = false;
  std::map<int, std::string> points, der;
  std::map<int, std::pair<std::string, std::string>> limits;
  std::map<int, std::vector<double>> values;
};

// "--points K=N": N whole and by the rule for a number of grid points.
void ParsePoints(Options& o, const std::string& option, const std::string& value) {
  auto [k, text] = SplitKey(option, value);
  const double n = StrictNumber(option, text);
  std::int32_t last = 0;
  if (n != std::floor(n) || CheckGridPoints(n, false, last) != GridPointsCheck::Ok)
    throw UsageError{"--points: the number of grid points must be a whole number of at least " +
                     IntegerText(kMinGridPoints) + " (got \"" + text + "\")"};
  o.points[k] = text;
}

void ParseDer(Options& o, const std::string& option, const std::string& value) {
  auto [k, text] = SplitKey(option, value);
  WholeNumberResult d = ParseWholeNumber(text);
  if (d.status != WholeNumberStatus::Ok || d.value < 0 || StrictNumber(option, text) != d.value)
    throw UsageError{"--der: the derivative order must be a whole number of at least 0 (got \"" + text + "\")"};
  o.der[k] = text;
}

void ParseLimits(Options& o, const std::string& option, const std::string& value) {
  auto [k, text] = SplitKey(option, value);
  std::size_t comma = text.find(',');
  if (comma == std::string::npos || text.find(',', comma + 1) != std::string::npos)
    throw UsageError{"--limits takes K=LO,HI (got \"" + text + "\")"};
  std::string lo = text.substr(0, comma), hi = text.substr(comma + 1);
  StrictNumber(option, lo);
  StrictNumber(option, hi);
  o.limits[k] = {lo, hi};
}

void ParseValues(Options& o, const std::string& option, const std::string& value) {
  auto [k, text] = SplitKey(option, value);
  std::vector<double> xs;
  std::size_t start = 0;
  for (;;) {
    std::size_t comma = text.find(',', start);
    xs.push_back(StrictNumber(option, text.substr(start, comma - start)));
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  if (static_cast<std::int64_t>(xs.size()) < kMinGridPoints)
    throw UsageError{"--values needs at least two grid values"};
  o.values[k] = std::move(xs);
}

// Takes one argument (and the value behind it, advancing i).
void ParseArg(Options& o, const std::vector<std::string>& args, std::size_t& i) {
  const std::string& a = args[i];
  auto next = [&]() -> const std::string& {
    if (i + 1 >= args.size()) throw UsageError{a + " needs a value"};
    return args[++i];
  };
  if (a == "--help" || a == "-h") {
    o.help = true;
  } else if (a == "--report") {
    o.report = true;
  } else if (a == "--summary") {
    o.summary = true;
  } else if (a == "--save" || a == "--csv" || a == "--open-grid") {
    // A forgotten name would take the next option as the file's name.
    const std::string& name = next();
    if (name.empty() || name.rfind("--", 0) == 0)
      throw UsageError{a + " needs a file name" + (name.empty() ? "" : " before " + name)};
    (a == "--save" ? o.save_base : a == "--csv" ? o.csv_file : o.open_grid) = name;
  } else if (a == "--points") {
    ParsePoints(o, a, next());
  } else if (a == "--der") {
    ParseDer(o, a, next());
  } else if (a == "--limits") {
    ParseLimits(o, a, next());
  } else if (a == "--values") {
    ParseValues(o, a, next());
  } else if (!a.empty() && a[0] == '-' && a != "-") {
    throw UsageError{"unknown option " + a};
  } else {
    if (!o.series_file.empty()) throw UsageError{"only one series file can be given"};
    o.series_file = a;
  }
}

Options ParseArgs(const std::vector<std::string>& args) {
  Options o;
  for (std::size_t i = 0; i < args.size(); ++i) ParseArg(o, args, i);
  if (o.help) return o;
  if (o.series_file.empty() == o.open_grid.empty()) throw UsageError{"give either a series file or --open-grid BASE"};
  if (!o.open_grid.empty() && (!o.points.empty() || !o.der.empty() || !o.limits.empty() || !o.values.empty() ||
                               !o.save_base.empty() || o.summary))
    throw UsageError{"--open-grid takes only --report and --csv"};
  for (const auto& [k, xs] : o.values)
    if (o.points.count(k)) throw UsageError{"--points and --values both given for variable " + IntegerText(k)};
  if (o.summary && o.report) throw UsageError{"--summary and --report exclude each other"};
  return o;
}

// True when the two names lead to the same regular file: the same file where
// both exist (devices and pipes, which hold no file to lose, never count),
// else the same path once made absolute and tidied.
bool SameFile(const std::string& a, const std::string& b) {
  struct stat sa {
  }, sb{};
  const bool a_exists = ::stat(a.c_str(), &sa) == 0, b_exists = ::stat(b.c_str(), &sb) == 0;
  if (a_exists && b_exists)
    return S_ISREG(sa.st_mode) && S_ISREG(sb.st_mode) && sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
  if (a_exists != b_exists) return false;
  std::error_code error;
  const auto pa = std::filesystem::absolute(a, error).lexically_normal();
  const auto pb = std::filesystem::absolute(b, error).lexically_normal();
  return !error && pa == pb;
}

// The files written must be neither the file read nor each other: one would
// replace the other, and the run would still report success.
void CheckFilesApart(const Options& o) {
  const std::string input = o.open_grid.empty() ? o.series_file : GridFilePath(o.open_grid);
  const char* input_kind = o.open_grid.empty() ? "the series file" : "the grid file";
  struct Output {
    const char* option;
    std::string file;
  };
  std::vector<Output> outputs;
  if (!o.save_base.empty()) outputs.push_back({"--save", GridFilePath(o.save_base)});
  if (!o.csv_file.empty()) outputs.push_back({"--csv", o.csv_file});
  for (const Output& out : outputs)
    if (SameFile(out.file, input))
      throw UsageError{std::string(out.option) + " would write over " + input_kind + " it reads (" + out.file + ")"};
  if (outputs.size() == 2 && SameFile(outputs[0].file, outputs[1].file))
    throw UsageError{"--save and --csv name the same file (" + outputs[1].file + ")"};
}

int PrintLines(const Dimension& model, bool report, int out_fd, int err_fd) {
  Output out(out_fd);
  if (report) {
    ReportLines lines(model);
    for (std::int64_t i = 0; i < lines.count() && out.ok(); ++i) out.Line(lines.line(i));
  } else {
    ResultLines lines(model);
    for (std::int64_t i = 0; i < lines.count() && out.ok(); ++i) out.Line(lines.line(i));
  }
  if (!out.Flush()) {
    Say(err_fd, "tabulor-batch: the results could not be written to standard output");
    return 1;
  }
  return 0;
}

// Writes the CSV file when one was asked for; 0 when done, else 1.
int ExportCsv(const Evaluation& evaluation, const std::string& file, int err_fd) {
  if (file.empty()) return 0;
  CsvExportResult written;
  {
    TerminalProgress progress(err_fd, "Exporting");
    written = evaluation.ExportCsv(file, progress.fn());
  }
  if (!written.ok) {
    Say(err_fd, "tabulor-batch: " + written.message);
    return 1;
  }
  return 0;
}

bool OpenSeries(Evaluation& evaluation, const std::string& file, int err_fd) {
  SeriesReadResult read;
  {
    TerminalProgress progress(err_fd, "Reading coefficients");
    read = evaluation.OpenSeries(file, progress.fn());
  }
  if (read.outcome == SeriesReadOutcome::NoCoefficients) {
    Say(err_fd, "tabulor-batch: series file \"" + file + "\": NO COEFFICIENTS IN FILE.");
    return false;
  }
  if (read.outcome != SeriesReadOutcome::Ok) {
    Say(err_fd, "tabulor-batch: " + read.message);
    return false;
  }
  return true;
}

// The default grid with the options' changes; false (and told) when an
// option names a variable the series does not have.
bool GridSpec(const Options& o, const Dimension& model, std::array<GridSpecText, kSlots>& spec, int err_fd) {
  std::vector<int> named;
  for (const auto& entry : o.points) named.push_back(entry.first);
  for (const auto& entry : o.der) named.push_back(entry.first);
  for (const auto& entry : o.limits) named.push_back(entry.first);
  for (const auto& entry : o.values) named.push_back(entry.first);
  for (const int k : named)
    if (k > model.LastVar) {
      Say(err_fd, "tabulor-batch: variable " + IntegerText(k) + " is not in the series, which has " +
                      IntegerText(model.LastVar + 1) + " variable(s)");
      return false;
    }
  spec = DefaultGridSpec(model);
  for (const auto& [k, text] : o.points) spec[k].points = text;
  for (const auto& [k, text] : o.der) spec[k].der = text;
  for (const auto& [k, lohi] : o.limits) std::tie(spec[k].lower, spec[k].upper) = lohi;
  for (const auto& [k, xs] : o.values) {
    spec[k].spaced = false;
    spec[k].points = IntegerText(static_cast<std::int64_t>(xs.size()));
    spec[k].values = xs;
  }
  return true;
}

// Captures the grid and computes; the seconds the computation took, or
// nothing (and told) when it failed.
std::optional<double> CaptureAndCompute(Evaluation& evaluation, const std::array<GridSpecText, kSlots>& spec,
                                        int err_fd) {
  if (std::string why = evaluation.CaptureGrids(spec); !why.empty()) {
    Say(err_fd, "tabulor-batch: " + why);
    return std::nullopt;
  }
  ComputeResult result;
  {
    TerminalProgress progress(err_fd, "Computing");
    result = evaluation.Compute(progress.fn());
  }
  if (result.outcome != ComputeOutcome::Ok) {
    Say(err_fd, "tabulor-batch: " + result.message);
    return std::nullopt;
  }
  // From allocating Results to the end of the last transform.
  return result.seconds;
}

int SaveGridFile(Evaluation& evaluation, const std::string& base, int err_fd) {
  if (base.empty()) return 0;
  GridFileResult saved;
  {
    TerminalProgress progress(err_fd, "Saving");
    saved = evaluation.SaveGridFile(base, progress.fn());
  }
  if (saved.ok) return 0;
  Say(err_fd, "tabulor-batch: " + saved.message);
  return 1;
}

int PrintSummary(const Evaluation& evaluation, double seconds, int out_fd) {
  const ResultSummary summary = evaluation.Summarize();
  char buf[32];
  auto r = std::to_chars(buf, buf + sizeof buf, seconds, std::chars_format::fixed, 6);
  Output out(out_fd);
  out.Line("points=" + IntegerText(summary.points) + " seconds=" + std::string(buf, r.ptr) +
           " min=" + NumberText(summary.min) + " max=" + NumberText(summary.max));
  return out.Flush() ? 0 : 1;
}

int RunSeries(const Options& o, int out_fd, int err_fd) {
  Dimension model;
  Evaluation evaluation(model);
  std::array<GridSpecText, kSlots> spec;
  if (!OpenSeries(evaluation, o.series_file, err_fd) || !GridSpec(o, model, spec, err_fd)) return 1;
  const std::optional<double> seconds = CaptureAndCompute(evaluation, spec, err_fd);
  if (!seconds) return 1;
  if (SaveGridFile(evaluation, o.save_base, err_fd) != 0) return 1;
  if (ExportCsv(evaluation, o.csv_file, err_fd) != 0) return 1;
  if (o.summary) return PrintSummary(evaluation, *seconds, out_fd);
  return PrintLines(model, o.report, out_fd, err_fd);
}

int RunOpenGrid(const Options& o, int out_fd, int err_fd) {
  Dimension model;
  Evaluation evaluation(model);
  GridFileResult read;
  {
    TerminalProgress progress(err_fd, "Reading");
    // "run.grd" names the grid file itself, as the window takes it.
    read = evaluation.OpenGridFile(o.open_grid, progress.fn());
  }
  if (!read.ok) {
    Say(err_fd, "tabulor-batch: " + read.message);
    return 1;
  }
  if (ExportCsv(evaluation, o.csv_file, err_fd) != 0) return 1;
  return PrintLines(model, o.report, out_fd, err_fd);
}

}  // namespace

int RunBatch(const std::vector<std::string>& args, int out_fd, int err_fd) {
  Options o;
  try {
    o = ParseArgs(args);
    if (!o.help) CheckFilesApart(o);
  } catch (const UsageError& e) {
    Say(err_fd, "tabulor-batch: " + e.message + "\nTry 'tabulor-batch --help'.");
    return 2;
  }
  if (o.help) {
    Output out(out_fd);
    out.Line(std::string(kHelp, sizeof kHelp - 2));
    return out.Flush() ? 0 : 1;
  }
  try {
    if (!o.open_grid.empty()) return RunOpenGrid(o, out_fd, err_fd);
    return RunSeries(o, out_fd, err_fd);
  } catch (const std::bad_alloc&) {
    // The sizes are checked against the memory limit before the large
    // arrays are made; this is for whatever the system still refuses.
    Say(err_fd, "tabulor-batch: there is not enough memory to go on");
    return 1;
  }
}

}  // namespace tabulor
