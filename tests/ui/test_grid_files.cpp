// Grid files from the window: "Save", "Save As", and opening a grid file
// through the grid file name box.
#include "ui_test_support.h"

#include "real_dialogs.h"

#include <sys/resource.h>

#include <QFileDialog>
#include <QGroupBox>
#include <QMessageBox>
#include <QProgressDialog>
#include <QTimer>

#include <csignal>

using namespace tabulor;
using namespace tabulor::test;
using State = FrmTabulor::FormState;

namespace {

// Computes the two-variable example with 3 points for x and 3 for y, y's
// derivative order 1 and y's grid typed by hand.
void ComputeTwoVariables(Fixture& f) {
  FrmTabulor& w = *f.w;
  QVERIFY(f.openSeries(kTwoVarSeries, "run.ser"));
  f.click(Ctl<QPushButton>(w, "cmdNextVar"));
  const auto& y = f.set(1);
  f.typeInto(y.txtGridPoints, "3");
  f.typeInto(y.txtDer, "1");
  f.click(y.chkSpaced);
  f.model.GridX[1] = {0, 0.25, 1};
  // The third point was set here, not typed in the editor: compute anyway.
  f.user.answers << QMessageBox::Yes;
  f.click(Ctl<QPushButton>(w, "cmdCompute"));
  QCOMPARE(w.formState(), State::Computed);
}

QStringList Files(const QTemporaryDir& dir) { return QDir(dir.path()).entryList(QDir::Files, QDir::Name); }

}  // namespace

class TestGridFiles : public QObject {
  Q_OBJECT

