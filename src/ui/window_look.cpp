#include "ui/window_look.h"

#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "ui/fitted_text.h"

namespace tabulor::look {

int Px(int units) { return (units + 7) / 15; }
QRect Area(int x, int y, int w, int h) { return QRect(Px(x), Px(y), Px(w), Px(h)); }

QFont SansFont(bool bold) {
  QFont f(QStringLiteral("Liberation Sans"));
  f.setStyleHint(QFont::SansSerif);
  f.setPointSizeF(8.25);
  f.setBold(bold);
  return f;
}

QFont MonoFont() {
  QFont f;
  f.setFamilies({QStringLiteral("Courier New"), QStringLiteral("Liberation Mono")});
  f.setStyleHint(QFont::Monospace);
  f.setFixedPitch(true);
  f.setPointSizeF(8.25);
  f.setBold(false);
  return f;
}

void SetBackground(QWidget* w, QPalette::ColorRole role, const QColor& c) {
  QPalette p = w->palette();
  p.setColor(role, c);
  w->setPalette(p);
}

void SetColour(QWidget* w, QPalette::ColorGroup group, QPalette::ColorRole role, const QColor& c) {
  QPalette p = w->palette();
  p.setColor(group, role, c);
  w->setPalette(p);
}

void SetVariableColours(QLabel* label) {
  label->setFont(SansFont(true));
  QPalette p = label->palette();
  p.setColor(QPalette::WindowText, kRed);
  p.setColor(QPalette::Window, kCyan);
  label->setPalette(p);
}

QStyle* WindowStyle() {
  static MainWindowStyle* style = [] {
    auto* s = new MainWindowStyle();
    s->setParent(qApp);
    return s;
  }();
  return style;
}

QLabel* MakeCaption(QWidget* parent, const QString& text, const QRect& geometry, const char* name) {
  auto* l = new QLabel(text, parent);
  l->setTextFormat(Qt::PlainText);
  l->setObjectName(QLatin1String(name));
  l->setGeometry(geometry);
  l->setFont(SansFont(true));
  l->setAutoFillBackground(true);
  QPalette p = l->palette();
  p.setColor(QPalette::Window, QApplication::palette().color(QPalette::ToolTipBase));
  p.setColor(QPalette::WindowText, QApplication::palette().color(QPalette::WindowText));
  l->setPalette(p);
  l->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  return l;
}

NumberLabel* MakeValueLabel(QWidget* parent, const QRect& geometry, const char* name) {
  auto* l = new NumberLabel(parent);
  l->setTextFormat(Qt::PlainText);
  l->setObjectName(QLatin1String(name));
  l->setGeometry(geometry);
  l->setBaseFont(SansFont(true));
  l->setAutoFillBackground(true);
  SetBackground(l, QPalette::Window, kLightYellow);
  l->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  return l;
}

QLineEdit* MakeBox(QWidget* parent, const QRect& geometry, const QColor& colour, const QString& name, bool path) {
  QLineEdit* e = path ? new PathBox(parent) : new QLineEdit(parent);
  e->setObjectName(name);
  e->setGeometry(geometry);
  e->setFont(SansFont(false));
  SetBackground(e, QPalette::Base, colour);
  e->setTextMargins(0, 0, 0, 0);
  // Text dropped in would change a box without it gaining or losing the
  // focus, past the checks made when it is left.
  e->setAcceptDrops(false);
  SetColour(e, QPalette::Disabled, QPalette::Text, kDisabledText);
  // A number is always shown whole, in a smaller font where it must be.
  if (!path) KeepTextWhole(e);
  return e;
}

QPushButton* MakeButton(QWidget* parent, const QString& text, const QRect& geometry, const QColor& face, bool bold,
                        const QString& name) {
  auto* b = new QPushButton(text, parent);
  b->setStyle(WindowStyle());
  b->setObjectName(name);
  b->setGeometry(geometry);
  b->setFont(SansFont(bold));
  b->setAutoDefault(false);
  b->setDefault(false);
  QPalette p = b->palette();
  p.setColor(QPalette::Button, face);
  p.setColor(QPalette::Active, QPalette::ButtonText, Qt::black);
  p.setColor(QPalette::Inactive, QPalette::ButtonText, Qt::black);
  // A disabled button keeps its face but greys its caption.
  p.setColor(QPalette::Disabled, QPalette::ButtonText, kDisabledText);
  b->setPalette(p);
  return b;
}

QGroupBox* MakeFrame(QWidget* parent, const QString& title, const QRect& geometry, bool bold, const char* name) {
  auto* g = new QGroupBox(title, parent);
  g->setObjectName(QLatin1String(name));
  g->setGeometry(geometry);
  g->setFont(SansFont(bold));
  g->setAutoFillBackground(true);
  SetBackground(g, QPalette::Window, kCyan);
  SetColour(g, QPalette::Disabled, QPalette::WindowText, kDisabledText);
  return g;
}

QCheckBox* MakeCheck(QWidget* parent, const QString& text, const QRect& geometry, const QColor& colour,
                     const QString& name) {
  auto* c = new QCheckBox(text, parent);
  c->setObjectName(name);
  c->setGeometry(geometry);
  c->setFont(SansFont(false));
  // A check box fills its background with the button role unless told.
  c->setBackgroundRole(QPalette::Window);
  c->setAutoFillBackground(true);
  SetBackground(c, QPalette::Window, colour);
  SetColour(c, QPalette::Disabled, QPalette::WindowText, kDisabledText);
  return c;
}

}  // namespace tabulor::look
