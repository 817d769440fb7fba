// The program `tabulor`: the window for mixed series evaluations.
#include "app/sub_main.h"
#include "platform/signals.h"
#include "ui/ui_services.h"

int main(int argc, char** argv) {
  // A save into a pipe whose reader has gone fails and is told, instead of
  // ending the window with the results it holds.
  tabulor::SetUpSignals(tabulor::BrokenPipe::kFailsTheWrite);
  return tabulor::RunWindowProgram(argc, argv, tabulor::DesktopServices());
}
