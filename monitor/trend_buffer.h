// The history of one module's readings that its trend chart draws: a bounded
// ring of raw readings with their times, thinned to what a chart of a given
// width can show, and written out as CSV. Plain C++: both monitor cores fill
// it from their ticks, the chart only reads it.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

#include "monitor/measurement.h"

namespace dkq {

// A day of readings at the tick's one a second.
inline constexpr std::int64_t TrendKeptSeconds = 24 * 60 * 60;
inline constexpr std::size_t TrendCapacity = 24 * 60 * 60;

// Seconds since the epoch of a local time as the clock gives it, and back.
std::int64_t trendTime(const std::tm& local);
std::tm localTimeOf(std::int64_t time);

struct TrendReading {
    std::int64_t time = 0;  // seconds since the epoch
    std::array<std::uint16_t, EntryCount> raw{};
    bool failed = false;  // the module did not answer: no values
};

class TrendBuffer {
  public:
    // At most `capacity` readings, none older than `keptSeconds` before the
    // newest. Memory grows with the readings, up to the capacity.
    explicit TrendBuffer(std::size_t capacity = TrendCapacity,
                         std::int64_t keptSeconds = TrendKeptSeconds);

    // START: the history begins again.
    void clear();
    // A reading of the 16 lines and 4 counters (16-bit registers). A time
    // before the newest one (the clock set back) is taken as the newest, so
    // the times never go back.
    void add(std::int64_t time, const std::array<std::int32_t, EntryCount>& raw);
    // A read that failed: the lines break there.
    void addFailedRead(std::int64_t time);

    std::size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    // Reading i, 0 being the oldest.
    const TrendReading& operator[](std::size_t i) const;
    const TrendReading& newest() const { return (*this)[size_ - 1]; }
    // Index of the first reading at or after time; size() when there is none.
    std::size_t firstAtOrAfter(std::int64_t time) const;

  private:
    void append(const TrendReading& reading);
    void dropOldest();

    std::size_t capacity_;
    std::int64_t keptSeconds_;
    std::vector<TrendReading> ring_;
    std::size_t oldest_ = 0;  // index into ring_
    std::size_t size_ = 0;
};

// A point that holds no value: the line breaks at a failed read.
inline constexpr int GapRaw = -1;

struct TrendPoint {
    std::int64_t time = 0;
    int raw = 0;  // GapRaw at a break
};

// The points of every entry between from and to (inclusive) for a chart
// `columns` pixels wide. When they are more than two a column, the readings
// are cut into `columns` equal stretches of time and each stretch gives its
// lowest and its highest value in the order they came, so every peak and
// dip stays visible; otherwise every reading is given. Failed reads give
// one break point between the values before and after them.
std::array<std::vector<TrendPoint>, EntryCount> decimate(const TrendBuffer& trend,
                                                         std::int64_t from, std::int64_t to,
                                                         int columns);

// The readings from..to (inclusive) of the entries shown as CSV text (UTF-8,
// "\n" line ends; the file edge makes it Windows-1250 with CR LF): the names,
// the unit cells, then a line a reading with its local time and its values as
// the record rows give them, decimal comma and ";" after every cell, blank
// cells ("   ;") for a failed read.
std::string trendCsv(const TrendBuffer& trend,
                     const std::array<ChannelConfig, EntryCount>& channels, std::int64_t from,
                     std::int64_t to, const std::array<bool, EntryCount>& shown);

}  // namespace dkq
