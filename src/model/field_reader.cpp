#include "model/field_reader.h"

#include <unistd.h>

#include <charconv>
#include <cmath>

#include "model/number_text.h"
#include "platform/file_io.h"

namespace tabulor {

namespace {
constexpr std::size_t kBufferSize = 1 << 20;
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
bool IsBlank(char c) { return c == ' ' || c == '\t'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
}  // namespace

FieldReader::FieldReader(std::string_view data)
    : begin_(data.data()), cur_(data.data()), end_(data.data() + data.size()) {
  SkipByteOrderMark();
}

FieldReader::FieldReader(int fd) : fd_(fd), buffer_(kBufferSize) {
  begin_ = cur_ = end_ = buffer_.data();
  // Enough of the start to tell a byte order mark, which a pipe may hand
  // over a byte at a time.
  while (static_cast<std::size_t>(end_ - begin_) < kByteOrderMark.size() &&
         kByteOrderMark.substr(0, static_cast<std::size_t>(end_ - begin_)) ==
             std::string_view(begin_, static_cast<std::size_t>(end_ - begin_))) {
    const std::size_t have = static_cast<std::size_t>(end_ - begin_);
    const ssize_t n = ReadSome(fd_, buffer_.data() + have, buffer_.size() - have);
    if (n <= 0) {
      read_error_ = n < 0;
      break;
    }
    end_ += n;
  }
  SkipByteOrderMark();
}

void FieldReader::SkipByteOrderMark() {
  // Editors on other systems put the UTF-8 byte order mark in front of a
  // text file; it is not part of the first field.
  if (std::string_view(cur_, static_cast<std::size_t>(end_ - cur_)).substr(0, kByteOrderMark.size()) == kByteOrderMark)
    cur_ += kByteOrderMark.size();
}

FieldReader::~FieldReader() {
  if (fd_ >= 0) ::close(fd_);
}

bool FieldReader::Fill() {
  if (cur_ < end_) return true;
  if (fd_ < 0 || read_error_) return false;
  consumed_before_ += static_cast<std::uint64_t>(end_ - begin_);
  const ssize_t n = ReadSome(fd_, buffer_.data(), buffer_.size());
  if (n <= 0) {
    if (n < 0) read_error_ = true;
    begin_ = cur_ = end_ = buffer_.data();
    return false;
  }
  begin_ = cur_ = buffer_.data();
  end_ = begin_ + n;
  return true;
}

bool FieldReader::PeekChar(char& c) {
  if (cur_ == end_ && !Fill()) return false;
  c = *cur_;
  return true;
}

void FieldReader::EndOfLine(char c) {
  // Called with the CR or LF just consumed; CR LF counts as one line end.
  if (c == '\r') {
    char next;
    if (PeekChar(next) && next == '\n') ++cur_;
  }
  ++line_;
}

bool FieldReader::Fail(std::string_view what, std::string_view problem) {
  problem_ = problem;
  error_ = "field " + IntegerText(field_number_) + " on line " + IntegerText(field_line_);
  if (!what.empty()) {
    error_ += " (";
    error_ += what;
    error_ += ")";
  }
  error_ += ": ";
  error_ += problem;
  return false;
}

void FieldReader::NameFailedField(std::string_view what) {
  const std::string problem = problem_;
  Fail(what, problem);
}

bool FieldReader::ReadPlainNumber(double& out) {
  const char* p = cur_;
  while (p < end_ && IsBlank(*p)) ++p;
  if (p == end_ || !(IsDigit(*p) || *p == '-' || *p == '.')) return false;
  // from_chars reads what the leading-number rule reads from such a text
  // (an optional minus, digits, point, fraction, exponent) with the same
  // rounding; anything it does not read to a finite double (a plus sign,
  // "inf", "nan", overflow, underflow) takes the general way.
  double value;
  const auto r = std::from_chars(p, end_, value);
  if (r.ec != std::errc() || !std::isfinite(value)) return false;
  // Only blanks may follow up to the delimiter, which must be in the buffer
  // (a field cut by the buffer's end, other characters behind the number, a
  // NUL byte or an overlong field take the general way).
  const char* q = r.ptr;
  while (q < end_ && IsBlank(*q)) ++q;
  if (q == end_ || (*q != ',' && *q != '\r' && *q != '\n') || static_cast<std::size_t>(q - p) > kMaxFieldLength)
    return false;
  ++field_number_;
  field_line_ = line_;
  cur_ = q + 1;
  if (*q == '\r' || *q == '\n') EndOfLine(*q);
  out = value;
  return true;
}

bool FieldReader::NextField(std::string_view what, bool& quoted) {
  field_.clear();
  quoted = false;
  char c;
  // Blanks in front of the field.
  while (PeekChar(c) && IsBlank(c)) ++cur_;
  ++field_number_;
  field_line_ = line_;
  if (!PeekChar(c)) {
    if (read_error_) return Fail(what, "the file could not be read to its end");
    return Fail(what, "the file ends before this field");
  }
  if (c != '"') return PlainField(what);
  quoted = true;
  ++cur_;
  return QuotedField(what);
}

bool FieldReader::CopyRun(std::string_view what, char stop) {
  const char* p = cur_;
  while (p < end_ && *p != stop && *p != '\r' && *p != '\n' && *p != '\0') ++p;
  if (field_.size() + static_cast<std::size_t>(p - cur_) > kMaxFieldLength)
    return Fail(what, "the field is longer than " + IntegerText(kMaxFieldLength) + " characters");
  field_.append(cur_, p);
  cur_ = p;
  return true;
}

bool FieldReader::QuotedField(std::string_view what) {
  for (;;) {
    if (cur_ == end_ && !Fill())
      return Fail(what, read_error_ ? "the file could not be read to its end" : "a quoted text is never closed");
    // Copy up to the closing quote or the buffer's end.
    if (!CopyRun(what, '"')) return false;
    if (cur_ == end_) continue;
    char d = *cur_++;
    if (d == '"') break;
    if (d == '\0') return Fail(what, "the field holds a NUL byte");
    field_.push_back(d);
    if (d == '\n') {
      ++line_;
    } else if (d == '\r') {
      char next;
      if (PeekChar(next) && next == '\n') {
        field_.push_back('\n');
        ++cur_;
      }
      ++line_;
    }
  }
  // Anything up to the next comma or line end is dropped.
  char c;
  while (PeekChar(c)) {
    ++cur_;
    if (c == ',') break;
    if (c == '\r' || c == '\n') {
      EndOfLine(c);
      break;
    }
    if (c == '\0') return Fail(what, "the field holds a NUL byte");
  }
  return true;
}

bool FieldReader::PlainField(std::string_view what) {
  for (;;) {
    if (cur_ == end_ && !Fill()) {
      if (read_error_) return Fail(what, "the file could not be read to its end");
      break;  // the last field of the file
    }
    if (!CopyRun(what, ',')) return false;
    if (cur_ == end_) continue;
    char d = *cur_++;
    if (d == '\0') return Fail(what, "the field holds a NUL byte");
    if (d == '\r' || d == '\n') EndOfLine(d);
    break;
  }
  while (!field_.empty() && IsBlank(field_.back())) field_.pop_back();
  return true;
}

bool FieldReader::ReadText(std::string& out, std::string_view what) {
  bool quoted;
  if (!NextField(what, quoted)) return false;
  out = field_;
  return true;
}

bool FieldReader::ReadNumber(double& out, std::string_view what) {
  return ReadPlainNumber(out) || ReadNumberGeneral(out, what);
}

bool FieldReader::ReadNumberGeneral(double& out, std::string_view what) {
  bool quoted;
  if (!NextField(what, quoted)) return false;
  LeadingNumberResult r = ParseLeadingNumber(field_);
  if (r.status == NumberStatus::Overflow)
    return Fail(what, "the number " + field_.substr(0, 40) + " is too large for a double");
  // Also "1.#INF", whose leading number 1 is not what it means.
  if (NamesNonFiniteNumber(field_)) return Fail(what, "\"" + field_.substr(0, 40) + "\" is not a finite number");
  out = r.status == NumberStatus::Ok ? r.value : 0.0;
  return true;
}

bool FieldReader::ReadInteger(std::int32_t& out, std::string_view what) {
  double value = 0.0;
  if (!ReadNumberGeneral(value, what)) return false;  // its text is named below
  if (!RoundToInt32(value, out))
    return Fail(what, "the number " + field_.substr(0, 40) + " is beyond the 32-bit range");
  return true;
}

bool FieldReader::ReadBoolean(bool& out, std::string_view what) {
  bool quoted;
  if (!NextField(what, quoted)) return false;
  if (!quoted && field_ == "#TRUE#") {
    out = true;
    return true;
  }
  if (!quoted && field_ == "#FALSE#") {
    out = false;
    return true;
  }
  return Fail(what, "\"" + field_.substr(0, 40) + "\" is neither #TRUE# nor #FALSE#");
}

}  // namespace tabulor
