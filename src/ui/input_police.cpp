#include "ui/input_police.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QToolTip>
#include <QWindow>

#include "model/limits.h"
#include "model/number_text.h"

namespace tabulor {

namespace {

// The widget that a mouse press on `w` gives the focus to, by the rule the
// toolkit applies: the first enabled widget from `w` up that takes the focus
// by click, stopping at the window or at a widget that has the focus.
QWidget* ClickFocusTaker(QWidget* w) {
  for (QWidget* f = w; f; f = f->parentWidget()) {
    QWidget* proxy = f;
    while (proxy->focusProxy()) proxy = proxy->focusProxy();
    if (f->isEnabled() && (f->focusPolicy() & Qt::ClickFocus) == Qt::ClickFocus &&
        (proxy->focusPolicy() & Qt::ClickFocus) == Qt::ClickFocus)
      return f;
    if (f->isWindow() || proxy->hasFocus()) break;
  }
  return nullptr;
}

bool IsUserInput(QEvent::Type type) {
  switch (type) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::Wheel:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::Shortcut:
    case QEvent::ShortcutOverride:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd: return true;
    default: return false;
  }
}

bool IsGridBoxReason(Qt::FocusReason reason) {
  return reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason;
}

QString IntQ(std::int64_t value) { return QString::fromStdString(IntegerText(value)); }

}  // namespace

InputPolice::InputPolice(const Controls& controls, const ControlSets& sets, const Dimension& model, QObject* parent)
    : QObject(parent), c_(controls), sets_(sets), model_(model) {
  qApp->installEventFilter(this);
  // The grid boxes also carry the filter of their own.
  auto watch = [this](int k) {
    for (QLineEdit* box : sets_.at(k).gridBoxes()) box->installEventFilter(this);
  };
  for (int k = 0; k < sets_.count(); ++k) watch(k);
  connect(&sets_, &ControlSets::created, this, watch);
}

InputPolice::~InputPolice() { qApp->removeEventFilter(this); }

QString InputPolice::Refusal(const QLineEdit* box, const BoxRef& ref) const {
  if (ref.kind == BoxKind::Der) return {};
  const std::optional<double> value = WholeTextNumber(box->text().toStdString());
  if (!value) return QStringLiteral("Type a number, such as 2.5 or -1E-3.");
  if (ref.kind != BoxKind::GridPoints) return {};
  const bool single_term = model_.LastTerm[ref.k] == 0;
  std::int32_t last = 0;
  switch (CheckGridPoints(*value, single_term, last)) {
    case GridPointsCheck::TooFew:
      return QStringLiteral("The number of grid points must be %1 or more.").arg(MinGridPoints(single_term));
    case GridPointsCheck::TooMany:
      return QStringLiteral("The number of grid points must be at most %1.").arg(IntQ(kMaxCount));
    case GridPointsCheck::Ok: break;
  }
  if (auto too_big =
          CheckDoublesFit(static_cast<std::uint64_t>(last) + 1, CapitalVariableLabel(model_, ref.k) + ": the grid"))
    return QString::fromStdString(*too_big) + QStringLiteral(".");
  return {};
}

bool InputPolice::ValidateBox(QLineEdit* box, const BoxRef& ref) {
  const QString why = Refusal(box, ref);
  if (why.isEmpty()) {
    if (box->property("refusal").toBool()) {
      box->setToolTip(QString());
      box->setProperty("refusal", false);
    }
    return true;
  }
  box->setToolTip(why);
  box->setProperty("refusal", true);
  // Too many grid points (or too much memory) is told at once; a text that
  // is no number, or too few points, only in the tooltip.
  const std::optional<double> value = WholeTextNumber(box->text().toStdString());
  std::int32_t last = 0;
  if (ref.kind == BoxKind::GridPoints && value &&
      CheckGridPoints(*value, model_.LastTerm[ref.k] == 0, last) != GridPointsCheck::TooFew)
    QToolTip::showText(box->mapToGlobal(QPoint(0, box->height())), why, box);
  return false;
}

void InputPolice::DiscardRefusedText() {
  for (int k = 0; k < sets_.count(); ++k)
    for (QLineEdit* box : sets_.at(k).gridBoxes()) {
      const std::optional<BoxRef> ref = sets_.FindBox(box);
      if (!ref || Refusal(box, *ref).isEmpty()) continue;
      const QVariant accepted = box->property("acceptedText");
      if (accepted.isValid()) box->setText(accepted.toString());
      box->setToolTip(QString());
      box->setProperty("refusal", false);
    }
}

bool InputPolice::FocusedBoxAcceptable() {
  auto* box = qobject_cast<QLineEdit*>(QApplication::focusWidget());
  if (!box || box->window() != c_.window) return true;
  const std::optional<BoxRef> ref = sets_.FindBox(box);
  return !ref || ValidateBox(box, *ref);
}

bool InputPolice::AllowFocusMove(QWidget* target) {
  QWidget* focus = QApplication::focusWidget();
  if (!focus || focus->window() != c_.window || !sets_.FindBox(focus)) return true;
  // "Exit" always ends the program, whatever a box holds.
  if (target == c_.exit && c_.exit->isEnabled()) return true;
  QWidget* taker = target ? ClickFocusTaker(target) : nullptr;
  const bool button = target && target->isEnabled() && qobject_cast<QAbstractButton*>(target);
  if (taker == focus || (!taker && !button)) return true;
  return FocusedBoxAcceptable();
}

