// What the collector answers with: JSON of sites and readings, CSV rows for
// a Polish spreadsheet, the Prometheus text, and a series cut into time
// buckets with the least and greatest value of each. Pure functions.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "collector/api/upload_check.h"
#include "collector/base/reading.h"

namespace dkq::collector {

// {"time":"2024-03-05T09:07:02.123Z","received":"2024-03-05T09:07:03.020Z",
//  "data":"21.4,4.500,120","values":[21.4,4.5,120]}
void appendJsonReading(std::string& out, const StoredReading& reading);
// [{"uid":1021,"count":5,"time":...,"data":...,"values":[...],"interval":2.5}, ...]
// with the usual interval in seconds, null when unknown.
std::string sitesJson(std::span<const SiteSummary> sites);

// The header line "Czas (UTC);Odebrano (UTC);Wartość 1;...;" with `values`
// value cells (as many as the widest reading of the export has), and one row
// "2024-03-05 9:07:02,123;2024-03-05 9:07:03,020;21,4;4,500;120;": the
// reading's time, its arrival, its values; Windows-1250, ";" after every
// cell, decimal comma, CR LF.
std::string csvHeader(std::size_t values);
void appendCsvRow(std::string& out, const StoredReading& reading);

struct UploadCounters {
    std::uint64_t stored = 0;
    std::uint64_t failed = 0;
    std::array<std::uint64_t, std::size(Rejections)> rejected{};
};
// The newest value of every site and position, each site's reading count and
// arrival time, the uploads this collector stored, failed and rejected.
std::string metricsText(std::span<const SiteSummary> sites, const UploadCounters& counters);

inline constexpr std::size_t MaxSeriesPoints = 2000;
inline constexpr std::size_t MaxSeriesValues = 64;

// fromMs..toMs cut into `points` equal buckets (1..MaxSeriesPoints); each
// bucket that holds readings gives its start time, its reading count and the
// least and greatest value of each of the first MaxSeriesValues positions:
// [{"time":...,"readings":3,"min":[...],"max":[...]}, ...].
class SeriesBuckets {
  public:
    SeriesBuckets(std::int64_t fromMs, std::int64_t toMs, std::size_t points);
    void add(const StoredReading& reading);
    std::string json() const;

  private:
    struct Bucket {
        std::size_t readings = 0;
        std::vector<double> min, max;
    };
    std::int64_t fromMs_;
    std::int64_t spanMs_;
    std::vector<Bucket> buckets_;
    std::vector<double> values_;
};

}  // namespace dkq::collector
