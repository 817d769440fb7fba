#include "ui/results_list.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>

#include <algorithm>

#include "output/result_lines.h"
#include "ui/qt_text.h"

namespace tabulor {

namespace {
// The scroll bar's range is an int; longer lists are scrolled in proportion.
constexpr int kMaxScroll = 1 << 30;
}  // namespace

ResultsList::ResultsList(QWidget* parent) : QAbstractScrollArea(parent) {
  setFocusPolicy(Qt::StrongFocus);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  viewport()->setAutoFillBackground(true);
  connect(verticalScrollBar(), &QScrollBar::valueChanged, this, &ResultsList::onScrollValue);
  connect(horizontalScrollBar(), &QScrollBar::valueChanged, viewport(), qOverload<>(&QWidget::update));
}

void ResultsList::setSource(std::shared_ptr<const LineSource> source) {
  source_ = std::move(source);
  current_ = -1;
  top_ = 0;
  widest_ = 0;
  updateScrollBars();
  verticalScrollBar()->setValue(0);
  horizontalScrollBar()->setValue(0);
  viewport()->update();
  emit currentRowChanged(-1);
}

std::int64_t ResultsList::count() const { return source_ ? source_->count() : 0; }

QString ResultsList::lineText(std::int64_t i) const {
  if (!source_ || i < 0 || i >= source_->count()) return {};
  return ToQ(source_->line(i));
}

int ResultsList::rowHeight() const { return std::max(1, fontMetrics().lineSpacing()); }

int ResultsList::visibleRows() const { return std::max(1, viewport()->height() / rowHeight()); }

std::int64_t ResultsList::topRow() const { return top_; }

std::int64_t ResultsList::maxTop() const { return std::max<std::int64_t>(0, count() - visibleRows()); }

void ResultsList::updateScrollBars() {
  const std::int64_t range = maxTop();
  QScrollBar* v = verticalScrollBar();
  // The scroll bar's signals stay on (the area shows or hides the bar on its
  // range signal); its value signal is ignored meanwhile.
  syncing_ = true;
  v->setRange(0, static_cast<int>(std::min<std::int64_t>(range, kMaxScroll)));
  v->setPageStep(visibleRows());
  v->setSingleStep(1);
  top_ = std::min(top_, range);
  if (range <= kMaxScroll) {
    v->setValue(static_cast<int>(top_));
  } else {
    v->setValue(static_cast<int>(static_cast<long double>(top_) * kMaxScroll / static_cast<long double>(range)));
  }
  syncing_ = false;
  QScrollBar* h = horizontalScrollBar();
  h->setRange(0, std::max(0, widest_ + 4 - viewport()->width()));
  h->setPageStep(viewport()->width());
  h->setSingleStep(fontMetrics().horizontalAdvance(QLatin1Char('0')));
}

void ResultsList::onScrollValue(int value) {
  if (syncing_) return;
  const std::int64_t range = maxTop();
  if (range <= kMaxScroll)
    top_ = value;
  else
    top_ = static_cast<std::int64_t>(static_cast<long double>(value) * static_cast<long double>(range) / kMaxScroll);
  top_ = std::clamp<std::int64_t>(top_, 0, range);
  viewport()->update();
}

void ResultsList::setTopRow(std::int64_t row) {
  top_ = std::clamp<std::int64_t>(row, 0, maxTop());
  updateScrollBars();
  viewport()->update();
}

void ResultsList::scrollToRow(std::int64_t row) {
  if (row < top_)
    setTopRow(row);
  else if (row >= top_ + visibleRows())
    setTopRow(row - visibleRows() + 1);
}

void ResultsList::setCurrentRow(std::int64_t row) {
  const std::int64_t n = count();
  if (n == 0)
    row = -1;
  else
    row = std::clamp<std::int64_t>(row, 0, n - 1);
  if (row >= 0) scrollToRow(row);
  if (row == current_) return;
  current_ = row;
  viewport()->update();
  emit currentRowChanged(current_);
}

std::int64_t ResultsList::rowAt(int y) const {
  if (y < 0) return -1;
  const std::int64_t row = top_ + y / rowHeight();
  return row < count() ? row : -1;
}

void ResultsList::paintEvent(QPaintEvent*) {
  QPainter p(viewport());
  const int h = rowHeight();
  const int x0 = 2 - horizontalScrollBar()->value();
  const int ascent = fontMetrics().ascent();
  const std::int64_t n = count();
  const int rows = viewport()->height() / h + 1;
  int widest = widest_;
  for (int r = 0; r < rows; ++r) {
    const std::int64_t i = top_ + r;
    if (i >= n) break;
    const QString text = lineText(i);
    const int y = r * h;
    if (i == current_) {
      const bool focused = hasFocus();
      p.fillRect(QRect(0, y, viewport()->width(), h),
                 palette().color(focused ? QPalette::Active : QPalette::Inactive, QPalette::Highlight));
      p.setPen(palette().color(focused ? QPalette::Active : QPalette::Inactive, QPalette::HighlightedText));
    } else {
      p.setPen(palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::Text));
    }
    p.drawText(x0, y + ascent, text);
    // The blanks that end a line are not worth scrolling to.
    qsizetype end = text.size();
    while (end > 0 && text[end - 1] == QLatin1Char(' ')) --end;
    widest = std::max(widest, fontMetrics().horizontalAdvance(text, static_cast<int>(end)));
  }
  if (widest != widest_) {
    widest_ = widest;
    QMetaObject::invokeMethod(
        this, [this] { updateScrollBars(); }, Qt::QueuedConnection);
  }
}

void ResultsList::resizeEvent(QResizeEvent* event) {
  QAbstractScrollArea::resizeEvent(event);
  updateScrollBars();
}

void ResultsList::scrollContentsBy(int, int) { viewport()->update(); }

void ResultsList::changeEvent(QEvent* event) {
  QAbstractScrollArea::changeEvent(event);
  if (event->type() == QEvent::FontChange) updateScrollBars();
}

void ResultsList::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) {
    const std::int64_t row = rowAt(event->position().toPoint().y());
    if (row >= 0) setCurrentRow(row);
  }
  QAbstractScrollArea::mousePressEvent(event);
}

void ResultsList::keyPressEvent(QKeyEvent* event) {
  const std::int64_t n = count();
  if (n == 0) {
    QAbstractScrollArea::keyPressEvent(event);
    return;
  }
  const std::int64_t page = std::max(1, visibleRows() - 1);
  const std::int64_t cur = current_ < 0 ? top_ : current_;
  switch (event->key()) {
    case Qt::Key_Up: setCurrentRow(current_ < 0 ? top_ : cur - 1); break;
    case Qt::Key_Down: setCurrentRow(current_ < 0 ? top_ : cur + 1); break;
    case Qt::Key_PageUp: setCurrentRow(cur - page); break;
    case Qt::Key_PageDown: setCurrentRow(cur + page); break;
    case Qt::Key_Home: setCurrentRow(0); break;
    case Qt::Key_End: setCurrentRow(n - 1); break;
    default: QAbstractScrollArea::keyPressEvent(event); return;
  }
  event->accept();
}

namespace {

class ResultLinesSource : public LineSource {
 public:
  explicit ResultLinesSource(const Dimension& model) : lines_(model) {}
  std::int64_t count() const override { return lines_.count(); }
  std::string line(std::int64_t i) const override { return lines_.line(i); }

 private:
  ResultLines lines_;
};

}  // namespace

std::shared_ptr<LineSource> MakeResultLinesSource(const Dimension& model) {
  return std::make_shared<ResultLinesSource>(model);
}

}  // namespace tabulor
