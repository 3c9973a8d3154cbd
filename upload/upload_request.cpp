#include "upload/upload_request.h"

#include <zlib.h>

#include <cstdio>

namespace dkq {
namespace {

// The CSV cell of a line without its separator.
std::string lineItem(int raw, int kind) {
    std::string cell = lineReading(raw, kind).csvCell;
    cell.pop_back();
    return cell;
}

std::uint32_t crc32Of(std::uint32_t crc, std::string_view bytes) {
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

std::uint32_t uploadSum(std::string_view uidText, std::string_view data) {
    const std::uint32_t crc = crc32Of(crc32Of(0, uidText), data);
    return crc ^ UploadKey;
}

std::string uploadRequest(const UploadSettings& settings, const UploadReadingValues& reading) {
    const std::string uidText = std::to_string(settings.uid);
    const std::string data = uploadData(settings, reading);
    char sum[9];
    std::snprintf(sum, sizeof sum, "%08x", static_cast<unsigned>(uploadSum(uidText, data)));
    return (settings.https ? "https://" : "http://") + settings.address + "?uid=" + uidText +
           "&data=" + data + "&sum=" + sum;
}

}  // namespace dkq
