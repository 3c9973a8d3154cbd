#include "collector/api/upload_check.h"

#include <zlib.h>

#include <algorithm>
#include <charconv>

#include "collector/base/instant.h"

namespace dkq::collector {
namespace {

struct RejectionText {
    const char* label;
    const char* line;
    unsigned status = 400;
};

RejectionText textOf(Rejection rejection) {
    switch (rejection) {
        case Rejection::None:
            break;
        case Rejection::MissingField:
            return {"missing", "uid, data and sum are all needed"};
        case Rejection::RepeatedField:
            return {"repeated", "uid, data, time or sum given twice"};
        case Rejection::UidNotNumber:
            return {"uid", "uid is not a number"};
        case Rejection::DataTooLong:
            return {"size", "data is over 4096 bytes"};
        case Rejection::DataNotNumbers:
            return {"data", "data is not a list of numbers"};
        case Rejection::SumNotHex:
            return {"sum_format", "sum is not eight hex digits"};
        case Rejection::WrongSum:
            return {"sum", "wrong sum"};
        case Rejection::UnknownPath:
            return {"path", "unknown path", 404};
        case Rejection::TimeNotUtc:
            return {"time", "time is not a UTC time: 2026-12-07T08:50:50.540Z"};
        case Rejection::TimeAhead:
            return {"time_ahead", "time is more than 5 minutes ahead of the collector's clock"};
        case Rejection::NoToken:
            return {"token", "this site's token is needed: Authorization: Bearer TOKEN", 401};
        case Rejection::WrongToken:
            return {"token_wrong", "the token is not this site's", 403};
        case Rejection::TargetTooLong:
            return {"target_size", "the request line is over 8192 bytes", 414};
        case Rejection::HeadTooLarge:
            return {"head_size", "the request head is over 16384 bytes", 431};
    }
    return {"none", ""};
}

std::optional<std::uint32_t> readSum(std::string_view text) {
    std::uint32_t sum = 0;
    if (text.size() != 8) return std::nullopt;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), sum, 16);
    if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return sum;
}

// zlib answers a null buffer with a fresh start, whatever `crc` was.
std::uint32_t crc32Of(std::uint32_t crc, std::string_view bytes) {
    if (bytes.empty()) return crc;
    return static_cast<std::uint32_t>(
        crc32(crc, reinterpret_cast<const Bytef*>(bytes.data()), static_cast<uInt>(bytes.size())));
}

// The value of the one field of that name; rejection when absent or repeated.
Rejection onlyValue(std::span<const QueryField> fields, std::string_view name,
                    std::string_view& value) {
    int seen = 0;
    for (const QueryField& field : fields) {
        if (field.name != name) continue;
        if (++seen > 1) return Rejection::RepeatedField;
        if (!field.value) return Rejection::MissingField;
        value = *field.value;
    }
    return seen == 1 ? Rejection::None : Rejection::MissingField;
}

// The reading's own time, when the query has one: the one form webmon
// writes, so that one instant has one text and one sum.
Rejection readOwnTime(std::span<const QueryField> fields, std::int64_t nowMs,
                      std::optional<std::int64_t>& timeMs, std::string_view& text) {
    const bool given = std::any_of(fields.begin(), fields.end(),
                                   [](const QueryField& field) { return field.name == "time"; });
    if (!given) return Rejection::None;
    const Rejection rejection = onlyValue(fields, "time", text);
    if (rejection == Rejection::RepeatedField) return rejection;
    timeMs = rejection == Rejection::None ? readIsoTime(text) : std::nullopt;
    if (!timeMs || isoTime(*timeMs) != text) return Rejection::TimeNotUtc;
    return *timeMs - nowMs > MaxTimeAheadMs ? Rejection::TimeAhead : Rejection::None;
}

}  // namespace

unsigned rejectionStatus(Rejection rejection) {
    return textOf(rejection).status;
}

const char* rejectionLine(Rejection rejection) {
    return textOf(rejection).line;
}

const char* rejectionLabel(Rejection rejection) {
    return textOf(rejection).label;
}

std::optional<std::int32_t> readUid(std::string_view text) {
    const std::string_view digits = text.starts_with('-') ? text.substr(1) : text;
    if (digits.empty() || (digits[0] == '0' && text.size() > 1)) return std::nullopt;
    std::int32_t uid = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), uid);
    if (text.empty() || error != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return uid;
}

std::optional<std::string_view> fieldValue(std::span<const QueryField> fields,
                                           std::string_view name) {
    for (const QueryField& field : fields) {
        if (field.name == name) return field.value;
    }
    return std::nullopt;
}

Upload checkUpload(std::span<const QueryField> fields, std::uint32_t key, std::int64_t nowMs) {
    Upload upload;
    std::string_view uidText, data, sumText, timeText;
    for (const auto& [name, value] :
         {std::pair{"uid", &uidText}, {"data", &data}, {"sum", &sumText}}) {
        upload.rejection = onlyValue(fields, name, *value);
        if (upload.rejection != Rejection::None) return upload;
    }
    const std::optional<std::int32_t> uid = readUid(uidText);
    const std::optional<std::uint32_t> sum = readSum(sumText);
    if (!uid) {
        upload.rejection = Rejection::UidNotNumber;
    } else if (data.size() > MaxDataBytes) {
        upload.rejection = Rejection::DataTooLong;
    } else if (!sum) {
        upload.rejection = Rejection::SumNotHex;
    } else if (const Rejection time = readOwnTime(fields, nowMs, upload.timeMs, timeText);
               time != Rejection::None) {
        upload.rejection = time;
    } else if ((crc32Of(crc32Of(crc32Of(0, uidText), data), timeText) ^ key) != *sum) {
        upload.rejection = Rejection::WrongSum;
    } else if (!readValues(data, upload.values)) {
        upload.rejection = Rejection::DataNotNumbers;
    } else {
        upload.uid = *uid;
        upload.data = data;
    }
    return upload;
}

}  // namespace dkq::collector
