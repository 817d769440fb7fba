// Shared by the main window's tests: the fake dialogs, a temporary folder
// with series files, and helpers that drive the window as a user would.
#pragma once

// Mouse clicks go through the window, as the window system delivers them, so
// the window sees them before the focus moves.
#define QTEST_QPA_MOUSE_HANDLING 1

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

#include "model/dimension.h"
#include "ui/frm_tabulor.h"
#include "ui/results_list.h"
#include "ui/ui_services.h"
#include "ui/vars_editor.h"

namespace tabulor::test {

// A control of a window by its object name; a missing one ends the test
// program, naming it.
template <class T>
T* Ctl(const QObject& window, const char* name) {
  T* control = window.findChild<T*>(QLatin1String(name));
  if (!control) qFatal("no control %s", name);
  return control;
}

// The control set of variable k, by the object names of its controls.
inline ControlSet SetOf(const QObject& window, int k) {
  auto find = [&]<class T>(T*& member, const char* base) {
    member = Ctl<T>(window, QStringLiteral("%1_%2").arg(QLatin1String(base)).arg(k).toLatin1().constData());
  };
  ControlSet s;
  find(s.txtUL, "txtUL");
  find(s.txtLL, "txtLL");
  find(s.lblVar, "lblVar");
  find(s.txtTerms, "txtTerms");
  find(s.txtExpansion, "txtExpansion");
  find(s.txtPeriod, "txtPeriod");
  find(s.chkPower, "chkPower");
  find(s.txtLLgrid, "txtLLgrid");
  find(s.txtULgrid, "txtULgrid");
  find(s.txtGridPoints, "txtGridPoints");
  find(s.txtDer, "txtDer");
  find(s.chkSpaced, "chkSpaced");
  find(s.cmdEditVars, "cmdEditVars");
  return s;
}

// Records what the window asks of the user and answers from lists.
struct FakeUser : UiServices {
  QStringList openAnswers;  // one per open dialog, "" = cancelled
  QStringList saveAnswers;
  QStringList openFilters;  // the filters the dialogs were given
  QStringList saveFilters;
  QStringList saveStarts;  // where the save dialogs started
  QStringList messages;
  QList<QMessageBox::Icon> icons;
  QStringList questions;  // the questions asked, in order
  // One answer per question; without one the question gets its default.
  QList<QMessageBox::StandardButton> answers;
  int beeps = 0;
  int quits = 0;
  int progressDelayMs = 500;
  int printDelayMs = 1000;
  QString helpResource;  // "" for the program's own
  // The print dialog; without one the real dialog shows.
  std::function<bool(QPrinter&, QWidget*)> printDialog;
  // The computation and the start of its thread; without them the real ones.
  std::function<ComputeResult(Dimension&, const ProgressFn&)> compute;
  std::function<std::thread(std::function<void()>)> startThread;

  QString OpenFileName(QWidget*, const QString& filter) override {
    openFilters << filter;
    return openAnswers.isEmpty() ? QString() : openAnswers.takeFirst();
  }
  QString SaveFileName(QWidget*, const QString& filter, const QString& start) override {
    saveFilters << filter;
    saveStarts << start;
    return saveAnswers.isEmpty() ? QString() : saveAnswers.takeFirst();
  }
  void Message(QWidget*, QMessageBox::Icon icon, const QString&, const QString& text) override {
    messages << text;
    icons << icon;
  }
  QMessageBox::StandardButton Ask(QWidget*, const QString&, const QString& text, QMessageBox::StandardButtons,
                                  QMessageBox::StandardButton defaultButton) override {
    questions << text;
    return answers.isEmpty() ? defaultButton : answers.takeFirst();
  }
  bool PrintDialog(QPrinter& printer, QWidget* parent) override {
    return printDialog ? printDialog(printer, parent) : UiServices::PrintDialog(printer, parent);
  }
  void Beep() override { ++beeps; }
  void Quit() override { ++quits; }
  int ProgressDelayMs() const override { return progressDelayMs; }
  int PrintDelayMs() const override { return printDelayMs; }
  QString HelpResource() const override { return helpResource.isEmpty() ? UiServices::HelpResource() : helpResource; }
  std::thread StartThread(std::function<void()> body) override {
    return startThread ? startThread(std::move(body)) : UiServices::StartThread(std::move(body));
  }
  ComputeResult Compute(Dimension& model, const ProgressFn& progress) override {
    return compute ? compute(model, progress) : UiServices::Compute(model, progress);
  }
};

inline QString WriteText(const QTemporaryDir& dir, const QString& name, const QByteArray& text) {
  const QString path = dir.filePath(name);
  QFile f(path);
  if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)) return {};
  f.write(text);
  return path;
}

