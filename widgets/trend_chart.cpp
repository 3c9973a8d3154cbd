#include "widgets/trend_chart.h"

#include <QDateTime>
#include <QDateTimeAxis>
#include <QLegendMarker>
#include <QLineSeries>
#include <QLocale>
#include <QMouseEvent>
#include <QPainter>
#include <QScatterSeries>
#include <QValueAxis>
#include <algorithm>
#include <cmath>
#include <ctime>
#include <limits>

#include "common/text.h"

namespace dkq {
namespace {

// Twenty colours told apart on a white chart: the lines, then the counters.
constexpr std::array<QRgb, EntryCount> SeriesColours = {
    0x1f77b4, 0xff7f0e, 0x2ca02c, 0x9467bd, 0x8c564b, 0xe377c2, 0x7f7f7f,
    0xbcbd22, 0x17becf, 0x393b79, 0x637939, 0x8c6d31, 0x843c39, 0x7b4173,
    0x3182bd, 0x31a354, 0x000000, 0x6b6ecf, 0xe6550d, 0x969696};
constexpr QRgb BeyondColour = 0xc00000;  // as the alarm labels
constexpr double LineWidth = 1;
constexpr double MarkSize = 5;

constexpr int FreeTimeTicks = 7;  // everything since START, a zoom

// The step of the time axis for a span: the shortest round one that cuts
// the span into at most eight.
std::int64_t timeStep(std::int64_t span) {
    constexpr std::array<std::int64_t, 15> Steps = {1,   2,   5,   10,   15,   30,   60,   120,
                                                    300, 600, 900, 1800, 3600, 7200, 10800};
    const auto step = std::find_if(Steps.begin(), Steps.end(),
                                   [span](std::int64_t step) { return 8 * step >= span; });
    return step == Steps.end() ? Steps.back() : *step;
}

std::int64_t floorToStep(std::int64_t time, std::int64_t step) {
    return time - ((time % step) + step) % step;
}

QDateTime timeAt(std::int64_t time) {
    return QDateTime::fromSecsSinceEpoch(time);
}

// Fixed ticks while range and step change: the old step over the new range
// (or the new over the old) could ask for millions of ticks.
void showValueScale(QValueAxis* axis, const ValueScale& scale) {
    axis->setTickType(QValueAxis::TicksFixed);
    axis->setRange(scale.low, scale.high);
    axis->setTickAnchor(0);
    axis->setTickInterval(scale.step);
    axis->setLabelFormat(QString("%.%1f").arg(scale.decimals));
    axis->setTickType(QValueAxis::TicksDynamic);
}

}  // namespace

ValueScale valueScale(double low, double high) {
    const double rough = std::max(high - low, 0.01) / 6;  // a level line: steps of 1 mV
    const double power = std::pow(10.0, std::floor(std::log10(rough)));
    const double step = rough / power < 2 ? power : rough / power < 5 ? 2 * power : 5 * power;
    // A value on a whole step moves the end a step out: no line on the frame.
    double first = std::floor(low / step) * step;
    if (first >= low) first -= step;
    double last = std::ceil(high / step) * step;
    if (last <= high) last += step;
    return {first, last, step, std::max(0, static_cast<int>(-std::floor(std::log10(step))))};
}

TrendChart::TrendChart(const TrendBuffer& trend,
                       const std::array<ChannelConfig, EntryCount>& channels, QWidget* parent)
    : QChartView(new QChart, parent), trend_(trend), channels_(channels) {
    // The view owns the chart given to its constructor; one given later by
    // setChart would leave the view's first chart to leak.
    QChart* chart = this->chart();
    chart->legend()->setAlignment(Qt::AlignRight);
    chart->setMargins(QMargins(4, 4, 4, 4));
    chart->setLocale(QLocale(QLocale::Polish, QLocale::Poland));  // decimal comma on the axis
    chart->setLocalizeNumbers(true);
    timeAxis_ = new QDateTimeAxis;
    timeAxis_->setFormat("HH:mm:ss");
    timeAxis_->setTickCount(FreeTimeTicks);
    valueAxis_ = new QValueAxis;
    chart->addAxis(timeAxis_, Qt::AlignBottom);
    chart->addAxis(valueAxis_, Qt::AlignLeft);
    for (int entry = 0; entry < EntryCount; ++entry) {
        lines_[entry] = new QLineSeries;
        lines_[entry]->setColor(seriesColour(entry));
        lines_[entry]->setName(QString::fromStdString(channels_[entry].name));
        chart->addSeries(lines_[entry]);
        lines_[entry]->attachAxis(timeAxis_);
        lines_[entry]->attachAxis(valueAxis_);
        shown_[entry] = true;
    }
    // The legend's key to the marks of values beyond their bars.
    auto* beyond = new QScatterSeries;
    beyond->setName("poza zakresem");
    beyond->setColor(QColor(BeyondColour));
    beyond->setBorderColor(QColor(BeyondColour));
    beyond->setMarkerShape(QScatterSeries::MarkerShapeRectangle);
    chart->addSeries(beyond);
    setRubberBand(QChartView::HorizontalRubberBand);
    viewport()->setMouseTracking(true);
    setMinimumSize(640, 360);
    follow();
}

QColor TrendChart::seriesColour(int entry) {
    return QColor(SeriesColours[static_cast<std::size_t>(entry)]);
}

void TrendChart::setSeriesShown(int entry, bool shown) {
    shown_[entry] = shown;
    draw(from_, to_, timeAxis_->tickCount());
}

void TrendChart::setSpan(std::int64_t seconds) {
    span_ = seconds;
    resetZoom();
}

void TrendChart::setPaused(bool paused) {
    if (paused == paused_) return;
    paused_ = paused;
    pausedAt_ = std::min(to_, newestTime());
    if (!paused) follow();
    emit pausedChanged(paused);
}

void TrendChart::resetZoom() {
    showSpan(paused_ ? pausedAt_ : newestTime());
}

void TrendChart::follow() {
    if (!paused_) showSpan(newestTime());
}

// The span up to the reading at `newest`. With a span chosen the chart ends
// at the next whole step of its time axis and starts a whole number of steps
// earlier, at most the span and not before the step of the first reading:
// the axis moves a step at a time with its ticks on round times, and lays
// its labels out anew once a step rather than at every tick. Until the
// readings fill the span, the steps suit the stretch they fill.
void TrendChart::showSpan(std::int64_t newest) {
    const std::int64_t first = trend_.empty() ? newest : trend_[0].time;
    if (span_ <= 0) {
        draw(first, newest, FreeTimeTicks);
        return;
    }
    const std::int64_t step = timeStep(std::min(span_, newest - first));
    const std::int64_t start = floorToStep(first, step);
    const std::int64_t end = std::max(floorToStep(newest + step - 1, step), start + step);
    const std::int64_t from = std::max(end - span_, start);
    draw(from, end, static_cast<int>((end - from) / step) + 1);
}

std::int64_t TrendChart::newestTime() const {
    return trend_.empty() ? static_cast<std::int64_t>(std::time(nullptr)) : trend_.newest().time;
}

// Name and visibility change the legend, which takes its time: only when
// they changed.
void TrendChart::showSeries(int entry) {
    QLineSeries* series = lines_[entry];
    const QString name = QString::fromStdString(channels_[entry].name);
    if (series->name() != name) series->setName(name);
    if (series->isVisible() == shown_[entry]) return;
    series->setVisible(shown_[entry]);
    for (QLegendMarker* marker : chart()->legend()->markers(series))
        marker->setVisible(shown_[entry]);
}

// The readings from..to thinned to the plot's width: the shown series, the
// marks of values beyond their bars, and the axes around them.
void TrendChart::draw(std::int64_t from, std::int64_t to, int timeTicks) {
    from_ = from;
    to_ = std::max(to, from + 1);
    const int columns = std::max(1, static_cast<int>(chart()->plotArea().width()));
    const auto points = decimate(trend_, from_, to_, columns);
    beyondDrawn_.clear();
    double low = std::numeric_limits<double>::max();
    double high = std::numeric_limits<double>::lowest();
    for (int entry = 0; entry < EntryCount; ++entry) {
        const ChannelConfig& channel = channels_[entry];
        QPolygonF& line = drawn_[entry];
        line.clear();
        if (shown_[entry]) {
            line.reserve(static_cast<qsizetype>(points[entry].size()));
            for (const TrendPoint& point : points[entry]) {
                const QPointF at(static_cast<double>(point.time),
                                 entryValue(entry, point.raw, channel.kind));
                line.append(at);
                low = std::min(low, at.y());
                high = std::max(high, at.y());
                if (beyondBar(channel, point.raw)) beyondDrawn_.append(at);
            }
        }
        showSeries(entry);
    }
    if (low > high) low = high = 0;
    // A zoom of the chart's own may have moved the axis as well.
    if (const ValueScale scale = valueScale(low, high);
        scale != shownScale_ || valueAxis_->min() != scale.low || valueAxis_->max() != scale.high) {
        shownScale_ = scale;
        showValueScale(valueAxis_, scale);
    }
    if (timeAxis_->tickCount() != timeTicks) timeAxis_->setTickCount(timeTicks);
    timeAxis_->setRange(timeAt(from_), timeAt(to_));
    // The plot alone is painted again, and only from the last reading drawn
    // on when nothing else changed; the axes repaint themselves.
    PlotLayout layout{from_, to_, shownScale_, shown_, {}};
    for (int entry = 0; entry < EntryCount; ++entry)
        layout.lines[entry] = {channels_[entry].kind, channels_[entry].min, channels_[entry].max};
    QRectF dirty = chart()->mapRectToScene(chart()->plotArea());
    if (layout == drawnLayout_ && drawnUntil_ >= from_)
        dirty.setLeft(dirty.left() - 2 * MarkSize +
                      dirty.width() * static_cast<double>(drawnUntil_ - from_) /
                          static_cast<double>(to_ - from_));
    drawnLayout_ = layout;
    drawnUntil_ = trend_.empty() ? from_ : trend_.newest().time;
    viewport()->update(mapFromScene(dirty).boundingRect().adjusted(-2, -2, 2, 2));
}

// The lines and marks are painted over the chart's plot area here rather
// than handed to Qt Charts as point series: its series build a hit-test
// outline of every line on every change, which at 20 series costs tens of
// milliseconds a tick. The series stay, empty, for the legend.
void TrendChart::drawForeground(QPainter* painter, const QRectF& rect) {
    QChartView::drawForeground(painter, rect);
    const QRectF plot = chart()->mapRectToScene(chart()->plotArea());
    const double xScale = plot.width() / static_cast<double>(to_ - from_);
    const double yScale = plot.height() / (valueAxis_->max() - valueAxis_->min());
    const auto toPlot = [&](const QPointF& at) {
        return QPointF(plot.left() + (at.x() - static_cast<double>(from_)) * xScale,
                       plot.bottom() - (at.y() - valueAxis_->min()) * yScale);
    };
    painter->save();
    painter->setClipRect(plot, Qt::IntersectClip);
    painter->setRenderHint(QPainter::Antialiasing, false);  // crisp, and a third faster
    QPolygonF line;
    for (int entry = 0; entry < EntryCount; ++entry) {
        line.resize(drawn_[entry].size());
        std::transform(drawn_[entry].cbegin(), drawn_[entry].cend(), line.begin(), toPlot);
        QPen pen(seriesColour(entry), LineWidth);
        pen.setCosmetic(true);  // the fast stroker of thin lines
        painter->setPen(pen);
        painter->drawPolyline(line);
    }
    for (const QPointF& at : beyondDrawn_)
        painter->fillRect(
            QRectF(toPlot(at) - QPointF(MarkSize / 2, MarkSize / 2), QSizeF(MarkSize, MarkSize)),
            QColor(BeyondColour));
    painter->restore();
}

void TrendChart::mouseReleaseEvent(QMouseEvent* event) {
    QChartView::mouseReleaseEvent(event);
    // The rubber band zoomed in (or the right button out): draw that stretch
    // in full detail and stay there.
    const std::int64_t from = timeAxis_->min().toSecsSinceEpoch();
    const std::int64_t to = timeAxis_->max().toSecsSinceEpoch();
    if (from == from_ && to == to_) return;
    if (!paused_) setPaused(true);
    draw(from, to, FreeTimeTicks);
}

void TrendChart::mouseMoveEvent(QMouseEvent* event) {
    QChartView::mouseMoveEvent(event);
    const QPointF inChart = chart()->mapFromScene(mapToScene(event->position().toPoint()));
    if (chart()->plotArea().contains(inChart))
        emit pointed(pointedText(chart()->mapToValue(inChart)));
}

void TrendChart::resizeEvent(QResizeEvent* event) {
    QChartView::resizeEvent(event);
    draw(from_, to_, timeAxis_->tickCount());
}

// The reading nearest in time; of it, the shown series nearest in value.
QString TrendChart::pointedText(const QPointF& value) const {
    if (trend_.empty()) return {};
    const auto time = static_cast<std::int64_t>(std::llround(value.x() / 1000));  // axis in ms
    std::size_t index = trend_.firstAtOrAfter(time);
    if (index == trend_.size() ||
        (index > 0 && time - trend_[index - 1].time < trend_[index].time - time))
        --index;
    if (trend_[index].time < from_ || trend_[index].time > to_) return {};
    const TrendReading& reading = trend_[index];
    int nearest = -1;
    double distance = std::numeric_limits<double>::max();
    for (int entry = 0; entry < EntryCount; ++entry) {
        if (!shown_[entry]) continue;
        const double gap =
            std::abs(entryValue(entry, reading.raw[entry], channels_[entry].kind) - value.y());
        if (gap < distance) {
            distance = gap;
            nearest = entry;
        }
    }
    QString text = QString::fromStdString(formatDateTime(localTimeOf(reading.time)));
    if (nearest < 0) return text;
    const ChannelConfig& channel = channels_[nearest];
    const int raw = reading.raw[nearest];
    text += QString("   %1: %2")
                .arg(QString::fromStdString(channel.name),
                     QString::fromStdString(entryReading(nearest, raw, channel.kind).text));
    if (beyondBar(channel, raw)) text += "  (poza zakresem)";
    return text;
}

}  // namespace dkq
