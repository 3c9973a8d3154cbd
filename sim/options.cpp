#include "sim/options.h"

#include <algorithm>
#include <functional>
#include <map>

#include "sim/numbers.h"

namespace dkq::sim {
namespace {

constexpr long MaxPort = 65535;
constexpr long MaxBaud = 4'000'000;
constexpr long MaxDelayMs = 60'000;
constexpr long MaxCloseAfter = 1'000'000;
constexpr long MaxFunctionCode = 127;
constexpr long MaxSeed = 0xFFFFFFFFL;

using Setter = std::function<bool(Options&, std::string_view)>;

// [HOST:]PORT; an IPv6 address stands in brackets ("[::1]:4002").
std::optional<TcpEndpoint> parseEndpoint(std::string_view text) {
    TcpEndpoint endpoint;
    if (const auto colon = text.rfind(':'); colon != std::string_view::npos) {
        std::string_view host = text.substr(0, colon);
        if (host.size() > 2 && host.front() == '[' && host.back() == ']')
            host = host.substr(1, host.size() - 2);
        else if (host.empty() || host.find(':') != std::string_view::npos)
            return std::nullopt;
        endpoint.host = std::string(host);
        text = text.substr(colon + 1);
    }
    const auto port = parseNumberIn(text, 0, MaxPort);
    if (!port) return std::nullopt;
    endpoint.port = *port;
    return endpoint;
}

// Options that take a value; each setter refuses a malformed one.
const std::map<std::string_view, Setter>& valueOptions() {
    static const std::map<std::string_view, Setter> options{
        {"--tcp", [](Options& o, std::string_view v) { return bool(o.tcp = parseEndpoint(v)); }},
        {"--pty",
         [](Options& o, std::string_view v) {
             o.ptyLink = v;
             return !v.empty();
         }},
        {"--modules",
         [](Options& o, std::string_view v) {
             const auto list = parseModuleList(v);
             if (list) o.bus.addresses = *list;
             return list.has_value();
         }},
        {"--state",
         [](Options& o, std::string_view v) {
             o.stateFile = v;
             return !v.empty();
         }},
        {"--seed",
         [](Options& o, std::string_view v) {
             const auto seed = parseNumber(v);
             if (seed && *seed >= 0 && *seed <= MaxSeed) o.seed = static_cast<unsigned>(*seed);
             return o.seed.has_value();
         }},
        {"--mute",
         [](Options& o, std::string_view v) {
             const auto address = parseNumberIn(v, FirstModuleAddress, LastModuleAddress);
             if (address) o.bus.muted.push_back(*address);
             return address.has_value();
         }},
        {"--delay",
         [](Options& o, std::string_view v) {
             const auto ms = parseNumberIn(v, 0, MaxDelayMs);
             if (ms) o.session.pacing.delay = std::chrono::milliseconds(*ms);
             return ms.has_value();
         }},
        {"--baud",
         [](Options& o, std::string_view v) {
             const auto baud = parseNumberIn(v, 1, MaxBaud);
             if (baud) o.session.pacing.baud = *baud;
             return baud.has_value();
         }},
        {"--fault",
         [](Options& o, std::string_view v) {
             const auto fault = parseFaultRule(v);
             if (fault) o.bus.faults.push_back(*fault);
             return fault.has_value();
         }},
        {"--exception",
         [](Options& o, std::string_view v) {
             const auto function = parseNumberIn(v, 1, MaxFunctionCode);
             if (function) o.bus.exceptionFunctions.push_back(*function);
             return function.has_value();
         }},
        {"--close-after",
         [](Options& o, std::string_view v) {
             const auto count = parseNumberIn(v, 1, MaxCloseAfter);
             if (count) o.session.closeAfterAnswers = *count;
             return count.has_value();
         }},
    };
    return options;
}

bool onBus(const Options& options, int address) {
    const auto& addresses = options.bus.addresses;
    return std::find(addresses.begin(), addresses.end(), address) != addresses.end();
}

// Addresses named by --mute and --fault must be modules on the bus.
std::string checkAddresses(const Options& options) {
    for (int address : options.bus.muted)
        if (!onBus(options, address))
            return "--mute " + std::to_string(address) + ": no such module on the bus";
    for (const auto& fault : options.bus.faults)
        if (fault.address != 0 && !onBus(options, fault.address))
            return "--fault: no module " + std::to_string(fault.address) + " on the bus";
    return {};
}

ParsedOptions failure(std::string error) {
    ParsedOptions parsed;
    parsed.outcome = ParsedOptions::Outcome::Error;
    parsed.error = std::move(error);
    return parsed;
}

}  // namespace

std::optional<std::vector<int>> parseModuleList(std::string_view text) {
    std::vector<int> addresses;
    while (true) {
        const auto comma = text.find(',');
        const auto item = text.substr(0, comma);
        const auto dash = item.find('-');
        const auto first =
            parseNumberIn(item.substr(0, dash), FirstModuleAddress, LastModuleAddress);
        const auto last =
            dash == std::string_view::npos
                ? first
                : parseNumberIn(item.substr(dash + 1), FirstModuleAddress, LastModuleAddress);
        if (!first || !last || *last < *first) return std::nullopt;
        for (int a = *first; a <= *last; ++a) addresses.push_back(a);
        if (comma == std::string_view::npos) break;
        text = text.substr(comma + 1);
    }
    std::sort(addresses.begin(), addresses.end());
    addresses.erase(std::unique(addresses.begin(), addresses.end()), addresses.end());
    return addresses;
}

ParsedOptions parseOptions(const std::vector<std::string_view>& args) {
    ParsedOptions parsed;
    Options& options = parsed.options;
    for (size_t i = 0; i < args.size(); ++i) {
        std::string_view name = args[i];
        std::optional<std::string_view> value;
        if (const auto equals = name.find('='); equals != std::string_view::npos) {
            value = name.substr(equals + 1);
            name = name.substr(0, equals);
        }
        if ((name == "--help" || name == "-h") && !value) {
            parsed.outcome = ParsedOptions::Outcome::Help;
            return parsed;
        }
        if (name == "--deterministic" && !value) {
            options.bus.deterministic = true;
            continue;
        }
        if (name == "--trace" && !value) {
            options.trace = true;
            continue;
        }
        const auto setter = valueOptions().find(name);
        if (setter == valueOptions().end())
            return failure("unknown option " + std::string(args[i]));
        if (!value) {
            if (i + 1 == args.size()) return failure(std::string(name) + " needs a value");
            value = args[++i];
        }
        if (!setter->second(options, *value))
            return failure("bad value for " + std::string(name) + ": " + std::string(*value));
    }
    if (!options.tcp && options.ptyLink.empty()) return failure("give --tcp or --pty (or both)");
    if (auto error = checkAddresses(options); !error.empty()) return failure(error);
    return parsed;
}

std::string usageText() {
    return R"(usage: dkqsim [--tcp [HOST:]PORT] [--pty LINK] [--modules LIST] [options]

A simulated RS-485 bus of DKQ-1 modules speaking Modbus ASCII. The first line
printed tells where it listens ("tcp HOST:PORT", "pty DEVICE" or both). It runs
until "quit" on stdin, SIGTERM or SIGINT; end of stdin does not stop it.

Front ends (at least one):
  --tcp [HOST:]PORT   serial-to-Ethernet server (raw characters); HOST defaults
                      to 127.0.0.1, an IPv6 address in brackets ([::1]:4002);
                      port 0 picks a free one; a new connection replaces the
                      current one
  --pty LINK          pseudo-terminal; LINK becomes a symbolic link to its device
Bus:
  --modules LIST      module addresses, e.g. 1,2,3 or 1-3,7 (1..247; default 1)
  --deterministic     every value follows the table below exactly
  --state FILE        keep the configuration memory of all modules in FILE
  --seed N            seed of the fault and noise generators (default: random)
Faults:
  --mute A            module A is on the bus but never answers (repeatable)
  --delay MS          every answer starts MS ms after its request ended
  --baud B            pace both directions at B baud, 10 bits a character
  --fault KIND[:A][@P]
                      damage answers (of module A only; with probability P):
                      bad-lrc, garbage (bytes before ':'), short (half, no CR LF),
                      silent, close-mid (TCP: half, then close), lower-hex
                      The record memory is the first module's (lowest address):
                      --mute, --fault and the console's mute and fault of that
                      module (or of every module) reach its text command answers
                      too; there bad-lrc changes an answer's last byte (its CRC)
  --exception FC      answer function FC with exception code 1 (repeatable)
  --close-after N     close a TCP connection right after its N-th answer
  --trace             print "rx <line>" for every line received
  -h, --help          this text
  --version           the version of the suite

Console (stdin, one command a line, each answered "ok" or "error <reason>"):
  set-input A R V | set-holding A R V | set-config A R V   set a register
  mute A | unmute A                  stop / resume answering (text commands too)
  drop                               close the current TCP connection
  fault KIND[:A][@P] | clear-faults  as --fault (text commands too); remove all faults
  quit                               exit
V may be decimal (negative for a 16-bit pattern) or 0x hexadecimal. Values set
from the console stay as set; counters go on counting from them.

Values with --deterministic, for module address a and register r:
  input      r = 0..3    2930 + 10a + r   (temperature sensors, 10 mV/K)
             r = 4..15   250r + a         (voltages in mV)
             r = 16..19  100a + (r - 16)  (counters, constant)
  holding    r = 0..11   r when bit r of register 16 is set (on), else 11900 + r
             r = 12      12000 + a        (Uz, mV)
             r = 13      5000 + a         (Vcc, mV)
             r = 14, 15  0
             r = 16      OutputWord, starts 0
             r = 17, 18  100a, 100a + 1   (PWM)
  config     register 0 = 1; 1..3 = 0x1234, 0x5678, 0x9A00 + a (serial number);
             6 = 0 (ModeFlags); every other register 0
  function 8   version 0x25, serial 12 34 56 78 9A a, supply 120, logic supply 50,
               program checksum 0xA5, EEPROM checksum = low 8 bits of the sum of
               all 480 configuration bytes
  function 9   byte i = (i + a) & 0xFF, 30 bytes
Written values stay as written; output voltages (holding 0..11) keep following
register 16 unless set from the console. Without --deterministic values carry
small noise and counters count once a second.

State file: text, '#' starts a comment; one line per module:
  config A V0 V1 ... V239      (240 register values, 0..65535)
)";
}

}  // namespace dkq::sim
