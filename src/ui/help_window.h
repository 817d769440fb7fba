// The help window: the help text that ships inside the program.
#pragma once

#include <QWidget>

class QPushButton;
class QTextBrowser;

namespace tabulor {

class HelpWindow : public QWidget {
  Q_OBJECT

 public:
  explicit HelpWindow(QWidget* parent = nullptr);
  void setHelpHtml(const QString& html);
  QString plainText() const;
  QPushButton* closeButton() const { return closeButton_; }

 protected:
  // Escape closes the window.
  void keyPressEvent(QKeyEvent* event) override;

 private:
  QTextBrowser* browser_;
  QPushButton* closeButton_;
};

// Makes the help text's resource known (it lives in a static library).
void InitHelpResource();

}  // namespace tabulor
