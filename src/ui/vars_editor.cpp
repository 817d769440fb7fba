#include "ui/vars_editor.h"

#include <QAbstractTableModel>
#include <QApplication>
#include <QFocusEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QPalette>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QScrollBar>
#include <QTableView>
#include <QVBoxLayout>
#include <algorithm>
#include <string>
#include <unordered_map>

#include "model/number_text.h"
#include "ui/qt_text.h"

namespace tabulor {

namespace {

constexpr int kValueColumn = 1;
constexpr int kFixedColumns = 1;
const QColor kValueBackground(0, 255, 0);
const QColor kOutsideCells(0, 255, 255);
const QColor kGridLines(192, 192, 192);

}  // namespace

// The cells of the table: the labels, and the values as number text unless
// the user typed a text into the cell.
class VarsGridModel : public QAbstractTableModel {
 public:
  VarsGridModel(const Dimension& model, int var, QObject* parent)
      : QAbstractTableModel(parent), model_(model), var_(var) {
    if (var >= 0 && var < kSlots) {
      rows_ = std::max(0, model.LastPoint[var] + 1);
      name_ = ToQ(model.VarName[var]);
    }
  }

  int rowCount(const QModelIndex& parent = {}) const override { return parent.isValid() ? 0 : rows_; }
  int columnCount(const QModelIndex& parent = {}) const override { return parent.isValid() ? 0 : 2; }

  QString label(int row) const { return name_ + QLatin1Char('(') + QString::number(row) + QStringLiteral(")="); }

  QString text(int row) const {
    const auto it = typed_.find(row);
    if (it != typed_.end()) return it->second;
    const auto& grid = model_.GridX[static_cast<std::size_t>(var_)];
    const double x =
        row >= 0 && static_cast<std::size_t>(row) < grid.size() ? grid[static_cast<std::size_t>(row)] : 0.0;
    return QString::fromStdString(NumberText(x));
  }

  // The cell shows `text` from now on.
  void setTyped(int row, const QString& text) {
    typed_[row] = text;
    const QModelIndex i = index(row, kValueColumn);
    emit dataChanged(i, i);
  }

  // The cell shows the number text of the model's value again.
  void clearTyped(int row) {
    typed_.erase(row);
    const QModelIndex i = index(row, kValueColumn);
    emit dataChanged(i, i);
  }

  void removeLastRow() {
    if (rows_ == 0) return;
    beginRemoveRows({}, rows_ - 1, rows_ - 1);
    typed_.erase(rows_ - 1);
    --rows_;
    endRemoveRows();
  }

  QVariant data(const QModelIndex& index, int role) const override {
    if (!index.isValid() || index.row() >= rows_) return {};
    const bool value = index.column() == kValueColumn;
    switch (role) {
      case Qt::DisplayRole: return value ? text(index.row()) : label(index.row());
      case Qt::BackgroundRole:
        return value ? QBrush(kValueBackground) : QApplication::palette().brush(QPalette::ToolTipBase);
      case Qt::ForegroundRole:
        return value ? QApplication::palette().brush(QPalette::WindowText)
                     : QApplication::palette().brush(QPalette::ButtonText);
      default: return {};
    }
  }

  Qt::ItemFlags flags(const QModelIndex& index) const override {
    // The label column is fixed: it never becomes the current cell.
    if (!index.isValid() || index.column() != kValueColumn) return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable;
  }

 private:
  const Dimension& model_;
  int var_;
  int rows_ = 0;
  QString name_;
  std::unordered_map<int, QString> typed_;
};

// ---------------------------------------------------------------------------

DataEntryBox::DataEntryBox(QWidget* parent) : QLineEdit(parent) {
  setFrame(false);
  // Text that does not come through the keyboard (drops, middle-click paste,
  // input methods) is held to the same characters.
  setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9+\\-.Ee]*")), this));
  setAcceptDrops(false);
  setContextMenuPolicy(Qt::NoContextMenu);
  setAttribute(Qt::WA_InputMethodEnabled, false);
}

