#include "ui/plot_window.h"

#include <qcustomplot.h>

#include <QAction>
#include <QBuffer>
#include <QComboBox>
#include <QEvent>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QPdfWriter>
#include <QProgressDialog>
#include <QRegularExpression>

#include <memory>

#include <QPushButton>
#include <QSignalBlocker>
#include <QSlider>
#include <QStatusBar>
#include <QVBoxLayout>
#include "ui/progress_dialogs.h"

#include <algorithm>
#include <cmath>
#include <new>

#include "model/grid_file.h"
#include "model/number_text.h"
#include "output/csv_export.h"
#include "platform/atomic_file.h"
#include "ui/qt_text.h"

namespace tabulor {

namespace {

// Above this many points in view a curve is drawn as one band per pixel
// column; up to it every point is drawn with a marker.
constexpr std::int64_t kMarkedPoints = 200;
// The colour map never samples more cells than this along an axis.
constexpr int kMaxCells = 4096;

// Names from a file as the main window shows them (UTF-8, else Latin-1).
QString Text(const std::string& s) { return ToQ(s); }
QString Number(double x) { return Text(NumberText(x)); }

// A colour gradient from dark violet through blue and green to yellow that
// stays readable in grey and for most colour-blind readers.
QCPColorGradient Gradient() {
  QCPColorGradient g;
  g.clearColorStops();
  const std::pair<double, QColor> stops[] = {
      {0.00, QColor(68, 1, 84)},    {0.13, QColor(72, 40, 120)},  {0.25, QColor(62, 73, 137)},
      {0.38, QColor(49, 104, 142)}, {0.50, QColor(38, 130, 142)}, {0.63, QColor(31, 158, 137)},
      {0.75, QColor(53, 183, 121)}, {0.88, QColor(110, 206, 88)}, {1.00, QColor(253, 231, 37)}};
  for (const auto& [at, colour] : stops) g.setColorStopAt(at, colour);
  g.setColorInterpolation(QCPColorGradient::ciRGB);
  g.setLevelCount(512);
  return g;
}

// A range around lo..hi with a margin, never empty.
QCPRange Padded(double lo, double hi, double margin) {
  // A range too narrow for the plot (all values equal, or nearly) is widened
  // around its middle.
  constexpr double kNarrowest = 1e-270;
  if (!(hi - lo > kNarrowest)) {
    const double mid = lo / 2 + hi / 2;
    const double w = mid != 0.0 ? std::max(std::abs(mid) * 0.1, kNarrowest) : 1.0;
    return QCPRange(mid - w, mid + w);
  }
  const double pad = (hi - lo) * margin;
  return QCPRange(lo - pad, hi + pad);
}

}  // namespace

void PlotWindow::Tell(const QString& title, const QString& text) {
  services_.Message(this, QMessageBox::Warning, title, text);
}

PlotWindow* PlotWindow::Open(const Dimension& model, UiServices& services, QWidget* parent) {
  auto* window = new PlotWindow(model, services, parent);
  window->setAttribute(Qt::WA_DeleteOnClose);
  window->show();
  window->raise();
  window->activateWindow();
  return window;
}

PlotWindow::PlotWindow(const Dimension& model, UiServices& services, QWidget* parent)
    : QMainWindow(parent), model_(model), services_(services) {
  setObjectName("frmPlot");
  usable_ = !GridFileWritable(model_).has_value();
  if (usable_) {
    vars_ = model_.LastVar + 1;
    results_data_ = model_.Results.data();
    results_dims_ = model_.Results.dims();
    for (int v = 0; v < vars_; ++v) {
      points_[v] = static_cast<std::int64_t>(model_.LastPt[v]) + 1;
      grid_data_[v] = model_.GridX[v].data();
      if (model_.GridX[v].size() >= static_cast<std::size_t>(points_[v]))
        axes_[v] = plot::GridAxis(model_.GridX[v].data(), points_[v]);
      else  // a single grid point without a stored value lies at the lower limit
        axes_[v] = plot::GridAxis(&model_.LowerLimit[v], 1);
    }
    mode_ = vars_ >= 2 ? Mode::ColourMap : Mode::Curve;
  }
  QString file = QFileInfo(Text(model_.FileName)).fileName();
  setWindowTitle(file.isEmpty() ? tr("Plot") : tr("Plot - %1").arg(file));
  BuildUi();
  if (usable_) {
    SliceChanged();
    resetView();
  }
  resize(960, 680);
}

PlotWindow::~PlotWindow() = default;

void PlotWindow::BuildUi() {
  auto* central = new QWidget(this);
  auto* layout = new QVBoxLayout(central);
  layout->setContentsMargins(8, 8, 8, 4);
  BuildControls(central, layout);
  BuildHeldRows(central, layout);
  BuildPlot(central, layout);
  note_label_ = new QLabel(central);
  note_label_->setTextFormat(Qt::PlainText);
  note_label_->setObjectName("lblPlotNote");
  note_label_->setWordWrap(true);
  note_label_->hide();
  layout->addWidget(note_label_);
  setCentralWidget(central);
  point_label_ = new QLabel(this);
  point_label_->setTextFormat(Qt::PlainText);
  point_label_->setObjectName("lblPlotPoint");
  point_label_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  statusBar()->addWidget(point_label_, 1);
  BuildMenus();
  ConnectControls();
  if (!usable_) ShowUnusable();
  UpdateControls();
}

// The row of choices: what to show, along which variables; the buttons.
void PlotWindow::BuildControls(QWidget* central, QVBoxLayout* layout) {
  auto* controls = new QHBoxLayout;
  mode_box_ = new QComboBox(central);
  mode_box_->setObjectName("cboPlotMode");
  mode_box_->addItem(tr("Colour map"));
  mode_box_->addItem(tr("Curve"));
  auto* mode_label = new QLabel(tr("Show:"), central);
  mode_label->setBuddy(mode_box_);
  x_label_ = new QLabel(tr("Horizontal:"), central);
  x_box_ = new QComboBox(central);
  x_box_->setObjectName("cboPlotX");
  x_label_->setBuddy(x_box_);
  y_label_ = new QLabel(tr("Vertical:"), central);
  y_box_ = new QComboBox(central);
  y_box_->setObjectName("cboPlotY");
  y_label_->setBuddy(y_box_);
  for (int v = 0; v < vars_; ++v) {
    x_box_->addItem(Text(plot::VariableTitle(model_, v)));
    y_box_->addItem(Text(plot::VariableTitle(model_, v)));
  }
  reset_button_ = new QPushButton(tr("Reset View"), central);
  reset_button_->setObjectName("cmdPlotReset");
  save_button_ = new QPushButton(tr("Save Picture…"), central);
  save_button_->setObjectName("cmdPlotSave");
  csv_button_ = new QPushButton(tr("Export CSV…"), central);
  csv_button_->setObjectName("cmdPlotCsv");
  controls->addWidget(mode_label);
  controls->addWidget(mode_box_);
  controls->addSpacing(12);
  controls->addWidget(x_label_);
  controls->addWidget(x_box_);
  controls->addWidget(y_label_);
  controls->addWidget(y_box_);
  controls->addStretch(1);
  controls->addWidget(reset_button_);
  controls->addWidget(save_button_);
  controls->addWidget(csv_button_);
  layout->addLayout(controls);
  if (vars_ < 2) {
    mode_label->hide();
    mode_box_->hide();
    y_label_->hide();
    y_box_->hide();
  }
}

// A slider for every variable, at the grid point it is held at.
void PlotWindow::BuildHeldRows(QWidget* central, QVBoxLayout* layout) {
  auto* held = new QGridLayout;
  held->setColumnStretch(1, 1);
  for (int v = 0; v < vars_; ++v) {
    auto* row_label = new QLabel(tr("%1 held at").arg(Text(plot::VariableTitle(model_, v))), central);
    row_label->setTextFormat(Qt::PlainText);
    auto* slider = new QSlider(Qt::Horizontal, central);
    slider->setObjectName(QString("sldHeld%1").arg(v));
    slider->setRange(0, static_cast<int>(points_[v] - 1));
    slider->setPageStep(std::max(1, static_cast<int>(points_[v] / 10)));
    row_label->setBuddy(slider);
    auto* value = new QLabel(central);
    value->setTextFormat(Qt::PlainText);
    value->setObjectName(QString("lblHeld%1").arg(v));
    value->setMinimumWidth(260);
    held->addWidget(row_label, v, 0);
    held->addWidget(slider, v, 1);
    held->addWidget(value, v, 2);
    held_names_[v] = row_label;
    sliders_[v] = slider;
    held_labels_[v] = value;
    connect(slider, &QSlider::valueChanged, this, [this, v](int index) { setHeldIndex(v, index); });
  }
  layout->addLayout(held);
}

void PlotWindow::BuildPlot(QWidget* central, QVBoxLayout* layout) {
  plot_ = new QCustomPlot(central);
  plot_->setObjectName("plot");
  plot_->setMinimumSize(320, 240);
  QLocale c_locale(QLocale::C);
  c_locale.setNumberOptions(QLocale::OmitGroupSeparator);
  plot_->setLocale(c_locale);
  plot_->setInteractions(QCP::iRangeDrag | QCP::iRangeZoom);
  plot_->axisRect()->setRangeDrag(Qt::Horizontal | Qt::Vertical);
  plot_->axisRect()->setRangeZoom(Qt::Horizontal | Qt::Vertical);
  plot_->setNoAntialiasingOnDrag(true);
  // Curves are drawn segment by segment: one wide polyline of thousands of
  // overlapping segments takes Qt's stroker seconds.
  plot_->setPlottingHint(QCP::phFastPolylines, true);
  QFont label_font = plot_->xAxis->labelFont();
  label_font.setPointSizeF(label_font.pointSizeF() * 1.1);
  plot_->xAxis->setLabelFont(label_font);
  plot_->yAxis->setLabelFont(label_font);
  plot_->xAxis->grid()->setSubGridVisible(false);
  BuildPlottables(label_font);
  layout->addWidget(plot_, 1);
}

// The curve, the colour map with its scale, the title and the marker.
void PlotWindow::BuildPlottables(const QFont& label_font) {
  curve_ = new QCPCurve(plot_->xAxis, plot_->yAxis);
  curve_->setPen(QPen(QColor(31, 119, 180), 1.6));
  curve_->setAntialiased(true);

  map_ = new QCPColorMap(plot_->xAxis, plot_->yAxis);
  map_->setInterpolate(false);
  map_->setTightBoundary(false);
  map_->setGradient(Gradient());
  scale_ = new QCPColorScale(plot_);
  scale_->setType(QCPAxis::atRight);
  scale_->setBarWidth(16);
  scale_->axis()->setLabelFont(label_font);
  map_->setColorScale(scale_);
  scale_->setGradient(Gradient());  // the scale hands its gradient to the map
  auto* margins = new QCPMarginGroup(plot_);
  plot_->axisRect()->setMarginGroup(QCP::msBottom | QCP::msTop, margins);
  scale_->setMarginGroup(QCP::msBottom | QCP::msTop, margins);
  plot_->plotLayout()->addElement(0, 1, scale_);
  // A title row above: the file and where the held variables stand, so that
  // a saved picture says what it shows.
  plot_->plotLayout()->insertRow(0);
  title_ = new QCPTextElement(plot_, QString(), QFont(font().family(), font().pointSize() + 1, QFont::DemiBold));
  plot_->plotLayout()->addElement(0, 0, title_);
  // The marker of the grid point under the mouse lives on a layer of its
  // own, so moving it redraws nothing else.
  plot_->addLayer("marker", plot_->layer("main"), QCustomPlot::limAbove);
  plot_->layer("marker")->setMode(QCPLayer::lmBuffered);
  marker_ = new QCPItemTracer(plot_);
  marker_->setLayer("marker");
  marker_->setStyle(QCPItemTracer::tsCircle);
  marker_->setSize(10);
  marker_->position->setType(QCPItemPosition::ptPlotCoords);
  marker_->setVisible(false);
}

void PlotWindow::BuildMenus() {
  QMenu* file_menu = menuBar()->addMenu(tr("&File"));
  save_action_ = file_menu->addAction(tr("Save &Picture…"), this, &PlotWindow::savePictureAs);
  save_action_->setShortcut(QKeySequence::Save);
  csv_action_ = file_menu->addAction(tr("&Export CSV…"), this, &PlotWindow::exportCsvAs);
  csv_action_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_E));
  file_menu->addSeparator();
  QAction* close_action = file_menu->addAction(tr("&Close"), this, &QWidget::close);
  close_action->setShortcut(QKeySequence::Close);
  QMenu* view_menu = menuBar()->addMenu(tr("&View"));
  reset_action_ = view_menu->addAction(tr("&Reset View"), this, &PlotWindow::resetView);
  reset_action_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_0));
}

