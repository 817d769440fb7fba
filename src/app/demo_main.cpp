// `tabulor-demo SERIESFILE`: the window as `tabulor` starts it, which then
// opens SERIESFILE and computes as a user would. Only for the script that
// takes the window's screenshot; `tabulor` itself reads no command line.
#include <cstdio>
#include <string>

#include "app/sub_main.h"
#include "platform/signals.h"
#include "ui/frm_tabulor.h"
#include "ui/qt_text.h"
#include "ui/ui_services.h"

namespace {

// The real dialogs, but the file-open dialog answers with the file given.
class DemoServices : public tabulor::UiServices {
 public:
  explicit DemoServices(QString file) : file_(std::move(file)) {}
  QString OpenFileName(QWidget*, const QString&) override { return file_; }

 private:
  QString file_;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fputs("usage: tabulor-demo SERIESFILE\n", stderr);
    return 2;
  }
  tabulor::SetUpSignals(tabulor::BrokenPipe::kFailsTheWrite);
  DemoServices services(tabulor::PathToQ(argv[1]));
  return tabulor::RunWindowProgram(argc, argv, services, [](tabulor::FrmTabulor& w) {
    QMetaObject::invokeMethod(&w, "txtSerFileName_Click");
    if (w.formState() == tabulor::FrmTabulor::FormState::SeriesLoaded)
      QMetaObject::invokeMethod(&w, "cmdCompute_Click");
  });
}
