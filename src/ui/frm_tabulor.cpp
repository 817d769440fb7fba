#include "ui/frm_tabulor.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMouseEvent>
#include <QProgressDialog>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QTimer>
#include <QToolTip>
#include <QWindow>

#include <atomic>
#include <cmath>
#include <new>
#include <thread>

#include "model/grid_file.h"
#include "model/grid_capture.h"
#include "model/limits.h"
#include "model/number_text.h"
#include "model/series_file.h"
#include "output/result_lines.h"
#include "ui/fitted_text.h"
#include "ui/frm_about.h"
#include "ui/plot_window.h"
#include "ui/help_window.h"
#include "ui/qt_text.h"
#include "ui/results_list.h"
#include "ui/seams.h"
#include "ui/vars_editor.h"

namespace tabulor {

namespace {

// The design is laid out in twips; a pixel is 15 twips.
int Px(int twips) { return (twips + 7) / 15; }
QRect Tw(int x, int y, int w, int h) { return QRect(Px(x), Px(y), Px(w), Px(h)); }

const QColor kCyan(0, 255, 255);
const QColor kLightYellow(255, 255, 192);
const QColor kGreen(0, 255, 0);
const QColor kYellow(255, 255, 0);
const QColor kOrange(255, 128, 0);
const QColor kRed(255, 0, 0);
// Text of a disabled control: plainly greyed, still readable on the
// window's bright colours (the style's own grey is not, on cyan).
const QColor kDisabledText(96, 96, 96);

QFont SansFont(bool bold) {
  QFont f(QStringLiteral("Liberation Sans"));
  f.setStyleHint(QFont::SansSerif);
  f.setPointSizeF(8.25);
  f.setBold(bold);
  return f;
}

QFont MonoFont() {
  // Courier New where it is installed, else its metric twin.
  QFont f;
  f.setFamilies({QStringLiteral("Courier New"), QStringLiteral("Liberation Mono")});
  f.setStyleHint(QFont::Monospace);
  f.setFixedPitch(true);
  f.setPointSizeF(8.25);
  f.setBold(false);
  return f;
}

void SetBackground(QWidget* w, QPalette::ColorRole role, const QColor& c) {
  QPalette p = w->palette();
  p.setColor(role, c);
  w->setPalette(p);
}

void SetColour(QWidget* w, QPalette::ColorGroup group, QPalette::ColorRole role, const QColor& c) {
  QPalette p = w->palette();
  p.setColor(group, role, c);
  w->setPalette(p);
}

QLabel* MakeCaption(QWidget* parent, const QString& text, const QRect& geometry, const char* name) {
  auto* l = new QLabel(text, parent);
  l->setTextFormat(Qt::PlainText);
  l->setObjectName(QLatin1String(name));
  l->setGeometry(geometry);
  l->setFont(SansFont(true));
  l->setAutoFillBackground(true);
  QPalette p = l->palette();
  p.setColor(QPalette::Window, QApplication::palette().color(QPalette::ToolTipBase));
  p.setColor(QPalette::WindowText, QApplication::palette().color(QPalette::WindowText));
  l->setPalette(p);
  l->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  return l;
}

NumberLabel* MakeValueLabel(QWidget* parent, const QRect& geometry, const char* name) {
  auto* l = new NumberLabel(parent);
  l->setTextFormat(Qt::PlainText);
  l->setObjectName(QLatin1String(name));
  l->setGeometry(geometry);
  l->setBaseFont(SansFont(true));
  l->setAutoFillBackground(true);
  SetBackground(l, QPalette::Window, kLightYellow);
  l->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  return l;
}

// A box for a number (or, with `path`, a file name box).
QLineEdit* MakeBox(QWidget* parent, const QRect& geometry, const QColor& colour, const QString& name,
                   bool path = false) {
  QLineEdit* e = path ? new PathBox(parent) : new QLineEdit(parent);
  e->setObjectName(name);
  e->setGeometry(geometry);
  e->setFont(SansFont(false));
  SetBackground(e, QPalette::Base, colour);
  e->setTextMargins(0, 0, 0, 0);
  // Text dropped in would change a box without it gaining or losing the
  // focus, past the checks made when it is left.
  e->setAcceptDrops(false);
  QPalette p = e->palette();
  p.setColor(QPalette::Disabled, QPalette::Text, kDisabledText);
  e->setPalette(p);
  // A number is always shown whole, in a smaller font where it must be.
  if (!path) KeepTextWhole(e);
  return e;
}

QStyle* WindowStyle() {
  static MainWindowStyle* style = [] {
    auto* s = new MainWindowStyle();
    s->setParent(qApp);
    return s;
  }();
  return style;
}

QPushButton* MakeButton(QWidget* parent, const QString& text, const QRect& geometry, const QColor& face,
                        bool bold, const QString& name) {
  auto* b = new QPushButton(text, parent);
  b->setStyle(WindowStyle());
  b->setObjectName(name);
  b->setGeometry(geometry);
  b->setFont(SansFont(bold));
  b->setAutoDefault(false);
  b->setDefault(false);
  QPalette p = b->palette();
  p.setColor(QPalette::Button, face);
  p.setColor(QPalette::Active, QPalette::ButtonText, Qt::black);
  p.setColor(QPalette::Inactive, QPalette::ButtonText, Qt::black);
  // A disabled button keeps its face but greys its caption.
  p.setColor(QPalette::Disabled, QPalette::ButtonText, kDisabledText);
  b->setPalette(p);
  return b;
}

QGroupBox* MakeFrame(QWidget* parent, const QString& title, const QRect& geometry, bool bold, const char* name) {
  auto* g = new QGroupBox(title, parent);
  g->setObjectName(QLatin1String(name));
  g->setGeometry(geometry);
  g->setFont(SansFont(bold));
  g->setAutoFillBackground(true);
  SetBackground(g, QPalette::Window, kCyan);
  SetColour(g, QPalette::Disabled, QPalette::WindowText, kDisabledText);
  return g;
}

QCheckBox* MakeCheck(QWidget* parent, const QString& text, const QRect& geometry, const QColor& colour,
                     const QString& name) {
  auto* c = new QCheckBox(text, parent);
  c->setObjectName(name);
  c->setGeometry(geometry);
  c->setFont(SansFont(false));
  // A check box fills its background with the button role unless told.
  c->setBackgroundRole(QPalette::Window);
  c->setAutoFillBackground(true);
  SetBackground(c, QPalette::Window, colour);
  SetColour(c, QPalette::Disabled, QPalette::WindowText, kDisabledText);
  return c;
}

QString Name(const char* base, int k) { return QStringLiteral("%1_%2").arg(QLatin1String(base)).arg(k); }

// Puts a text into a box showing its beginning.
void SetBoxText(QLineEdit* box, const QString& text) {
  box->setText(text);
  box->setCursorPosition(0);
}

// The variable's name above its settings; a long one ends in an ellipsis.
void SetVarCaption(QLabel* caption, const QString& name) { static_cast<ElidedLabel*>(caption)->setFullText(name); }

QString NumQ(double value) { return QString::fromStdString(NumberText(value)); }
QString IntQ(std::int64_t value) { return QString::fromStdString(IntegerText(value)); }

// The lines of the results list, made from the model when painted.
class ResultLinesSource : public LineSource {
 public:
  explicit ResultLinesSource(const Dimension& model) : lines_(model) {}
  std::int64_t count() const override { return lines_.count(); }
  std::string line(std::int64_t i) const override { return lines_.line(i); }

