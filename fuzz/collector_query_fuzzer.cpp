// What the collector reads from a request: an upload's query fields, a data
// text and the times of the reading endpoints. An accepted upload and a data
// text that reads have one value per item (and a CSV cell each); a time that
// reads comes back the same through its text; no input breaks a series.
#include <algorithm>
#include <vector>

#include "collector/api/reading_views.h"
#include "collector/api/upload_check.h"
#include "collector/base/instant.h"
#include "fuzz/fuzz_check.h"

using namespace dkq::collector;
using dkq::fuzz::check;

namespace {

std::size_t itemsOf(std::string_view data) {
    return data.empty() ? 0
                        : static_cast<std::size_t>(std::count(data.begin(), data.end(), ',')) + 1;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    dkq::fuzz::Input input(data, size);
    const std::uint32_t key = input.take() | static_cast<std::uint32_t>(input.take()) << 8;
    const std::string_view text = input.text();
    std::vector<QueryField> fields;  // "&" between fields, "=" after the name
    for (std::size_t start = 0, end; start <= text.size(); start = end + 1) {
        end = std::min(text.find('&', start), text.size());
        const std::string_view field = text.substr(start, end - start);
        const std::size_t equals = field.find('=');
        fields.push_back({field.substr(0, equals), equals == std::string_view::npos
                                                       ? std::nullopt
                                                       : std::optional(field.substr(equals + 1))});
    }
    const std::int64_t now = 1796633450540;  // 2026-12-07T08:50:50.540Z
    const Upload upload = checkUpload(fields, key, now);
    if (upload.rejection == Rejection::None) {
        check(upload.data.size() <= MaxDataBytes, "data within its bound");
        check(!upload.timeMs || *upload.timeMs - now <= MaxTimeAheadMs, "no time far ahead");
        check(upload.values.size() == itemsOf(upload.data), "a value per item");
    }
    std::vector<double> values;
    if (readValues(text, values)) {
        std::string row;
        appendCsvRow(row, {{0, 0}, 0, std::string(text)});
        check(values.size() == itemsOf(text) &&
                  static_cast<std::size_t>(std::count(row.begin(), row.end(), ';')) ==
                      2 + values.size(),
              "a value and a cell per item");
    }
    if (const auto time = readIsoTime(text))
        check(readIsoTime(isoTime(*time)) == time, "a time reads back");
    SeriesBuckets series(0, 1000, 1 + key % MaxSeriesPoints);
    series.add({{key % 1000, 0}, 0, std::string(text)});
    series.json();
    return 0;
}
