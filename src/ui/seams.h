// The places where the windows meet the user outside their own widgets: file
// dialogs, message boxes, the beep and the end of the program. The program
// uses the real ones; the window tests put their own in, so that no dialog
// ever waits for a person.
#pragma once

#include <QMessageBox>
#include <QString>

#include <functional>

class QWidget;

namespace tabulor {

struct UiSeams {
  // A file-open dialog; returns the chosen path or "" when nothing was chosen.
  std::function<QString(QWidget* parent, const QString& filter)> openFileName;
  // A file-save dialog starting at `start` (a folder and the name offered);
  // returns the chosen path or "".
  std::function<QString(QWidget* parent, const QString& filter, const QString& start)> saveFileName;
  // A message box with an OK button.
  std::function<void(QWidget* parent, QMessageBox::Icon icon, const QString& title, const QString& text)> message;
  // A question in a message box with the given buttons; returns the button
  // pressed (the Escape button when the box is closed otherwise).
  std::function<QMessageBox::StandardButton(QWidget* parent, const QString& title, const QString& text,
                                            QMessageBox::StandardButtons buttons,
                                            QMessageBox::StandardButton defaultButton)>
      ask;
  // The system beep.
  std::function<void()> beep;
  // Ends the program's event loop.
  std::function<void()> quit;
  // The resource that holds the help text.
  QString helpResource;
  // How long a computation runs before its progress dialog appears (ms).
  int progressDelayMs = 500;
};

// The seams in force; tests change their members and call ResetUiSeams().
UiSeams& Seams();
void ResetUiSeams();

// The title of the program's message boxes.
QString ProgramTitle();

}  // namespace tabulor
