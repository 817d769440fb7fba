// The decimal separator guard: the program writes and reads numbers with the
// point, so at start it checks the user's decimal separator and, when it is
// something else, asks to use the point for the run; at the end it puts the
// user's setting back.
#pragma once

#include <functional>
#include <string>

namespace tabulor {

// Where the user's decimal separator lives.
class DecimalPlatform {
 public:
  virtual ~DecimalPlatform() = default;
  // The decimal separator of the user's number format.
  virtual std::string UserDecimalSeparator() = 0;
  // Makes the program use `separator`: "." or the user's own.
  virtual void SetDecimalSeparator(const std::string& separator) = 0;
};

// On Linux the user's number format is that of the numeric locale that the
// environment selects (LC_ALL, then LC_NUMERIC, then LANG). The setting is
// the user's; the program changes only its own process: "." gives the "C"
// numeric locale and Qt's C locale, the user's separator gives the user's
// locale back.
class LinuxDecimalPlatform : public DecimalPlatform {
 public:
  std::string UserDecimalSeparator() override;
  void SetDecimalSeparator(const std::string& separator) override;
  // The locale name the environment selects for numbers ("C" when none).
  static std::string NumericLocaleName();
};

enum class GuardAnswer { Yes, No, Cancel };

// Shows the warning (title, text) and returns the button pressed.
using GuardQuestion = std::function<GuardAnswer(const std::string& title, const std::string& text)>;

class DecimalPoint {
 public:
  explicit DecimalPoint(DecimalPlatform& platform) : platform_(platform) {}

  void ReadDecimalSeparator();
  void SetDecimalPoint();
  void RestoreDecimalSeparator();
  // True when the program may go on: the separator was "." or the user
  // answered Yes. False when the user declined: the program ends.
  bool CheckDecimalSeparator(const GuardQuestion& ask);

  const std::string& SavedDecimal() const { return saved_decimal_; }

  static std::string WarningTitle();
  static std::string WarningText();

 private:
  DecimalPlatform& platform_;
  std::string saved_decimal_;
  bool read_ = false;
};

// The real question: a message box with the stop icon and Yes, No, Cancel.
GuardAnswer AskDecimalQuestion(const std::string& title, const std::string& text);

}  // namespace tabulor
