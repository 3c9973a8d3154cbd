// Collector benchmark, in one run: uploads per second that dkq-collector
// stores from 64 clients on keep-alive connections, against SQLite and
// against a throwaway PostgreSQL cluster (fsync on), with the 99th percentile
// of the answer time; afterwards every upload answered 200 must be stored
// exactly once. Then the collector's resident memory while 10 000 connection
// attempts sit idle, and how soon an upload gets through meanwhile. Last,
// uploads per second over HTTPS against plain HTTP, both through libcurl on
// keep-alive connections from 64 clients.
// Goals here: SQLite >= 5000/s, PostgreSQL >= 2000/s, p99 < 50 ms, HTTPS at
// least 0.7 of plain HTTP.
// Usage: collector_bench [SECONDS]  ($DKQ_COLLECTOR names the program)
#include <curl/curl.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/collector_process.h"
#include "tests/support/sim_process.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int Clients = 64;
constexpr int FirstUid = 7000;
constexpr int IdleAttempts = 10000;

int openConnection(int port, bool wait) {
    const int fd = socket(AF_INET, SOCK_STREAM | (wait ? 0 : SOCK_NONBLOCK), 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 && wait) {
        close(fd);
        return -1;
    }
    return fd;
}

std::string uploadRequest(int uid, long n) {
    const std::string uidText = std::to_string(uid);
    const std::string data = std::to_string(n % 4000) + ",21.4,4.500," + std::to_string(n);
    const std::string signedText = uidText + data;
    char sum[9];
    std::snprintf(sum, sizeof sum, "%08lx",
                  crc32(0, reinterpret_cast<const Bytef*>(signedText.data()),
                        static_cast<uInt>(signedText.size())) ^
                      0x4e73UL);
    return "GET /dkq/rec.php?uid=" + uidText + "&data=" + data + "&sum=" + sum +
           " HTTP/1.1\r\nHost: 127.0.0.1\r\nUser-Agent: DKQ-1 Monitor/1.7\r\n\r\n";
}

// One request on a keep-alive connection; the status, or 0 when the
// connection failed (then closed and set to -1).
int exchange(int& fd, const std::string& request) {
    std::string answer;
    char buffer[4096];
    bool sent = send(fd, request.data(), request.size(), MSG_NOSIGNAL) ==
                static_cast<ssize_t>(request.size());
    std::size_t headerEnd = std::string::npos;
    std::size_t length = 0;
    while (sent) {
        const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0) break;
        answer.append(buffer, static_cast<std::size_t>(n));
        if (headerEnd == std::string::npos &&
            (headerEnd = answer.find("\r\n\r\n")) != std::string::npos) {
            const std::size_t field = answer.find("Content-Length: ");
            length = field < headerEnd ? std::strtoul(answer.c_str() + field + 16, nullptr, 10) : 0;
        }
        if (headerEnd != std::string::npos && answer.size() >= headerEnd + 4 + length) {
            if (answer.find("Connection: close") < headerEnd) {
                close(fd);
                fd = -1;
            }
            return std::atoi(answer.c_str() + 9);
        }
    }
    close(fd);
    fd = -1;
    return 0;
}

struct Load {
    double seconds = 0;
    long answered = 0;
    long failed = 0;
    double p99Ms = 0;
    std::vector<long> perClient = std::vector<long>(Clients, 0);
};

