// The decimal separator guard: its logic over a fake platform, and the real
// Linux platform under a German locale.
#include "ui_test_support.h"

#include <locale.h>

#include <QLocale>

#include <cstdio>
#include <cstdlib>

#include "app/decimal_point.h"

using namespace tabulor;
using namespace tabulor::test;

namespace {

class FakePlatform : public DecimalPlatform {
 public:
  explicit FakePlatform(std::string separator) : user(std::move(separator)) {}
  std::string UserDecimalSeparator() override {
    ++reads;
    return user;
  }
  void SetDecimalSeparator(const std::string& s) override { set.push_back(s); }
  std::string user;
  int reads = 0;
  std::vector<std::string> set;
};

struct Asked {
  int count = 0;
  std::string title, text;
  GuardAnswer answer = GuardAnswer::Yes;
  GuardQuestion fn() {
    return [this](const std::string& t, const std::string& x) {
      ++count;
      title = t;
      text = x;
      return answer;
    };
  }
};

std::string Printed(double v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.1f", v);
  return buf;
}

bool GermanLocaleInstalled() {
  locale_t loc = newlocale(LC_NUMERIC_MASK, "de_DE.UTF-8", static_cast<locale_t>(0));
  if (loc == static_cast<locale_t>(0)) return false;
  freelocale(loc);
  return true;
}

// Sets the three variables for one case and puts them back afterwards.
class Env {
 public:
  Env(const char* all, const char* numeric, const char* lang) {
    for (const char* v : {"LC_ALL", "LC_NUMERIC", "LANG"}) {
      const char* old = std::getenv(v);
      saved_.push_back({v, old ? std::optional<std::string>(old) : std::nullopt});
    }
    Put("LC_ALL", all);
    Put("LC_NUMERIC", numeric);
    Put("LANG", lang);
  }
  ~Env() {
    for (auto& [name, value] : saved_) Put(name, value ? value->c_str() : nullptr);
  }

 private:
  static void Put(const char* name, const char* value) {
    if (value)
      setenv(name, value, 1);
    else
      unsetenv(name);
  }
  std::vector<std::pair<const char*, std::optional<std::string>>> saved_;
};

}  // namespace

class TestDecimalPoint : public QObject {
  Q_OBJECT

 private slots:
  void pointShowsNothingAndIsWrittenBack() {
    FakePlatform p(".");
    DecimalPoint guard(p);
    Asked ask;
    QVERIFY(guard.CheckDecimalSeparator(ask.fn()));
    QCOMPARE(ask.count, 0);
    QVERIFY(p.set.empty());
    QCOMPARE(guard.SavedDecimal(), std::string("."));
    guard.RestoreDecimalSeparator();
    QCOMPARE(p.set, std::vector<std::string>{"."});
  }

  void otherSeparatorsAskAndAreRestoredExactly() {
    for (const std::string sep : {",", "\xC2\xB7", "::"}) {
      FakePlatform p(sep);
      DecimalPoint guard(p);
      Asked ask;
      QVERIFY(guard.CheckDecimalSeparator(ask.fn()));
      QCOMPARE(ask.count, 1);
      QCOMPARE(ask.title, std::string("Decimal Comma Warning!"));
      QCOMPARE(p.set, std::vector<std::string>{"."});
      guard.RestoreDecimalSeparator();
      QCOMPARE(p.set, (std::vector<std::string>{".", sep}));
      QCOMPARE(p.reads, 1);  // read once, before anything changed
    }
  }

  void noOrCancelChangesNothing() {
    for (GuardAnswer a : {GuardAnswer::No, GuardAnswer::Cancel}) {
      FakePlatform p(",");
      DecimalPoint guard(p);
      Asked ask;
      ask.answer = a;
      QVERIFY(!guard.CheckDecimalSeparator(ask.fn()));
      QVERIFY(p.set.empty());
    }
  }

  void separatorEndsAtANul() {
    FakePlatform p(std::string(",\0x", 3));
    DecimalPoint guard(p);
    guard.ReadDecimalSeparator();
    QCOMPARE(guard.SavedDecimal(), std::string(","));
  }

