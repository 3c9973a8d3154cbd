// The trend chart of one module: its lines and counters over time, one
// colour each, every unit on a value axis of its own (°C, V, K, NUM, imp),
// a failed read drawn as a break in the lines, values beyond their bar's
// range marked in red. It follows the newest readings over a chosen span,
// can be paused, zoomed in time by dragging and in value by the wheel or a
// drag with Shift, and reset; a cursor line tells every shown series' value
// at its time; legend entries hide and show their series. The title names
// the module and the date. A view only: it draws what the module's
// TrendBuffer holds.
#pragma once

#include <QChartView>
#include <QPolygonF>
#include <QStringList>
#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "monitor/trend_buffer.h"

class QDateTimeAxis;
class QLineSeries;
class QValueAxis;

namespace dkq {

// The units the chart has a value axis for, and their titles.
enum TrendUnit : int { UnitCelsius, UnitVolts, UnitKelvin, UnitNumber, UnitImpulses, UnitCount };
inline constexpr std::array<const char*, UnitCount> TrendUnitTitles = {"°C", "V", "K", "NUM",
                                                                       "imp"};
// Lines by their kind (an unknown kind shows its raw number), counters in impulses.
TrendUnit trendUnit(int entry, int kind);

// A value axis over low..high: ends and ticks on round values (1, 2 or 5
// times a power of ten, about six to the range), labelled with as many
// decimals as a step needs. Whole steps keep the axis still while the values
// move within them: a change of the axis lays its labels out anew, which
// costs more than drawing the lines. A zoomed axis keeps the ends it was
// given and ticks at the round steps within them.
struct ValueScale {
    double low = 0;
    double high = 0;
    double step = 0;
    int decimals = 0;
    bool operator==(const ValueScale&) const = default;
};
ValueScale valueScale(double low, double high);
ValueScale zoomedScale(double low, double high);

// All that decides where the plot's lines and marks lie but the readings:
// while it stays, a new reading changes the plot only right of the last one.
struct PlotLayout {
    std::int64_t from = 0;
    std::int64_t to = 0;
    std::array<ValueScale, UnitCount> scales{};
    std::array<bool, EntryCount> shown{};
    std::array<std::array<int, 3>, EntryCount> lines{};  // kind, min, max of each
    bool operator==(const PlotLayout&) const = default;
};

class TrendChart : public QChartView {
    Q_OBJECT

  public:
    // moduleName goes into the title, with the date shown.
    TrendChart(const TrendBuffer& trend, const std::array<ChannelConfig, EntryCount>& channels,
               const QString& moduleName, QWidget* parent = nullptr);

    static QColor seriesColour(int entry);
    // How the chart zooms, for its tooltip.
    static const char* const ZoomHelp;

    // The module named in the title.
    void setModuleName(const QString& moduleName);
    // A legend entry's click does this.
    void setSeriesShown(int entry, bool shown);
    const std::array<bool, EntryCount>& seriesShown() const { return shown_; }
    // Seconds shown up to the newest reading; 0: everything held (since START).
    void setSpan(std::int64_t seconds);
    // Paused, the chart stays where it is while readings come in.
    void setPaused(bool paused);
    bool paused() const { return paused_; }
    // From a zoom back to the whole span, where the chart follows (or stood
    // when it was paused), every value axis fitted to its values again.
    void resetZoom();
    // After every tick: draws the newest readings unless paused.
    void follow();
    // The time shown, in seconds since the epoch.
    std::int64_t shownFrom() const { return from_; }
    std::int64_t shownTo() const { return to_; }
    // What the cursor line tells: the time of the reading nearest the
    // cursor, then "name: value" of each shown series; empty without a cursor.
    QStringList cursorReadings() const;

  signals:
    // A zoom in time pauses the chart.
    void pausedChanged(bool paused);

  protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void leaveEvent(QEvent* event) override;
    bool viewportEvent(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void drawForeground(QPainter* painter, const QRectF& rect) override;

  private:
    struct ValueRange {
        double low = 0;
        double high = 0;
    };

    std::int64_t newestTime() const;
    void showSpan(std::int64_t newest);
    void draw(std::int64_t from, std::int64_t to, int timeTicks);
    void takePoints(int entry, const std::vector<TrendPoint>& points,
                    std::array<ValueRange, UnitCount>& ranges);
    void showAxes(const std::array<ValueRange, UnitCount>& ranges);
    void showSeries(int entry);
    void showTitle();
    void repaintPlot();
    bool inPlot(const QPointF& viewPosition) const;
    std::optional<std::size_t> readingAt(std::int64_t time) const;
    void drawCursor(QPainter* painter, const QRectF& plot) const;

    const TrendBuffer& trend_;
    const std::array<ChannelConfig, EntryCount>& channels_;
    QString moduleName_;
    std::array<QLineSeries*, EntryCount> lines_{};
    std::array<bool, EntryCount> shown_{};
    std::array<int, EntryCount> attachedUnit_{};
    QDateTimeAxis* timeAxis_ = nullptr;
    std::array<QValueAxis*, UnitCount> valueAxes_{};
    std::array<ValueScale, UnitCount> shownScales_{};
    std::array<std::optional<ValueRange>, UnitCount> valueZoom_{};
    std::int64_t span_ = 10 * 60;
    bool paused_ = false;
    std::int64_t pausedAt_ = 0;  // the newest reading shown when it was paused
    std::int64_t from_ = 0;      // what is drawn
    std::int64_t to_ = 0;
    bool valueDrag_ = false;  // the rubber band zooms the values
    std::optional<std::int64_t> cursorTime_;
    // What is drawn, as (seconds, value) in each series' unit: the pieces of
    // the shown series between failed reads, and the values beyond their bars.
    std::array<std::vector<QPolygonF>, EntryCount> drawn_;
    std::array<QPolygonF, EntryCount> beyondDrawn_;
    PlotLayout drawnLayout_;
    std::int64_t drawnUntil_ = 0;  // the newest reading drawn
};

}  // namespace dkq
