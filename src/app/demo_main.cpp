// `tabulor-demo SERIESFILE`: the window as `tabulor` starts it, which then
// opens SERIESFILE and computes as a user would. Only for the script that
// takes the window's screenshot; `tabulor` itself reads no command line.
#include <cstdio>
#include <string>

#include "app/sub_main.h"
#include "platform/signals.h"
#include "ui/frm_tabulor.h"
#include "ui/qt_text.h"
#include "ui/seams.h"

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fputs("usage: tabulor-demo SERIESFILE\n", stderr);
    return 2;
  }
  tabulor::SetUpSignals(tabulor::BrokenPipe::kFailsTheWrite);
  const QString file = tabulor::PathToQ(argv[1]);
  return tabulor::RunWindowProgram(argc, argv, [file](tabulor::FrmTabulor& w) {
    tabulor::Seams().openFileName = [file](QWidget*, const QString&) { return file; };
    QMetaObject::invokeMethod(&w, "txtSerFileName_Click");
    tabulor::ResetUiSeams();
    if (w.formState() == tabulor::FrmTabulor::FormState::SeriesLoaded) QMetaObject::invokeMethod(&w, "cmdCompute_Click");
  });
}