void PlotWindow::ConnectControls() {
  connect(reset_button_, &QPushButton::clicked, this, &PlotWindow::resetView);
  connect(save_button_, &QPushButton::clicked, this, &PlotWindow::savePictureAs);
  connect(csv_button_, &QPushButton::clicked, this, &PlotWindow::exportCsvAs);
  connect(mode_box_, &QComboBox::currentIndexChanged, this,
          [this](int i) { setMode(i == 0 ? Mode::ColourMap : Mode::Curve); });
  connect(x_box_, &QComboBox::currentIndexChanged, this, [this](int i) {
    int y = var_y_;
    if (mode_ == Mode::ColourMap && i == var_y_) y = var_x_;  // the two swap places
    setVariables(i, y);
  });
  connect(y_box_, &QComboBox::currentIndexChanged, this, [this](int i) {
    int x = var_x_;
    if (i == var_x_) x = var_y_;
    setVariables(x, i);
  });
  connect(plot_, &QCustomPlot::afterLayout, this, &PlotWindow::RefillPlot);
  connect(plot_, &QCustomPlot::mouseMove, this, [this](QMouseEvent* e) { ShowPointAt(e->position()); });
  plot_->installEventFilter(this);
}

// Without results: a note, and nothing to choose or draw.
void PlotWindow::ShowUnusable() {
  note_label_->setText(tr("There are no results to plot."));
  note_label_->show();
  for (QWidget* w :
       {static_cast<QWidget*>(mode_box_), static_cast<QWidget*>(x_box_), static_cast<QWidget*>(y_box_),
        static_cast<QWidget*>(reset_button_), static_cast<QWidget*>(save_button_), static_cast<QWidget*>(csv_button_)})
    w->setEnabled(false);
  save_action_->setEnabled(false);
  csv_action_->setEnabled(false);
  reset_action_->setEnabled(false);
  curve_->setVisible(false);
  map_->setVisible(false);
  plot_->plotLayout()->take(scale_);
  plot_->plotLayout()->simplify();
  scale_->setVisible(false);
}

