// The uneven grid editor driven through its widgets: clicks on the cells,
// keys typed into the editing box, the buttons and the close box.
#include <QApplication>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableView>
#include <QtTest>
#include <memory>
#include <vector>

#include "model/dimension.h"
#include "ui/vars_editor.h"

using tabulor::Dimension;
using tabulor::FrmVars;

namespace {

// One variable x (or more) whose grid is typed by hand.
Dimension MakeModel(const std::vector<double>& values, const std::string& name = "x") {
  Dimension model;
  model.LastVar = 0;
  model.VarName[0] = name;
  model.EvenlySpaced[0] = false;
  model.LastPoint[0] = static_cast<std::int32_t>(values.size()) - 1;
  model.GridX[0] = values;
  return model;
}

QModelIndex Cell(FrmVars& editor, int row, int column = 1) { return editor.grid()->model()->index(row, column); }

QString CellText(FrmVars& editor, int row, int column = 1) {
  return Cell(editor, row, column).data(Qt::DisplayRole).toString();
}

QStringList ValueTexts(FrmVars& editor) {
  QStringList texts;
  for (int r = 0; r < editor.grid()->model()->rowCount(); ++r) texts << CellText(editor, r);
  return texts;
}

void ClickCell(FrmVars& editor, int row, int column = 1) {
  const QRect rect = editor.grid()->visualRect(Cell(editor, row, column));
  QTest::mouseClick(editor.grid()->viewport(), Qt::LeftButton, Qt::NoModifier, rect.center());
}

// Opens the editor on a cell and replaces its text by `typed`.
void TypeIntoCell(FrmVars& editor, int row, const QString& typed) {
  ClickCell(editor, row);
  QVERIFY(editor.isEditing());
  QTest::keyClicks(editor.dataEntry(), typed);
}

}  // namespace

class VarsEditorTest : public QObject {
  Q_OBJECT

 private:
  // The main window stands in as the editor's parent.
  std::unique_ptr<QWidget> mainWindow_;
  std::unique_ptr<FrmVars> editor_;

  FrmVars& Open(Dimension& model, int var = 0) {
    editor_ = std::make_unique<FrmVars>(model, var, mainWindow_.get());
    editor_->open();
    editor_->activateWindow();
    FrmVars* editor = editor_.get();
    if (!QTest::qWaitFor([editor] { return QApplication::activeWindow() == editor; }))
      qWarning("the editor window did not become active");
    return *editor_;
  }

 private slots:
  void init() {
    mainWindow_ = std::make_unique<QWidget>();
    mainWindow_->resize(400, 300);
    mainWindow_->show();
    QVERIFY(QTest::qWaitForWindowExposed(mainWindow_.get()));
  }

  void cleanup() {
    editor_.reset();
    mainWindow_.reset();
  }

  void opensWithLabelsAndNumberText() {
    Dimension model = MakeModel({1, 0.1 + 0.2, -0.5, 1e15, -0.0, 123456789.125});
    model.CurVar = 3;
    FrmVars& editor = Open(model);
    QCOMPARE(editor.windowTitle(), QStringLiteral("Enter/edit values of variable: x"));
    QCOMPARE(model.CurVar, 0);
    QCOMPARE(editor.grid()->model()->rowCount(), 6);
    QCOMPARE(editor.grid()->model()->columnCount(), 2);
    QCOMPARE(editor.gridPoints(), 6);
    const QStringList labels = {"x(0)=", "x(1)=", "x(2)=", "x(3)=", "x(4)=", "x(5)="};
    for (int r = 0; r < 6; ++r) QCOMPARE(CellText(editor, r, 0), labels[r]);
    QCOMPARE(ValueTexts(editor), (QStringList{"1", "0.3", "-0.5", "1E+15", "0", "123456789.125"}));
    QVERIFY(!editor.isEditing());
    QVERIFY(editor.dataEntry()->isHidden());
    QCOMPARE(editor.grid()->columnWidth(1), FrmVars::ValueColumnWidth(&editor));
    QCOMPARE(FrmVars::ValueColumnWidth(&editor), (1920 * editor.logicalDpiX() + 720) / 1440);
    // The editor keeps the main window from taking input while it is open.
    QCOMPARE(QApplication::activeModalWidget(), &editor);
    QCOMPARE(editor.windowModality(), Qt::WindowModal);
    // Delete left of Done along the bottom.
    QCOMPARE(editor.deleteButton()->text(), QStringLiteral("Delete"));
    QCOMPARE(editor.doneButton()->text(), QStringLiteral("Done"));
    QVERIFY(editor.deleteButton()->x() < editor.doneButton()->x());
    QVERIFY(editor.deleteButton()->y() > editor.grid()->y());
  }

