#include "ui/ui_services.h"

#include <QApplication>
#include <QFileDialog>
#include <QPrintDialog>
#include <QPrinter>
#include <QRegularExpression>

namespace tabulor {

namespace {

// The extension a name filter stands for ("PDF document (*.pdf)": "pdf"),
// or `fallback` for one without ("All files (*)").
QString FilterSuffix(const QString& filter, const QString& fallback) {
  const QRegularExpressionMatch m = QRegularExpression(QStringLiteral("\\*\\.(\\w+)")).match(filter);
  return m.hasMatch() ? m.captured(1) : fallback;
}

}  // namespace

QString UiServices::OpenFileName(QWidget* parent, const QString& filter) {
  return QFileDialog::getOpenFileName(parent, QString(), QString(), filter);
}

QString UiServices::SaveFileName(QWidget* parent, const QString& filter, const QString& start) {
  return QFileDialog::getSaveFileName(parent, QString(), start, filter, nullptr, QFileDialog::DontConfirmOverwrite);
}

QString UiServices::SaveExportName(QWidget* parent, const QString& caption, const QString& suggested,
                                   const QString& filters) {
  QFileDialog dialog(parent, caption, suggested, filters);
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  // A name typed without an extension gets that of the chosen type before
  // the dialog asks about replacing a file, so that it asks about the file
  // that is written.
  const QString first = FilterSuffix(dialog.selectedNameFilter(), QString());
  dialog.setDefaultSuffix(first);
  QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog,
                   [&dialog, first](const QString& filter) { dialog.setDefaultSuffix(FilterSuffix(filter, first)); });
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return QString();
  return dialog.selectedFiles().first();
}

void UiServices::Message(QWidget* parent, QMessageBox::Icon icon, const QString& title, const QString& text) {
  QMessageBox box(icon, title, text, QMessageBox::Ok, parent);
  box.setTextFormat(Qt::PlainText);  // messages name files and variables as written
  box.exec();
}

QMessageBox::StandardButton UiServices::Ask(QWidget* parent, const QString& title, const QString& text,
                                            QMessageBox::StandardButtons buttons,
                                            QMessageBox::StandardButton defaultButton) {
  QMessageBox box(QMessageBox::Question, title, text, buttons, parent);
  box.setTextFormat(Qt::PlainText);
  box.setDefaultButton(defaultButton);
  return static_cast<QMessageBox::StandardButton>(box.exec());
}

bool UiServices::PrintDialog(QPrinter& printer, QWidget* parent) {
  QPrintDialog dialog(&printer, parent);
  return dialog.exec() == QDialog::Accepted;
}

void UiServices::Beep() { QApplication::beep(); }

void UiServices::Quit() { QCoreApplication::quit(); }

QString UiServices::HelpResource() const { return QStringLiteral(":/tabulor/help/tabulor-help.html"); }

UiServices& DesktopServices() {
  static UiServices services;
  return services;
}

QString ProgramTitle() { return QStringLiteral("Mixed Series Evaluations"); }

}  // namespace tabulor
