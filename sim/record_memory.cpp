#include "sim/record_memory.h"

#include <algorithm>
#include <cstdio>
#include <functional>

#include "logger/status_answer.h"
#include "sim/numbers.h"

namespace dkq::sim {
namespace {

using std::chrono::days;
using std::chrono::seconds;

constexpr std::string_view kReadCommand = "*RD_";
constexpr std::string_view kClearCommand = "*CLR=1,0";
constexpr std::string_view kClockCommand = "*CK=";
constexpr std::string_view kLoggingCommand = "*LG=";
constexpr std::string_view kConfirmation = "OK\r\n";
constexpr std::array<char, 2> kVersion = {'1', '7'};
constexpr int kSettingsNumbers = 3 + logger::MaskBytes;

struct CivilFields {
    int year, month, day, hour, minute, second;
};

CivilFields fieldsOf(CivilTime t) {
    const auto date = std::chrono::floor<days>(t);
    const std::chrono::year_month_day ymd{date};
    const std::chrono::hh_mm_ss time{t - date};
    return {static_cast<int>(ymd.year()),
            static_cast<int>(static_cast<unsigned>(ymd.month())),
            static_cast<int>(static_cast<unsigned>(ymd.day())),
            static_cast<int>(time.hours().count()),
            static_cast<int>(time.minutes().count()),
            static_cast<int>(time.seconds().count())};
}

std::optional<CivilTime> civilTime(int year, int month, int day, int hour, int minute, int second) {
    const std::chrono::year_month_day ymd{std::chrono::year{year},
                                          std::chrono::month{static_cast<unsigned>(month)},
                                          std::chrono::day{static_cast<unsigned>(day)}};
    if (!ymd.ok() || hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 ||
        second > 59)
        return std::nullopt;
    return std::chrono::sys_days{ymd} + std::chrono::hours{hour} + std::chrono::minutes{minute} +
           seconds{second};
}

// Comma-separated numbers, all of which must parse within low..high.
std::optional<std::vector<int>> numberList(std::string_view text, int count, long low, long high) {
    std::vector<int> numbers;
    for (;;) {
        const auto comma = text.find(',');
        const auto number = parseNumberIn(text.substr(0, comma), low, high);
        if (!number) return std::nullopt;
        numbers.push_back(*number);
        if (comma == std::string_view::npos) break;
        text.remove_prefix(comma + 1);
    }
    if (static_cast<int>(numbers.size()) != count) return std::nullopt;
    return numbers;
}

void putLittle(std::string& frame, size_t at, std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i)
        frame[at + static_cast<size_t>(i)] = static_cast<char>(value >> (8 * i));
}

std::span<std::uint8_t> bytesOf(std::string& text) {
    return {reinterpret_cast<std::uint8_t*>(text.data()), text.size()};
}

}  // namespace

RecordMemory::RecordMemory(const RecordMemorySettings& settings, TimePoint start)
    : settings_(settings), clockSetAt_(start), nextLogAt_(start + seconds(settings.periodSeconds)) {
    const int count = settings.recordCount;
    const int wrap = settings.wrapAt;
    const auto period = seconds(settings.periodSeconds);
    for (int s = 1; s <= count; ++s) {
        const auto sequence = static_cast<std::uint32_t>(wrap > 0 && s <= wrap ? count + s : s);
        slots_.push_back({sequence, settings.firstRecordDate + (sequence - 1) * period});
    }
    lastSequence_ = static_cast<std::uint32_t>(count + wrap);
    nextSlot_ = static_cast<size_t>(wrap > 0 ? wrap : count);
    fixedCapacity_ = wrap > 0 ? count : 0;
    clockBase_ = settings.moduleClock.value_or(settings.firstRecordDate + lastSequence_ * period);
}

std::string RecordMemory::answerTextCommand(std::string_view command) {
    return answerAt(command, Clock::now());
}

std::string RecordMemory::answerAt(std::string_view command, TimePoint now) {
    if (!awake_) return {};
    logDueRecords(now);
    if (command.starts_with(kReadCommand)) {
        const auto numbers = numberList(command.substr(kReadCommand.size()), 2, 0, 0x7FFFFFFF);
        if (!numbers) return {};
        const int first = (*numbers)[0];
        const int count = (*numbers)[1];
        if (first == 0 && count == 0) return statusFrame(now);
        if (first < 1 || count < 1 || count > MaxRecordsPerRead) return {};
        return recordFrames(first, count);
    }
    if (command == kClearCommand) {
        clear();
        return std::string(kConfirmation);
    }
    if (command.starts_with(kClockCommand))
        return setClock(command.substr(kClockCommand.size()), now);
    if (command.starts_with(kLoggingCommand))
        return setLogging(command.substr(kLoggingCommand.size()), now);
    return {};  // "*EOT!" and anything unknown
}

