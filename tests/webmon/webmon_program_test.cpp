// The webmon program run unattended ("webmon CFG /start", no display) against
// the simulated module and a loopback HTTP server: rows and requests match,
// a silent server never stops the recording, SIGTERM closes it in seconds.
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <thread>

#include "common/text.h"
#include "common/text_file.h"
#include "monitor/measurement.h"
#include "tests/support/http_server.h"
#include "tests/support/sim_process.h"
#include "upload/upload_request.h"

namespace dkq {
namespace {

using test::HttpMode;
using Clock = std::chrono::steady_clock;

// webmon with the words, in the current folder.
pid_t startWebmon(const std::vector<std::string>& words) {
    const std::string program = test::toolPath("WEBMON");
    const pid_t pid = fork();
    if (pid == 0) {
        std::vector<char*> argv{const_cast<char*>(program.c_str())};
        for (const std::string& word : words) argv.push_back(const_cast<char*>(word.c_str()));
        argv.push_back(nullptr);
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    return pid;
}

// Seconds until the process ended after SIGTERM, or -1 after 15 s (then killed).
double secondsToEnd(pid_t pid, int& status) {
    kill(pid, SIGTERM);
    const auto start = Clock::now();
    while (Clock::now() - start < std::chrono::seconds(15)) {
        if (waitpid(pid, &status, WNOHANG) == pid)
            return std::chrono::duration<double>(Clock::now() - start).count();
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
    return -1;
}

std::vector<std::string> split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find(separator, start)) != std::string::npos; start = end + 1)
        parts.push_back(text.substr(start, end - start));
    parts.push_back(text.substr(start));
    return parts;
}

class WebmonProgramTest : public ::testing::TestWithParam<HttpMode> {
  protected:
    WebmonProgramTest() { setenv("XDG_CONFIG_HOME", dir_.path().c_str(), 1); }

    // A configuration file for the simulated module, a web-monitor.dat for
    // the server; then webmon starts and runs until `rows` rows are recorded
    // or the time is up, and is sent SIGTERM.
    void run(HttpMode mode, int periodSeconds, std::size_t rows, int maxSeconds) {
        server_ = std::make_unique<test::HttpServer>(mode, "Zapisano");
        std::string config =
            "DKQ-1\n1,9600,0,1,1," + std::to_string(periodSeconds) + ",0,0\npomiary\n";
        for (int entry = 0; entry < EntryCount; ++entry)
            config +=
                entry == 0 ? "0,2732,3732,Piec\n" : "1,0,4092,L" + std::to_string(entry) + "\n";
        config += "1\n127.0.0.1\n" + std::to_string(sim_.tcpPort()) + "\n0\n";
        ASSERT_TRUE(writeWholeFile(dir_.file("plant.cfg"), encodeTextFile(config)));
        ASSERT_TRUE(writeWholeFile(dir_.file("web-monitor.dat"),
                                   "URL=HTTP://127.0.0.1:" + std::to_string(server_->port()) +
                                       "/Dir/\r\nUID=1021\r\nINREGS=20 5 1 17\r\nLOGRESP=1\r\n"));
        const pid_t pid = startWebmon({"plant.cfg", "/start"});
        const auto start = Clock::now();
        while (recordedRows().size() < rows &&
               Clock::now() - start < std::chrono::seconds(maxSeconds))
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        secondsToClose_ = secondsToEnd(pid, status_);
    }
    std::vector<std::string> recordedRows() {
        std::vector<std::string> lines =
            decodeTextLines(test::readFileBytes(dir_.file("pomiary.csv")));
        if (lines.size() < 2) return {};
        return {lines.begin() + 2, lines.end()};
    }
    // The request target a row gives: lines 1 and 5, counters C1 and C4.
    static std::string expectedTarget(const std::string& row) {
        const std::vector<std::string> cells = split(row, ';');
        std::string data;
        for (const int entry : {0, 4, 16, 19}) {
            std::string cell = cells[static_cast<std::size_t>(2 + entry)];
            std::replace(cell.begin(), cell.end(), ',', '.');
            data += (data.empty() ? "" : ",") + cell;
        }
        char sum[9];
        std::snprintf(sum, sizeof sum, "%08x", uploadSum("1021", data));
        return "/dir/rec.php?uid=1021&data=" + data + "&sum=" + sum;
    }

    test::ScratchDir dir_;
    test::SimProcess sim_{{"--tcp", "127.0.0.1:0", "--deterministic"}};
    std::unique_ptr<test::HttpServer> server_;
    double secondsToClose_ = -1;
    int status_ = -1;
};

// A silent server never stops the rows, nor SIGTERM closing in seconds.
TEST_P(WebmonProgramTest, RecordsUploadsEachRowLogsTheAnswersAndClosesOnSigterm) {
    const bool answering = GetParam() == HttpMode::Answer;
    run(GetParam(), answering ? 1 : 0, answering ? 4 : 3, 25);
    EXPECT_GE(secondsToClose_, 0);
    EXPECT_LT(secondsToClose_, answering ? 3 : 6);
    EXPECT_TRUE(WIFEXITED(status_) && WEXITSTATUS(status_) == 0);
    const std::vector<std::string> rows = recordedRows();
    ASSERT_GE(rows.size(), answering ? 4u : 3u);
    EXPECT_TRUE(rows[0].starts_with("1;"));
    EXPECT_NE(rows[0].find(";20,9;2,941;"), std::string::npos) << rows[0];
    const auto requests = server_->requests();
    ASSERT_EQ(requests.size(), rows.size());
    std::string log;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        EXPECT_EQ(requests[i].target, expectedTarget(rows[i]));
        EXPECT_EQ(requests[i].userAgent, "DKQ-1 Monitor/1.7");
        log += "\r\nGET http://127.0.0.1:" + std::to_string(server_->port()) + requests[i].target +
               "\r\nZapisano";
    }
    EXPECT_EQ(requests[0].target.substr(0, 37), "/dir/rec.php?uid=1021&data=20.9,1.001");
    EXPECT_EQ(test::readFileBytes(dir_.file("log_http.log")), answering ? log : "");
    // The close command stored the settings.
    EXPECT_NE(test::readFileBytes(dir_.file("Veldmark/DKQ-1.conf")).find("Fname=pomiary"),
              std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(AnsweringAndSilentServer, WebmonProgramTest,
                         ::testing::Values(HttpMode::Answer, HttpMode::Silent));

}  // namespace
}  // namespace dkq
