// webmon recording the simulated module unattended and uploading to
// dkq-collector, on SQLite and on PostgreSQL: the collector holds exactly the
// rows of webmon's CSV file, in order, each as its selected cells with a
// decimal point.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <memory>
#include <regex>
#include <thread>

#include "common/text.h"
#include "common/text_file.h"
#include "tests/support/collector_process.h"
#include "tests/support/sim_process.h"

namespace dkq {
namespace {

std::vector<std::string> split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find(separator, start)) != std::string::npos; start = end + 1)
        parts.push_back(text.substr(start, end - start));
    parts.push_back(text.substr(start));
    return parts;
}

class CollectorWebmonTest : public ::testing::TestWithParam<std::string> {};

TEST_P(CollectorWebmonTest, StoresEveryRecordedRowOnceAndInOrder) {
    test::ScratchDir dir;
    setenv("XDG_CONFIG_HOME", dir.path().c_str(), 1);
    std::unique_ptr<test::PostgresCluster> cluster;
    std::string database = "sqlite:readings.db";
    if (GetParam() == "postgresql") {
        cluster = std::make_unique<test::PostgresCluster>();
        database = cluster->createDatabase("webmon");
    }
    test::CollectorProcess collector({"--listen", "127.0.0.1:0", "--database", database});
    test::SimProcess sim({"--tcp", "127.0.0.1:0", "--deterministic"});
    std::string config = "DKQ-1\n1,9600,0,1,1,1,0,0\npomiary\n0,2732,3732,Piec\n";
    for (int entry = 1; entry < 20; ++entry) config += "1,0,4092,L" + std::to_string(entry) + "\n";
    config += "1\n127.0.0.1\n" + std::to_string(sim.tcpPort()) + "\n0\n";
    ASSERT_TRUE(writeWholeFile(dir.file("plant.cfg"), encodeTextFile(config)));
    ASSERT_TRUE(writeWholeFile(dir.file("web-monitor.dat"),
                               "URL=127.0.0.1:" + std::to_string(collector.port()) +
                                   "/dkq/\nUID=1021\nINREGS=20 5 1 17\n"));

    const std::string webmon = test::toolPath("WEBMON");
    const pid_t pid = fork();
    if (pid == 0) {
        execl(webmon.c_str(), webmon.c_str(), "plant.cfg", "/start", nullptr);
        _exit(127);
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (test::httpGet(collector.port(), "/api/uids").body.find("\"count\":3,") ==
               std::string::npos &&
           std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    kill(pid, SIGTERM);
    int status = 0;
    waitpid(pid, &status, 0);

    const std::vector<std::string> lines =
        decodeTextLines(test::readFileBytes(dir.file("pomiary.csv")));
    const std::string readings = test::httpGet(collector.port(), "/api/readings?uid=1021").body;
    const std::regex dataField(R"re("data":"([^"]*)")re");
    std::vector<std::string> stored;
    for (std::sregex_iterator d(readings.begin(), readings.end(), dataField), end; d != end; ++d)
        stored.push_back((*d)[1]);
    ASSERT_GE(stored.size(), 3u);
    ASSERT_EQ(stored.size() + 2, lines.size());
    EXPECT_TRUE(stored[0].starts_with("20.9,1.001,")) << stored[0];
    for (std::size_t row = 0; row < stored.size(); ++row) {
        const std::vector<std::string> cells = split(lines[row + 2], ';');
        std::string data;
        for (const int entry : {0, 4, 16, 19}) {
            std::string cell = cells[2 + entry];
            std::replace(cell.begin(), cell.end(), ',', '.');
            data += (data.empty() ? "" : ",") + cell;
        }
        EXPECT_EQ(stored[row], data);
    }
}

INSTANTIATE_TEST_SUITE_P(SqliteAndPostgresql, CollectorWebmonTest,
                         ::testing::Values("sqlite", "postgresql"));

}  // namespace
}  // namespace dkq
