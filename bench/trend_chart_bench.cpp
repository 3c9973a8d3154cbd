// Trend chart benchmark, offscreen, a chart 1000 pixels wide holding a full
// day of readings of 20 series at one a second (86 400 readings):
// - the processor time to add one reading and draw the chart again, as every
//   tick does, for the spans a user chooses (goal: under 2 ms at 10 min);
// - the processor time to draw the whole day (goal: under 100 ms).
// Drawing is measured up to the painted window: thinning, the axes, and the
// repaint the chart asks for, as the event loop of the program does it.
// Usage: trend_chart_bench
#include <QApplication>
#include <cmath>
#include <cstdio>
#include <ctime>

#include "widgets/trend_chart.h"

namespace {

using namespace dkq;

constexpr int Seconds = 86400;
constexpr std::int64_t Start = 1767225600;  // 2026-01-01, any day will do
constexpr int ChartWidth = 1000;
constexpr int ChartHeight = 500;
constexpr int TickRounds = 200;
constexpr int DayRounds = 20;

// Smooth lines with a little noise, a counter counting: what a module gives.
std::array<std::int32_t, EntryCount> readingAt(int second) {
    std::array<std::int32_t, EntryCount> raw{};
    for (int entry = 0; entry < LineCount; ++entry)
        raw[entry] = 2000 + static_cast<int>(1500 * std::sin(second / (600.0 + 97 * entry))) +
                     (second * 7919 + entry * 104729) % 40;
    for (int counter = 0; counter < CounterCount; ++counter)
        raw[LineCount + counter] = (second / (counter + 1)) % 65536;
    return raw;
}

double cpuMs() {
    return 1000.0 * static_cast<double>(std::clock()) / CLOCKS_PER_SEC;
}

// The repaint the chart asked for, done by the event loop.
void repaint() {
    QCoreApplication::processEvents();
}

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    TrendBuffer trend;
    for (int second = 0; second < Seconds; ++second) trend.add(Start + second, readingAt(second));
    const auto channels = defaultChannels("A");
    TrendChart chart(trend, channels, "Moduł A");
    chart.resize(ChartWidth, ChartHeight);
    chart.show();
    repaint();
    // The plot itself 1000 pixels wide, the axis and the legend beside it.
    const int plotWidth = static_cast<int>(chart.chart()->plotArea().width());
    chart.resize(2 * ChartWidth - plotWidth, ChartHeight);
    repaint();

    int second = Seconds;
    for (const auto& [name, span] :
         {std::pair{"1 min", 60}, {"10 min", 600}, {"1 h", 3600}, {"8 h", 8 * 3600}, {"24 h", 0}}) {
        chart.setSpan(span);
        repaint();
        const double before = cpuMs();
        for (int round = 0; round < TickRounds; ++round, ++second) {
            trend.add(Start + second, readingAt(second));
            chart.follow();
            repaint();
        }
        std::printf("add one reading of 20 series and redraw, span %-6s: %6.2f ms CPU%s\n", name,
                    (cpuMs() - before) / TickRounds, span == 600 ? " (goal < 2 ms)" : "");
    }

    chart.setSpan(0);
    const double before = cpuMs();
    for (int round = 0; round < DayRounds; ++round) {
        chart.resetZoom();
        repaint();
    }
    std::printf(
        "redraw 24 h (%zu readings x 20 series), plot %d px wide: %6.2f ms CPU (goal < 100 ms)\n",
        trend.size(), static_cast<int>(chart.chart()->plotArea().width()),
        (cpuMs() - before) / DayRounds);
    return 0;
}
