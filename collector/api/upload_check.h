// An upload as webmon sends it, "<path>.php?uid=U&data=D&sum=S", or with the
// reading's own time, "...&data=D&time=2026-12-07T08:50:50.540Z&sum=S": the
// fields of its query checked and read. Pure functions on the decoded query
// fields.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "collector/base/numbers.h"

namespace dkq::collector {

inline constexpr std::uint32_t DefaultUploadKey = 0x4e73;
inline constexpr std::size_t MaxDataBytes = 4096;
// A site's clock may run this far ahead of the collector's.
inline constexpr std::int64_t MaxTimeAheadMs = 5 * 60 * 1000;

// One "name=value" of a query; a name without "=" has no value.
struct QueryField {
    std::string_view name;
    std::optional<std::string_view> value;
};

// Why a request was refused; each has its status (400 but for the paths,
// tokens and sizes), a one-line text and a short label for the metrics.
enum class Rejection {
    None,
    MissingField,
    RepeatedField,
    UidNotNumber,
    DataTooLong,
    DataNotNumbers,
    SumNotHex,
    WrongSum,
    UnknownPath,
    TimeNotUtc,
    TimeAhead,
    NoToken,
    WrongToken,
    TargetTooLong,
    HeadTooLarge,
};
inline constexpr Rejection Rejections[] = {
    Rejection::MissingField,  Rejection::RepeatedField,  Rejection::UidNotNumber,
    Rejection::DataTooLong,   Rejection::DataNotNumbers, Rejection::SumNotHex,
    Rejection::WrongSum,      Rejection::UnknownPath,    Rejection::TimeNotUtc,
    Rejection::TimeAhead,     Rejection::NoToken,        Rejection::WrongToken,
    Rejection::TargetTooLong, Rejection::HeadTooLarge,
};
// A request's target and its whole head may be this long.
inline constexpr std::size_t MaxTargetBytes = 8192;
inline constexpr std::size_t MaxHeadBytes = 16384;
unsigned rejectionStatus(Rejection rejection);
const char* rejectionLine(Rejection rejection);
const char* rejectionLabel(Rejection rejection);

struct Upload {
    Rejection rejection = Rejection::None;
    std::int32_t uid = 0;
    std::string data;
    std::vector<double> values;
    std::optional<std::int64_t> timeMs;  // the reading's own time, when sent
};

// Accepted when uid, data and sum each occur once, uid is a decimal int32,
// data is at most MaxDataBytes of comma-separated decimal numbers (or
// empty) and sum is eight hex digits equal to CRC-32 of the uid text followed
// by the data text, XOR key. A time, when given (once), is UTC with
// milliseconds exactly as isoTime writes it, at most MaxTimeAheadMs after
// nowMs, and follows the data text into the sum. Other fields are ignored.
Upload checkUpload(std::span<const QueryField> fields, std::uint32_t key, std::int64_t nowMs);

// A decimal int32 written the one way it is written: an optional "-", no
// leading zero, no "-0".
std::optional<std::int32_t> readUid(std::string_view text);
// The first field of that name; nothing when absent or without a value.
std::optional<std::string_view> fieldValue(std::span<const QueryField> fields,
                                           std::string_view name);

}  // namespace dkq::collector
