// Shared by the window tests: a fake user in place of the dialogs, a window
// on a model of its own, and helpers that drive it as a user would.
#pragma once

#include <sys/resource.h>

// Mouse clicks go through the window, as the window system delivers them, so
// the window sees them before the focus moves.
#define QTEST_QPA_MOUSE_HANDLING 1

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <functional>
#include <memory>

#include "ui/frm_tabulor.h"
#include "ui/results_list.h"
#include "ui/vars_editor.h"

namespace tabulor::test {

// A control of a window by its object name; a missing one ends the test.
template <class T = QWidget>
T* Ctl(const QObject& window, const QString& name) {
  T* control = window.findChild<T*>(name);
  if (!control) qFatal("no control %s", qPrintable(name));
  return control;
}

struct Found {  // a control, as the type it is given to
  QObject* o;
  template <class T>
  operator T*() const {
    return qobject_cast<T*>(o);
  }
};

// The control set of variable k, by the object names of its controls.
inline ControlSet SetOf(const QObject& w, int k) {
  auto c = [&](const char* base) { return Found{Ctl<QObject>(w, QStringLiteral("%1_%2").arg(base).arg(k))}; };
  return {c("txtUL"),     c("txtLL"),     c("lblVar"),     c("txtTerms"),  c("txtExpansion"),
          c("txtPeriod"), c("chkPower"),  c("txtLLgrid"),  c("txtULgrid"), c("txtGridPoints"),
          c("txtDer"),    c("chkSpaced"), c("cmdEditVars")};
}

// What a control set shows, in the order of ControlSet::members(): texts,
// check boxes as [x] or [ ], and "Edit" as on or off.
inline QString SetTexts(const ControlSet& s) {
  QStringList parts;
  for (QWidget* m : s.members()) {
    if (auto* box = qobject_cast<QLineEdit*>(m)) parts << box->text();
    if (auto* label = qobject_cast<QLabel*>(m)) parts << label->text();
    if (auto* check = qobject_cast<QCheckBox*>(m)) parts << (check->isChecked() ? "[x]" : "[ ]");
    if (auto* button = qobject_cast<QPushButton*>(m)) parts << (button->isEnabled() ? "on" : "off");
  }
  return parts.join('|');
}

// The names of what is enabled or shown in the window: its state.
inline QString StateFlags(FrmTabulor& w) {
  QStringList on;
  auto flag = [&](const char* name, bool value) {
    if (value) on << name;
  };
  QWidget *vars = Ctl(w, "fraVarSpecs"), *details = Ctl(w, "fraSerSpecs");
  QWidget* edit = SetOf(w, w.ShownVar() - 1).cmdEditVars;
  flag("ser", Ctl(w, "txtSerFileName")->isEnabled());
  flag("grd", Ctl(w, "txtGrdFileName")->isEnabled());
  flag("vars", vars->isEnabled());
  flag("details", details->isVisibleTo(vars));
  flag("detailsOn", details->isEnabledTo(vars));
  flag("grid", Ctl(w, "fraGrdSpecs")->isEnabled());
  flag("compute", Ctl(w, "cmdCompute")->isEnabled());
  flag("edit", edit->isVisibleTo(vars));
  flag("editOn", edit->isEnabledTo(vars));
  flag("exit", Ctl(w, "cmdExit")->isEnabled());
  for (const char* menu : {"mnuOpen", "mnuSave", "mnuSaveAs", "mnuPrint", "mnuPlot", "mnuHelp"})
    flag(menu, Ctl<QAction>(w, menu)->isEnabled());
  flag("mnuAbout", Ctl<QAction>(w, "mnuAbout")->isVisible());
  return on.join(' ');
}

// The flags at the start, with a series loaded, and after Compute.
inline const QString kStartFlags = "ser grd details edit exit mnuHelp";
inline const QString kLoadedFlags = "vars details grid compute edit exit mnuHelp mnuAbout";
inline const QString kComputedFlags = "vars details edit exit mnuSave mnuSaveAs mnuPrint mnuPlot mnuHelp mnuAbout";

// Records what the window asks of the user and answers from lists.
struct FakeUser : UiServices {
  QStringList openAnswers, saveAnswers, exportAnswers;  // one per dialog, none = cancelled
  QStringList openFilters, saveStarts, exportCaptions;  // what the dialogs were given
  QStringList messages, questions;
  QList<QMessageBox::Icon> icons;
  QList<QMessageBox::StandardButton> answers;  // without one a question gets its default
  int beeps = 0, quits = 0, progressDelayMs = 500, printDelayMs = 1000;
  // The print dialog, the computation and its thread; without them the real ones.
  std::function<bool(QPrinter&, QWidget*)> printDialog;
  std::function<ComputeResult(Dimension&, const ProgressFn&)> compute;
  std::function<std::thread(std::function<void()>)> startThread;

