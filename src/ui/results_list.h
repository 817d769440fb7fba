// The results list: a list of text lines that are made only when they are
// painted, so a list of 10^8 lines costs no memory per line and appears at
// once. Single selection by click and keys.
#pragma once

#include <QAbstractScrollArea>
#include <QString>

#include <cstdint>
#include <memory>
#include <string>

namespace tabulor {

// Where the list's lines come from.
class LineSource {
 public:
  virtual ~LineSource() = default;
  virtual std::int64_t count() const = 0;
  virtual std::string line(std::int64_t i) const = 0;
};

class Dimension;

// The lines of the results list of `model` (ResultLines), made when painted;
// the model must outlive the source.
std::shared_ptr<LineSource> MakeResultLinesSource(const Dimension& model);

class ResultsList : public QAbstractScrollArea {
  Q_OBJECT

 public:
  explicit ResultsList(QWidget* parent = nullptr);

  // The lines shown; null empties the list.
  void setSource(std::shared_ptr<const LineSource> source);
  std::int64_t count() const;
  QString lineText(std::int64_t i) const;

  // The selected line, or -1.
  std::int64_t currentRow() const { return current_; }
  void setCurrentRow(std::int64_t row);
  // The first line drawn at the top and how many lines fit.
  std::int64_t topRow() const;
  int visibleRows() const;
  void scrollToRow(std::int64_t row);
  int rowHeight() const;

 signals:
  void currentRowChanged(std::int64_t row);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void scrollContentsBy(int dx, int dy) override;
  void changeEvent(QEvent* event) override;

 private:
  void updateScrollBars();
  std::int64_t rowAt(int y) const;
  void setTopRow(std::int64_t row);

  void onScrollValue(int value);
  std::int64_t maxTop() const;

  std::shared_ptr<const LineSource> source_;
  std::int64_t current_ = -1;
  std::int64_t top_ = 0;
  int widest_ = 0;  // widest line painted so far, in pixels
  bool syncing_ = false;
};

}  // namespace tabulor
