#include "ui/graph_window.h"

#include <QCloseEvent>
#include <QGroupBox>
#include <QGuiApplication>
#include <QPainter>
#include <QPushButton>
#include <QResizeEvent>
#include <QScreen>
#include <algorithm>
#include <cstdio>

#include "app/shown_time.h"
#include "ui/qt_window_layer.h"

namespace {

constexpr int PLOT_LEFT = 50;
constexpr int PLOT_TOP = 20;
constexpr int PLOT_BOTTOM_GAP = 80;  // from the plot's bottom edge to the window's
constexpr int GRID_TOP = 25;
constexpr int LABEL_FONT_PIXELS = 12;
constexpr int LABEL_SPACING_PIXELS = 60;
constexpr int SCREEN_HEIGHT_KEPT = 50;
constexpr int TENTHS_AT_PLOT_BOTTOM = -400;  // -40 degrees on the frame's bottom edge

const QColor GRID_GREY(150, 150, 150);
const QColor TEMPERATURE_COLOUR(255, 0, 255);
const QColor LOW_ALARM_COLOUR(100, 100, 255);
const QColor HIGH_ALARM_COLOUR(255, 100, 100);

const QPen TEMPERATURE_PEN(TEMPERATURE_COLOUR, 3);
const QPen LOW_ALARM_PEN(LOW_ALARM_COLOUR, 2);
const QPen HIGH_ALARM_PEN(HIGH_ALARM_COLOUR, 2);

constexpr int LEGEND_HEIGHT = 40;
constexpr int LEGEND_WIDTH = 600;
constexpr int LEGEND_ENTRY_WIDTH = 200;
constexpr int LEGEND_SAMPLE_LENGTH = 50;
constexpr int LEGEND_GAP = 10;

// The legend: its three sample lines, each with its name beside it on the same line,
// inside the frame under its title.
class LegendBox final : public QGroupBox {
  public:
    explicit LegendBox(QWidget* parent) : QGroupBox(QStringLiteral("Legenda"), parent) {}

  protected:
    void paintEvent(QPaintEvent* event) override {
        QGroupBox::paintEvent(event);
        QPainter painter(this);
        const QFontMetrics metrics(font());
        // The row lies between the title and the frame's bottom edge.
        const int row_top = metrics.height();
        const int middle = (row_top + height()) / 2;
        struct Entry {
            const QPen& pen;
            const char* text;
        };
        int x = 25;
        for (const Entry& entry :
             {Entry{TEMPERATURE_PEN, "Temperatura"}, Entry{LOW_ALARM_PEN, "Alarme Baixo"},
              Entry{HIGH_ALARM_PEN, "Alarme Alto"}}) {
            painter.setPen(entry.pen);
            painter.drawLine(x, middle, x + LEGEND_SAMPLE_LENGTH, middle);
            painter.setPen(palette().color(QPalette::WindowText));
            const int text_left = x + LEGEND_SAMPLE_LENGTH + LEGEND_GAP;
            painter.drawText(QRect(text_left, row_top,
                                   LEGEND_ENTRY_WIDTH - LEGEND_SAMPLE_LENGTH - 2 * LEGEND_GAP,
                                   height() - row_top - 2),
                             Qt::AlignLeft | Qt::AlignVCenter, QString::fromUtf8(entry.text));
            x += LEGEND_ENTRY_WIDTH;
        }
    }
};

QString Packed(const char* format, int packed) {
    char text[32];
    std::snprintf(text, sizeof text, format, (packed >> 16) & 0xFF, (packed >> 8) & 0xFF,
                  packed & 0xFF);
    return QString::fromLatin1(text);
}

}  // namespace

GraphWindow::GraphWindow(QtWindowLayer& layer, const MemoryImage& image, QSize plot)
    : layer_(layer),
      image_(image),
      time_base_(DataWindowTimeBase()),
      plot_(plot),
      width_(plot.width()),
      height_(plot.height()) {
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("Grafico"));
    setAutoFillBackground(true);
    GraphData(image_, width_, height_, time_base_);
    series_ = graph_series;

    close_button_ = Place(new QPushButton(QStringLiteral("Fechar"), this), BT_GRAPH_CLOSE,
                          width_ - 100, height_ - 60, 80, 25);
    connect(close_button_, &QPushButton::clicked, this, &QWidget::close);
    legend_ = new LegendBox(this);
    legend_->setAttribute(Qt::WA_TransparentForMouseEvents);
    legend_->hide();
    resize(width_, height_);
}

// A restored or resized window is drawn again for the size it has, with its button and
// legend inside it; filling the screen, it keeps the plot it opened with.
void GraphWindow::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    const QScreen* screen = QGuiApplication::primaryScreen();
    const bool fills_screen =
        screen != nullptr && event->size() == screen->availableGeometry().size();
    const QSize plot = fills_screen ? PlotForScreen() : event->size();
    if (plot == plot_) {
        return;
    }
    plot_ = plot;
    width_ = plot.width();
    height_ = plot.height();
    GraphData(image_, width_, height_, time_base_);
    series_ = graph_series;
    snapped_ = false;
    close_button_->move(width_ - 100, height_ - 60);
    update();
}

