#include "ui/seams.h"

#include <QApplication>
#include <QFileDialog>

namespace tabulor {

namespace {

UiSeams RealSeams() {
  UiSeams s;
  s.openFileName = [](QWidget* parent, const QString& filter) {
    return QFileDialog::getOpenFileName(parent, QString(), QString(), filter);
  };
  s.saveFileName = [](QWidget* parent, const QString& filter, const QString& start) {
    // The file written is the chosen name, with ".grd" added unless it ends
    // in it, which the dialog cannot know: it asks nothing before a file is
    // replaced.
    return QFileDialog::getSaveFileName(parent, QString(), start, filter, nullptr,
                                        QFileDialog::DontConfirmOverwrite);
  };
  s.message = [](QWidget* parent, QMessageBox::Icon icon, const QString& title, const QString& text) {
    QMessageBox box(icon, title, text, QMessageBox::Ok, parent);
    box.setTextFormat(Qt::PlainText);  // messages name files and variables as written
    box.exec();
  };
  s.ask = [](QWidget* parent, const QString& title, const QString& text, QMessageBox::StandardButtons buttons,
             QMessageBox::StandardButton defaultButton) {
    QMessageBox box(QMessageBox::Question, title, text, buttons, parent);
    box.setTextFormat(Qt::PlainText);
    box.setDefaultButton(defaultButton);
    return static_cast<QMessageBox::StandardButton>(box.exec());
  };
  s.beep = [] { QApplication::beep(); };
  s.quit = [] { QCoreApplication::quit(); };
  s.helpResource = QStringLiteral(":/tabulor/help/tabulor-help.html");
  s.progressDelayMs = 500;
  return s;
}

}  // namespace

UiSeams& Seams() {
  static UiSeams seams = RealSeams();
  return seams;
}

void ResetUiSeams() { Seams() = RealSeams(); }

QString ProgramTitle() { return QStringLiteral("Mixed Series Evaluations"); }

}  // namespace tabulor
