#include "collector/api/reading_views.h"

#include <algorithm>
#include <charconv>
#include <cstddef>

#include "collector/base/instant.h"
#include "collector/base/json_text.h"
#include "collector/base/numbers.h"
#include "common/text.h"

namespace dkq::collector {
namespace {

// A stored data text that does not read gives no values.
std::vector<double> valuesOf(const std::string& data) {
    std::vector<double> values;
    readValues(data, values);
    return values;
}

void appendJsonFields(std::string& out, const StoredReading& reading) {
    out += "\"time\":\"" + isoTime(reading.key.timeMs) + "\",\"received\":\"" +
           isoTime(reading.receivedMs) + "\",\"data\":";
    appendJsonString(out, reading.data);
    out += ",\"values\":";
    appendNumbers(out, valuesOf(reading.data), '[', ']');
}

void appendMetric(std::string& out, const char* name, const char* type, const char* help) {
    out += std::string("# HELP ") + name + " " + help + "\n# TYPE " + name + " " + type + "\n";
}

}  // namespace

void appendJsonReading(std::string& out, const StoredReading& reading) {
    out += '{';
    appendJsonFields(out, reading);
    out += '}';
}

std::string sitesJson(std::span<const SiteSummary> sites) {
    std::string out = "[";
    for (const SiteSummary& site : sites) {
        if (out.size() > 1) out += ',';
        out += "{\"uid\":" + std::to_string(site.uid) +
               ",\"count\":" + std::to_string(site.readings) + ',';
        appendJsonFields(out, site.last);
        out += ",\"interval\":";
        if (site.intervalMs > 0)
            appendNumber(out, static_cast<double>(site.intervalMs) / 1000);
        else
            out += "null";
        out += '}';
    }
    return out + "]";
}

std::string csvHeader(std::size_t values) {
    std::string header = "Czas (UTC);Odebrano (UTC);";
    for (std::size_t i = 1; i <= values; ++i) header += "Wartość " + std::to_string(i) + ";";
    return encodeTextFile(header + "\n");
}

void appendCsvRow(std::string& out, const StoredReading& reading) {
    out += csvTime(reading.key.timeMs) + ";" + csvTime(reading.receivedMs) + ";";
    if (!reading.data.empty()) {
        std::string cells = reading.data + ";";
        std::replace(cells.begin(), cells.end(), ',', ';');
        std::replace(cells.begin(), cells.end(), '.', ',');
        out += cells;
    }
    out += "\r\n";
}

std::string metricsText(std::span<const SiteSummary> sites, const UploadCounters& counters) {
    std::string out;
    appendMetric(out, "dkq_reading_value", "gauge",
                 "The newest value of a site, by its position in the data text.");
    for (const SiteSummary& site : sites) {
        const std::vector<double> values = valuesOf(site.last.data);
        for (std::size_t i = 0; i < values.size(); ++i) {
            out += "dkq_reading_value{uid=\"" + std::to_string(site.uid) + "\",position=\"" +
                   std::to_string(i + 1) + "\"} ";
            appendNumber(out, values[i]);
            out += '\n';
        }
    }
    appendMetric(out, "dkq_reading_time_seconds", "gauge",
                 "Time of the newest reading of a site, as the site took it.");
    for (const SiteSummary& site : sites) {
        out += "dkq_reading_time_seconds{uid=\"" + std::to_string(site.uid) + "\"} ";
        appendNumber(out, static_cast<double>(site.last.key.timeMs) / 1000);
        out += '\n';
    }
    appendMetric(out, "dkq_site_readings_total", "counter", "Readings stored for a site.");
    for (const SiteSummary& site : sites)
        out += "dkq_site_readings_total{uid=\"" + std::to_string(site.uid) + "\"} " +
               std::to_string(site.readings) + "\n";
    appendMetric(out, "dkq_uploads_stored_total", "counter",
                 "Uploads this collector stored since it started.");
    out += "dkq_uploads_stored_total " + std::to_string(counters.stored) + "\n";
    appendMetric(out, "dkq_uploads_failed_total", "counter",
                 "Uploads answered 503 because the database did not store them.");
    out += "dkq_uploads_failed_total " + std::to_string(counters.failed) + "\n";
    appendMetric(out, "dkq_requests_rejected_total", "counter",
                 "Requests refused (400, 401, 403, 404, 414, 431), by reason.");
    for (std::size_t i = 0; i < std::size(Rejections); ++i)
        out += std::string("dkq_requests_rejected_total{reason=\"") +
               rejectionLabel(Rejections[i]) + "\"} " + std::to_string(counters.rejected[i]) + "\n";
    return out;
}

SeriesBuckets::SeriesBuckets(std::int64_t fromMs, std::int64_t toMs, std::size_t points)
    : fromMs_(fromMs), spanMs_(std::max<std::int64_t>(toMs - fromMs, 1)), buckets_(points) {}

void SeriesBuckets::add(const StoredReading& reading) {
    const std::int64_t offset = reading.key.timeMs - fromMs_;
    if (offset < 0 || offset >= spanMs_ || !readValues(reading.data, values_)) return;
    Bucket& bucket = buckets_[static_cast<std::size_t>(
        offset * static_cast<std::int64_t>(buckets_.size()) / spanMs_)];
    const std::size_t count = std::min(values_.size(), MaxSeriesValues);
    for (std::size_t i = 0; i < count; ++i) {
        if (i >= bucket.min.size()) {
            bucket.min.push_back(values_[i]);
            bucket.max.push_back(values_[i]);
        }
        bucket.min[i] = std::min(bucket.min[i], values_[i]);
        bucket.max[i] = std::max(bucket.max[i], values_[i]);
    }
    ++bucket.readings;
}

std::string SeriesBuckets::json() const {
    std::string out = "[";
    const auto points = static_cast<std::int64_t>(buckets_.size());
    for (std::int64_t i = 0; i < points; ++i) {
        const Bucket& bucket = buckets_[static_cast<std::size_t>(i)];
        if (bucket.readings == 0) continue;
        if (out.size() > 1) out += ',';
        out += "{\"time\":\"" + isoTime(fromMs_ + i * spanMs_ / points) +
               "\",\"readings\":" + std::to_string(bucket.readings) + ",\"min\":";
        appendNumbers(out, bucket.min, '[', ']');
        out += ",\"max\":";
        appendNumbers(out, bucket.max, '[', ']');
        out += '}';
    }
    return out + "]";
}

}  // namespace dkq::collector