 private slots:
  void saveThenReopenGivesTheSameWindow() {
    QStringList lines;
    QString grid_path;
    QByteArray saved;
    QTemporaryDir keep;
    {
      Fixture f;
      FrmTabulor& w = *f.w;
      ComputeTwoVariables(f);
      lines = f.listLines();
      QCOMPARE(lines.size(), 2 + 3 * 4);
      Ctl<QAction>(w, "mnuSave")->trigger();  // named after the series file, no dialog
      QVERIFY(f.user.saveFilters.isEmpty());
      QVERIFY(f.user.messages.isEmpty());
      grid_path = f.dir.filePath("run.ser.grd");
      saved = ReadBytes(grid_path);
      QVERIFY(saved.startsWith(" 1 \r\nx\r\n 0 \r\n 1 \r\n 2 \r\n 0 \r\n#TRUE#\r\ny\r\n"));
      QVERIFY(saved.endsWith(" 0 \r\n 0.25 \r\n 1 \r\n"));
      QVERIFY(QFile::copy(grid_path, keep.filePath("run.ser.grd")));
      QCOMPARE(w.formState(), State::Computed);  // saving changes nothing
      QCOMPARE(f.listLines(), lines);
    }
    Fixture f;
    FrmTabulor& w = *f.w;
    // The file picked in the dialog is the file read.
    f.user.openAnswers << keep.filePath("run.ser.grd");
    f.click(Ctl<QLineEdit>(w, "txtGrdFileName"));
    QCOMPARE(f.user.openFilters, QStringList{"Grid files (*.grd);;All files (*)"});
    QVERIFY(f.user.messages.isEmpty());
    QCOMPARE(w.formState(), State::GridFileShown);
    QCOMPARE(f.listLines(), lines);
    QCOMPARE(Ctl<QLabel>(w, "lblOrder")->text(), QStringLiteral("2"));
    QCOMPARE(Ctl<QLabel>(w, "lblGridPoints")->text(), QStringLiteral("9"));
    QVERIFY(Ctl<QLabel>(w, "lblCoeffs")->text().isEmpty());
    QCOMPARE(Ctl<QLineEdit>(w, "txtGrdFileName")->text(), keep.filePath("run.ser.grd"));
    QCOMPARE(Ctl<QLineEdit>(w, "txtGrdFileName")->toolTip(), keep.filePath("run.ser.grd"));
    QVERIFY(!Ctl<QLineEdit>(w, "txtSerFileName")->isEnabled() && !Ctl<QLineEdit>(w, "txtGrdFileName")->isEnabled());
    QVERIFY(!Ctl<QGroupBox>(w, "fraSerSpecs")->isVisibleTo(Ctl<QGroupBox>(w, "fraVarSpecs")));
    QVERIFY(Ctl<QGroupBox>(w, "fraVarSpecs")->isEnabled());
    QVERIFY(!Ctl<QGroupBox>(w, "fraGrdSpecs")->isEnabled());  // frozen, as after Compute
    QVERIFY(!Ctl<QPushButton>(w, "cmdCompute")->isEnabled());
    QVERIFY(Ctl<QAction>(w, "mnuSave")->isEnabled() && Ctl<QAction>(w, "mnuSaveAs")->isEnabled() &&
            Ctl<QAction>(w, "mnuPrint")->isEnabled());
    QVERIFY(!Ctl<QAction>(w, "mnuOpen")->isEnabled());
    QVERIFY(Ctl<QAction>(w, "mnuAbout")->isVisible());
    QCOMPARE(w.controlSetCount(), 2);
    QCOMPARE(f.set(0).txtGridPoints->text(), QStringLiteral("3"));
    QCOMPARE(f.set(1).txtDer->text(), QStringLiteral("1"));
    QCOMPARE(f.set(1).txtULgrid->text(), QStringLiteral("1"));
    QVERIFY(f.set(0).chkSpaced->isChecked());
    QVERIFY(!f.set(1).chkSpaced->isChecked());
    QVERIFY(f.set(1).cmdEditVars->isEnabledTo(Ctl<QGroupBox>(w, "fraGrdSpecs")));  // unchecked box: enabled, but hidden
    QVERIFY(!f.set(0).cmdEditVars->isEnabledTo(Ctl<QGroupBox>(w, "fraGrdSpecs")));
    QVERIFY(f.set(1).cmdEditVars->isHidden());
    QVERIFY(f.set(0).cmdEditVars->isHidden());
    // Paging shows the set's Edit button again; nothing takes the focus.
    f.click(Ctl<QPushButton>(w, "cmdNextVar"));
    QCOMPARE(f.set(1).lblVar->text(), QStringLiteral("y"));
    QVERIFY(!f.set(1).cmdEditVars->isHidden());
    QVERIFY(QApplication::focusWidget() != f.set(1).txtLLgrid);

    // Saved again it is the same file, byte for byte.
    QVERIFY(QFile::remove(keep.filePath("run.ser.grd")));
    Ctl<QAction>(w, "mnuSave")->trigger();
    QCOMPARE(ReadBytes(keep.filePath("run.ser.grd")), saved);
  }

  void openingByTheBaseName() {
    Fixture f;
    WriteText(f.dir, "res.grd", "0\r\nx\r\n0\r\n1\r\n1\r\n0\r\n#TRUE#\r\n5\r\n7\r\n0\r\n1\r\n");
    f.user.openAnswers << f.dir.filePath("res");
    f.click(Ctl<QLineEdit>(*f.w, "txtGrdFileName"));
    QCOMPARE(f.w->formState(), State::GridFileShown);
    QCOMPARE(f.listLines(),
             (QStringList{"VALUES AT GRID POINTS:", "", ValueLineText("x=0", "5"), ValueLineText("x=1", "7")}));
    QCOMPARE(f.model.FileName, f.dir.filePath("res").toStdString());
    // The box names the file read.
    QCOMPARE(Ctl<QLineEdit>(*f.w, "txtGrdFileName")->text(), f.dir.filePath("res.grd"));
  }

