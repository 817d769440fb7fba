// The main window: the two file names and the counts, the series details and
// the grid settings of one variable at a time, "Compute", "Exit", the
// results list and the menu bar.
#pragma once

#include <QMainWindow>
#include <QPointer>
#include <QProgressDialog>

#include <array>
#include <cstdint>
#include <functional>
#include <thread>
#include <memory>
#include <optional>
#include <vector>

#include "engine/compute.h"
#include "evaluation/evaluation.h"
#include "model/dimension.h"
#include "model/progress.h"
#include "ui/frm_about.h"
#include "ui/help_window.h"
#include "ui/report_printer.h"

class QAction;
class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;

namespace tabulor {

class ResultsList;

class FrmTabulor : public QMainWindow {
  Q_OBJECT

 public:
  // The window's states; a run never goes back to an earlier one.
  enum class FormState { Start, SeriesLoaded, Computed, GridFileShown };

  // The thirteen controls that exist once per variable.
  struct ControlSet {
    QLineEdit* txtUL = nullptr;
    QLineEdit* txtLL = nullptr;
    QLabel* lblVar = nullptr;
    QLineEdit* txtTerms = nullptr;
    QLineEdit* txtExpansion = nullptr;
    QLineEdit* txtPeriod = nullptr;
    QCheckBox* chkPower = nullptr;
    QLineEdit* txtLLgrid = nullptr;
    QLineEdit* txtULgrid = nullptr;
    QLineEdit* txtGridPoints = nullptr;
    QLineEdit* txtDer = nullptr;
    QCheckBox* chkSpaced = nullptr;
    QPushButton* cmdEditVars = nullptr;
    // In the order in which LoadObjects creates them.
    std::array<QWidget*, 13> members() const;
  };

  // The window works on `model`, which must outlive it.
  explicit FrmTabulor(Dimension& model, QWidget* parent = nullptr);
  ~FrmTabulor() override;

  Dimension& model() { return model_; }
  FormState formState() const { return state_; }
  // The 1-based number of the variable whose set is shown.
  int ShownVar() const { return shown_var_; }
  int controlSetCount() const { return static_cast<int>(sets_.size()); }
  const ControlSet& set(int k) const { return sets_.at(static_cast<std::size_t>(k)); }
  bool computing() const { return computing_; }

  // Runs first when the window closes (the program puts the user's decimal
  // separator back here).
  std::function<void()> onUnload;
  // The computation; tests put a slow one here to reach the progress dialog.
  std::function<ComputeResult(Dimension&, const ProgressFn&)> computeFunction;
  // Starts the thread the computation runs on; tests make it fail as a
  // process out of threads or address space does.
  std::function<std::thread(std::function<void()>)> startThread = [](std::function<void()> body) {
    return std::thread(std::move(body));
  };
  // How "Print" shows its print dialog; tests choose a PDF file here.
  ReportPrintOptions printOptions;
  // The printer of the run: the choice made in the print dialog stays.
  ReportPrinter& reportPrinter();

  // Procedures of the window.
  void LoadObjects();
  void SetDisplayedSpecs();
  void SetDisplayedSpecsGrid();
  void EditLimit(int LL);
  void ListResults();
  void ClearResults();

  // Handlers; the widgets call them, and so can a script that drives the
  // window (the screenshot script's demo mode).
  void txtSerFileName_Click();
  void txtGrdFileName_Click();
  void cmdCompute_Click();
  void cmdNextVar_Click();
  void cmdPrevVar_Click();
  void chkSpaced_Click(int k);
  void cmdEditVars_Click(int k);
  void cmdExit_Click();
  void mnuSave_Click();
  void mnuSaveAs_Click();
  void mnuPrint_Click();
  void mnuPlot_Click();
  void mnuHelp_Click();
  void mnuAbout_Click();

  // The About and Help windows while they are open.
  FrmAbout* aboutWindow() const { return about_; }
  HelpWindow* helpWindow() const { return help_; }
  QWidget* varsEditor() const { return vars_; }
  // The progress dialog while a long computation runs.
  QProgressDialog* progressDialog() const { return progress_; }