bool DataEntryBox::AcceptsCharacter(QChar c) {
  return (c >= QLatin1Char('0') && c <= QLatin1Char('9')) || c == QLatin1Char('+') || c == QLatin1Char('-') ||
         c == QLatin1Char('.') || c == QLatin1Char('E') || c == QLatin1Char('e');
}

void DataEntryBox::focusInEvent(QFocusEvent* event) {
  QLineEdit::focusInEvent(event);
  selectAll();
}

void DataEntryBox::keyPressEvent(QKeyEvent* event) {
  // Backspace, and every key whose character is not part of a number, are
  // dropped. Keys without a character (Delete, Home, End, ...) edit as usual.
  bool accepted = event->key() != Qt::Key_Backspace;
  if (accepted && event->key() != Qt::Key_Delete) {
    const QString text = event->text();
    for (QChar c : text)
      if (!AcceptsCharacter(c)) accepted = false;
  }
  if (accepted) QLineEdit::keyPressEvent(event);
  // Nothing typed into the box reaches the table under it or the window.
  event->accept();
}

// ---------------------------------------------------------------------------

void OpenEditBox(QTableView* grid, QLineEdit* box) {
  const QModelIndex current = grid->currentIndex();
  if (!current.isValid()) return;
  grid->scrollTo(current);
  box->setText(current.data(Qt::DisplayRole).toString());
  const QRect cell = grid->visualRect(current);
  QWidget* viewport = grid->viewport();
  QWidget* parent = box->parentWidget();
  QPoint topLeft = cell.topLeft();
  if (parent != viewport) {
    topLeft = parent->isAncestorOf(viewport) ? viewport->mapTo(parent, topLeft)
                                             : parent->mapFromGlobal(viewport->mapToGlobal(topLeft));
  }
  box->setGeometry(QRect(topLeft, cell.size()));
  box->show();
  box->raise();
  box->setFocus(Qt::OtherFocusReason);
  box->selectAll();
}

bool HandleEditKey(QTableView* grid, QLineEdit* box, int key, int fixedColumns) {
  const QAbstractItemModel* cells = grid->model();
  const QModelIndex current = grid->currentIndex();
  const int row = current.row();
  const int column = current.column();
  auto moveTo = [&](int r, int c) {
    grid->setCurrentIndex(cells->index(r, c));
    if (box->isHidden()) {
      OpenEditBox(grid, box);
    } else {
      // The cell that was left refused the typed text: keep editing it.
      box->setFocus(Qt::OtherFocusReason);
      box->selectAll();
    }
  };
  switch (key) {
    case Qt::Key_Return:
    case Qt::Key_Enter: OpenEditBox(grid, box); return true;
    case Qt::Key_Escape:
      box->clear();
      box->hide();
      OpenEditBox(grid, box);
      return true;
    case Qt::Key_Up:
      if (current.isValid() && row > 0)
        moveTo(row - 1, column);
      else
        OpenEditBox(grid, box);
      return true;
    case Qt::Key_Down:
      if (current.isValid() && row < cells->rowCount() - 1)
        moveTo(row + 1, column);
      else
        OpenEditBox(grid, box);
      return true;
    case Qt::Key_Left:
      if (current.isValid() && column > fixedColumns)
        moveTo(row, column - 1);
      else
        OpenEditBox(grid, box);
      return true;
    case Qt::Key_Right:
      if (current.isValid() && column < cells->columnCount() - 1)
        moveTo(row, column + 1);
      else
        OpenEditBox(grid, box);
      return true;
    default: return false;
  }
}

// ---------------------------------------------------------------------------

int FrmVars::ValueColumnWidth(const QWidget* widget) {
  // Four thirds of an inch: 1920 / 1440.
  return (1920 * widget->logicalDpiX() + 720) / 1440;
}