 private:
  ResultLines lines_;
};

// The widget that a mouse press on `w` gives the focus to, by the rule the
// toolkit applies: the first enabled widget from `w` up that takes the focus
// by click, stopping at the window or at a widget that has the focus.
QWidget* ClickFocusTaker(QWidget* w) {
  for (QWidget* f = w; f; f = f->parentWidget()) {
    QWidget* proxy = f;
    while (proxy->focusProxy()) proxy = proxy->focusProxy();
    if (f->isEnabled() && (f->focusPolicy() & Qt::ClickFocus) == Qt::ClickFocus &&
        (proxy->focusPolicy() & Qt::ClickFocus) == Qt::ClickFocus)
      return f;
    if (f->isWindow() || proxy->hasFocus()) break;
  }
  return nullptr;
}

bool IsUserInput(QEvent::Type type) {
  switch (type) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::Wheel:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::Shortcut:
    case QEvent::ShortcutOverride:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
      return true;
    default:
      return false;
  }
}

bool IsGridBoxReason(Qt::FocusReason reason) {
  return reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason;
}

// The whole text (blanks around it aside) is a number: sign, digits with a
// point, exponent. Gives its value.
bool NumericText(const QString& text, double& value) {
  const std::optional<double> number = WholeTextNumber(text.toStdString());
  if (number) value = *number;
  return number.has_value();
}

}  // namespace

std::array<QWidget*, 13> FrmTabulor::ControlSet::members() const {
  return {txtUL, txtLL, lblVar, txtTerms, txtExpansion, txtPeriod, chkPower,
          txtLLgrid, txtULgrid, txtGridPoints, txtDer, chkSpaced, cmdEditVars};
}

FrmTabulor::FrmTabulor(Dimension& model, QWidget* parent)
    : QMainWindow(parent),
      model_(model),
      evaluation_(model, [this](Dimension& m, const ProgressFn& p) { return computeFunction(m, p); }) {
  InitHelpResource();
  computeFunction = [](Dimension& m, const ProgressFn& p) { return Compute(m, p); };
  setWindowTitle(QStringLiteral("Mixed Series Evaluations"));
  setFont(SansFont(false));
  SetBackground(this, QPalette::Window, kCyan);
  setAutoFillBackground(true);
  BuildLayout();
  BuildMenus();
  sets_.push_back(CreateSet(0));
  SetTabOrder();

  // Form_Load.
  model_.Pi = 4.0 * std::atan(1.0);
  mnuSave->setEnabled(false);
  mnuSaveAs->setEnabled(false);
  mnuOpen->setEnabled(false);
  mnuPrint->setEnabled(false);
  mnuPlot->setEnabled(false);
  mnuAbout->setVisible(false);
  shown_var_ = 1;

  const int menu_height = menuBar()->sizeHint().height();
  setFixedSize(Px(9480), Px(6510) + menu_height);
  qApp->installEventFilter(this);
  cmdExit->setFocus(Qt::OtherFocusReason);
}

FrmTabulor::~FrmTabulor() {
  qApp->removeEventFilter(this);
  delete about_.data();
  delete help_.data();
  delete vars_.data();
}

void FrmTabulor::BuildLayout() {
  auto* c = new QWidget(this);
  c->setObjectName(QStringLiteral("client"));
  c->setFixedSize(Px(9480), Px(6510));
  setCentralWidget(c);

  lblSerFilename = MakeCaption(c, QStringLiteral("Series file name:"), Tw(0, 0, 1500, 285), "lblSerFilename");
  txtSerFileName = MakeBox(c, Tw(1470, 0, 630, 285), kGreen, QStringLiteral("txtSerFileName"), true);
  lblGrdFilename = MakeCaption(c, QStringLiteral("Grid file name:"), Tw(0, 300, 1500, 285), "lblGrdFilename");
  txtGrdFileName = MakeBox(c, Tw(1470, 300, 630, 285), kGreen, QStringLiteral("txtGrdFileName"), true);
  for (QLineEdit* e : {txtSerFileName, txtGrdFileName}) {
    e->setReadOnly(true);
    e->setCursor(Qt::PointingHandCursor);
  }
  lblOrd = MakeCaption(c, QStringLiteral("# of variables:"), Tw(0, 600, 1500, 285), "lblOrd");
  lblOrder = MakeValueLabel(c, Tw(1470, 600, 630, 285), "lblOrder");
  lblCoeffOrGrid = MakeCaption(c, QStringLiteral("# of coefficients:"), Tw(0, 900, 1500, 285), "lblCoeffOrGrid");
  lblCoeffs = MakeValueLabel(c, Tw(1470, 900, 630, 285), "lblCoeffs");
  lblGridPoint = MakeCaption(c, QStringLiteral("# of grid points:"), Tw(0, 1200, 1500, 285), "lblGridPoint");
  lblGridPoints = MakeValueLabel(c, Tw(1470, 1200, 630, 285), "lblGridPoints");

  cmdCompute = MakeButton(c, QStringLiteral("Compute"), Tw(0, 1830, 1050, 240), kOrange, false,
                          QStringLiteral("cmdCompute"));
  cmdCompute->setEnabled(false);
  cmdExit = MakeButton(c, QStringLiteral("E&xit"), Tw(9030, 0, 450, 285), kRed, true, QStringLiteral("cmdExit"));

  lstCoeff = new ResultsList(c);
  lstCoeff->setObjectName(QStringLiteral("lstCoeff"));
  lstCoeff->setGeometry(Tw(0, 2070, 9495, 4440));
  lstCoeff->setFont(MonoFont());
  lstCoeff->setToolTip(QStringLiteral("Results"));
  SetBackground(lstCoeff->viewport(), QPalette::Base, kYellow);
  SetBackground(lstCoeff->viewport(), QPalette::Window, kYellow);
  // The scroll bars' thumb stands out dark on a light groove.
  for (QScrollBar* bar : {lstCoeff->verticalScrollBar(), lstCoeff->horizontalScrollBar()}) bar->setStyle(WindowStyle());

  fraVarSpecs = MakeFrame(c, QStringLiteral("Specifications for each variable"), Tw(2130, 0, 6915, 2100), true,
                          "fraVarSpecs");
  fraVarSpecs->setEnabled(false);
  lblVariable = new QLabel(QStringLiteral("Variable:"), fraVarSpecs);
  lblVariable->setObjectName(QStringLiteral("lblVariable"));
  lblVariable->setGeometry(Tw(3060, 105, 780, 195));
  lblVariable->setFont(SansFont(true));
  {
    QPalette p = lblVariable->palette();
    p.setColor(QPalette::WindowText, kRed);
    p.setColor(QPalette::Window, kCyan);
    lblVariable->setPalette(p);
  }
  fraSerSpecs = MakeFrame(fraVarSpecs, QStringLiteral("Series details"), Tw(15, 285, 6855, 825), true, "fraSerSpecs");
  fraSerSpecs->setEnabled(false);
  cmdPrevVar = MakeButton(fraVarSpecs, QStringLiteral("Previous"), Tw(2610, 1110, 800, 225), kOrange, false,
                          QStringLiteral("cmdPrevVar"));
  cmdNextVar = MakeButton(fraVarSpecs, QStringLiteral("Next"), Tw(3420, 1110, 800, 225), kOrange, false,
                          QStringLiteral("cmdNextVar"));
  fraGrdSpecs = MakeFrame(fraVarSpecs, QStringLiteral("Grid specifications"), Tw(15, 1245, 6855, 825), true,
                          "fraGrdSpecs");

  lblLL = MakeCaption(fraSerSpecs, QStringLiteral("Lower limit:"), Tw(0, 210, 1020, 285), "lblLL");
  lblUL = MakeCaption(fraSerSpecs, QStringLiteral("Upper limit:"), Tw(0, 510, 1020, 285), "lblUL");
  lblExpansion = MakeCaption(fraSerSpecs, QStringLiteral("Center of expansion:"), Tw(2250, 210, 1770, 285),
                             "lblExpansion");
  lblPeriod = MakeCaption(fraSerSpecs, QStringLiteral("Period:"), Tw(2250, 510, 1770, 285), "lblPeriod");
  lblTerms = MakeCaption(fraSerSpecs, QStringLiteral("# of terms:"), Tw(5415, 510, 975, 285), "lblTerms");
  fraType = MakeFrame(fraSerSpecs, QStringLiteral("Type"), Tw(5415, 0, 1380, 495), false, "fraType");

  lblLLgrid = MakeCaption(fraGrdSpecs, QStringLiteral("Lower limit:"), Tw(0, 210, 1020, 285), "lblLLgrid");
  lblULgrid = MakeCaption(fraGrdSpecs, QStringLiteral("Upper limit:"), Tw(0, 510, 1020, 285), "lblULgrid");
  lblGirdPoints = MakeCaption(fraGrdSpecs, QStringLiteral("# of grid points:"), Tw(2250, 210, 2550, 285),
                              "lblGirdPoints");
  lblDer = MakeCaption(fraGrdSpecs, QStringLiteral("Derivative w.r.t. this variable:"), Tw(2250, 510, 2550, 285),
                       "lblDer");
  FraSpaced = MakeFrame(fraGrdSpecs, QStringLiteral("Evenly spaced"), Tw(5415, 0, 1380, 495), false, "FraSpaced");

  // The buttons reach into the grid frame's top edge: keep them above it.
  cmdPrevVar->raise();
  cmdNextVar->raise();

  connect(cmdCompute, &QPushButton::clicked, this, &FrmTabulor::cmdCompute_Click);
  connect(cmdExit, &QPushButton::clicked, this, &FrmTabulor::cmdExit_Click);
  connect(cmdNextVar, &QPushButton::clicked, this, &FrmTabulor::cmdNextVar_Click);
  connect(cmdPrevVar, &QPushButton::clicked, this, &FrmTabulor::cmdPrevVar_Click);
}

