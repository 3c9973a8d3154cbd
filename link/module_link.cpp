// Opening and closing the line, the serial port's programming and the RS-485
// transmitter control.
#include "link/module_link.h"

#include "link/comm_log.h"
#include "link/log_text.h"
#include "link/platform/clock.h"

namespace dkq {
namespace {

constexpr int kMaxIpAddressChars = 1023;
constexpr int kRecordMemoryBaud = 115200;
constexpr int kWakeUpPauseMs = 60;
constexpr int kAfterWakeUpMs = 200;

}  // namespace

ModuleLink::ModuleLink() : ComDevice(platform::defaultComDevice) {}

// Destroying the object does not close the line: the programs close it first.
ModuleLink::~ModuleLink() = default;

int ModuleLink::InitNetwork(bool start) {
    if (!start) {
        if (NetworkStarted) socket_.close();
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

int ModuleLink::open_com(int comPort, int baud) {
    TimeoutCount = 0;
    return UseTcp ? openTcp() : openSerial(comPort, baud);
}

int ModuleLink::openTcp() {
    // A socket still open, or left over from a failed attempt, is closed
    // first so that no number of reconnects leaks descriptors.
    if (socket_.isValid()) {
        socket_.close();
        Connected = 0;
    }
    OpenFailure.clear();
    const std::string host = IpAddress.substr(0, kMaxIpAddressChars);
    Stopwatch(true);
    std::string unknownName;
    const auto peers = platform::resolve(host, TcpPort & 0xFFFF, unknownName);
    if (peers.empty()) OpenFailure = "cannot resolve " + host + ": " + unknownName;
    // A name may stand for several addresses (IPv6 and IPv4): each is tried
    // in turn within the one connect time-out.
    for (const auto& peer : peers) {
        const int left = ConnectTimeoutMs - Stopwatch(false);
        if (left <= 0) break;
        const int code = connectTo(peer, left);
        if (code == open::Ok) {
            CommLog(logText("connect OK, %d ms", Stopwatch(false)));
            OpenFailure.clear();
            Connected = 1;
            return open::Ok;
        }
        if (code != open::ConnectTimeout) return code;
    }
    // A refused connection ends here at once with the same code and line.
    CommLog(logText("open_com: Timeout (%d>%d ms)", Stopwatch(false), ConnectTimeoutMs));
    if (OpenFailure.empty()) OpenFailure = logText("no connection within %d ms", ConnectTimeoutMs);
    return open::ConnectTimeout;
}

int ModuleLink::connectTo(const platform::PeerAddress& peer, int timeoutMs) {
    if (const int error = socket_.create(peer.family); error != 0) {
        CommLog(logText("Socket error (%d)", error));
        OpenFailure = platform::errorText(error);
        return open::SocketFailed;
    }
    if (const int error = socket_.setNonBlocking(true); error != 0) {
        CommLog(logText("ioctlsocket error (%d)", error));
        OpenFailure = platform::errorText(error);
        socket_.close();
        return open::IoctlFailed;
    }
    int error = 0;
    const auto outcome = socket_.connect(peer, timeoutMs, error);
    if (outcome == platform::ConnectOutcome::Connected) return open::Ok;
    OpenFailure = outcome == platform::ConnectOutcome::Refused
                      ? platform::errorText(error)
                      : logText("no connection within %d ms", ConnectTimeoutMs);
    socket_.close();
    return open::ConnectTimeout;
}

int ModuleLink::openSerial(int comPort, int baud) {
    const std::string device = ComDevice ? ComDevice(comPort) : platform::defaultComDevice(comPort);
    counterFrequency_ = platform::performanceFrequency();
    if (Connected || port_.isOpen()) {
        port_.close();
        Connected = 0;
    }
    OpenFailure.clear();
    Stopwatch(true);
    if (const int error = port_.open(device); error != 0) {
        CommLog(logText("open_COM%d ERROR", comPort));
        OpenFailure = platform::errorText(error);
        return open::PortFailed;
    }
    // With StrictPortSetup a setting the port refuses ends the opening.
    const auto refused = [&] {
        port_.close();
        CommLog(logText("open_COM%d ERROR", comPort));
        return open::PortFailed;
    };
    if (!SetupPort(baud, true) && StrictPortSetup) return refused();
    if (RecordMemoryMode) {
        sendWakeUpLine();
        if (!SetupPort(kRecordMemoryBaud, false) && StrictPortSetup) return refused();
        platform::sleepMs(kAfterWakeUpMs);
        port_.purgeReceive();
    } else {
        // RTS is the transmit enable of the RS-485 driver: low while listening.
        port_.setDtr(true);
        port_.setRts(false);
    }
    CommLog(logText("open_COM%d OK, %d ms", comPort, Stopwatch(false)));
    Connected = 1;
    return open::Ok;
}

// The wake-up line goes out twice at the user's speed and framing. Each copy
// is given its time on the wire before the pause, so that a slow line does
// not lose its tail when RTS drops.
void ModuleLink::sendWakeUpLine() {
    std::string line(WakeUpLine);
    line.push_back('\r');
    const auto bytes = std::span(reinterpret_cast<const std::uint8_t*>(line.data()), line.size());
    port_.setRts(true);
    for (int copy = 0; copy < 2; ++copy) {
        transmitStart_ = platform::performanceCounter();
        waitOnWire(port_.write(bytes));
        platform::sleepMs(kWakeUpPauseMs);
    }
    port_.setRts(false);
}

void ModuleLink::close_com() {
    // Both handles are closed whatever UseTcp says now, so switching the
    // transport while open cannot leave one behind.
    socket_.close();
    port_.close();
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
    const auto result = port_.configure(baud, sevenTwo ? 7 : 8, sevenTwo ? 2 : 1);
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

void ModuleLink::closeSocket() {
    socket_.close();
}

// RS-485 direction control: the transmitter is enabled for exactly the time
// the characters need on the wire, then released so the answer is heard.
int ModuleLink::transmitSerial(std::span<const std::uint8_t> text) {
    port_.purgeReceive();
    port_.setRts(true);
    transmitStart_ = platform::performanceCounter();
    const int written = port_.write(text);
    waitOnWire(written);
    port_.setRts(false);
    return written;
}

// Waits until `characters` have left since transmitStart_, without using the
// processor: the system tells when its buffer is sent (a real UART), then a
// sleep lasts until the characters' time on the wire is over (for lines whose
// driver answers early, and pseudo-terminals), so RTS drops punctually.
void ModuleLink::waitOnWire(int characters) {
    port_.waitSent();
    const double onWire = characters > 0 ? characters * MicrosPerChar : 0.0;
    const auto ticks = static_cast<std::int64_t>(
        onWire * static_cast<double>(platform::performanceFrequency()) / 1'000'000.0);
    platform::sleepUntilCounter(transmitStart_ + ticks);
}

// Discards whatever a late answer left in the socket, then sends the text.
bool ModuleLink::flushAndSend(std::span<const std::uint8_t> text) {
    std::array<std::uint8_t, 1024> scratch;
    socket_.setNonBlocking(true);
    (void)socket_.receive(scratch);
    socket_.setNonBlocking(false);
    if (socket_.send(text) >= 0) return true;
    CommLog(logText("send failed: %d", platform::lastSocketError()));
    closeSocket();
    Connected = 0;
    return false;
}

void ModuleLink::CommLog(std::string_view text) {
    if (LogEnabled) writeCommLog(text);
}

double ModuleLink::ElapsedMicros(std::int64_t since) const {
    if (counterFrequency_ == 0) return 1'000'000'000.0;
    return static_cast<double>(platform::performanceCounter() - since) * 1'000'000.0 /
           static_cast<double>(counterFrequency_);
}

}  // namespace dkq