  void colours() {
    Dimension model = MakeModel({1, 2});
    FrmVars& editor = Open(model);
    const QModelIndex value = Cell(editor, 0, 1);
    const QModelIndex label = Cell(editor, 0, 0);
    QCOMPARE(value.data(Qt::BackgroundRole).value<QBrush>().color(), QColor(0, 255, 0));
    QCOMPARE(value.data(Qt::ForegroundRole).value<QBrush>().color(),
             QApplication::palette().color(QPalette::WindowText));
    QCOMPARE(label.data(Qt::BackgroundRole).value<QBrush>().color(),
             QApplication::palette().color(QPalette::ToolTipBase));
    QCOMPARE(label.data(Qt::ForegroundRole).value<QBrush>().color(),
             QApplication::palette().color(QPalette::ButtonText));
    // Outside the cells, and the grid lines, as painted.
    editor.grid()->viewport()->resize(editor.grid()->viewport()->width(), 300);
    const QImage image = editor.grid()->viewport()->grab().toImage();
    QCOMPARE(QColor(image.pixel(image.width() / 2, image.height() - 2)), QColor(0, 255, 255));
    const QRect cell = editor.grid()->visualRect(value);
    QCOMPARE(QColor(image.pixel(cell.center().x(), cell.bottom() + 1)), QColor(192, 192, 192));
    // A value cell that is not selected: green behind the text.
    const QRect second = editor.grid()->visualRect(Cell(editor, 1, 1));
    QCOMPARE(QColor(image.pixel(second.right() - 3, second.center().y())), QColor(0, 255, 0));
    const QRect labelCell = editor.grid()->visualRect(label);
    QCOMPARE(QColor(image.pixel(labelCell.right() - 3, labelCell.center().y())),
             QApplication::palette().color(QPalette::ToolTipBase));
  }

  void clickOpensBoxExactlyOverTheCell() {
    Dimension model = MakeModel({1, 2, 3, 4, 5});
    FrmVars& editor = Open(model);
    ClickCell(editor, 2);
    QVERIFY(editor.isEditing());
    QVERIFY(editor.dataEntry()->isVisible());
    QCOMPARE(editor.dataEntry()->text(), QStringLiteral("3"));
    QCOMPARE(editor.dataEntry()->selectedText(), QStringLiteral("3"));
    QVERIFY(editor.dataEntry()->hasFocus());
    const QRect cell = editor.grid()->visualRect(Cell(editor, 2));
    const QPoint cellInWindow = editor.grid()->viewport()->mapTo(&editor, cell.topLeft());
    QCOMPARE(editor.dataEntry()->mapTo(&editor, QPoint(0, 0)), cellInWindow);
    QCOMPARE(editor.dataEntry()->size(), cell.size());
    // A click on a label does not start an edit of the label.
    Dimension model2 = MakeModel({1, 2, 3});
    FrmVars& other = Open(model2);
    ClickCell(other, 1, 0);
    QVERIFY(!other.isEditing());
    QCOMPARE(other.grid()->currentIndex().column(), 1);
  }