std::string RecordMemory::statusFrame(TimePoint now) const {
    logger::StatusAnswer s;
    s.version[0] = kVersion[0];
    s.version[1] = kVersion[1];
    s.recordLength = recordLength();
    s.recordCount = static_cast<std::int64_t>(slots_.size());
    s.recordsPerBlock = RecordsPerBlock;
    s.blockCount = BlockCount;
    s.occupancyPercent = static_cast<int>(slots_.size() * 100 / static_cast<size_t>(capacity()));
    s.loggingOn = settings_.loggingOn;
    s.cyclicBuffer = settings_.cyclicBuffer;
    s.mask = settings_.mask;
    s.periodSeconds = settings_.periodSeconds;
    const CivilFields c = fieldsOf(clockAt(now));
    s.clock = {c.second, c.minute, c.hour, c.day, c.month, c.year - 2000};
    const auto frame = logger::encodeStatus(s);
    return std::string(frame.begin(), frame.end());
}

// A read reaching past the last record gets empty frames for the missing
// numbers, so the answer always has the length the reader waits for.
std::string RecordMemory::recordFrames(int first, int count) {
    std::string answer;
    const auto end = static_cast<long long>(first) + count;
    for (long long number = first; number < end; ++number)
        answer += number <= static_cast<long long>(slots_.size())
                      ? recordFrame(static_cast<int>(number))
                      : emptyFrame();
    return answer;
}

std::string RecordMemory::recordFrame(int number) {
    const Slot& slot = slots_[static_cast<size_t>(number - 1)];
    const int length = recordLength();
    std::string frame(static_cast<size_t>(length + logger::CrcBytes), '\0');
    frame[0] = logger::RecordLetter;
    putLittle(frame, logger::RecordNumberOffset, slot.sequence, 4);
    if (!settings_.zeroDated.contains(number)) {
        const CivilFields c = fieldsOf(slot.date);
        const auto date =
            logger::encodeRecordDate({c.year, c.month, c.day, c.hour, c.minute, c.second});
        std::copy(date.begin(), date.end(), frame.begin() + logger::RecordDateOffset);
    }
    size_t at = logger::RecordValuesOffset;
    for (int item = 1; item <= logger::LoggedItemCount; ++item) {
        if (!logger::isLogged(settings_.mask, item)) continue;
        putLittle(frame, at, (1000u * static_cast<unsigned>(item) + slot.sequence) & 0xFFFF, 2);
        at += 2;
    }
    logger::sealFrame(bytesOf(frame));

    if (settings_.erased.contains(number)) std::fill(frame.begin() + 2, frame.end(), '\xFF');
    ++reads_[number];
    if (isDamagedRead(settings_.badChecksum, number)) frame.back() ^= 0x5A;
    if (isDamagedRead(settings_.badLetter, number)) frame[0] = 'X';
    return frame;
}

std::string RecordMemory::emptyFrame() const {
    std::string frame(static_cast<size_t>(recordLength() + logger::CrcBytes), '\0');
    frame[0] = logger::RecordLetter;
    frame[1] = static_cast<char>(recordLength());
    return frame;
}

bool RecordMemory::isDamagedRead(const std::map<int, int>& damage, int number) const {
    const auto found = damage.find(number);
    if (found == damage.end()) return false;
    return found->second < 0 || reads_.at(number) <= found->second;
}

// "hh:mm:ss dd-mm-yy"
std::string RecordMemory::setClock(std::string_view arguments, TimePoint now) {
    int hour, minute, second, day, month, year;
    char end;
    const std::string text(arguments);
    if (std::sscanf(text.c_str(), "%2d:%2d:%2d %2d-%2d-%2d%c", &hour, &minute, &second, &day,
                    &month, &year, &end) != 6)
        return {};
    const auto time = civilTime(2000 + year, month, day, hour, minute, second);
    if (!time) return {};
    clockBase_ = *time;
    clockSetAt_ = now;
    return std::string(kConfirmation);
}