bool PlotWindow::ModelUnchanged() const {
  if (!usable_ || !model_.ResultsReady || model_.Results.data() != results_data_ ||
      model_.Results.dims() != results_dims_ || model_.LastVar + 1 != vars_)
    return false;
  for (int v = 0; v < vars_; ++v)
    if (model_.LastPt[v] + 1 != points_[v] || model_.GridX[v].data() != grid_data_[v]) return false;
  return true;
}

void PlotWindow::UpdateControls() {
  {
    QSignalBlocker b1(mode_box_), b2(x_box_), b3(y_box_);
    mode_box_->setCurrentIndex(mode_ == Mode::ColourMap ? 0 : 1);
    if (vars_ > 0) {
      x_box_->setCurrentIndex(var_x_);
      y_box_->setCurrentIndex(std::min(var_y_, vars_ - 1));
    }
  }
  const bool map = mode_ == Mode::ColourMap;
  x_label_->setText(map ? tr("Horizontal:") : tr("Along:"));
  y_label_->setVisible(map);
  y_box_->setVisible(map);
  for (int v = 0; v < vars_; ++v) {
    const bool held = !(v == var_x_ || (map && v == var_y_));
    held_names_[v]->setVisible(held);
    sliders_[v]->setVisible(held);
    held_labels_[v]->setVisible(held);
    {
      QSignalBlocker block(sliders_[v]);
      sliders_[v]->setValue(static_cast<int>(held_[v]));
    }
    UpdateHeldLabel(v);
  }
}

