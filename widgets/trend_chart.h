// The trend chart of one module: its lines and counters over time in the
// units the window shows, one colour each, values beyond their bar's range
// marked in red. It follows the newest readings over a chosen span, can be
// paused, zoomed by dragging across it and reset, and tells the value under
// the cursor. A view only: it draws what the module's TrendBuffer holds.
#pragma once

#include <QChartView>
#include <QPolygonF>
#include <array>
#include <cstdint>

#include "monitor/trend_buffer.h"

class QDateTimeAxis;
class QLineSeries;
class QValueAxis;

namespace dkq {

// The value axis over low..high: ends and ticks on round values (1, 2 or 5
// times a power of ten, about six to the range), labelled with as many
// decimals as a step needs. Whole steps keep the axis still while the values
// move within them: a change of the axis lays its labels out anew, which
// costs more than drawing the lines.
struct ValueScale {
    double low = 0;
    double high = 0;
    double step = 0;
    int decimals = 0;
    bool operator==(const ValueScale&) const = default;
};
ValueScale valueScale(double low, double high);

// All that decides where the plot's lines and marks lie but the readings:
// while it stays, a new reading changes the plot only right of the last one.
struct PlotLayout {
    std::int64_t from = 0;
    std::int64_t to = 0;
    ValueScale scale;
    std::array<bool, EntryCount> shown{};
    std::array<std::array<int, 3>, EntryCount> lines{};  // kind, min, max of each
    bool operator==(const PlotLayout&) const = default;
};

class TrendChart : public QChartView {
    Q_OBJECT

  public:
    TrendChart(const TrendBuffer& trend, const std::array<ChannelConfig, EntryCount>& channels,
               QWidget* parent = nullptr);

    static QColor seriesColour(int entry);

    void setSeriesShown(int entry, bool shown);
    // Seconds shown up to the newest reading; 0: everything held (since START).
    void setSpan(std::int64_t seconds);
    // Paused, the chart stays where it is while readings come in.
    void setPaused(bool paused);
    bool paused() const { return paused_; }
    // From a zoom back to the whole span, where the chart follows (or stood
    // when it was paused).
    void resetZoom();
    // After every tick: draws the newest readings unless paused.
    void follow();

  signals:
    // A zoom pauses the chart.
    void pausedChanged(bool paused);
    // What lies under the cursor: time, the nearest shown series and its value.
    void pointed(const QString& text);

  protected:
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void drawForeground(QPainter* painter, const QRectF& rect) override;

  private:
    std::int64_t newestTime() const;
    void showSpan(std::int64_t newest);
    void draw(std::int64_t from, std::int64_t to, int timeTicks);
    void showSeries(int entry);
    QString pointedText(const QPointF& value) const;

    const TrendBuffer& trend_;
    const std::array<ChannelConfig, EntryCount>& channels_;
    std::array<QLineSeries*, EntryCount> lines_{};
    std::array<bool, EntryCount> shown_{};
    QDateTimeAxis* timeAxis_ = nullptr;
    QValueAxis* valueAxis_ = nullptr;
    std::int64_t span_ = 10 * 60;
    bool paused_ = false;
    std::int64_t pausedAt_ = 0;  // the newest reading shown when it was paused
    std::int64_t from_ = 0;      // what is drawn
    std::int64_t to_ = 0;
    // What is drawn, as (seconds, value): the shown series and the values
    // beyond their bars.
    std::array<QPolygonF, EntryCount> drawn_;
    QPolygonF beyondDrawn_;
    ValueScale shownScale_;
    PlotLayout drawnLayout_;
    std::int64_t drawnUntil_ = 0;  // the newest reading drawn
};

}  // namespace dkq