  // Picking NAME.grd reads NAME.grd, also when NAME.grd.grd exists, and Save
  // writes it back under that name.
  void thePickedFileIsTheFileRead() {
    Fixture f;
    FrmTabulor& w = *f.w;
    const QByteArray mine = "0\r\nx\r\n0\r\n1\r\n1\r\n0\r\n#TRUE#\r\n5\r\n7\r\n0\r\n1\r\n";
    const QByteArray other =
        "1\r\nu\r\n0\r\n1\r\n2\r\n0\r\n#TRUE#\r\nv\r\n0\r\n1\r\n2\r\n0\r\n#TRUE#\r\n1\r\n2\r\n3\r\n4\r\n0\r\n1\r\n"
        "0\r\n1\r\n";
    WriteText(f.dir, "a.grd", mine);
    WriteText(f.dir, "a.grd.grd", other);
    f.user.openAnswers << f.dir.filePath("a.grd");
    f.click(Ctl<QLineEdit>(w, "txtGrdFileName"));
    QVERIFY2(f.user.messages.isEmpty(), qPrintable(f.user.messages.join("\n")));
    QCOMPARE(Ctl<QLabel>(w, "lblOrder")->text(), QStringLiteral("1"));
    QCOMPARE(f.listLines(),
             (QStringList{"VALUES AT GRID POINTS:", "", ValueLineText("x=0", "5"), ValueLineText("x=1", "7")}));
    QCOMPARE(Ctl<QLineEdit>(w, "txtGrdFileName")->text(), f.dir.filePath("a.grd"));
    QVERIFY(QFile::remove(f.dir.filePath("a.grd")));
    Ctl<QAction>(w, "mnuSave")->trigger();
    QVERIFY(f.user.saveFilters.isEmpty());
    QCOMPARE(ReadBytes(f.dir.filePath("a.grd")),
             QByteArray(" 0 \r\nx\r\n 0 \r\n 1 \r\n 1 \r\n 0 \r\n#TRUE#\r\n 5 \r\n 7 \r\n 0 \r\n 1 \r\n"));
    QCOMPARE(ReadBytes(f.dir.filePath("a.grd.grd")), other);
    // Reading the grid file left nothing unsaved: Exit asks nothing.
    f.click(Ctl<QPushButton>(w, "cmdExit"));
    QCOMPARE(f.user.quits, 1);
    QVERIFY(f.user.questions.isEmpty());
  }

  void saveAsNaming() {
    Fixture f;
    FrmTabulor& w = *f.w;
    QVERIFY(f.openSeries(kPolySeries, "run.ser"));
    f.click(Ctl<QPushButton>(w, "cmdCompute"));
    QVERIFY(Ctl<QLineEdit>(w, "txtGrdFileName")->text().isEmpty());
    // A base name gets ".grd"; the grid file box shows the file written.
    f.user.saveAnswers << f.dir.filePath("res");
    Ctl<QAction>(w, "mnuSaveAs")->trigger();
    QVERIFY(QFile::exists(f.dir.filePath("res.grd")));
    QCOMPARE(Ctl<QLineEdit>(w, "txtGrdFileName")->text(), f.dir.filePath("res.grd"));
    QCOMPARE(Ctl<QLineEdit>(w, "txtGrdFileName")->toolTip(), f.dir.filePath("res.grd"));
    // A name that ends in ".grd" is written as it is.
    f.user.saveAnswers << f.dir.filePath("out.grd");
    Ctl<QAction>(w, "mnuSaveAs")->trigger();
    QCOMPARE(Ctl<QLineEdit>(w, "txtGrdFileName")->text(), f.dir.filePath("out.grd"));
    QCOMPARE(Files(f.dir), (QStringList{"out.grd", "res.grd", "run.ser"}));
    // Save goes on with the last name, without a dialog.
    QVERIFY(QFile::remove(f.dir.filePath("out.grd")));
    Ctl<QAction>(w, "mnuSave")->trigger();
    QCOMPARE(f.user.saveFilters.size(), 2);
    // Each dialog started at the file in use: the series file, then the name saved.
    QCOMPARE(f.user.saveStarts, (QStringList{f.dir.filePath("run.ser"), f.dir.filePath("res")}));
    QVERIFY(QFile::exists(f.dir.filePath("out.grd")));
    // A cancelled dialog writes nothing and keeps the name.
    Ctl<QAction>(w, "mnuSaveAs")->trigger();
    QCOMPARE(f.model.FileName, f.dir.filePath("out.grd").toStdString());
    QCOMPARE(Files(f.dir), (QStringList{"out.grd", "res.grd", "run.ser"}));
    QCOMPARE(ReadBytes(f.dir.filePath("out.grd")), ReadBytes(f.dir.filePath("res.grd")));
    QVERIFY(f.user.messages.isEmpty());
    const QByteArray text = ReadBytes(f.dir.filePath("res.grd"));
    QCOMPARE(text,
             QByteArray(
                 " 0 \r\nx\r\n 0 \r\n 1 \r\n 2 \r\n 0 \r\n#TRUE#\r\n 1 \r\n 2.75 \r\n 6 \r\n 0 \r\n 0.5 \r\n 1 \r\n"));
  }

