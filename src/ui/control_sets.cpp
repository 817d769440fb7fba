#include "ui/control_sets.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStringList>

#include <algorithm>

#include "model/number_text.h"
#include "ui/fitted_text.h"
#include "ui/qt_text.h"
#include "ui/window_look.h"

namespace tabulor {

using namespace look;

namespace {

QString Name(const char* base, int k) { return QStringLiteral("%1_%2").arg(QLatin1String(base)).arg(k); }
QString NumQ(double value) { return QString::fromStdString(NumberText(value)); }
QString IntQ(std::int64_t value) { return QString::fromStdString(IntegerText(value)); }

// The variable's name above its settings; a long one ends in an ellipsis.
void SetVarCaption(QLabel* caption, const QString& name) { static_cast<ElidedLabel*>(caption)->setFullText(name); }

}  // namespace

namespace {
// The variable's name, its grid limits and its number of grid points.
void ShowGrid(const ControlSet& s, const Dimension& m, int k, std::int64_t points) {
  SetVarCaption(s.lblVar, ToQ(m.VarName[k]));
  SetBoxText(s.txtLLgrid, NumQ(m.LowerLimit[k]));
  SetBoxText(s.txtULgrid, NumQ(m.UpperLimit[k]));
  SetBoxText(s.txtGridPoints, IntQ(points));
}
}  // namespace

void SetBoxText(QLineEdit* box, const QString& text) {
  box->setText(text);
  box->setCursorPosition(0);
}

std::array<QWidget*, 13> ControlSet::members() const {
  return {txtUL,     txtLL,     lblVar,        txtTerms, txtExpansion, txtPeriod,  chkPower,
          txtLLgrid, txtULgrid, txtGridPoints, txtDer,   chkSpaced,    cmdEditVars};
}

ControlSets::ControlSets(const SetFrames& frames, QObject* parent) : QObject(parent), frames_(frames) {
  sets_.push_back(Create(0));
}

ControlSet ControlSets::Create(int k) {
  ControlSet s;
  s.txtUL = MakeBox(frames_.serSpecs, Area(1020, 510, 1200, 285), kLightYellow, Name("txtUL", k));
  s.txtLL = MakeBox(frames_.serSpecs, Area(1020, 210, 1200, 285), kLightYellow, Name("txtLL", k));
  s.lblVar = new ElidedLabel(frames_.varSpecs);
  s.lblVar->setTextFormat(Qt::PlainText);  // a name from a file, shown as written
  s.lblVar->setObjectName(Name("lblVar", k));
  s.lblVar->setGeometry(Area(3840, 105, 2700, 195));
  SetVariableColours(s.lblVar);
  s.txtTerms = MakeBox(frames_.serSpecs, Area(6390, 510, 400, 285), kLightYellow, Name("txtTerms", k));
  s.txtExpansion = MakeBox(frames_.serSpecs, Area(4020, 210, 1365, 285), kLightYellow, Name("txtExpansion", k));
  s.txtExpansion->setToolTip(QStringLiteral("\"*\" means center of interval"));
  s.txtPeriod = MakeBox(frames_.serSpecs, Area(4020, 510, 1365, 285), kLightYellow, Name("txtPeriod", k));
  s.txtPeriod->setToolTip(QStringLiteral("\"*\" means 2\u03C0"));
  s.chkPower =
      MakeCheck(frames_.type, QStringLiteral("Power"), Area(150, 210, 1110, 255), kLightYellow, Name("chkPower", k));
  s.chkPower->setToolTip(QStringLiteral("Unchecked means Trigonometric"));
  s.txtLLgrid = MakeBox(frames_.grdSpecs, Area(1020, 210, 1200, 285), kGreen, Name("txtLLgrid", k));
  s.txtULgrid = MakeBox(frames_.grdSpecs, Area(1020, 510, 1200, 285), kGreen, Name("txtULgrid", k));
  s.txtGridPoints = MakeBox(frames_.grdSpecs, Area(4800, 210, 585, 285), kGreen, Name("txtGridPoints", k));
  s.txtDer = MakeBox(frames_.grdSpecs, Area(4800, 510, 585, 285), kGreen, Name("txtDer", k));
  s.chkSpaced =
      MakeCheck(frames_.spaced, QStringLiteral("Yes"), Area(150, 210, 1110, 255), kGreen, Name("chkSpaced", k));
  s.chkSpaced->setToolTip(QStringLiteral("Uncheck for unevenly spaced grid"));
  s.cmdEditVars = MakeButton(frames_.grdSpecs, QStringLiteral("Edit"), Area(5430, 525, 1050, 240), kOrange, false,
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
    CopyFromFirst(s);
  }
  connect(s.chkSpaced, &QCheckBox::toggled, this, [this, k] { emit spacedToggled(k); });
  connect(s.cmdEditVars, &QPushButton::clicked, this, [this, k] { emit editClicked(k); });
  return s;
}

// A copy of set 0 as it stands, lying on top of it, hidden.
void ControlSets::CopyFromFirst(const ControlSet& s) {
  const ControlSet& z = sets_.front();
  for (auto [to, from] : {std::pair{s.txtUL, z.txtUL},
                          {s.txtLL, z.txtLL},
                          {s.txtTerms, z.txtTerms},
                          {s.txtExpansion, z.txtExpansion},
                          {s.txtPeriod, z.txtPeriod},
                          {s.txtLLgrid, z.txtLLgrid},
                          {s.txtULgrid, z.txtULgrid},
                          {s.txtGridPoints, z.txtGridPoints},
                          {s.txtDer, z.txtDer}}) {
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

void ControlSets::LoadObjects(int last_var) {
  if (sets_.size() > 1) return;  // made once a run
  const int last = std::clamp(last_var, 0, kSlots - 1);
  for (int k = 1; k <= last; ++k) {
    sets_.push_back(Create(k));
    emit created(k);
  }
  loading_ = true;
  for (int k = 0; k <= last; ++k) {
    sets_[k].chkPower->setChecked(true);
    sets_[k].chkSpaced->setChecked(true);
    sets_[k].cmdEditVars->setEnabled(false);
  }
  loading_ = false;
}

void ControlSets::ShowSeries(const Dimension& m) {
  for (int k = 0; k <= m.LastVar && k < count(); ++k) {
    const ControlSet& s = sets_[k];
    ShowGrid(s, m, k, static_cast<std::int64_t>(m.LastTerm[k]) + 1);
    SetBoxText(s.txtLL, NumQ(m.LowerLimit[k]));
    SetBoxText(s.txtUL, NumQ(m.UpperLimit[k]));
    SetBoxText(s.txtTerms, IntQ(static_cast<std::int64_t>(m.LastTerm[k]) + 1));
    SetBoxText(s.txtExpansion, ToQ(m.CenterText[k]));
    SetBoxText(s.txtPeriod, ToQ(m.PeriodText[k]));
    s.chkPower->setChecked(m.IsPower[k]);
    s.chkSpaced->setChecked(m.EvenlySpaced[k]);
    emit spacedToggled(k);
  }
}

void ControlSets::ShowGridFile(const Dimension& m) {
  for (int k = 0; k <= m.LastVar && k < count(); ++k) {
    const ControlSet& s = sets_[k];
    ShowGrid(s, m, k, static_cast<std::int64_t>(m.LastPoint[k]) + 1);
    SetBoxText(s.txtDer, IntQ(m.DerOrder[k]));
    s.chkSpaced->setChecked(m.EvenlySpaced[k]);
    emit spacedToggled(k);
  }
  frames_.serSpecs->hide();
  for (int k = 0; k <= m.LastVar && k < count(); ++k) sets_[k].cmdEditVars->hide();
}

void ControlSets::ShowOnly(int k, const Dimension& model) {
  if (k < 0 || k >= count()) return;
  for (const ControlSet& s : sets_)
    for (QWidget* w : s.members()) w->hide();
  const ControlSet& shown = sets_[k];
  for (QWidget* w : shown.members()) w->show();
  SetVarCaption(shown.lblVar, ToQ(model.VarName[k]));
}

std::array<GridSpecText, kSlots> ControlSets::GridSpec(const Dimension& model) const {
  std::array<GridSpecText, kSlots> spec;
  for (int v = 0; v <= model.LastVar && v < count(); ++v) {
    const ControlSet& s = sets_[v];
    spec[v].lower = FromQ(s.txtLLgrid->text());
    spec[v].upper = FromQ(s.txtULgrid->text());
    spec[v].points = FromQ(s.txtGridPoints->text());
    spec[v].der = FromQ(s.txtDer->text());
    spec[v].power = s.chkPower->checkState() != Qt::Unchecked;
    spec[v].spaced = s.chkSpaced->isChecked();
  }
  return spec;
}

std::optional<BoxRef> ControlSets::FindBox(const QObject* object) const {
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

void EnteredPoints::MarkAll(const Dimension& m) {
  for (int k = 0; k < kSlots; ++k) entered_[k].assign(m.GridX[k].size(), 1);
}

void EnteredPoints::Mark(int k, int row) {
  auto& entered = entered_[static_cast<std::size_t>(k)];
  if (row < 0) return;
  if (static_cast<std::size_t>(row) >= entered.size()) entered.resize(static_cast<std::size_t>(row) + 1, 0);
  entered[static_cast<std::size_t>(row)] = 1;
}

void EnteredPoints::Move(int k, int from, int to) {
  auto& entered = entered_[static_cast<std::size_t>(k)];
  const auto f = static_cast<std::size_t>(from), t = static_cast<std::size_t>(to);
  if (to < 0 || from < 0) return;
  if (t >= entered.size()) entered.resize(t + 1, 0);
  entered[t] = f < entered.size() ? entered[f] : 0;
}

void EnteredPoints::Resize(int k, std::size_t size) { entered_[static_cast<std::size_t>(k)].resize(size, 0); }

namespace {

// "4", "4 and 5", "2, 4 to 9 and 12": one-based numbers, runs of three or
// more joined by "to"; past a few items the rest are counted.
QString NumberList(const std::vector<std::int64_t>& numbers) {
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

QString EnteredPoints::NeverEnteredText(const Dimension& m, const std::array<bool, kSlots>& spaced) const {
  QStringList lines;
  for (int k = 0; k <= m.LastVar && k < kSlots; ++k) {
    if (spaced[k]) continue;
    const auto& entered = entered_[static_cast<std::size_t>(k)];
    std::vector<std::int64_t> missing;
    for (std::int64_t i = 0; i <= m.LastPoint[k]; ++i)
      if (static_cast<std::size_t>(i) >= entered.size() || !entered[static_cast<std::size_t>(i)])
        missing.push_back(i + 1);
    if (missing.empty()) continue;
    const bool one = missing.size() == 1;
    // The question's own wording: the variable by its name alone.
    lines << QStringLiteral("Variable %1: grid %2 %3 %4 never entered and %5 0.")
                 .arg(ToQ(m.VarName[static_cast<std::size_t>(k)]),
                      one ? QStringLiteral("value") : QStringLiteral("values"), NumberList(missing),
                      one ? QStringLiteral("was") : QStringLiteral("were"),
                      one ? QStringLiteral("is") : QStringLiteral("are"));
  }
  return lines.join(QLatin1Char('\n'));
}

}  // namespace tabulor
