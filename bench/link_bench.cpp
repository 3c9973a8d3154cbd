// Link benchmark against the simulated bus, all figures from one run:
//  (a) loopback TCP: `dkq poll --interval 0 --count 20000` against a minimal
//      blocking C client (bench/minimal_client.c) doing the same 20000 reads
//      of the same dkqsim, best of seven alternating runs each: the ratio of
//      their times (goal: at most 1.10) and the CPU per exchange of each;
//  (b) a silent module: CPU seconds used during one 800 ms receive time-out,
//      as a share of the wait (goal: under 2 %);
//  (c) a pseudo-terminal paced at 9600 and at 115200 baud: time per exchange
//      divided by its wire time, request plus answer characters (goal: within
//      1.1), and CPU per exchange (goal: at most 0.3 ms);
//  (d) `dkq logger-status` on a pseudo-terminal, opening to closing: no
//      module answers its closing "*EOT!", and dkq does not wait for one.
// Usage: link_bench [DKQSIM]  (default: $DKQSIM)
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "link/modbus_ascii.h"
#include "link/module_link.h"
#include "tests/support/sim_process.h"

namespace {

using Clock = std::chrono::steady_clock;

double cpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

struct Sample {
    double wallSeconds;
    double cpuSeconds;
    int failures;
};

Sample readRepeatedly(dkq::ModuleLink& link, int exchanges) {
    std::array<std::int32_t, 20> values{};
    int failures = 0;
    const double cpu = cpuSeconds();
    const auto start = Clock::now();
    for (int i = 0; i < exchanges; ++i)
        if (link.ReadInputRegisters(1, 0, 20, values) != dkq::tx::Ok) ++failures;
    return {secondsSince(start), cpuSeconds() - cpu, failures};
}

bool openTcp(dkq::ModuleLink& link, int port) {
    link.UseTcp = 1;
    link.IpAddress = "127.0.0.1";
    link.TcpPort = port;
    link.ConnectTimeoutMs = 2000;
    link.ReceiveTimeoutMs = 800;
    return link.open_com(0, 0) == dkq::open::Ok;
}

// A program's run with its output to /dev/null: wall and CPU seconds.
Sample runProgram(std::vector<std::string> words) {
    std::vector<char*> argv;
    for (auto& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);
    const auto start = Clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, 1);
        execv(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
    const bool ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return {secondsSince(start), seconds(usage.ru_utime) + seconds(usage.ru_stime), ok ? 0 : 1};
}

Sample fastest(const Sample& a, const Sample& b) {
    return b.wallSeconds < a.wallSeconds ? b : a;
}

void pollAgainstMinimalClient() {
    dkq::test::SimProcess sim({"--tcp", "127.0.0.1:0", "--deterministic"});
    const std::string port = std::to_string(sim.tcpPort());
    const int n = 20000;
    const std::vector<std::string> dkq{DKQ_TOOL_PATH, "--tcp", "127.0.0.1:" + port, "poll",
                                       "--interval", "0", "--count", std::to_string(n),
                                       "read-input", "1", "0", "20"};
    const std::vector<std::string> client{MINIMAL_CLIENT_PATH, port, std::to_string(n),
                                          ":010400000014E7"};
    Sample bestDkq{1e9, 0, 0};
    Sample bestClient{1e9, 0, 0};
    for (int run = 0; run < 7; ++run) {
        bestDkq = fastest(bestDkq, runProgram(dkq));
        bestClient = fastest(bestClient, runProgram(client));
    }
    std::printf(
        "(a) TCP loopback, %d reads: dkq poll %.3f s (%.1f us CPU per exchange), minimal C "
        "client %.3f s (%.1f us CPU per exchange), ratio %.3f (goal <= 1.10)%s\n",
        n, bestDkq.wallSeconds, bestDkq.cpuSeconds / n * 1e6, bestClient.wallSeconds,
        bestClient.cpuSeconds / n * 1e6, bestDkq.wallSeconds / bestClient.wallSeconds,
        bestDkq.failures + bestClient.failures ? ", A RUN FAILED" : "");
}

void silentPeer() {
    dkq::test::SimProcess sim({"--tcp", "127.0.0.1:0", "--mute", "1"});
    dkq::ModuleLink link;
    if (!openTcp(link, sim.tcpPort())) return;
    const Sample s = readRepeatedly(link, 3);
    const double perWait = s.wallSeconds / 3;
    std::printf(
        "(b) silent module: %.0f ms per time-out, %.2f ms CPU per time-out = %.3f %% of the "
        "wait (goal < 2 %%)\n",
        perWait * 1e3, s.cpuSeconds / 3 * 1e3, 100.0 * s.cpuSeconds / s.wallSeconds);
    link.close_com();
}

// An exchange on a paced pty: the time it takes against its wire time, and
// the CPU the link spends on it (the RS-485 switch-off waits sleep).
void pacedSerial(int baud, int exchanges) {
    const std::string linkPath = "/tmp/dkq-bench-bus-" + std::to_string(getpid());
    dkq::test::SimProcess sim(
        {"--pty", linkPath, "--deterministic", "--baud", std::to_string(baud)});
    dkq::ModuleLink link;
    link.ComDevice = [&](int) { return sim.ptyPath(); };
    if (link.open_com(1, baud) != dkq::open::Ok) return;
    readRepeatedly(link, 3);
    const Sample s = readRepeatedly(link, exchanges);
    const int characters = dkq::modbus::frameTextLength(6) + dkq::modbus::frameTextLength(43);
    const double wire = characters * 10.0 / baud;
    const double perExchange = s.wallSeconds / exchanges;
    std::printf(
        "(c) pty at %d baud: %.2f ms per exchange, wire time %.2f ms (%d characters), "
        "ratio %.3f (goal <= 1.1), %.3f ms CPU per exchange (goal <= 0.3), %d failed\n",
        baud, perExchange * 1e3, wire * 1e3, characters, perExchange / wire,
        s.cpuSeconds / exchanges * 1e3, s.failures);
    link.close_com();
}

void loggerSessionOnPty() {
    const std::string linkPath = "/tmp/dkq-bench-logger-" + std::to_string(getpid());
    dkq::test::SimProcess sim({"--pty", linkPath, "--deterministic"});
    const Sample s = runProgram({DKQ_TOOL_PATH, "--device", sim.ptyPath(), "logger-status"});
    std::printf("(d) dkq logger-status on a pty: %.2f s, %s\n", s.wallSeconds,
                s.failures ? "FAILED" : "ok");
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 1) setenv("DKQSIM", argv[1], 1);
    if (std::getenv("DKQSIM") == nullptr) {
        std::fprintf(stderr, "usage: link_bench [path of dkqsim]  (or set DKQSIM)\n");
        return 64;
    }
    pollAgainstMinimalClient();
    silentPeer();
    pacedSerial(9600, 40);
    pacedSerial(115200, 400);
    loggerSessionOnPty();
    return 0;
}