  // x = 1, 2, 3, 4, 5; Delete while editing row 1 gives 1, 5, 3, 4.
  void deleteInRowOne() {
    Dimension model = MakeModel({1, 2, 3, 4, 5});
    model.LastPoint[0] = 4;
    FrmVars& editor = Open(model);
    QSignalSpy points(&editor, &FrmVars::gridPointsChanged);
    TypeIntoCell(editor, 1, QStringLiteral("9"));  // what is typed is dropped
    QTest::mouseClick(editor.deleteButton(), Qt::LeftButton);
    QCOMPARE(ValueTexts(editor), (QStringList{"1", "5", "3", "4"}));
    QCOMPARE(CellText(editor, 3, 0), QStringLiteral("x(3)="));
    QCOMPARE(model.LastPoint[0], 3);
    QCOMPARE(editor.gridPoints(), 4);
    QCOMPARE(points.count(), 1);
    QCOMPARE(points.at(0).at(0).toInt(), 4);
    QVERIFY(!editor.isEditing());
    // The array keeps its size; the moved value is in row 1.
    QCOMPARE(model.GridX[0], (std::vector<double>{1, 5, 3, 4, 5}));
    // Deleting in the last row simply removes it.
    ClickCell(editor, 3);
    QTest::mouseClick(editor.deleteButton(), Qt::LeftButton);
    QCOMPARE(ValueTexts(editor), (QStringList{"1", "5", "3"}));
    QCOMPARE(model.LastPoint[0], 2);
    QCOMPARE(points.count(), 2);
    QCOMPARE(points.at(1).at(0).toInt(), 3);
  }

  void deleteWhileNotEditingDoesNothing() {
    Dimension model = MakeModel({1, 2, 3, 4, 5});
    FrmVars& editor = Open(model);
    QSignalSpy points(&editor, &FrmVars::gridPointsChanged);
    QTest::mouseClick(editor.deleteButton(), Qt::LeftButton);
    QCOMPARE(ValueTexts(editor), (QStringList{"1", "2", "3", "4", "5"}));
    QCOMPARE(model.LastPoint[0], 4);
    QCOMPARE(points.count(), 0);
    // After a commit the box is hidden and Delete does nothing again.
    TypeIntoCell(editor, 0, QStringLiteral("7"));
    QTest::keyClick(editor.dataEntry(), Qt::Key_Backtab, Qt::ShiftModifier);  // the table gets the focus
    QVERIFY(!editor.isEditing());
    QTest::mouseClick(editor.deleteButton(), Qt::LeftButton);
    QCOMPARE(ValueTexts(editor), (QStringList{"7", "2", "3", "4", "5"}));
    QCOMPARE(points.count(), 0);
  }

  void deleteKeepsTwoValues() {
    Dimension model = MakeModel({1, 2, 3});
    FrmVars& editor = Open(model);
    QSignalSpy points(&editor, &FrmVars::gridPointsChanged);
    ClickCell(editor, 0);
    QTest::mouseClick(editor.deleteButton(), Qt::LeftButton);
    QCOMPARE(ValueTexts(editor), (QStringList{"3", "2"}));
    QCOMPARE(model.LastPoint[0], 1);
    ClickCell(editor, 0);
    QTest::keyClicks(editor.dataEntry(), QStringLiteral("8"));
    QTest::mouseClick(editor.deleteButton(), Qt::LeftButton);
    QCOMPARE(ValueTexts(editor), (QStringList{"3", "2"}));
    QCOMPARE(model.LastPoint[0], 1);
    QCOMPARE(points.count(), 1);
    // The edit goes on undisturbed, and the user is told why nothing was deleted.
    QVERIFY(editor.isEditing());
    QCOMPARE(editor.dataEntry()->text(), QStringLiteral("8"));
    QVERIFY(editor.messageLabel()->isVisible());
    QCOMPARE(editor.messageLabel()->text(),
             QStringLiteral("An uneven grid keeps at least two values; none was deleted."));
    // Until the next value is stored.
    QTest::keyClick(editor.dataEntry(), Qt::Key_Down);
    QVERIFY(editor.messageLabel()->isHidden());
  }