  void failedSaveKeepsTheExistingFile() {
    Fixture f;
    FrmTabulor& w = *f.w;
    QVERIFY(f.openSeries(kPolySeries, "run.ser"));
    f.click(Ctl<QPushButton>(w, "cmdCompute"));
    const QByteArray old("old contents");
    WriteText(f.dir, "res.grd", old);
    // Files may grow to 16 bytes only: the new file cannot be written.
    rlimit before{};
    QCOMPARE(getrlimit(RLIMIT_FSIZE, &before), 0);
    auto old_handler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = before;
    small.rlim_cur = 16;
    QCOMPARE(setrlimit(RLIMIT_FSIZE, &small), 0);
    f.user.saveAnswers << f.dir.filePath("res");
    Ctl<QAction>(w, "mnuSaveAs")->trigger();
    setrlimit(RLIMIT_FSIZE, &before);
    std::signal(SIGXFSZ, old_handler);

    QCOMPARE(f.user.messages.size(), 1);
    QVERIFY2(f.user.messages.first().contains(f.dir.filePath("res.grd")), qPrintable(f.user.messages.first()));
    QCOMPARE(ReadBytes(f.dir.filePath("res.grd")), old);
    QCOMPARE(Files(f.dir), (QStringList{"res.grd", "run.ser"}));  // no leftovers
    QCOMPARE(f.model.FileName, f.dir.filePath("run.ser").toStdString());
    QCOMPARE(w.formState(), State::Computed);
    QCOMPARE(f.listLines().size(), 5);

    // A folder where the file should go.
    QVERIFY(QDir(f.dir.path()).mkdir("run.ser.grd"));
    Ctl<QAction>(w, "mnuSave")->trigger();
    QCOMPARE(f.user.messages.size(), 2);
    QVERIFY(f.user.messages.last().contains("run.ser.grd"));
  }

