// An upload as webmon sends it, "<path>.php?uid=U&data=D&sum=S": the fields
// of its query checked and read. Pure functions on the decoded query fields.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace dkq::collector {

inline constexpr std::uint32_t DefaultUploadKey = 0x4e73;
inline constexpr std::size_t MaxDataBytes = 4096;

// One "name=value" of a query; a name without "=" has no value.
struct QueryField {
    std::string_view name;
    std::optional<std::string_view> value;
};

// Why a request was answered 400; each has a one-line text and a short label
// for the metrics.
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
};
inline constexpr Rejection Rejections[] = {
    Rejection::MissingField, Rejection::RepeatedField,  Rejection::UidNotNumber,
    Rejection::DataTooLong,  Rejection::DataNotNumbers, Rejection::SumNotHex,
    Rejection::WrongSum,     Rejection::UnknownPath,
};
const char* rejectionLine(Rejection rejection);
const char* rejectionLabel(Rejection rejection);

struct Upload {
    Rejection rejection = Rejection::None;
    std::int32_t uid = 0;
    std::string data;
    std::vector<double> values;
};

// Accepted when uid, data and sum each occur once, uid is a decimal int32,
// data is at most MaxDataBytes of comma-separated decimal numbers (or
// empty) and sum is eight hex digits equal to CRC-32 of the uid text followed
// by the data text, XOR key. Other fields are ignored.
Upload checkUpload(std::span<const QueryField> fields, std::uint32_t key);

// "-?[0-9]+(.[0-9]+)?" items separated by ","; the empty text has none.
// False, with no values, for any other text.
bool readValues(std::string_view data, std::vector<double>& values);
// A decimal int32 with an optional "-".
std::optional<std::int32_t> readUid(std::string_view text);
// The first field of that name; nothing when absent or without a value.
std::optional<std::string_view> fieldValue(std::span<const QueryField> fields,
                                           std::string_view name);

}  // namespace dkq::collector