void PlotWindow::UpdateHeldLabel(int v) {
  const std::int64_t i = held_[v];
  held_labels_[v]->setText(tr("= %1   (point %2 of %3)")
                               .arg(Number(axes_[v].at(i)))
                               .arg(Text(IntegerText(i + 1)))
                               .arg(Text(IntegerText(points_[v]))));
}

void PlotWindow::setMode(Mode mode) {
  if (!usable_ || (mode == Mode::ColourMap && vars_ < 2)) mode = Mode::Curve;
  if (mode == mode_) {
    UpdateControls();
    return;
  }
  mode_ = mode;
  if (mode_ == Mode::ColourMap && var_y_ == var_x_) var_y_ = var_x_ == 0 ? 1 : 0;
  UpdateControls();
  SliceChanged();
  resetView();
}

void PlotWindow::setVariables(int horizontal, int vertical) {
  if (!usable_) return;
  horizontal = std::clamp(horizontal, 0, vars_ - 1);
  vertical = std::clamp(vertical, 0, vars_ - 1);
  if (vars_ >= 2 && vertical == horizontal) vertical = horizontal == 0 ? 1 : 0;
  if (vars_ < 2) vertical = 1;
  bool changed = horizontal != var_x_ || (mode_ == Mode::ColourMap && vertical != var_y_);
  var_x_ = horizontal;
  var_y_ = vertical;
  UpdateControls();
  if (changed) {
    SliceChanged();
    resetView();
  }
}