void FrmTabulor::BuildMenus() {
  QMenuBar* bar = menuBar();
  bar->setFont(SansFont(false));
  mnuFile = bar->addMenu(QStringLiteral("File"));
  mnuFile->setObjectName(QStringLiteral("mnuFile"));
  mnuOpen = mnuFile->addAction(QStringLiteral("Open"));
  mnuOpen->setObjectName(QStringLiteral("mnuOpen"));
  mnuFileBar1 = mnuFile->addSeparator();
  mnuSave = mnuFile->addAction(QStringLiteral("Save"));
  mnuSave->setObjectName(QStringLiteral("mnuSave"));
  mnuSaveAs = mnuFile->addAction(QStringLiteral("Save As"));
  mnuSaveAs->setObjectName(QStringLiteral("mnuSaveAs"));
  mnuFileBar2 = mnuFile->addSeparator();
  mnuPrint = bar->addAction(QStringLiteral("Print"));
  mnuPrint->setObjectName(QStringLiteral("mnuPrint"));
  mnuPlot = bar->addAction(QStringLiteral("Plot"));
  mnuPlot->setObjectName(QStringLiteral("mnuPlot"));
  mnuHelp = bar->addAction(QStringLiteral("Help"));
  mnuHelp->setObjectName(QStringLiteral("mnuHelp"));
  mnuAbout = bar->addAction(QStringLiteral("About"));
  mnuAbout->setObjectName(QStringLiteral("mnuAbout"));
  connect(mnuSave, &QAction::triggered, this, &FrmTabulor::mnuSave_Click);
  connect(mnuSaveAs, &QAction::triggered, this, &FrmTabulor::mnuSaveAs_Click);
  connect(mnuPrint, &QAction::triggered, this, &FrmTabulor::mnuPrint_Click);
  connect(mnuPlot, &QAction::triggered, this, &FrmTabulor::mnuPlot_Click);
  connect(mnuHelp, &QAction::triggered, this, &FrmTabulor::mnuHelp_Click);
  connect(mnuAbout, &QAction::triggered, this, &FrmTabulor::mnuAbout_Click);
}

FrmTabulor::ControlSet FrmTabulor::CreateSet(int k) {
  ControlSet s;
  s.txtUL = MakeBox(fraSerSpecs, Tw(1020, 510, 1200, 285), kLightYellow, Name("txtUL", k));
  s.txtLL = MakeBox(fraSerSpecs, Tw(1020, 210, 1200, 285), kLightYellow, Name("txtLL", k));
  s.lblVar = new ElidedLabel(fraVarSpecs);
  s.lblVar->setTextFormat(Qt::PlainText);  // a name from a file, shown as written
  s.lblVar->setObjectName(Name("lblVar", k));
  s.lblVar->setGeometry(Tw(3840, 105, 2700, 195));
  s.lblVar->setFont(SansFont(true));
  {
    QPalette p = s.lblVar->palette();
    p.setColor(QPalette::WindowText, kRed);
    p.setColor(QPalette::Window, kCyan);
    s.lblVar->setPalette(p);
  }
  s.txtTerms = MakeBox(fraSerSpecs, Tw(6390, 510, 400, 285), kLightYellow, Name("txtTerms", k));
  s.txtExpansion = MakeBox(fraSerSpecs, Tw(4020, 210, 1365, 285), kLightYellow, Name("txtExpansion", k));
  s.txtExpansion->setToolTip(QStringLiteral("\"*\" means center of interval"));
  s.txtPeriod = MakeBox(fraSerSpecs, Tw(4020, 510, 1365, 285), kLightYellow, Name("txtPeriod", k));
  s.txtPeriod->setToolTip(QStringLiteral("\"*\" means 2\u03C0"));
  s.chkPower = MakeCheck(fraType, QStringLiteral("Power"), Tw(150, 210, 1110, 255), kLightYellow, Name("chkPower", k));
  s.chkPower->setToolTip(QStringLiteral("Unchecked means Trigonometric"));
  s.txtLLgrid = MakeBox(fraGrdSpecs, Tw(1020, 210, 1200, 285), kGreen, Name("txtLLgrid", k));
  s.txtULgrid = MakeBox(fraGrdSpecs, Tw(1020, 510, 1200, 285), kGreen, Name("txtULgrid", k));
  s.txtGridPoints = MakeBox(fraGrdSpecs, Tw(4800, 210, 585, 285), kGreen, Name("txtGridPoints", k));
  s.txtDer = MakeBox(fraGrdSpecs, Tw(4800, 510, 585, 285), kGreen, Name("txtDer", k));
  s.chkSpaced = MakeCheck(FraSpaced, QStringLiteral("Yes"), Tw(150, 210, 1110, 255), kGreen, Name("chkSpaced", k));
  s.chkSpaced->setToolTip(QStringLiteral("Uncheck for unevenly spaced grid"));
  s.cmdEditVars = MakeButton(fraGrdSpecs, QStringLiteral("Edit"), Tw(5430, 525, 1050, 240), kOrange, false,
                             Name("cmdEditVars", k));

  if (k == 0) {
    s.txtLLgrid->setText(QStringLiteral("-1"));
    s.txtULgrid->setText(QStringLiteral("1"));
    s.txtGridPoints->setText(QStringLiteral("2"));
    s.txtDer->setText(QStringLiteral("0"));
    s.chkPower->setChecked(true);
    s.chkSpaced->setChecked(true);
    s.cmdEditVars->setEnabled(false);
  } else {
    // A copy of set 0 as it stands, lying on top of it, hidden.
    const ControlSet& z = sets_.front();
    for (auto [to, from] : {std::pair{s.txtUL, z.txtUL}, {s.txtLL, z.txtLL}, {s.txtTerms, z.txtTerms},
                            {s.txtExpansion, z.txtExpansion}, {s.txtPeriod, z.txtPeriod},
                            {s.txtLLgrid, z.txtLLgrid}, {s.txtULgrid, z.txtULgrid},
                            {s.txtGridPoints, z.txtGridPoints}, {s.txtDer, z.txtDer}}) {
      to->setText(from->text());
      to->setToolTip(from->toolTip());
      to->setEnabled(!from->testAttribute(Qt::WA_ForceDisabled));
    }
    SetVarCaption(s.lblVar, z.lblVar->text());
    s.chkPower->setChecked(z.chkPower->isChecked());
    s.chkSpaced->setChecked(z.chkSpaced->isChecked());
    s.cmdEditVars->setEnabled(!z.cmdEditVars->testAttribute(Qt::WA_ForceDisabled));
    for (QWidget* w : s.members()) w->hide();
  }

  for (QLineEdit* e : {s.txtLLgrid, s.txtULgrid, s.txtGridPoints, s.txtDer}) e->installEventFilter(this);
  connect(s.chkSpaced, &QCheckBox::toggled, this, [this, k] { chkSpaced_Click(k); });
  connect(s.cmdEditVars, &QPushButton::clicked, this, [this, k] { cmdEditVars_Click(k); });
  return s;
}