  static QString Answer(QStringList& given, const QString& what, QStringList& answers) {
    given << what;
    return answers.isEmpty() ? QString() : answers.takeFirst();
  }
  QString OpenFileName(QWidget*, const QString& filter) override { return Answer(openFilters, filter, openAnswers); }
  QString SaveFileName(QWidget*, const QString&, const QString& start) override {
    return Answer(saveStarts, start, saveAnswers);
  }
  QString SaveExportName(QWidget*, const QString& caption, const QString&, const QString&) override {
    return Answer(exportCaptions, caption, exportAnswers);
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
  std::thread StartThread(std::function<void()> body) override {
    return startThread ? startThread(std::move(body)) : UiServices::StartThread(std::move(body));
  }
  ComputeResult Compute(Dimension& model, const ProgressFn& progress) override {
    return compute ? compute(model, progress) : UiServices::Compute(model, progress);
  }
};

inline QString WriteText(const QTemporaryDir& dir, const QString& name, const QByteArray& text) {
  QFile f(dir.filePath(name));
  return f.open(QIODevice::WriteOnly) && f.write(text) == text.size() ? f.fileName() : QString();
}

inline QByteArray ReadBytes(const QString& path) {
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Runs `action` with files limited to `bytes`, as on a full disk.
inline void WithFileSizeLimit(rlim_t bytes, const std::function<void()>& action) {
  std::signal(SIGXFSZ, SIG_IGN);  // a write beyond the limit fails instead
  rlimit before{};
  getrlimit(RLIMIT_FSIZE, &before);
  const rlimit small{bytes, before.rlim_max};
  setrlimit(RLIMIT_FSIZE, &small);
  action();
  setrlimit(RLIMIT_FSIZE, &before);
}

inline QWidget* Focus() { return QApplication::focusWidget(); }

inline void Activate(QWidget* window) {
  window->activateWindow();
  QApplication::setActiveWindow(window);
  (void)QTest::qWaitForWindowActive(window);
}

// The one-variable example: 1 + 2x + 3x^2 on 0..1, three terms.
inline const char* kPolySeries = "0\nx\n0\n1\n0\n#TRUE#\n*\n2\n#TRUE#\n1\n2\n3\n";
// Two Power variables, 1 + x^2 + y: x (3 terms) and y (2 terms) on 0..1.
inline const char* kTwoVarSeries = "1\nx\n0\n1\n0\n#TRUE#\n*\n2\ny\n0\n1\n0\n#TRUE#\n*\n1\n#TRUE#\n1,0,1,1,0,0\n";
// 5 and 7 at the grid points 0 and 1 of x.
inline const char* kSmallGrid = "0\r\nx\r\n0\r\n1\r\n1\r\n0\r\n#TRUE#\r\n5\r\n7\r\n0\r\n1\r\n";

// A window on its own model, shown and active, with the fake user in place.
struct Fixture {
  FakeUser user;
  Dimension model;
  std::unique_ptr<FrmTabulor> w = std::make_unique<FrmTabulor>(model, user);
  QTemporaryDir dir;

  Fixture() {
    w->show();
    Activate(w.get());
  }
  // Opens a series file, or a grid file, by clicking its file name box.
  bool openSeries(const QByteArray& text) {
    user.openAnswers << WriteText(dir, "run.ser", text);
    click("txtSerFileName");
    return w->formState() == FrmTabulor::FormState::SeriesLoaded;
  }
  void openGrid(const QString& path) {
    user.openAnswers << path;
    click("txtGrdFileName");
  }
  ControlSet set(int k) const { return SetOf(*w, k); }
  void click(QWidget* widget) { QTest::mouseClick(widget, Qt::LeftButton); }
  void click(const char* name) { click(Ctl(*w, name)); }
  void trigger(const char* action) { Ctl<QAction>(*w, action)->trigger(); }
  void tab() { QTest::keyClick(Focus(), Qt::Key_Tab); }
  QString flags() { return StateFlags(*w); }
  // Clicks into a box and types over its whole text.
  void typeInto(QLineEdit* box, const QString& text) {
    click(box);
    box->selectAll();
    QTest::keyClick(box, Qt::Key_Delete);
    QTest::keyClicks(box, text);
  }
  QStringList listLines() const {
    QStringList lines;
    const auto* list = Ctl<ResultsList>(*w, "lstCoeff");
    for (std::int64_t i = 0; i < list->count(); ++i) lines << list->lineText(i);
    return lines;
  }
};

// The value line: three blanks and the point, blanks up to column 39,
// "VALUE=" and the value from column 40; the point text plus 70 characters long.
inline QString ValueLineText(const QString& point, const QString& value) {
  const QString line = (QStringLiteral("   ") + point).leftJustified(39, ' ', true) + "VALUE=" + value;
  return line.leftJustified(static_cast<int>(point.size()) + 73, ' ');
}

// The list of the one-variable example, or under a heading a run of x of a longer one.
inline QStringList PolyLines(const QStringList& points, const QStringList& values, const QString& heading = {}) {
  QStringList lines = heading.isEmpty() ? QStringList{"VALUES AT GRID POINTS:", ""} : QStringList{heading};
  for (int i = 0; i < points.size(); ++i) lines << ValueLineText("x=" + points[i], values[i]);
  return lines;
}

// Clicks a cell (column 1: the value, 0: the label) of the uneven grid editor.
inline void ClickCell(FrmVars& editor, int row, int column = 1) {
  const QRect cell = editor.grid()->visualRect(editor.grid()->model()->index(row, column));
  QTest::mouseClick(editor.grid()->viewport(), Qt::LeftButton, Qt::NoModifier, cell.center());
}

}  // namespace tabulor::test