void PlotWindow::setHeldIndex(int v, std::int64_t index) {
  if (!usable_ || v < 0 || v >= vars_) return;
  index = std::clamp<std::int64_t>(index, 0, points_[v] - 1);
  if (held_[v] == index) return;
  held_[v] = index;
  {
    QSignalBlocker block(sliders_[v]);
    sliders_[v]->setValue(static_cast<int>(index));
  }
  UpdateHeldLabel(v);
  SliceChanged();
  plot_->replot();
}

std::int64_t PlotWindow::SliceBase(int skip_a, int skip_b) const {
  std::int64_t base = 0;
  for (int v = 0; v < vars_; ++v)
    if (v != skip_a && v != skip_b) base += held_[v] * model_.Results.Stride(v);
  return base;
}

void PlotWindow::SliceChanged() {
  ++slice_version_;
  if (!ModelUnchanged()) return;
  const std::string value_title = plot::ValueTitle(model_);
  const double* data = model_.Results.data();
  if (mode_ == Mode::Curve) {
    reducer_ = plot::CurveReducer(&axes_[var_x_], data + SliceBase(var_x_, -1), model_.Results.Stride(var_x_));
    plot_->xAxis->setLabel(Text(plot::VariableTitle(model_, var_x_)));
    plot_->yAxis->setLabel(Text(value_title));
    if (plot_->plotLayout()->hasElement(1, 1)) plot_->plotLayout()->take(scale_);
    plot_->plotLayout()->simplify();
    scale_->setVisible(false);
  } else {
    plot::SliceRange(data + SliceBase(var_x_, var_y_), model_.Results.Stride(var_x_), points_[var_x_],
                     model_.Results.Stride(var_y_), points_[var_y_], map_lo_, map_hi_);
    const QCPRange range = Padded(map_lo_, map_hi_, 0);
    map_range_drawable_ = QCPRange::validRange(range);
    if (map_range_drawable_) map_->setDataRange(range);
    plot_->xAxis->setLabel(Text(plot::VariableTitle(model_, var_x_)));
    plot_->yAxis->setLabel(Text(plot::VariableTitle(model_, var_y_)));
    scale_->axis()->setLabel(Text(value_title));
    if (!plot_->plotLayout()->hasElement(1, 1)) plot_->plotLayout()->addElement(1, 1, scale_);
    scale_->setVisible(true);
  }
  curve_->setVisible(mode_ == Mode::Curve);
  map_->setVisible(mode_ == Mode::ColourMap);
  if (mode_ == Mode::ColourMap) {
    marker_->setPen(QPen(Qt::white, 2));
    marker_->setBrush(Qt::NoBrush);
  } else {
    marker_->setPen(QPen(QColor(214, 39, 40), 2));
    marker_->setBrush(Qt::white);
  }
  QStringList held;
  for (int v = 0; v < vars_; ++v)
    if (v != var_x_ && !(mode_ == Mode::ColourMap && v == var_y_)) held << PointPart(v, held_[v]);
  QString title = QFileInfo(Text(model_.FileName)).fileName();
  if (!held.isEmpty()) title += (title.isEmpty() ? "" : "    ") + held.join(",  ");
  title_->setText(title);
  title_->setVisible(!title.isEmpty());
  UpdateDrawable();
}