  void warningText() {
    const QStringList lines = QString::fromStdString(DecimalPoint::WarningText()).split('\n');
    QCOMPARE(lines.size(), 8);
    QCOMPARE(lines[0], QStringLiteral("Proper operation of this application requires the use of the DECIMAL POINT."));
    QCOMPARE(lines[1], QStringLiteral("Your system is currently using the DECIMAL COMMA."));
    QCOMPARE(lines[2], QString());
    QCOMPARE(lines[3], QStringLiteral("Do you wish to temporarily change this system setting to decimal point?"));
    QCOMPARE(lines[4], QStringLiteral("(Upon exiting, this application will restore your setting.)"));
    QVERIFY(lines[5].startsWith('(') && lines[5].endsWith(')'));
    QVERIFY(lines[5].contains("Help"));
    QVERIFY(!lines[5].contains("http") && !lines[5].contains("www") && !lines[5].contains("web"));
    QCOMPARE(lines[6], QString());
    QCOMPARE(lines[7], QStringLiteral("Press YES to change."));
  }

  void linuxReadsTheNumericLocaleOfTheEnvironment() {
    if (!GermanLocaleInstalled()) QSKIP("the de_DE.UTF-8 locale is not installed (scripts/setup.sh makes it)");
    LinuxDecimalPlatform platform;
    {
      Env e("de_DE.UTF-8", nullptr, nullptr);
      QCOMPARE(platform.UserDecimalSeparator(), std::string(","));
    }
    {
      Env e("", "de_DE.UTF-8", "C");  // an empty LC_ALL does not count
      QCOMPARE(platform.UserDecimalSeparator(), std::string(","));
    }
    {
      Env e(nullptr, nullptr, "de_DE.UTF-8");
      QCOMPARE(platform.UserDecimalSeparator(), std::string(","));
    }
    {
      Env e("C", "de_DE.UTF-8", "de_DE.UTF-8");  // LC_ALL comes first
      QCOMPARE(platform.UserDecimalSeparator(), std::string("."));
    }
    {
      Env e(nullptr, "no_SUCH.locale", nullptr);
      QCOMPARE(platform.UserDecimalSeparator(), std::string("."));
    }
    {
      Env e(nullptr, nullptr, nullptr);
      QCOMPARE(platform.UserDecimalSeparator(), std::string("."));
    }
  }

  void realGuardUnderGermanLocale() {
    if (!GermanLocaleInstalled()) QSKIP("the de_DE.UTF-8 locale is not installed (scripts/setup.sh makes it)");
    Env e("de_DE.UTF-8", nullptr, nullptr);
    // The process as the user's environment sets it up.
    setlocale(LC_NUMERIC, "");
    QLocale::setDefault(QLocale::system());
    QCOMPARE(Printed(1.5), std::string("1,5"));

    LinuxDecimalPlatform platform;
    DecimalPoint guard(platform);
    guard.ReadDecimalSeparator();
    QCOMPARE(guard.SavedDecimal(), std::string(","));
    QCOMPARE(Printed(1.5), std::string("1,5"));  // reading changed nothing

    Asked ask;
    QVERIFY(guard.CheckDecimalSeparator(ask.fn()));
    QCOMPARE(ask.count, 1);
    QCOMPARE(Printed(1.5), std::string("1.5"));
    QCOMPARE(QLocale().decimalPoint(), QStringLiteral("."));
    QCOMPARE(QLocale().toString(2.5), QStringLiteral("2.5"));

    // The window writes numbers with the point in any case.
    {
      Fixture f;
      setlocale(LC_NUMERIC, "");
      QVERIFY(f.openSeries(kPolySeries));
      f.click(Ctl<QPushButton>(*f.w, "cmdCompute"));
      QCOMPARE(Ctl<ResultsList>(*f.w, "lstCoeff")->lineText(3), ValueLineText("x=0.5", "2.75"));
    }
    setlocale(LC_NUMERIC, "C");

    guard.RestoreDecimalSeparator();
    QCOMPARE(Printed(1.5), std::string("1,5"));
    setlocale(LC_NUMERIC, "C");
    QLocale::setDefault(QLocale::c());
  }
};

QTEST_MAIN(TestDecimalPoint)
#include "test_decimal_point.moc"
