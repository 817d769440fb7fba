// The main window's look: its colours, fonts and the factories of its
// widgets. Positions and sizes are given in layout units, 15 to a pixel.
#pragma once

#include <QColor>
#include <QFont>
#include <QPalette>
#include <QRect>
#include <QString>

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QStyle;
class QWidget;

namespace tabulor {

class NumberLabel;

namespace look {

inline const QColor kCyan(0, 255, 255);
inline const QColor kLightYellow(255, 255, 192);
inline const QColor kGreen(0, 255, 0);
inline const QColor kYellow(255, 255, 0);
inline const QColor kOrange(255, 128, 0);
inline const QColor kRed(255, 0, 0);
// Text of a disabled control: plainly greyed, still readable on the
// window's bright colours (the style's own grey is not, on cyan).
inline const QColor kDisabledText(96, 96, 96);

// Layout units to pixels, rounded to the nearest.
int Px(int units);
QRect Area(int x, int y, int w, int h);

QFont SansFont(bool bold);
// Courier New where it is installed, else its metric twin.
QFont MonoFont();

void SetBackground(QWidget* w, QPalette::ColorRole role, const QColor& c);
void SetColour(QWidget* w, QPalette::ColorGroup group, QPalette::ColorRole role, const QColor& c);
// Red bold text on cyan: the variable's caption and name.
void SetVariableColours(QLabel* label);
// The style of the window's buttons and scroll bars.
QStyle* WindowStyle();

QLabel* MakeCaption(QWidget* parent, const QString& text, const QRect& geometry, const char* name);
NumberLabel* MakeValueLabel(QWidget* parent, const QRect& geometry, const char* name);
// A box for a number (or, with `path`, a file name box).
QLineEdit* MakeBox(QWidget* parent, const QRect& geometry, const QColor& colour, const QString& name,
                   bool path = false);
QPushButton* MakeButton(QWidget* parent, const QString& text, const QRect& geometry, const QColor& face, bool bold,
                        const QString& name);
QGroupBox* MakeFrame(QWidget* parent, const QString& title, const QRect& geometry, bool bold, const char* name);
QCheckBox* MakeCheck(QWidget* parent, const QString& text, const QRect& geometry, const QColor& colour,
                     const QString& name);

}  // namespace look
}  // namespace tabulor
