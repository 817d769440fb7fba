#include "app/sub_main.h"

#include <QApplication>
#include <QEventLoop>
#include <QScreen>
#include <QTimer>

#include "ui/frm_about.h"
#include "ui/frm_tabulor.h"

namespace tabulor {

std::chrono::system_clock::time_point SplashDeadline(std::chrono::system_clock::time_point shown) {
  return std::chrono::floor<std::chrono::seconds>(shown) + std::chrono::seconds(3);
}

void WaitSplash(QWidget&) {
  const auto now = std::chrono::system_clock::now();
  const auto left = std::chrono::ceil<std::chrono::milliseconds>(SplashDeadline(now) - now);
  QEventLoop loop;
  QTimer::singleShot(std::max<long long>(0, left.count()), Qt::PreciseTimer, &loop, &QEventLoop::quit);
  // Waits for events (no spinning); paints, timers run, input waits.
  loop.exec(QEventLoop::ExcludeUserInputEvents);
}

std::unique_ptr<FrmTabulor> Main(Dimension& model, DecimalPoint& guard, const StartupOptions& options,
                                 UiServices& services) {
  if (!guard.CheckDecimalSeparator(options.ask)) return nullptr;

  {
    FrmAbout splash;
    if (QScreen* s = splash.screen()) splash.move(s->availableGeometry().center() - splash.rect().center());
    splash.show();
    QCoreApplication::processEvents();  // paints the splash
    if (options.waitSplash)
      options.waitSplash(splash);
    else
      WaitSplash(splash);
    splash.close();
  }

  auto window = std::make_unique<FrmTabulor>(model, services);
  QObject::connect(window.get(), &FrmTabulor::unloading, [&guard] { guard.RestoreDecimalSeparator(); });
  window->show();
  window->activateWindow();
  return window;
}

int RunWindowProgram(int argc, char** argv, UiServices& services,
                     const std::function<void(FrmTabulor& window)>& started) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("tabulor"));

  LinuxDecimalPlatform platform;
  DecimalPoint guard(platform);
  Dimension model;
  std::unique_ptr<FrmTabulor> window = Main(model, guard, StartupOptions{}, services);
  if (!window) return 0;
  if (started) QTimer::singleShot(0, window.get(), [&started, w = window.get()] { started(*w); });
  return app.exec();
}

}  // namespace tabulor
