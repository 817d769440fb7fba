#include "ui/help_window.h"

#include <QTextBrowser>
#include <QVBoxLayout>

static void InitHelpResourceGlobal() { Q_INIT_RESOURCE(help); }

namespace tabulor {

void InitHelpResource() {
  static const bool done = (InitHelpResourceGlobal(), true);
  (void)done;
}

HelpWindow::HelpWindow(QWidget* parent) : QWidget(parent, Qt::Window) {
  setObjectName(QStringLiteral("helpWindow"));
  setWindowTitle(QStringLiteral("Mixed Series Evaluations - Help"));
  browser_ = new QTextBrowser(this);
  browser_->setOpenExternalLinks(false);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(browser_);
  resize(640, 560);
}

void HelpWindow::setHelpHtml(const QString& html) { browser_->setHtml(html); }

QString HelpWindow::plainText() const { return browser_->toPlainText(); }

}  // namespace tabulor
