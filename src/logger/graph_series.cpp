#include "logger/graph_series.h"

#include <algorithm>

#include "logger/readings.h"

GraphSeries graph_series;

static int PackTime(const CALENDAR& c) {
    return c.h << 16 | c.m << 8 | c.s;
}

static int PackDate(const CALENDAR& c) {
    return c.day << 16 | c.month << 8 | static_cast<int>(c.year);
}

// The graph labels carry two-digit years; `cal` keeps them from the first reading on.
static void KeepTwoDigitYear(CALENDAR& c) {
    if (c.year > 99) {
        c.year %= 100;
    }
}

// Means of whole blocks of `decimation` entries; a last partial block is dropped.
static std::vector<int> Reduce(const std::vector<int>& series, int decimation) {
    if (decimation <= 1) {
        return series;
    }
    const int blocks = static_cast<int>(series.size()) / decimation;
    std::vector<int> shown(blocks);
    for (int b = 0; b < blocks; ++b) {
        // 64 bits: refused temperatures (-99999999) summed over a block overflow an int.
        long long sum = 0;
        for (int k = 0; k < decimation; ++k) {
            sum += series[b * decimation + k];
        }
        shown[b] = static_cast<int>(sum / decimation);
    }
    return shown;
}

bool GraphData(const MemoryImage& dado_in, int width, int height, TimeBase base) {
    GraphSeries g;
    const int n = ImageReadingCount(dado_in);
    g.graph_points = n;

    const int low = ImageTemp_x10(dado_in, BigEndian16(&dado_in[OFF_T_LOW]));
    const int high = ImageTemp_x10(dado_in, BigEndian16(&dado_in[OFF_T_HIGH]));

    g.scaley = std::max(1, (height - GRAPH_MARGIN) / GRAPH_DEGREES_SPANNED);
    g.scalex = n > 0 ? (width - GRAPH_MARGIN) / n : 0;
    g.scalex = std::max(g.scalex, GRAPH_MIN_SCALEX);
    // Without a window the plot is empty; one display point then stands for everything.
    const int fits = std::clamp((width - GRAPH_MARGIN) / g.scalex, 1, GRAPH_DISPLAY_MAX);
    g.decimation = fits < n ? (n + fits - 1) / fits : 1;

    g.hour.reserve(n);
    g.date.reserve(n);
    g.data1.reserve(n);
    ForEachReading(dado_in, base, [&](int, int ad) {
        g.hour.push_back(PackTime(cal));
        KeepTwoDigitYear(cal);
        g.date.push_back(PackDate(cal));
        g.data1.push_back(ImageTemp_x10(dado_in, ad));
    });
    g.data2.assign(n, low);
    g.data3.assign(n, high);
    CalcDate(n, ImageSampleRate(dado_in));
    KeepTwoDigitYear(cal);

    g.datashow1 = Reduce(g.data1, g.decimation);
    g.datashow2 = Reduce(g.data2, g.decimation);
    g.datashow3 = Reduce(g.data3, g.decimation);
    graph_series = std::move(g);
    return true;
}