  // The last row's text "7e" is not a number; its model value 7 moves.
  void deleteMovesModelValueOfLastRow() {
    Dimension model = MakeModel({1, 2, 3, 4});
    FrmVars& editor = Open(model);
    TypeIntoCell(editor, 3, QStringLiteral("7e"));
    ClickCell(editor, 1);  // commits row 3, opens row 1
    QCOMPARE(CellText(editor, 3), QStringLiteral("7e"));
    QCOMPARE(model.GridX[0][3], 7.0);
    QTest::mouseClick(editor.deleteButton(), Qt::LeftButton);
    QCOMPARE(ValueTexts(editor), (QStringList{"1", "7", "3"}));
    QCOMPARE(model.GridX[0][1], 7.0);
    // An empty last cell holds 0.
    TypeIntoCell(editor, 2, QString());
    QTest::keyClick(editor.dataEntry(), Qt::Key_Delete);
    QTest::keyClick(editor.dataEntry(), Qt::Key_Up);
    QCOMPARE(CellText(editor, 2), QString());
    QCOMPARE(model.GridX[0][2], 0.0);
    QTest::mouseClick(editor.deleteButton(), Qt::LeftButton);
    QCOMPARE(ValueTexts(editor), (QStringList{"1", "0"}));
    // The exact value moves, not its 15-digit text.
    Dimension exact = MakeModel({1, 2, 0.1 + 0.2});
    FrmVars& third = Open(exact);
    ClickCell(third, 0);
    QTest::mouseClick(third.deleteButton(), Qt::LeftButton);
    QCOMPARE(exact.GridX[0][0], 0.1 + 0.2);
    QCOMPARE(CellText(third, 0), QStringLiteral("0.3"));
  }

  void enterBringsBackTheCell() {
    Dimension model = MakeModel({1, 2, 3, 4, 5});
    FrmVars& editor = Open(model);
    TypeIntoCell(editor, 2, QStringLiteral("2.5"));
    QCOMPARE(editor.dataEntry()->text(), QStringLiteral("2.5"));
    QTest::keyClick(editor.dataEntry(), Qt::Key_Return);
    QCOMPARE(editor.dataEntry()->text(), QStringLiteral("3"));
    QVERIFY(editor.isEditing());
    QVERIFY(editor.dataEntry()->hasFocus());
    QCOMPARE(CellText(editor, 2), QStringLiteral("3"));
    QCOMPARE(model.GridX[0][2], 3.0);
    QCOMPARE(editor.grid()->currentIndex().row(), 2);
  }

  void downStoresAndMoves() {
    Dimension model = MakeModel({1, 2, 3, 4, 5});
    FrmVars& editor = Open(model);
    TypeIntoCell(editor, 2, QStringLiteral("2.5"));
    QTest::keyClick(editor.dataEntry(), Qt::Key_Down);
    QCOMPARE(CellText(editor, 2), QStringLiteral("2.5"));
    QCOMPARE(model.GridX[0][2], 2.5);
    QCOMPARE(editor.grid()->currentIndex().row(), 3);
    QVERIFY(editor.isEditing());
    QCOMPARE(editor.dataEntry()->text(), QStringLiteral("4"));
    QVERIFY(editor.dataEntry()->hasFocus());
    const QRect cell = editor.grid()->visualRect(Cell(editor, 3));
    QCOMPARE(editor.dataEntry()->geometry(), cell);
    // Up goes back and commits what was typed in row 3.
    QTest::keyClicks(editor.dataEntry(), QStringLiteral("-4E-1"));
    QTest::keyClick(editor.dataEntry(), Qt::Key_Up);
    QCOMPARE(model.GridX[0][3], -0.4);
    QCOMPARE(CellText(editor, 3), QStringLiteral("-4E-1"));
    QCOMPARE(editor.grid()->currentIndex().row(), 2);
    QCOMPARE(editor.dataEntry()->text(), QStringLiteral("2.5"));
  }