void InputPolice::BoxGotFocus(QLineEdit* box, const BoxRef& ref) {
  // What the box holds when the focus arrives has passed its check (or is
  // the text it was given): a refused text is put back to it on Exit.
  if (!box->property("refusal").toBool()) box->setProperty("acceptedText", box->text());
  box->selectAll();
  if (ref.kind == BoxKind::GridPoints) emit gridPointsEntered(ref.k);
}

bool InputPolice::InWindow(QObject* watched) const {
  if (watched == c_.window->windowHandle()) return true;
  auto* w = qobject_cast<QWidget*>(watched);
  return w && w->window() == c_.window;
}

bool InputPolice::OnPress(QObject* watched, QMouseEvent* me) {
  QWindow* handle = c_.window->windowHandle();
  if (handle && watched == handle) {
    // A press on the window, before the toolkit moves the focus.
    if (!c_.window->isEnabled()) return false;
    QWidget* target = c_.window->childAt(me->position().toPoint());
    return !AllowFocusMove(target ? target : c_.window);
  }
  if (watched == select_on_press_) {
    // The press that gave the box the focus selects its whole text.
    select_on_press_ = nullptr;
    if (me->button() == Qt::LeftButton) {
      static_cast<QLineEdit*>(watched)->selectAll();
      return true;
    }
  }
  return false;
}

bool InputPolice::OnRelease(QObject* watched, QMouseEvent* me) {
  if (me->button() != Qt::LeftButton) return false;
  for (QLineEdit* box : {c_.serFileName, c_.grdFileName})
    if (watched == box && box->isEnabled() && box->rect().contains(me->position().toPoint())) {
      emit box == c_.serFileName ? seriesFileBoxClicked() : gridFileBoxClicked();
      return true;
    }
  return false;
}

bool InputPolice::OnKey(QObject* watched, QKeyEvent* ke) {
  // Enter or Space on a file name box opens, as a click does.
  const bool press = (ke->key() == Qt::Key_Return || ke->key() == Qt::Key_Enter || ke->key() == Qt::Key_Space) &&
                     !(ke->modifiers() & ~Qt::KeypadModifier);
  for (QLineEdit* box : {c_.serFileName, c_.grdFileName})
    if (press && watched == box && box->isEnabled()) {
      emit box == c_.serFileName ? seriesFileBoxClicked() : gridFileBoxClicked();
      return true;
    }
  return (ke->key() == Qt::Key_Tab || ke->key() == Qt::Key_Backtab) &&
         !(ke->modifiers() & (Qt::ControlModifier | Qt::AltModifier)) && watched == QApplication::focusWidget() &&
         sets_.FindBox(watched) && !FocusedBoxAcceptable();
}

bool InputPolice::OnShortcut(QObject* watched) {
  auto* w = qobject_cast<QWidget*>(watched);
  return w && w->window() == c_.window && w != QApplication::focusWidget() && w != c_.exit && !FocusedBoxAcceptable();
}

void InputPolice::OnFocusIn(QObject* watched, QEvent* event) {
  const auto reason = static_cast<QFocusEvent*>(event)->reason();
  // The focus coming back with the window is no new arrival, unless the
  // box got it while the window was inactive.
  auto* box = qobject_cast<QLineEdit*>(watched);
  const std::optional<BoxRef> ref = sets_.FindBox(watched);
  if (!ref) return;
  if (IsGridBoxReason(reason) || entered_box_ != box) {
    BoxGotFocus(box, *ref);
    if (reason == Qt::MouseFocusReason) select_on_press_ = box;
  }
  entered_box_ = box;
}

void InputPolice::OnFocusOut(QObject* watched, QEvent* event) {
  const auto reason = static_cast<QFocusEvent*>(event)->reason();
  const std::optional<BoxRef> ref = sets_.FindBox(watched);
  if (!ref || !IsGridBoxReason(reason)) return;
  entered_box_ = nullptr;
  if (watched == select_on_press_) select_on_press_ = nullptr;
  if (ref->kind == BoxKind::GridPoints) emit gridPointsLeft(ref->k);
  // A box left shows the beginning of its number, not its tail.
  if (auto* box = static_cast<QLineEdit*>(watched); !box->hasFocus()) box->setCursorPosition(0);
}

bool InputPolice::eventFilter(QObject* watched, QEvent* event) {
  // While the computation runs the window takes no input.
  if (busy_ && IsUserInput(event->type()) && InWindow(watched)) return true;
  switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick: return OnPress(watched, static_cast<QMouseEvent*>(event));
    case QEvent::MouseButtonRelease: return OnRelease(watched, static_cast<QMouseEvent*>(event));
    case QEvent::KeyPress: return OnKey(watched, static_cast<QKeyEvent*>(event));
    case QEvent::Shortcut: return OnShortcut(watched);
    case QEvent::FocusIn: OnFocusIn(watched, event); return false;
    case QEvent::FocusOut: OnFocusOut(watched, event); return false;
    default: return false;
  }
}

}  // namespace tabulor