void FrmTabulor::SetTabOrder() {
  std::vector<QWidget*> order{cmdExit, txtSerFileName, txtGrdFileName};
  for (const ControlSet& s : sets_)
    for (QWidget* w : {static_cast<QWidget*>(s.txtLLgrid), static_cast<QWidget*>(s.txtULgrid),
                       static_cast<QWidget*>(s.txtGridPoints), static_cast<QWidget*>(s.txtDer),
                       static_cast<QWidget*>(s.chkSpaced)})
      order.push_back(w);
  order.push_back(cmdCompute);
  order.push_back(lstCoeff);
  order.push_back(cmdPrevVar);
  order.push_back(cmdNextVar);
  for (const ControlSet& s : sets_) order.push_back(s.cmdEditVars);
  for (std::size_t i = 1; i < order.size(); ++i) QWidget::setTabOrder(order[i - 1], order[i]);
}

std::optional<FrmTabulor::BoxRef> FrmTabulor::FindBox(const QObject* object) const {
  for (std::size_t k = 0; k < sets_.size(); ++k) {
    const ControlSet& s = sets_[k];
    const int kk = static_cast<int>(k);
    if (object == s.txtLLgrid) return BoxRef{BoxKind::LLgrid, kk};
    if (object == s.txtULgrid) return BoxRef{BoxKind::ULgrid, kk};
    if (object == s.txtGridPoints) return BoxRef{BoxKind::GridPoints, kk};
    if (object == s.txtDer) return BoxRef{BoxKind::Der, kk};
  }
  return std::nullopt;
}

// ---------------------------------------------------------------------------
// Control sets and what the window shows.

void FrmTabulor::LoadObjects() {
  if (sets_.size() > 1) return;  // made once a run
  const int last = std::clamp(model_.LastVar, 0, kSlots - 1);
  for (int k = 1; k <= last; ++k) sets_.push_back(CreateSet(k));
  loading_objects_ = true;
  for (int k = 0; k <= last; ++k) {
    sets_[k].chkPower->setChecked(true);
    sets_[k].chkSpaced->setChecked(true);
    sets_[k].cmdEditVars->setEnabled(false);
  }
  loading_objects_ = false;
  SetTabOrder();
  shown_var_ = 1;
}

void FrmTabulor::SetDisplayedSpecs() {
  const Dimension& m = model_;
  for (int k = 0; k <= m.LastVar && k < controlSetCount(); ++k) {
    const ControlSet& s = sets_[k];
    SetVarCaption(s.lblVar, ToQ(m.VarName[k]));
    SetBoxText(s.txtLL, NumQ(m.LowerLimit[k]));
    SetBoxText(s.txtLLgrid, NumQ(m.LowerLimit[k]));
    SetBoxText(s.txtUL, NumQ(m.UpperLimit[k]));
    SetBoxText(s.txtULgrid, NumQ(m.UpperLimit[k]));
    SetBoxText(s.txtTerms, IntQ(static_cast<std::int64_t>(m.LastTerm[k]) + 1));
    SetBoxText(s.txtGridPoints, IntQ(static_cast<std::int64_t>(m.LastTerm[k]) + 1));
    SetBoxText(s.txtExpansion, ToQ(m.CenterText[k]));
    SetBoxText(s.txtPeriod, ToQ(m.PeriodText[k]));
    s.chkPower->setChecked(m.IsPower[k]);
    s.chkSpaced->setChecked(m.EvenlySpaced[k]);
    chkSpaced_Click(k);
  }
  ShowFileCounts(m.TermProduct(), lblCoeffs, txtSerFileName, m.FileName);
  // The grid values the series' grids start with count as entered.
  for (int k = 0; k < kSlots; ++k) entered_[k].assign(m.GridX[k].size(), 1);
}

void FrmTabulor::ShowFileName(QLineEdit* box, const std::string& path) {
  box->setText(PathToQ(path));
  box->setToolTip(PlainToolTip(PathToQ(path)));
}

void FrmTabulor::ShowFileCounts(std::int64_t total, QLabel* count, QLineEdit* name, const std::string& path) {
  const Dimension& m = model_;
  static_cast<NumberLabel*>(lblOrder)->setNumberText(IntQ(static_cast<std::int64_t>(m.LastVar) + 1));
  model_.TotalCount = static_cast<std::int32_t>(std::max<std::int64_t>(total, 0));
  static_cast<NumberLabel*>(count)->setNumberText(IntQ(total));
  ShowFileName(name, path);
  txtSerFileName->setEnabled(false);
  txtGrdFileName->setEnabled(false);
  fraVarSpecs->setEnabled(true);
}

