#include "ui/fitted_text.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QStyleFactory>
#include <QStyleOption>
#include <QStyleOptionButton>
#include <QStyleOptionFrame>

#include "ui/qt_text.h"

namespace tabulor {

namespace {

// The margin QLineEdit keeps on each side of its text, and the cursor.
constexpr int kLineEditMargin = 2;
constexpr int kCursorWidth = 1;

bool Fits(const QFont& font, const QString& text, int width) {
  return QFontMetricsF(font).horizontalAdvance(text) <= width;
}

}  // namespace

QFont FittedFont(const QFont& base, const QString& text, int width) {
  QFont font = base;
  if (text.isEmpty() || Fits(font, text, width)) return font;
  for (double size = base.pointSizeF() - 0.25; size >= 1.0; size -= 0.25) {
    font.setPointSizeF(size);
    if (Fits(font, text, width)) break;
  }
  return font;
}

int LineEditTextWidth(const QLineEdit* box) {
  QStyleOptionFrame opt;
  opt.initFrom(box);
  opt.rect = box->rect();
  opt.lineWidth = box->hasFrame() ? box->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &opt, box) : 0;
  opt.midLineWidth = 0;
  opt.state |= QStyle::State_Sunken;
  const QRect contents = box->style()->subElementRect(QStyle::SE_LineEditContents, &opt, box);
  const QMargins m = box->textMargins();
  return contents.width() - m.left() - m.right() - 2 * kLineEditMargin - kCursorWidth;
}

void KeepTextWhole(QLineEdit* box) {
  const QFont base = box->font();
  auto fit = [box, base] {
    const QFont font = FittedFont(base, box->text(), LineEditTextWidth(box));
    if (font != box->font()) box->setFont(font);
  };
  QObject::connect(box, &QLineEdit::textChanged, box, fit);
  fit();
}

void NumberLabel::setBaseFont(const QFont& base) {
  base_ = base;
  setFont(base);
}

void NumberLabel::setNumberText(const QString& text) {
  setText(text);
  setToolTip(text);
  const int width = contentsRect().width() - 2 * margin() - std::max(indent(), 0);
  setFont(FittedFont(base_, text, width));
}

void ElidedLabel::setFullText(const QString& text) {
  setText(text);
  setToolTip(PlainToolTip(text));
}

QString ElidedLabel::shownText() const {
  return fontMetrics().elidedText(text(), Qt::ElideRight, contentsRect().width());
}

void ElidedLabel::paintEvent(QPaintEvent*) {
  QPainter p(this);
  style()->drawItemText(&p, contentsRect(), static_cast<int>(alignment()), palette(), isEnabled(), shownText(),
                        foregroundRole());
}

QString PathBox::shownText() const {
  return fontMetrics().elidedText(text(), Qt::ElideLeft, LineEditTextWidth(this) + kCursorWidth);
}

void PathBox::paintEvent(QPaintEvent* event) {
  const QString shown = shownText();
  if (shown == text()) {
    QLineEdit::paintEvent(event);
    return;
  }
  QPainter p(this);
  QStyleOptionFrame panel;
  initStyleOption(&panel);
  style()->drawPrimitive(QStyle::PE_PanelLineEdit, &panel, &p, this);
  QRect r = style()->subElementRect(QStyle::SE_LineEditContents, &panel, this);
  r = r.marginsRemoved(textMargins()).adjusted(kLineEditMargin, 0, -kLineEditMargin, 0);
  p.setPen(palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::Text));
  p.drawText(r, Qt::AlignLeft | Qt::AlignVCenter, shown);
}

MainWindowStyle::MainWindowStyle() : QProxyStyle(QStyleFactory::create(QStringLiteral("Fusion"))) {}

void MainWindowStyle::drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                                  const QWidget* widget) const {
  if (element != CE_PushButtonBevel) {
    QProxyStyle::drawControl(element, option, painter, widget);
    return;
  }
  const QRect r = option->rect;
  const bool down = option->state & (State_Sunken | State_On);
  QColor face = option->palette.color(QPalette::Button);
  if (down) face = face.darker(120);
  painter->save();
  painter->setRenderHint(QPainter::Antialiasing, false);
  painter->fillRect(r, face);
  // A raised edge: light top and left, dark bottom and right; pressed, the
  // other way round.
  const QColor light = face.lighter(150), dark = face.darker(200);
  painter->setPen(down ? dark : light);
  painter->drawLine(r.topLeft(), r.topRight());
  painter->drawLine(r.topLeft(), r.bottomLeft());
  painter->setPen(down ? light : dark);
  painter->drawLine(r.bottomLeft(), r.bottomRight());
  painter->drawLine(r.topRight(), r.bottomRight());
  if (option->state & State_HasFocus) {
    QPen pen(Qt::black);
    pen.setStyle(Qt::DotLine);
    painter->setPen(pen);
    painter->drawRect(r.adjusted(2, 2, -3, -3));
  }
  painter->restore();
}

void MainWindowStyle::drawComplexControl(ComplexControl control, const QStyleOptionComplex* option, QPainter* painter,
                                         const QWidget* widget) const {
  QProxyStyle::drawComplexControl(control, option, painter, widget);
  if (control != CC_ScrollBar || !(option->subControls & SC_ScrollBarSlider)) return;
  const QRect slider = subControlRect(control, option, SC_ScrollBarSlider, widget);
  if (!slider.isValid() || !(option->state & State_Enabled)) return;
  const QColor groove = option->palette.color(QPalette::Button);
  const bool active = option->activeSubControls & SC_ScrollBarSlider;
  painter->save();
  painter->setRenderHint(QPainter::Antialiasing, false);
  painter->setPen(groove.darker(260));
  painter->setBrush(groove.darker(active ? 200 : 170));
  painter->drawRect(slider.adjusted(1, 1, -2, -2));
  painter->restore();
}

}  // namespace tabulor
