#include "ui/frm_about.h"

#include <QFontMetrics>
#include <QMouseEvent>
#include <QPainter>

namespace tabulor {

namespace {
const QColor kOrange(255, 128, 0);
constexpr int kWidth = 640;
constexpr int kHeight = 480;
}  // namespace

QStringList FrmAbout::AboutLines() {
  return {QString(), QString(),
          QString(), QString(),
          QString(), QStringLiteral("Mixed Polynomial & Trigonometric Series Evaluations"),
          QString(), QStringLiteral("Tabulor: a series at every point of a grid"),
          QString(), QStringLiteral("Written and kept by the Tabulor developers"),
          QString(), QStringLiteral("How to use it: Help, in the menu bar")};
}

FrmAbout::FrmAbout(QWidget* parent) : QWidget(parent, Qt::Window) {
  setObjectName(QStringLiteral("frmAbout"));
  setWindowTitle(QStringLiteral(" "));
  font_ = QFont(QStringLiteral("Liberation Sans"));
  font_.setStyleHint(QFont::SansSerif);
  font_.setBold(true);
  font_.setPointSize(18);
  setFont(font_);
  QPalette p = palette();
  p.setColor(QPalette::Window, Qt::black);
  p.setColor(QPalette::WindowText, kOrange);
  setPalette(p);
  setAutoFillBackground(true);
  // Wide enough for the longest line, should the font be wider than planned.
  const QFontMetrics fm(font_);
  int widest = 0;
  for (const QString& line : AboutLines()) widest = std::max(widest, fm.horizontalAdvance(line));
  setFixedSize(std::max(kWidth, widest + 8), kHeight);
}

void FrmAbout::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.setFont(font_);
  p.setPen(kOrange);
  const QFontMetrics fm(font_);
  int y = fm.ascent();
  for (const QString& line : AboutLines()) {
    p.drawText(0, y, line);
    y += fm.lineSpacing();
  }
}

void FrmAbout::mousePressEvent(QMouseEvent* event) {
  event->accept();
  close();
}

}  // namespace tabulor
