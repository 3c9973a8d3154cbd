// Upload benchmark: what sending every record costs the recording, in one
// run. Three webmon cores record from the simulated module at every tick
// (period 0), the ticks paced by a timer as the window's timer paces them
// (20 ms here instead of 1000 ms, so that a run takes a minute): one without
// upload, one sending to a loopback server that accepts and never answers,
// one to a server that answers. They take turns in rounds so that all see the
// same machine. Reported: rows per minute against the run without upload
// (goal with the silent server: at least 0.98) and the processor time each
// record adds, upload worker included (goal: under 1 ms). The servers run in
// a child process, so their own work is not counted.
//
// Then the outbox of BUFFER=1: its processor time and bytes written per
// reading (goals under 1 ms and at most 4 KiB), while the server keeps up
// (each reading settled before the next, so the file is cut to nothing each
// time) and while a backlog grows; bytes both as handed to the file system
// and as the kernel counts them (/proc/self/io write_bytes, whole pages).
// Last, a backlog of 24 h at one reading a second (86 400) drains into a
// local dkq-collector (SQLite) while the cycle records a row every second:
// the time to drain (goal under 5 minutes), rows per second meanwhile (goal
// 1.00), the longest tick, and whether the collector holds every reading.
// Usage: upload_bench [DKQSIM]  (default: $DKQSIM; $DKQ_COLLECTOR names the collector)
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>

#include "common/plain_file.h"
#include "settings/registry_key.h"
#include "tests/support/collector_process.h"
#include "tests/support/core_fakes.h"
#include "tests/support/http_server.h"
#include "tests/support/sim_process.h"
#include "upload/http_upload.h"
#include "upload/outbox_journal.h"
#include "webmon/web_monitor_core.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int Rounds = 3;
constexpr int TicksPerRound = 250;
constexpr auto TickInterval = std::chrono::milliseconds(20);

class NullView : public dkq::WebMonitorView {
  public:
    void readFields(dkq::WebMonitorSettings& settings) override { settings = fields; }
    void showFields(const dkq::WebMonitorSettings& settings) override { fields = settings; }
    void showModule(const dkq::ModuleSlot&) override {}
    void showValues(const dkq::ModuleSlot&) override {}
    void showCountdown(int) override {}
    void showSavedCount(int) override {}
    void showReadback(const dkq::OutputReadback&) override {}
    void showConnectionLost(bool) override {}
    void showUploading(bool) override {}
    void showUploadState(const dkq::UploadState& state) override { uploadState = state; }
    void showMonitoring(bool) override {}

    dkq::WebMonitorSettings fields;
    dkq::UploadState uploadState;
};

constexpr int OutboxReadings = 2000;
constexpr int BacklogReadings = 86400;
constexpr const char* EveryRegister = "INREGS=1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 17 18 19 20\n";

long long bytesWritten() {
    std::ifstream io("/proc/self/io");
    std::string key;
    long long value = 0;
    while (io >> key >> value)
        if (key == "write_bytes:") return value;
    return 0;
}

double processCpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// An HTTP server of the given mode in a child process; its port.
struct ServerProcess {
    pid_t pid = -1;
    int port = 0;

    explicit ServerProcess(dkq::test::HttpMode mode) {
        int ports[2];
        if (pipe(ports) != 0) return;
        pid = fork();
        if (pid == 0) {
            dkq::test::HttpServer server(mode, "OK");
            const int serverPort = server.port();
            [[maybe_unused]] auto written = write(ports[1], &serverPort, sizeof serverPort);
            pause();
            _exit(0);
        }
        [[maybe_unused]] auto got = read(ports[0], &port, sizeof port);
        close(ports[0]);
        close(ports[1]);
    }
    ~ServerProcess() {
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
    }
};

// One webmon core recording in a folder of its own.
struct Recorder {
    std::string folder;
    dkq::ModuleLink link;
    NullView view;
    dkq::test::ScriptedPrompter prompter;
    dkq::test::FakeClock clock;
    std::unique_ptr<dkq::WebMonitorCore> core;
    double seconds = 0;
    double cpuSeconds = 0;
    int rows = 0;