  void doneStoresAndCloses() {
    Dimension model = MakeModel({1, 2, 3, 4, 5});
    FrmVars& editor = Open(model);
    QSignalSpy finished(&editor, &QDialog::finished);
    TypeIntoCell(editor, 2, QStringLiteral("2.5"));
    QTest::mouseClick(editor.doneButton(), Qt::LeftButton);
    QCOMPARE(model.GridX[0][2], 2.5);
    QVERIFY(!editor.isVisible());
    QCOMPARE(finished.count(), 1);
    QVERIFY(QApplication::activeModalWidget() == nullptr);
  }

  void closeBoxStoresAndCloses() {
    Dimension model = MakeModel({1, 2, 3, 4, 5});
    FrmVars& editor = Open(model);
    TypeIntoCell(editor, 4, QStringLiteral("6"));
    QVERIFY(editor.close());
    QCOMPARE(model.GridX[0][4], 6.0);
    QVERIFY(!editor.isVisible());
  }

  void arrowsAtTheEdgesStayOnTheCell() {
    Dimension model = MakeModel({1, 2, 3});
    FrmVars& editor = Open(model);
    TypeIntoCell(editor, 0, QStringLiteral("9"));
    QTest::keyClick(editor.dataEntry(), Qt::Key_Up);
    QCOMPARE(editor.grid()->currentIndex().row(), 0);
    QCOMPARE(editor.dataEntry()->text(), QStringLiteral("1"));
    QCOMPARE(model.GridX[0][0], 1.0);
    QVERIFY(editor.isEditing());
    TypeIntoCell(editor, 2, QStringLiteral("9"));
    QTest::keyClick(editor.dataEntry(), Qt::Key_Down);
    QCOMPARE(editor.grid()->currentIndex().row(), 2);
    QCOMPARE(editor.dataEntry()->text(), QStringLiteral("3"));
    QCOMPARE(model.GridX[0][2], 3.0);
    // With one value column Left and Right act as Enter.
    QTest::keyClicks(editor.dataEntry(), QStringLiteral("9"));
    QTest::keyClick(editor.dataEntry(), Qt::Key_Left);
    QCOMPARE(editor.dataEntry()->text(), QStringLiteral("3"));
    QTest::keyClicks(editor.dataEntry(), QStringLiteral("9"));
    QTest::keyClick(editor.dataEntry(), Qt::Key_Right);
    QCOMPARE(editor.dataEntry()->text(), QStringLiteral("3"));
    QCOMPARE(editor.grid()->currentIndex(), Cell(editor, 2));
    QCOMPARE(model.GridX[0][2], 3.0);
  }

  void typingFilter() {
    Dimension model = MakeModel({1, 2, 3});
    FrmVars& editor = Open(model);
    ClickCell(editor, 1);
    QTest::keyClicks(editor.dataEntry(), QStringLiteral("abc12x,.5 E-3+e/"));
    QCOMPARE(editor.dataEntry()->text(), QStringLiteral("12.5E-3+e"));
    // Backspace does not delete.
    QTest::keyClick(editor.dataEntry(), Qt::Key_Backspace);
    QCOMPARE(editor.dataEntry()->text(), QStringLiteral("12.5E-3+e"));
    // The Delete key does.
    QTest::keyClick(editor.dataEntry(), Qt::Key_Home);
    QTest::keyClick(editor.dataEntry(), Qt::Key_Delete);
    QCOMPARE(editor.dataEntry()->text(), QStringLiteral("2.5E-3+e"));
    // Typing over a selection replaces it.
    editor.dataEntry()->selectAll();
    QTest::keyClicks(editor.dataEntry(), QStringLiteral("7"));
    QCOMPARE(editor.dataEntry()->text(), QStringLiteral("7"));
    // Text that does not come by key is held to the same characters.
    editor.dataEntry()->selectAll();
    editor.dataEntry()->insert(QStringLiteral("1,5"));
    QCOMPARE(editor.dataEntry()->text(), QStringLiteral("7"));
    // Keys the box does not use reach neither the table nor the window.
    QTest::keyClick(editor.dataEntry(), Qt::Key_PageDown);
    QCOMPARE(editor.grid()->currentIndex().row(), 1);
    QVERIFY(editor.isVisible());
    QVERIFY(editor.isEditing());
  }

