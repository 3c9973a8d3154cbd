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
    reading.time = empty() ? time : std::max(time, newest().time);
    for (int entry = 0; entry < EntryCount; ++entry)
        reading.raw[entry] = static_cast<std::uint16_t>(raw[entry]);
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

// The lowest and the highest reading of each entry within one column.
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
        for (std::size_t i = first; i < end; ++i)
            for (int entry = 0; entry < EntryCount; ++entry)
                points[entry].push_back({trend[i].time, trend[i].raw[entry]});
        return points;
    }
    for (auto& entryPoints : points) entryPoints.reserve(perColumn);
    const double width = static_cast<double>(to - from) + 1;
    const auto columnOf = [&](std::size_t i) {
        return std::min(columns - 1, static_cast<int>(static_cast<double>(trend[i].time - from) /
                                                      width * columns));
    };
    ColumnExtremes extremes;
    extremes.start(first);
    int column = columnOf(first);
    for (std::size_t i = first + 1; i < end; ++i) {
        const int next = columnOf(i);
        if (next != column) {
            extremes.appendTo(trend, points);
            extremes.start(i);
            column = next;
        }
        extremes.take(trend, i);
    }
    extremes.appendTo(trend, points);
    return points;
}

std::string trendCsv(const TrendBuffer& trend,
                     const std::array<ChannelConfig, EntryCount>& channels) {
    std::string text = "Czas;";
    for (const ChannelConfig& channel : channels) text += channel.name + ";";
    text += "\n;";
    for (int entry = 0; entry < EntryCount; ++entry) text += unitCell(entry, channels[entry].kind);
    text += "\n";
    for (std::size_t i = 0; i < trend.size(); ++i) {
        std::string cells;
        for (int entry = 0; entry < EntryCount; ++entry)
            cells += entryReading(entry, trend[i].raw[entry], channels[entry].kind).csvCell;
        std::replace(cells.begin(), cells.end(), '.', ',');
        text += formatDateTime(localTimeOf(trend[i].time)) + ";" + cells + "\n";
    }
    return text;
}

}  // namespace dkq
