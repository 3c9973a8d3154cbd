#include "widgets/trend_chart.h"

#include <QDateTime>
#include <QDateTimeAxis>
#include <QHelpEvent>
#include <QLegendMarker>
#include <QLineSeries>
#include <QLocale>
#include <QMouseEvent>
#include <QPainter>
#include <QScatterSeries>
#include <QToolTip>
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
constexpr QRgb HiddenLabelColour = 0xa0a0a0;
constexpr double HiddenMarkerAlpha = 0.25;
constexpr double LineWidth = 1;
constexpr double MarkSize = 5;
constexpr double LonePointSize = 3;  // a reading between two failed reads
constexpr double WheelZoomIn = 0.8;
constexpr double SmallestValueRange = 1e-4;

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

double roundStep(double range) {
    const double rough = std::max(range, 0.01) / 6;  // a level line: steps of 1 mV
    const double power = std::pow(10.0, std::floor(std::log10(rough)));
    return rough / power < 2 ? power : rough / power < 5 ? 2 * power : 5 * power;
}

int decimalsOf(double step) {
    return std::max(0, static_cast<int>(-std::floor(std::log10(step))));
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

const char* const TrendChart::ZoomHelp =
    "Przeciągnij w poprzek wykresu: powiększenie czasu (wykres staje).\n"
    "Kółko myszy albo Shift i przeciąganie w pionie: powiększenie wartości.\n"
    "Prawy przycisk: pomniejszenie czasu. \"Resetuj powiększenie\": całość.\n"
    "Kliknięcie nazwy w legendzie ukrywa i pokazuje jej linię.";

TrendUnit trendUnit(int entry, int kind) {
    if (entry >= LineCount) return UnitImpulses;
    switch (kind) {
        case KindCelsius:
            return UnitCelsius;
        case KindVolts:
            return UnitVolts;
        case KindKelvin:
            return UnitKelvin;
        default:
            return UnitNumber;
    }
}

ValueScale valueScale(double low, double high) {
    const double step = roundStep(high - low);
    // A value on a whole step moves the end a step out: no line on the frame.
    double first = std::floor(low / step) * step;
    if (first >= low) first -= step;
    double last = std::ceil(high / step) * step;
    if (last <= high) last += step;
    return {first, last, step, decimalsOf(step)};
}

ValueScale zoomedScale(double low, double high) {
    const double step = roundStep(high - low);
    return {low, high, step, decimalsOf(step)};
}

TrendChart::TrendChart(const TrendBuffer& trend,
                       const std::array<ChannelConfig, EntryCount>& channels,
                       const QString& moduleName, QWidget* parent)
    : QChartView(new QChart, parent), trend_(trend), channels_(channels), moduleName_(moduleName) {
    // The view owns the chart given to its constructor; one given later by
    // setChart would leave the view's first chart to leak.
    QChart* chart = this->chart();
    chart->legend()->setAlignment(Qt::AlignRight);
    chart->setMargins(QMargins(4, 4, 4, 4));
    chart->setLocale(QLocale(QLocale::Polish, QLocale::Poland));  // decimal comma on the axes
    chart->setLocalizeNumbers(true);
    timeAxis_ = new QDateTimeAxis;
    timeAxis_->setFormat("HH:mm:ss");
    timeAxis_->setTickCount(FreeTimeTicks);
    chart->addAxis(timeAxis_, Qt::AlignBottom);
    for (int unit = 0; unit < UnitCount; ++unit) {
        valueAxes_[unit] = new QValueAxis;
        valueAxes_[unit]->setTitleText(TrendUnitTitles[unit]);
        valueAxes_[unit]->setVisible(false);
        chart->addAxis(valueAxes_[unit], Qt::AlignLeft);
    }
    for (int entry = 0; entry < EntryCount; ++entry) {
        lines_[entry] = new QLineSeries;
        lines_[entry]->setName(QString::fromStdString(channels_[entry].name));
        chart->addSeries(lines_[entry]);
        // After addSeries, which gives the series the theme's colour.
        lines_[entry]->setColor(seriesColour(entry));
        lines_[entry]->attachAxis(timeAxis_);
        attachedUnit_[entry] = -1;
        shown_[entry] = true;
        for (QLegendMarker* marker : chart->legend()->markers(lines_[entry]))
            connect(marker, &QLegendMarker::clicked, this,
                    [this, entry] { setSeriesShown(entry, !shown_[entry]); });
    }
    // The legend's key to the marks of values beyond their bars.
    auto* beyond = new QScatterSeries;
    beyond->setName("poza zakresem");
    chart->addSeries(beyond);
    beyond->setColor(QColor(BeyondColour));
    beyond->setBorderColor(QColor(BeyondColour));
    beyond->setMarkerShape(QScatterSeries::MarkerShapeRectangle);
    setRubberBand(QChartView::HorizontalRubberBand);
    viewport()->setMouseTracking(true);
    setMinimumSize(640, 360);
    follow();
}

QColor TrendChart::seriesColour(int entry) {
    return QColor(SeriesColours[static_cast<std::size_t>(entry)]);
}

void TrendChart::setModuleName(const QString& moduleName) {
    moduleName_ = moduleName;
    showTitle();
}

// A hidden series keeps its legend entry, faded, to be clicked again.
void TrendChart::setSeriesShown(int entry, bool shown) {
    shown_[entry] = shown;
    QColor colour = seriesColour(entry);
    if (!shown) colour.setAlphaF(HiddenMarkerAlpha);
    for (QLegendMarker* marker : chart()->legend()->markers(lines_[entry])) {
        marker->setBrush(colour);
        marker->setPen(QPen(colour));
        marker->setLabelBrush(shown ? palette().text().color() : QColor(HiddenLabelColour));
    }
    draw(from_, to_, timeAxis_->tickCount());
}

void TrendChart::setSpan(std::int64_t seconds) {
    span_ = seconds;
    showSpan(paused_ ? pausedAt_ : newestTime());
}

void TrendChart::setPaused(bool paused) {
    if (paused == paused_) return;
    paused_ = paused;
    pausedAt_ = std::min(to_, newestTime());
    if (!paused) follow();
    emit pausedChanged(paused);
}

void TrendChart::resetZoom() {
    valueZoom_.fill(std::nullopt);
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

// Name and axis change the legend and the layout, which take their time:
// only when they changed.
void TrendChart::showSeries(int entry) {
    QLineSeries* series = lines_[entry];
    const QString name = QString::fromStdString(channels_[entry].name);
    if (series->name() != name) series->setName(name);
    const int unit = trendUnit(entry, channels_[entry].kind);
    if (attachedUnit_[entry] == unit) return;
    if (attachedUnit_[entry] >= 0) series->detachAxis(valueAxes_[attachedUnit_[entry]]);
    series->attachAxis(valueAxes_[unit]);
    attachedUnit_[entry] = unit;
}

// The readings from..to thinned to the plot's width: the shown series in
// pieces between failed reads, the marks of values beyond their bars, and
// the axes around them.
void TrendChart::draw(std::int64_t from, std::int64_t to, int timeTicks) {
    from_ = from;
    to_ = std::max(to, from + 1);
    const int columns = std::max(1, static_cast<int>(chart()->plotArea().width()));
    const auto points = decimate(trend_, from_, to_, columns);
    std::array<ValueRange, UnitCount> ranges;
    ranges.fill({std::numeric_limits<double>::max(), std::numeric_limits<double>::lowest()});
    for (int entry = 0; entry < EntryCount; ++entry) {
        showSeries(entry);
        takePoints(entry, points[entry], ranges);
    }
    showAxes(ranges);
    if (timeAxis_->tickCount() != timeTicks) timeAxis_->setTickCount(timeTicks);
    timeAxis_->setRange(timeAt(from_), timeAt(to_));
    showTitle();
    repaintPlot();
}

void TrendChart::takePoints(int entry, const std::vector<TrendPoint>& points,
                            std::array<ValueRange, UnitCount>& ranges) {
    std::vector<QPolygonF>& pieces = drawn_[entry];
    pieces.clear();
    beyondDrawn_[entry].clear();
    if (!shown_[entry]) return;
    const ChannelConfig& channel = channels_[entry];
    ValueRange& range = ranges[attachedUnit_[entry]];
    bool broken = true;
    for (const TrendPoint& point : points) {
        if (point.raw == GapRaw) {
            broken = true;
            continue;
        }
        if (broken) pieces.emplace_back();
        broken = false;
        const QPointF at(static_cast<double>(point.time),
                         entryValue(entry, point.raw, channel.kind));
        pieces.back().append(at);
        range.low = std::min(range.low, at.y());
        range.high = std::max(range.high, at.y());
        if (beyondBar(channel, point.raw)) beyondDrawn_[entry].append(at);
    }
}

// An axis for each unit of a shown series, on round values around the
// values drawn, or where a zoom put it. The grid follows the first axis
// alone: one set of lines across the plot.
void TrendChart::showAxes(const std::array<ValueRange, UnitCount>& ranges) {
    bool gridShown = false;
    for (int unit = 0; unit < UnitCount; ++unit) {
        bool used = false;
        for (int entry = 0; entry < EntryCount; ++entry)
            used = used || (shown_[entry] && attachedUnit_[entry] == unit);
        ValueRange range = ranges[unit];
        if (range.low > range.high) range = {0, 0};
        const ValueScale scale = valueZoom_[unit]
                                     ? zoomedScale(valueZoom_[unit]->low, valueZoom_[unit]->high)
                                     : valueScale(range.low, range.high);
        QValueAxis* axis = valueAxes_[unit];
        // A zoom of the chart's own may have moved the axis as well.
        if (scale != shownScales_[unit] || axis->min() != scale.low || axis->max() != scale.high) {
            shownScales_[unit] = scale;
            showValueScale(axis, scale);
        }
        if (axis->isVisible() != used) axis->setVisible(used);
        const bool grid = used && !gridShown;
        if (axis->isGridLineVisible() != grid) axis->setGridLineVisible(grid);
        gridShown = gridShown || grid;
    }
}

// The module and the date (or the dates) shown, in the picture saved too.
void TrendChart::showTitle() {
    const QString first = timeAt(from_).toString("yyyy-MM-dd");
    const QString last = timeAt(to_).toString("yyyy-MM-dd");
    const QString title = moduleName_ + ", " + (first == last ? first : first + " – " + last);
    if (chart()->title() != title) chart()->setTitle(title);
}

// The plot alone is painted again, and only from the last reading drawn on
// when nothing else changed; the axes repaint themselves.
void TrendChart::repaintPlot() {
    PlotLayout layout{from_, to_, shownScales_, shown_, {}};
    for (int entry = 0; entry < EntryCount; ++entry)
        layout.lines[entry] = {channels_[entry].kind, channels_[entry].min, channels_[entry].max};
    QRectF dirty = chart()->mapRectToScene(chart()->plotArea());
    if (layout == drawnLayout_ && drawnUntil_ >= from_ && !cursorTime_)
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
// milliseconds a tick. The series stay, empty, for the legend and the axes.
void TrendChart::drawForeground(QPainter* painter, const QRectF& rect) {
    QChartView::drawForeground(painter, rect);
    const QRectF plot = chart()->mapRectToScene(chart()->plotArea());
    const double xScale = plot.width() / static_cast<double>(to_ - from_);
    painter->save();
    painter->setClipRect(plot, Qt::IntersectClip);
    painter->setRenderHint(QPainter::Antialiasing, false);  // crisp, and a third faster
    QPolygonF line;
    for (int entry = 0; entry < EntryCount; ++entry) {
        if (drawn_[entry].empty()) continue;
        const ValueScale& scale = shownScales_[attachedUnit_[entry]];
        const double yScale = plot.height() / (scale.high - scale.low);
        const auto toPlot = [&](const QPointF& at) {
            return QPointF(plot.left() + (at.x() - static_cast<double>(from_)) * xScale,
                           plot.bottom() - (at.y() - scale.low) * yScale);
        };
        QPen pen(seriesColour(entry), LineWidth);
        pen.setCosmetic(true);  // the fast stroker of thin lines
        painter->setPen(pen);
        for (const QPolygonF& piece : drawn_[entry]) {
            if (piece.size() == 1) {
                const QPointF centre = toPlot(piece.front());
                painter->fillRect(QRectF(centre - QPointF(LonePointSize / 2, LonePointSize / 2),
                                         QSizeF(LonePointSize, LonePointSize)),
                                  seriesColour(entry));
                continue;
            }
            line.resize(piece.size());
            std::transform(piece.cbegin(), piece.cend(), line.begin(), toPlot);
            painter->drawPolyline(line);
        }
        for (const QPointF& at : beyondDrawn_[entry])
            painter->fillRect(QRectF(toPlot(at) - QPointF(MarkSize / 2, MarkSize / 2),
                                     QSizeF(MarkSize, MarkSize)),
                              QColor(BeyondColour));
    }
    drawCursor(painter, plot);
    painter->restore();
}

// A line at the reading nearest the cursor and beside it a box with the
// time and every shown series' value, each name in its series' colour.
void TrendChart::drawCursor(QPainter* painter, const QRectF& plot) const {
    const QStringList texts = cursorReadings();
    if (texts.isEmpty()) return;
    const std::int64_t time = trend_[*readingAt(*cursorTime_)].time;
    const double x = plot.left() + plot.width() * static_cast<double>(time - from_) /
                                       static_cast<double>(to_ - from_);
    painter->setPen(QPen(QColor(0x606060), 1, Qt::DashLine));
    painter->drawLine(QPointF(x, plot.top()), QPointF(x, plot.bottom()));

    const QFontMetrics metrics(font());
    const double swatch = metrics.height() * 0.6;
    double width = 0;
    for (const QString& text : texts)
        width = std::max<double>(width, metrics.horizontalAdvance(text));
    width += swatch + 16;
    const double height = metrics.lineSpacing() * static_cast<double>(texts.size()) + 8;
    double left = x + 8;
    if (left + width > plot.right()) left = std::max(plot.left(), x - 8 - width);
    const QRectF box(left, plot.top() + 4, width, height);
    painter->setPen(QColor(0xa0a0a0));
    painter->setBrush(QColor(255, 255, 255, 235));
    painter->drawRect(box);
    painter->setPen(palette().text().color());
    int entry = -1;  // the series of each row after the time's
    for (qsizetype row = 0; row < texts.size(); ++row) {
        const QRectF place(box.left() + 8 + swatch,
                           box.top() + 4 + static_cast<double>(row) * metrics.lineSpacing(), width,
                           metrics.lineSpacing());
        if (row > 0) {
            do ++entry;
            while (!shown_[entry]);
            painter->fillRect(
                QRectF(box.left() + 4, place.center().y() - swatch / 2, swatch, swatch),
                seriesColour(entry));
        }
        painter->drawText(place, Qt::AlignLeft | Qt::AlignVCenter, texts[row]);
    }
}

void TrendChart::mousePressEvent(QMouseEvent* event) {
    valueDrag_ =
        event->button() == Qt::LeftButton && event->modifiers().testFlag(Qt::ShiftModifier);
    setRubberBand(valueDrag_ ? QChartView::VerticalRubberBand : QChartView::HorizontalRubberBand);
    QChartView::mousePressEvent(event);
}

void TrendChart::mouseReleaseEvent(QMouseEvent* event) {
    QChartView::mouseReleaseEvent(event);
    if (valueDrag_) {
        // The rubber band zoomed every value axis into the band.
        valueDrag_ = false;
        for (int unit = 0; unit < UnitCount; ++unit) {
            const QValueAxis* axis = valueAxes_[unit];
            if (axis->isVisible() &&
                (axis->min() != shownScales_[unit].low || axis->max() != shownScales_[unit].high))
                valueZoom_[unit] = ValueRange{axis->min(), axis->max()};
        }
        draw(from_, to_, timeAxis_->tickCount());
        return;
    }
    // The rubber band zoomed into a stretch of time (or the right button
    // out): draw that stretch in full detail and stay there.
    const std::int64_t from = timeAxis_->min().toSecsSinceEpoch();
    const std::int64_t to = timeAxis_->max().toSecsSinceEpoch();
    if (from == from_ && to == to_) return;
    if (!paused_) setPaused(true);
    draw(from, to, FreeTimeTicks);
}

// Each notch zooms every value axis about the value under the cursor.
void TrendChart::wheelEvent(QWheelEvent* event) {
    const QRectF plot = chart()->mapRectToScene(chart()->plotArea());
    const QPointF at = mapToScene(event->position().toPoint());
    if (!plot.contains(at) || event->angleDelta().y() == 0) return QChartView::wheelEvent(event);
    const double factor = event->angleDelta().y() > 0 ? WheelZoomIn : 1 / WheelZoomIn;
    const double fraction = (plot.bottom() - at.y()) / plot.height();
    for (int unit = 0; unit < UnitCount; ++unit) {
        if (!valueAxes_[unit]->isVisible()) continue;
        const ValueScale& shown = shownScales_[unit];
        const double range = std::max((shown.high - shown.low) * factor, SmallestValueRange);
        const double pivot = shown.low + fraction * (shown.high - shown.low);
        valueZoom_[unit] = ValueRange{pivot - fraction * range, pivot + (1 - fraction) * range};
    }
    draw(from_, to_, timeAxis_->tickCount());
    event->accept();
}

void TrendChart::mouseMoveEvent(QMouseEvent* event) {
    QChartView::mouseMoveEvent(event);
    std::optional<std::int64_t> time;
    if (inPlot(event->position())) {
        const QRectF plot = chart()->mapRectToScene(chart()->plotArea());
        const double part =
            (mapToScene(event->position().toPoint()).x() - plot.left()) / plot.width();
        time = from_ + std::llround(part * static_cast<double>(to_ - from_));
    }
    if (time == cursorTime_) return;
    cursorTime_ = time;
    viewport()->update();
}

void TrendChart::leaveEvent(QEvent* event) {
    QChartView::leaveEvent(event);
    cursorTime_.reset();
    viewport()->update();
}

// How to zoom, over the axes, the title and the legend: over the plot the
// cursor's box has the place.
bool TrendChart::viewportEvent(QEvent* event) {
    if (event->type() != QEvent::ToolTip) return QChartView::viewportEvent(event);
    const auto* help = static_cast<QHelpEvent*>(event);
    if (inPlot(help->pos()))
        QToolTip::hideText();
    else
        QToolTip::showText(help->globalPos(), ZoomHelp, viewport());
    return true;
}

bool TrendChart::inPlot(const QPointF& viewPosition) const {
    return chart()
        ->mapRectToScene(chart()->plotArea())
        .contains(mapToScene(viewPosition.toPoint()));
}

void TrendChart::resizeEvent(QResizeEvent* event) {
    QChartView::resizeEvent(event);
    draw(from_, to_, timeAxis_->tickCount());
}

// The reading nearest in time, when it lies in the time shown.
std::optional<std::size_t> TrendChart::readingAt(std::int64_t time) const {
    if (trend_.empty()) return std::nullopt;
    std::size_t index = trend_.firstAtOrAfter(time);
    if (index == trend_.size() ||
        (index > 0 && time - trend_[index - 1].time < trend_[index].time - time))
        --index;
    if (trend_[index].time < from_ || trend_[index].time > to_) return std::nullopt;
    return index;
}

QStringList TrendChart::cursorReadings() const {
    if (!cursorTime_) return {};
    const auto index = readingAt(*cursorTime_);
    if (!index) return {};
    const TrendReading& reading = trend_[*index];
    QStringList texts{QString::fromStdString(formatDateTime(localTimeOf(reading.time)))};
    for (int entry = 0; entry < EntryCount; ++entry) {
        if (!shown_[entry]) continue;
        const ChannelConfig& channel = channels_[entry];
        const int raw = reading.raw[entry];
        QString value = reading.failed
                            ? QString("???")
                            : QString::fromStdString(entryReading(entry, raw, channel.kind).text);
        if (!reading.failed && beyondBar(channel, raw)) value += "  (poza zakresem)";
        texts << QString::fromStdString(channel.name) + ": " + value;
    }
    return texts;
}

}  // namespace dkq