  void escapeBringsBackTheCell() {
    Dimension model = MakeModel({1, 2, 3, 4, 5});
    FrmVars& editor = Open(model);
    TypeIntoCell(editor, 2, QStringLiteral("9"));
    QTest::keyClick(editor.dataEntry(), Qt::Key_Escape);
    QVERIFY(editor.isVisible());
    QVERIFY(editor.isEditing());
    QCOMPARE(editor.dataEntry()->text(), QStringLiteral("3"));
    QVERIFY(editor.dataEntry()->hasFocus());
    QCOMPARE(model.GridX[0][2], 3.0);
    QCOMPARE(CellText(editor, 2), QStringLiteral("3"));
  }

  void committedTextAndLeadingNumber() {
    Dimension model = MakeModel({1, 2, 3, 4, 5});
    FrmVars& editor = Open(model);
    TypeIntoCell(editor, 0, QStringLiteral("1.5e"));
    QTest::keyClick(editor.dataEntry(), Qt::Key_Down);
    QTest::keyClicks(editor.dataEntry(), QStringLiteral("1.2.3"));
    QTest::keyClick(editor.dataEntry(), Qt::Key_Down);
    QTest::keyClick(editor.dataEntry(), Qt::Key_Delete);  // the selected text goes: an empty box
    QTest::keyClick(editor.dataEntry(), Qt::Key_Down);
    QTest::keyClicks(editor.dataEntry(), QStringLiteral("-"));
    QTest::keyClick(editor.dataEntry(), Qt::Key_Down);
    QTest::keyClicks(editor.dataEntry(), QStringLiteral("1e-400"));
    QTest::mouseClick(editor.doneButton(), Qt::LeftButton);
    QCOMPARE(ValueTexts(editor), (QStringList{"1.5e", "1.2.3", "", "-", "1e-400"}));
    QCOMPARE(model.GridX[0], (std::vector<double>{1.5, 1.2, 0.0, 0.0, 0.0}));
    QVERIFY(!editor.isVisible());
  }

  void clickingAnotherCellCommits() {
    Dimension model = MakeModel({1, 2, 3, 4, 5});
    FrmVars& editor = Open(model);
    TypeIntoCell(editor, 1, QStringLiteral("8"));
    ClickCell(editor, 3);
    QCOMPARE(model.GridX[0][1], 8.0);
    QCOMPARE(CellText(editor, 1), QStringLiteral("8"));
    QVERIFY(editor.isEditing());
    QCOMPARE(editor.grid()->currentIndex().row(), 3);
    QCOMPARE(editor.dataEntry()->text(), QStringLiteral("4"));
    QCOMPARE(editor.dataEntry()->geometry(), editor.grid()->visualRect(Cell(editor, 3)));
  }