  // Controls of the window (the names are those of its design).
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
  QLabel* lblLL = nullptr;
  QLabel* lblUL = nullptr;
  QLabel* lblExpansion = nullptr;
  QLabel* lblPeriod = nullptr;
  QLabel* lblTerms = nullptr;
  QGroupBox* fraType = nullptr;
  QLabel* lblLLgrid = nullptr;
  QLabel* lblULgrid = nullptr;
  QLabel* lblGirdPoints = nullptr;
  QLabel* lblDer = nullptr;
  QGroupBox* FraSpaced = nullptr;

  QMenu* mnuFile = nullptr;
  QAction* mnuOpen = nullptr;
  QAction* mnuFileBar1 = nullptr;
  QAction* mnuSave = nullptr;
  QAction* mnuSaveAs = nullptr;
  QAction* mnuFileBar2 = nullptr;
  QAction* mnuPrint = nullptr;
  QAction* mnuPlot = nullptr;  // the plot window; enabled exactly when Print is
  QAction* mnuHelp = nullptr;
  QAction* mnuAbout = nullptr;

 protected:
  void closeEvent(QCloseEvent* event) override;  // Form_Unload
  void showEvent(QShowEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // After a file is shown: the number of variables, `total` (coefficients
  // or grid points) in `count`, the file's name in `name`, the file name
  // boxes frozen and the variables' frame open.
  void ShowFileCounts(std::int64_t total, QLabel* count, QLineEdit* name, const std::string& path);
  // Puts a file's path into a file name box and its tool tip.
  void ShowFileName(QLineEdit* box, const std::string& path);

  enum class BoxKind { LLgrid, ULgrid, GridPoints, Der };
  struct BoxRef {
    BoxKind kind;
    int k;
  };

  void BuildLayout();
  void BuildMenus();
  ControlSet CreateSet(int k);
  void SetTabOrder();
  std::optional<BoxRef> FindBox(const QObject* object) const;

  // The entry checks. Returns true when the box's text is acceptable; else
  // the reason goes to the box's tooltip.
  bool ValidateBox(QLineEdit* box, const BoxRef& ref);
  // Why the box's text is refused, or "" when it is acceptable.
  QString Refusal(const QLineEdit* box, const BoxRef& ref) const;
  // Puts every grid box whose text is refused back to its accepted text.
  void DiscardRefusedText();
  // The grid points of uneven grids that were added and never entered,
  // told per variable, or "".
  QString NeverEnteredText() const;
  // The check of the box that has the focus, when the focus is about to move
  // from it to `target`; false refuses the move.
  bool AllowFocusMove(QWidget* target);
  bool FocusedBoxAcceptable();
  void BoxGotFocus(QLineEdit* box, const BoxRef& ref);
  void txtGridPoints_LostFocus(int k);

  // Runs the computation off the window's thread and waits for it.
  ComputeResult RunCompute();
  void ShowError(const QString& text);
  // Writes the grid file GridFilePath(name); on success the file name
  // becomes name and the grid file box shows the file written, on failure
  // the reason is shown and the name stays. True when written.
  bool SaveGridFile(const std::string& name);
  // Save and Save As; true when the results were written.
  bool SaveResults();
  bool SaveResultsAs();
  void EnableResultMenus();
  void FreezeGridEntry();

  Dimension& model_;
  Evaluation evaluation_;
  FormState state_ = FormState::Start;
  int shown_var_ = 1;
  std::int32_t saved_last_point_ = 0;
  std::vector<ControlSet> sets_;
  bool loading_objects_ = false;
  bool computing_ = false;
  bool unloaded_ = false;
  // Computed results that no grid file holds yet.
  bool unsaved_results_ = false;
  // Per variable and grid point: whether its value was entered (typed in
  // the editor or set by the program) rather than added as 0.
  std::array<std::vector<char>, kSlots> entered_;
  QLineEdit* select_on_press_ = nullptr;
  QPointer<QLineEdit> entered_box_;  // the grid box the focus last arrived in
  QPointer<FrmAbout> about_;
  QPointer<HelpWindow> help_;
  QPointer<QWidget> vars_;
  QPointer<QProgressDialog> progress_;
  std::unique_ptr<ReportPrinter> printer_;
  bool centred_ = false;
};

}  // namespace tabulor
