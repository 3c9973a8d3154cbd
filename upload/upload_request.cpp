#include "upload/upload_request.h"

#include <zlib.h>

#include <cstdio>
#include <ctime>

namespace dkq {
namespace {

// The CSV cell of a line without its separator.
std::string lineItem(int raw, int kind) {
    std::string cell = lineReading(raw, kind).csvCell;
    cell.pop_back();
    return cell;
}

// zlib starts afresh when given no buffer, so empty text leaves crc as it is.
std::uint32_t crc32Of(std::uint32_t crc, std::string_view bytes) {
    if (bytes.empty()) return crc;
    return static_cast<std::uint32_t>(
        crc32(crc, reinterpret_cast<const Bytef*>(bytes.data()), static_cast<uInt>(bytes.size())));
}

}  // namespace

std::string uploadData(const UploadSettings& settings, const UploadReadingValues& reading) {
    std::string data;
    for (int entry = 0; entry < EntryCount; ++entry) {
        if (!settings.registers[static_cast<std::size_t>(entry)]) continue;
        if (!data.empty()) data += ',';
        const int raw = reading.raw[static_cast<std::size_t>(entry)];
        data += entry < LineCount ? lineItem(raw, reading.kinds[static_cast<std::size_t>(entry)])
                                  : std::to_string(raw);
    }
    return data;
}

std::string uploadTimeText(std::chrono::system_clock::time_point instant) {
    const auto seconds = std::chrono::floor<std::chrono::seconds>(instant);
    const auto millis = std::chrono::duration_cast<std::chrono::milliseconds>(instant - seconds);
    const std::time_t whole = std::chrono::system_clock::to_time_t(seconds);
    std::tm utc{};
    gmtime_r(&whole, &utc);
    char text[32];
    const std::size_t length = std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &utc);
    std::snprintf(text + length, sizeof text - length, ".%03dZ", static_cast<int>(millis.count()));
    return text;
}

std::uint32_t uploadSum(std::string_view uidText, std::string_view data,
                        std::string_view timeText) {
    const std::uint32_t crc = crc32Of(crc32Of(crc32Of(0, uidText), data), timeText);
    return crc ^ UploadKey;
}

std::string uploadQuery(const UploadSettings& settings, const UploadReadingValues& reading,
                        std::string_view timeText) {
    const std::string uidText = std::to_string(settings.uid);
    const std::string data = uploadData(settings, reading);
    char sum[9];
    std::snprintf(sum, sizeof sum, "%08x",
                  static_cast<unsigned>(uploadSum(uidText, data, timeText)));
    std::string query = "uid=" + uidText + "&data=" + data;
    if (!timeText.empty()) query.append("&time=").append(timeText);
    return query + "&sum=" + sum;
}

std::string uploadRequest(const UploadSettings& settings, std::string_view query) {
    return (settings.https ? "https://" : "http://") + settings.address + "?" + std::string(query);
}

std::string uploadRequest(const UploadSettings& settings, const UploadReadingValues& reading) {
    return uploadRequest(settings, uploadQuery(settings, reading));
}

}  // namespace dkq
