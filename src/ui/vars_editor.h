// frmVars: the editor of an unevenly spaced grid. It shows the grid values
// of one variable as a two-column table (labels "x(0)=", "x(1)=", ... in the
// fixed first column, the values in the second), lets the user change any
// value in a text box laid over the cell and delete values, and writes every
// accepted value straight into the model.
//
// Use: the window is modal to its parent window, which takes no input while
// it is open. (Do not also disable the parent: a disabled window disables its
// child windows, the editor included.)
//
//   model.CurVar = k;
//   auto* editor = new tabulor::FrmVars(model, k, this);
//   editor->setAttribute(Qt::WA_DeleteOnClose);
//   connect(editor, &tabulor::FrmVars::gridPointsChanged, this, [this, k](int count) {
//     /* show `count` in the variable's "# of grid points" box */
//   });
//   editor->open();
#pragma once

#include <QDialog>
#include <QLineEdit>
#include <cstdint>

#include "model/dimension.h"

class QLabel;
class QPushButton;
class QTableView;

class QVBoxLayout;

namespace tabulor {

class VarsGridModel;

// txtDataEntry: the single-line box laid over the cell being edited. It
// selects its whole text whenever it gets the focus, keeps every key press
// to itself, and lets through only the characters of a number.
class DataEntryBox : public QLineEdit {
  Q_OBJECT
 public:
  explicit DataEntryBox(QWidget* parent = nullptr);

  // True for a character the box accepts: a digit, "+", "-", ".", "E", "e".
  static bool AcceptsCharacter(QChar c);

 protected:
  void focusInEvent(QFocusEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
};

// The key-down logic of an editing box laid over a table: Enter refills the
// box from the current cell (the typed text is dropped), Escape empties and
// hides it and then does the same, Up and Down move the current row and
// Left and Right the current column when there is a neighbouring editable
// cell (otherwise they act as Enter). A move leaves the current cell, which
// commits the edit through the table's own handling; the box then opens on
// the new current cell. When that commit refuses the typed text the box stays
// where it is with its text. Returns false for any other key (the box edits
// as usual). `fixedColumns` is the number of label columns at the left.
bool HandleEditKey(QTableView* grid, QLineEdit* box, int key, int fixedColumns = 1);

// Opens `box` on the current cell of `grid`: its text, laid exactly over the
// cell, shown, focused.
void OpenEditBox(QTableView* grid, QLineEdit* box);

class FrmVars : public QDialog {
  Q_OBJECT
 public:
  // Shows the grid values 0..LastPoint(var) of variable `var` (0..3); sets
  // the model's CurVar to `var`. A grid array shorter than LastPoint + 1 is
  // first extended with zeros so that every row is stored.
  FrmVars(Dimension& model, int var, QWidget* parent = nullptr);
  ~FrmVars() override;

  // The variable's number of grid points, LastPoint(var) + 1.
  int gridPoints() const;

  // Commits the edit in progress, if any: the cell gets the text as typed
  // and the model the number the text begins with (0 when there is none).
  // A number beyond the range of a double is refused: nothing is stored,
  // the box stays open with its text, and false is returned.
  bool CommitCellEdit();

  // True while a cell is being edited (the box is shown).
  bool isEditing() const;

  QTableView* grid() const { return grid_; }
  DataEntryBox* dataEntry() const { return box_; }
  QPushButton* deleteButton() const { return cmdDelete_; }
  QPushButton* doneButton() const { return cmdExit_; }
  // Says why a typed value was refused; hidden otherwise.
  QLabel* messageLabel() const { return message_; }

  // The value column's width: four thirds of an inch at the screen's resolution.
  static int ValueColumnWidth(const QWidget* widget);

 signals:
  // "Delete" removed a value; `count` is the new number of grid points.
  void gridPointsChanged(int count);
  // The value of grid point `row` was typed in and stored.
  void valueEntered(int row);
  // "Delete" moved the value of grid point `from` into grid point `to`.
  void valueMoved(int from, int to);

 public slots:
  // "Delete": only while a cell is being edited and at least three values
  // remain; the last value moves into the current row and the last row goes.
  void cmdDelete_Click();
  // "Done": commits and closes.
  void cmdExit_Click();
  // The close box and the Escape key of the window: commits and closes.
  void reject() override;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // The grid of values and the box values are typed in; the width of the
  // label column.
  int BuildGrid();
  QVBoxLayout* BuildLayout();
  void grid_Click(const QModelIndex& index);
  void grid_CurrentChanged(const QModelIndex& current, const QModelIndex& previous);
  bool CommitCellEditAt(int row);
  // Shows why an edit was not made, under the table, with a beep.
  void Refuse(const QString& why);

  Dimension& model_;
  int var_;
  VarsGridModel* cells_ = nullptr;
  QTableView* grid_ = nullptr;
  DataEntryBox* box_ = nullptr;
  QPushButton* cmdDelete_ = nullptr;
  QPushButton* cmdExit_ = nullptr;
  QLabel* message_ = nullptr;
  // The cell the box was opened on.
  int editRow_ = -1;
  bool restoringCell_ = false;
};

}  // namespace tabulor
