// The webmon program run unattended ("webmon CFG /start", no display) against
// the simulated module: with an answering HTTP server rows and requests
// match; with a silent server, or a name server that never answers, a row is
// still written every tick and one SIGTERM closes it at once.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sched.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <memory>
#include <regex>
#include <set>
#include <thread>

#include "common/text.h"
#include "common/text_file.h"
#include "monitor/measurement.h"
#include "tests/support/collector_process.h"
#include "tests/support/http_server.h"
#include "tests/support/sim_process.h"
#include "upload/upload_settings.h"

namespace dkq {
namespace {

using test::HttpMode;
using Clock = std::chrono::steady_clock;

// This process in a network namespace of its own, with loopback only and a
// resolv.conf naming a loopback UDP socket that nobody answers, until the
// object ends. Only root can make one; failure tells why not.
class SilentResolver {
  public:
    explicit SilentResolver(const std::string& resolvConf) {
        if (unshare(CLONE_NEWNET | CLONE_NEWNS) != 0) {
            failure = std::string("no private network namespace: ") + std::strerror(errno);
            return;
        }
        EXPECT_TRUE(writeWholeFile(resolvConf, "nameserver 127.0.0.1\n"));
        EXPECT_EQ(mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr), 0);
        EXPECT_EQ(mount(resolvConf.c_str(), "/etc/resolv.conf", nullptr, MS_BIND, nullptr), 0);
        socket_ = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);  // in the new namespace
        ifreq loopback{};
        std::strcpy(loopback.ifr_name, "lo");
        EXPECT_EQ(ioctl(socket_, SIOCGIFFLAGS, &loopback), 0);
        loopback.ifr_flags |= IFF_UP;
        EXPECT_EQ(ioctl(socket_, SIOCSIFFLAGS, &loopback), 0);
        sockaddr_in address{AF_INET, htons(53), {htonl(INADDR_LOOPBACK)}, {}};
        EXPECT_EQ(bind(socket_, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    }
    ~SilentResolver() {
        close(socket_);
        setns(hostMounts_, CLONE_NEWNS);
        setns(hostNetwork_, CLONE_NEWNET);
        close(hostNetwork_);
        close(hostMounts_);
    }
    std::string failure;

  private:
    int hostNetwork_ = open("/proc/self/ns/net", O_RDONLY | O_CLOEXEC);
    int hostMounts_ = open("/proc/self/ns/mnt", O_RDONLY | O_CLOEXEC);
    int socket_ = -1;
};

// webmon with the words, in the current folder, its standard error into a file.
pid_t startWebmon(const std::vector<std::string>& words) {
    const std::string program = test::toolPath("WEBMON");
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(open("webmon.err", O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644), STDERR_FILENO);
        std::vector<char*> argv{const_cast<char*>(program.c_str())};
        for (const std::string& word : words) argv.push_back(const_cast<char*>(word.c_str()));
        argv.push_back(nullptr);
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    return pid;
}

// Seconds until the process ended after SIGTERM (killed after 15 s).
double secondsToEnd(pid_t pid, int& status) {
    kill(pid, SIGTERM);
    const auto start = Clock::now();
    while (waitpid(pid, &status, WNOHANG) != pid) {
        if (Clock::now() - start > std::chrono::seconds(15)) kill(pid, SIGKILL);
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return std::chrono::duration<double>(Clock::now() - start).count();
}

enum class Peer { AnsweringServer, SilentServer, SilentResolver };

class WebmonProgramTest : public ::testing::TestWithParam<Peer> {
  protected:
    WebmonProgramTest() { setenv("XDG_CONFIG_HOME", dir_.path().c_str(), 1); }

    // The simulated module, a configuration file for it and a web-monitor.dat
    // for the server, in the current folder.
    void writeSite(const std::string& address, int periodSeconds,
                   const std::string& moreSettings = "LOGRESP=1\r\n") {
        sim_ = std::make_unique<test::SimProcess>(
            std::vector<std::string>{"--tcp", "127.0.0.1:0", "--deterministic"});
        std::string config =
            "DKQ-1\n1,9600,0,1,1," + std::to_string(periodSeconds) + ",0,0\npomiary\n";
        for (int entry = 0; entry < EntryCount; ++entry)
            config +=
                entry == 0 ? "0,2732,3732,Piec\n" : "1,0,4092,L" + std::to_string(entry) + "\n";
        config += "1\n127.0.0.1\n" + std::to_string(sim_->tcpPort()) + "\n0\n";
        ASSERT_TRUE(writeWholeFile("plant.cfg", encodeTextFile(config)));
        ASSERT_TRUE(writeWholeFile(
            "web-monitor.dat",
            "URL=HTTP://" + address + "/Dir/\r\nUID=1021\r\nINREGS=20 5 1 17\r\n" + moreSettings));
    }
    // webmon runs until `rows` rows are recorded or the time is up, and is
    // sent SIGTERM.
    void run(const std::string& address, int periodSeconds, std::size_t rows) {
        writeSite(address, periodSeconds);
        const pid_t pid = startWebmon({"plant.cfg", "/start"});
        const auto start = Clock::now();
        waitForRows(rows);
        secondsToRows_ = std::chrono::duration<double>(Clock::now() - start).count();
        secondsToClose_ = secondsToEnd(pid, status_);
        sim_.reset();
    }
    void waitForRows(std::size_t rows) {
        const auto start = Clock::now();
        while (recordedRows() < rows && Clock::now() - start < std::chrono::seconds(25))
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    // The rows of every run, without their header lines.
    std::size_t recordedRows() {
        const std::vector<std::string> lines = decodeTextLines(test::readFileBytes("pomiary.csv"));
        return static_cast<std::size_t>(std::count_if(
            lines.begin(), lines.end(),
            [](const std::string& line) { return line[0] >= '0' && line[0] <= '9'; }));
    }

    test::ScratchDir dir_;
    std::unique_ptr<test::SimProcess> sim_;
    double secondsToRows_ = -1;
    double secondsToClose_ = 0;
    int status_ = -1;
};

TEST_P(WebmonProgramTest, RecordsEveryTickUploadsEachRowInOrderAndClosesOnSigterm) {
    const Peer peer = GetParam();
    std::unique_ptr<SilentResolver> resolver;
    std::unique_ptr<test::HttpServer> server;
    if (peer == Peer::SilentResolver) {
        resolver = std::make_unique<SilentResolver>(dir_.file("resolv.conf"));
        if (!resolver->failure.empty()) GTEST_SKIP() << resolver->failure;
        run("collector.plant.example", 0, 6);
    } else {
        const bool answering = peer == Peer::AnsweringServer;
        server = std::make_unique<test::HttpServer>(answering ? HttpMode::Answer : HttpMode::Silent,
                                                    "Zapisano");
        run("127.0.0.1:" + std::to_string(server->port()), answering ? 1 : 0, answering ? 4 : 6);
    }
    // Closed within the 2 s given to a request in flight.
    EXPECT_LT(secondsToClose_, 3.5);
    EXPECT_TRUE(WIFEXITED(status_) && WEXITSTATUS(status_) == 0);
    const std::size_t rows = recordedRows();
    ASSERT_GE(rows, peer == Peer::AnsweringServer ? 4u : 6u);
    // The close command stored the settings.
    EXPECT_NE(test::readFileBytes(dir_.file("Veldmark/DKQ-1.conf")).find("Fname=pomiary"),
              std::string::npos);
    const std::string errors = test::readFileBytes(dir_.file("webmon.err"));
    if (peer != Peer::AnsweringServer) {
        // A row every tick: the silence costs the rows nothing.
        EXPECT_LT(secondsToRows_, 8);
        EXPECT_NE(errors.find("webmon: Nie wysłano do serwera pomiarów: "), std::string::npos);
    }
    if (!server) return;
    // Every row of the simulated module carries the same values.
    const auto requests = server->requests();
    const std::string target = "/dir/rec.php?uid=1021&data=20.9,1.001,100,103&sum=4dde4d59";
    std::string log;
    for (const test::HttpRequest& request : requests) {
        EXPECT_EQ(request.target + " " + request.userAgent, target + " DKQ-1 Monitor/1.7");
        log +=
            "\r\nGET http://127.0.0.1:" + std::to_string(server->port()) + target + "\r\nZapisano";
    }
    if (peer != Peer::AnsweringServer) return;
    EXPECT_EQ(requests.size(), rows);
    EXPECT_EQ(test::readFileBytes(dir_.file("log_http.log")), log);
}

INSTANTIATE_TEST_SUITE_P(Peers, WebmonProgramTest,
                         ::testing::Values(Peer::AnsweringServer, Peer::SilentServer,
                                           Peer::SilentResolver));

// With BUFFER=1, through a forwarding server to dkq-collector: the first two
// answers are lost after the collector stored the readings, the collector
// goes away, webmon is killed while readings wait and started again, the
// collector comes back, then the disk fills up for a while (when this process
// may mount a 110 MB tmpfs of its own: just over the outbox's 100 MB of free
// disk). The collector holds every row's reading once, at the row's time, but
// those the full disk kept out of the outbox, which STOP counts.
TEST_F(WebmonProgramTest, BufferedReadingsOutliveOutageKillFullDiskAndLostAnswers) {
    const std::string site = dir_.file("site");
    std::filesystem::create_directory(site);
    const bool smallDisk = unshare(CLONE_NEWNS) == 0 &&
                           mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0 &&
                           mount("tmpfs", site.c_str(), "tmpfs", 0, "size=110m") == 0;
    std::filesystem::current_path(site);
    setenv("TZ", "UTC", 1);  // rows in UTC as the collector's times
    const std::string database = "sqlite:" + dir_.file("readings.db");
    auto collector = std::make_unique<test::CollectorProcess>(database);
    test::HttpServer proxy(HttpMode::Forward);
    proxy.forwardTo(collector->port(), 2);
    writeSite("127.0.0.1:" + std::to_string(proxy.port()), 0, "BUFFER=1\r\n");
    pid_t pid = startWebmon({"plant.cfg", "/start"});
    waitForRows(3);
    collector.reset();
    waitForRows(5);
    std::this_thread::sleep_for(std::chrono::milliseconds(500));  // between two ticks
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    EXPECT_GT(std::filesystem::file_size(OutboxFile), 0u);
    pid = startWebmon({"plant.cfg", "/start"});
    waitForRows(7);
    collector = std::make_unique<test::CollectorProcess>(database);
    proxy.forwardTo(collector->port());
    for (const auto start = Clock::now(); std::filesystem::file_size(OutboxFile) > 0 &&
                                          Clock::now() - start < std::chrono::seconds(40);)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    if (smallDisk) {
        std::FILE* filler = std::fopen("filler", "w");
        const std::string block(1 << 20, 'x');
        while (std::fwrite(block.data(), 1, block.size(), filler) == block.size()) {
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2500));
        std::fclose(filler);
        std::remove("filler");
    }
    waitForRows(recordedRows() + 2);
    EXPECT_LT(secondsToEnd(pid, status_), 3.5);
    const std::string errors = test::readFileBytes("webmon.err");
    std::smatch unstored;
    EXPECT_EQ(std::regex_search(errors, unstored,
                                std::regex("webmon: Pomiarów odrzuconych przez serwer: 0, "
                                           "usuniętych z pełnej kolejki: 0, niezapisanych w "
                                           "kolejce: ([1-9][0-9]*)\\.\n")),
              smallDisk)
        << errors;
    const std::string rows = test::readFileBytes("pomiary.csv");
    const std::string stored =
        test::httpGet(collector->port(), "/api/readings?uid=1021&limit=10000").body;
    std::multiset<std::string> rowTimes, storedTimes;
    const std::regex row(R"((\d+);(\d{4}-\d\d-\d\d) (\d{1,2}):(\d\d:\d\d);)");
    for (std::sregex_iterator m(rows.begin(), rows.end(), row), end; m != end; ++m)
        rowTimes.insert((*m)[2].str() + ((*m)[3].length() == 1 ? "T0" : "T") + (*m)[3].str() + ":" +
                        (*m)[4].str());
    const std::regex reading(R"re("time":"([^.]*)\.\d{3}Z","received":"[^"]*","data":"([^"]*)")re");
    for (std::sregex_iterator m(stored.begin(), stored.end(), reading), end; m != end; ++m) {
        EXPECT_EQ((*m)[2].str(), "20.9,1.001,100,103");
        storedTimes.insert((*m)[1]);
    }
    // Each stored reading is a row, none twice (two rows may share a second
    // around the restart); rows missing are those the full disk kept out.
    EXPECT_TRUE(
        std::includes(rowTimes.begin(), rowTimes.end(), storedTimes.begin(), storedTimes.end()));
    EXPECT_EQ(storedTimes.size() + (smallDisk ? std::stoul(unstored[1]) : 0), rowTimes.size());
    EXPECT_GE(storedTimes.size(), 9u);
    EXPECT_GT(proxy.requests().size(), storedTimes.size() + 1);  // two sent again
    if (smallDisk) umount2(site.c_str(), MNT_DETACH);
}

}  // namespace
}  // namespace dkq