void FrmTabulor::SetDisplayedSpecsGrid() {
  const Dimension& m = model_;
  for (int k = 0; k <= m.LastVar && k < controlSetCount(); ++k) {
    const ControlSet& s = sets_[k];
    SetVarCaption(s.lblVar, ToQ(m.VarName[k]));
    SetBoxText(s.txtLLgrid, NumQ(m.LowerLimit[k]));
    SetBoxText(s.txtULgrid, NumQ(m.UpperLimit[k]));
    SetBoxText(s.txtGridPoints, IntQ(static_cast<std::int64_t>(m.LastPoint[k]) + 1));
    SetBoxText(s.txtDer, IntQ(m.DerOrder[k]));
    s.chkSpaced->setChecked(m.EvenlySpaced[k]);
    chkSpaced_Click(k);
  }
  // The box names the file that was read.
  ShowFileCounts(m.PointProduct(), lblGridPoints, txtGrdFileName, GridFilePath(m.FileName));
  fraSerSpecs->hide();
  for (int k = 0; k <= m.LastVar && k < controlSetCount(); ++k) sets_[k].cmdEditVars->hide();
}

void FrmTabulor::EditLimit(int LL) {
  if (LL < 0 || LL >= controlSetCount()) return;
  for (const ControlSet& s : sets_)
    for (QWidget* w : s.members()) w->hide();
  const ControlSet& shown = sets_[LL];
  for (QWidget* w : shown.members()) w->show();
  SetVarCaption(shown.lblVar, ToQ(model_.VarName[LL]));
  if (fraGrdSpecs->isEnabled()) shown.txtLLgrid->setFocus(Qt::OtherFocusReason);
}

void FrmTabulor::cmdNextVar_Click() {
  const int count = model_.LastVar + 1;
  shown_var_ = shown_var_ >= count ? 1 : shown_var_ + 1;
  EditLimit(shown_var_ - 1);
}

void FrmTabulor::cmdPrevVar_Click() {
  const int count = model_.LastVar + 1;
  shown_var_ = shown_var_ <= 1 ? count : shown_var_ - 1;
  EditLimit(shown_var_ - 1);
}

void FrmTabulor::chkSpaced_Click(int k) {
  if (k < 0 || k >= controlSetCount()) return;
  const bool checked = sets_[k].chkSpaced->isChecked();
  sets_[k].cmdEditVars->setEnabled(!checked);
  if (!loading_objects_ && k < kSlots) model_.EvenlySpaced[k] = checked;
}

// ---------------------------------------------------------------------------
// Grid entry: focus actions and checks.

QString FrmTabulor::Refusal(const QLineEdit* box, const BoxRef& ref) const {
  double value = 0;
  QString why;
  const bool numeric = NumericText(box->text(), value);
  if (ref.kind == BoxKind::Der) return why;
  if (!numeric) {
    why = QStringLiteral("Type a number, such as 2.5 or -1E-3.");
  } else if (ref.kind == BoxKind::GridPoints) {
    const bool single_term = model_.LastTerm[ref.k] == 0;
    std::int32_t last = 0;
    switch (CheckGridPoints(value, single_term, last)) {
      case GridPointsCheck::TooFew:
        why = QStringLiteral("The number of grid points must be %1 or more.").arg(MinGridPoints(single_term));
        break;
      case GridPointsCheck::TooMany:
        why = QStringLiteral("The number of grid points must be at most %1.").arg(IntQ(kMaxCount));
        break;
      case GridPointsCheck::Ok:
        if (auto too_big = CheckDoublesFit(static_cast<std::uint64_t>(last) + 1,
                                           CapitalVariableLabel(model_, ref.k) + ": the grid"))
          why = QString::fromStdString(*too_big) + QStringLiteral(".");
        break;
    }
  }
  return why;
}

bool FrmTabulor::ValidateBox(QLineEdit* box, const BoxRef& ref) {
  const QString why = Refusal(box, ref);
  if (why.isEmpty()) {
    if (box->property("refusal").toBool()) {
      box->setToolTip(QString());
      box->setProperty("refusal", false);
    }
    return true;
  }
  box->setToolTip(why);
  box->setProperty("refusal", true);
  double value = 0;
  std::int32_t last = 0;
  if (ref.kind == BoxKind::GridPoints && NumericText(box->text(), value) &&
      CheckGridPoints(value, model_.LastTerm[ref.k] == 0, last) != GridPointsCheck::TooFew)
    QToolTip::showText(box->mapToGlobal(QPoint(0, box->height())), why, box);
  return false;
}

void FrmTabulor::DiscardRefusedText() {
  for (const ControlSet& s : sets_)
    for (QLineEdit* box : {s.txtLLgrid, s.txtULgrid, s.txtGridPoints, s.txtDer}) {
      const std::optional<BoxRef> ref = FindBox(box);
      if (!ref || Refusal(box, *ref).isEmpty()) continue;
      const QVariant accepted = box->property("acceptedText");
      if (accepted.isValid()) box->setText(accepted.toString());
      box->setToolTip(QString());
      box->setProperty("refusal", false);
    }
}

bool FrmTabulor::FocusedBoxAcceptable() {
  auto* box = qobject_cast<QLineEdit*>(QApplication::focusWidget());
  if (!box || box->window() != this) return true;
  const std::optional<BoxRef> ref = FindBox(box);
  return !ref || ValidateBox(box, *ref);
}

bool FrmTabulor::AllowFocusMove(QWidget* target) {
  QWidget* focus = QApplication::focusWidget();
  if (!focus || focus->window() != this || !FindBox(focus)) return true;
  // "Exit" always ends the program, whatever a box holds.
  if (target == cmdExit && cmdExit->isEnabled()) return true;
  QWidget* taker = target ? ClickFocusTaker(target) : nullptr;
  const bool button = target && target->isEnabled() && qobject_cast<QAbstractButton*>(target);
  if (taker == focus || (!taker && !button)) return true;
  return FocusedBoxAcceptable();
}

void FrmTabulor::BoxGotFocus(QLineEdit* box, const BoxRef& ref) {
  // What the box holds when the focus arrives has passed its check (or is
  // the text it was given): a refused text is put back to it on Exit.
  if (!box->property("refusal").toBool()) box->setProperty("acceptedText", box->text());
  box->selectAll();
  if (ref.kind == BoxKind::GridPoints) {
    model_.CurVar = ref.k;
    saved_last_point_ = model_.LastPoint[ref.k];
  }
}

void FrmTabulor::txtGridPoints_LostFocus(int k) {
  QLineEdit* box = sets_[k].txtGridPoints;
  double value = 0;
  std::int32_t last = 0;
  // Only a text the check lets pass changes the grid.
  if (!NumericText(box->text(), value) ||
      CheckGridPoints(value, model_.LastTerm[k] == 0, last) != GridPointsCheck::Ok)
    return;
  model_.CurVar = k;
  const std::int32_t before = model_.LastPoint[k];
  model_.LastPoint[k] = last;
  if (last != saved_last_point_) {
    try {
      model_.ResizeCurrentGrid();
      // Points added to the grid hold 0 until they are entered.
      entered_[k].resize(model_.GridX[k].size(), 0);
    } catch (const std::bad_alloc&) {
      model_.LastPoint[k] = before;
      box->setText(IntQ(static_cast<std::int64_t>(before) + 1));
      ShowError(QStringLiteral("There is not enough memory for %1 grid points of %2.")
                    .arg(IntQ(static_cast<std::int64_t>(last) + 1), ToQ(VariableLabel(model_, k))));
    }
  }
}

