// Dashboard benchmark: the time the collector's page takes in headless
// Chromium to show a 7-day chart of 600 000 readings (one every 1.008 s),
// from the start of the navigation to the chart drawn, as the page itself
// reports it. Once in a browser just started, then in new tabs of the running
// browser, as a user opens the page. Also the collector's time for the
// page's 1000 buckets alone. Goal here: under 1 s in the running browser.
// Usage: dashboard_bench [PICTURE.png]  ($DKQ_COLLECTOR names the program);
// with a file name it also takes the README's picture of the page.
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <regex>
#include <thread>

#include "collector/base/instant.h"
#include "collector/store/reading_store.h"
#include "collector/api/upload_check.h"
#include "tests/support/collector_process.h"
#include "tests/support/sim_process.h"

namespace {

using namespace dkq;
using Clock = std::chrono::steady_clock;
using collector::NewReading;

constexpr int Readings = 600'000;
constexpr std::int64_t Week = 7LL * 86'400'000;
constexpr int WarmTabs = 5;

double millisecondsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// A plant's day: a temperature following the day, a pressure, a flow.
std::string plantData(std::int64_t timeMs, int n) {
    const double day = static_cast<double>(timeMs % 86'400'000) / 86'400'000 * 2 * M_PI;
    char data[64];
    std::snprintf(data, sizeof data, "%.1f,%.3f,%d", 62 + 8 * std::sin(day) + (n % 7) * 0.3,
                  4.5 + 0.4 * std::cos(day * 3) + (n % 11) * 0.01, 40 + (n * 37) % 25);
    return data;
}

// Site 1 with a week of `readings`; a few more sites, one of them silent, so
// the table looks like a collector's.
bool fill(const std::string& database, std::int64_t now, int readings) {
    std::string error;
    const auto store = collector::openReadingStore(database, error);
    if (!store) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return false;
    }
    std::vector<NewReading> batch;
    const auto add = [&](std::int32_t uid, std::int64_t timeMs, int n) {
        NewReading reading{uid, timeMs, timeMs, true, plantData(timeMs, n), {}};
        collector::readValues(reading.data, reading.values);
        batch.push_back(std::move(reading));
        if (batch.size() < 10'000) return true;
        const bool stored = store->storeReadings(batch);
        batch.clear();
        return stored;
    };
    for (int n = 1; n <= readings; ++n) {
        if (!add(1, now - Week + Week * n / readings, n)) return false;
    }
    for (int n = 0; n < 1000; ++n) {
        if (!add(1022, now - 15'000 * n, n) || !add(1040, now - 5 * 3'600'000 - 60'000 * n, n))
            return false;
    }
    return store->storeReadings(batch);
}

bool answeredWhole(const std::string& answer) {
    const std::size_t body = answer.find("\r\n\r\n");
    const std::size_t length = answer.find("Content-Length:");
    return body != std::string::npos && length < body &&
           answer.size() >= body + 4 + std::strtoul(answer.c_str() + length + 15, nullptr, 10);
}

// A request to the browser's DevTools endpoint (HTTP/1.1 only); its answer.
std::string devTools(int port, const std::string& request) {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{
        AF_INET, htons(static_cast<std::uint16_t>(port)), {htonl(INADDR_LOOPBACK)}, {}};
    std::string answer;
    if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
        const std::string text =
            request + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n";
        if (send(fd, text.data(), text.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(text.size())) {
            // It keeps the connection open: read as far as its Content-Length.
            char buffer[4096];
            for (ssize_t n; !answeredWhole(answer) && (n = recv(fd, buffer, sizeof buffer, 0)) > 0;)
                answer.append(buffer, static_cast<std::size_t>(n));
        }
    }
    close(fd);
    return answer;
}

// "... po 812 ms od otwarcia strony": the 812, or -1.
double reportedMs(const std::string& line) {
    std::smatch found;
    return std::regex_search(line, found, std::regex(R"(po (\d+) ms)")) ? std::stod(found[1]) : -1;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? -1 : values[values.size() / 2];
}

void seriesTime(int port, std::int64_t now) {
    const std::string target = "/api/readings?uid=1&from=" + collector::isoTime(now - Week) +
                               "&to=" + collector::isoTime(now) + "&points=1000";
    std::vector<double> times;
    for (int i = 0; i < 5; ++i) {
        const auto start = Clock::now();
        test::httpGet(port, target);
        times.push_back(millisecondsSince(start));
    }
    std::printf("collector: 1000 buckets of 600000 readings: %.0f ms (median of 5)\n",
                median(times));
}

// Chromium started by the shell: its process id on the first line, then
// what it writes on standard error (the page's console among it).
class Browser {
  public:
    Browser(const std::string& profile, const std::string& arguments)
        : output_(popen(("echo $$; exec " + test::headlessChromium(profile, 900) + " " + arguments +
                         " 2>&1 >/dev/null")
                            .c_str(),
                        "r")),
          pid_(std::atoi(line().c_str())) {}
    Browser(const Browser&) = delete;
    Browser& operator=(const Browser&) = delete;
    ~Browser() {
        kill(pid_, SIGTERM);  // timeout passes it on to chromium
        pclose(output_);
    }
    std::string line() {
        char text[65536];
        return fgets(text, sizeof text, output_) != nullptr ? text : "";
    }
    // The chart time of the next page that reports one, or -1.
    double chartMs() {
        for (std::string text; !(text = line()).empty();) {
            if (text.find("dkq-dashboard: wykres") != std::string::npos) return reportedMs(text);
        }
        return -1;
    }

