// Reads the fields of the series and grid files: a field ends at a comma or
// a line end (CR LF, CR or LF); blanks and tabs in front are skipped; a text
// may be quoted; numbers use the point whatever the locale; Booleans are
// "#TRUE#" and "#FALSE#"; a field without a number reads as 0; reading past
// the end is an error. A UTF-8 byte order mark at the very start is skipped.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tabulor {

class FieldReader {
 public:
  // The longest field accepted; a longer one is refused.
  static constexpr std::size_t kMaxFieldLength = 65536;

  // Reads from memory.
  explicit FieldReader(std::string_view data);
  // Reads from an open file descriptor (see OpenToRead in
  // platform/file_io.h), which the reader closes.
  explicit FieldReader(int fd);
  ~FieldReader();
  FieldReader(const FieldReader&) = delete;
  FieldReader& operator=(const FieldReader&) = delete;

  // Each read returns false on a problem and leaves the message in error().
  // `what` names the field for that message ("lower limit of variable 0").
  bool ReadText(std::string& out, std::string_view what);
  bool ReadNumber(double& out, std::string_view what);
  bool ReadInteger(std::int32_t& out, std::string_view what);
  bool ReadBoolean(bool& out, std::string_view what);

  // As ReadNumber, but the field's name is asked of what() only when there is
  // an error: for long runs of numbers, whose names cost more to make than
  // the numbers cost to read.
  template <class What>
  bool ReadNumberNamedOnError(double& out, const What& what) {
    if (ReadNumber(out, {})) return true;
    NameFailedField(what());
    return false;
  }

  // "field 7 on line 7 (lower limit of variable 0): the file ends before this field".
  const std::string& error() const { return error_; }
  std::int64_t field_number() const { return field_number_; }
  std::int64_t line_number() const { return field_line_; }
  // Bytes consumed so far (for progress).
  std::uint64_t bytes_read() const { return consumed_before_ + static_cast<std::uint64_t>(cur_ - begin_); }

 private:
  bool Fill();  // false at the end of the data
  void SkipByteOrderMark();
  bool PeekChar(char& c);
  // Reads one raw field; false with error_ set on a problem.
  bool NextField(std::string_view what, bool& quoted);
  // The rest of a quoted field (after its opening quote), or of a plain one.
  bool QuotedField(std::string_view what);
  bool PlainField(std::string_view what);
  // Copies the buffered characters up to `stop`, a line end or a NUL byte
  // into the field; false when the field grows too long.
  bool CopyRun(std::string_view what, char stop);
  void EndOfLine(char c);
  bool Fail(std::string_view what, std::string_view problem);
  // Makes error() again for the field that just failed, naming it `what`.
  void NameFailedField(std::string_view what);
  // A number field as most files write it: unquoted, wholly in the buffer,
  // a plain decimal number. False (nothing consumed) for anything else.
  // Leaves field_ as it was.
  bool ReadPlainNumber(double& out);
  // ReadNumber through NextField: field_ holds the field's text.
  bool ReadNumberGeneral(double& out, std::string_view what);

  int fd_ = -1;
  std::vector<char> buffer_;
  const char* begin_ = nullptr;
  const char* cur_ = nullptr;
  const char* end_ = nullptr;
  std::uint64_t consumed_before_ = 0;
  bool read_error_ = false;

  std::string field_;
  std::string error_;
  std::string problem_;  // the last failure without the field's name
  std::int64_t field_number_ = 0;
  std::int64_t line_ = 1;
  std::int64_t field_line_ = 1;
};

}  // namespace tabulor
