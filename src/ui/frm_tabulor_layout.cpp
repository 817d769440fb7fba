// The main window's widgets and where they lie: the file area, the frames
// of the variables' settings and the menu bar.
#include <QAction>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QScrollBar>

#include "ui/fitted_text.h"
#include "ui/frm_tabulor.h"
#include "ui/results_list.h"
#include "ui/window_look.h"

namespace tabulor {

using namespace look;

void FrmTabulor::BuildFileArea(QWidget* c) {
  lblSerFilename = MakeCaption(c, QStringLiteral("Series file name:"), Area(0, 0, 1500, 285), "lblSerFilename");
  txtSerFileName = MakeBox(c, Area(1470, 0, 630, 285), kGreen, QStringLiteral("txtSerFileName"), true);
  lblGrdFilename = MakeCaption(c, QStringLiteral("Grid file name:"), Area(0, 300, 1500, 285), "lblGrdFilename");
  txtGrdFileName = MakeBox(c, Area(1470, 300, 630, 285), kGreen, QStringLiteral("txtGrdFileName"), true);
  for (QLineEdit* e : {txtSerFileName, txtGrdFileName}) {
    e->setReadOnly(true);
    e->setCursor(Qt::PointingHandCursor);
  }
  lblOrd = MakeCaption(c, QStringLiteral("# of variables:"), Area(0, 600, 1500, 285), "lblOrd");
  lblOrder = MakeValueLabel(c, Area(1470, 600, 630, 285), "lblOrder");
  lblCoeffOrGrid = MakeCaption(c, QStringLiteral("# of coefficients:"), Area(0, 900, 1500, 285), "lblCoeffOrGrid");
  lblCoeffs = MakeValueLabel(c, Area(1470, 900, 630, 285), "lblCoeffs");
  lblGridPoint = MakeCaption(c, QStringLiteral("# of grid points:"), Area(0, 1200, 1500, 285), "lblGridPoint");
  lblGridPoints = MakeValueLabel(c, Area(1470, 1200, 630, 285), "lblGridPoints");
  cmdCompute =
      MakeButton(c, QStringLiteral("Compute"), Area(0, 1830, 1050, 240), kOrange, false, QStringLiteral("cmdCompute"));
  cmdExit = MakeButton(c, QStringLiteral("E&xit"), Area(9030, 0, 450, 285), kRed, true, QStringLiteral("cmdExit"));
  lstCoeff = new ResultsList(c);
  lstCoeff->setObjectName(QStringLiteral("lstCoeff"));
  lstCoeff->setGeometry(Area(0, 2070, 9495, 4440));
  lstCoeff->setFont(MonoFont());
  lstCoeff->setToolTip(QStringLiteral("Results"));
  SetBackground(lstCoeff->viewport(), QPalette::Base, kYellow);
  SetBackground(lstCoeff->viewport(), QPalette::Window, kYellow);
  // The scroll bars' thumb stands out dark on a light groove.
  for (QScrollBar* bar : {lstCoeff->verticalScrollBar(), lstCoeff->horizontalScrollBar()}) bar->setStyle(WindowStyle());
}

void FrmTabulor::BuildVariableFrames(QWidget* c) {
  fraVarSpecs =
      MakeFrame(c, QStringLiteral("Specifications for each variable"), Area(2130, 0, 6915, 2100), true, "fraVarSpecs");
  lblVariable = new QLabel(QStringLiteral("Variable:"), fraVarSpecs);
  lblVariable->setObjectName(QStringLiteral("lblVariable"));
  lblVariable->setGeometry(Area(3060, 105, 780, 195));
  SetVariableColours(lblVariable);
  fraSerSpecs = MakeFrame(fraVarSpecs, QStringLiteral("Series details"), Area(15, 285, 6855, 825), true, "fraSerSpecs");
  cmdPrevVar = MakeButton(fraVarSpecs, QStringLiteral("Previous"), Area(2610, 1110, 800, 225), kOrange, false,
                          QStringLiteral("cmdPrevVar"));
  cmdNextVar = MakeButton(fraVarSpecs, QStringLiteral("Next"), Area(3420, 1110, 800, 225), kOrange, false,
                          QStringLiteral("cmdNextVar"));
  fraGrdSpecs =
      MakeFrame(fraVarSpecs, QStringLiteral("Grid specifications"), Area(15, 1245, 6855, 825), true, "fraGrdSpecs");
  MakeCaption(fraSerSpecs, QStringLiteral("Lower limit:"), Area(0, 210, 1020, 285), "lblLL");
  MakeCaption(fraSerSpecs, QStringLiteral("Upper limit:"), Area(0, 510, 1020, 285), "lblUL");
  MakeCaption(fraSerSpecs, QStringLiteral("Center of expansion:"), Area(2250, 210, 1770, 285), "lblExpansion");
  MakeCaption(fraSerSpecs, QStringLiteral("Period:"), Area(2250, 510, 1770, 285), "lblPeriod");
  MakeCaption(fraSerSpecs, QStringLiteral("# of terms:"), Area(5415, 510, 975, 285), "lblTerms");
  fraType = MakeFrame(fraSerSpecs, QStringLiteral("Type"), Area(5415, 0, 1380, 495), false, "fraType");
  MakeCaption(fraGrdSpecs, QStringLiteral("Lower limit:"), Area(0, 210, 1020, 285), "lblLLgrid");
  MakeCaption(fraGrdSpecs, QStringLiteral("Upper limit:"), Area(0, 510, 1020, 285), "lblULgrid");
  MakeCaption(fraGrdSpecs, QStringLiteral("# of grid points:"), Area(2250, 210, 2550, 285), "lblGirdPoints");
  MakeCaption(fraGrdSpecs, QStringLiteral("Derivative w.r.t. this variable:"), Area(2250, 510, 2550, 285), "lblDer");
  FraSpaced = MakeFrame(fraGrdSpecs, QStringLiteral("Evenly spaced"), Area(5415, 0, 1380, 495), false, "FraSpaced");
  // The buttons reach into the grid frame's top edge: keep them above it.
  cmdPrevVar->raise();
  cmdNextVar->raise();
}

void FrmTabulor::BuildMenus() {
  QMenuBar* bar = menuBar();
  bar->setFont(SansFont(false));
  auto name = [](QObject* o, const char* n) { o->setObjectName(QLatin1String(n)); };
  mnuFile = bar->addMenu(QStringLiteral("File"));
  name(mnuFile, "mnuFile");
  mnuOpen = mnuFile->addAction(QStringLiteral("Open"));
  name(mnuOpen, "mnuOpen");
  mnuFile->addSeparator();
  mnuSave = mnuFile->addAction(QStringLiteral("Save"));
  name(mnuSave, "mnuSave");
  mnuSaveAs = mnuFile->addAction(QStringLiteral("Save As"));
  name(mnuSaveAs, "mnuSaveAs");
  mnuFile->addSeparator();
  mnuPrint = bar->addAction(QStringLiteral("Print"));
  name(mnuPrint, "mnuPrint");
  mnuPlot = bar->addAction(QStringLiteral("Plot"));
  name(mnuPlot, "mnuPlot");
  mnuHelp = bar->addAction(QStringLiteral("Help"));
  name(mnuHelp, "mnuHelp");
  mnuAbout = bar->addAction(QStringLiteral("About"));
  name(mnuAbout, "mnuAbout");
}

}  // namespace tabulor