// "on,cyclic,period,m0,m1,m2,m3,m4"
std::string RecordMemory::setLogging(std::string_view arguments, TimePoint now) {
    const auto numbers = numberList(arguments, kSettingsNumbers, 0, 65535);
    if (!numbers) return {};
    const auto& n = *numbers;
    if (n[0] > 1 || n[1] > 1 || std::any_of(n.begin() + 3, n.end(), [](int b) { return b > 255; }))
        return {};
    const bool wasLogging = settings_.loggingOn && settings_.periodSeconds > 0;
    settings_.loggingOn = n[0] == 1;
    settings_.cyclicBuffer = n[1] == 1;
    settings_.periodSeconds = n[2];
    for (size_t i = 0; i < logger::MaskBytes; ++i)
        settings_.mask[i] = static_cast<std::uint8_t>(n[3 + i]);
    if (!wasLogging) nextLogAt_ = now + seconds(settings_.periodSeconds);
    return std::string(kConfirmation);
}

void RecordMemory::clear() {
    slots_.clear();
    nextSlot_ = 0;
    reads_.clear();
}

// Records that fell due since the last command, each dated by the module
// clock of its moment. A full linear memory stops logging; a cyclic one
// goes on over its oldest records.
void RecordMemory::logDueRecords(TimePoint now) {
    if (!settings_.loggingOn || settings_.periodSeconds <= 0) return;
    const auto period = seconds(settings_.periodSeconds);
    for (; nextLogAt_ <= now; nextLogAt_ += period) {
        if (nextSlot_ >= static_cast<size_t>(capacity())) {
            if (!settings_.cyclicBuffer) continue;
            nextSlot_ = 0;
        }
        const Slot slot{++lastSequence_, clockAt(nextLogAt_)};
        if (nextSlot_ == slots_.size())
            slots_.push_back(slot);
        else
            slots_[nextSlot_] = slot;
        ++nextSlot_;
    }
}

CivilTime RecordMemory::clockAt(TimePoint now) const {
    return clockBase_ + std::chrono::duration_cast<seconds>(now - clockSetAt_);
}

int RecordMemory::capacity() const {
    return fixedCapacity_ > 0 ? fixedCapacity_ : RecordsPerBlock * (BlockCount - 1);
}

int RecordMemory::recordLength() const {
    return logger::recordLengthFor(settings_.mask);
}

// --- options ---------------------------------------------------------------

namespace {

constexpr long kMaxRecords = RecordMemory::RecordsPerBlock * (RecordMemory::BlockCount - 1);

// "5", "5-9", "1-4,17,33": numbers in low..high.
std::optional<std::set<int>> parseRecordList(std::string_view text, long low, long high) {
    std::set<int> numbers;
    for (;;) {
        const auto comma = text.find(',');
        const auto item = text.substr(0, comma);
        const auto dash = item.find('-');
        const auto first = parseNumberIn(item.substr(0, dash), low, high);
        const auto last = dash == std::string_view::npos
                              ? first
                              : parseNumberIn(item.substr(dash + 1), low, high);
        if (!first || !last || *last < *first) return std::nullopt;
        for (int n = *first; n <= *last; ++n) numbers.insert(n);
        if (comma == std::string_view::npos) return numbers;
        text.remove_prefix(comma + 1);
    }
}

// "YYYY-MM-DD HH:MM:SS", or with 'T' between date and time.
std::optional<CivilTime> parseCivilTime(std::string_view text) {
    int year, month, day, hour, minute, second;
    char separator, end;
    const std::string copy(text);
    if (std::sscanf(copy.c_str(), "%4d-%2d-%2d%c%2d:%2d:%2d%c", &year, &month, &day, &separator,
                    &hour, &minute, &second, &end) != 7 ||
        (separator != ' ' && separator != 'T'))
        return std::nullopt;
    return civilTime(year, month, day, hour, minute, second);
}

// "LIST" (every read damaged) or "LIST:K" (the first K reads).
bool addDamage(std::map<int, int>& damage, std::string_view text) {
    const auto colon = text.rfind(':');
    const auto reads = colon == std::string_view::npos
                           ? std::optional<int>(-1)
                           : parseNumberIn(text.substr(colon + 1), 1, 1000);
    const auto records = parseRecordList(text.substr(0, colon), 1, kMaxRecords);
    if (!reads || !records) return false;
    for (int record : *records) damage[record] = *reads;
    return true;
}

using Setter = std::function<bool(RecordMemorySettings&, std::string_view)>;

bool setNumber(int& field, std::string_view text, long low, long high) {
    const auto number = parseNumberIn(text, low, high);
    if (number) field = *number;
    return number.has_value();
}

bool setList(std::set<int>& field, std::string_view text) {
    const auto list = parseRecordList(text, 1, kMaxRecords);
    if (list) field.insert(list->begin(), list->end());
    return list.has_value();
}

const std::map<std::string_view, Setter>& valueOptions() {
    using S = RecordMemorySettings;
    static const std::map<std::string_view, Setter> options{
        {"--rec-count", [](S& s, auto v) { return setNumber(s.recordCount, v, 0, kMaxRecords); }},
        {"--rec-period", [](S& s, auto v) { return setNumber(s.periodSeconds, v, 0, 65535); }},
        {"--rec-wrap", [](S& s, auto v) { return setNumber(s.wrapAt, v, 1, kMaxRecords); }},
        {"--rec-items",
         [](S& s, std::string_view v) {
             s.mask = {};
             if (v == "none") return true;
             const auto items = parseRecordList(v, 1, logger::LoggedItemCount);
             if (items)
                 for (int item : *items) logger::setLogged(s.mask, item, true);
             return items.has_value();
         }},
        {"--rec-start",
         [](S& s, std::string_view v) {
             const auto time = parseCivilTime(v);
             if (time) s.firstRecordDate = *time;
             return time.has_value();
         }},
        {"--rec-clock",
         [](S& s, std::string_view v) {
             s.moduleClock = parseCivilTime(v);
             return s.moduleClock.has_value();
         }},
        {"--rec-empty", [](S& s, auto v) { return setList(s.zeroDated, v); }},
        {"--rec-erased", [](S& s, auto v) { return setList(s.erased, v); }},
        {"--rec-bad-crc", [](S& s, auto v) { return addDamage(s.badChecksum, v); }},
        {"--rec-bad-letter", [](S& s, auto v) { return addDamage(s.badLetter, v); }},
    };
    return options;
}

std::string checkSettings(const RecordMemorySettings& s) {
    if (s.wrapAt > 0 && s.wrapAt >= s.recordCount) return "--rec-wrap must be below --rec-count";
    const int year = static_cast<int>(
        std::chrono::year_month_day{std::chrono::floor<days>(s.firstRecordDate)}.year());
    if (year < 2016 || year > 2031) return "--rec-start: records are dated 2016 to 2031";
    return {};
}

}  // namespace