void PlotWindow::resetView() {
  if (!ModelUnchanged()) return;
  const plot::GridAxis& ax = axes_[var_x_];
  QCPRange xr, yr;
  if (mode_ == Mode::Curve) {
    xr = ax.max() > ax.min() ? Padded(ax.min(), ax.max(), 0.02) : QCPRange(ax.lower_edge(), ax.upper_edge());
    yr = Padded(reducer_.min(), reducer_.max(), 0.06);
  } else {
    const plot::GridAxis& ay = axes_[var_y_];
    xr = QCPRange(ax.lower_edge(), ax.upper_edge());
    yr = QCPRange(ay.lower_edge(), ay.upper_edge());
  }
  axes_drawable_ = QCPRange::validRange(xr) && QCPRange::validRange(yr);
  if (axes_drawable_) {
    plot_->xAxis->setRange(xr);
    plot_->yAxis->setRange(yr);
  }
  UpdateDrawable();
  plot_->replot();
}

// The plot keeps its old range when given one it cannot draw, which would
// show other places and colours than the ones named: then it shows nothing
// and says so.
void PlotWindow::UpdateDrawable() {
  drawable_ = axes_drawable_ && (mode_ == Mode::Curve || map_range_drawable_);
  if (drawable_) {
    if (note_label_->text() == UndrawableNote()) note_label_->hide();
  } else {
    note_label_->setText(UndrawableNote());
    note_label_->show();
  }
}

QString PlotWindow::UndrawableNote() {
  return tr(
      "These values cannot be drawn: the plot takes numbers up to 1E+250 in size, and ranges of at "
      "least 1E-280. The list, the report and the files hold them all.");
}

QString PlotWindow::NoMemoryNote() const { return tr("There is not enough memory to draw these values."); }

void PlotWindow::RefillPlot() {
  if (refilling_) return;
  // Nothing to do when neither the slice, the view nor the plot's size has
  // changed since the last fill (a replot for other reasons).
  const QRect rect = plot_->axisRect()->rect();
  const QCPRange xr = plot_->xAxis->range(), yr = plot_->yAxis->range();
  const std::array<double, 10> key{static_cast<double>(slice_version_),
                                   xr.lower,
                                   xr.upper,
                                   yr.lower,
                                   yr.upper,
                                   static_cast<double>(rect.width()),
                                   static_cast<double>(rect.height()),
                                   static_cast<double>(ModelUnchanged()),
                                   static_cast<double>(mode_),
                                   static_cast<double>(drawable_)};
  if (key == filled_for_) return;
  filled_for_ = key;
  refilling_ = true;
  if (!ModelUnchanged()) {
    curve_->setVisible(false);
    map_->setVisible(false);
    if (usable_) {
      note_label_->setText(tr("The results have changed since this plot was opened; close it and open it again."));
      note_label_->show();
    }
  } else if (!drawable_) {
    curve_->setVisible(false);
    map_->setVisible(false);
  } else {
    try {
      if (mode_ == Mode::Curve)
        RefillCurve();
      else
        RefillMap();
      if (note_label_->text() == NoMemoryNote()) {
        // Drawn again after a view that could not be: as before it.
        note_label_->hide();
        note_label_->clear();
        curve_->setVisible(mode_ == Mode::Curve);
      }
    } catch (const std::bad_alloc&) {
      // A huge curve reduced without the room it needs: nothing is drawn,
      // and the window says why.
      curve_->setVisible(false);
      map_->setVisible(false);
      note_label_->setText(NoMemoryNote());
      note_label_->show();
    }
  }
  refilling_ = false;
}

void PlotWindow::RefillCurve() {
  const QRect rect = plot_->axisRect()->rect();
  const QCPRange xr = plot_->xAxis->range();
  bool all = true;
  reducer_.Reduce(xr.lower, xr.upper, std::max(1, rect.width()), kMarkedPoints, reduced_, all);
  QVector<QCPCurveData> data;
  data.reserve(static_cast<qsizetype>(reduced_.size()));
  // The curve's parameter orders its points: the grid index on a sorted
  // grid, the place along the axis on a grid typed in any order.
  const bool by_index = axes_[var_x_].monotone();
  double t = 0;
  for (const plot::CurvePoint& p : reduced_)
    data.append(QCPCurveData(by_index ? static_cast<double>(p.index) : t++, p.x, p.y));
  curve_->data()->set(data, true);
  // A band of many points per pixel column gets a thin line, a few points a
  // wider one with markers.
  curve_->setPen(QPen(QColor(31, 119, 180), all ? 1.6 : 1.0));
  curve_->setScatterStyle(
      all ? QCPScatterStyle(QCPScatterStyle::ssCircle, QPen(QColor(31, 119, 180), 1.4), QBrush(Qt::white), 6)
          : QCPScatterStyle(QCPScatterStyle::ssNone));
}

