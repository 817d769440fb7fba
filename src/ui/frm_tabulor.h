// The main window: the two file names and the counts, the series details and
// the grid settings of one variable at a time, "Compute", "Exit", the
// results list and the menu bar.
//
// How it is built. FrmTabulor holds the handlers of its controls (private
// slots) and the state table; the rest is done by parts of one job each:
//   - look (window_look.h): colours, fonts and the factories of the widgets;
//   - ControlSets (control_sets.h): the thirteen controls of each variable,
//     filled from the model and read back as the grid settings;
//     EnteredPoints remembers which uneven grid values were typed;
//   - InputPolice (input_police.h): the input rules as one event filter,
//     which also turns clicks on the file name boxes into signals;
//   - ComputeRunner (compute_runner.h): the computation on a thread of its
//     own, waited for in an event loop, with its progress window;
//   - progress_dialogs.h: the progress windows shared with the report and
//     the plot;
//   - Evaluation (evaluation/evaluation.h): the steps of an evaluation, the
//     same the batch command takes.
//
// How a click flows. A click on "Compute" calls cmdCompute_Click: it asks
// about grid values never entered, reads the grid boxes of every variable
// (ControlSets::GridSpec) and hands them to Evaluation::CaptureGrids, which
// checks them and puts them into the model. ComputeRunner then runs
// Evaluation::Compute (the engine) off the window's thread; when it ends,
// the results list shows the model's values (ListResults) and ApplyState
// moves the window to FormState::Computed, which enables "Save", "Print"
// and "Plot" and freezes the grid settings. Opening a file and saving one
// flow the same way through Evaluation, with a FileProgress window.
#pragma once

#include <QMainWindow>
#include <QPointer>
#include <QProgressDialog>

#include <cstdint>
#include <memory>
#include <string>

#include "engine/compute.h"
#include "evaluation/evaluation.h"
#include "model/dimension.h"
#include "model/progress.h"
#include "ui/control_sets.h"
#include "ui/frm_about.h"
#include "ui/help_window.h"
#include "ui/report_printer.h"
#include "ui/ui_services.h"

class QAction;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;

namespace tabulor {

class ComputeRunner;
class InputPolice;
class ResultsList;

class FrmTabulor : public QMainWindow {
  Q_OBJECT

 public:
  // The window's states; a run never goes back to an earlier one.
  enum class FormState { Start, SeriesLoaded, Computed, GridFileShown };

  // The window works on `model` and asks `services` for dialogs, message
  // boxes and the computation's thread; both must outlive it.
  explicit FrmTabulor(Dimension& model, UiServices& services = DesktopServices(), QWidget* parent = nullptr);
  ~FrmTabulor() override;

  Dimension& model() { return model_; }
  FormState formState() const { return state_; }
  // The 1-based number of the variable whose set is shown.
  int ShownVar() const { return shown_var_; }
  int controlSetCount() const;
  bool computing() const;

  // The printer of the run: the choice made in the print dialog stays.
  ReportPrinter& reportPrinter();

  // The About and Help windows while they are open.
  FrmAbout* aboutWindow() const { return about_; }
  HelpWindow* helpWindow() const { return help_; }
  QWidget* varsEditor() const { return vars_; }
  // The progress dialog while a long computation runs.
  QProgressDialog* progressDialog() const;

 signals:
  // The window is closing for good: the program puts the user's decimal
  // separator back here.
  void unloading();

 protected:
  void closeEvent(QCloseEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private slots:
  void txtSerFileName_Click();
  void txtGrdFileName_Click();
  void cmdCompute_Click();
  void cmdNextVar_Click();
  void cmdPrevVar_Click();
  void chkSpaced_Click(int k);
  void cmdEditVars_Click(int k);
  void cmdExit_Click();
  void txtGridPoints_GotFocus(int k);
  void txtGridPoints_LostFocus(int k);
  void mnuSave_Click();
  void mnuSaveAs_Click();
  void mnuPrint_Click();
  void mnuPlot_Click();
  void mnuHelp_Click();
  void mnuAbout_Click();

 private:
  // Enables, disables, shows and hides what depends on the state: the whole
  // state table of the window.
  void ApplyState(FormState state);

  void BuildFileArea(QWidget* client);
  void BuildVariableFrames(QWidget* client);
  void BuildMenus();
  void ConnectParts();
  void SetTabOrder();

  void LoadObjects();
  void SetDisplayedSpecs();
  void SetDisplayedSpecsGrid();
  void EditLimit(int k);
  void ListResults();
  void ClearResults();
  // After a file is shown: the number of variables, `total` (coefficients
  // or grid points) in `count`, the file's name in `name`.
  void ShowFileCounts(std::int64_t total, QLabel* count, QLineEdit* name, const std::string& path);
  // Puts a file's path into a file name box and its tool tip.
  void ShowFileName(QLineEdit* box, const std::string& path);
  // Grid values added to uneven grids and never typed in, told per variable.
  QString NeverEnteredText() const;
  void ShowError(const QString& text);
  // Writes the grid file GridFilePath(name); on success the file name
  // becomes name and the grid file box shows the file written, on failure
  // the reason is shown and the name stays. True when written.
  bool SaveGridFile(const std::string& name);
  // Save and Save As; true when the results were written.
  bool SaveResults();
  bool SaveResultsAs();

  Dimension& model_;
  UiServices& services_;
  Evaluation evaluation_;
  FormState state_ = FormState::Start;
  int shown_var_ = 1;
  std::int32_t saved_last_point_ = 0;
  bool unloaded_ = false;
  bool centred_ = false;
  // Computed results that no grid file holds yet.
  bool unsaved_results_ = false;
  EnteredPoints entered_;

  QLabel* lblSerFilename = nullptr;
  QLineEdit* txtSerFileName = nullptr;
  QLabel* lblGrdFilename = nullptr;
  QLineEdit* txtGrdFileName = nullptr;
  QLabel* lblOrd = nullptr;
  QLabel* lblOrder = nullptr;
  QLabel* lblCoeffOrGrid = nullptr;
  QLabel* lblCoeffs = nullptr;
  QLabel* lblGridPoint = nullptr;
  QLabel* lblGridPoints = nullptr;
  QPushButton* cmdCompute = nullptr;
  QPushButton* cmdExit = nullptr;
  ResultsList* lstCoeff = nullptr;
  QGroupBox* fraVarSpecs = nullptr;
  QLabel* lblVariable = nullptr;
  QGroupBox* fraSerSpecs = nullptr;
  QPushButton* cmdPrevVar = nullptr;
  QPushButton* cmdNextVar = nullptr;
  QGroupBox* fraGrdSpecs = nullptr;
  QGroupBox* fraType = nullptr;
  QGroupBox* FraSpaced = nullptr;
  QMenu* mnuFile = nullptr;
  QAction* mnuOpen = nullptr;
  QAction* mnuSave = nullptr;
  QAction* mnuSaveAs = nullptr;
  QAction* mnuPrint = nullptr;
  QAction* mnuPlot = nullptr;  // the plot window; enabled exactly when Print is
  QAction* mnuHelp = nullptr;
  QAction* mnuAbout = nullptr;

  ControlSets* sets_ = nullptr;
  InputPolice* police_ = nullptr;
  ComputeRunner* runner_ = nullptr;
  QPointer<FrmAbout> about_;
  QPointer<HelpWindow> help_;
  QPointer<QWidget> vars_;
  std::unique_ptr<ReportPrinter> printer_;
};

}  // namespace tabulor
