// Opening and closing the line, and the serial port's programming.
#include "link/module_link.h"

#include "link/comm_log.h"
#include "link/log_text.h"
#include "link/platform/clock.h"

namespace dkq {
namespace {

constexpr int kMaxIpAddressChars = 1023;
constexpr int kRecordMemoryBaud = 115200;
constexpr int kAfterWakeUpMs = 200;

}  // namespace

ModuleLink::ModuleLink() : ComDevice(platform::defaultComDevice) {}

// Destroying the object does not close the line: the programs close it first.
ModuleLink::~ModuleLink() = default;

int ModuleLink::InitNetwork(bool start) {
    if (!start) {
        if (NetworkStarted) tcp_.close();
        platform::stopNetwork();
        NetworkStarted = 0;
        return 0;
    }
    NetworkStarted = 0;
    const int error = platform::startNetwork();
    if (error != 0) {
        CommLog(logText("WSAStartup error (%d)", error));
        return open::NetworkFailed;
    }
    NetworkStarted = 1;
    return 0;
}

// A line still open, of either kind, or a socket left over from a failed
// attempt, is closed first: one line at a time, and no number of reopenings
// leaks descriptors.
int ModuleLink::open_com(int comPort, int baud) {
    TimeoutCount = 0;
    tcp_.close();
    serial_.close();
    Connected = 0;
    OpenFailure.clear();
    if (UseTcp) {
        line_ = &tcp_;
        return openTcp();
    }
    line_ = &serial_;
    return openSerial(comPort, baud);
}

int ModuleLink::openTcp() {
    const std::string host = IpAddress.substr(0, kMaxIpAddressChars);
    const Stopwatch watch;
    std::string unknownName;
    const auto peers = platform::resolve(host, TcpPort & 0xFFFF, unknownName);
    if (peers.empty()) OpenFailure = "cannot resolve " + host + ": " + unknownName;
    // A name may stand for several addresses (IPv6 and IPv4): each is tried
    // in turn within the one connect time-out.
    const Deadline deadline = watch.deadline(ConnectTimeoutMs);
    for (const auto& peer : peers) {
        const int left = deadline.msLeft();
        if (left == 0) break;
        const int code = connectTo(peer, left);
        if (code == open::Ok) {
            CommLog(logText("connect OK, %d ms", watch.elapsedMs()));
            OpenFailure.clear();
            Connected = 1;
            return open::Ok;
        }
        if (code != open::ConnectTimeout) return code;
    }
    // A refused connection ends here at once with the same code and line.
    CommLog(logText("open_com: Timeout (%d>%d ms)", watch.elapsedMs(), ConnectTimeoutMs));
    if (OpenFailure.empty()) OpenFailure = logText("no connection within %d ms", ConnectTimeoutMs);
    return open::ConnectTimeout;
}

int ModuleLink::connectTo(const platform::PeerAddress& peer, int timeoutMs) {
    const ConnectAttempt result = tcp_.connect(peer, timeoutMs);
    if (result.code == open::SocketFailed) CommLog(logText("Socket error (%d)", result.error));
    if (result.code == open::IoctlFailed) CommLog(logText("ioctlsocket error (%d)", result.error));
    if (result.code != open::Ok)
        OpenFailure = result.error != 0 ? platform::errorText(result.error)
                                        : logText("no connection within %d ms", ConnectTimeoutMs);
    return result.code;
}

int ModuleLink::openSerial(int comPort, int baud) {
    const std::string device = ComDevice ? ComDevice(comPort) : platform::defaultComDevice(comPort);
    const Stopwatch watch;
    if (const int error = serial_.open(device); error != 0) {
        CommLog(logText("open_COM%d ERROR", comPort));
        OpenFailure = platform::isPortBusy(error) ? "port busy" : platform::errorText(error);
        return open::PortFailed;
    }
    // With StrictPortSetup a setting the port refuses ends the opening.
    const auto refused = [&] {
        serial_.close();
        CommLog(logText("open_COM%d ERROR", comPort));
        return open::PortFailed;
    };
    if (!SetupPort(baud, true) && StrictPortSetup) return refused();
    if (RecordMemoryMode) {
        // The wake-up line goes out at the user's speed and framing.
        std::string line(WakeUpLine);
        line.push_back('\r');
        trace(true, {reinterpret_cast<const std::uint8_t*>(line.data()), line.size()});
        serial_.sendWakeUpLine(line);  // twice
        if (!SetupPort(kRecordMemoryBaud, false) && StrictPortSetup) return refused();
        platform::sleepMs(kAfterWakeUpMs);
        serial_.purgeReceive();
    } else {
        serial_.listen();
    }
    CommLog(logText("open_COM%d OK, %d ms", comPort, watch.elapsedMs()));
    Connected = 1;
    return open::Ok;
}

void ModuleLink::close_com() {
    // Both lines are closed whatever UseTcp says now, so switching it while
    // open cannot leave one behind.
    tcp_.close();
    serial_.close();
    CommLog("close_com");
    Connected = 0;
}

// 1 when every step took; a failed step is shown (or, with StrictPortSetup,
// kept in OpenFailure) and the setup goes on.
int ModuleLink::SetupPort(int baud, bool asciiFraming) {
    // 115200 baud is the record memory's speed: always 8 data bits, 1 stop bit.
    const bool sevenTwo = asciiFraming && baud != kRecordMemoryBaud;
    BaudRate = baud;
    MicrosPerChar = baud > 0 ? 10.0 / baud * 1'000'000.0 : 0.0;
    const auto result = serial_.configure(baud, sevenTwo ? 7 : 8, sevenTwo ? 2 : 1);
    const bool tookAll = result.stateRead && result.stateApplied && result.timeoutsApplied;
    if (StrictPortSetup) {
        if (!result.stateRead)
            OpenFailure = "not a serial port (its settings cannot be read)";
        else if (!result.stateApplied)
            OpenFailure = logText("the port does not take %d baud", baud);
        else if (!result.timeoutsApplied)
            OpenFailure = "the port's time-outs cannot be set";
        return tookAll ? 1 : 0;
    }
    auto show = [this](const char* text) {
        if (PortSetupMessage) PortSetupMessage(text);
    };
    if (!result.stateRead) show("Getcommstate ERROR");
    if (!result.stateApplied) show("Błąd ustawienia portu !");
    if (!result.timeoutsApplied) show("Błąd wpisu timeouts !");
    return tookAll ? 1 : 0;
}

void ModuleLink::CommLog(std::string_view text) {
    if (LogEnabled) writeCommLog(text);
}

}  // namespace dkq
