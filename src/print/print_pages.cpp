#include "print/print_pages.h"

#include <QFont>
#include <QFontMetricsF>
#include <QGlyphRun>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPrinter>
#include <QTextLayout>
#include <algorithm>
#include <cmath>
#include <unordered_map>

namespace {

constexpr double POINT_SIZE = 9;
// The left edge: 100 units of a 600-dpi printer.
constexpr double LEFT_EDGE_INCH = 1.0 / 6.0;

// Where the text goes, in device units.
struct PrintGeometry {
    double left = 0;   // left edge of every line
    double pitch = 0;  // baseline of line n at n pitches below the top of the printable area
    double tab = 0;    // distance of the tab stops
};

QFont PrinterFont() {
    QFont font;
    font.setFamilies({"Liberation Sans", "Helvetica", "Arial"});
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(POINT_SIZE);
    font.setKerning(false);
    return font;
}

// The average character width that a Helvetica-metric font reports to the platform's text
// drawing: the lowercase letters and the space weighted by their frequency in English text.
// Liberation Sans 2 declares an average over all its glyphs instead (a third wider), which
// would put every time and date one stop short of its heading.
double AverageCharWidth(const QFontMetricsF& metrics) {
    static constexpr int kWeights[26] = {64, 14, 27, 35, 100, 20, 14, 42, 63, 3,  6, 35, 20,
                                         56, 56, 17, 4,  49,  56, 71, 31, 10, 18, 3, 18, 2};
    double sum = 166 * metrics.horizontalAdvance(QLatin1Char(' '));
    for (int k = 0; k < 26; ++k) {
        sum += kWeights[k] * metrics.horizontalAdvance(QLatin1Char(static_cast<char>('a' + k)));
    }
    return sum / 1000;
}

PrintGeometry Measure(const QPainter& painter, const QPaintDevice& device) {
    const QFontMetricsF metrics(painter.font(), &device);
    const double dpi = device.logicalDpiY();
    PrintGeometry g;
    g.left = LEFT_EDGE_INCH * device.logicalDpiX();
    // 9 points a line, closer where the printable area is too short for 93 of them.
    g.pitch = std::min(POINT_SIZE * dpi / 72,
                       (device.height() - metrics.descent()) / PRINT_LINES_PER_PAGE);
    g.tab = 8 * AverageCharWidth(metrics);
    return g;
}

// A field laid out once: a printout repeats the same few hundred texts (limits, dates,
// temperatures) thousands of times, and shaping each again is what printing cost.
struct LaidOutField {
    QList<QGlyphRun> runs;  // positioned from the field's top-left corner
    double ascent = 0;
    double width = 0;
};

class FieldLayouts {
  public:
    FieldLayouts(const QFont& font, QPaintDevice* device) : font_(font), device_(device) {}

    const LaidOutField& Of(const QString& field) {
        auto found = fields_.find(field);
        if (found != fields_.end()) {
            return found->second;
        }
        QTextLayout layout(field, font_, device_);
        layout.beginLayout();
        const QTextLine line = layout.createLine();
        layout.endLayout();
        LaidOutField laid_out{layout.glyphRuns(), line.ascent(), line.horizontalAdvance()};
        return fields_.emplace(field, std::move(laid_out)).first->second;
    }

  private:
    QFont font_;
    QPaintDevice* device_;
    std::unordered_map<QString, LaidOutField> fields_;
};

void DrawLine(QPainter& painter, const PrintGeometry& g, FieldLayouts& layouts, double baseline,
              const std::string& line) {
    double x = 0;
    std::size_t start = 0;
    while (true) {
        const std::size_t tab = line.find('\t', start);
        const QString field = QString::fromUtf8(
            line.data() + start,
            static_cast<qsizetype>((tab == std::string::npos ? line.size() : tab) - start));
        if (!field.isEmpty()) {
            const LaidOutField& laid_out = layouts.Of(field);
            const QPointF top_left(g.left + x, baseline - laid_out.ascent);
            for (const QGlyphRun& run : laid_out.runs) {
                painter.drawGlyphRun(top_left, run);
            }
            x += laid_out.width;
        }
        if (tab == std::string::npos) {
            break;
        }
        x = (std::floor(x / g.tab) + 1) * g.tab;
        start = tab + 1;
    }
}

}  // namespace

void SetPrintPage(QPagedPaintDevice& device) {
    device.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait,
                                     QMarginsF(10, 10, 10, 10), QPageLayout::Point));
}

void SetUpPrinter(QPrinter& printer) {
    printer.setDocName("Data");
    printer.setCreator("RazuRozavi");
    SetPrintPage(printer);
}

bool PaintPrintout(QPagedPaintDevice& device, const Printout& printout, int first_page,
                   int last_page) {
    first_page = std::max(first_page, 1);
    last_page = std::min(last_page, static_cast<int>(printout.size()));
    QPainter painter;
    if (!painter.begin(&device)) {
        return false;
    }
    painter.setFont(PrinterFont());
    painter.setPen(Qt::black);
    const PrintGeometry g = Measure(painter, device);
    FieldLayouts layouts(painter.font(), &device);
    for (int page = first_page; page <= last_page; ++page) {
        if (page > first_page && !device.newPage()) {
            painter.end();
            return false;
        }
        const PrintPage& lines = printout[static_cast<std::size_t>(page - 1)];
        for (std::size_t n = 0; n < lines.size(); ++n) {
            DrawLine(painter, g, layouts, static_cast<double>(n + 1) * g.pitch, lines[n]);
        }
    }
    return painter.end();
}

bool PrintToPdfFile(const Printout& printout, const std::string& path) {
    QPrinter printer(QPrinter::HighResolution);
    SetUpPrinter(printer);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(QString::fromStdString(path));
    return PaintPrintout(printer, printout, 1, static_cast<int>(printout.size()));
}