std::vector<std::string_view> takeRecordMemoryOptions(const std::vector<std::string_view>& args,
                                                      RecordMemorySettings& settings,
                                                      std::string& error) {
    std::vector<std::string_view> rest;
    for (size_t i = 0; i < args.size(); ++i) {
        std::string_view name = args[i];
        if (!name.starts_with("--rec-")) {
            rest.push_back(name);
            continue;
        }
        std::optional<std::string_view> value;
        if (const auto equals = name.find('='); equals != std::string_view::npos) {
            value = name.substr(equals + 1);
            name = name.substr(0, equals);
        }
        if (name == "--rec-logging" || name == "--rec-cyclic") {
            (name == "--rec-logging" ? settings.loggingOn : settings.cyclicBuffer) = true;
            continue;
        }
        const auto setter = valueOptions().find(name);
        if (setter == valueOptions().end()) {
            error = "unknown option " + std::string(args[i]);
            return {};
        }
        if (!value && i + 1 == args.size()) {
            error = std::string(name) + " needs a value";
            return {};
        }
        if (!value) value = args[++i];
        if (!setter->second(settings, *value)) {
            error = "bad value for " + std::string(name) + ": " + std::string(*value);
            return {};
        }
    }
    if (settings.wrapAt > 0) settings.cyclicBuffer = true;
    error = checkSettings(settings);
    return rest;
}

std::string recordMemoryUsage() {
    return R"(
Record memory (answers text commands after the wake-up line):
  --rec-count N       records in memory (default 0)
  --rec-items LIST    logged items 1..40, e.g. 1-4,17,33, or none (default 1-4);
                      the record length is 10 + 2 per item
  --rec-period S      logging period in seconds (default 60)
  --rec-logging       logging on: a new record every period while running
  --rec-cyclic        cyclic buffer
  --rec-wrap W        a full cyclic memory of N records whose slots 1..W were
                      overwritten by the newest records (dates go back at W+1)
  --rec-start TIME    date of record 1, "YYYY-MM-DD HH:MM:SS" (default
                      2024-03-01 00:00:00); record q is dated one period after q-1
  --rec-clock TIME    module clock at start (default one period after the newest
                      record); it runs on with real time
  --rec-empty LIST    records whose date bytes are all zero (CRC correct)
  --rec-erased LIST   records whose bytes after the length are all 0xFF
  --rec-bad-crc LIST[:K]     records whose CRC is wrong in their first K reads
                             (without :K in every read)
  --rec-bad-letter LIST[:K]  the same with a wrong type letter
Item k of record q holds (1000 k + q) mod 65536; record q has number q.
)";
}

}  // namespace dkq::sim
