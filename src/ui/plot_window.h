// The plot window: the results drawn as a curve (one variable, or one
// variable with the others held) or as a colour map over two variables
// with the others held, each held variable at a grid point chosen with a
// slider. Zoom with the mouse wheel, drag with the left button; the value
// under the mouse is shown with its grid point. The picture can be saved as
// PNG or PDF and the results exported as CSV.
//
// The window reads the model's results in place and never copies them; the
// model must outlive it. When the model's results are replaced while the
// window is open, it notices and draws nothing more.
#pragma once

#include <QMainWindow>
#include <QString>

#include <array>
#include <cstdint>
#include <functional>
#include <vector>

#include "model/dimension.h"
#include "ui/plot_data.h"
#include "ui/ui_services.h"

class QCustomPlot;
class QCPColorMap;
class QCPColorScale;
class QCPCurve;
class QCPTextElement;
class QCPItemTracer;
class QComboBox;
class QLabel;
class QPushButton;
class QSlider;
class QWidget;
class QAction;
class QFont;
class QVBoxLayout;

namespace tabulor {

class PlotWindow : public QMainWindow {
  Q_OBJECT

 public:
  enum class Mode { Curve, ColourMap };

  // A window of its own (not modal) on `model`, which must hold results
  // (ResultsReady); without them it shows a note and draws nothing. With a
  // parent it is deleted with the parent.
  explicit PlotWindow(const Dimension& model, UiServices& services = DesktopServices(), QWidget* parent = nullptr);
  ~PlotWindow() override;

  // Creates the window on `model`, deletes it when it is closed, shows it
  // and brings it to the front. The way the main window opens it.
  static PlotWindow* Open(const Dimension& model, UiServices& services, QWidget* parent);

  // What the window shows, for callers and tests.
  Mode mode() const { return mode_; }
  int horizontalVariable() const { return var_x_; }
  int verticalVariable() const { return var_y_; }
  std::int64_t heldIndex(int v) const { return held_[static_cast<std::size_t>(v)]; }
  void setMode(Mode mode);
  void setVariables(int horizontal, int vertical);
  void setHeldIndex(int v, std::int64_t index);
  void resetView();

  // Saves the picture: ".pdf" gives a PDF, ".png" a PNG (".png" is added
  // when the name has no extension); other extensions are refused. Returns
  // false (with a message) when it cannot be written.
  bool savePicture(const QString& path);
  // Writes the CSV file with a progress dialog on long exports.
  bool exportCsv(const QString& path);

  QCustomPlot* plot() const { return plot_; }
  QCPColorMap* colourMap() const { return map_; }
  QCPCurve* curve() const { return curve_; }
  // The text about the point under the mouse (empty when off the plot).
  QString pointText() const;

 public slots:
  void savePictureAs();
  void exportCsvAs();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void BuildUi();
  void BuildControls(QWidget* central, QVBoxLayout* layout);
  void BuildHeldRows(QWidget* central, QVBoxLayout* layout);
  void BuildPlot(QWidget* central, QVBoxLayout* layout);
  void BuildPlottables(const QFont& label_font);
  void BuildMenus();
  void ConnectControls();
  void ShowUnusable();
  void UpdateControls();
  void UpdateHeldLabel(int v);
  void SliceChanged();
  void RefillPlot();
  QString NoMemoryNote() const;
  void RefillCurve();
  void RefillMap();
  void ShowPointAt(const QPointF& pos);
  bool ModelUnchanged() const;
  static QString UndrawableNote();
  // Grid index, grid value and name text of variable v at index i.
  QString PointPart(int v, std::int64_t i) const;
  std::int64_t SliceBase(int skip_a, int skip_b) const;

  const Dimension& model_;
  UiServices& services_;
  // A failed save or export, told in a message box.
  void Tell(const QString& title, const QString& text);
  // The save dialog of a picture or an export, offering the file's name
  // with `extension` (or `fallback` without a file name).
  QString AskExportName(const QString& caption, const QString& fallback, const QString& extension,
                        const QString& filters);
  bool usable_ = false;
  // What the window was opened on, to notice a replaced model.
  const double* results_data_ = nullptr;
  std::array<std::int64_t, 4> results_dims_{};
  std::array<const double*, 4> grid_data_{};

  int vars_ = 0;  // number of variables
  std::array<std::int64_t, 4> points_{1, 1, 1, 1};
  std::array<plot::GridAxis, 4> axes_;
  Mode mode_ = Mode::Curve;
  int var_x_ = 0, var_y_ = 1;
  std::array<std::int64_t, 4> held_{};

  // The current slice: curve along var_x_, or map over var_x_ and var_y_.
  plot::CurveReducer reducer_;
  double map_lo_ = 0, map_hi_ = 1;
  std::vector<plot::CurvePoint> reduced_;
  std::vector<std::int64_t> ia_, ib_;
  std::vector<double> samples_;
  bool refilling_ = false;
  // False when the slice's values or grid values lie beyond the ranges the
  // plot can draw (magnitudes above 1E+250, spreads below 1E-280).
  bool drawable_ = true;
  bool axes_drawable_ = true, map_range_drawable_ = true;
  void UpdateDrawable();
  std::uint64_t slice_version_ = 0;
  std::array<double, 10> filled_for_{};

  QCustomPlot* plot_ = nullptr;
  QCPColorMap* map_ = nullptr;
  QCPColorScale* scale_ = nullptr;
  QCPCurve* curve_ = nullptr;
  QCPTextElement* title_ = nullptr;
  QCPItemTracer* marker_ = nullptr;
  QComboBox* mode_box_ = nullptr;
  QComboBox* x_box_ = nullptr;
  QComboBox* y_box_ = nullptr;
  QLabel* y_label_ = nullptr;
  QLabel* x_label_ = nullptr;
  std::array<QLabel*, 4> held_names_{};
  std::array<QSlider*, 4> sliders_{};
  std::array<QLabel*, 4> held_labels_{};
  QLabel* point_label_ = nullptr;
  QLabel* note_label_ = nullptr;
  QPushButton* reset_button_ = nullptr;
  QPushButton* save_button_ = nullptr;
  QPushButton* csv_button_ = nullptr;
  QAction* save_action_ = nullptr;
  QAction* csv_action_ = nullptr;
  QAction* reset_action_ = nullptr;
};

}  // namespace tabulor
