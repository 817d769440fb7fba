// The main window's input rules in one event filter: the grid boxes keep
// the focus while their text is refused, a box entered selects its text,
// the file name boxes open a file on a click, Enter or Space, and the
// window takes no input while it computes.
#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

#include <optional>

#include "model/dimension.h"
#include "ui/control_sets.h"

class QEvent;
class QKeyEvent;
class QLineEdit;
class QMouseEvent;
class QWidget;

namespace tabulor {

class InputPolice : public QObject {
  Q_OBJECT

 public:
  // The boxes and buttons the rules name.
  struct Controls {
    QWidget* window = nullptr;
    QLineEdit* serFileName = nullptr;  // txtSerFileName
    QLineEdit* grdFileName = nullptr;  // txtGrdFileName
    QWidget* exit = nullptr;           // cmdExit
  };

  // Watches the whole program's events from now on; `sets` and `model`
  // must outlive it.
  InputPolice(const Controls& controls, const ControlSets& sets, const Dimension& model, QObject* parent = nullptr);
  ~InputPolice() override;

  // While busy, the window takes no input.
  void setBusy(bool busy) { busy_ = busy; }
  // Puts every grid box whose text is refused back to its accepted text.
  void DiscardRefusedText();

 signals:
  void seriesFileBoxClicked();
  void gridFileBoxClicked();
  void gridPointsEntered(int k);  // the focus arrived in txtGridPoints_k
  void gridPointsLeft(int k);     // the focus left txtGridPoints_k

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // Why the box's text is refused, or "" when it is acceptable.
  QString Refusal(const QLineEdit* box, const BoxRef& ref) const;
  // The entry check; the reason of a refusal goes to the box's tooltip.
  bool ValidateBox(QLineEdit* box, const BoxRef& ref);
  bool FocusedBoxAcceptable();
  // The check of the box that has the focus, when the focus is about to
  // move from it to `target`; false refuses the move.
  bool AllowFocusMove(QWidget* target);
  void BoxGotFocus(QLineEdit* box, const BoxRef& ref);
  bool InWindow(QObject* watched) const;

  bool OnPress(QObject* watched, QMouseEvent* event);
  bool OnRelease(QObject* watched, QMouseEvent* event);
  bool OnKey(QObject* watched, QKeyEvent* event);
  bool OnShortcut(QObject* watched);
  void OnFocusIn(QObject* watched, QEvent* event);
  void OnFocusOut(QObject* watched, QEvent* event);

  Controls c_;
  const ControlSets& sets_;
  const Dimension& model_;
  bool busy_ = false;
  QLineEdit* select_on_press_ = nullptr;
  QPointer<QLineEdit> entered_box_;  // the grid box the focus last arrived in
};

}  // namespace tabulor