FrmVars::FrmVars(Dimension& model, int var, QWidget* parent) : QDialog(parent), model_(model), var_(var) {
  setWindowModality(Qt::WindowModal);
  const bool valid = var >= 0 && var < kSlots;
  if (valid) {
    model_.CurVar = var;
    // Every row must have a place in the grid array.
    const std::int64_t needed = std::int64_t{model_.LastPoint[var]} + 1;
    if (needed > 0 && static_cast<std::int64_t>(model_.GridX[var].size()) < needed) model_.ResizeCurrentGrid();
  }
  setWindowTitle(QStringLiteral("Enter/edit values of variable: ") + (valid ? ToQ(model_.VarName[var]) : QString()));
  const int labelWidth = BuildGrid();
  QVBoxLayout* layout = BuildLayout();
  const int frame = 2 * grid_->frameWidth();
  const int width = labelWidth + ValueColumnWidth(this) + frame + grid_->verticalScrollBar()->sizeHint().width() + 2;
  const int shownRows = std::clamp(cells_->rowCount(), 2, 15);
  const int height = shownRows * grid_->verticalHeader()->defaultSectionSize() + frame + 2 +
                     cmdExit_->sizeHint().height() + layout->spacing();
  resize(width, height);
  if (cells_->rowCount() > 0) grid_->setCurrentIndex(cells_->index(0, kValueColumn));
  connect(grid_, &QAbstractItemView::clicked, this, &FrmVars::grid_Click);
  connect(grid_->selectionModel(), &QItemSelectionModel::currentChanged, this, &FrmVars::grid_CurrentChanged);
  connect(cmdDelete_, &QPushButton::clicked, this, &FrmVars::cmdDelete_Click);
  connect(cmdExit_, &QPushButton::clicked, this, &FrmVars::cmdExit_Click);
  grid_->installEventFilter(this);
  box_->installEventFilter(this);
}

int FrmVars::BuildGrid() {
  cells_ = new VarsGridModel(model_, var_, this);
  grid_ = new QTableView(this);
  grid_->setObjectName(QStringLiteral("MSFlexGridVars"));
  grid_->setModel(cells_);
  grid_->horizontalHeader()->hide();
  grid_->verticalHeader()->hide();
  grid_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  grid_->horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  grid_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  grid_->setSelectionMode(QAbstractItemView::SingleSelection);
  grid_->setSelectionBehavior(QAbstractItemView::SelectItems);
  grid_->setTabKeyNavigation(false);
  grid_->setWordWrap(false);
  QPalette gridPalette = grid_->palette();
  gridPalette.setColor(QPalette::Base, kOutsideCells);
  gridPalette.setColor(QPalette::Window, kOutsideCells);
  grid_->setPalette(gridPalette);
  grid_->setStyleSheet(QStringLiteral("QTableView { gridline-color: rgb(192, 192, 192); }"));

  const int labelWidth =
      grid_->fontMetrics().horizontalAdvance(cells_->label(std::max(0, cells_->rowCount() - 1))) + 16;
  grid_->setColumnWidth(0, labelWidth);
  grid_->setColumnWidth(kValueColumn, ValueColumnWidth(this));
  box_ = new DataEntryBox(grid_->viewport());
  box_->setObjectName(QStringLiteral("txtDataEntry"));
  box_->hide();
  return labelWidth;
}

// The message line and the buttons below the grid.
QVBoxLayout* FrmVars::BuildLayout() {
  message_ = new QLabel(this);
  message_->setTextFormat(Qt::PlainText);
  message_->setObjectName(QStringLiteral("lblMessage"));
  message_->setWordWrap(true);
  message_->hide();

  cmdDelete_ = new QPushButton(QStringLiteral("Delete"), this);
  cmdDelete_->setObjectName(QStringLiteral("cmdDelete"));
  cmdExit_ = new QPushButton(QStringLiteral("Done"), this);
  cmdExit_->setObjectName(QStringLiteral("cmdExit"));
  for (QPushButton* button : {cmdDelete_, cmdExit_}) {
    button->setAutoDefault(false);
    button->setDefault(false);
    button->setMinimumWidth((900 * logicalDpiX() + 720) / 1440);
  }

  auto* buttons = new QHBoxLayout;
  buttons->addWidget(cmdDelete_);
  buttons->addWidget(cmdExit_);
  buttons->addStretch(1);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(2);
  layout->addWidget(grid_, 1);
  layout->addWidget(message_);
  layout->addLayout(buttons);
  return layout;
}

FrmVars::~FrmVars() = default;

int FrmVars::gridPoints() const { return cells_->rowCount(); }

