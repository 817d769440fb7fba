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
std::unique_ptr<FrmTabulor> Main(Dimension& model, DecimalPoint& guard, const StartupOptions& options);

}  // namespace tabulor