Load uploadFor(int port, double seconds) {
    Load load;
    std::vector<std::vector<float>> latencies(Clients);
    std::atomic<long> failed = 0;
    const auto start = Clock::now();
    const auto end = start + std::chrono::duration<double>(seconds);
    std::vector<std::thread> clients;
    for (int c = 0; c < Clients; ++c) {
        clients.emplace_back([&, c] {
            int fd = -1;
            for (long n = 0; Clock::now() < end; ++n) {
                if (fd < 0 && (fd = openConnection(port, true)) < 0) {
                    ++failed;
                    continue;
                }
                const auto sent = Clock::now();
                const int status = exchange(fd, uploadRequest(FirstUid + c, load.perClient[c]));
                if (status != 200) {
                    ++failed;
                    continue;
                }
                latencies[c].push_back(
                    std::chrono::duration<float, std::milli>(Clock::now() - sent).count());
                ++load.perClient[c];
            }
            if (fd >= 0) close(fd);
        });
    }
    for (std::thread& client : clients) client.join();
    load.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    std::vector<float> all;
    for (const auto& client : latencies) all.insert(all.end(), client.begin(), client.end());
    load.answered = static_cast<long>(all.size());
    load.failed = failed;
    if (!all.empty()) {
        const auto p99 = all.begin() + static_cast<std::ptrdiff_t>(all.size() * 99 / 100);
        std::nth_element(all.begin(), p99, all.end());
        load.p99Ms = *p99;
    }
    return load;
}

double loadAverage() {
    double average = 0;
    getloadavg(&average, 1);
    return average;
}

// Each client's uid must hold exactly the uploads answered 200.
bool storedOnce(int port, const Load& load) {
    const std::string sites = dkq::test::httpGet(port, "/api/uids").body;
    const std::regex site(R"re("uid":(\d+),"count":(\d+))re");
    std::map<int, long> counts;
    for (std::sregex_iterator s(sites.begin(), sites.end(), site), end; s != end; ++s)
        counts[std::stoi((*s)[1])] = std::stol((*s)[2]);
    for (int c = 0; c < Clients; ++c) {
        if (counts[FirstUid + c] != load.perClient[static_cast<std::size_t>(c)]) return false;
    }
    return true;
}

void measure(const char* name, const std::string& database, double seconds, double goal) {
    dkq::test::CollectorProcess collector(database);
    const double loadBefore = loadAverage();
    const Load load = uploadFor(collector.port(), seconds);
    std::printf(
        "collector: %s: %ld uploads stored in %.1f s by %d clients: %.0f/s (goal >= %.0f),"
        " p99 answer time %.1f ms (goal < 50), %ld not answered 200, every 200 stored once: %s"
        " (load average %.1f before, %.1f after)\n",
        name, load.answered, load.seconds, Clients, load.answered / load.seconds, goal, load.p99Ms,
        load.failed, storedOnce(collector.port(), load) ? "yes" : "NO", loadBefore, loadAverage());
}

long residentKb(int pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);) {
        if (line.starts_with("VmRSS:")) return std::atol(line.c_str() + 6);
    }
    return -1;
}

}  // namespace

// One upload on a new connection that must be made and answered within a
// second: true when it was answered 200.
bool uploadPromptly(int port) {
    int fd = openConnection(port, false);
    pollfd writable{fd, POLLOUT, 0};
    const timeval second{1, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &second, sizeof second);
    const bool answered = poll(&writable, 1, 1000) == 1 && (writable.revents & POLLOUT) &&
                          fcntl(fd, F_SETFL, 0) == 0 &&
                          exchange(fd, uploadRequest(FirstUid, 0)) == 200;
    if (fd >= 0) close(fd);
    return answered;
}

// Seconds until an upload is answered promptly, trying for at most `limit`;
// negative when none was.
double secondsToUpload(int port, double limit, long& peakKb, int pid) {
    const auto start = Clock::now();
    for (;;) {
        const bool answered = uploadPromptly(port);
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        peakKb = std::max(peakKb, residentKb(pid));
        if (answered) return seconds;
        if (seconds > limit) return -1;
    }
}

