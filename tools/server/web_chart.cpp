#include "web_chart.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "base/number_text.h"
#include "web_escape.h"
#include "web_format.h"

std::string ChartSvg(const Recording& r, const ChartLayout& layout) {
    const int kWidth = layout.width;
    const int kHeight = layout.height;
    const int kLeft = layout.left;
    const int kRight = layout.right;
    constexpr int kTop = 28;
    constexpr int kBottom = 72;
    const int kPlotWidth = kWidth - kLeft - kRight;
    const int kPlotHeight = kHeight - kTop - kBottom;
    static_assert(WIDE_CHART.width - WIDE_CHART.left - WIDE_CHART.right == CHART_COLUMNS);
    const std::string style = layout.style;
    const std::string title_id = style.empty() ? "grafico-titulo" : "grafico-titulo-" + style;
    const bool f = r.stats.fahrenheit;
    const auto shown = [&](double c) { return static_cast<double>(ct(static_cast<float>(c), f)); };
    const int n = static_cast<int>(r.tenths.size());

    double low = shown(r.stats.t_low);
    double high = shown(r.stats.t_high);
    double bottom = std::min(low, high);
    double top = std::max(low, high);
    if (n > 0) {
        bottom = std::min(bottom, shown(r.stats.minimum));
        top = std::max(top, shown(r.stats.maximum));
    }
    // Round steps: at most about eight grid lines.
    static const double kSteps[] = {0.1, 0.2, 0.5, 1, 2, 5, 10, 20, 50, 100, 200, 500, 1000};
    double step = 1000;
    for (const double s : kSteps) {
        if ((top - bottom) / s <= 8) {
            step = s;
            break;
        }
    }
    bottom = std::floor(bottom / step) * step;
    top = std::ceil(top / step) * step;
    if (top - bottom < step) {
        top = bottom + step;
    }
    const auto y = [&](double t) { return kTop + (top - t) * kPlotHeight / (top - bottom); };
    const auto x = [&](int i) {
        return n > 1 ? kLeft + static_cast<double>(i) * kPlotWidth / (n - 1) : kLeft;
    };
    const auto px = [](double v) { return FixedText(v, 1); };
    const std::string unit = f ? "°F" : "°C";

    std::string svg =
        "<svg class=\"grafico" + (style.empty() ? "" : " " + style) +
        "\" xmlns=\"http://www.w3.org/2000/svg\" viewBox=\"0 0 " + std::to_string(kWidth) + " " +
        std::to_string(kHeight) + "\" role=\"img\" aria-labelledby=\"" + title_id +
        "\">\n<title id=\"" + title_id + "\">Curva das leituras do cartão " +
        std::to_string(r.upload.serial) + " (" + Html(r.upload.description) + ")</title>\n";
    svg += "<rect class=\"area\" x=\"" + std::to_string(kLeft) + "\" y=\"" + std::to_string(kTop) +
           "\" width=\"" + std::to_string(kPlotWidth) + "\" height=\"" +
           std::to_string(kPlotHeight) + "\"/>\n";
    // Temperature axis.
    for (double t = bottom; t <= top + step / 2; t += step) {
        const std::string yt = px(y(t));
        std::string label = FixedText(t, step < 1 ? 1 : 0);
        std::replace(label.begin(), label.end(), '.', ',');
        svg += "<line class=\"grade\" x1=\"" + std::to_string(kLeft) + "\" y1=\"" + yt +
               "\" x2=\"" + std::to_string(kLeft + kPlotWidth) + "\" y2=\"" + yt + "\"/>";
        svg += "<text class=\"eixo-y\" x=\"" + std::to_string(kLeft - 6) + "\" y=\"" + yt +
               "\" dy=\"4\">" + label + "</text>\n";
    }
    svg += "<text class=\"titulo-eixo\" x=\"" + std::to_string(kLeft) +
           "\" y=\"16\" text-anchor=\"start\">Temperatura (" + unit + ")</text>\n";
    // Time axis: labels at readings spread over the recording.
    const int labels = n > 1 ? layout.time_labels : n;
    for (int k = 0; k < labels; ++k) {
        const int i =
            labels > 1 ? static_cast<int>(static_cast<long long>(k) * (n - 1) / (labels - 1)) : 0;
        const std::string xt = px(x(i));
        const char* anchor = k == 0 ? "start" : k == labels - 1 ? "end" : "middle";
        svg += "<line class=\"grade\" x1=\"" + xt + "\" y1=\"" + std::to_string(kTop) + "\" x2=\"" +
               xt + "\" y2=\"" + std::to_string(kTop + kPlotHeight) + "\"/>";
        svg += "<text class=\"eixo-x\" text-anchor=\"" + std::string(anchor) + "\" x=\"" + xt +
               "\" y=\"" + std::to_string(kTop + kPlotHeight + 18) + "\">";
        if (r.times_known) {
            const CALENDAR c = ReadingTime(r, i);
            char date[32];
            char time[32];
            std::snprintf(date, sizeof date, "%02u/%02u/%04u", c.day, c.month, c.year);
            std::snprintf(time, sizeof time, "%02u:%02u", c.h, c.m);
            svg += "<tspan x=\"" + xt + "\">" + date + "</tspan><tspan x=\"" + xt +
                   "\" dy=\"15\">" + time + "</tspan>";
        } else {
            svg += "coleta " + std::to_string(i + 1);
        }
        svg += "</text>\n";
    }
    svg += "<text class=\"titulo-eixo\" x=\"" + std::to_string(kLeft + kPlotWidth / 2) + "\" y=\"" +
           std::to_string(kHeight - 6) + "\" text-anchor=\"middle\">" +
           (r.times_known ? "Data e hora (" + std::string(kTimeBase) + ")"
                          : std::string("Número da coleta")) +
           "</text>\n";
    // The two limits, dashed, named at their right end.
    const auto limit = [&](double t, const char* cls, const char* name, double dy) {
        const std::string yt = px(y(t));
        std::string value = FixedText(t, 1);
        std::replace(value.begin(), value.end(), '.', ',');
        svg += "<line class=\"limite " + std::string(cls) + "\" x1=\"" + std::to_string(kLeft) +
               "\" y1=\"" + yt + "\" x2=\"" + std::to_string(kLeft + kPlotWidth) + "\" y2=\"" + yt +
               "\"/>";
        svg += "<text class=\"rotulo-limite " + std::string(cls) + "\" x=\"" +
               std::to_string(kLeft + kPlotWidth - 4) + "\" y=\"" + yt + "\" dy=\"" +
               FixedText(dy, 0) + "\" text-anchor=\"end\">" + name + " " + value + " " + unit +
               "</text>\n";
    };
    limit(high, "superior", "Limite superior", -5);
    limit(low, "inferior", "Limite inferior", 14);
    // The curve: each pixel column's lowest and highest reading.
    if (n > 0) {
        std::string points;
        points.reserve(16 * 2 * CHART_COLUMNS);
        for (const int i : ChartPoints(r.tenths, kPlotWidth)) {
            if (!points.empty()) {
                points += ' ';
            }
            points += px(x(i)) + "," + px(y(shown(r.stats.readings[i])));
        }
        svg += "<polyline class=\"curva\" points=\"" + points + "\"/>\n";
    }
    return svg + "</svg>\n";
}
