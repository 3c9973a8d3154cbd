// dkq-collector against SQLite and against a throwaway PostgreSQL cluster:
// uploads whose sums the test computes itself are stored and come back the
// same through every endpoint, each rejection is answered 400 and counted, a
// restart keeps the readings, uploads cut off by SIGTERM are stored exactly
// when they were answered 200, and webmon recording the simulator leaves
// exactly its CSV rows in the collector.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <regex>
#include <thread>

#include "common/text.h"
#include "common/text_file.h"
#include "tests/support/collector_process.h"
#include "tests/support/sim_process.h"

namespace dkq {
namespace {

using test::CollectorProcess;
using test::httpGet;

// Bit by bit, reflected polynomial 0xEDB88320: independent of zlib's table.
std::uint32_t referenceCrc32(std::string_view text) {
    std::uint32_t crc = 0xFFFFFFFF;
    for (const char c : text) {
        crc ^= static_cast<unsigned char>(c);
        for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320 & (0 - (crc & 1)));
    }
    return crc ^ 0xFFFFFFFF;
}

std::string uploadTarget(const std::string& uid, const std::string& data,
                         std::uint32_t key = 0x4e73, const char* format = "%08x") {
    char sum[9];
    std::snprintf(sum, sizeof sum, format, referenceCrc32(uid + data) ^ key);
    return "/dkq/rec.php?uid=" + uid + "&data=" + data + "&sum=" + sum;
}

const std::regex Times(R"(\d{4}-\d\d-\d\d[T ]\d{1,2}:\d\d:\d\d[.,]\d{3}Z?)");

std::vector<std::string> matches(const std::string& text, const std::regex& pattern) {
    std::vector<std::string> found;
    for (std::sregex_iterator m(text.begin(), text.end(), pattern), end; m != end; ++m)
        found.push_back(m->size() > 1 ? (*m)[1] : (*m)[0]);
    return found;
}

// The data texts of a site's readings, in order.
std::vector<std::string> storedData(int port, const std::string& uid) {
    return matches(httpGet(port, "/api/readings?uid=" + uid).body,
                   std::regex(R"re("data":"([^"]*)")re"));
}

// Arrival times replaced by T, so that answers compare as literal text.
std::string withoutTimes(const std::string& text) {
    return std::regex_replace(text, Times, "T");
}

class CollectorTest : public ::testing::TestWithParam<std::string> {
  protected:
    std::string database(const std::string& name) {
        if (GetParam() == "sqlite") return "sqlite:" + name;
        static test::PostgresCluster cluster;  // one for the run, stopped at exit
        return cluster.createDatabase(name);
    }
    test::ScratchDir dir_;
};

TEST_P(CollectorTest, StoresChecksAndServesUploadsAndKeepsThemAcrossARestart) {
    const std::string url = database("served");
    auto collector = std::make_unique<CollectorProcess>(url);
    const int port = collector->port();
    const struct {
        std::string target;
        int status;
        std::string body;
    } requests[] = {
        {uploadTarget("1021", "21.4,4.500,120"), 200, "OK"},
        {uploadTarget("-5", ""), 200, "OK"},
        {uploadTarget("1021", "-0.5,4.501,121"), 200, "OK"},
        {"/a/send.php?x=1&" + uploadTarget("1021", "7", 0x4e73, "%08X").substr(13), 200, "OK"},
        {uploadTarget("1021", "21.4,4.500,120", 0x4e72), 400, "wrong sum\n"},
        {"/rec.php?uid=1021&data=", 400, "uid, data and sum are all needed\n"},
        {"/rec.php?uid=1021&data&sum=12345678", 400, "uid, data and sum are all needed\n"},
        {uploadTarget("7", "1") + "&uid=7", 400, "uid, data or sum given twice\n"},
        {uploadTarget("7x", "1"), 400, "uid is not a number\n"},
        {uploadTarget("2147483648", "1"), 400, "uid is not a number\n"},
        {uploadTarget("7", std::string(4097, '1')), 400, "data is over 4096 bytes\n"},
        {uploadTarget("7", "1,,2"), 400, "data is not a list of numbers\n"},
        {uploadTarget("7", "1.,2"), 400, "data is not a list of numbers\n"},
        {"/rec.php?uid=7&data=1&sum=1234567", 400, "sum is not eight hex digits\n"},
        {"/dkq/rec.txt" + uploadTarget("7", "1").substr(12), 400, "unknown path\n"},
        {"/api/readings?uid=x", 400, "uid is needed, a number\n"},
        {"/api/readings?uid=1&to=2024-02-30", 400,
         "from and to are UTC times: 2024-03-05T09:07:02.123Z\n"},
        {"/api/readings?uid=1&limit=10001", 400, "limit is a count from 1 to 10000\n"},
        {"/api/readings?uid=1&points=0", 400, "points is a count from 1 to 2000\n"},
        {"/" + std::string(20000, 'x') + ".php", 414, ""},
        {"/web/../dashboard.js", 400, "unknown path\n"},
    };
    for (const auto& request : requests) {
        const test::HttpAnswer answer = httpGet(port, request.target);
        EXPECT_EQ(answer.status, request.status) << request.target.substr(0, 80);
        EXPECT_TRUE(request.status == 414 || answer.body == request.body) << answer.body;
        std::this_thread::sleep_for(std::chrono::milliseconds(3));  // distinct arrival times
    }

    const std::string sites = httpGet(port, "/api/uids").body;
    EXPECT_EQ(std::regex_replace(withoutTimes(sites), std::regex(R"("interval":[\d.]+)"),
                                 R"("interval":I)"),
              R"([{"uid":-5,"count":1,"time":"T","data":"","values":[],"interval":null},)"
              R"({"uid":1021,"count":3,"time":"T","data":"7","values":[7],"interval":I}])");
    const std::string all = httpGet(port, "/api/readings?uid=1021").body;
    const std::string first = R"({"time":"T","data":"21.4,4.500,120","values":[21.4,4.5,120]})";
    const std::string second = R"({"time":"T","data":"-0.5,4.501,121","values":[-0.5,4.501,121]})";
    const std::string third = R"({"time":"T","data":"7","values":[7]})";
    EXPECT_EQ(withoutTimes(all), "[" + first + "," + second + "," + third + "]");
    const std::vector<std::string> times = matches(all, Times);
    ASSERT_EQ(times.size(), 3u);
    std::tm arrival{};
    strptime(times[0].c_str(), "%Y-%m-%dT%H:%M:%S", &arrival);
    EXPECT_LT(std::abs(std::difftime(timegm(&arrival), std::time(nullptr))), 60) << times[0];
    const std::string ranges[][2] = {
        {"&limit=2", "[" + second + "," + third + "]"},
        {"&from=" + times[1], "[" + second + "," + third + "]"},
        {"&to=" + times[1], "[" + first + "]"},
        {"&from=" + times[1] + "&to=" + times[2] + "&limit=1", "[" + second + "]"},
        {"&to=2000-01-01", "[]"},
        {"&points=1", R"([{"time":"T","readings":3,"min":[-0.5,4.5,120],"max":[21.4,4.501,121]}])"},
        {"&points=3&from=" + times[0] + "&to=" + times[1],
         R"([{"time":"T","readings":1,"min":[21.4,4.5,120],"max":[21.4,4.5,120]}])"},
    };
    for (const auto& [query, readings] : ranges)
        EXPECT_EQ(withoutTimes(httpGet(port, "/api/readings?uid=1021" + query).body), readings)
            << query;
    EXPECT_EQ(withoutTimes(httpGet(port, "/export.csv?uid=1021").body),
              "Czas (UTC);Warto\x9c\xe6 1;Warto\x9c\xe6 2;Warto\x9c\xe6 3;\r\n"
              "T;21,4;4,500;120;\r\nT;-0,5;4,501;121;\r\nT;7;\r\n");
    EXPECT_EQ(withoutTimes(httpGet(port, "/export.csv?uid=3").body), "Czas (UTC);\r\n");
    const std::string metrics = httpGet(port, "/metrics").body;
    for (const char* line :
         {"\ndkq_reading_value{uid=\"1021\",position=\"1\"} 7\n",
          "\ndkq_site_readings_total{uid=\"-5\"} 1\n", "\ndkq_uploads_stored_total 4\n",
          "{reason=\"missing\"} 2\n", "{reason=\"repeated\"} 1\n", "{reason=\"uid\"} 2\n",
          "{reason=\"size\"} 1\n", "{reason=\"data\"} 2\n", "{reason=\"sum_format\"} 1\n",
          "{reason=\"sum\"} 1\n", "{reason=\"path\"} 2\n"})
        EXPECT_NE(metrics.find(line), std::string::npos) << line;

    EXPECT_EQ(collector->stop(), 0);
    collector = std::make_unique<CollectorProcess>(url);
    EXPECT_EQ(httpGet(collector->port(), "/api/uids").body, sites);
}

TEST_P(CollectorTest, UploadsCutOffByStopAreStoredExactlyWhenAnswered) {
    const std::string url = database("stopped");
    auto collector = std::make_unique<CollectorProcess>(url);
    std::vector<int> answered(16, 0);
    std::atomic<bool> stopping = false;
    std::atomic<bool> failedBeforeStop = false;
    std::vector<std::thread> clients;
    for (std::size_t site = 0; site < answered.size(); ++site) {
        clients.emplace_back([&, site] {
            try {
                while (httpGet(collector->port(), uploadTarget(std::to_string(100 + site),
                                                               std::to_string(answered[site])))
                           .status == 200)
                    ++answered[site];
            } catch (const std::exception&) {  // refused once stopped
            }
            failedBeforeStop = failedBeforeStop || !stopping;
        });
    }
    std::this_thread::sleep_for(std::chrono::seconds(1));
    stopping = true;
    EXPECT_EQ(collector->stop(), 0);
    for (std::thread& client : clients) client.join();
    EXPECT_FALSE(failedBeforeStop);
    collector = std::make_unique<CollectorProcess>(url);
    for (std::size_t site = 0; site < answered.size(); ++site) {
        std::vector<std::string> expected;
        for (int n = 0; n < answered[site]; ++n) expected.push_back(std::to_string(n));
        EXPECT_GT(answered[site], 0);
        EXPECT_EQ(storedData(collector->port(), std::to_string(100 + site)), expected);
    }
}

TEST_P(CollectorTest, HoldsEveryRowWebmonRecordedOnceAndInOrder) {
    if (std::getenv("WEBMON") == nullptr) GTEST_SKIP() << "built without the window programs";
    setenv("XDG_CONFIG_HOME", dir_.path().c_str(), 1);
    test::CollectorProcess collector(database("webmon"));
    test::SimProcess sim({"--tcp", "127.0.0.1:0", "--deterministic"});
    std::string config = "DKQ-1\n1,9600,0,1,1,1,0,0\npomiary\n0,2732,3732,Piec\n";
    for (int entry = 1; entry < 20; ++entry) config += "1,0,4092,L" + std::to_string(entry) + "\n";
    ASSERT_TRUE(writeWholeFile(
        "plant.cfg",
        encodeTextFile(config + "1\n127.0.0.1\n" + std::to_string(sim.tcpPort()) + "\n0\n")));
    ASSERT_TRUE(
        writeWholeFile("web-monitor.dat", "URL=127.0.0.1:" + std::to_string(collector.port()) +
                                              "/dkq/\nUID=1021\nINREGS=20 5 1 17\n"));
    const std::string webmon = test::toolPath("WEBMON");
    const pid_t pid = fork();
    if (pid == 0) {
        execl(webmon.c_str(), webmon.c_str(), "plant.cfg", "/start", nullptr);
        _exit(127);
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (httpGet(collector.port(), "/api/uids").body.find("\"count\":3,") == std::string::npos &&
           std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);

    const std::vector<std::string> rows = decodeTextLines(test::readFileBytes("pomiary.csv"));
    std::vector<std::string> expected;  // lines 1 and 5, counters C1 and C4
    for (auto row = rows.begin() + std::min<std::size_t>(2, rows.size()); row < rows.end(); ++row) {
        const std::vector<std::string> cells = matches(*row, std::regex("([^;]*);"));
        std::string data = cells[2] + ";" + cells[6] + ";" + cells[18] + ";" + cells[21];
        std::replace(data.begin(), data.end(), ',', '.');
        std::replace(data.begin(), data.end(), ';', ',');
        expected.push_back(data);
    }
    const std::vector<std::string> stored = storedData(collector.port(), "1021");
    ASSERT_GE(stored.size(), 3u);
    EXPECT_TRUE(stored[0].starts_with("20.9,1.001,")) << stored[0];
    EXPECT_EQ(stored, expected);
}

INSTANTIATE_TEST_SUITE_P(SqliteAndPostgresql, CollectorTest,
                         ::testing::Values("sqlite", "postgresql"));

}  // namespace
}  // namespace dkq
