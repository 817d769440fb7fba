// The start of the program (guard, splash, main window in its start state),
// About, Help, Exit and the close box.
#include "ui_test_support.h"

#include <QPointer>
#include <QTextBrowser>

#include <chrono>
#include <ctime>

#include "app/sub_main.h"
#include "ui/frm_about.h"
#include "ui/help_window.h"

using namespace tabulor;
using namespace tabulor::test;
using State = FrmTabulor::FormState;

namespace {

class FakePlatform : public DecimalPlatform {
 public:
  explicit FakePlatform(std::string separator) : user(std::move(separator)) {}
  std::string UserDecimalSeparator() override { return user; }
  void SetDecimalSeparator(const std::string& s) override { set << s; }
  std::string user;
  QList<std::string> set;
};

struct Started {
  FakeUser user;
  Dimension model;
  FakePlatform platform;
  DecimalPoint guard;
  StartupOptions options;
  int questions = 0;
  int splashes = 0;
  QPointer<QWidget> splash;
  std::unique_ptr<FrmTabulor> w;

  explicit Started(std::string separator, GuardAnswer answer = GuardAnswer::Yes)
      : platform(std::move(separator)), guard(platform) {
    options.ask = [this, answer](const std::string&, const std::string&) {
      ++questions;
      return answer;
    };
    options.waitSplash = [this](QWidget& s) {
      ++splashes;
      splash = &s;
      QVERIFY(s.isVisible());
      QVERIFY(!QApplication::topLevelWidgets().isEmpty());
      for (QWidget* t : QApplication::topLevelWidgets()) QVERIFY(!qobject_cast<FrmTabulor*>(t) || !t->isVisible());
    };
  }
  ~Started() { w.reset(); }
  void run() { w = Main(model, guard, options, user); }
};

}  // namespace

class TestStartup : public QObject {
  Q_OBJECT

 private slots:
  void pointSeparatorStartsQuietly() {
    Started s(".");
    s.run();
    QVERIFY(s.w);
    QCOMPARE(s.questions, 0);
    QCOMPARE(s.splashes, 1);
    QVERIFY(s.splash.isNull());  // closed and gone
    QVERIFY(s.platform.set.isEmpty());
    FrmTabulor& w = *s.w;
    QVERIFY(w.isVisible());
    QCOMPARE(w.formState(), State::Start);
    QVERIFY(!Ctl<QAction>(w, "mnuSave")->isEnabled() && !Ctl<QAction>(w, "mnuSaveAs")->isEnabled());
    QVERIFY(!Ctl<QAction>(w, "mnuOpen")->isEnabled() && !Ctl<QAction>(w, "mnuPrint")->isEnabled());
    QVERIFY(!Ctl<QAction>(w, "mnuAbout")->isVisible());
    QVERIFY(Ctl<QAction>(w, "mnuHelp")->isEnabled());
    // At the end "." is written back all the same.
    w.close();
    QCOMPARE(s.platform.set, QList<std::string>{"."});
    QCOMPARE(s.user.quits, 1);
  }

  void commaAnsweredYesRunsWithThePoint() {
    for (const std::string sep : {",", "\xC2\xB7", "::"}) {
      Started s(sep, GuardAnswer::Yes);
      s.run();
      QVERIFY(s.w);
      QCOMPARE(s.questions, 1);
      QCOMPARE(s.platform.set, QList<std::string>{"."});
      QTest::mouseClick(Ctl<QPushButton>(*s.w, "cmdExit"), Qt::LeftButton);  // "Exit"
      QCOMPARE(s.platform.set, (QList<std::string>{".", sep}));
      QVERIFY(!s.w->isVisible());
      QCOMPARE(s.user.quits, 1);
    }
  }

  void noOrCancelEndsBeforeTheSplash() {
    for (GuardAnswer a : {GuardAnswer::No, GuardAnswer::Cancel}) {
      Started s(",", a);
      s.run();
      QVERIFY(!s.w);
      QCOMPARE(s.questions, 1);
      QCOMPARE(s.splashes, 0);
      QVERIFY(s.platform.set.isEmpty());
    }
  }

  void closeBoxEndsLikeExit() {
    Started s(",");
    s.run();
    QVERIFY(s.w);
    FrmTabulor& w = *s.w;
    // Open About and Help, then close the window by its close command.
    QTemporaryDir dir;
    s.user.openAnswers << WriteText(dir, "p.ser", kPolySeries);
    QTest::mouseClick(Ctl<QLineEdit>(w, "txtSerFileName"), Qt::LeftButton);
    Ctl<QAction>(w, "mnuAbout")->trigger();
    Ctl<QAction>(w, "mnuHelp")->trigger();
    QPointer<FrmAbout> about = w.aboutWindow();
    QPointer<HelpWindow> help = w.helpWindow();
    QVERIFY(about && about->isVisible() && help && help->isVisible());
    QCloseEvent close;
    QApplication::sendEvent(&w, &close);
    QVERIFY(close.isAccepted());
    QCOMPARE(s.platform.set, (QList<std::string>{".", ","}));
    QCOMPARE(s.user.quits, 1);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(about.isNull() || !about->isVisible());
    QVERIFY(help.isNull() || !help->isVisible());
  }