bool FrmVars::isEditing() const { return !box_->isHidden(); }

bool FrmVars::CommitCellEdit() { return CommitCellEditAt(grid_->currentIndex().row()); }

bool FrmVars::CommitCellEditAt(int row) {
  if (box_->isHidden()) return true;
  if (row < 0 || row >= cells_->rowCount()) {
    box_->hide();
    return true;
  }
  const QString typed = box_->text();
  const LeadingNumberResult number = ParseLeadingNumber(typed.toStdString());
  if (number.status == NumberStatus::Overflow) {
    Refuse(QStringLiteral("%1 is too large for a number; the value was not stored.").arg(typed));
    return false;
  }
  message_->hide();
  cells_->setTyped(row, typed);
  model_.CurVar = var_;
  model_.SetVarX(row, number.value);
  box_->hide();
  emit valueEntered(row);
  return true;
}

void FrmVars::Refuse(const QString& why) {
  message_->setText(why);
  message_->show();
  QApplication::beep();
}

void FrmVars::grid_Click(const QModelIndex& index) {
  if (!index.isValid() || index.column() < kFixedColumns) return;
  if (!box_->isHidden()) {
    // The edit of the cell that was left was refused: keep editing it.
    box_->setFocus(Qt::OtherFocusReason);
    return;
  }
  OpenEditBox(grid_, box_);
}

void FrmVars::grid_CurrentChanged(const QModelIndex& current, const QModelIndex& previous) {
  if (restoringCell_) return;
  if (current.isValid() && current.column() < kFixedColumns) {
    grid_->setCurrentIndex(cells_->index(current.row(), kValueColumn));
    return;
  }
  if (!previous.isValid() || CommitCellEditAt(previous.row())) return;
  // The text typed into the cell that was left is refused: go back to it.
  restoringCell_ = true;
  grid_->setCurrentIndex(previous);
  restoringCell_ = false;
  box_->setFocus(Qt::OtherFocusReason);
}

void FrmVars::cmdDelete_Click() {
  if (box_->isHidden()) return;
  const int rows = cells_->rowCount();
  // The grid keeps at least two values.
  if (rows <= 2) {
    Refuse(QStringLiteral("An uneven grid keeps at least two values; none was deleted."));
    return;
  }
  const int row = grid_->currentIndex().row();
  if (row < 0) return;
  const int last = rows - 1;
  // The last value moves into the current row: the value the model holds
  // for the last point (the cell's text may not be a number, such as "1e").
  model_.CurVar = var_;
  const double x = model_.GetVarX(last);
  box_->hide();
  message_->hide();
  model_.SetVarX(row, x);
  cells_->clearTyped(row);
  cells_->removeLastRow();
  model_.LastPoint[var_] = last - 1;
  emit valueMoved(last, row);
  emit gridPointsChanged(gridPoints());
}

void FrmVars::cmdExit_Click() {
  if (!CommitCellEdit()) {
    box_->setFocus(Qt::OtherFocusReason);
    return;
  }
  box_->hide();
  accept();
}

void FrmVars::reject() {
  if (!CommitCellEdit()) {
    box_->setFocus(Qt::OtherFocusReason);
    return;
  }
  box_->hide();
  QDialog::reject();
}

bool FrmVars::eventFilter(QObject* watched, QEvent* event) {
  if (watched == box_ && event->type() == QEvent::KeyPress) {
    auto* key = static_cast<QKeyEvent*>(event);
    if (HandleEditKey(grid_, box_, key->key(), kFixedColumns)) return true;
  } else if (watched == grid_ && event->type() == QEvent::KeyPress) {
    // From the keyboard, Enter or F2 starts the edit of the current cell.
    const int key = static_cast<QKeyEvent*>(event)->key();
    if ((key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_F2) && box_->isHidden() &&
        grid_->currentIndex().isValid()) {
      OpenEditBox(grid_, box_);
      return true;
    }
  } else if (watched == grid_ && event->type() == QEvent::FocusIn) {
    if (!CommitCellEdit()) box_->setFocus(Qt::OtherFocusReason);
  }
  return QDialog::eventFilter(watched, event);
}

}  // namespace tabulor
