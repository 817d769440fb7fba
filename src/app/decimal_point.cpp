#include "app/decimal_point.h"

#include <langinfo.h>
#include <locale.h>

#include <QLocale>
#include <QMessageBox>

#include <cstdlib>

namespace tabulor {

std::string LinuxDecimalPlatform::NumericLocaleName() {
  for (const char* var : {"LC_ALL", "LC_NUMERIC", "LANG"}) {
    const char* value = std::getenv(var);
    if (value && *value) return value;
  }
  return "C";
}

std::string LinuxDecimalPlatform::UserDecimalSeparator() {
  // A locale object of its own: the process's locale is left alone.
  locale_t loc = newlocale(LC_NUMERIC_MASK, NumericLocaleName().c_str(), static_cast<locale_t>(0));
  if (loc == static_cast<locale_t>(0)) return ".";  // an unknown locale works as "C"
  const char* radix = nl_langinfo_l(RADIXCHAR, loc);
  std::string separator = radix ? radix : ".";
  freelocale(loc);
  return separator;
}

void LinuxDecimalPlatform::SetDecimalSeparator(const std::string& separator) {
  if (separator == ".") {
    setlocale(LC_NUMERIC, "C");
    QLocale::setDefault(QLocale::c());
  } else {
    setlocale(LC_NUMERIC, "");
    QLocale::setDefault(QLocale::system());
  }
}

void DecimalPoint::ReadDecimalSeparator() {
  std::string s = platform_.UserDecimalSeparator();
  // Only the characters before a NUL count.
  if (auto nul = s.find('\0'); nul != std::string::npos) s.resize(nul);
  saved_decimal_ = s;
  read_ = true;
}

void DecimalPoint::SetDecimalPoint() { platform_.SetDecimalSeparator("."); }

void DecimalPoint::RestoreDecimalSeparator() {
  if (!read_) return;  // nothing was read, so nothing was changed
  platform_.SetDecimalSeparator(saved_decimal_);
}

std::string DecimalPoint::WarningTitle() { return "Decimal Comma Warning!"; }

std::string DecimalPoint::WarningText() {
  return "Proper operation of this application requires the use of the DECIMAL POINT.\n"
         "Your system is currently using the DECIMAL COMMA.\n"
         "\n"
         "Do you wish to temporarily change this system setting to decimal point?\n"
         "(Upon exiting, this application will restore your setting.)\n"
         "(To use the decimal point permanently, see \"The decimal separator\" in Help.)\n"
         "\n"
         "Press YES to change.";
}

bool DecimalPoint::CheckDecimalSeparator(const GuardQuestion& ask) {
  ReadDecimalSeparator();
  if (saved_decimal_ == ".") return true;
  if (ask(WarningTitle(), WarningText()) != GuardAnswer::Yes) return false;
  SetDecimalPoint();
  return true;
}

GuardAnswer AskDecimalQuestion(const std::string& title, const std::string& text) {
  QMessageBox box(QMessageBox::Critical, QString::fromStdString(title), QString::fromStdString(text),
                  QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
  box.setDefaultButton(QMessageBox::Yes);
  switch (box.exec()) {
    case QMessageBox::Yes: return GuardAnswer::Yes;
    case QMessageBox::No: return GuardAnswer::No;
    default: return GuardAnswer::Cancel;
  }
}

}  // namespace tabulor
