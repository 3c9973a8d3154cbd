// dkqsim as a process, reached over TCP and over its pseudo-terminal the way
// the programs reach a bus, by a plain client of the line.
#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <filesystem>

#include "tests/sim/frames.h"
#include "tests/support/sim_process.h"

namespace dkq::sim::test {
namespace {

using dkq::test::ScratchDir;
using dkq::test::SimProcess;
using Clock = std::chrono::steady_clock;

// A plain client of the simulator's line, without the module link.
class LineClient {
  public:
    explicit LineClient(int tcpPort) : fd_(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<std::uint16_t>(tcpPort));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        EXPECT_EQ(::connect(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
        const int on = 1;
        ::setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    }
    // Opened raw at 9600 baud, 7 data bits, 2 stop bits, as the programs do.
    explicit LineClient(const std::string& serialPath)
        : fd_(::open(serialPath.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC)) {
        termios settings{};
        EXPECT_EQ(::tcgetattr(fd_, &settings), 0) << serialPath;
        ::cfmakeraw(&settings);
        settings.c_cflag = (settings.c_cflag & ~CSIZE) | CS7 | CSTOPB;
        ::cfsetspeed(&settings, B9600);
        ::tcsetattr(fd_, TCSANOW, &settings);  // a pty may refuse parts of it
        ::tcflush(fd_, TCIOFLUSH);
    }
    LineClient(const LineClient&) = delete;
    LineClient& operator=(const LineClient&) = delete;
    ~LineClient() {
        if (fd_ >= 0) ::close(fd_);
    }

    // Characters received until a line end, the peer closed, or timeoutMs.
    std::string receive(int timeoutMs = 1000) {
        std::string received;
        const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
        while (received.find('\n') == std::string::npos) {
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
            pollfd pfd{fd_, POLLIN, 0};
            if (left.count() <= 0 || ::poll(&pfd, 1, static_cast<int>(left.count())) <= 0) break;
            char buffer[512];
            const ssize_t n = ::read(fd_, buffer, sizeof buffer);
            if (n <= 0) {
                peerClosed = true;
                break;
            }
            received.append(buffer, static_cast<size_t>(n));
        }
        return received;
    }
    std::string exchange(const std::string& requestLine, int timeoutMs = 1000) {
        const std::string text = requestLine + "\r\n";
        // A connection the simulator closed fails the test, not the program.
        ssize_t sent = ::send(fd_, text.data(), text.size(), MSG_NOSIGNAL);
        if (sent < 0 && errno == ENOTSOCK) sent = ::write(fd_, text.data(), text.size());
        EXPECT_EQ(sent, static_cast<ssize_t>(text.size()));
        return receive(timeoutMs);
    }
    // True when the simulator closed the line (waiting up to a second).
    bool closed() {
        receive();
        return peerClosed;
    }
    bool peerClosed = false;

  private:
    int fd_;
};

const std::string ReadHolding1 = ":010300000013E9";  // module 1, holding 0..18
const std::string ReadHolding1Answer =
    ":0103262E7C2E7D2E7E2E7F2E802E812E822E832E842E852E862E872EE113890000000000000064006528\r\n";
const std::string ReadOutputWord1 = requestLine({1, 3, 0, 16, 0, 1});
const std::string OutputWord0Answer = modbus::encodeFrame(Bytes{1, 3, 2, 0, 0});

TEST(SimOverTcp, AnswersExactlyTakesConsoleCommandsAndTracesEveryLine) {
    SimProcess sim({"--tcp", "127.0.0.1:0", "--modules", "1,2", "--deterministic", "--trace"});
    LineClient client(sim.tcpPort());
    EXPECT_EQ(client.exchange(ReadHolding1), ReadHolding1Answer);
    const std::string toAbsentModule = requestLine({3, 3, 0, 0, 0, 1});
    EXPECT_EQ(client.exchange(toAbsentModule, 200), "");
    EXPECT_EQ(client.exchange("*RD_0,0", 100), "");  // no record memory here
    EXPECT_EQ(sim.command("set-input 2 16 0xFFFF"), "ok");
    const std::string readCounter = requestLine({2, 4, 0, 16, 0, 1});
    EXPECT_EQ(client.exchange(readCounter), modbus::encodeFrame(Bytes{2, 4, 2, 0xFF, 0xFF}));
    EXPECT_TRUE(sim.command("set-input 7 0 0").starts_with("error "));
    EXPECT_EQ(sim.takeLines("rx "),
              (std::vector<std::string>{"rx " + ReadHolding1, "rx " + toAbsentModule, "rx *RD_0,0",
                                        "rx " + readCounter}));
}

// One client at a time: a new connection replaces the current one, a drop
// or the N-th answer ends it, a close-mid fault ends it half way.
TEST(SimOverTcp, ConnectionsEnd) {
    SimProcess sim({"--tcp", "0", "--modules", "1,2", "--deterministic", "--close-after", "2",
                    "--fault", "close-mid:2"});
    LineClient first(sim.tcpPort());
    EXPECT_EQ(first.exchange(ReadOutputWord1), OutputWord0Answer);
    LineClient second(sim.tcpPort());
    EXPECT_EQ(second.exchange(ReadOutputWord1), OutputWord0Answer);
    EXPECT_TRUE(first.closed());
    EXPECT_EQ(sim.command("drop"), "ok");
    EXPECT_TRUE(second.closed());

    LineClient third(sim.tcpPort());
    EXPECT_EQ(third.exchange(ReadOutputWord1), OutputWord0Answer);
    EXPECT_EQ(third.exchange(ReadOutputWord1), OutputWord0Answer);
    EXPECT_TRUE(third.closed());

    LineClient fourth(sim.tcpPort());
    const std::string answer2 = modbus::encodeFrame(Bytes{2, 3, 2, 0, 0});
    EXPECT_EQ(fourth.exchange(requestLine({2, 3, 0, 16, 0, 1})),
              answer2.substr(0, answer2.size() / 2));
    EXPECT_TRUE(fourth.peerClosed);
}

TEST(SimOverTcp, ConfigurationMemorySurvivesARestart) {
    ScratchDir dir;
    const std::vector<std::string> args{"--tcp", "0", "--modules", "1,9", "--state", "bus.state"};
    {
        SimProcess sim(args);
        LineClient client(sim.tcpPort());
        const Bytes write{9, 31, 0, 7, 0, 2, 0x01, 0x02, 0xFF, 0xFE};
        EXPECT_EQ(answerBytes(client.exchange(requestLine(write))),
                  Bytes(write.begin(), write.begin() + 6));
        EXPECT_EQ(sim.command("set-config 1 239 5"), "ok");
    }
    SimProcess sim(args);
    LineClient client(sim.tcpPort());
    EXPECT_EQ(answerBytes(client.exchange(requestLine({9, 30, 0, 7, 0, 2}))),
              (Bytes{9, 30, 4, 0x01, 0x02, 0xFF, 0xFE}));
    EXPECT_EQ(answerBytes(client.exchange(requestLine({1, 30, 0, 239, 0, 1}))),
              (Bytes{1, 30, 2, 0, 5}));
}

// Pacing holds an exchange back for its wire time: request and answer
// characters at 10 bits each, plus the delay. How closely it keeps to it is
// measured by the benchmarks; here only that it paces, and not grossly more.
// Leaving out either the baud rate or the delay would be too quick.
TEST(SimOverTcp, ExchangesTakeTheirWireTime) {
    constexpr int Baud = 38400, DelayMs = 10, Exchanges = 5;
    SimProcess sim({"--tcp", "0", "--deterministic", "--baud", std::to_string(Baud), "--delay",
                    std::to_string(DelayMs)});
    LineClient client(sim.tcpPort());
    const double characters = (ReadHolding1.size() + 2) + ReadHolding1Answer.size();
    const double wireSeconds = characters * 10 / Baud + DelayMs / 1000.0;
    const auto start = Clock::now();
    for (int i = 0; i < Exchanges; ++i)
        ASSERT_EQ(client.exchange(ReadHolding1), ReadHolding1Answer);
    const double perExchange =
        std::chrono::duration<double>(Clock::now() - start).count() / Exchanges;
    EXPECT_GE(perExchange, wireSeconds * 0.99);
    EXPECT_LE(perExchange, wireSeconds * 2 + 0.050);
}

TEST(SimOverPty, AnswersAClientThatOpensItLikeASerialPort) {
    ScratchDir dir;
    const std::string link = dir.file("ttyDKQ");
    {
        SimProcess sim({"--pty", link, "--tcp", "0", "--deterministic"});
        EXPECT_NE(sim.tcpPort(), 0);
        EXPECT_EQ(std::filesystem::read_symlink(link).string(), sim.ptyPath());
        for (int round = 0; round < 2; ++round) {  // a second client after the first closed
            LineClient client(link);
            EXPECT_EQ(client.exchange(ReadHolding1), ReadHolding1Answer);
        }
    }
    EXPECT_FALSE(std::filesystem::is_symlink(link));
}

// Started as a service (stdin at end of file), it runs until SIGTERM and
// then removes its link.
TEST(SimAsService, IgnoresEndOfInputAndStopsCleanlyOnSigterm) {
    ScratchDir dir;
    const std::string program = dkq::test::toolPath("DKQSIM");
    // The shell tells its process id, which the simulator then takes over.
    FILE* out = ::popen(("echo $$; exec '" + program + "' --pty ttyBus </dev/null").c_str(), "r");
    char line[256];
    ASSERT_TRUE(out && std::fgets(line, sizeof line, out));
    const pid_t pid = std::stoi(line);
    EXPECT_TRUE(std::fgets(line, sizeof line, out));  // the line printed once ready
    usleep(200'000);
    int status = 0;
    EXPECT_EQ(waitpid(pid, &status, WNOHANG), 0) << "stopped at end of input";
    EXPECT_TRUE(std::filesystem::is_symlink("ttyBus"));
    kill(pid, SIGTERM);
    status = ::pclose(out);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_FALSE(std::filesystem::is_symlink("ttyBus"));

    // A command line it does not understand is a usage error.
    status = std::system((program + " --no-such-option 2>/dev/null").c_str());
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 64);
}

}  // namespace
}  // namespace dkq::sim::test