  void splashAndAboutWindow() {
    FrmAbout about;
    const QStringList lines = FrmAbout::AboutLines();
    QCOMPARE(lines.size(), 12);
    for (int i : {0, 1, 2, 3, 4, 6, 8, 10}) QVERIFY(lines[i].isEmpty());
    QCOMPARE(lines[5], QStringLiteral("Mixed Polynomial & Trigonometric Series Evaluations"));
    for (int i : {7, 9, 11}) QVERIFY(!lines[i].isEmpty());
    QCOMPARE(about.palette().color(QPalette::Window), QColor(Qt::black));
    QCOMPARE(about.palette().color(QPalette::WindowText), QColor(255, 128, 0));
    QVERIFY(about.font().bold());
    QCOMPARE(about.font().pointSize(), 18);
    QVERIFY(about.width() >= 640);
    QCOMPARE(about.height(), 480);
    // The longest line fits.
    QVERIFY(QFontMetrics(about.font()).horizontalAdvance(lines[5]) <= about.width());
    // The text is painted in orange on black.
    about.show();
    QVERIFY(QTest::qWaitForWindowExposed(&about));
    const QImage img = about.grab().toImage();
    bool orange = false;
    for (int y = 0; y < img.height() && !orange; ++y)
      for (int x = 0; x < img.width() && !orange; ++x) orange = img.pixelColor(x, y) == QColor(255, 128, 0);
    QVERIFY(orange);
    QCOMPARE(img.pixelColor(img.width() - 1, img.height() - 1), QColor(Qt::black));
  }

  void aboutIsNotModalAndClosesOnClick() {
    Fixture f;
    FrmTabulor& w = *f.w;
    QVERIFY(f.openSeries(kPolySeries));
    QVERIFY(Ctl<QAction>(w, "mnuAbout")->isVisible());
    Ctl<QAction>(w, "mnuAbout")->trigger();
    QPointer<FrmAbout> about = w.aboutWindow();
    QVERIFY(about && about->isVisible());
    QVERIFY(!about->isModal());
    QVERIFY(!QApplication::activeModalWidget());
    w.activateWindow();
    QApplication::setActiveWindow(&w);
    f.click(Ctl<QPushButton>(w, "cmdNextVar"));  // the main window is usable meanwhile
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(f.set(0).txtLLgrid));
    QTest::mouseClick(about.data(), Qt::LeftButton, {}, QPoint(100, 100));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(about.isNull());
  }

  void helpShowsTheShippedText() {
    Fixture f;
    Ctl<QAction>(*f.w, "mnuHelp")->trigger();
    HelpWindow* help = f.w->helpWindow();
    QVERIFY(help && help->isVisible());
    const QString text = help->plainText();
    QVERIFY(text.contains("Using the window"));
    QVERIFY(text.contains("The series file"));
    QVERIFY(text.contains("0,x,0,1,0,#TRUE#,*,2,#TRUE#,1,2,3"));
    QVERIFY(text.contains("The grid file"));
    QVERIFY(text.contains("The decimal separator"));
    QVERIFY(f.user.messages.isEmpty());
  }

  void missingHelpTextIsReported() {
    Fixture f;
    f.user.helpResource = QStringLiteral(":/tabulor/help/nothing-here.html");
    Ctl<QAction>(*f.w, "mnuHelp")->trigger();
    QCOMPARE(f.user.messages.size(), 1);
    QVERIFY(f.user.messages.first().contains("missing"));
    QVERIFY(!f.w->helpWindow());
  }

  void splashDeadlineIsTwoToThreeSeconds() {
    using namespace std::chrono;
    const auto base = system_clock::time_point(seconds(1'700'000'000));
    for (int ms : {0, 1, 250, 500, 999}) {
      const auto shown = base + milliseconds(ms);
      const auto wait = SplashDeadline(shown) - shown;
      QVERIFY(wait > seconds(2));
      QVERIFY(wait <= seconds(3));
    }
  }

  void realSplashWaitSleeps() {
    FrmAbout splash;
    splash.show();
    const auto start = std::chrono::steady_clock::now();
    const std::clock_t cpu = std::clock();
    WaitSplash(splash);
    const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const double used = static_cast<double>(std::clock() - cpu) / CLOCKS_PER_SEC;
    QVERIFY2(elapsed > 2.0, qPrintable(QString::number(elapsed)));
    QVERIFY2(used < 0.5, qPrintable(QString::number(used)));  // waited, did not spin
  }
};

QTEST_MAIN(TestStartup)
#include "test_startup.moc"
