// The start of the program: the decimal separator guard, the splash, then the
// main window.
#pragma once

#include <chrono>
#include <functional>
#include <memory>

#include "app/decimal_point.h"
#include "model/dimension.h"

class QWidget;

namespace tabulor {

class FrmTabulor;
class UiServices;

struct StartupOptions {
  // The decimal separator warning.
  GuardQuestion ask = AskDecimalQuestion;
  // Keeps the splash up; the real one waits for its deadline.
  std::function<void(QWidget& splash)> waitSplash;
};

// The moment the splash closes: the start of the third whole second after
// `shown`, so it stays more than two and at most three seconds.
std::chrono::system_clock::time_point SplashDeadline(std::chrono::system_clock::time_point shown);

// Waits until SplashDeadline(now) without using the processor, painting but
// taking no input.
void WaitSplash(QWidget& splash);

// Main: the guard (which may end the program: then the result is null), the
// splash, and the main window shown in its start state. The window restores
// the decimal separator through `guard` when it closes.
// The window asks `services` for its dialogs and message boxes.
std::unique_ptr<FrmTabulor> Main(Dimension& model, DecimalPoint& guard, const StartupOptions& options,
                                 UiServices& services);

// The whole program (its main() sets up the signals first, SetUpSignals in
// platform/signals.h): the application, Main with the real guard, splash and
// question, and the event loop until the window closes. `started` is called
// once the event loop runs, with the window (not when the guard ended the
// program). Returns the exit status.
int RunWindowProgram(int argc, char** argv, UiServices& services,
                     const std::function<void(FrmTabulor& window)>& started = nullptr);

}  // namespace tabulor