// Idle connections take no more than their bounded share of memory and are
// dropped after the idle time-out; those that waited in the listen queue
// behind the connection limit follow in turn.
void idleConnections(const std::string& database) {
    rlimit files{};
    getrlimit(RLIMIT_NOFILE, &files);
    files.rlim_cur = files.rlim_max;
    setrlimit(RLIMIT_NOFILE, &files);
    dkq::test::CollectorProcess collector(database);
    const long before = residentKb(collector.pid());
    long peak = before;
    std::vector<int> idle;
    for (int i = 0; i < IdleAttempts; ++i) idle.push_back(openConnection(collector.port(), false));
    const double whileHeld = secondsToUpload(collector.port(), 20, peak, collector.pid());
    for (const int fd : idle) close(fd);
    const double afterwards = secondsToUpload(collector.port(), 20, peak, collector.pid());
    std::printf(
        "collector: %d idle connection attempts: resident memory %ld KiB before, at most %ld"
        " KiB, %ld KiB after; an upload answered within 1 s %.1f s after they began (-1: not"
        " within 20 s), %.1f s after they ended\n",
        IdleAttempts, before, peak, residentKb(collector.pid()), whileHeld, afterwards);
}

// Uploads answered 200 per second by `Clients` libcurl clients, each on its
// own keep-alive connection, to the collector at `base` ("http://..." or
// "https://...").
double curlUploadsPerSecond(const std::string& base, double seconds) {
    std::atomic<long> answered = 0;
    const auto end = Clock::now() + std::chrono::duration<double>(seconds);
    std::vector<std::thread> clients;
    for (int c = 0; c < Clients; ++c) {
        clients.emplace_back([&, c] {
            CURL* easy = curl_easy_init();
            curl_easy_setopt(easy, CURLOPT_CAINFO, "ca.pem");
            curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
            curl_easy_setopt(
                easy, CURLOPT_WRITEFUNCTION,
                +[](char*, std::size_t size, std::size_t count, void*) { return size * count; });
            for (long n = 0; Clock::now() < end; ++n) {
                const std::string request = uploadRequest(FirstUid + c, n);
                const std::string target = request.substr(4, request.find(' ', 4) - 4);
                curl_easy_setopt(easy, CURLOPT_URL, (base + target).c_str());
                long status = 0;
                if (curl_easy_perform(easy) == CURLE_OK &&
                    curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &status) == CURLE_OK &&
                    status == 200)
                    ++answered;
            }
            curl_easy_cleanup(easy);
        });
    }
    for (std::thread& client : clients) client.join();
    return static_cast<double>(answered) / seconds;
}

void httpsAgainstHttp(const dkq::test::ScratchDir& dir, double seconds) {
    if (!dkq::test::makeTestCertificates()) {
        std::printf("collector: HTTPS: openssl could not make the certificates\n");
        return;
    }
    double rates[2] = {};
    for (const bool tls : {false, true}) {
        std::vector<std::string> options;
        if (tls) options = {"--tls-cert", "server.pem", "--tls-key", "server.key"};
        dkq::test::CollectorProcess collector("sqlite:" + dir.file(tls ? "https.db" : "http.db"),
                                              options);
        rates[tls] = curlUploadsPerSecond((tls ? "https" : "http") + std::string("://127.0.0.1:") +
                                              std::to_string(collector.port()),
                                          seconds);
    }
    std::printf(
        "collector: keep-alive uploads by %d libcurl clients: HTTPS %.0f/s, plain HTTP %.0f/s:"
        " %.2f of plain (goal >= 0.7) (load average %.1f)\n",
        Clients, rates[1], rates[0], rates[1] / rates[0], loadAverage());
}

int main(int argc, char** argv) {
    const double seconds = argc > 1 ? std::atof(argv[1]) : 5;
    if (const char* collector = std::getenv("DKQ_COLLECTOR"))
        setenv("DKQ_COLLECTOR", std::filesystem::absolute(collector).c_str(), 1);
    const dkq::test::ScratchDir dir;
    measure("SQLite", "sqlite:" + dir.file("bench.db"), seconds, 5000);
    {
        const dkq::test::PostgresCluster cluster(true);
        measure("PostgreSQL", cluster.createDatabase("bench"), seconds, 2000);
    }
    idleConnections("sqlite:" + dir.file("idle.db"));
    curl_global_init(CURL_GLOBAL_ALL);
    httpsAgainstHttp(dir, seconds);
    curl_global_cleanup();
    return 0;
}
