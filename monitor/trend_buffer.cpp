#include "monitor/trend_buffer.h"

#include <algorithm>

#include "common/text.h"

namespace dkq {

std::int64_t trendTime(const std::tm& local) {
    std::tm copy = local;
    return static_cast<std::int64_t>(std::mktime(&copy));
}

std::tm localTimeOf(std::int64_t time) {
    const auto seconds = static_cast<std::time_t>(time);
    std::tm local{};
#ifdef _WIN32
    localtime_s(&local, &seconds);
#else
    localtime_r(&seconds, &local);
#endif
    return local;
}

TrendBuffer::TrendBuffer(std::size_t capacity, std::int64_t keptSeconds)
    : capacity_(std::max<std::size_t>(capacity, 1)), keptSeconds_(keptSeconds) {}

void TrendBuffer::clear() {
    ring_.clear();
    ring_.shrink_to_fit();
    oldest_ = 0;
    size_ = 0;
}

void TrendBuffer::add(std::int64_t time, const std::array<std::int32_t, EntryCount>& raw) {
    TrendReading reading;
    reading.time = time;
    for (int entry = 0; entry < EntryCount; ++entry)
        reading.raw[entry] = static_cast<std::uint16_t>(raw[entry]);
    append(reading);
}

void TrendBuffer::addFailedRead(std::int64_t time) {
    TrendReading reading;
    reading.time = time;
    reading.failed = true;
    append(reading);
}

void TrendBuffer::append(const TrendReading& given) {
    TrendReading reading = given;
    if (!empty()) reading.time = std::max(reading.time, newest().time);
    if (size_ == capacity_) dropOldest();
    if (size_ < ring_.size()) {
        ring_[(oldest_ + size_) % ring_.size()] = reading;
    } else {
        // Full below the capacity: unwrap, then grow by at most the capacity.
        std::rotate(ring_.begin(), ring_.begin() + static_cast<std::ptrdiff_t>(oldest_),
                    ring_.end());
        oldest_ = 0;
        if (ring_.size() == ring_.capacity())
            ring_.reserve(std::min(capacity_, 2 * ring_.size() + 64));
        ring_.push_back(reading);
    }
    ++size_;
    while (reading.time - (*this)[0].time > keptSeconds_) dropOldest();
}

void TrendBuffer::dropOldest() {
    oldest_ = (oldest_ + 1) % ring_.size();
    --size_;
}

const TrendReading& TrendBuffer::operator[](std::size_t i) const {
    return ring_[(oldest_ + i) % ring_.size()];
}

std::size_t TrendBuffer::firstAtOrAfter(std::int64_t time) const {
    std::size_t low = 0;
    std::size_t high = size_;
    while (low < high) {
        const std::size_t middle = low + (high - low) / 2;
        if ((*this)[middle].time < time)
            low = middle + 1;
        else
            high = middle;
    }
    return low;
}

namespace {

// The lowest and the highest reading of each entry within one run of
// answered reads in one column.
struct ColumnExtremes {
    std::array<std::size_t, EntryCount> low{};
    std::array<std::size_t, EntryCount> high{};

    void start(std::size_t index) {
        low.fill(index);
        high.fill(index);
    }
    void take(const TrendBuffer& trend, std::size_t index) {
        const TrendReading& reading = trend[index];
        for (int entry = 0; entry < EntryCount; ++entry) {
            if (reading.raw[entry] < trend[low[entry]].raw[entry]) low[entry] = index;
            if (reading.raw[entry] > trend[high[entry]].raw[entry]) high[entry] = index;
        }
    }
    void appendTo(const TrendBuffer& trend,
                  std::array<std::vector<TrendPoint>, EntryCount>& points) const {
        for (int entry = 0; entry < EntryCount; ++entry) {
            const std::size_t first = std::min(low[entry], high[entry]);
            const std::size_t second = std::max(low[entry], high[entry]);
            points[entry].push_back({trend[first].time, trend[first].raw[entry]});
            if (second != first)
                points[entry].push_back({trend[second].time, trend[second].raw[entry]});
        }
    }
};

// One break for any number of failed reads in a row, none before the first value.
void appendGap(std::int64_t time, std::array<std::vector<TrendPoint>, EntryCount>& points) {
    for (std::vector<TrendPoint>& entryPoints : points)
        if (!entryPoints.empty() && entryPoints.back().raw != GapRaw)
            entryPoints.push_back({time, GapRaw});
}

}  // namespace

std::array<std::vector<TrendPoint>, EntryCount> decimate(const TrendBuffer& trend,
                                                         std::int64_t from, std::int64_t to,
                                                         int columns) {
    std::array<std::vector<TrendPoint>, EntryCount> points;
    const std::size_t first = trend.firstAtOrAfter(from);
    const std::size_t end = to < from ? first : trend.firstAtOrAfter(to + 1);
    if (first >= end || columns < 1) return points;
    const auto perColumn = static_cast<std::size_t>(columns) * 2;
    if (end - first <= perColumn) {
        for (std::size_t i = first; i < end; ++i) {
            if (trend[i].failed) {
                appendGap(trend[i].time, points);
                continue;
            }
            for (int entry = 0; entry < EntryCount; ++entry)
                points[entry].push_back({trend[i].time, trend[i].raw[entry]});
        }
        return points;
    }
    for (auto& entryPoints : points) entryPoints.reserve(perColumn);
    const double width = static_cast<double>(to - from) + 1;
    const auto columnOf = [&](std::size_t i) {
        return std::min(columns - 1, static_cast<int>(static_cast<double>(trend[i].time - from) /
                                                      width * columns));
    };
    ColumnExtremes extremes;
    bool inRun = false;
    int column = 0;
    for (std::size_t i = first; i < end; ++i) {
        if (trend[i].failed) {
            if (inRun) extremes.appendTo(trend, points);
            inRun = false;
            appendGap(trend[i].time, points);
            continue;
        }
        const int next = columnOf(i);
        if (inRun && next != column) {
            extremes.appendTo(trend, points);
            inRun = false;
        }
        if (inRun) {
            extremes.take(trend, i);
        } else {
            extremes.start(i);
            inRun = true;
            column = next;
        }
    }
    if (inRun) extremes.appendTo(trend, points);
    return points;
}

std::string trendCsv(const TrendBuffer& trend,
                     const std::array<ChannelConfig, EntryCount>& channels, std::int64_t from,
                     std::int64_t to, const std::array<bool, EntryCount>& shown) {
    std::string names = "Czas;";
    std::string units = ";";
    for (int entry = 0; entry < EntryCount; ++entry) {
        if (!shown[entry]) continue;
        names += channels[entry].name + ";";
        units += unitCell(entry, channels[entry].kind);
    }
    std::string text = names + "\n" + units + "\n";
    const std::size_t end = to < from ? 0 : trend.firstAtOrAfter(to + 1);
    for (std::size_t i = trend.firstAtOrAfter(from); i < end; ++i) {
        std::string cells;
        for (int entry = 0; entry < EntryCount; ++entry) {
            if (!shown[entry]) continue;
            cells += trend[i].failed
                         ? "   ;"
                         : entryReading(entry, trend[i].raw[entry], channels[entry].kind).csvCell;
        }
        std::replace(cells.begin(), cells.end(), '.', ',');
        text += formatDateTime(localTimeOf(trend[i].time)) + ";" + cells + "\n";
    }
    return text;
}

}  // namespace dkq
