// A site's reading as the collector keeps it, from the upload that brought
// it to the answers that give it back. Plain data, no behaviour.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace dkq::collector {

// A reading as it arrived: the site's user number, the time it was taken
// (the upload's own time=, else its arrival) and its arrival, both in
// milliseconds since 1970-01-01 00:00 UTC, the data text exactly as received
// and the numbers read from it. A reading with its own time is kept once per
// site and time, so an upload sent again after a lost answer adds nothing.
struct NewReading {
    std::int32_t uid = 0;
    std::int64_t timeMs = 0;
    std::int64_t receivedMs = 0;
    bool ownTime = false;
    std::string data;
    std::vector<double> values;
};

// Readings are ordered by the time they were taken, ties by the order they
// were stored.
struct ReadingKey {
    std::int64_t timeMs = 0;
    std::int64_t id = 0;
};
inline constexpr ReadingKey BeforeAllReadings{-1, 0};

struct StoredReading {
    ReadingKey key;
    std::int64_t receivedMs = 0;
    std::string data;
};

struct SiteSummary {
    std::int32_t uid = 0;
    std::int64_t readings = 0;
    StoredReading last;
    // The usual time between its readings (0: unknown): addUsualIntervals.
    std::int64_t intervalMs = 0;
};

// Readings of one site with fromMs <= time < toMs.
struct ReadingRange {
    std::int32_t uid = 0;
    std::int64_t fromMs = 0;
    std::int64_t toMs = 0;
};

}  // namespace dkq::collector
