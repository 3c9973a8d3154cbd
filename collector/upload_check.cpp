#include "collector/upload_check.h"

#include <zlib.h>

#include <charconv>

namespace dkq::collector {
namespace {

struct RejectionText {
    const char* label;
    const char* line;
};

RejectionText textOf(Rejection rejection) {
    switch (rejection) {
        case Rejection::None:
            break;
        case Rejection::MissingField:
            return {"missing", "uid, data and sum are all needed"};
        case Rejection::RepeatedField:
            return {"repeated", "uid, data or sum given twice"};
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
            return {"path", "unknown path"};
    }
    return {"none", ""};
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// The end of the run of digits that starts at pos.
std::size_t digitsEnd(std::string_view text, std::size_t pos) {
    while (pos < text.size() && isDigit(text[pos])) ++pos;
    return pos;
}

// "-?[0-9]+(.[0-9]+)?" exactly.
bool isDecimalNumber(std::string_view item) {
    std::size_t pos = item.starts_with('-') ? 1 : 0;
    std::size_t end = digitsEnd(item, pos);
    if (end == pos) return false;
    if (end < item.size() && item[end] == '.') {
        pos = end + 1;
        end = digitsEnd(item, pos);
        if (end == pos) return false;
    }
    return end == item.size();
}

std::optional<std::uint32_t> readSum(std::string_view text) {
    std::uint32_t sum = 0;
    if (text.size() != 8) return std::nullopt;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), sum, 16);
    if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return sum;
}

std::uint32_t crc32Of(std::uint32_t crc, std::string_view bytes) {
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

}  // namespace

const char* rejectionLine(Rejection rejection) {
    return textOf(rejection).line;
}

const char* rejectionLabel(Rejection rejection) {
    return textOf(rejection).label;
}

bool readValues(std::string_view data, std::vector<double>& values) {
    values.clear();
    if (data.empty()) return true;
    for (std::size_t start = 0;;) {
        const std::size_t comma = data.find(',', start);
        const std::string_view item = data.substr(start, comma - start);
        double value = 0;
        // Digits beyond the range of a double are no reading either.
        if (!isDecimalNumber(item) ||
            std::from_chars(item.data(), item.data() + item.size(), value).ec != std::errc()) {
            values.clear();
            return false;
        }
        values.push_back(value);
        if (comma == std::string_view::npos) return true;
        start = comma + 1;
    }
}

std::optional<std::int32_t> readUid(std::string_view text) {
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

Upload checkUpload(std::span<const QueryField> fields, std::uint32_t key) {
    Upload upload;
    std::string_view uidText, data, sumText;
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
    } else if ((crc32Of(crc32Of(0, uidText), data) ^ key) != *sum) {
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
