// The help window: the help text that ships inside the program.
#pragma once

#include <QWidget>

class QTextBrowser;

namespace tabulor {

class HelpWindow : public QWidget {
  Q_OBJECT

 public:
  explicit HelpWindow(QWidget* parent = nullptr);
  void setHelpHtml(const QString& html);
  QString plainText() const;

 private:
  QTextBrowser* browser_;
};

// Makes the help text's resource known (it lives in a static library).
void InitHelpResource();

}  // namespace tabulor
