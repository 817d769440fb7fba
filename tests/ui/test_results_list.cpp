// The results list: lines made only when painted, so 10^8 lines appear at
// once; selection by click and keys.
#include "ui_test_support.h"

#include <QScrollBar>

#include <atomic>

using namespace tabulor;
using namespace tabulor::test;

namespace {

// Line i reads "line i"; counts the lines asked for.
class CountingSource : public LineSource {
 public:
  explicit CountingSource(std::int64_t n) : n_(n) {}
  std::int64_t count() const override { return n_; }
  std::string line(std::int64_t i) const override {
    ++asked;
    return "line " + std::to_string(i);
  }
  mutable std::atomic<std::int64_t> asked{0};

 private:
  std::int64_t n_;
};

class FixedLines : public LineSource {
 public:
  explicit FixedLines(std::vector<std::string> lines) : lines_(std::move(lines)) {}
  std::int64_t count() const override { return static_cast<std::int64_t>(lines_.size()); }
  std::string line(std::int64_t i) const override { return lines_[static_cast<std::size_t>(i)]; }

 private:
  std::vector<std::string> lines_;
};

}  // namespace

class TestResultsList : public QObject {
  Q_OBJECT

 private slots:
  void hundredMillionLinesPaintOnlyWhatShows() {
    ResultsList list;
    list.resize(400, 300);
    auto source = std::make_shared<CountingSource>(100'000'000);
    list.setSource(source);
    list.show();
    QVERIFY(QTest::qWaitForWindowExposed(&list));
    (void)list.grab();
    QCOMPARE(list.count(), std::int64_t{100'000'000});
    const int rows = list.visibleRows();
    QVERIFY(rows > 5);
    QVERIFY2(source->asked < 4 * (rows + 1), qPrintable(QString::number(source->asked.load())));
    QTRY_VERIFY(list.verticalScrollBar()->isVisible());

    // The end of the list is one key away.
    list.setFocus();
    QTest::keyClick(&list, Qt::Key_End);
    QCOMPARE(list.currentRow(), std::int64_t{99'999'999});
    QCOMPARE(list.topRow(), std::int64_t{100'000'000} - rows);
    QCOMPARE(list.lineText(list.currentRow()), QStringLiteral("line 99999999"));
    source->asked = 0;
    (void)list.grab();
    QVERIFY(source->asked < 4 * (rows + 1));

    // The scroll bar reaches every part of the list.
    QScrollBar* bar = list.verticalScrollBar();
    bar->setValue(bar->maximum() / 2);
    QVERIFY(std::llabs(list.topRow() - 50'000'000) < 100);
    bar->setValue(bar->maximum());
    QCOMPARE(list.topRow(), std::int64_t{100'000'000} - rows);
    bar->setValue(0);
    QCOMPARE(list.topRow(), std::int64_t{0});
  }

  void beyondTheScrollBarRange() {
    // More lines than an int counts: the scroll bar moves in proportion.
    ResultsList list;
    list.resize(300, 200);
    list.setSource(std::make_shared<CountingSource>(5'000'000'000LL));
    list.show();
    QVERIFY(QTest::qWaitForWindowExposed(&list));
    list.setFocus();
    QTest::keyClick(&list, Qt::Key_End);
    QCOMPARE(list.currentRow(), std::int64_t{4'999'999'999LL});
    QCOMPARE(list.lineText(list.currentRow()), QStringLiteral("line 4999999999"));
    QScrollBar* bar = list.verticalScrollBar();
    QCOMPARE(bar->value(), bar->maximum());
    QTest::keyClick(&list, Qt::Key_Home);
    QCOMPARE(list.topRow(), std::int64_t{0});
    QCOMPARE(bar->value(), 0);
  }

  // The blanks that end each line give no horizontal scroll bar.
  void trailingBlanksAreNotScrolledTo() {
    ResultsList list;
    list.resize(300, 200);
    list.setSource(std::make_shared<FixedLines>(
        std::vector<std::string>{"x=1" + std::string(30, ' ') + "VALUE=2" + std::string(70, ' ')}));
    list.show();
    QVERIFY(QTest::qWaitForWindowExposed(&list));
    QTest::qWait(20);
    QCOMPARE(list.horizontalScrollBar()->maximum(), 0);
    // A line whose text is wider than the list does scroll.
    list.setSource(std::make_shared<FixedLines>(std::vector<std::string>{std::string(100, 'x')}));
    list.viewport()->repaint();
    QTRY_VERIFY(list.horizontalScrollBar()->maximum() > 0);
  }

  void selectionByClickAndKeys() {
    ResultsList list;
    list.resize(300, 200);
    list.setSource(std::make_shared<CountingSource>(1000));
    list.show();
    QVERIFY(QTest::qWaitForWindowExposed(&list));
    QCOMPARE(list.currentRow(), std::int64_t{-1});
    const int h = list.rowHeight();
    QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, QPoint(10, 2 * h + h / 2));
    QCOMPARE(list.currentRow(), std::int64_t{2});
    QTest::keyClick(&list, Qt::Key_Down);
    QCOMPARE(list.currentRow(), std::int64_t{3});
    QTest::keyClick(&list, Qt::Key_Up);
    QTest::keyClick(&list, Qt::Key_Up);
    QCOMPARE(list.currentRow(), std::int64_t{1});
    QTest::keyClick(&list, Qt::Key_PageDown);
    QCOMPARE(list.currentRow(), std::int64_t{1 + list.visibleRows() - 1});
    QTest::keyClick(&list, Qt::Key_Home);
    QTest::keyClick(&list, Qt::Key_Up);  // stays on the first line
    QCOMPARE(list.currentRow(), std::int64_t{0});
    // A click below the last line selects nothing new.
    list.setSource(std::make_shared<CountingSource>(2));
    QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, QPoint(10, 5 * h));
    QCOMPARE(list.currentRow(), std::int64_t{-1});
  }

  void clickingALineInTheWindowOnlySelects() {
    Fixture f;
    FrmTabulor& w = *f.w;
    QVERIFY(f.openSeries(kPolySeries));
    f.click(Ctl<QPushButton>(w, "cmdCompute"));
    const QStringList before = f.listLines();
    const int h = Ctl<ResultsList>(w, "lstCoeff")->rowHeight();
    for (int row : {0, 1, 3}) {
      QTest::mouseClick(Ctl<ResultsList>(w, "lstCoeff")->viewport(), Qt::LeftButton, {}, QPoint(20, row * h + h / 2));
      QCOMPARE(Ctl<ResultsList>(w, "lstCoeff")->currentRow(), std::int64_t{row});
    }
    QCOMPARE(f.listLines(), before);
    // A short list needs no scroll bar.
    QTest::qWait(20);
    QVERIFY(!Ctl<ResultsList>(w, "lstCoeff")->verticalScrollBar()->isVisible());
    QCOMPARE(w.formState(), FrmTabulor::FormState::Computed);
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(Ctl<ResultsList>(w, "lstCoeff")));
  }
};

QTEST_MAIN(TestResultsList)
#include "test_results_list.moc"
