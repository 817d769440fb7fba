// The About window, also the splash at start: black, with the program's
// name and notice printed in orange from the top left corner.
#pragma once

#include <QStringList>
#include <QWidget>

namespace tabulor {

class FrmAbout : public QWidget {
  Q_OBJECT

 public:
  explicit FrmAbout(QWidget* parent = nullptr);

  // The twelve lines printed on the window.
  static QStringList AboutLines();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;  // a click anywhere closes the window

 private:
  QFont font_;
};

}  // namespace tabulor