  void tableGettingTheFocusCommits() {
    Dimension model = MakeModel({1, 2, 3, 4, 5});
    FrmVars& editor = Open(model);
    TypeIntoCell(editor, 2, QStringLiteral("6.25"));
    // Focus to "Done" by Tab: nothing is committed yet.
    QTest::keyClick(editor.dataEntry(), Qt::Key_Tab);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), editor.doneButton());
    QCOMPARE(model.GridX[0][2], 3.0);
    QVERIFY(editor.isEditing());
    // On to the table: the edit is committed.
    QTest::keyClick(editor.doneButton(), Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), editor.grid());
    QCOMPARE(model.GridX[0][2], 6.25);
    QVERIFY(!editor.isEditing());
    // From the table, Down and Enter start the edit of the next cell.
    QTest::keyClick(editor.grid(), Qt::Key_Down);
    QVERIFY(!editor.isEditing());
    QTest::keyClick(editor.grid(), Qt::Key_Return);
    QVERIFY(editor.isEditing());
    QCOMPARE(editor.grid()->currentIndex().row(), 3);
    QCOMPARE(editor.dataEntry()->text(), QStringLiteral("4"));
    QVERIFY(editor.isVisible());
  }

  // A number beyond the range of a double is not stored; the edit stays.
  void overflowIsRefused() {
    Dimension model = MakeModel({1, 2, 3, 4, 5});
    FrmVars& editor = Open(model);
    TypeIntoCell(editor, 2, QStringLiteral("1e999"));
    QTest::keyClick(editor.dataEntry(), Qt::Key_Down);
    QCOMPARE(model.GridX[0][2], 3.0);
    QCOMPARE(CellText(editor, 2), QStringLiteral("3"));
    QCOMPARE(editor.grid()->currentIndex().row(), 2);
    QVERIFY(editor.isEditing());
    QCOMPARE(editor.dataEntry()->text(), QStringLiteral("1e999"));
    QVERIFY(editor.messageLabel()->isVisible());
    QVERIFY(editor.messageLabel()->text().contains(QStringLiteral("1e999")));
    // A click on another cell, "Done" and the close box keep it too.
    ClickCell(editor, 4);
    QCOMPARE(editor.grid()->currentIndex().row(), 2);
    QCOMPARE(editor.dataEntry()->text(), QStringLiteral("1e999"));
    QTest::mouseClick(editor.doneButton(), Qt::LeftButton);
    QVERIFY(editor.isVisible());
    QVERIFY(!editor.close());
    QVERIFY(editor.isVisible());
    QCOMPARE(model.GridX[0][2], 3.0);
    // Corrected, it is stored.
    editor.dataEntry()->setFocus();
    editor.dataEntry()->selectAll();
    QTest::keyClicks(editor.dataEntry(), QStringLiteral("-1e300"));
    QTest::mouseClick(editor.doneButton(), Qt::LeftButton);
    QVERIFY(!editor.isVisible());
    QCOMPARE(model.GridX[0][2], -1e300);
    QVERIFY(editor.messageLabel()->isHidden());
  }

  // A grid array shorter than the number of grid points gets the missing
  // entries, so every row is stored.
  void shortGridArrayIsExtended() {
    Dimension model = MakeModel({1, 2});
    model.LastPoint[0] = 3;
    FrmVars& editor = Open(model);
    QCOMPARE(ValueTexts(editor), (QStringList{"1", "2", "0", "0"}));
    TypeIntoCell(editor, 3, QStringLiteral("4"));
    QTest::mouseClick(editor.doneButton(), Qt::LeftButton);
    QCOMPARE(model.GridX[0], (std::vector<double>{1, 2, 0, 4}));
  }

  // The editor of variable 1 works on that variable only.
  void secondVariable() {
    Dimension model = MakeModel({1, 2, 3});
    model.LastVar = 1;
    model.VarName[1] = "y";
    model.LastPoint[1] = 2;
    model.GridX[1] = {10, 20, 30};
    FrmVars& editor = Open(model, 1);
    QCOMPARE(model.CurVar, 1);
    QCOMPARE(editor.windowTitle(), QStringLiteral("Enter/edit values of variable: y"));
    QCOMPARE(CellText(editor, 2, 0), QStringLiteral("y(2)="));
    TypeIntoCell(editor, 0, QStringLiteral("15"));
    model.CurVar = 0;  // whatever the caller does meanwhile
    QTest::keyClick(editor.dataEntry(), Qt::Key_Down);
    QTest::mouseClick(editor.deleteButton(), Qt::LeftButton);
    QCOMPARE(model.GridX[1], (std::vector<double>{15, 30, 30}));
    QCOMPARE(model.LastPoint[1], 1);
    QCOMPARE(model.GridX[0], (std::vector<double>{1, 2, 3}));
    QCOMPARE(model.LastPoint[0], 2);
  }
};

QTEST_MAIN(VarsEditorTest)
#include "test_vars_editor.moc"