bool FrmTabulor::eventFilter(QObject* watched, QEvent* event) {
  if (computing_ && IsUserInput(event->type())) {
    // While the computation runs the window takes no input.
    if (watched == windowHandle()) return true;
    if (auto* w = qobject_cast<QWidget*>(watched); w && w->window() == this) return true;
  }
  switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick: {
      auto* me = static_cast<QMouseEvent*>(event);
      QWindow* handle = windowHandle();
      if (handle && watched == handle) {
        // A press on this window, before the toolkit moves the focus.
        if (!isEnabled()) break;
        QWidget* target = childAt(me->position().toPoint());
        if (!AllowFocusMove(target ? target : this)) return true;
        break;
      }
      if (watched == select_on_press_) {
        // The press that gave the box the focus selects its whole text.
        select_on_press_ = nullptr;
        if (me->button() == Qt::LeftButton) {
          static_cast<QLineEdit*>(watched)->selectAll();
          return true;
        }
      }
      break;
    }
    case QEvent::MouseButtonRelease: {
      auto* me = static_cast<QMouseEvent*>(event);
      if (me->button() != Qt::LeftButton) break;
      if (watched == txtSerFileName && txtSerFileName->isEnabled() &&
          txtSerFileName->rect().contains(me->position().toPoint())) {
        txtSerFileName_Click();
        return true;
      }
      if (watched == txtGrdFileName && txtGrdFileName->isEnabled() &&
          txtGrdFileName->rect().contains(me->position().toPoint())) {
        txtGrdFileName_Click();
        return true;
      }
      break;
    }
    case QEvent::KeyPress: {
      auto* ke = static_cast<QKeyEvent*>(event);
      // Enter or Space on a file name box opens, as a click does.
      const bool press = (ke->key() == Qt::Key_Return || ke->key() == Qt::Key_Enter || ke->key() == Qt::Key_Space) &&
                         !(ke->modifiers() & ~Qt::KeypadModifier);
      if (press && watched == txtSerFileName && txtSerFileName->isEnabled()) {
        txtSerFileName_Click();
        return true;
      }
      if (press && watched == txtGrdFileName && txtGrdFileName->isEnabled()) {
        txtGrdFileName_Click();
        return true;
      }
      if ((ke->key() == Qt::Key_Tab || ke->key() == Qt::Key_Backtab) &&
          !(ke->modifiers() & (Qt::ControlModifier | Qt::AltModifier)) && watched == QApplication::focusWidget() &&
          FindBox(watched) && !FocusedBoxAcceptable())
        return true;
      break;
    }
    case QEvent::Shortcut: {
      auto* w = qobject_cast<QWidget*>(watched);
      if (w && w->window() == this && w != QApplication::focusWidget() && w != cmdExit && !FocusedBoxAcceptable())
        return true;
      break;
    }
    case QEvent::FocusIn: {
      const auto reason = static_cast<QFocusEvent*>(event)->reason();
      // The focus coming back with the window is no new arrival, unless the
      // box got it while the window was inactive.
      auto* box = qobject_cast<QLineEdit*>(watched);
      if (const auto ref = FindBox(watched); ref && (IsGridBoxReason(reason) || entered_box_ != box)) {
        BoxGotFocus(box, *ref);
        if (reason == Qt::MouseFocusReason) select_on_press_ = box;
      }
      if (FindBox(watched)) entered_box_ = box;
      break;
    }
    case QEvent::FocusOut: {
      const auto reason = static_cast<QFocusEvent*>(event)->reason();
      if (const auto ref = FindBox(watched); ref && IsGridBoxReason(reason)) {
        entered_box_ = nullptr;
        if (watched == select_on_press_) select_on_press_ = nullptr;
        if (ref->kind == BoxKind::GridPoints) txtGridPoints_LostFocus(ref->k);
        // A box left shows the beginning of its number, not its tail.
        if (auto* box = static_cast<QLineEdit*>(watched); !box->hasFocus()) box->setCursorPosition(0);
      }
      break;
    }
    default:
      break;
  }
  return QMainWindow::eventFilter(watched, event);
}

// ---------------------------------------------------------------------------
// Files.

namespace {

// The window of a long operation: its progress in thousandths, "Cancel",
// modal to the whole program.
QProgressDialog* MakeProgressDialog(QWidget* parent, const QString& label, const QString& name) {
  auto* dialog = new QProgressDialog(label, QStringLiteral("Cancel"), 0, 1000, parent);
  dialog->setObjectName(name);
  dialog->setWindowTitle(ProgramTitle());
  dialog->setWindowModality(Qt::ApplicationModal);
  dialog->setAutoClose(false);
  dialog->setAutoReset(false);
  dialog->setMinimumDuration(0);
  return dialog;
}

// The progress of a long file operation run on the window's thread: a
// window with "Cancel" once it has taken Seams().progressDelayMs; until
// then the window only shows the busy pointer.
class FileProgress {
 public:
  FileProgress(QWidget* parent, QString label) : parent_(parent), label_(std::move(label)) {
    clock_.start();
    QApplication::setOverrideCursor(Qt::WaitCursor);
  }
  ~FileProgress() {
    QApplication::restoreOverrideCursor();
    delete dialog_;
  }
  FileProgress(const FileProgress&) = delete;
  FileProgress& operator=(const FileProgress&) = delete;

  ProgressFn fn() {
    return [this](std::uint64_t done, std::uint64_t total) { return Step(done, total); };
  }
  // True when the user pressed Cancel.
  bool cancelled() const { return cancelled_; }

 private:
  bool Step(std::uint64_t done, std::uint64_t total) {
    if (!dialog_ && clock_.elapsed() >= Seams().progressDelayMs) {
      dialog_ = MakeProgressDialog(parent_, label_, QStringLiteral("fileProgress"));
      dialog_->show();
    }
    if (!dialog_) return true;
    if (total > 0) dialog_->setValue(static_cast<int>(1000.0L * static_cast<long double>(done) / total));
    QCoreApplication::processEvents();
    cancelled_ = dialog_->wasCanceled();
    return !cancelled_;
  }

  QWidget* parent_;
  QString label_;
  QElapsedTimer clock_;
  QProgressDialog* dialog_ = nullptr;
  bool cancelled_ = false;
};

}  // namespace

void FrmTabulor::txtSerFileName_Click() {
  if (state_ != FormState::Start) return;
  const QString name =
      Seams().openFileName(this, QStringLiteral("Series files (*.ser);;All files (*)"));
  if (name.isEmpty()) return;
  model_.Loading = true;
  SeriesReadResult r;
  {
    FileProgress progress(this, QStringLiteral("Reading the series file..."));
    r = evaluation_.OpenSeries(PathFromQ(name), progress.fn());
  }
  if (r.outcome == SeriesReadOutcome::Cancelled) {
    model_.Loading = false;
    return;  // the user's own choice: nothing to tell
  }
  if (r.outcome == SeriesReadOutcome::NoCoefficients) {
    model_.Loading = false;
    Seams().message(this, QMessageBox::NoIcon, ProgramTitle(), QStringLiteral("NO COEFFICIENTS IN FILE."));
    close();
    return;
  }
  if (r.outcome != SeriesReadOutcome::Ok) {
    model_.Loading = false;
    ShowError(QString::fromStdString(r.message));
    return;
  }
  LoadObjects();
  SetDisplayedSpecs();
  mnuAbout->setVisible(true);
  cmdCompute->setEnabled(true);
  model_.Loading = false;
  state_ = FormState::SeriesLoaded;
  sets_[0].txtLLgrid->setFocus(Qt::OtherFocusReason);
}