  private:
    FILE* output_;
    int pid_;
};

void pageTime(int port) {
    const std::string page = "http://127.0.0.1:" + std::to_string(port) + "/#uid=1&span=7d";
    Browser browser("profile",
                    "--enable-logging=stderr --v=0 --remote-debugging-port=0 '" + page + "'");
    std::printf("page, browser just started: chart drawn %.0f ms after the navigation began\n",
                browser.chartMs());
    const int devtools = std::atoi(test::readFileBytes("profile/DevToolsActivePort").c_str());
    std::vector<double> warm;
    for (int tab = 0; tab < WarmTabs; ++tab) {
        std::this_thread::sleep_for(std::chrono::seconds(2));  // as a user opens the next one
        const std::string opened = devTools(
            devtools,
            "PUT /json/new?" + std::regex_replace(std::regex_replace(page, std::regex("#"), "%23"),
                                                  std::regex("&"), "%26"));
        warm.push_back(browser.chartMs());
        std::smatch id;
        if (std::regex_search(opened, id, std::regex(R"re("id": "([^"]+)")re")))
            devTools(devtools, "GET /json/close/" + id[1].str());
    }
    std::printf(
        "page, new tab of the running browser: %.0f ms (median of %d; %.0f .. %.0f)"
        " (goal < 1000 ms)\n",
        median(warm), WarmTabs, *std::min_element(warm.begin(), warm.end()),
        *std::max_element(warm.begin(), warm.end()));
}

// The page as the README shows it: a week of a reading a minute.
void picture(const std::string& file) {
    if (!fill("sqlite:picture.db", collector::nowMs(), 7 * 24 * 60)) return;
    test::CollectorProcess collector("sqlite:picture.db");
    Browser browser("picture", "--virtual-time-budget=4000 --screenshot=" + file +
                                   " 'http://127.0.0.1:" + std::to_string(collector.port()) +
                                   "/#uid=1&span=7d'");
    while (!browser.line().empty()) {
    }
    std::printf("picture of the page: %s\n", file.c_str());
}

}  // namespace

int main(int argc, char** argv) {
    if (test::headlessChromium("", 0).empty()) {
        std::puts("dashboard_bench: chromium is not installed");
        return 1;
    }
    if (const char* collector = std::getenv("DKQ_COLLECTOR"))
        setenv("DKQ_COLLECTOR", std::filesystem::absolute(collector).c_str(), 1);
    const std::string pictureFile = argc > 1 ? std::filesystem::absolute(argv[1]).string() : "";
    const test::ScratchDir dir;
    if (!pictureFile.empty()) picture(pictureFile);
    const std::int64_t now = collector::nowMs();
    const auto start = Clock::now();
    if (!fill("sqlite:bench.db", now, Readings)) return 1;
    std::printf("filled %d readings through the store in %.1f s\n", Readings + 2000,
                millisecondsSince(start) / 1000);
    test::CollectorProcess collector("sqlite:bench.db");
    seriesTime(collector.port(), now);
    pageTime(collector.port());
    return 0;
}
