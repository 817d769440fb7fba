#include "ui/help_window.h"

#include <QDialogButtonBox>
#include <QKeyEvent>
#include <QPushButton>
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
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
  closeButton_ = buttons->button(QDialogButtonBox::Close);
  closeButton_->setObjectName(QStringLiteral("cmdHelpClose"));
  connect(buttons, &QDialogButtonBox::rejected, this, &QWidget::close);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 6);
  layout->addWidget(browser_);
  auto* row = new QHBoxLayout();
  row->setContentsMargins(6, 0, 6, 0);
  row->addWidget(buttons);
  layout->addLayout(row);
  resize(640, 560);
}

void HelpWindow::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
    close();
    return;
  }
  QWidget::keyPressEvent(event);
}

void HelpWindow::setHelpHtml(const QString& html) { browser_->setHtml(html); }

QString HelpWindow::plainText() const { return browser_->toPlainText(); }

}  // namespace tabulor
