// The graph window painted offscreen: curve and limits in place, nothing to draw, resized.

#include <QGroupBox>
#include <QPushButton>
#include <QtTest>

#include "logger/graph_series.h"
#include "support/image_builder.h"
#include "ui/graph_window.h"
#include "ui/program_application.h"
#include "ui/qt_window_layer.h"

namespace {

const QColor MAGENTA(255, 0, 255);
const QColor LOW_BLUE(100, 100, 255);
const QColor HIGH_RED(255, 100, 100);

MemoryImage Readings(int count, int ad) {
    ImageSpec spec;
    spec.readings.assign(count, ad);
    return BuildImage(spec);
}

// The pixels of `area` of this colour, or dark ones when no colour is given.
int CountColour(const QImage& picture, QRect area, const QColor& colour = QColor()) {
    int found = 0;
    area = area.intersected(picture.rect());
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            found += colour.isValid() ? picture.pixelColor(x, y) == colour
                                      : qGray(picture.pixel(x, y)) < 100;
        }
    }
    return found;
}

}  // namespace

class GraphWindowTest final : public QObject {
    Q_OBJECT

  private slots:
    void curveAndLimitsArePaintedWhereTheyBelong();
    void nothingToDrawStillPaints();
    void resizedWindowIsDrawnForItsSize();

  private:
    QImage Paint(GraphWindow& window) { return window.grab().toImage(); }
    QtWindowLayer layer_;
};

void GraphWindowTest::curveAndLimitsArePaintedWhereTheyBelong() {
    // 25.0 degrees throughout; limits -10.0 and 25.0 from the image.
    GraphWindow window(layer_, Readings(100, 624), QSize(1024, 780));
    const QImage picture = Paint(window);
    // y = 670 - (tenths + 400) * 5 / 10 once the height snapped to 750.
    const int curve_y = 670 - (250 + 400) * 5 / 10;
    const int low_y = 670 - (-100 + 400) * 5 / 10;
    QCOMPARE(picture.pixelColor(50 + 9 * 1, low_y), LOW_BLUE);
    QCOMPARE(picture.pixelColor(50 + 9 * 98, low_y), LOW_BLUE);
    // The high limit is drawn last, over the curve that runs along it.
    QVERIFY(CountColour(picture, QRect(60, curve_y - 1, 800, 3), HIGH_RED) > 700);
    QVERIFY(CountColour(picture, QRect(60, curve_y - 2, 800, 5), MAGENTA) > 700);
    QCOMPARE(CountColour(picture, QRect(60, 25, 800, curve_y - 30), MAGENTA), 0);
}

void GraphWindowTest::nothingToDrawStillPaints() {
    GraphWindow empty(layer_, Readings(0, 600), QSize(1024, 780));
    const QImage picture = Paint(empty);
    QCOMPARE(picture.pixelColor(50, 20), QColor(Qt::black));  // the frame
    QCOMPARE(CountColour(picture, QRect(50, 20, 924, 650), MAGENTA), 0);

    // Too low for a degree a pixel: still a frame, no division by zero.
    GraphWindow low(layer_, Readings(10, 600), QSize(1024, 200));
    QCOMPARE(Paint(low).pixelColor(50, 20), QColor(Qt::black));
}

void GraphWindowTest::resizedWindowIsDrawnForItsSize() {
    GraphWindow window(layer_, Readings(1000, 600), QSize(1820, 800));
    window.show();
    Paint(window);
    window.resize(900, 500);
    QCoreApplication::processEvents();
    const QImage picture = Paint(window);
    QVERIFY(window.PlotWidth() <= 900 && window.PlotHeight() <= 500);
    QVERIFY(CountColour(picture, QRect(50, 20, 800, 400), MAGENTA) > 0);
    const auto* legend = window.findChild<QGroupBox*>();
    QVERIFY(window.rect().contains(window.findChild<QPushButton*>()->geometry()) &&
            window.rect().contains(legend->geometry()));
    // Each name stands beside its sample line, under the frame's title, not across it.
    const QRect box = legend->geometry();
    const int title = QFontMetrics(legend->font()).height();
    QVERIFY(CountColour(picture,
                        QRect(box.x() + 85, box.y() + title, 100, box.height() - title - 2)) > 20);
    QCOMPARE(CountColour(picture, QRect(box.x() + 85, box.y() + 2, 100, title / 2 - 2)), 0);
}

int main(int argc, char** argv) {
    ProgramApplication app(argc, argv);
    GraphWindowTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "graph_window_test.moc"