void PlotWindow::RefillMap() {
  const QRect rect = plot_->axisRect()->rect();
  const QCPRange xr = plot_->xAxis->range(), yr = plot_->yAxis->range();
  const plot::GridAxis& ax = axes_[var_x_];
  const plot::GridAxis& ay = axes_[var_y_];
  const double x0 = std::max(xr.lower, ax.lower_edge()), x1 = std::min(xr.upper, ax.upper_edge());
  const double y0 = std::max(yr.lower, ay.lower_edge()), y1 = std::min(yr.upper, ay.upper_edge());
  if (!(x1 > x0) || !(y1 > y0) || rect.width() < 1 || rect.height() < 1) {
    map_->setVisible(false);
    return;
  }
  map_->setVisible(true);
  // One cell per screen pixel of the part of the view the grid covers.
  auto cells = [](double part, double whole, int pixels) {
    double n = std::round(part / whole * pixels);
    return static_cast<int>(std::clamp(n, 2.0, static_cast<double>(kMaxCells)));
  };
  const int columns = cells(x1 - x0, xr.size(), rect.width());
  const int rows = cells(y1 - y0, yr.size(), rect.height());
  const double w = (x1 - x0) / columns, h = (y1 - y0) / rows;
  plot::NearestIndices(ax, x0 + w / 2, w, columns, ia_);
  plot::NearestIndices(ay, y0 + h / 2, h, rows, ib_);
  samples_.resize(static_cast<std::size_t>(columns) * static_cast<std::size_t>(rows));
  plot::SampleMap(model_.Results.data() + SliceBase(var_x_, var_y_), model_.Results.Stride(var_x_),
                  model_.Results.Stride(var_y_), ia_, ib_, samples_.data());
  QCPColorMapData* d = map_->data();
  d->setSize(columns, rows);
  d->setRange(QCPRange(x0 + w / 2, x1 - w / 2), QCPRange(y0 + h / 2, y1 - h / 2));
  const double* s = samples_.data();
  for (int r = 0; r < rows; ++r)
    for (int c = 0; c < columns; ++c) d->setCell(c, r, *s++);
}

QString PlotWindow::PointPart(int v, std::int64_t i) const {
  return Text(plot::VariableTitle(model_, v)) + "=" + Number(axes_[v].at(i));
}

void PlotWindow::ShowPointAt(const QPointF& pos) {
  QString text;
  if (ModelUnchanged() && drawable_ && plot_->axisRect()->rect().contains(pos.toPoint())) {
    const double x = plot_->xAxis->pixelToCoord(pos.x());
    const double y = plot_->yAxis->pixelToCoord(pos.y());
    std::array<std::int64_t, 4> at = held_;
    bool inside = x >= axes_[var_x_].lower_edge() && x <= axes_[var_x_].upper_edge();
    at[var_x_] = axes_[var_x_].Nearest(x);
    if (mode_ == Mode::ColourMap) {
      inside = inside && y >= axes_[var_y_].lower_edge() && y <= axes_[var_y_].upper_edge();
      at[var_y_] = axes_[var_y_].Nearest(y);
    }
    if (inside) {
      QStringList parts;
      for (int v = 0; v < vars_; ++v) parts << PointPart(v, at[v]);
      const double value = model_.Results(at[0], at[1], at[2], at[3]);
      text = parts.join("  ") + "    " + Text(plot::ValueTitle(model_)) + "=" + Number(value);
      marker_->position->setCoords(axes_[var_x_].at(at[var_x_]),
                                   mode_ == Mode::ColourMap ? axes_[var_y_].at(at[var_y_]) : value);
    }
  }
  point_label_->setText(text);
  if (marker_->visible() || !text.isEmpty()) {
    marker_->setVisible(!text.isEmpty());
    marker_->layer()->replot();
  }
}

QString PlotWindow::pointText() const { return point_label_->text(); }

bool PlotWindow::eventFilter(QObject* watched, QEvent* event) {
  if (watched == plot_ && event->type() == QEvent::Leave && !point_label_->text().isEmpty()) {
    point_label_->clear();
    marker_->setVisible(false);
    marker_->layer()->replot();
  }
  return QMainWindow::eventFilter(watched, event);
}

