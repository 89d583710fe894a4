#pragma once
// The graph window: the readings of one memory image as a temperature curve over time,
// with the two alarm limits, on a grid with a temperature scale and time and date labels.

#include <QWidget>

#include "logger/graph_series.h"
#include "logger/memory_image.h"
#include "logger/readings.h"
#include "ui/program_window.h"

class QPushButton;

class GraphWindow final : public QWidget, public ProgramWindow {
  public:
    // Prepares the series of `image` for a plot of `plot` pixels (the usable screen area
    // less 50 pixels of height when the window opens maximized) and keeps its own copy,
    // so that a later graph or upload does not change what this one shows.
    GraphWindow(QtWindowLayer& layer, const MemoryImage& image, QSize plot);

    QWidget* Window() override { return this; }
    WindowId Id() const override { return WindowId::Graph; }
    const GraphSeries& Series() const { return series_; }
    int PlotWidth() const { return width_; }
    int PlotHeight() const { return height_; }

    // The plot for the usable area of the screen the program is on.
    static QSize PlotForScreen();

  protected:
    void paintEvent(QPaintEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

  private:
    void Snap();
    int CurveY(int tenths) const;

    QtWindowLayer& layer_;
    MemoryImage image_;   // its own copy, to draw again at another size
    TimeBase time_base_;  // the data window's choice when it opened
    QSize plot_;          // the plot asked for, before it is snapped to whole grid cells
    GraphSeries series_;
    int width_;   // nWidth
    int height_;  // nHeight
    bool snapped_ = false;
    QPushButton* close_button_ = nullptr;
    QWidget* legend_ = nullptr;
};