void FrmTabulor::txtGrdFileName_Click() {
  if (state_ != FormState::Start) return;
  const QString chosen = Seams().openFileName(this, QStringLiteral("Grid files (*.grd);;All files (*)"));
  if (chosen.isEmpty()) return;
  // The file picked is the file read; a name without ".grd" is a base name.
  const std::string name = PathFromQ(chosen);
  model_.Loading = true;
  GridFileResult r;
  bool cancelled = false;
  {
    FileProgress progress(this, QStringLiteral("Reading the grid file..."));
    r = evaluation_.OpenGridFile(name, progress.fn());
    cancelled = progress.cancelled();
  }
  if (!r.ok) {
    model_.Loading = false;
    if (!cancelled) ShowError(QString::fromStdString(r.message));
    return;
  }
  LoadObjects();
  SetDisplayedSpecsGrid();
  ListResults();
  mnuOpen->setEnabled(false);
  EnableResultMenus();
  mnuAbout->setVisible(true);
  // The grid stays as read, so that the results, the grid sizes and the grid
  // values saved again always belong together.
  FreezeGridEntry();
  unsaved_results_ = false;
  state_ = FormState::GridFileShown;
}

void FrmTabulor::mnuSave_Click() {
  if (!mnuSave->isEnabled()) return;
  SaveResults();
}

bool FrmTabulor::SaveResults() {
  if (model_.FileName.empty()) return SaveResultsAs();
  return SaveGridFile(model_.FileName);
}

void FrmTabulor::mnuSaveAs_Click() {
  if (!mnuSaveAs->isEnabled()) return;
  SaveResultsAs();
}

bool FrmTabulor::SaveResultsAs() {
  // The dialog starts in the folder of the file in use, offering its name.
  const QString name =
      Seams().saveFileName(this, QStringLiteral("Grid files (*.grd);;All files (*)"), PathToQ(model_.FileName));
  if (name.isEmpty()) return false;  // nothing chosen: the file name stays
  return SaveGridFile(PathFromQ(name));
}

bool FrmTabulor::SaveGridFile(const std::string& name) {
  GridFileResult r;
  bool cancelled = false;
  {
    FileProgress progress(this, QStringLiteral("Saving the grid file..."));
    r = evaluation_.SaveGridFile(name, progress.fn());
    cancelled = progress.cancelled();
  }
  if (!r.ok) {
    // A cancelled save wrote nothing and keeps the file name, unasked.
    if (!cancelled) ShowError(QString::fromStdString(r.message));
    return false;
  }
  unsaved_results_ = false;
  // Where the results went: the grid file box names the file written.
  ShowFileName(txtGrdFileName, GridFilePath(name));
  return true;
}

ReportPrinter& FrmTabulor::reportPrinter() {
  if (!printer_) printer_ = std::make_unique<ReportPrinter>();
  return *printer_;
}

void FrmTabulor::mnuPrint_Click() {
  if (!mnuPrint->isEnabled()) return;
  const PrintResult r = PrintReport(model_, reportPrinter(), this, printOptions);
  if (!r.message.isEmpty()) ShowError(r.message);
}

void FrmTabulor::mnuPlot_Click() {
  if (!mnuPlot->isEnabled()) return;
  try {
    PlotWindow::Open(model_, this);
  } catch (const std::bad_alloc&) {
    ShowError(QStringLiteral("There is not enough memory to open the plot."));
  }
}

void FrmTabulor::cmdEditVars_Click(int k) {
  if (k < 0 || k >= controlSetCount() || vars_ || !fraGrdSpecs->isEnabled()) return;
  model_.CurVar = k;
  // Modal to this window, which takes no input while the editor is open.
  auto* editor = new FrmVars(model_, k, this);
  editor->setAttribute(Qt::WA_DeleteOnClose);
  connect(editor, &FrmVars::gridPointsChanged, this,
          [this, k](int count) { SetBoxText(sets_[k].txtGridPoints, IntQ(count)); });
  connect(editor, &FrmVars::valueEntered, this, [this, k](int row) {
    auto& entered = entered_[static_cast<std::size_t>(k)];
    if (row < 0) return;
    if (static_cast<std::size_t>(row) >= entered.size()) entered.resize(static_cast<std::size_t>(row) + 1, 0);
    entered[static_cast<std::size_t>(row)] = 1;
  });
  connect(editor, &FrmVars::valueMoved, this, [this, k](int from, int to) {
    auto& entered = entered_[static_cast<std::size_t>(k)];
    const auto f = static_cast<std::size_t>(from), t = static_cast<std::size_t>(to);
    if (to < 0 || from < 0) return;
    if (t >= entered.size()) entered.resize(t + 1, 0);
    entered[t] = f < entered.size() ? entered[f] : 0;
  });
  vars_ = editor;
  editor->open();
}

// ---------------------------------------------------------------------------
// The computation and the results list.

namespace {

// "4", "4 and 5", "2, 4 to 9 and 12": one-based numbers, runs of three or
// more joined by "to"; past a few items the rest are counted.
QString NumberList(const std::vector<std::int64_t>& numbers, int& items) {
  QStringList parts;
  std::size_t i = 0;
  while (i < numbers.size()) {
    std::size_t j = i;
    while (j + 1 < numbers.size() && numbers[j + 1] == numbers[j] + 1) ++j;
    if (j - i >= 2) {
      parts << IntQ(numbers[i]) + QStringLiteral(" to ") + IntQ(numbers[j]);
    } else {
      for (std::size_t t = i; t <= j; ++t) parts << IntQ(numbers[t]);
    }
    i = j + 1;
  }
  items = static_cast<int>(parts.size());
  constexpr int kShown = 8;
  if (parts.size() > kShown + 1) {
    const qsizetype more = parts.size() - kShown;
    parts = parts.mid(0, kShown);
    parts << IntQ(more) + QStringLiteral(" more");
  }
  if (parts.size() == 1) return parts.front();
  const QString last = parts.takeLast();
  return parts.join(QStringLiteral(", ")) + QStringLiteral(" and ") + last;
}

}  // namespace

QString FrmTabulor::NeverEnteredText() const {
  QStringList lines;
  for (int k = 0; k <= model_.LastVar && k < controlSetCount() && k < kSlots; ++k) {
    if (sets_[k].chkSpaced->isChecked()) continue;
    const auto& entered = entered_[static_cast<std::size_t>(k)];
    std::vector<std::int64_t> missing;
    for (std::int64_t i = 0; i <= model_.LastPoint[k]; ++i)
      if (static_cast<std::size_t>(i) >= entered.size() || !entered[static_cast<std::size_t>(i)])
        missing.push_back(i + 1);
    if (missing.empty()) continue;
    int items = 0;
    const QString list = NumberList(missing, items);
    const bool one = missing.size() == 1;
    lines << QStringLiteral("%1: grid %2 %3 %4 never entered and %5 0.")
                 .arg(ToQ(CapitalVariableLabel(model_, k)), one ? QStringLiteral("value") : QStringLiteral("values"), list,
                      one ? QStringLiteral("was") : QStringLiteral("were"),
                      one ? QStringLiteral("is") : QStringLiteral("are"));
  }
  return lines.join(QLatin1Char('\n'));
}

void FrmTabulor::ClearResults() {
  if (model_.Loading) return;
  lstCoeff->setSource(nullptr);
  model_.ResultsReady = false;
}

void FrmTabulor::ListResults() { lstCoeff->setSource(std::make_shared<ResultLinesSource>(model_)); }