  // Long saves and reads show their progress and can be cancelled: a
  // cancelled save writes nothing and a cancelled read opens nothing, and
  // neither is told as a failure.
  void longFileOperationsShowProgressAndCancel() {
    Fixture f;
    FrmTabulor& w = *f.w;
    f.user.progressDelayMs = 0;
    QVERIFY(f.openSeries(kPolySeries, "run.ser"));
    // More values than the reader reads between two reports of progress.
    f.typeInto(f.set(0).txtGridPoints, QStringLiteral("1100000"));
    f.click(Ctl<QPushButton>(w, "cmdCompute"));
    QCOMPARE(w.formState(), State::Computed);
    // Clicks Cancel in the progress window as soon as it shows.
    int shown = 0;
    QTimer cancel;
    QObject::connect(&cancel, &QTimer::timeout, [&] {
      auto* progress = qobject_cast<QProgressDialog*>(QApplication::activeModalWidget());
      if (!progress || progress->objectName() != QStringLiteral("fileProgress")) return;
      ++shown;
      progress->cancel();
    });
    cancel.start(0);
    f.user.saveAnswers << f.dir.filePath("res");
    Ctl<QAction>(w, "mnuSaveAs")->trigger();
    QVERIFY(shown > 0);
    QVERIFY(!QFile::exists(f.dir.filePath("res.grd")));
    QVERIFY(f.user.messages.isEmpty());
    QCOMPARE(f.model.FileName, f.dir.filePath("run.ser").toStdString());
    cancel.stop();
    // Uncancelled, the same save is written whole.
    f.user.saveAnswers << f.dir.filePath("res");
    Ctl<QAction>(w, "mnuSaveAs")->trigger();
    QVERIFY(QFile::exists(f.dir.filePath("res.grd")));
    QVERIFY(f.user.messages.isEmpty());

    // Reading it back in a new window, cancelled: nothing is opened.
    Fixture g;
    g.user.progressDelayMs = 0;
    shown = 0;
    cancel.start(0);
    g.user.openAnswers << f.dir.filePath("res.grd");
    g.click(Ctl<QLineEdit>(*g.w, "txtGrdFileName"));
    cancel.stop();
    QVERIFY(shown > 0);
    QCOMPARE(g.w->formState(), State::Start);
    QVERIFY(g.user.messages.isEmpty());
    QVERIFY(g.model.FileName.empty());
  }

  void realSaveDialogAsksNothingAboutTheNameTyped() {
    // A base name typed gets ".grd": a question about replacing the name
    // typed would be about another file. The real
    // dialog (Qt's own on this platform) is answered by a timer.
    QTemporaryDir dir;
    WriteText(dir, "res", "not a grid file");
    bool confirms = true;
    QStringList questions;  // such as "res already exists. Do you want to replace it?"
    QString chosen;
    const bool seen = AnswerRealFileDialog(
        [&](QFileDialog* dialog) {
          confirms = !dialog->testOption(QFileDialog::DontConfirmOverwrite);
          dialog->setDirectory(dir.path());
          dialog->selectFile(dir.filePath("res"));
        },
        [&] { chosen = DesktopServices().SaveFileName(nullptr, QStringLiteral("Grid files (*.grd)"), QString()); },
        &questions);
    QVERIFY(seen);
    QVERIFY(!confirms);
    QVERIFY(questions.isEmpty());
    QCOMPARE(chosen, dir.filePath("res"));
  }

  void refusedGridFileLeavesTheWindowAsItWas() {
    for (const QByteArray& text : {QByteArray("0\r\nx\r\n0\r\n1\r\n2\r\n0\r\n#TRUE#\r\n1\r\n"),  // ends early
                                   QByteArray("7\r\n"), QByteArray("")}) {
      Fixture f;
      FrmTabulor& w = *f.w;
      WriteText(f.dir, "bad.grd", text);
      f.user.openAnswers << f.dir.filePath("bad.grd");
      f.click(Ctl<QLineEdit>(w, "txtGrdFileName"));
      QCOMPARE(f.user.messages.size(), 1);
      QVERIFY2(f.user.messages.first().contains(f.dir.filePath("bad.grd")), qPrintable(f.user.messages.first()));
      QCOMPARE(w.formState(), State::Start);
      QVERIFY(Ctl<QLineEdit>(w, "txtGrdFileName")->isEnabled() && Ctl<QLineEdit>(w, "txtSerFileName")->isEnabled());
      QVERIFY(Ctl<QLineEdit>(w, "txtGrdFileName")->text().isEmpty());
      QCOMPARE(w.controlSetCount(), 1);
      QCOMPARE(Ctl<ResultsList>(w, "lstCoeff")->count(), 0);
      QVERIFY(!f.model.Loading);
      QVERIFY(f.model.FileName.empty());
      // Cancelling the dialog also leaves everything.
      f.click(Ctl<QLineEdit>(w, "txtGrdFileName"));
      QCOMPARE(f.user.messages.size(), 1);
      QCOMPARE(w.formState(), State::Start);
    }
  }
};

QTEST_MAIN(TestGridFiles)
#include "test_grid_files.moc"