    // A web-monitor.dat for the server at port, when there is one.
    Recorder(const std::string& path, int port) : folder(path) {
        std::filesystem::create_directories(folder);
        std::filesystem::current_path(folder);
        if (port != 0) {
            std::FILE* file = std::fopen("web-monitor.dat", "w");
            std::fprintf(file, "URL=127.0.0.1:%d\nUID=1021\nINREGS=1-20\nLOGRESP=1\n", port);
            std::fclose(file);
        }
        core = std::make_unique<dkq::WebMonitorCore>(link, view, prompter, clock);
        core->startUp({});
    }
    void round(int simPort) {
        std::filesystem::current_path(folder);
        view.fields.useTcp = 1;
        view.fields.ipAddress = "127.0.0.1";
        view.fields.tcpPort = simPort;
        core->StartMonitoring();
        const auto start = Clock::now();
        const double cpuStart = processCpuSeconds();
        for (int tick = 0; tick < TicksPerRound; ++tick) {
            std::this_thread::sleep_until(start + tick * TickInterval);
            core->AcquisitionTick();
        }
        cpuSeconds += processCpuSeconds() - cpuStart;
        seconds += std::chrono::duration<double>(Clock::now() - start).count();
        rows += core->savedCount();
        core->StopMonitoring();
    }
    double rowsPerMinute() const { return rows * 60 / seconds; }
    double cpuMsPerRow() const { return cpuSeconds * 1000 / rows; }
};

// A reading of the selected registers, values as the simulated module's.
std::string outboxQuery(const dkq::UploadSettings& settings, dkq::WallTime time) {
    dkq::UploadReadingValues reading;
    for (int entry = 0; entry < dkq::EntryCount; ++entry) reading.raw[entry] = 2940 + 250 * entry;
    reading.kinds.fill(dkq::KindVolts);
    reading.time = time;
    return dkq::uploadQuery(settings, reading, dkq::uploadTimeText(time));
}

// The outbox alone: each reading added, and settled at once when the server
// keeps up.
void reportOutboxCost(bool keepingUp) {
    const dkq::UploadSettings settings =
        dkq::parseUploadSettings(std::string("URL=s\nUID=1021\n") + EveryRegister);
    std::filesystem::remove(dkq::OutboxFile);
    dkq::Outbox outbox(dkq::OutboxFile, {});
    outbox.open();
    const std::string query = outboxQuery(settings, std::chrono::system_clock::now());
    const double cpuStart = processCpuSeconds();
    const long long writtenStart = bytesWritten();
    for (int i = 0; i < OutboxReadings; ++i) {
        outbox.add(query);
        if (keepingUp) outbox.settle(*outbox.oldest(), true);
    }
    std::printf(
        "upload: outbox %s: processor time per reading %.3f ms (goal < 1 ms); bytes per reading "
        "%zu handed to the file system, %.0f written by the kernel's count (goal <= 4096)\n",
        keepingUp ? "with the server keeping up" : "growing a backlog",
        (processCpuSeconds() - cpuStart) * 1000 / OutboxReadings,
        dkq::outboxReadingLine(query).size(),
        static_cast<double>(bytesWritten() - writtenStart) / OutboxReadings);
}