void FrmTabulor::cmdCompute_Click() {
  if (state_ != FormState::SeriesLoaded || computing_) return;
  // Grid points added to an uneven grid and never typed in hold 0: the
  // user decides whether that is meant.
  const QString unentered = NeverEnteredText();
  if (!unentered.isEmpty() &&
      Seams().ask(this, ProgramTitle(), unentered + QStringLiteral(" Compute anyway?"),
                  QMessageBox::Yes | QMessageBox::No, QMessageBox::No) != QMessageBox::Yes)
    return;
  ClearResults();

  std::array<GridSpecText, kSlots> spec;
  for (int v = 0; v <= model_.LastVar && v < controlSetCount(); ++v) {
    const ControlSet& s = sets_[v];
    spec[v].lower = FromQ(s.txtLLgrid->text());
    spec[v].upper = FromQ(s.txtULgrid->text());
    spec[v].points = FromQ(s.txtGridPoints->text());
    spec[v].der = FromQ(s.txtDer->text());
    spec[v].power = s.chkPower->checkState() != Qt::Unchecked;
    spec[v].spaced = s.chkSpaced->isChecked();
  }
  const std::string capture = evaluation_.CaptureGrids(spec);
  if (!capture.empty()) {
    ShowError(QStringLiteral("The grid settings cannot be used; nothing was computed.\n\n") +
              QString::fromStdString(capture));
    return;
  }
  static_cast<NumberLabel*>(lblGridPoints)->setNumberText(IntQ(model_.TotalCount));
  model_.ResultsReady = false;

  QApplication::setOverrideCursor(Qt::WaitCursor);
  const ComputeResult r = RunCompute();
  QApplication::restoreOverrideCursor();

  if (r.outcome == ComputeOutcome::Cancelled) return;
  if (r.outcome != ComputeOutcome::Ok || !model_.ResultsReady) {
    ShowError(QStringLiteral("The computation failed; nothing was listed.\n\n") + QString::fromStdString(r.message));
    return;
  }
  Seams().beep();  // the computation's own end
  Seams().beep();
  ListResults();
  EnableResultMenus();
  cmdCompute->setEnabled(false);
  FreezeGridEntry();
  unsaved_results_ = true;
  state_ = FormState::Computed;
}

ComputeResult FrmTabulor::RunCompute() {
  computing_ = true;
  std::atomic<bool> finished{false};
  std::atomic<bool> cancel{false};
  std::atomic<std::uint64_t> done{0}, total{0};
  ComputeResult result;
  std::thread worker;
  try {
    worker = startThread([&] {
      try {
        result = evaluation_.Compute([&](std::uint64_t d, std::uint64_t t) {
          done = d;
          total = t;
          return !cancel.load();
        });
      } catch (const std::bad_alloc&) {
        result = {ComputeOutcome::Error, "There is not enough memory for the computation."};
      } catch (const std::exception& e) {
        result = {ComputeOutcome::Error, e.what()};
      }
      finished = true;
      // Wakes the waiting loop below.
      QMetaObject::invokeMethod(qApp, [] {}, Qt::QueuedConnection);
    });
  } catch (const std::exception&) {
    // No room for another thread (or for its state): told like any other
    // failure, with nothing changed.
    computing_ = false;
    return {ComputeOutcome::Error,
            "The computation could not be started: the system has no room for another thread."};
  }

  QElapsedTimer clock;
  clock.start();
  QTimer tick;
  tick.setInterval(50);
  tick.start();
  QProgressDialog* dialog = nullptr;
  while (!finished.load()) {
    if (!dialog && clock.elapsed() >= Seams().progressDelayMs) {
      dialog = MakeProgressDialog(this, QStringLiteral("Computing the values at the grid points..."),
                                  QStringLiteral("computeProgress"));
      connect(dialog, &QProgressDialog::canceled, dialog, [&cancel, dialog] {
        cancel = true;
        dialog->setLabelText(QStringLiteral("Cancelling..."));
      });
      progress_ = dialog;
      dialog->show();
    }
    if (dialog) {
      const std::uint64_t t = total.load();
      if (t > 0) dialog->setValue(static_cast<int>(1000.0L * done.load() / t));
    }
    // Before the dialog shows, the window takes no input; afterwards the
    // modal dialog keeps it from the rest of the program.
    QCoreApplication::processEvents(dialog ? QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents
                                           : QEventLoop::ExcludeUserInputEvents | QEventLoop::WaitForMoreEvents);
  }
  worker.join();
  tick.stop();
  if (dialog) {
    dialog->hide();
    dialog->deleteLater();
  }
  progress_ = nullptr;
  computing_ = false;
  return result;
}

void FrmTabulor::ShowError(const QString& text) {
  Seams().message(this, QMessageBox::Critical, ProgramTitle(), text);
}

void FrmTabulor::EnableResultMenus() {
  mnuSave->setEnabled(true);
  mnuSaveAs->setEnabled(true);
  mnuPrint->setEnabled(true);
  mnuPlot->setEnabled(true);
}

void FrmTabulor::FreezeGridEntry() { fraGrdSpecs->setEnabled(false); }

// ---------------------------------------------------------------------------
// About, Help, Exit and the end of the program.

void FrmTabulor::mnuAbout_Click() {
  if (!about_) {
    about_ = new FrmAbout();
    about_->setAttribute(Qt::WA_DeleteOnClose);
  }
  about_->show();
  about_->raise();
  about_->activateWindow();
}

void FrmTabulor::mnuHelp_Click() {
  const QString resource = Seams().helpResource;
  QFile file(resource);
  if (!file.open(QIODevice::ReadOnly)) {
    ShowError(QStringLiteral("The help text \"%1\" is missing from this program.").arg(resource));
    return;
  }
  const QString html = QString::fromUtf8(file.readAll());
  if (!help_) {
    help_ = new HelpWindow();
    help_->setAttribute(Qt::WA_DeleteOnClose);
  }
  help_->setHelpHtml(html);
  help_->show();
  help_->raise();
  help_->activateWindow();
}

void FrmTabulor::cmdExit_Click() {
  // A text a grid box refused goes: Exit always ends the program.
  DiscardRefusedText();
  close();
}

void FrmTabulor::closeEvent(QCloseEvent* event) {
  if (computing_) {
    event->ignore();
    return;
  }
  if (!unloaded_ && unsaved_results_) {
    // One Compute a run: results not yet in a grid file would be lost.
    const auto answer = Seams().ask(this, ProgramTitle(), QStringLiteral("Save the results?"),
                                    QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel,
                                    QMessageBox::Save);
    if ((answer == QMessageBox::Save && !SaveResults()) ||
        (answer != QMessageBox::Save && answer != QMessageBox::Discard)) {
      event->ignore();
      return;
    }
  }
  DiscardRefusedText();
  event->accept();
  if (unloaded_) return;
  unloaded_ = true;
  // Form_Unload: the user's decimal separator back, every window closed, end.
  if (onUnload) onUnload();
  if (vars_) vars_->close();
  if (about_) about_->close();
  if (help_) help_->close();
  Seams().quit();
}

void FrmTabulor::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  if (!centred_) {
    centred_ = true;
    if (QScreen* s = screen()) {
      const QRect area = s->availableGeometry();
      move(area.center() - QPoint(frameGeometry().width() / 2, frameGeometry().height() / 2));
    }
  }
}

}  // namespace tabulor
