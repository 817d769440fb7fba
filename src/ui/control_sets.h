// The controls that exist once per variable, and their transfer from the
// model into the window and from the window into the grid settings the capture reads.
#pragma once

#include <QObject>
#include <QString>

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "model/dimension.h"
#include "model/grid_capture.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QWidget;

namespace tabulor {

// The thirteen controls of one variable; their object names end in "_k".
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
  // In the order in which they are created.
  std::array<QWidget*, 13> members() const;
  // The four grid boxes.
  std::array<QLineEdit*, 4> gridBoxes() const { return {txtLLgrid, txtULgrid, txtGridPoints, txtDer}; }
};

// The frames the controls of a set lie in.
struct SetFrames {
  QWidget* varSpecs = nullptr;  // fraVarSpecs: the variable's name
  QWidget* serSpecs = nullptr;  // fraSerSpecs: limits, centre, period, terms
  QWidget* type = nullptr;      // fraType: "Power"
  QWidget* grdSpecs = nullptr;  // fraGrdSpecs: the grid boxes and "Edit"
  QWidget* spaced = nullptr;    // FraSpaced: "Yes"
};

// A grid box of a control set.
enum class BoxKind { LLgrid, ULgrid, GridPoints, Der };
struct BoxRef {
  BoxKind kind;
  int k;
};

// The control sets of the window: set 0 from the start, the others made
// once a series with more variables is loaded, lying on top of set 0 and
// hidden until their variable is shown.
class ControlSets : public QObject {
  Q_OBJECT

 public:
  explicit ControlSets(const SetFrames& frames, QObject* parent = nullptr);

  int count() const { return static_cast<int>(sets_.size()); }
  const ControlSet& at(int k) const { return sets_.at(static_cast<std::size_t>(k)); }

  // Sets 1..last_var as copies of set 0, every set "Power" and evenly
  // spaced; made once a run.
  void LoadObjects(int last_var);
  // The series as read: its details and its default grid.
  void ShowSeries(const Dimension& model);
  // A grid file as read: its grid; the series details and "Edit" hidden.
  void ShowGridFile(const Dimension& model);
  // Shows set k alone, with the variable's name.
  void ShowOnly(int k, const Dimension& model);
  // What the grid boxes of variables 0..LastVar hold.
  std::array<GridSpecText, kSlots> GridSpec(const Dimension& model) const;
  // The grid box `object` is, if it is one.
  std::optional<BoxRef> FindBox(const QObject* object) const;
  // Whether the controls are being reset as a series is loaded (the model's
  // spacing flags are not to follow them then).
  bool loading() const { return loading_; }

 signals:
  void created(int k);
  void spacedToggled(int k);
  void editClicked(int k);

 private:
  ControlSet Create(int k);
  void CopyFromFirst(const ControlSet& s);

  SetFrames frames_;
  std::vector<ControlSet> sets_;
  bool loading_ = false;
};

// Puts a text into a box showing its beginning.
void SetBoxText(QLineEdit* box, const QString& text);

// Which grid points of the uneven grids were entered (typed in the editor
// or set by the program) rather than added as 0.
class EnteredPoints {
 public:
  // The values the grids hold now count as entered.
  void MarkAll(const Dimension& model);
  void Mark(int k, int row);
  // The value of row `from` moved to row `to`.
  void Move(int k, int from, int to);
  // Grid k now has `size` points; added ones are not entered.
  void Resize(int k, std::size_t size);
  // Per uneven variable, the grid points never entered, or "".
  QString NeverEnteredText(const Dimension& model, const std::array<bool, kSlots>& spaced) const;

 private:
  std::array<std::vector<char>, kSlots> entered_;
};

}  // namespace tabulor
