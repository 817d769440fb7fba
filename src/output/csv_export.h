// The results as comma-separated values for spreadsheets and scripts.
//
// The first line names the columns: the variables 0..LastVar, then "value".
// Then one line per grid point, variable 0 fastest and the last variable
// slowest (the order of the results list): the grid value of every variable,
// then the value there. Numbers are in the number text (at most 15
// significant digits, the point as decimal separator, whatever the locale).
// A field holding a comma, a double quote, a CR or an LF, or beginning or
// ending with a blank or a tab, is enclosed in double quotes with its double
// quotes doubled (RFC 4180). Every line, the last included, ends in CR LF.
#pragma once

#include <string>
#include <string_view>

#include "model/dimension.h"
#include "model/progress.h"
#include "platform/atomic_file.h"

namespace tabulor {

struct CsvExportResult {
  bool ok = false;
  std::string message;  // when not ok: names the file and the reason
};

// One field as written: the text itself, or quoted when it must be.
std::string CsvField(std::string_view text);

// The whole text WriteCsvFile writes; empty when the model holds no results
// for its grid. For tests and small results.
std::string CsvText(const Dimension& model);

// Hands the whole text, in pieces of about a megabyte, to `sink`. Refused
// (with a message) when the model holds no results for its grid; fails when
// the sink returns false or progress asks to stop.
CsvExportResult WriteCsvTo(const Dimension& model, const ByteSink& sink, const ProgressFn& progress = nullptr);

// Writes the model's results to `path` (no extension is added), whole or not
// at all (WriteFileAtomically): a refused, failed or cancelled export leaves
// any existing file as it was. Progress counts grid points; returning
// false from it cancels.
CsvExportResult WriteCsvFile(const Dimension& model, const std::string& path, const ProgressFn& progress = nullptr);

}  // namespace tabulor