// 24 h of readings waiting, written as the outbox writes them; then one
// webmon core records every second and drains them into the collector.
void reportDrain(int simPort) {
    const dkq::test::CollectorProcess collector("sqlite:readings.db");
    std::FILE* file = std::fopen("web-monitor.dat", "w");
    std::fprintf(file, "URL=127.0.0.1:%d\nUID=1021\n%sBUFFER=1\n", collector.port(), EveryRegister);
    std::fclose(file);
    dkq::ModuleLink link;
    NullView view;
    dkq::test::ScriptedPrompter prompter;
    dkq::SystemClock clock;
    dkq::WebMonitorCore core(link, view, prompter, clock);
    core.startUp({});
    const auto newest = std::chrono::system_clock::now() - std::chrono::seconds(10);
    std::string journal;
    for (int i = BacklogReadings; i > 0; --i)
        journal += dkq::outboxReadingLine(
            outboxQuery(core.uploadSettings(), newest - std::chrono::seconds(i)));
    dkq::writeWholeFile(dkq::OutboxFile, journal);
    view.fields.useTcp = 1;
    view.fields.ipAddress = "127.0.0.1";
    view.fields.tcpPort = simPort;
    const auto start = Clock::now();
    const double cpuStart = processCpuSeconds();
    core.StartMonitoring();
    double longestTick = 0;
    int ticks = 0;
    for (; ticks == 0 || view.uploadState.waiting > 0; ++ticks) {
        if (Clock::now() - start > std::chrono::minutes(10)) break;
        std::this_thread::sleep_until(start + std::chrono::seconds(ticks));
        const auto tickStart = Clock::now();
        core.AcquisitionTick();
        longestTick =
            std::max(longestTick, std::chrono::duration<double>(Clock::now() - tickStart).count());
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    const double cpuMs = (processCpuSeconds() - cpuStart) * 1000;
    const int rows = core.savedCount();
    core.StopMonitoring();
    const std::string uids = dkq::test::httpGet(collector.port(), "/api/uids").body;
    const std::size_t count = uids.find("\"count\":");
    const long stored = count == std::string::npos ? -1 : std::atol(uids.c_str() + count + 8);
    std::printf(
        "upload: a backlog of %d readings drained in %.0f s (goal < 300 s); meanwhile %d rows "
        "in %d ticks, %.2f rows per second (goal 1.00), longest tick %.0f ms; processor time "
        "per reading sent %.3f ms (recording included); the collector holds %ld of %d\n",
        BacklogReadings, seconds, rows, ticks, rows / seconds, longestTick * 1000,
        cpuMs / (BacklogReadings + rows), stored, BacklogReadings + rows);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 1) setenv("DKQSIM", argv[1], 1);
    for (const char* program : {"DKQSIM", "DKQ_COLLECTOR"}) {
        if (const char* path = getenv(program))
            setenv(program, std::filesystem::absolute(path).c_str(), 1);
    }
    const ServerProcess silentServer(dkq::test::HttpMode::Silent);
    const ServerProcess answeringServer(dkq::test::HttpMode::Answer);
    const dkq::CurlLibrary curl;
    const dkq::test::ScratchDir dir;
    setenv("XDG_CONFIG_HOME", dir.path().c_str(), 1);
    dkq::test::SimProcess sim({"--tcp", "127.0.0.1:0", "--deterministic"});

    Recorder plain(dir.file("plain"), 0);
    Recorder silent(dir.file("silent"), silentServer.port);
    Recorder answered(dir.file("answered"), answeringServer.port);
    if (!silent.core->uploadSettings().active() || !answered.core->uploadSettings().active()) {
        std::fprintf(stderr, "upload_bench: the upload is not active\n");
        return 1;
    }
    for (int round = 0; round < Rounds; ++round) {
        for (Recorder* recorder : {&plain, &silent, &answered}) recorder->round(sim.tcpPort());
    }
    std::printf("upload: %d ticks each, one every %lld ms; rows per minute without upload %.0f\n",
                Rounds * TicksPerRound, static_cast<long long>(TickInterval.count()),
                plain.rowsPerMinute());
    for (const Recorder* recorder : {&silent, &answered}) {
        std::printf(
            "upload: %s server: rows per minute %.0f, ratio %.3f (goal >= 0.98); "
            "processor time added per record %.3f ms (goal < 1 ms)\n",
            recorder == &silent ? "never-answering" : "answering", recorder->rowsPerMinute(),
            recorder->rowsPerMinute() / plain.rowsPerMinute(),
            recorder->cpuMsPerRow() - plain.cpuMsPerRow());
    }
    std::filesystem::create_directories(dir.file("outbox"));
    std::filesystem::current_path(dir.file("outbox"));
    for (const bool keepingUp : {true, false}) reportOutboxCost(keepingUp);
    reportDrain(sim.tcpPort());
    std::filesystem::current_path(dir.path());
    return 0;
}
