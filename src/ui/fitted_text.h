// Text that is shown whole in a narrow place: a number drawn in a smaller
// font where it does not fit, a name or a path shortened with an ellipsis
// (the full text in the tool tip), and the solid button faces and focus mark
// of the main window.
#pragma once

#include <QLabel>
#include <QLineEdit>
#include <QProxyStyle>

namespace tabulor {

// `base` made smaller, in quarter points, until `text` fits into `width`
// pixels (or the size reaches one point).
QFont FittedFont(const QFont& base, const QString& text, int width);

// The width a line edit has for its text, without its frame and margins.
int LineEditTextWidth(const QLineEdit* box);

// Keeps every text of `box` whole: from now on the box's font is `base`,
// made smaller where the text would not fit.
void KeepTextWhole(QLineEdit* box);

// A label that shows a count or a number whole: its font shrinks to fit the
// text, and the tool tip holds the text.
class NumberLabel : public QLabel {
  Q_OBJECT
 public:
  explicit NumberLabel(QWidget* parent = nullptr) : QLabel(parent) {}
  // `base` is the font of a text that fits.
  void setBaseFont(const QFont& base);
  void setNumberText(const QString& text);

 private:
  QFont base_;
};

// A label that ends a text too long for it with an ellipsis; the full text
// goes into the tool tip.
class ElidedLabel : public QLabel {
  Q_OBJECT
 public:
  explicit ElidedLabel(QWidget* parent = nullptr) : QLabel(parent) {}
  void setFullText(const QString& text);
  // The text as drawn.
  QString shownText() const;

 protected:
  void paintEvent(QPaintEvent* event) override;
};

// A read-only box for a file path: a path too long for it loses its
// beginning, marked by an ellipsis, so that the file's own name stays.
class PathBox : public QLineEdit {
  Q_OBJECT
 public:
  explicit PathBox(QWidget* parent = nullptr) : QLineEdit(parent) {}
  // The text as drawn.
  QString shownText() const;

 protected:
  void paintEvent(QPaintEvent* event) override;
};

// The main window's buttons and the list's scroll bars: a flat button face
// in the palette's button colour, without the style's shading, a dotted
// focus mark inside the edge of the button that has the focus, and a
// scroll bar thumb darker than its groove.
class MainWindowStyle : public QProxyStyle {
  Q_OBJECT
 public:
  MainWindowStyle();
  void drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                   const QWidget* widget = nullptr) const override;
  void drawComplexControl(ComplexControl control, const QStyleOptionComplex* option, QPainter* painter,
                          const QWidget* widget = nullptr) const override;
};

}  // namespace tabulor