inline QByteArray ReadBytes(const QString& path) {
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly)) return {};
  return f.readAll();
}

// The one-variable example: 1 + 2x + 3x^2 on 0..1, three terms.
inline const char* kPolySeries = "0\nx\n0\n1\n0\n#TRUE#\n*\n2\n#TRUE#\n1\n2\n3\n";
// Two Power variables x (3 terms, 0..1) and y (2 terms, 0..1), centre 0:
// 1 + x^2 + y (coefficients c(i,j) for x^i y^j).
inline const char* kTwoVarSeries = "1\nx\n0\n1\n0\n#TRUE#\n*\n2\ny\n0\n1\n0\n#TRUE#\n*\n1\n#TRUE#\n1,0,1,1,0,0\n";
// Four variables a..d, two terms each, 16 coefficients.
inline const char* kFourVarSeries =
    "3\na,0,1,0,#TRUE#,*,1\nb,-1,1,0,#TRUE#,*,1\nc,0,2,0,#TRUE#,*,1\nd,1,2,0,#TRUE#,*,1\n#TRUE#\n"
    "1,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0\n";

// A window on its own model, shown and active, with the fake user in place.
struct Fixture {
  FakeUser user;
  Dimension model;
  std::unique_ptr<FrmTabulor> w;
  QTemporaryDir dir;

  Fixture() {
    w = std::make_unique<FrmTabulor>(model, user);
    w->show();
    w->activateWindow();
    QApplication::setActiveWindow(w.get());
    (void)QTest::qWaitForWindowActive(w.get());
  }
  ~Fixture() { w.reset(); }

  // Opens a series file by clicking the series file name box.
  bool openSeries(const QByteArray& text, const QString& name = QStringLiteral("run.ser")) {
    const QString path = WriteText(dir, name, text);
    user.openAnswers << path;
    QTest::mouseClick(Ctl<QLineEdit>(*w, "txtSerFileName"), Qt::LeftButton);
    return w->formState() == FrmTabulor::FormState::SeriesLoaded;
  }

  ControlSet set(int k) const { return SetOf(*w, k); }

  // Clicks a widget of the window.
  void click(QWidget* widget) { QTest::mouseClick(widget, Qt::LeftButton); }

  // Clicks into a box and types over its whole text.
  void typeInto(QLineEdit* box, const QString& text) {
    click(box);
    box->selectAll();
    QTest::keyClick(box, Qt::Key_Delete);
    QTest::keyClicks(box, text);
  }

  void tab() { QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab); }

  QStringList listLines() const {
    QStringList lines;
    const ResultsList* list = Ctl<ResultsList>(*w, "lstCoeff");
    for (std::int64_t i = 0; i < list->count(); ++i) lines << list->lineText(i);
    return lines;
  }
};

// The value line: three blanks, name, "=", the point; blanks up to column 39;
// "VALUE=" and the value from column 40; the line is the point text plus 70
// characters long.
inline QString ValueLineText(const QString& point, const QString& value) {
  QString line = QStringLiteral("   ") + point;
  const int length = line.size() + 70;
  line = line.leftJustified(39, QLatin1Char(' '), true);
  line += QStringLiteral("VALUE=") + value;
  return line.leftJustified(length, QLatin1Char(' '));
}

// Clicks "Edit" of control set k and waits for the uneven grid editor.
inline FrmVars* OpenEditor(Fixture& f, int k) {
  f.click(f.set(k).cmdEditVars);
  auto* editor = qobject_cast<FrmVars*>(f.w->varsEditor());
  if (!editor) return nullptr;
  editor->activateWindow();
  QApplication::setActiveWindow(editor);
  (void)QTest::qWaitForWindowActive(editor);
  return editor;
}

}  // namespace tabulor::test
