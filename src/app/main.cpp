// The program `tabulor`: the window for mixed series evaluations.
#include <QApplication>
#include <QTimer>

#include <csignal>

#include "app/decimal_point.h"
#include "app/sub_main.h"
#include "ui/frm_tabulor.h"
#include "ui/seams.h"

int main(int argc, char** argv) {
  // Past a file size limit a write then fails with EFBIG, and the save is
  // reported as failed, instead of the process being killed with the
  // results it holds.
  std::signal(SIGXFSZ, SIG_IGN);
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("tabulor"));

  // --demo FILE: opens FILE and computes, as a user would; used by the
  // script that takes the window's screenshot.
  QString demo;
  const QStringList args = QApplication::arguments();
  if (const auto i = args.indexOf(QStringLiteral("--demo")); i >= 0 && i + 1 < args.size()) demo = args[i + 1];

  tabulor::LinuxDecimalPlatform platform;
  tabulor::DecimalPoint guard(platform);
  tabulor::Dimension model;
  std::unique_ptr<tabulor::FrmTabulor> window = tabulor::Main(model, guard, tabulor::StartupOptions{});
  if (!window) return 0;

  if (!demo.isEmpty()) {
    QTimer::singleShot(0, window.get(), [w = window.get(), demo] {
      tabulor::Seams().openFileName = [demo](QWidget*, const QString&) { return demo; };
      w->txtSerFileName_Click();
      tabulor::ResetUiSeams();
      if (w->formState() == tabulor::FrmTabulor::FormState::SeriesLoaded) w->cmdCompute_Click();
    });
  }
  return app.exec();
}
