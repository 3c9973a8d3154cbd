// Field commands: scan finds the modules that answer on the bus, poll repeats
// a read on a fixed schedule until its count is done or SIGINT or SIGTERM
// arrives.
#include <algorithm>
#include <charconv>
#include <climits>
#include <sstream>

#include "link/platform/clock.h"
#include "link/timing.h"
#include "tools/register_read.h"

namespace dkq::tool {
namespace {

using Args = std::vector<std::string>;
using Prepared = std::optional<PreparedCommand>;

// ---- scan -----------------------------------------------------------------

struct AddressRange {
    int from = 1;
    int to = 31;
};

constexpr int kHighestAddress = 247;

// Codes after which the link is closed: no later address can be asked.
bool linkLost(int code) {
    return code == tx::PeerClosed || code == tx::ReceiveError || code == tx::SendFailed ||
           code == tx::NotOpen;
}

// Asks each address once for diagnostics block 1. Silence is not reported
// (most addresses of a bus are empty); any other failure is, since it means
// something is on the line at that address.
int runScan(CommandContext& c, AddressRange range) {
    ModulePrinter printer(c.out, c.output.format);
    int answered = 0;
    int lost = tx::Ok;
    for (int address = range.from; address <= range.to && lost == tx::Ok; ++address) {
        // Silent addresses of a sparse bus say nothing about the line: they
        // must not add up to a dead line for the next address.
        c.link.TimeoutCount = 0;
        Diagn1Block block{};
        const int code = c.link.ReadDiagn1(address, 0, block);
        if (code == tx::Ok) {
            printer.print(address, block);
            ++answered;
        } else if (code != tx::NoAnswer) {
            reportFailure(c, ("scan of address " + std::to_string(address)).c_str(), code);
            if (linkLost(code)) lost = code;
        }
    }
    // Beside data for scripts the summary is a message on standard error.
    const bool text = c.output.format == OutputFormat::Text;
    (text ? c.out : c.err) << (text ? "" : "dkq: ") << answered << " of "
                           << range.to - range.from + 1 << " addresses answered\n";
    if (lost != tx::Ok) return lost;  // an unfinished scan is no result
    return answered > 0 ? tx::Ok : tx::NoAnswer;
}

Prepared scan(const Args& a) {
    AddressRange range;
    for (size_t i = 0; i < a.size(); ++i) {
        const bool from = a[i] == "--from";
        if (!from && a[i] != "--to") return refuse("unknown scan argument " + a[i]);
        if (i + 1 == a.size()) return refuse(a[i] + " needs an address");
        const auto address = numberArgument(a[++i], from ? "--from" : "--to", 1, kHighestAddress);
        if (!address) return std::nullopt;
        (from ? range.from : range.to) = *address;
    }
    if (range.from > range.to) return refuse("--from must not be above --to");
    return [range](CommandContext& c) { return runScan(c, range); };
}

// ---- poll -----------------------------------------------------------------

struct PollPlan {
    Nanos interval = 1000 * NanosPerMs;
    long long count = 0;  // 0: until interrupted
    RegisterRead read{};
};

// Seconds with fractions, 0..86400, read without the locale; 0 polls back
// to back (a stress test of the line).
std::optional<Nanos> parseInterval(const std::string& word) {
    double seconds = 0;
    const auto [end, error] = std::from_chars(word.data(), word.data() + word.size(), seconds);
    if (word.empty() || error != std::errc() || end != word.data() + word.size() ||
        !(seconds >= 0 && seconds <= 86400))
        return refuse("--interval must be 0..86400 seconds");
    return static_cast<Nanos>(seconds * 1e9);
}

// Sleeps until the slot in short slices, so that a signal ends the wait
// soon; false when a stop was requested.
bool sleepUntil(Nanos slot) {
    constexpr Nanos kSlice = 50 * NanosPerMs;
    while (stopSignal() == 0) {
        const Nanos now = platform::performanceCounter();
        if (now >= slot) return true;
        platform::sleepUntilCounter(std::min(slot, now + kSlice));
    }
    return false;
}

// One round; a link that a failure closed is opened again first, and when
// that fails the round reports why, as the first opening would.
int pollRound(CommandContext& c, const RegisterRead& read, ReadingPrinter& printer) {
    const auto time = WallClock::now();
    if (!c.link.IsOpen()) {
        if (const int code = c.link.open_com(c.comPort, c.baud); code != open::Ok) {
            const Reading reading{time, read.address, read.start, read.count, {}, tx::Ok, {}};
            return printFailure(c, reading, printer, "", {tx::NotOpen, openFailureText(c, code)},
                                true);
        }
    }
    return readAndPrint(c, read, printer, time, true);
}

// Exit status: that of the last exchange. Lines go out before every wait;
// rounds back to back hold theirs up to 100 ms, since a write call a line
// would cost about as much as the exchange.
int runPoll(CommandContext& c, const PollPlan& plan) {
    constexpr Nanos kLongestHold = 100 * NanosPerMs;
    const StopSignals stops;
    std::ostringstream held;
    ReadingPrinter printer(held, c.output, true);
    const auto writeOut = [&] {
        c.out << held.str() << std::flush;
        held.str("");
    };
    Nanos slot = platform::performanceCounter();
    Nanos written = slot;
    int code = tx::Ok;
    for (long long round = 1;; ++round) {
        code = pollRound(c, plan.read, printer);
        if (round == plan.count || stopSignal() != 0) break;
        const Nanos now = platform::performanceCounter();
        if (plan.interval > 0 || now - written >= kLongestHold) {
            writeOut();
            if (!c.out) break;  // dkq reports the output that could not be written
            written = now;
        }
        slot = nextSlot(slot, plan.interval, now);
        if (slot > now && !sleepUntil(slot)) break;  // back to back: no clock read more
    }
    writeOut();
    return code;
}

// Reads [--interval S] [--count N]; the index of the read command after them,
// or nothing (the problem named).
std::optional<size_t> parsePollOptions(const Args& a, PollPlan& plan) {
    size_t i = 0;
    for (; i < a.size() && a[i].starts_with("--"); ++i) {
        const std::string& option = a[i];
        if (option != "--interval" && option != "--count")
            return refuse("unknown poll option " + option);
        if (i + 1 == a.size()) return refuse(option + " needs a value");
        const std::string& value = a[++i];
        if (option == "--count") {
            const auto count = numberArgument(value, "--count", 1, INT_MAX);
            if (!count) return std::nullopt;
            plan.count = *count;
        } else {
            const auto interval = parseInterval(value);
            if (!interval) return std::nullopt;
            plan.interval = *interval;
        }
    }
    if (i == a.size()) return refuse("no read command to repeat");
    return i;
}

Prepared poll(const Args& a) {
    PollPlan plan;
    const auto at = parsePollOptions(a, plan);
    if (!at) return std::nullopt;
    const size_t i = *at;
    const auto read = parseRegisterRead(a[i], Args(a.begin() + static_cast<long>(i) + 1, a.end()));
    if (!read) return std::nullopt;
    plan.read = *read;
    return [plan](CommandContext& c) { return runPoll(c, plan); };
}

constexpr ToolCommand kCommands[] = {
    {"scan", "[--from A] [--to B]",
     "ask every address (1..31 by default) for diagnostics block 1 (function 8)", false, scan},
    {"poll", "[--interval S] [--count N] read-input|read-holding|read-config ADDR START COUNT",
     "repeat a read every S seconds (default 1; 0: back to back), N times or until Ctrl+C", false,
     poll},
};

}  // namespace

std::span<const ToolCommand> fieldCommands() {
    return kCommands;
}

}  // namespace dkq::tool
