// What the collector reads from a request: an upload's query fields, a data
// text and the times of the reading endpoints. An accepted upload keeps its
// data within bounds with one value per item; a data text that reads has
// one value per item and makes a CSV row of one cell per item; a time that
// reads comes back the same through its text; no input breaks a series.
#include <algorithm>
#include <vector>

#include "collector/instant.h"
#include "collector/reading_views.h"
#include "collector/upload_check.h"
#include "fuzz/fuzz_check.h"

using namespace dkq::collector;

namespace {

std::size_t itemsOf(std::string_view data) {
    return data.empty() ? 0
                        : static_cast<std::size_t>(std::count(data.begin(), data.end(), ',')) + 1;
}

// "&" between fields, "=" after the name, as a query is split.
std::vector<QueryField> fieldsOf(std::string_view query) {
    std::vector<QueryField> fields;
    for (std::size_t start = 0; start <= query.size();) {
        const std::size_t end = std::min(query.find('&', start), query.size());
        const std::string_view field = query.substr(start, end - start);
        const std::size_t equals = field.find('=');
        if (equals == std::string_view::npos)
            fields.push_back({field, std::nullopt});
        else
            fields.push_back({field.substr(0, equals), field.substr(equals + 1)});
        start = end + 1;
    }
    return fields;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    dkq::fuzz::Input input(data, size);
    const std::uint32_t key = input.take() | static_cast<std::uint32_t>(input.take()) << 8;
    const std::string_view text = input.text();

    const Upload upload = checkUpload(fieldsOf(text), key);
    if (upload.rejection == Rejection::None) {
        dkq::fuzz::check(upload.data.size() <= MaxDataBytes, "data within its bound");
        dkq::fuzz::check(upload.values.size() == itemsOf(upload.data), "a value per item");
        dkq::fuzz::check(readUid(std::to_string(upload.uid)) == upload.uid, "the uid reads back");
    }
    std::vector<double> values;
    if (readValues(text, values)) {
        dkq::fuzz::check(values.size() == itemsOf(text), "a value per item");
        std::string row;
        appendCsvRow(row, {{0, 0}, std::string(text)});
        dkq::fuzz::check(
            static_cast<std::size_t>(std::count(row.begin(), row.end(), ';')) == 1 + values.size(),
            "a cell per item");
    }
    if (const auto time = readIsoTime(text))
        dkq::fuzz::check(readIsoTime(isoTime(*time)) == time, "a time reads back");
    SeriesBuckets series(0, 1000, 1 + key % MaxSeriesPoints);
    series.add({{key % 1000, 0}, std::string(text)});
    series.json();
    return 0;
}
