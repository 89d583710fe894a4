#include "ui/graph_window.h"

#include <QCloseEvent>
#include <QGroupBox>
#include <QGuiApplication>
#include <QPainter>
#include <QPushButton>
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

// The legend's frame with its three sample lines and names on top of it, so that the
// frame's shading does not tint them.
class LegendBox final : public QGroupBox {
  public:
    explicit LegendBox(QWidget* parent) : QGroupBox(QStringLiteral("Legenda"), parent) {}

  protected:
    void paintEvent(QPaintEvent* event) override {
        QGroupBox::paintEvent(event);
        QPainter painter(this);
        // In the window's coordinates: lines 15 and names 25 pixels above its bottom.
        painter.translate(-x(), -y());
        const int window_bottom = y() + 40;
        struct Entry {
            const QPen& pen;
            int x;
            const char* text;
        };
        for (const Entry& entry :
             {Entry{TEMPERATURE_PEN, 75, "Temperatura"}, Entry{LOW_ALARM_PEN, 275, "Alarme Baixo"},
              Entry{HIGH_ALARM_PEN, 475, "Alarme Alto"}}) {
            painter.setPen(entry.pen);
            painter.drawLine(entry.x, window_bottom - 15, entry.x + 50, window_bottom - 15);
            painter.setPen(palette().color(QPalette::WindowText));
            painter.drawText(QRect(entry.x + 70, window_bottom - 25, 100, 20),
                             Qt::AlignLeft | Qt::AlignTop | Qt::TextDontClip,
                             QString::fromUtf8(entry.text));
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
    : layer_(layer), width_(plot.width()), height_(plot.height()) {
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("Grafico"));
    setAutoFillBackground(true);
    GraphData(image, width_, height_, DataWindowTimeBase());
    series_ = graph_series;

    auto* close_button = Place(new QPushButton(QStringLiteral("Fechar"), this), BT_GRAPH_CLOSE,
                               width_ - 100, height_ - 60, 80, 25);
    connect(close_button, &QPushButton::clicked, this, &QWidget::close);
    resize(width_, height_);
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
    // Under the snapped plot; its sample lines are painted by the window, through it.
    auto* legend = new LegendBox(this);
    legend->setGeometry(PLOT_LEFT, height_ - 40, 600, 40);
    legend->setAttribute(Qt::WA_TransparentForMouseEvents);
    legend->show();
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