QSize GraphWindow::PlotForScreen() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    const QRect usable = screen != nullptr ? screen->availableGeometry() : QRect(0, 0, 1024, 768);
    return {usable.width(), usable.height() - SCREEN_HEIGHT_KEPT};
}

// Whole grid cells: the plot's height to tens of degrees, its width to display points.
void GraphWindow::Snap() {
    const int scalex = series_.scalex;
    const int scaley = series_.scaley;
    height_ = ((height_ - GRAPH_MARGIN) / (10 * scaley)) * 10 * scaley + GRAPH_MARGIN;
    width_ = ((width_ - GRAPH_MARGIN) / scalex) * scalex + GRAPH_MARGIN;
    snapped_ = true;
    legend_->setGeometry(PLOT_LEFT, height_ - LEGEND_HEIGHT, LEGEND_WIDTH, LEGEND_HEIGHT);
    legend_->show();
}

int GraphWindow::CurveY(int tenths) const {
    // 64 bits: a refused reading's tenths times the scale overflow an int.
    const long long above_bottom =
        (static_cast<long long>(tenths) - TENTHS_AT_PLOT_BOTTOM) * series_.scaley / 10;
    const long long y = height_ - PLOT_BOTTOM_GAP - above_bottom;
    return static_cast<int>(std::clamp<long long>(y, -height_, 2LL * height_));
}

void GraphWindow::paintEvent(QPaintEvent*) {
    if (!snapped_) {
        Snap();
    }
    const GraphSeries& g = series_;
    const int n = g.graph_points;
    const int scalex = g.scalex;
    const int scaley = g.scaley;
    const int decimation = std::max(1, g.decimation);
    const int right = width_ - PLOT_LEFT;
    const int bottom = height_ - PLOT_BOTTOM_GAP;
    QPainter painter(this);

    QFont labels;
    labels.setFamilies({QStringLiteral("Liberation Sans"), QStringLiteral("DejaVu Sans")});
    labels.setPixelSize(LABEL_FONT_PIXELS);
    labels.setWeight(QFont::Black);
    // "-40ºC" stays left of the frame at x 50.
    labels.setStretch(QFont::SemiCondensed);
    painter.setFont(labels);
    painter.setPen(Qt::black);
    const int step = scalex < LABEL_SPACING_PIXELS ? LABEL_SPACING_PIXELS / scalex : 1;
    const int centred = Qt::AlignHCenter | Qt::AlignTop | Qt::TextDontClip;
    for (int i = 0; static_cast<long long>(i) * step * decimation < n; ++i) {
        if (i % 2 == 0) {
            continue;
        }
        const int x = scalex * i * step + PLOT_LEFT;
        const int k = decimation * i * step;
        painter.drawText(QRect(x - 10, height_ - 70, 20, 20), centred,
                         Packed("%02d:%02d:%02d", g.hour[k]));
        painter.drawText(QRect(x - 10, height_ - 60, 20, 20), centred,
                         Packed("%02d/%02d/%02d", g.date[k]));
    }
    const int left_top = Qt::AlignLeft | Qt::AlignTop | Qt::TextDontClip;
    for (int i = 0; 10 * scaley * i + 18 < height_ - 50; ++i) {
        const QString degrees = QString::asprintf("%2d", 10 * i - 40) + QString::fromUtf8("ºC");
        const int y = height_ - 87 - 10 * scaley * i;
        painter.drawText(QRect(20, y, 20, 5), left_top, degrees);
        painter.drawText(QRect(width_ - 40, y, 20, 5), left_top, degrees);
    }
    painter.setFont(font());

    painter.setPen(Qt::black);
    painter.setBrush(Qt::white);
    painter.drawRect(QRect(QPoint(PLOT_LEFT, PLOT_TOP), QPoint(right, bottom)));
    painter.setBrush(Qt::NoBrush);

    const QPen thin(GRID_GREY, 1);
    const QPen thick(GRID_GREY, 2);
    painter.setPen(thin);
    for (int x = PLOT_LEFT + scalex * step; x < right; x += scalex * step) {
        painter.drawLine(x, bottom, x, PLOT_TOP);
    }
    int line = 1;
    for (int y = GRID_TOP; y < bottom; y += scaley, ++line) {
        painter.setPen(line % 10 == 0 ? thick : thin);
        painter.drawLine(PLOT_LEFT, y, right, y);
    }

    const int points = n / decimation;
    for (const auto& [shown, pen] :
         {std::pair{&g.datashow1, &TEMPERATURE_PEN}, std::pair{&g.datashow2, &LOW_ALARM_PEN},
          std::pair{&g.datashow3, &HIGH_ALARM_PEN}}) {
        const int drawable = std::min(points, static_cast<int>(shown->size()));
        if (drawable == 0) {
            continue;
        }
        painter.setPen(*pen);
        QPoint from(PLOT_LEFT, CurveY((*shown)[0]));
        for (int j = 1; PLOT_LEFT + j * scalex <= right && j < drawable; ++j) {
            const QPoint to(PLOT_LEFT + j * scalex, CurveY((*shown)[j]));
            painter.drawLine(from, to);
            from = to;
        }
    }
}

void GraphWindow::closeEvent(QCloseEvent* event) {
    layer_.Forget(this);
    event->accept();
}