bool PlotWindow::savePicture(const QString& chosen) {
  QString path = chosen;
  QString suffix = QFileInfo(path).suffix().toLower();
  if (suffix.isEmpty()) {
    path += ".png";
    suffix = "png";
  }
  if (suffix != "png" && suffix != "pdf") {
    Tell(tr("Save Picture"),
         tr("The picture can be saved as PNG or PDF: choose a name ending in .png or .pdf.\n\n%1").arg(path));
    return false;
  }
  // The picture is made in memory and written like every other file of the
  // program: all of it or nothing, an existing file kept on failure.
  const int w = plot_->width(), h = plot_->height();
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  bool drawn = false;
  if (suffix == "pdf") {
    QPdfWriter writer(&buffer);
    writer.setCreator(QStringLiteral("tabulor"));
    writer.setTitle(windowTitle());
    // The page is the plot's size on screen, so texts keep their proportions.
    const int dpi = std::max(plot_->logicalDpiX(), 1);
    writer.setResolution(dpi);
    writer.setPageSize(
        QPageSize(QSizeF(w * 72.0 / dpi, h * 72.0 / dpi), QPageSize::Point, QString(), QPageSize::ExactMatch));
    writer.setPageMargins(QMarginsF(0, 0, 0, 0));
    QCPPainter painter;
    if (painter.begin(&writer)) {
      painter.setMode(QCPPainter::pmVectorized);
      painter.setWindow(0, 0, w, h);
      plot_->toPainter(&painter, w, h);
      drawn = painter.end();
    }
  } else {
    drawn = plot_->toPixmap(w, h, 1.0).save(&buffer, "PNG");
  }
  buffer.close();
  plot_->replot();
  QString problem;
  if (!drawn || bytes.isEmpty()) {
    problem = tr("the picture could not be drawn");
  } else {
    AtomicWriteResult written = WriteFileAtomically(QFile::encodeName(path).toStdString(), [&](const ByteSink& sink) {
      return sink(bytes.constData(), static_cast<std::size_t>(bytes.size()));
    });
    if (written.outcome != AtomicWriteOutcome::Ok)
      problem = QString::fromLocal8Bit(AtomicWriteProblem(written).c_str());
  }
  if (!problem.isEmpty()) {
    Tell(tr("Save Picture"), tr("The picture could not be saved to\n%1\n\n%2").arg(path, problem));
    return false;
  }
  return true;
}

QString PlotWindow::AskExportName(const QString& caption, const QString& fallback, const QString& extension,
                                  const QString& filters) {
  const QString base = Text(model_.FileName);
  const QString suggested = base.isEmpty() ? fallback : base + extension;
  return services_.SaveExportName(this, caption, suggested, filters);
}

void PlotWindow::savePictureAs() {
  if (!usable_) return;
  const QString path =
      AskExportName(tr("Save Picture"), "plot.png", ".png", tr("PNG image (*.png);;PDF document (*.pdf)"));
  if (!path.isEmpty()) savePicture(path);
}

bool PlotWindow::exportCsv(const QString& path) {
  if (!ModelUnchanged()) {
    Tell(tr("Export CSV"), tr("The results have changed since this plot was opened."));
    return false;
  }
  const std::unique_ptr<QProgressDialog> progress(
      MakeProgressDialog(this, tr("Exporting CSV…"), QStringLiteral("csvProgress"), Qt::WindowModal, 500));
  bool cancelled = false;
  CsvExportResult r =
      WriteCsvFile(model_, QFile::encodeName(path).toStdString(), [&](std::uint64_t done, std::uint64_t total) {
        ShowProgress(*progress, done, total);
        cancelled = progress->wasCanceled();
        return !cancelled;
      });
  progress->close();
  if (!r.ok && !cancelled) Tell(tr("Export CSV"), Text(r.message));
  return r.ok;
}

void PlotWindow::exportCsvAs() {
  if (!usable_) return;
  QString path = AskExportName(tr("Export CSV"), "results.csv", ".csv", tr("CSV file (*.csv);;All files (*)"));
  if (path.isEmpty()) return;
  if (QFileInfo(path).suffix().isEmpty()) path += ".csv";
  exportCsv(path);
}

}  // namespace tabulor
