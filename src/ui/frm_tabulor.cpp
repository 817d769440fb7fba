#include "ui/frm_tabulor.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>

#include <cmath>
#include <new>

#include "model/grid_file.h"
#include "model/number_text.h"
#include "ui/compute_runner.h"
#include "ui/fitted_text.h"
#include "ui/input_police.h"
#include "ui/plot_window.h"
#include "ui/progress_dialogs.h"
#include "ui/qt_text.h"
#include "ui/results_list.h"
#include "ui/vars_editor.h"
#include "ui/window_look.h"

namespace tabulor {

using namespace look;

namespace {

QString IntQ(std::int64_t value) { return QString::fromStdString(IntegerText(value)); }

}  // namespace

FrmTabulor::FrmTabulor(Dimension& model, UiServices& services, QWidget* parent)
    : QMainWindow(parent),
      model_(model),
      services_(services),
      evaluation_(model, [&services](Dimension& m, const ProgressFn& p) { return services.Compute(m, p); }) {
  InitHelpResource();
  setWindowTitle(QStringLiteral("Mixed Series Evaluations"));
  setFont(SansFont(false));
  SetBackground(this, QPalette::Window, kCyan);
  setAutoFillBackground(true);
  auto* client = new QWidget(this);
  client->setObjectName(QStringLiteral("client"));
  client->setFixedSize(Px(9480), Px(6510));
  setCentralWidget(client);
  BuildFileArea(client);
  BuildVariableFrames(client);
  BuildMenus();
  sets_ = new ControlSets({fraVarSpecs, fraSerSpecs, fraType, fraGrdSpecs, FraSpaced}, this);
  ConnectParts();
  SetTabOrder();
  model_.Pi = 4.0 * std::atan(1.0);
  ApplyState(FormState::Start);
  setFixedSize(Px(9480), Px(6510) + menuBar()->sizeHint().height());
  cmdExit->setFocus(Qt::OtherFocusReason);
}

FrmTabulor::~FrmTabulor() {
  delete police_;
  delete about_.data();
  delete help_.data();
  delete vars_.data();
}

int FrmTabulor::controlSetCount() const { return sets_->count(); }
bool FrmTabulor::computing() const { return runner_->running(); }
QProgressDialog* FrmTabulor::progressDialog() const { return runner_->dialog(); }

void FrmTabulor::ApplyState(FormState state) {
  state_ = state;
  const bool start = state == FormState::Start;
  const bool results = state == FormState::Computed || state == FormState::GridFileShown;
  // One file a run: both file name boxes end with the first file shown.
  txtSerFileName->setEnabled(start);
  txtGrdFileName->setEnabled(start);
  fraVarSpecs->setEnabled(!start);
  // One computation a run, on a series; its grid and a grid file's stay.
  cmdCompute->setEnabled(state == FormState::SeriesLoaded);
  fraGrdSpecs->setEnabled(!results);
  fraSerSpecs->setEnabled(false);
  fraSerSpecs->setVisible(state != FormState::GridFileShown);
  mnuOpen->setEnabled(false);
  for (QAction* a : {mnuSave, mnuSaveAs, mnuPrint, mnuPlot}) a->setEnabled(results);
  mnuAbout->setVisible(!start);
}

void FrmTabulor::ConnectParts() {
  connect(cmdCompute, &QPushButton::clicked, this, &FrmTabulor::cmdCompute_Click);
  connect(cmdExit, &QPushButton::clicked, this, &FrmTabulor::cmdExit_Click);
  connect(cmdNextVar, &QPushButton::clicked, this, &FrmTabulor::cmdNextVar_Click);
  connect(cmdPrevVar, &QPushButton::clicked, this, &FrmTabulor::cmdPrevVar_Click);
  connect(mnuSave, &QAction::triggered, this, &FrmTabulor::mnuSave_Click);
  connect(mnuSaveAs, &QAction::triggered, this, &FrmTabulor::mnuSaveAs_Click);
  connect(mnuPrint, &QAction::triggered, this, &FrmTabulor::mnuPrint_Click);
  connect(mnuPlot, &QAction::triggered, this, &FrmTabulor::mnuPlot_Click);
  connect(mnuHelp, &QAction::triggered, this, &FrmTabulor::mnuHelp_Click);
  connect(mnuAbout, &QAction::triggered, this, &FrmTabulor::mnuAbout_Click);
  connect(sets_, &ControlSets::spacedToggled, this, &FrmTabulor::chkSpaced_Click);
  connect(sets_, &ControlSets::editClicked, this, &FrmTabulor::cmdEditVars_Click);
  police_ = new InputPolice({this, txtSerFileName, txtGrdFileName, cmdExit}, *sets_, model_);
  connect(police_, &InputPolice::seriesFileBoxClicked, this, &FrmTabulor::txtSerFileName_Click);
  connect(police_, &InputPolice::gridFileBoxClicked, this, &FrmTabulor::txtGrdFileName_Click);
  connect(police_, &InputPolice::gridPointsEntered, this, &FrmTabulor::txtGridPoints_GotFocus);
  connect(police_, &InputPolice::gridPointsLeft, this, &FrmTabulor::txtGridPoints_LostFocus);
  runner_ =
      new ComputeRunner(this, [this](std::function<void()> body) { return services_.StartThread(std::move(body)); });
}

void FrmTabulor::SetTabOrder() {
  std::vector<QWidget*> order{cmdExit, txtSerFileName, txtGrdFileName};
  for (int k = 0; k < sets_->count(); ++k) {
    const ControlSet& s = sets_->at(k);
    order.insert(order.end(), {s.txtLLgrid, s.txtULgrid, s.txtGridPoints, s.txtDer, s.chkSpaced});
  }
  order.insert(order.end(), {cmdCompute, lstCoeff, cmdPrevVar, cmdNextVar});
  for (int k = 0; k < sets_->count(); ++k) order.push_back(sets_->at(k).cmdEditVars);
  for (std::size_t i = 1; i < order.size(); ++i) QWidget::setTabOrder(order[i - 1], order[i]);
}

// ---------------------------------------------------------------------------
// What the window shows.

void FrmTabulor::LoadObjects() {
  sets_->LoadObjects(model_.LastVar);
  SetTabOrder();
  shown_var_ = 1;
}

void FrmTabulor::SetDisplayedSpecs() {
  sets_->ShowSeries(model_);
  ShowFileCounts(model_.TermProduct(), lblCoeffs, txtSerFileName, model_.FileName);
  // The grid values the series' grids start with count as entered.
  entered_.MarkAll(model_);
}

void FrmTabulor::SetDisplayedSpecsGrid() {
  sets_->ShowGridFile(model_);
  // The box names the file that was read.
  ShowFileCounts(model_.PointProduct(), lblGridPoints, txtGrdFileName, GridFilePath(model_.FileName));
}

void FrmTabulor::ShowFileName(QLineEdit* box, const std::string& path) {
  box->setText(PathToQ(path));
  box->setToolTip(PlainToolTip(PathToQ(path)));
}

void FrmTabulor::ShowFileCounts(std::int64_t total, QLabel* count, QLineEdit* name, const std::string& path) {
  static_cast<NumberLabel*>(lblOrder)->setNumberText(IntQ(static_cast<std::int64_t>(model_.LastVar) + 1));
  model_.TotalCount = static_cast<std::int32_t>(std::max<std::int64_t>(total, 0));
  static_cast<NumberLabel*>(count)->setNumberText(IntQ(total));
  ShowFileName(name, path);
}

void FrmTabulor::EditLimit(int k) {
  if (k < 0 || k >= sets_->count()) return;
  sets_->ShowOnly(k, model_);
  if (fraGrdSpecs->isEnabled()) sets_->at(k).txtLLgrid->setFocus(Qt::OtherFocusReason);
}

void FrmTabulor::ClearResults() {
  if (model_.Loading) return;
  lstCoeff->setSource(nullptr);
  model_.ResultsReady = false;
}

void FrmTabulor::ListResults() { lstCoeff->setSource(MakeResultLinesSource(model_)); }

QString FrmTabulor::NeverEnteredText() const {
  std::array<bool, kSlots> spaced{true, true, true, true};
  for (int k = 0; k < sets_->count() && k < kSlots; ++k) spaced[k] = sets_->at(k).chkSpaced->isChecked();
  return entered_.NeverEnteredText(model_, spaced);
}

void FrmTabulor::ShowError(const QString& text) {
  services_.Message(this, QMessageBox::Critical, ProgramTitle(), text);
}

// ---------------------------------------------------------------------------
// Variables and grid entry.

void FrmTabulor::cmdNextVar_Click() {
  const int count = model_.LastVar + 1;
  shown_var_ = shown_var_ >= count ? 1 : shown_var_ + 1;
  EditLimit(shown_var_ - 1);
}

void FrmTabulor::cmdPrevVar_Click() {
  const int count = model_.LastVar + 1;
  shown_var_ = shown_var_ <= 1 ? count : shown_var_ - 1;
  EditLimit(shown_var_ - 1);
}

void FrmTabulor::chkSpaced_Click(int k) {
  if (k < 0 || k >= sets_->count()) return;
  const bool checked = sets_->at(k).chkSpaced->isChecked();
  sets_->at(k).cmdEditVars->setEnabled(!checked);
  if (!sets_->loading() && k < kSlots) model_.EvenlySpaced[k] = checked;
}

void FrmTabulor::txtGridPoints_GotFocus(int k) {
  model_.CurVar = k;
  saved_last_point_ = model_.LastPoint[k];
}

void FrmTabulor::txtGridPoints_LostFocus(int k) {
  QLineEdit* box = sets_->at(k).txtGridPoints;
  std::int32_t last = 0;
  // Only a text the check lets pass changes the grid.
  const std::optional<double> value = WholeTextNumber(box->text().toStdString());
  if (!value || CheckGridPoints(*value, model_.LastTerm[k] == 0, last) != GridPointsCheck::Ok) return;
  model_.CurVar = k;
  const std::int32_t before = model_.LastPoint[k];
  model_.LastPoint[k] = last;
  if (last == saved_last_point_) return;
  try {
    model_.ResizeCurrentGrid();
    // Points added to the grid hold 0 until they are entered.
    entered_.Resize(k, model_.GridX[k].size());
  } catch (const std::bad_alloc&) {
    model_.LastPoint[k] = before;
    box->setText(IntQ(static_cast<std::int64_t>(before) + 1));
    ShowError(QStringLiteral("There is not enough memory for %1 grid points of %2.")
                  .arg(IntQ(static_cast<std::int64_t>(last) + 1), ToQ(VariableLabel(model_, k))));
  }
}

void FrmTabulor::cmdEditVars_Click(int k) {
  if (k < 0 || k >= sets_->count() || vars_ || !fraGrdSpecs->isEnabled()) return;
  model_.CurVar = k;
  // Modal to this window, which takes no input while the editor is open.
  auto* editor = new FrmVars(model_, k, this);
  editor->setAttribute(Qt::WA_DeleteOnClose);
  connect(editor, &FrmVars::gridPointsChanged, this,
          [this, k](int count) { SetBoxText(sets_->at(k).txtGridPoints, IntQ(count)); });
  connect(editor, &FrmVars::valueEntered, this, [this, k](int row) { entered_.Mark(k, row); });
  connect(editor, &FrmVars::valueMoved, this, [this, k](int from, int to) { entered_.Move(k, from, to); });
  vars_ = editor;
  editor->open();
}

// ---------------------------------------------------------------------------
// Files.

void FrmTabulor::txtSerFileName_Click() {
  if (state_ != FormState::Start) return;
  const QString name = services_.OpenFileName(this, QStringLiteral("Series files (*.ser);;All files (*)"));
  if (name.isEmpty()) return;
  model_.Loading = true;
  SeriesReadResult r;
  {
    FileProgress progress(this, QStringLiteral("Reading the series file..."), services_.ProgressDelayMs());
    r = evaluation_.OpenSeries(PathFromQ(name), progress.fn());
  }
  model_.Loading = false;
  if (r.outcome == SeriesReadOutcome::Cancelled) return;  // the user's own choice: nothing to tell
  if (r.outcome == SeriesReadOutcome::NoCoefficients) {
    services_.Message(this, QMessageBox::NoIcon, ProgramTitle(), QStringLiteral("NO COEFFICIENTS IN FILE."));
    close();
    return;
  }
  if (r.outcome != SeriesReadOutcome::Ok) return ShowError(QString::fromStdString(r.message));
  model_.Loading = true;
  LoadObjects();
  SetDisplayedSpecs();
  model_.Loading = false;
  ApplyState(FormState::SeriesLoaded);
  sets_->at(0).txtLLgrid->setFocus(Qt::OtherFocusReason);
}

void FrmTabulor::txtGrdFileName_Click() {
  if (state_ != FormState::Start) return;
  const QString chosen = services_.OpenFileName(this, QStringLiteral("Grid files (*.grd);;All files (*)"));
  if (chosen.isEmpty()) return;
  // The file picked is the file read; a name without ".grd" is a base name.
  model_.Loading = true;
  GridFileResult r;
  bool cancelled = false;
  {
    FileProgress progress(this, QStringLiteral("Reading the grid file..."), services_.ProgressDelayMs());
    r = evaluation_.OpenGridFile(PathFromQ(chosen), progress.fn());
    cancelled = progress.cancelled();
  }
  if (!r.ok) {
    model_.Loading = false;
    if (!cancelled) ShowError(QString::fromStdString(r.message));
    return;
  }
  LoadObjects();
  SetDisplayedSpecsGrid();
  ListResults();
  // The grid stays as read, so that the results, the grid sizes and the grid
  // values saved again always belong together.
  ApplyState(FormState::GridFileShown);
  unsaved_results_ = false;
}

void FrmTabulor::mnuSave_Click() {
  if (mnuSave->isEnabled()) SaveResults();
}

void FrmTabulor::mnuSaveAs_Click() {
  if (mnuSaveAs->isEnabled()) SaveResultsAs();
}

bool FrmTabulor::SaveResults() {
  if (model_.FileName.empty()) return SaveResultsAs();
  return SaveGridFile(model_.FileName);
}

bool FrmTabulor::SaveResultsAs() {
  // The dialog starts in the folder of the file in use, offering its name.
  const QString name =
      services_.SaveFileName(this, QStringLiteral("Grid files (*.grd);;All files (*)"), PathToQ(model_.FileName));
  if (name.isEmpty()) return false;  // nothing chosen: the file name stays
  return SaveGridFile(PathFromQ(name));
}

bool FrmTabulor::SaveGridFile(const std::string& name) {
  GridFileResult r;
  bool cancelled = false;
  {
    FileProgress progress(this, QStringLiteral("Saving the grid file..."), services_.ProgressDelayMs());
    r = evaluation_.SaveGridFile(name, progress.fn());
    cancelled = progress.cancelled();
  }
  if (!r.ok) {
    // A cancelled save wrote nothing and keeps the file name, unasked.
    if (!cancelled) ShowError(QString::fromStdString(r.message));
    return false;
  }
  unsaved_results_ = false;
  // Where the results went: the grid file box names the file written.
  ShowFileName(txtGrdFileName, GridFilePath(name));
  return true;
}

// ---------------------------------------------------------------------------
// The computation, the report and the plot.

void FrmTabulor::cmdCompute_Click() {
  if (state_ != FormState::SeriesLoaded || computing()) return;
  // Grid points added to an uneven grid and never typed in hold 0: the
  // user decides whether that is meant.
  const QString unentered = NeverEnteredText();
  if (!unentered.isEmpty() && services_.Ask(this, ProgramTitle(), unentered + QStringLiteral(" Compute anyway?"),
                                            QMessageBox::Yes | QMessageBox::No, QMessageBox::No) != QMessageBox::Yes)
    return;
  ClearResults();
  if (const std::string why = evaluation_.CaptureGrids(sets_->GridSpec(model_)); !why.empty())
    return ShowError(QStringLiteral("The grid settings cannot be used; nothing was computed.\n\n") +
                     QString::fromStdString(why));
  static_cast<NumberLabel*>(lblGridPoints)->setNumberText(IntQ(model_.TotalCount));
  police_->setBusy(true);
  QApplication::setOverrideCursor(Qt::WaitCursor);
  const ComputeResult r = runner_->Run(evaluation_, services_.ProgressDelayMs());
  QApplication::restoreOverrideCursor();
  police_->setBusy(false);
  if (r.outcome == ComputeOutcome::Cancelled) return;
  if (r.outcome != ComputeOutcome::Ok || !model_.ResultsReady)
    return ShowError(QStringLiteral("The computation failed; nothing was listed.\n\n") +
                     QString::fromStdString(r.message));
  // Two beeps: the computation has ended, which after a long wait the user
  // may be hearing rather than watching for.
  services_.Beep();
  services_.Beep();
  ListResults();
  ApplyState(FormState::Computed);
  unsaved_results_ = true;
}

ReportPrinter& FrmTabulor::reportPrinter() {
  if (!printer_) printer_ = std::make_unique<ReportPrinter>();
  return *printer_;
}

void FrmTabulor::mnuPrint_Click() {
  if (!mnuPrint->isEnabled()) return;
  const PrintResult r = PrintReport(model_, reportPrinter(), this, services_);
  if (!r.message.isEmpty()) ShowError(r.message);
}

void FrmTabulor::mnuPlot_Click() {
  if (!mnuPlot->isEnabled()) return;
  try {
    PlotWindow::Open(model_, services_, this);
  } catch (const std::bad_alloc&) {
    ShowError(QStringLiteral("There is not enough memory to open the plot."));
  }
}

// ---------------------------------------------------------------------------
// About, Help, Exit and the end of the program.

void FrmTabulor::mnuAbout_Click() {
  if (!about_) {
    about_ = new FrmAbout();
    about_->setAttribute(Qt::WA_DeleteOnClose);
  }
  about_->show();
  about_->raise();
  about_->activateWindow();
}

void FrmTabulor::mnuHelp_Click() {
  const QString resource = services_.HelpResource();
  QFile file(resource);
  if (!file.open(QIODevice::ReadOnly)) {
    ShowError(QStringLiteral("The help text \"%1\" is missing from this program.").arg(resource));
    return;
  }
  const QString html = QString::fromUtf8(file.readAll());
  if (!help_) {
    help_ = new HelpWindow();
    help_->setAttribute(Qt::WA_DeleteOnClose);
  }
  help_->setHelpHtml(html);
  help_->show();
  help_->raise();
  help_->activateWindow();
}

void FrmTabulor::cmdExit_Click() {
  // A text a grid box refused goes: Exit always ends the program.
  police_->DiscardRefusedText();
  close();
}

void FrmTabulor::closeEvent(QCloseEvent* event) {
  if (computing()) return event->ignore();
  if (!unloaded_ && unsaved_results_) {
    // One Compute a run: results not yet in a grid file would be lost.
    const auto answer =
        services_.Ask(this, ProgramTitle(), QStringLiteral("Save the results?"),
                      QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, QMessageBox::Save);
    if ((answer == QMessageBox::Save && !SaveResults()) ||
        (answer != QMessageBox::Save && answer != QMessageBox::Discard))
      return event->ignore();
  }
  police_->DiscardRefusedText();
  event->accept();
  if (unloaded_) return;
  unloaded_ = true;
  // The end of the run: the user's decimal separator back, every window
  // closed, the program ends.
  emit unloading();
  if (vars_) vars_->close();
  if (about_) about_->close();
  if (help_) help_->close();
  services_.Quit();
}

void FrmTabulor::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  if (centred_) return;
  centred_ = true;
  if (QScreen* s = screen()) {
    const QRect area = s->availableGeometry();
    move(area.center() - QPoint(frameGeometry().width() / 2, frameGeometry().height() / 2));
  }
}

}  // namespace tabulor
